#include <QtTest>

#include "meter/DownloadCheck.h"

using namespace kr;

namespace {

// A summary line as the meter sends it: file number, then its count.
std::string countLine(int file, int count)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d\r", file, count);
    return buf;
}

// A record line with the given species (13 characters on the line).
std::string recordLine(int file, int record, const char* species = "Red Oak      ", const char* moisture = "12.5")
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "%02d %02d 05-Mar-26 14:07 20 %-13.13s  55 %s\r", file, record, species, moisture);
    return buf;
}

// Three readings in file 1, one in file 2, announced as such.
TDownloadReplies complete()
{
    TDownloadReplies r;
    r.summary = {countLine(1, 3), countLine(2, 1), countLine(3, 0)};
    r.records = {recordLine(1, 1), recordLine(1, 2), recordLine(1, 3), recordLine(2, 1)};
    return r;
}

} // namespace

class TestDownloadCheck : public QObject {
    Q_OBJECT
private slots:
    void judgesTheRepliesFileByFile_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<QString>("shortfall");
        QTest::newRow("exactly as announced") << 0 << "";
        QTest::newRow("blank species counts") << 1 << "";
        QTest::newRow("line repeated byte for byte") << 2 << "";
        QTest::newRow("summary line repeated") << 3 << "";
        QTest::newRow("fewer arrived") << 4 << "only 3 of the 4 readings the KR announced arrived";
        QTest::newRow("more arrived") << 5 << "5 readings arrived where the KR announced 4";
        QTest::newRow("same total, other file")
            << 6 << "the readings that arrived for meter file 1 (2) differ from the KR's count (3)";
        QTest::newRow("two lines, one slot")
            << 7 << "two different readings arrived for meter file 1, record 2";
        QTest::newRow("summary cut mid-line") << 8 << "the KR's count of its readings stopped part-way through a line";
        QTest::newRow("records cut mid-line") << 9 << "the KR's readings stopped part-way through a line";
        QTest::newRow("slot out of range") << 10 << "a reading arrived that names no meter file and record";
        QTest::newRow("count for no file") << 11 << "the KR's count of its readings could not be read";
        QTest::newRow("summary shorter than the data") << 12 << "4 readings arrived where the KR announced 3";
        QTest::newRow("no count arrived")
            << 13 << "4 readings arrived, but the KR's count of its readings did not, so it is not known whether that is all of them";
    }
    void judgesTheRepliesFileByFile()
    {
        QFETCH(int, variant);
        QFETCH(QString, shortfall);
        TDownloadReplies r = complete();
        switch (variant) {
        case 1: r.records[1] = recordLine(1, 2, "             "); break;
        case 2: r.records.insert(r.records.begin() + 2, r.records[1]); break;
        case 3: r.summary.push_back(r.summary[0]); break;
        case 4: r.records.pop_back(); break;
        case 5: r.records.push_back(recordLine(2, 2)); break;
        case 6: r.records[2] = recordLine(2, 2); break;
        case 7: r.records.push_back(recordLine(1, 2, "White Oak    ")); break;
        case 8: r.summaryCut = true; break;
        case 9: r.recordsCut = true; break;
        case 10: r.records.push_back(recordLine(26, 1)); break;
        case 11: r.summary.push_back("xx:02\r"); break;
        case 12: r.summary.erase(r.summary.begin() + 1); break;
        case 13: r.summary.clear(); break;
        default: break;
        }
        QCOMPARE(QString::fromStdString(DownloadShortfall(r)), shortfall);
    }

    void onlyABareEchoShowsAnEmptyMeter_data()
    {
        QTest::addColumn<QStringList>("reply");
        QTest::addColumn<bool>("cut");
        QTest::addColumn<bool>("counted");
        QTest::addColumn<int>("verdict");
        const int empty = int(TEmptyCheck::Empty);
        const int holds = int(TEmptyCheck::HoldsReadings);
        const int unreadable = int(TEmptyCheck::Unreadable);
        QTest::newRow("echo alone") << QStringList{"$4\r"} << false << true << empty;
        QTest::newRow("echo, then cut") << QStringList{"$4\r"} << true << true << unreadable;
        // Both replies paused after their echo: nothing was said of the meter.
        QTest::newRow("echo after a bare summary echo") << QStringList{"$4\r"} << false << false << unreadable;
        QTest::newRow("records") << QStringList{"$4\r", QString::fromStdString(recordLine(1, 1))} << false << true
                                 << holds;
        // Late count lines of a summary that paused, then the data's echo.
        QTest::newRow("late summary lines") << QStringList{"01:00\r", "02:05\r", "$4\r"} << false << false << unreadable;
        QTest::newRow("late summary line alone") << QStringList{"02:05\r"} << false << false << unreadable;
        QTest::newRow("records behind late lines")
            << QStringList{"25:00\r", "$4\r", QString::fromStdString(recordLine(2, 1))} << false << false << holds;
    }
    void onlyABareEchoShowsAnEmptyMeter()
    {
        QFETCH(QStringList, reply);
        QFETCH(bool, cut);
        QFETCH(bool, counted);
        QFETCH(int, verdict);
        std::vector<std::string> lines;
        for (const QString& l : reply)
            lines.push_back(l.toStdString());
        QCOMPARE(int(CheckEmptyDataReply(lines, cut, counted)), verdict);
    }
};

QTEST_APPLESS_MAIN(TestDownloadCheck)
#include "tst_DownloadCheck.moc"
