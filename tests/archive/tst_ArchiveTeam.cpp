// The team archive on the tests' PostgreSQL server: several programs write
// the same readings at once.
#include <QDirIterator>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <map>

#include "archive/Archive.h"
#include "core/Readings.h"
#include "tests/cli/CliRunner.h"
#include "tests/support/PgServer.h"

using namespace kr;
using test::CliResult;

namespace {

// Each download or file by its content, with the number of readings it holds.
std::map<QString, int> heldBySource(const TArchive& archive)
{
    std::map<QString, int> held;
    QSqlQuery q(QStringLiteral("SELECT s.kind || coalesce(s.hash, s.kept), (SELECT count(*) FROM readings WHERE "
                               "source_id = s.id) + (SELECT count(*) FROM holdings WHERE source_id = s.id) FROM sources s"),
                archive.Database());
    while (q.next())
        held[q.value(0).toString()] = q.value(1).toInt();
    return held;
}

// `count` data files of kr-archive-gen (and a backup of every 25th) in `dir`.
bool generated(const QString& dir, int count)
{
    const QString build = qEnvironmentVariable("KR_BUILD_DIR");
    const CliResult made = test::runProgram(build + QStringLiteral("/tools/kr-archive-gen"),
                                            {"--out", dir, "--files", QString::number(count), "--catalogue",
                                             build + QStringLiteral("/tools/Factors.dat")});
    if (made.status != 0)
        qWarning("kr-archive-gen: %s", made.err.constData());
    return made.status == 0;
}

} // namespace

class TestArchiveTeam : public QObject {
    Q_OBJECT
private slots:
    // Eight imports of overlapping sets of files at once: every reading is
    // stored once and every file linked to all it holds, as one import of
    // them all into a file would have it.
    void eightImportsAtOnceKeepEachReadingOnce()
    {
        QTemporaryDir data;
        QVERIFY(generated(data.path(), 60));
        QStringList files;
        for (QDirIterator it(data.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            files << it.next();
        files.sort();
        QVERIFY(files.size() > 60);  // the backups as well

        QVERIFY(test::pgCommand({QStringLiteral("DROP DATABASE IF EXISTS team_at_once"),
                                 QStringLiteral("CREATE DATABASE team_at_once")}));
        const ArchiveLocation team = test::pgLocation(QStringLiteral("team_at_once"));
        { TArchive made(team); }  // the schema first, as an administrator would
        QList<QStringList> imports;
        QStringList all;
        for (int k = 0; k < 8; ++k) {
            QStringList args{"--archive-db", team.Url(), "archive", "import"};
            for (qsizetype i = k * 6; i < k * 6 + 20; ++i)
                args << files[i % files.size()];
            all << args.mid(4);
            imports << args;
        }
        const QList<CliResult> results = test::runCliTogether(imports, 180000);
        for (const CliResult& r : results)
            QVERIFY2(r.status == 0, r.err.constData());

        QTemporaryDir one;
        TArchive reference(ArchiveLocation::File(one.filePath(QStringLiteral("reference.sqlite"))));
        all.removeDuplicates();
        reference.Import(all);
        TArchive shared(team);
        QCOMPARE(shared.ReadingCount(), reference.ReadingCount());
        QCOMPARE(shared.SourceCount(), reference.SourceCount());
        QCOMPARE(heldBySource(shared), heldBySource(reference));
    }

    // A single user's archive moves into the team's with one command, and
    // the team's is searched with --archive-db as the file is without it.
    void copyIntoTheTeamArchiveTwiceAddsNothing()
    {
        QTemporaryDir home, data;
        QVERIFY(generated(data.path(), 5));
        // Five files, and the backup kept of the first.
        QCOMPARE(test::runCli({"--home", home.path(), "archive", "import", data.path()}).status, 0);
        QVERIFY(test::pgCommand({QStringLiteral("DROP DATABASE IF EXISTS team_copy"),
                                 QStringLiteral("CREATE DATABASE team_copy")}));
        const QString url = test::pgLocation(QStringLiteral("team_copy")).Url();
        const QString file = home.filePath(QStringLiteral("archive.sqlite"));
        const CliResult first = test::runCli({"archive", "copy", "--from", file, "--to", url});
        QVERIFY2(first.status == 0, first.err.constData());
        QCOMPARE(first.errText(), QStringLiteral("6 downloads and files: 6 copied, 0 already there.\n"));
        QCOMPARE(test::runCli({"archive", "copy", "--from", file, "--to", url}).errText(),
                 QStringLiteral("6 downloads and files: 0 copied, 6 already there.\n"));
        const CliResult local = test::runCli({"--home", home.path(), "archive", "readings", "--mc", "10-12"});
        const CliResult team = test::runCli({"--archive-db", url, "archive", "readings", "--mc", "10-12"});
        QVERIFY2(team.status == 0, team.err.constData());
        // The same readings, each under the id its own archive gave it.
        auto withoutIds = [](const QByteArray& table) {
            QList<QByteArray> lines = table.split('\n');
            for (QByteArray& line : lines)
                line = line.mid(6);
            return lines;
        };
        QVERIFY(local.out.count('\n') > 100);
        QCOMPARE(withoutIds(team.out), withoutIds(local.out));
    }

    // The shipped roles: an inspector keeps downloads and files and puts
    // them in jobs; removing one takes an administrator.
    void inspectorsKeepButOnlyAdministratorsRemove()
    {
        QVERIFY(test::pgCommand({QStringLiteral("DROP DATABASE IF EXISTS team_roles"),
                                 QStringLiteral("CREATE DATABASE team_roles"), QStringLiteral("DROP ROLE IF EXISTS ann"),
                                 QStringLiteral("CREATE ROLE ann LOGIN")}));
        { TArchive owner(test::pgLocation(QStringLiteral("team_roles"))); }
        const CliResult roles = test::runProgram(
            QStringLiteral("psql"), {"-X", "-q", "-v", "ON_ERROR_STOP=1", "-v", "inspector=ann", "-f",
                                     QStringLiteral(KR_ARCHIVE_SQL "/roles.sql"), "-d",
                                     test::pgConnection().replace(QStringLiteral("dbname=postgres"),
                                                                  QStringLiteral("dbname=team_roles"))});
        QVERIFY2(roles.status == 0, roles.err.constData());

        ArchiveLocation asAnn = test::pgLocation(QStringLiteral("team_roles"));
        asAnn.user = QStringLiteral("ann");
        TArchive ann(asAnn);
        TKRFile doc;
        doc.SetComment(1, "Subfloor");
        doc.GetReading(1, 1).SetSpecies("Oak");
        doc.GetReading(1, 1).SetSGApplies(1);
        doc.GetReading(1, 1).SetSG(0.67L);
        doc.GetReading(1, 1).SetMoisture(9.5L);
        doc.GetReading(1, 1).SetDateTime(EncodeDate(2026, 3, 5));
        const qint64 id = ann.Keep(doc, {}).sourceId;
        ann.SaveJob({0, QStringLiteral("Mill Road"), {}, {}, {}, 0, 0});
        QCOMPARE(ann.Assign(id, 0, QStringLiteral("Mill Road")), 1);
        try {
            ann.Remove(id);
            QFAIL("an inspector removed a download");
        } catch (const ArchiveError& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("permission denied")), e.what());
        }
        QCOMPARE(ann.ReadingCount(), 1);
    }

    // The server stops in the middle of an import, as a crash would: the
    // import says so, what it could not send waits in the queue, and once
    // the server is back the queue brings the archive to what one import of
    // every file would have made.
    void serverStoppedMidImportLosesNothing()
    {
        QTemporaryDir home, data;
        QVERIFY(generated(data.path(), 200));
        QVERIFY(test::pgCommand({QStringLiteral("DROP DATABASE IF EXISTS team_lost"),
                                 QStringLiteral("CREATE DATABASE team_lost")}));
        const ArchiveLocation team = test::pgLocation(QStringLiteral("team_lost"));
        auto sources = [&] {
            try {
                return TArchive(team).SourceCount();
            } catch (const ArchiveError&) {
                return -1;
            }
        };
        QCOMPARE(sources(), 0);

        QProcess import;
        import.setProcessEnvironment(test::cliEnvironment());
        import.start(test::cliExecutable(),
                     {"--home", home.path(), "--archive-db", team.Url(), "archive", "import", data.path()});
        // Halted once the first batch is in.
        QTRY_VERIFY_WITH_TIMEOUT(sources() > 0, 30000);
        const QString server = QStringLiteral(KR_PG_SERVER);
        const QString dir = qEnvironmentVariable("KR_TEST_PG_DIR");
        QCOMPARE(test::runProgram(server, {"halt", dir}).status, 0);
        QVERIFY(import.waitForFinished(60000));
        const QString said = QString::fromUtf8(import.readAllStandardError());
        QCOMPARE(import.exitCode(), 3);
        QVERIFY2(said.contains(QStringLiteral("Nothing is lost")), qPrintable(said));
        QVERIFY(QFile::exists(home.filePath(QStringLiteral("archive-queue.sqlite"))));
        QCOMPARE(test::runProgram(server, {"resume", dir}).status, 0);

        const CliResult sent = test::runCli({"--home", home.path(), "--archive-db", team.Url(), "archive", "send"});
        QVERIFY2(sent.status == 0, sent.err.constData());
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral("archive-queue.sqlite"))));
        QTemporaryDir one;
        TArchive reference(ArchiveLocation::File(one.filePath(QStringLiteral("reference.sqlite"))));
        reference.Import({data.path()});
        TArchive shared(team);
        QCOMPARE(shared.ReadingCount(), reference.ReadingCount());
        QCOMPARE(heldBySource(shared), heldBySource(reference));
    }
};

QTEST_GUILESS_MAIN(TestArchiveTeam)
#include "tst_ArchiveTeam.moc"
