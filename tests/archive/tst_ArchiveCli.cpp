// kr-cli archive: import (a folder of data files into the archive in the
// program folder, a second import adding nothing, a broken file told), then
// searching, exporting, removing and jobs on what was imported.
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "core/Readings.h"
#include "platform/Text.h"
#include "tests/cli/CliRunner.h"
#include "tests/support/MoistureSample.h"
#include "tests/support/SimMeter.h"
#include "tests/support/TestFiles.h"

using namespace kr;
using kr::test::CliResult;
using kr::test::runCli;

namespace {

// An archive holding two small data files, imported one after the other so
// their readings have known IDs: site.krx (file 1, readings 1 and 2: oak at
// 9 and 11 % on 2026-03-05, meter file 3 "Subfloor, hall") and shed.krx
// (file 2, reading 3: beech at 14.5 % on 2026-04-01, meter file 1).
struct TwoFiles {
    QTemporaryDir home, data;
    TKRFile site;

    bool import()
    {
        site.SetComment(3, "Subfloor, hall");
        test::putMoistures(site, 3, {9, 11});
        TKRFile shed;
        test::putMoistures(shed, 1, {14.5L});
        shed.GetReading(1, 1).SetSpecies("Beech");
        shed.GetReading(1, 1).SetDateTime(EncodeDate(2026, 4, 1) + EncodeTime(10, 0, 0, 0));
        site.SaveToFile(toNativePath(data.filePath("site.krx")));
        shed.SaveToFile(toNativePath(data.filePath("shed.krx")));
        return run({"import", data.filePath("site.krx")}).status == 0 && run({"import", data.filePath("shed.krx")}).status == 0;
    }
    CliResult run(const QStringList& archiveArgs) const
    {
        return runCli(QStringList{"--home", home.path(), "archive"} + archiveArgs);
    }
    // The array a --json command printed; empty after saying why when it is none.
    QJsonArray json(const QStringList& archiveArgs) const
    {
        const CliResult result = run(archiveArgs + QStringList{"--json"});
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(result.out, &error);
        if (result.status != 0 || !doc.isArray())
            qWarning() << archiveArgs << result.status << error.errorString() << result.errText();
        return doc.array();
    }
    QList<qint64> readingIds(const QStringList& filters) const
    {
        QList<qint64> ids;
        for (const auto& v : json(QStringList{"readings"} + filters))
            ids << v[QStringLiteral("id")].toInteger();
        return ids;
    }
};

} // namespace

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

    void readingsFollowTheFilters_data()
    {
        QTest::addColumn<QStringList>("filters");
        QTest::addColumn<QList<qint64>>("ids");  // newest first
        QTest::newRow("none") << QStringList{} << QList<qint64>{3, 2, 1};
        QTest::newRow("species, part of the name, any case") << QStringList{"--species", "OA"} << QList<qint64>{2, 1};
        QTest::newRow("moisture from") << QStringList{"--mc", "10-"} << QList<qint64>{3, 2};
        QTest::newRow("moisture up to, ends included") << QStringList{"--mc", "-11"} << QList<qint64>{2, 1};
        QTest::newRow("moisture between") << QStringList{"--mc=9.5-12"} << QList<qint64>{2};
        QTest::newRow("since") << QStringList{"--since", "2026-03-06"} << QList<qint64>{3};
        QTest::newRow("until, the day included") << QStringList{"--until", "2026-03-05"} << QList<qint64>{2, 1};
        QTest::newRow("text in a meter file comment") << QStringList{"--text", "HALL"} << QList<qint64>{2, 1};
        QTest::newRow("filters together") << QStringList{"--species", "oak", "--mc", "10-"} << QList<qint64>{2};
        QTest::newRow("nothing found") << QStringList{"--meter", "12345"} << QList<qint64>{};
    }
    void readingsFollowTheFilters()
    {
        QFETCH(QStringList, filters);
        QFETCH(QList<qint64>, ids);
        TwoFiles archive;
        QVERIFY(archive.import());
        QCOMPARE(archive.readingIds(filters), ids);
    }

    // The same header names, "." decimals, ISO times and quoting as convert.
    void readingsAsCsv()
    {
        TwoFiles archive;
        QVERIFY(archive.import());
        const CliResult csv = archive.run({"readings", "--species", "oak", "--csv", "--fahrenheit"});
        QCOMPARE(csv.status, 0);
        QCOMPARE(QString::fromUtf8(csv.out),
                 QStringLiteral("id,dateTime,file,record,species,sg,moisture,temperatureF,meter,fileComment,job,note\r\n"
                                "2,2026-03-05T09:02:00,3,2,Oak,0.67,11,68,,\"Subfloor, hall\",,\r\n"
                                "1,2026-03-05T09:01:00,3,1,Oak,0.67,9,66,,\"Subfloor, hall\",,\r\n"));
    }

    void listFindsTheFileHoldingWhatIsSought()
    {
        TwoFiles archive;
        QVERIFY(archive.import());
        QCOMPARE(archive.json({"list"}).size(), 2);
        const QJsonArray found = archive.json({"list", "--species", "beech"});
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0][QStringLiteral("id")].toInteger(), 2);
        QCOMPARE(found[0][QStringLiteral("kind")].toString(), QStringLiteral("file"));
        QCOMPARE(found[0][QStringLiteral("readings")].toInt(), 1);
        QCOMPARE(QDir::cleanPath(found[0][QStringLiteral("path")].toString()), archive.data.filePath("shed.krx"));
    }

    void jobGathersTheMeterFilesAssigned()
    {
        TwoFiles archive;
        QVERIFY(archive.import());
        QCOMPARE(archive.run({"job", "add", "Smith house", "--site", "12 Elm Street"}).status, 0);
        const CliResult assign = archive.run({"job", "assign", "smith house", "2"});
        QCOMPARE(assign.status, 0);
        QCOMPARE(assign.errText(), QStringLiteral("Put 1 meter file of file 2 in job \"smith house\".\n"));
        QCOMPARE(archive.readingIds({"--job", "Smith House"}), QList<qint64>{3});
        QCOMPARE(archive.readingIds({"--site", "elm"}), QList<qint64>{3});
        // A change names what changes: the site stays.
        QCOMPARE(archive.run({"job", "add", "Smith house", "--client", "J. Smith"}).status, 0);
        const QJsonArray jobs = archive.json({"job", "list"});
        QCOMPARE(jobs.size(), 1);
        QCOMPARE(jobs[0][QStringLiteral("site")].toString(), QStringLiteral("12 Elm Street"));
        QCOMPARE(jobs[0][QStringLiteral("client")].toString(), QStringLiteral("J. Smith"));
        QCOMPARE(jobs[0][QStringLiteral("meterFiles")].toInt(), 1);
        QCOMPARE(jobs[0][QStringLiteral("readings")].toInt(), 1);
        QCOMPARE(archive.run({"job", "assign", "Nobody", "2"}).status, 3);

        // Site conditions: typed in either scale, kept in Celsius, listed in time order with their EMC.
        QCOMPARE(archive.run({"job", "conditions", "Smith house", "--temp", "68", "--rh", "45", "--fahrenheit",
                              "--date", "2026-03-06T08:15"})
                     .errText(),
                 QStringLiteral("Site conditions of \"Smith house\" on 2026-03-06 08:15: 68 \u00b0F, 45 % RH, "
                                "EMC 8.5 %.\n"));
        QCOMPARE(archive.run({"job", "conditions", "Smith house", "--temp", "21", "--rh", "50", "--date",
                              "2026-03-05", "--note", "heating on"})
                     .status,
                 0);
        QCOMPARE(archive.run({"job", "conditions", "Smith house", "--temp", "21", "--rh", "99"}).status, 1);
        QCOMPARE(archive.run({"job", "conditions", "Nobody", "--temp", "21", "--rh", "50"}).status, 3);
        const QStringList listed = QString::fromUtf8(archive.run({"job", "conditions", "Smith house"}).out)
                                       .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(listed.size(), 3);
        QCOMPARE(listed[1].simplified(), QStringLiteral("2026-03-05 12:00 21 \u00b0C 50 9.2 heating on"));
        QCOMPARE(listed[2].simplified(), QStringLiteral("2026-03-06 08:15 20 \u00b0C 45 8.5"));
    }

    void exportGivesBackTheFileAsKept()
    {
        TwoFiles archive;
        QVERIFY(archive.import());
        const QString out = archive.home.filePath("again.krx");
        const CliResult exported = archive.run({"export", "1", "-o", out});
        QCOMPARE(exported.status, 0);
        QCOMPARE(exported.errText(), QStringLiteral("Saved file 1 as %1: 2 readings.\n").arg(out));
        TKRFile back;
        back.LoadFromFile(toNativePath(out));
        QCOMPARE(back.GetComment(3), archive.site.GetComment(3));
        for (int f = 1; f <= TFile::FileCount; ++f)
            for (int r = 1; r <= TSubFile::RecordCount; ++r) {
                const TReading& was = archive.site.GetReading(f, r);
                const TReading& is = back.GetReading(f, r);
                QVERIFY2(is.IsUsed() == was.IsUsed() && (!was.IsUsed() || is.GetTabText(true) == was.GetTabText(true)),
                         qPrintable(QStringLiteral("file %1, record %2").arg(f).arg(r)));
            }

        const CliResult unknown = archive.run({"export", "9", "-o", archive.home.filePath("none.krx")});
        QCOMPARE(unknown.status, 3);
        QCOMPARE(unknown.errText(), QStringLiteral("The archive holds no download or file 9.\n"));
        QVERIFY(!QFile::exists(archive.home.filePath("none.krx")));
    }

    void removeTakesOutOnlyWithYes()
    {
        TwoFiles archive;
        QVERIFY(archive.import());
        const CliResult refused = archive.run({"remove", "1"});
        QCOMPARE(refused.status, 4);
        QVERIFY2(refused.errText().contains("give --yes to confirm"), qPrintable(refused.errText()));
        QCOMPARE(archive.json({"list"}).size(), 2);

        const CliResult removed = archive.run({"remove", "1", "--yes"});
        QCOMPARE(removed.status, 0);
        QCOMPARE(removed.errText(), QStringLiteral("Removed file 1: 2 readings left the archive.\n"));
        QCOMPARE(archive.readingIds({}), QList<qint64>{3});
    }

    void badFilterIsWrongUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("said");
        QTest::newRow("moisture not a number") << QStringList{"readings", "--mc", "8-x"}
            << "--mc takes LOW-HIGH in % moisture, LOW not above HIGH (such as 8-12, 8- or -12), not '8-x'";
        QTest::newRow("moisture range upside down") << QStringList{"list", "--mc", "12-8"}
            << "--mc takes LOW-HIGH in % moisture, LOW not above HIGH (such as 8-12, 8- or -12), not '12-8'";
        QTest::newRow("no such day") << QStringList{"readings", "--since", "2026-02-30"}
            << "--since takes a date as YYYY-MM-DD, not '2026-02-30'";
        QTest::newRow("date written otherwise") << QStringList{"list", "--until", "5/3/2026"}
            << "--until takes a date as YYYY-MM-DD, not '5/3/2026'";
        QTest::newRow("ID not a number") << QStringList{"export", "site.krx", "-o", "x.krx"}
            << "archive export takes the ID of a download or file, as archive list shows it, not 'site.krx'";
        QTest::newRow("humidity without temperature") << QStringList{"job", "conditions", "A", "--rh", "50"}
            << "archive job conditions needs both --temp T and --rh H, or neither to list them";
        QTest::newRow("time written otherwise") << QStringList{"job", "conditions", "A", "--temp", "20", "--rh", "50",
                                                               "--date", "6/3/2026"}
            << "--date takes a local date and time as YYYY-MM-DDTHH:MM, or a date as YYYY-MM-DD, not '6/3/2026'";
    }
    void badFilterIsWrongUsage()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, said);
        QTemporaryDir home;
        const CliResult result = runCli(QStringList{"--home", home.path(), "archive"} + args);
        QCOMPARE(result.status, 1);
        QCOMPARE(result.errText(), QStringLiteral("kr-cli: %1\nTry 'kr-cli --help'.\n").arg(said));
        QVERIFY(!QFile::exists(home.filePath("archive.sqlite")));
    }
};

QTEST_GUILESS_MAIN(TestArchiveCli)
#include "tst_ArchiveCli.moc"
