#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "core/AtomicFile.h"
#include "core/Mtlutils.h"
#include "core/Readings.h"
#include "core/Regional.h"
#include "meter/BackupSlots.h"
#include "platform/Text.h"

using namespace kr;

namespace {

struct Folder {
    QTemporaryDir dir;
    TBackupSlots slots_{toNativePath(dir.path()), "KR-00417"};

    QString path(const QString& name) const { return dir.filePath(name); }
    void fill(const QList<int>& numbers)
    {
        for (int n : numbers) {
            QFile f(path(QStringLiteral("data%1.bak").arg(n)));
            f.open(QIODevice::WriteOnly);
            f.write(QStringLiteral("slot %1").arg(n).toLatin1());
        }
    }
    // Every file in the folder with its first bytes, to compare before and after.
    QStringList snapshot() const
    {
        QStringList all;
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
            QFile f(path(name));
            f.open(QIODevice::ReadOnly);
            all << name + QLatin1Char('=') + QString::fromLatin1(f.read(8));
        }
        return all;
    }
    // The names in the folder of older backups.
    QStringList older() const
    {
        return QDir(path(QString::fromLatin1(TBackupSlots::OlderFolderName))).entryList(QDir::Files, QDir::Name);
    }
};

void fillDocument(TKRFile& doc)
{
    doc.ImportMeterLines({"01 01 05-Mar-26 09:12 20 Red Oak        63 8.9\r",
                          "01 02 05-Mar-26 09:15 21 Red Oak        63 10.1\r",
                          "07 25 06-Mar-26 14:40 -3 Spruce         41 18\r"});
}

} // namespace

class TestBackupSlots : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setRegional(RegionalSettings{}); }

    void lowestFreeSlot_data()
    {
        QTest::addColumn<QList<int>>("used");
        QTest::addColumn<int>("free");
        QTest::newRow("none") << QList<int>{} << 1;
        QTest::newRow("only 2") << QList<int>{2} << 1;
        QTest::newRow("1 and 2") << QList<int>{1, 2} << 3;
        QTest::newRow("gap at 4") << QList<int>{1, 2, 3, 5, 9} << 4;
        QTest::newRow("all") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9} << 0;
    }
    void lowestFreeSlot()
    {
        QFETCH(QList<int>, used);
        QFETCH(int, free);
        Folder f;
        f.fill(used);
        QCOMPARE(f.slots_.LowestFreeSlot(), free);
        QCOMPARE(f.slots_.AllInUse(), used.contains(9));
    }

    void storedBackupReadsBackAsTheDocument()
    {
        Folder f;
        TKRFile doc;
        fillDocument(doc);
        const std::string path = f.slots_.Store(doc);
        QCOMPARE(fromNativePath(path), f.path(QStringLiteral("data1.bak")));
        TKRFile back;
        back.LoadFromFile(path);
        QVERIFY(SameReadings(doc, back));
        QCOMPARE(back.GetSpecies(7, 25), std::string("Spruce"));
        QCOMPARE(f.snapshot().size(), 1);
    }

    void rotationKeepsTheOrderAndLeavesNothingBehind()
    {
        Folder f;
        f.fill({1, 2, 3, 4, 5, 6, 7, 8, 9});
        // Leftovers of an earlier run that stopped half way are simply replaced.
        QFile stale(fromNativePath(f.slots_.StagingPath()));
        stale.open(QIODevice::WriteOnly);
        stale.write("stale");
        stale.close();
        TKRFile doc;
        fillDocument(doc);
        QCOMPARE(fromNativePath(f.slots_.Store(doc)), f.path(QStringLiteral("data9.bak")));
        QStringList expected;
        for (int n = 1; n <= 8; ++n)
            expected << QStringLiteral("data%1.bak=slot %2").arg(n).arg(n + 1);
        QStringList now = f.snapshot();
        QCOMPARE(now.size(), 9);
        QVERIFY(now.takeLast().startsWith(QStringLiteral("data9.bak=")));
        QCOMPARE(now, expected);
        // The oldest is kept, not deleted: it is no data file, so its time is the file's.
        const QStringList older = f.older();
        QCOMPARE(older.size(), 1);
        QVERIFY2(older.first().endsWith(QStringLiteral(" KR-00417.bak")), qPrintable(older.first()));
    }

    // An older backup is named by when its readings were downloaded, the
    // meter's serial number when known, and a count when the minute is taken.
    void oldestMovesIntoOlderBackupsByItsDownload_data()
    {
        QTest::addColumn<QByteArray>("serial");
        QTest::addColumn<QStringList>("there");   // already in "older backups"
        QTest::addColumn<QString>("name");
        const QString kr = QStringLiteral("2026-12-09 0715 KR-00417");
        QTest::newRow("serial") << QByteArray("KR-00417") << QStringList{} << kr + QStringLiteral(".bak");
        QTest::newRow("no serial") << QByteArray() << QStringList{} << QStringLiteral("2026-12-09 0715.bak");
        QTest::newRow("odd characters dropped") << QByteArray(" KR/00:417 ") << QStringList{}
                                                << QStringLiteral("2026-12-09 0715 KR00417.bak");
        QTest::newRow("same minute") << QByteArray("KR-00417") << QStringList{kr + QStringLiteral(".bak")}
                                     << kr + QStringLiteral(" (2).bak");
        QTest::newRow("third in the minute")
            << QByteArray("KR-00417") << QStringList{kr + QStringLiteral(".bak"), kr + QStringLiteral(" (2).bak")}
            << kr + QStringLiteral(" (3).bak");
    }
    void oldestMovesIntoOlderBackupsByItsDownload()
    {
        QFETCH(QByteArray, serial);
        QFETCH(QStringList, there);
        QFETCH(QString, name);
        Folder f;
        TBackupSlots backups(toNativePath(f.dir.path()), serial.toStdString());
        f.fill({2, 3, 4, 5, 6, 7, 8, 9});
        TKRFile oldest;
        fillDocument(oldest);
        oldest.SetDateStamp(ComposeDateTime(EncodeDate(2026, 12, 9), EncodeTime(7, 15, 42, 0)));
        oldest.SaveToFile(toNativePath(f.path(QStringLiteral("data1.bak"))));
        const QString olderDir = f.path(QString::fromLatin1(TBackupSlots::OlderFolderName));
        QVERIFY(QDir().mkpath(olderDir));
        for (const QString& other : there) {
            QFile o(olderDir + QLatin1Char('/') + other);
            QVERIFY(o.open(QIODevice::WriteOnly));
            o.write("other");
        }
        TKRFile doc;
        fillDocument(doc);
        backups.Store(doc);
        QStringList expected = QStringList(there) << name;
        expected.sort();
        QCOMPARE(f.older(), expected);
        TKRFile moved;
        moved.LoadFromFile(toNativePath(olderDir + QLatin1Char('/') + name));
        QVERIFY(SameReadings(moved, oldest));
    }

    void failedRenamePutsEverySlotBack_data()
    {
        QTest::addColumn<QList<int>>("used");
        QTest::addColumn<int>("failAt");   // the n-th rename fails; 0: the folder of older backups is a file
        QTest::addColumn<QString>("why");
        const QList<int> all{1, 2, 3, 4, 5, 6, 7, 8, 9};
        const QString renumber = QStringLiteral("could not be renumbered to make room");
        const QString keep = QStringLiteral("the oldest backup, data1.bak, could not be moved into ");
        QTest::newRow("older backups not a folder") << all << 0 << keep;
        QTest::newRow("moving the oldest away") << all << 1 << keep;
        QTest::newRow("moving 2 to 1") << all << 2 << renumber;
        QTest::newRow("moving 6 to 5") << all << 6 << renumber;
        QTest::newRow("moving 9 to 8") << all << 9 << renumber;
        QTest::newRow("new one into 9") << all << 10 << renumber;
        QTest::newRow("gap at 3, moving 5 to 4") << QList<int>{1, 2, 4, 5, 6, 7, 8, 9} << 5 << renumber;
    }
    void failedRenamePutsEverySlotBack()
    {
        QFETCH(QList<int>, used);
        QFETCH(int, failAt);
        QFETCH(QString, why);
        Folder f;
        f.fill(used);
        if (failAt == 0) {
            QFile blocker(f.path(QString::fromLatin1(TBackupSlots::OlderFolderName)));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        const QStringList before = f.snapshot();
        int renames = 0;
        f.slots_.SetRename([&](const std::string& from, const std::string& to, std::error_code& ec) {
            if (++renames == failAt)
                ec = std::make_error_code(std::errc::io_error);
            else
                std::filesystem::rename(from, to, ec);
        });
        TKRFile doc;
        fillDocument(doc);
        try {
            f.slots_.Store(doc);
            QFAIL("the store should have failed");
        } catch (const BackupError& e) {
            QVERIFY2(QString::fromLatin1(e.what()).contains(why), e.what());
        }
        QCOMPARE(f.snapshot(), before);
        QCOMPARE(f.older(), QStringList());
    }

    void failedUndoKeepsTheNewBackupAndSaysSo()
    {
        Folder f;
        f.fill({1, 2, 3, 4, 5, 6, 7, 8, 9});
        int renames = 0;
        f.slots_.SetRename([&](const std::string& from, const std::string& to, std::error_code& ec) {
            ++renames;
            // The fourth move fails, and so does every move back.
            if (renames >= 4)
                ec = std::make_error_code(std::errc::io_error);
            else
                std::filesystem::rename(from, to, ec);
        });
        TKRFile doc;
        fillDocument(doc);
        QVERIFY_THROWS_EXCEPTION(BackupError, f.slots_.Store(doc));
        QVERIFY(QFile::exists(fromNativePath(f.slots_.StagingPath())));
        TKRFile staged;
        staged.LoadFromFile(f.slots_.StagingPath());
        QVERIFY(SameReadings(doc, staged));
    }

    void failedWriteTouchesNoSlot_data()
    {
        QTest::addColumn<QList<int>>("used");
        QTest::addColumn<int>("fault");
        QTest::newRow("free slot, create") << QList<int>{1} << int(WriteResult::CreateFailed);
        QTest::newRow("free slot, write") << QList<int>{1, 2} << int(WriteResult::WriteFailed);
        QTest::newRow("nine slots, write") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9} << int(WriteResult::WriteFailed);
        QTest::newRow("nine slots, rename") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9} << int(WriteResult::RenameFailed);
    }
    void failedWriteTouchesNoSlot()
    {
        QFETCH(QList<int>, used);
        QFETCH(int, fault);
        Folder f;
        f.fill(used);
        const QStringList before = f.snapshot();
        TKRFile doc;
        fillDocument(doc);
        failNextAtomicWrite(WriteResult(fault));
        try {
            f.slots_.Store(doc);
            QFAIL("the store should have failed");
        } catch (const BackupError& e) {
            const QString slot = used.contains(9) ? QStringLiteral("data9.bak") : QStringLiteral("data%1.bak").arg(used.size() + 1);
            QCOMPARE(QString::fromLatin1(e.what()), QStringLiteral("the backup could not be written to ") +
                                                        QDir::toNativeSeparators(f.path(slot)) + QLatin1Char('.'));
        }
        QCOMPARE(f.snapshot(), before);
    }

    void blankSpeciesReadingIsBackedUpByItsBytes()
    {
        // A species of spaces only is a reading in memory but none once a data
        // file trims it; its other fields are still written, so the meter can be erased.
        Folder f;
        TKRFile doc;
        fillDocument(doc);
        doc.GetReading(2, 2).SetSpecies("             ");
        doc.GetReading(2, 2).SetMoisture(17.5L);
        const std::string slot = f.slots_.Store(doc);
        std::string bytes;
        QVERIFY(readWholeFile(slot, bytes));
        QCOMPARE(bytes, doc.SaveToText());
        QVERIFY(bytes.find("17.50") != std::string::npos);
    }

    void sameReadingsSeesEveryField_data()
    {
        QTest::addColumn<int>("field");
        QTest::newRow("species") << 0;
        QTest::newRow("moisture") << 1;
        QTest::newRow("temperature") << 2;
        QTest::newRow("note") << 3;
        QTest::newRow("a reading more") << 4;
        QTest::newRow("comment") << 5;
    }
    void sameReadingsSeesEveryField()
    {
        QFETCH(int, field);
        TKRFile a, b;
        fillDocument(a);
        fillDocument(b);
        QVERIFY(SameReadings(a, b));
        TReading& r = b.GetReading(1, 2);
        switch (field) {
        case 0: r.SetSpecies("White Oak"); break;
        case 1: r.SetMoisture(10.2L); break;
        case 2: r.SetTemperature(22); break;
        case 3: r.SetNote("wet"); break;
        case 4: b.GetReading(9, 9).SetSpecies("Ash"); break;
        case 5: b.SetComment(3, "stack 3"); break;
        }
        QVERIFY(!SameReadings(a, b));
    }
};

QTEST_GUILESS_MAIN(TestBackupSlots)
#include "tst_BackupSlots.moc"
