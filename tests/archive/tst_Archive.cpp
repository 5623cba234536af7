// The readings archive on real SQLite files: made, reopened, refused, and
// every reading kept once however often it arrives.
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "archive/Archive.h"
#include "core/Readings.h"
#include "platform/Text.h"
#include "tests/support/MoistureSample.h"
#include "tests/support/TestFiles.h"

using namespace kr;

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

} // namespace

class TestArchive : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

private slots:
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

        TArchive archive(path("archive.sqlite"));
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

    // A new archive is made whole, and reopening it finds what was kept.
    void reopensWhatItKept()
    {
        const QString file = path("kept.sqlite");
        saved(path("kept.krx"), 0);
        {
            TArchive archive(file);
            QCOMPARE(archive.Import({path("kept.krx")}).imported, 1);
        }
        TArchive again(file);
        QCOMPARE(again.ReadingCount(), 4);
        QCOMPARE(again.Import({path("kept.krx")}).already, 1);
    }
};

QTEST_GUILESS_MAIN(TestArchive)
#include "tst_Archive.moc"
