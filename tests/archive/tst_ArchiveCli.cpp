// kr-cli archive import: a folder of data files into the archive in the
// program folder, a second import adding nothing, a broken file told.
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "core/Readings.h"
#include "platform/Text.h"
#include "tests/cli/CliRunner.h"
#include "tests/support/MoistureSample.h"
#include "tests/support/SimMeter.h"
#include "tests/support/TestFiles.h"

using namespace kr;
using kr::test::CliResult;
using kr::test::runCli;

class TestArchiveCli : public QObject {
    Q_OBJECT
private slots:
    void importTwiceAddsNothing()
    {
        QTemporaryDir home, data;
        TKRFile doc;
        test::putMoistures(doc, 3, {9, 11});
        doc.SaveToFile(toNativePath(data.filePath("site.krx")));
        QVERIFY(test::writeFile(data.filePath("data2.bak"), "broken"));
        const QStringList import{"--home", home.path(), "archive", "import", data.path()};

        const CliResult first = runCli(import);
        QCOMPARE(first.status, 3);
        QCOMPARE(QString::fromUtf8(first.out), QStringLiteral("2 files: 1 imported, 0 already in the archive, 1 unreadable (listed).\n"));
        QVERIFY2(first.errText().startsWith(QDir::toNativeSeparators(data.filePath("data2.bak")) + ": "),
                 qPrintable(first.errText()));
        QVERIFY(QFile::exists(home.filePath("archive.sqlite")));

        const CliResult again = runCli({"--home", home.path(), "archive", "import", data.filePath("site.krx")});
        QCOMPARE(again.status, 0);
        QCOMPARE(QString::fromUtf8(again.out), QStringLiteral("1 file: 0 imported, 1 already in the archive.\n"));

        QVERIFY(test::writeFile(home.filePath("archive.sqlite"), "not an archive"));
        const CliResult refused = runCli(import);
        QCOMPARE(refused.status, 3);
        QVERIFY2(refused.errText().contains("is not a readings archive; it is left as it is."),
                 qPrintable(refused.errText()));
        QCOMPARE(test::readFile(home.filePath("archive.sqlite")), QByteArray("not an archive"));
    }

    // The readings a download kept come back in the erase's backup: kept once.
    void downloadThenEraseKeepTheReadingsOnce()
    {
        QTemporaryDir home;
        test::SimMeter sim;
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const QStringList meter{"--home", home.path(), "--device", sim.devicePath()};
        const CliResult download = runCli(meter + QStringList{"download", "-o", home.filePath("site.krx"), "--archive"});
        QCOMPARE(download.status, 0);
        QVERIFY2(download.errText().contains("Kept in the archive: 40 readings, 40 of them new.\n"),
                 qPrintable(download.errText()));
        const CliResult erase = runCli(meter + QStringList{"erase", "--yes", "--archive"});
        QCOMPARE(erase.status, 0);
        QVERIFY2(erase.errText().contains("Kept in the archive: 40 readings, 0 of them new.\n"),
                 qPrintable(erase.errText()));
    }
};

QTEST_GUILESS_MAIN(TestArchiveCli)
#include "tst_ArchiveCli.moc"
