// The readings archive on real SQLite files: made, reopened, refused, and
// every reading kept once however often it arrives.
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "archive/Archive.h"
#include "core/Mtlutils.h"
#include "core/Readings.h"
#include "platform/Text.h"
#include "tests/support/MoistureSample.h"
#include "tests/support/PgServer.h"
#include "tests/support/TestFiles.h"

using namespace kr;
Q_DECLARE_METATYPE(kr::ArchiveFilter)

namespace {

QByteArray saved(const QString& path, int moistureShift)
{
    TKRFile doc;
    test::putMoistures(doc, 2, {8.5L + moistureShift, 10, 12});
    test::putReference(doc, 4, "Drywall", {15});
    doc.SetComment(2, "Hall floor");
    doc.SetNote(2, 1, "by the door");
    doc.SaveToFile(toNativePath(path));
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void runSql(const QString& file, const QStringList& statements)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("maker"));
        db.setDatabaseName(file);
        QVERIFY(db.open());
        for (const QString& statement : statements)
            QVERIFY2(QSqlQuery(db).exec(statement), qPrintable(statement));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("maker"));
}

// A download from a meter and a data file saved later: the subfloor's three
// readings are in both, the file adds two Jarrah readings of the year before.
struct Site {
    TKRFile download, saved;
    qint64 downloadId = 0, fileId = 0;
    explicit Site(TArchive& archive)
    {
        download.SetComment(2, "12 Mill Road, subfloor");
        test::putMoistures(download, 2, {8.5L, 10, 12});
        download.SetNote(2, 1, "by the door");
        test::putReference(download, 4, "Drywall", {15});
        download.SetNotes({"Client: Smith"});
        saved.SetComment(2, "12 Mill Road, subfloor");
        test::putMoistures(saved, 2, {8.5L, 10, 12});
        saved.SetComment(3, "Boards");
        test::putMoistures(saved, 3, {16, 0});
        for (int slot = 1; slot <= 2; ++slot) {
            saved.GetReading(3, slot).SetSpecies("Jarrah");
            saved.GetReading(3, slot).SetDateTime(EncodeDate(2025, 6, 1) + EncodeTime(10, slot, 0, 0));
        }
        TArchive::Source source;
        source.kind = TArchive::Source::Download;
        source.meter = QStringLiteral("KR-00417");
        downloadId = archive.Keep(download, source).sourceId;
        source = {};
        source.content = "saved";
        fileId = archive.Keep(saved, source).sourceId;
        archive.SaveJob({0, QStringLiteral("Mill Road"), QStringLiteral("12 Mill Road, Leeds"), QStringLiteral("Smith"), {}, 0, 0});
        archive.Assign(downloadId, 2, QStringLiteral("Mill Road"));
    }
};

} // namespace

class TestArchive : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    // Files of their own for each engine's run.
    QString path(const QString& name) const
    {
        const QString folder = dir.filePath(pg() ? QStringLiteral("pg") : QStringLiteral("sqlite"));
        QDir().mkpath(folder);
        return folder + QLatin1Char('/') + name;
    }
    bool pg() const
    {
        QFETCH_GLOBAL(bool, postgresql);
        return postgresql;
    }
    // Where an archive of that name lives: a file, or a database of its own
    // on the tests' server, the same one for the same name within a test.
    ArchiveLocation place(const QString& name)
    {
        if (!pg())
            return ArchiveLocation::File(path(name + QStringLiteral(".sqlite")));
        const QString database = QStringLiteral("%1_%2").arg(QString::fromLatin1(QTest::currentTestFunction()), name)
                                     .toLower()
                                     .replace(QRegularExpression(QStringLiteral("[^a-z0-9_]")), QStringLiteral("_"));
        if (!made.contains(database)) {
            made << database;
            test::pgCommand({QStringLiteral("DROP DATABASE IF EXISTS \"%1\"").arg(database),
                             QStringLiteral("CREATE DATABASE \"%1\"").arg(database)});
        }
        return test::pgLocation(database);
    }
    QStringList made;

private slots:
    // Each test on a file, then on the tests' PostgreSQL server.
    void initTestCase_data()
    {
        QTest::addColumn<bool>("postgresql");
        QTest::newRow("SQLite") << false;
        QTest::newRow("PostgreSQL") << true;
    }

    // Importing again adds nothing; a second file holding the same readings
    // links them without storing them again; a broken file is listed, not fatal.
    void importKeepsEachReadingOnce()
    {
        QVERIFY(QDir().mkpath(path("jobs/mill road")));
        const QByteArray first = saved(path("jobs/a.krx"), 0);
        QVERIFY(!first.isEmpty());
        QVERIFY(QFile::copy(path("jobs/a.krx"), path("jobs/mill road/data1.bak")));
        saved(path("jobs/mill road/b.krx"), 1);  // one reading differs
        QVERIFY(test::writeFile(path("jobs/broken.krx"), "not a data file"));
        QVERIFY(test::writeFile(path("jobs/notes.txt"), "not ours"));

        TArchive archive(place(QStringLiteral("archive")));
        const TArchive::ImportSummary once = archive.Import({path("jobs")});
        QCOMPARE(once.files, 4);
        QCOMPARE(once.imported, 3);
        QCOMPARE(once.unreadable.size(), 1);
        QVERIFY(once.unreadable.front().startsWith(QDir::toNativeSeparators(path("jobs/broken.krx")) + ": "));
        QCOMPARE(once.Sentence(), QStringLiteral("4 files: 3 imported, 0 already in the archive, 1 unreadable (listed)."));
        QCOMPARE(archive.ReadingCount(), 5);  // 4 in a.krx (its backup the same), 1 more in b.krx
        QCOMPARE(archive.SourceCount(), 3);

        const TArchive::ImportSummary twice = archive.Import({path("jobs/a.krx"), path("jobs/mill road")});
        QCOMPARE(twice.Sentence(), QStringLiteral("3 files: 0 imported, 3 already in the archive."));
        QCOMPARE(archive.ReadingCount(), 5);
        QCOMPARE(archive.SourceCount(), 3);

        // A download of the same readings is a source of its own, but no new reading.
        TKRFile doc;
        doc.LoadFromFile(toNativePath(path("jobs/a.krx")));
        TArchive::Source download;
        download.kind = TArchive::Source::Download;
        download.meter = QStringLiteral("KR-00417");
        const TArchive::Kept kept = archive.Keep(doc, download);
        QCOMPARE(kept.readings, 4);
        QCOMPARE(kept.added, 0);
        QCOMPARE(archive.SourceCount(), 4);
    }

    // Each filter reaches the readings it names, and only those.
    void searchFindsByEveryFilter_data()
    {
        QTest::addColumn<ArchiveFilter>("filter");
        QTest::addColumn<int>("readings");
        QTest::addColumn<int>("sources");
        auto row = [](const char* name, int readings, int sources, const std::function<void(ArchiveFilter&)>& set) {
            ArchiveFilter f;
            set(f);
            QTest::newRow(name) << f << readings << sources;
        };
        row("nothing asked", 6, 2, [](ArchiveFilter&) {});
        row("species part, any case", 3, 2, [](ArchiveFilter& f) { f.species = QStringLiteral("oa"); });
        row("since", 4, 2, [](ArchiveFilter& f) { f.since = QDate(2026, 1, 1); });
        row("until, day included", 2, 1, [](ArchiveFilter& f) { f.until = QDate(2025, 6, 1); });
        row("one day", 4, 2, [](ArchiveFilter& f) { f.since = f.until = QDate(2026, 3, 5); });
        row("moisture range", 3, 2, [](ArchiveFilter& f) { ParseMoistureRange(QStringLiteral("9-15"), f.moistureLow, f.moistureHigh); });
        row("moisture up to", 2, 2, [](ArchiveFilter& f) { ParseMoistureRange(QStringLiteral("-9"), f.moistureLow, f.moistureHigh); });
        row("meter", 4, 2, [](ArchiveFilter& f) { f.meter = QStringLiteral("KR-00417"); });
        row("job, any case", 3, 2, [](ArchiveFilter& f) { f.job = QStringLiteral("mill road"); });
        row("site part", 3, 2, [](ArchiveFilter& f) { f.site = QStringLiteral("Leeds"); });
        row("text in a reading note", 1, 2, [](ArchiveFilter& f) { f.text = QStringLiteral("DOOR"); });
        row("text in a comment", 2, 1, [](ArchiveFilter& f) { f.text = QStringLiteral("boards"); });
        row("text in document notes and client", 4, 2, [](ArchiveFilter& f) { f.text = QStringLiteral("smith"); });
        row("text in a species", 1, 1, [](ArchiveFilter& f) { f.text = QStringLiteral("drywall"); });
        row("text with a wildcard", 0, 0, [](ArchiveFilter& f) { f.text = QStringLiteral("100%"); });
        row("text with a quote", 0, 0, [](ArchiveFilter& f) { f.text = QStringLiteral("Mill\" Road"); });
        row("text of two letters", 2, 1, [](ArchiveFilter& f) { f.text = QStringLiteral("bO"); });
        row("one source", 5, 1, [](ArchiveFilter& f) { f.sourceId = 2; });
        row("all must hold", 0, 0, [](ArchiveFilter& f) {
            f.species = QStringLiteral("oak");
            f.text = QStringLiteral("boards");
        });
    }
    void searchFindsByEveryFilter()
    {
        QFETCH(ArchiveFilter, filter);
        QFETCH(int, readings);
        QFETCH(int, sources);
        TArchive archive(place(QStringLiteral("search_%1").arg(QLatin1String(QTest::currentDataTag()))));
        const Site site(archive);
        QCOMPARE(site.fileId, 2);
        QCOMPARE(archive.CountReadings(filter), readings);
        ArchiveCursor found = archive.Readings(filter);
        int rows = 0;
        QString last = QStringLiteral("9999");
        for (; found.next(); ++rows) {
            QVERIFY(found.value(TArchive::RTaken).toString() <= last);  // newest first
            last = found.value(TArchive::RTaken).toString();
        }
        QCOMPARE(rows, readings);
        ArchiveCursor held = archive.Sources(filter);
        rows = 0;
        while (held.next())
            ++rows;
        QCOMPARE(rows, sources);
    }

    // A source comes back as the document it was; removing one keeps the
    // readings the other holds; jobs and figures see what is there.
    void sourcesComeBackAndLeave()
    {
        TArchive archive(place(QStringLiteral("leave")));
        const Site site(archive);
        TArchive::Source backup;  // a third source holding the subfloor and the Jarrah readings
        backup.kind = TArchive::Source::Backup;
        backup.content = "backup";
        const qint64 backupId = archive.Keep(site.saved, backup).sourceId;
        TKRFile back;
        archive.Export(site.downloadId, back);
        for (int f = 1; f <= TFile::FileCount; ++f) {
            QCOMPARE(back.GetComment(f), site.download.GetComment(f));
            for (int slot = 1; slot <= TSubFile::RecordCount; ++slot)
                QCOMPARE(back.GetReading(f, slot).GetRecordText(), site.download.GetReading(f, slot).GetRecordText());
        }
        QCOMPARE(back.GetNotesText(), site.download.GetNotesText());

        const std::vector<TArchive::Figures> figures = archive.Statistics({}, 9, 13);
        QCOMPARE(figures.size(), std::size_t(4));  // Jarrah, Oak, All, then Drywall apart
        QCOMPARE(figures[2].species, QString());
        QCOMPARE(figures[2].count, 5);
        QCOMPARE(figures[2].zeros, 1);
        QCOMPARE(figures[2].inRange, 2);
        QCOMPARE(figures[2].high, 16.0);
        QVERIFY(figures[3].reference);

        const std::vector<TArchive::Job> jobs = archive.Jobs();
        QCOMPARE(jobs.size(), std::size_t(1));
        QCOMPARE(jobs[0].readings, 3);

        QCOMPARE(archive.ReadingsOnlyIn(site.downloadId), 1);
        QCOMPARE(archive.Remove(site.downloadId), 1);  // the Drywall reading; the subfloor stays in the file
        ArchiveFilter door;
        door.text = QStringLiteral("door");
        QCOMPARE(archive.CountReadings(door), 0);  // its note left with it
        QCOMPARE(archive.ReadingCount(), 5);
        archive.Export(site.fileId, back);
        QCOMPARE(back.CountUsed(2), 3);
        QCOMPARE(archive.Remove(site.fileId), 0);  // the backup still holds them all
        QCOMPARE(archive.CountReadings({}), 5);
        ArchiveFilter boards;
        boards.text = QStringLiteral("boards");
        QCOMPARE(archive.CountReadings(boards), 2);
        QCOMPARE(archive.Remove(backupId), 5);
        QCOMPARE(archive.ReadingCount(), 0);
        QCOMPARE(archive.CountReadings(boards), 0);
        QSqlQuery q(archive.Database());
        // The file's text indexes are its own tables: they must still agree with what they index.
        for (const char* check : {"INSERT INTO note_text (note_text) VALUES ('integrity-check')",
                                  "INSERT INTO comment_text (comment_text) VALUES ('integrity-check')"})
            QVERIFY2(pg() || q.exec(QLatin1String(check)), qPrintable(q.lastError().text()));
        QVERIFY_THROWS_EXCEPTION(ArchiveError, archive.Remove(site.fileId));
    }

    // An archive of the first layout is brought up to date, readings, links
    // and notes kept.
    void upgradesTheFirstLayout()
    {
        if (pg())
            QSKIP("the layouts and files of single-user archives");
        const QString file = path("v1.sqlite");
        const char* const firstLayout = R"(
            CREATE TABLE schema_version (version INTEGER NOT NULL);
            INSERT INTO schema_version VALUES (1);
            CREATE TABLE sources (id INTEGER PRIMARY KEY, kind TEXT NOT NULL, path TEXT, size INTEGER, hash TEXT,
              meter TEXT, port TEXT, completeness TEXT, happened TEXT, kept TEXT NOT NULL, notes TEXT,
              UNIQUE (kind, hash));
            CREATE TABLE meter_files (source_id INTEGER NOT NULL REFERENCES sources (id) ON DELETE CASCADE,
              file_no INTEGER NOT NULL, comment TEXT NOT NULL, PRIMARY KEY (source_id, file_no)) WITHOUT ROWID;
            CREATE TABLE readings (id INTEGER PRIMARY KEY, file_no INTEGER NOT NULL, slot INTEGER NOT NULL,
              taken TEXT NOT NULL, species TEXT NOT NULL, sg REAL NOT NULL, sg_applies INTEGER NOT NULL,
              moisture REAL NOT NULL, unread INTEGER NOT NULL, temperature INTEGER NOT NULL,
              UNIQUE (taken, file_no, slot, species, sg, sg_applies, moisture, unread, temperature));
            CREATE TABLE holdings (source_id INTEGER NOT NULL REFERENCES sources (id) ON DELETE CASCADE,
              reading_id INTEGER NOT NULL REFERENCES readings (id), note TEXT NOT NULL,
              PRIMARY KEY (source_id, reading_id)) WITHOUT ROWID;
            CREATE INDEX holdings_by_reading ON holdings (reading_id);
            CREATE INDEX readings_by_species ON readings (species, taken);
            INSERT INTO sources VALUES (1, 'download', NULL, NULL, NULL, 'KR-1', NULL, 'complete', NULL, 'x', NULL);
            INSERT INTO sources VALUES (2, 'file', '/a.krx', 5, 'h', NULL, NULL, NULL, NULL, 'x', 'a note');
            INSERT INTO meter_files VALUES (1, 2, 'Hall'), (2, 2, 'Hall');
            INSERT INTO readings VALUES (7, 2, 1, '2026-03-05T09:01:00', 'Oak', 0.67, 1, 8.5, 0, 19),
              (8, 2, 2, '2026-03-05T09:02:00', 'Drywall', 0, 0, 0, 1, 20);
            INSERT INTO holdings VALUES (1, 7, ''), (2, 7, 'by the door'), (2, 8, ''))";
        QStringList statements = QString::fromLatin1(firstLayout).split(QLatin1Char(';'));
        for (QString& statement : statements)
            statement = statement.trimmed();
        runSql(file, statements);
        TArchive archive(file);
        QCOMPARE(archive.ReadingCount(), 2);
        TKRFile doc;
        archive.Export(2, doc);
        QCOMPARE(doc.GetMoistureText(2, 1), std::string("8.5"));
        QCOMPARE(doc.GetSGText(2, 1), std::string("0.67"));
        QCOMPARE(doc.GetNote(2, 1), std::string("by the door"));
        QVERIFY(doc.GetReading(2, 2).IsMoistureUnread());
        ArchiveFilter byMeter;
        byMeter.meter = QStringLiteral("KR-1");
        QCOMPARE(archive.CountReadings(byMeter), 1);
        ArchiveFilter byNote;
        byNote.text = QStringLiteral("door");
        QCOMPARE(archive.CountReadings(byNote), 1);
    }

    // A text's readings are found once for a search, and again once the
    // archive changes, through this program or another.
    void textSearchSeesWhatArrives()
    {
        const ArchiveLocation file = place(QStringLiteral("arrives"));
        TArchive archive(file);
        const Site site(archive);
        ArchiveFilter boards;
        boards.text = QStringLiteral("Boards");
        QCOMPARE(archive.CountReadings(boards), 2);
        TKRFile more;
        more.SetComment(5, "Boards upstairs");
        test::putMoistures(more, 5, {11});
        archive.Keep(more, {});
        QCOMPARE(archive.CountReadings(boards), 3);
        {
            TArchive other(file);
            more.SetComment(6, "Boards outside");
            test::putMoistures(more, 6, {13});
            TArchive::Source copy;
            copy.content = "copy";
            other.Keep(more, copy);
        }
        QCOMPARE(archive.CountReadings(boards), 4);
        archive.Remove(site.fileId);
        QCOMPARE(archive.CountReadings(boards), 2);
    }

    // The second layout searched texts without an index: one is made, and
    // the notes and comments kept before are found through it.
    void upgradesTheSecondLayout()
    {
        if (pg())
            QSKIP("the layouts and files of single-user archives");
        const QString file = path("v2.sqlite");
        {
            TArchive archive(file);
            const Site site(archive);
        }
        runSql(file, {"DROP TABLE site_conditions", "DROP TRIGGER note_removed", "DROP TRIGGER note_changed", "DROP TRIGGER comment_removed",
                      "DROP TRIGGER comment_changed", "DROP TRIGGER source_notes_removed", "DROP TRIGGER source_notes_changed",
                      "DROP TABLE note_text", "DROP TABLE comment_text",
                      "CREATE TABLE v2 (reading_id, source_id, note, PRIMARY KEY (reading_id, source_id)) WITHOUT ROWID",
                      "INSERT INTO v2 SELECT reading_id, source_id, note FROM notes", "DROP TABLE notes",
                      "ALTER TABLE v2 RENAME TO notes", "CREATE INDEX notes_by_source ON notes (source_id)",
                      "UPDATE schema_version SET version = 2"});
        TArchive archive(file);
        for (const auto& [text, found] : {std::pair{"door", 1}, {"boards", 2}, {"Mill Road", 3}, {"Client:", 4}}) {
            ArchiveFilter f;
            f.text = QString::fromLatin1(text);
            QCOMPARE(archive.CountReadings(f), found);
        }
        QSqlQuery q(QStringLiteral("SELECT version FROM schema_version"), archive.Database());
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), TArchive::SchemaVersion);
        QVERIFY(archive.AddConditions(QStringLiteral("Mill Road"), {0, QDateTime::currentDateTime(), 21, 50, {}}) > 0);
    }

    // A job's site conditions come back in time order and leave with the job;
    // its sources are those of its meter files.
    void siteConditionsBelongToTheirJob()
    {
        TArchive archive(place(QStringLiteral("conditions")));
        const Site site(archive);
        const QString job = QStringLiteral("Mill Road");
        const QDateTime second(QDate(2026, 3, 6), QTime(9, 30));
        archive.AddConditions(job, {0, second, 20.5, 55, QStringLiteral("heating on")});
        archive.AddConditions(QStringLiteral("mill road"), {0, second.addDays(-1), 18, 62, {}});
        const std::vector<TArchive::SiteConditions> all = archive.Conditions(job);
        QCOMPARE(all.size(), std::size_t(2));
        QCOMPARE(all[0].when, second.addDays(-1));
        QCOMPARE(all[1].when, second);
        QCOMPARE(all[1].celsius, 20.5);
        QCOMPARE(all[1].note, QStringLiteral("heating on"));
        QVERIFY_THROWS_EXCEPTION(ArchiveError, archive.AddConditions(QStringLiteral("Elm Street"), all[0]));
        QVERIFY_THROWS_EXCEPTION(ArchiveError,
                                 archive.AddConditions(job, {0, second, std::nan(""), 50, {}}));

        // The file saved from the download knows its meter through the readings it holds.
        archive.Assign(site.fileId, 2, job);
        const std::vector<TArchive::JobSource> sources = archive.SourcesOf(job);
        QCOMPARE(sources.size(), std::size_t(2));
        QCOMPARE(sources[0].sourceId, site.downloadId);
        QCOMPARE(sources[1].sourceId, site.fileId);
        for (const TArchive::JobSource& source : sources) {
            QCOMPARE(source.meter, QStringLiteral("KR-00417"));
            QCOMPARE(source.files, std::vector<int>{2});
        }

        archive.RemoveJob(job);
        archive.SaveJob({0, job, {}, {}, {}, 0, 0});
        QVERIFY(archive.Conditions(job).empty());
    }

    // What is not an archive of this program is refused and left byte for byte.
    void refusesWhatItCannotUse_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("sql");  // run on a fresh SQLite file first
        QTest::addColumn<QString>("why");
        QTest::newRow("foreign file") << QByteArray("just some text\n") << QString() << "is not a readings archive";
        QTest::newRow("another database") << QByteArray() << "CREATE TABLE t (x)" << "it is not a readings archive";
        QTest::newRow("newer archive") << QByteArray() << "CREATE TABLE schema_version (version); "
                                                          "INSERT INTO schema_version VALUES (7)"
                                       << "made by a newer version of this program (archive version 7";
    }
    void refusesWhatItCannotUse()
    {
        if (pg())
            QSKIP("the layouts and files of single-user archives");
        QFETCH(QByteArray, content);
        QFETCH(QString, sql);
        QFETCH(QString, why);
        const QString file = path(QStringLiteral("refused-%1.sqlite").arg(QTest::currentDataTag()));
        if (sql.isEmpty()) {
            QVERIFY(test::writeFile(file, content));
        } else {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("maker"));
            db.setDatabaseName(file);
            QVERIFY(db.open());
            for (const QString& statement : sql.split(QStringLiteral("; ")))
                QVERIFY(QSqlQuery(db).exec(statement));
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("maker"));
        }
        const QByteArray before = test::readFile(file);
        try {
            TArchive archive(file);
            QFAIL("opened");
        } catch (const ArchiveError& e) {
            QVERIFY2(QString::fromStdString(e.what()).contains(why), e.what());
        }
        QCOMPARE(test::readFile(file), before);
        QVERIFY(!QFile::exists(file + "-wal"));
    }

    // A single user's file moves into the team's archive (here a second file
    // or the server) and back, readings, jobs and conditions with it; a
    // second copy adds nothing.
    void copyMovesEverythingOnce()
    {
        TArchive single(ArchiveLocation::File(path("single.sqlite")));
        const Site site(single);
        single.AddConditions(QStringLiteral("Mill Road"), {0, QDateTime(QDate(2026, 3, 5), QTime(9, 0)), 21, 50, {}});
        TArchive team(place(QStringLiteral("team")));
        QCOMPARE(single.CopyInto(team).sources, 2);
        const TArchive::Copied again = single.CopyInto(team);
        QCOMPARE(again.sources, 0);
        QCOMPARE(again.already, 2);
        TArchive back(ArchiveLocation::File(path("back.sqlite")));
        QCOMPARE(team.CopyInto(back).sources, 2);
        for (const TArchive* a : {&team, &back}) {
            QCOMPARE(a->ReadingCount(), single.ReadingCount());
            QCOMPARE(a->SourceCount(), 2);
            QCOMPARE(a->Jobs().size(), std::size_t(1));
            QCOMPARE(a->Jobs()[0].readings, 3);
            QCOMPARE(a->Conditions(QStringLiteral("Mill Road")).size(), std::size_t(1));
            ArchiveFilter door;
            door.text = QStringLiteral("door");
            QCOMPARE(a->CountReadings(door), 1);
        }
    }

    // A new archive is made whole, and reopening it finds what was kept.
    void reopensWhatItKept()
    {
        const ArchiveLocation file = place(QStringLiteral("kept"));
        saved(path("kept.krx"), 0);
        {
            TArchive archive(file);
            QCOMPARE(archive.Import({path("kept.krx")}).imported, 1);
        }
        TArchive again(file);
        QCOMPARE(again.ReadingCount(), 4);
        QCOMPARE(again.Import({path("kept.krx")}).already, 1);
        // What "Test connection" says of it.
        const QString said = again.Describe();
        QVERIFY2(said.startsWith(pg() ? QStringLiteral("PostgreSQL 1") : QStringLiteral("SQLite 3.")), qPrintable(said));
        QVERIFY2(said.endsWith(QStringLiteral(", archive layout 4, 4 readings.")), qPrintable(said));
    }
};

QTEST_GUILESS_MAIN(TestArchive)
#include "tst_Archive.moc"
