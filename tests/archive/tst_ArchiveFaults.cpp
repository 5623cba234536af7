// The archive on bad ground: broken, locked, read-only, full, or its writer
// killed. Each is said once and the file is never made worse.
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "archive/Archive.h"
#include "core/Mtlutils.h"
#include "core/Readings.h"
#include "platform/Text.h"
#include "tests/cli/CliRunner.h"
#include "tests/support/DiskFaults.h"
#include "tests/support/FullDocument.h"
#include "tests/support/TestFiles.h"

using namespace kr;

namespace {

// A full data file whose readings differ from those of every other `n`.
void writeSite(const QString& path, int n)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    TKRFile doc;
    test::fillFullDocument(doc, 2);
    for (int f = 1; f <= TFile::FileCount; ++f)
        for (int slot = 1; slot <= TSubFile::RecordCount; ++slot)
            doc.GetReading(f, slot).SetDateTime(EncodeDate(2026, 1, 1) + n + slot / 1440.0);
    doc.SaveToFile(toNativePath(path));
}

QString errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ArchiveError& e) {
        return QString::fromStdString(e.what());
    }
    return {};
}

bool wholeArchive(const QString& file)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(file);
        QSqlQuery q(db);
        ok = db.open() && q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next()
          && q.value(0).toString() == QLatin1String("ok");
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return ok;
}

} // namespace

class TestArchiveFaults : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    // A broken file and one another program is writing: one message, the
    // bytes as they were.
    void brokenOrBusyArchiveIsSaidAndLeftAlone()
    {
        writeSite(dir.filePath("site.krx"), 0);
        const QString broken = dir.filePath("broken.sqlite");
        {
            TArchive archive(broken);
            archive.Import({dir.filePath("site.krx")});
        }
        QFile cut(broken);
        QVERIFY(cut.resize(cut.size() / 2));
        const QByteArray before = test::readFile(broken);
        const QString said = errorOf([&] {
            TArchive archive(broken);
            archive.Import({dir.filePath("site.krx")});
        });
        QVERIFY2(said.contains(QStringLiteral("malformed")) || said.contains(QStringLiteral("cannot be used")), qPrintable(said));
        QCOMPARE(test::readFile(broken), before);

        const QString busy = dir.filePath("busy.sqlite");
        TArchive archive(busy);
        {
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
            other.setDatabaseName(busy);
            QVERIFY(other.open());
            QVERIFY(QSqlQuery(other).exec(QStringLiteral("BEGIN IMMEDIATE")));
            TKRFile doc;
            doc.LoadFromFile(toNativePath(dir.filePath("site.krx")));
            const QString locked = errorOf([&] { archive.Keep(doc, {}); });
            QVERIFY2(locked.startsWith(QStringLiteral("The readings could not be kept in the archive: database is locked")),
                     qPrintable(locked));
            QVERIFY(QSqlQuery(other).exec(QStringLiteral("ROLLBACK")));
            QCOMPARE(archive.Keep(doc, {}).added, 625);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
    }

    // A full disk during an import, then a read-only folder.
    void fullOrReadOnlyFileSystemKeepsTheArchive()
    {
        test::SmallFileSystem fs(1024);
        if (!fs.mounted())
            QSKIP(qPrintable(fs.whyNot()));
        const QString file = fs.filePath(QStringLiteral("archive.sqlite"));
        for (int n = 0; n < 8; ++n)
            writeSite(dir.filePath(QStringLiteral("full/site%1.krx").arg(n)), n);
        {
            TArchive archive(file);
            QCOMPARE(archive.Import({dir.filePath("full/site0.krx")}).imported, 1);
            QVERIFY(fs.fill());
            const QString said = errorOf([&] { archive.Import({dir.filePath("full")}); });
            QVERIFY2(said.startsWith(QStringLiteral("The readings could not be kept in the archive:")), qPrintable(said));
            QCOMPARE(archive.SourceCount(), 1);
        }
        QVERIFY(wholeArchive(file));
        QVERIFY(fs.makeReadOnly());
        const QByteArray before = test::readFile(file);
        const QString said = errorOf([&] { TArchive archive(file); });
        QVERIFY2(said.contains(QStringLiteral("cannot be written")), qPrintable(said));
        QCOMPARE(test::readFile(file), before);
    }

    // kr-cli killed in the middle of an import: the archive opens whole, and
    // the same import again completes it.
    void killedImportLeavesAWholeArchive()
    {
        QTemporaryDir home;
        const int files = 300;
        for (int n = 0; n < files; ++n)
            writeSite(dir.filePath(QStringLiteral("many/site%1.krx").arg(n, 3, 10, QLatin1Char('0'))), n);
        const QStringList import{"--home", home.path(), "archive", "import", dir.filePath("many")};
        const test::CliResult killed = test::runProgram(test::cliExecutable(), import, test::cliEnvironment(), 60000,
                                                        [](QProcess& p) { QTimer::singleShot(400, &p, &QProcess::kill); });
        QCOMPARE(killed.status, -1);
        const QString file = home.filePath("archive.sqlite");
        QVERIFY(wholeArchive(file));
        {
            TArchive archive(file);
            QVERIFY2(archive.SourceCount() < files, "the import ended before it was killed");
            QCOMPARE(archive.ReadingCount(), archive.SourceCount() * 625);
        }
        const test::CliResult again = test::runCli(import);
        QCOMPARE(again.status, 0);
        TArchive archive(file);
        QCOMPARE(archive.ReadingCount(), files * 625);
    }
};

QTEST_GUILESS_MAIN(TestArchiveFaults)
#include "tst_ArchiveFaults.moc"
