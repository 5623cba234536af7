// kr-cli stats: the same figures as the statistics model, the range from
// --range, kr.ini or the default, and its usage errors.
#include <QJsonArray>
#include <QJsonDocument>
#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "CliRunner.h"
#include "core/Readings.h"
#include "core/Statistics.h"
#include "tests/support/MoistureSample.h"
#include "tests/support/TestFiles.h"

using namespace kr;
using kr::test::runCli;

class TestCliStats : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void jsonHasTheModelsFigures();
    void rangeFromOptionElseKrIniElseDefault_data();
    void rangeFromOptionElseKrIniElseDefault();
    void tableShowsEveryLine();
    void moistureNoMeterMeasuresIsLeftOut();
    void referenceScalesHaveLinesOfTheirOwn_data();
    void referenceScalesHaveLinesOfTheirOwn();
    void wrongUsageAndUnreadableFile_data();
    void wrongUsageAndUnreadableFile();
    void emcOfTheRoom_data();
    void emcOfTheRoom();

private:
    QTemporaryDir dir;
    QString dataFile;
    TKRFile doc;
};

namespace {

void compareLine(const QJsonObject& o, const MoistureStatistics& s)
{
    QCOMPARE(o.value("count").toInt(), s.count);
    QCOMPARE(o.value("zeros").toInt(), s.zeros);
    if (!s.hasFigures()) {
        QVERIFY(o.value("mean").isNull());
        QVERIFY(o.value("inRange").isNull());
        return;
    }
    QVERIFY(std::fabs(o.value("mean").toDouble() - double(s.mean)) <= 0.005);
    QVERIFY(std::fabs(o.value("min").toDouble() - double(s.min)) <= 0.005);
    QVERIFY(std::fabs(o.value("max").toDouble() - double(s.max)) <= 0.005);
    QVERIFY(std::fabs(o.value("inRange").toDouble() - double(s.inRangeShare())) <= 0.00005);
    if (s.hasSd())
        QVERIFY(std::fabs(o.value("sd").toDouble() - double(s.sd)) <= 0.005);
    else
        QVERIFY(o.value("sd").isNull());
}

} // namespace

// The room's equilibrium moisture in either scale, and a plain refusal
// outside the equation's range.
void TestCliStats::emcOfTheRoom_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");  // on standard output, else on standard error
    QTest::newRow("celsius") << QStringList{"--temp", "21", "--rh", "50"} << 0 << "EMC 9.2 % at 21 \u00b0C, 50 % RH\n";
    QTest::newRow("fahrenheit") << QStringList{"--temp", "70", "--rh", "50", "--fahrenheit"} << 0
                                << "EMC 9.2 % at 70 \u00b0F, 50 % RH\n";
    QTest::newRow("saturated air") << QStringList{"--temp", "21", "--rh", "99"} << 1 << "99 % is outside that";
    QTest::newRow("no humidity") << QStringList{"--temp", "21"} << 1 << "emc needs --temp T and --rh H";
}

void TestCliStats::emcOfTheRoom()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, said);
    const auto r = runCli(QStringList{"emc"} + args);
    QCOMPARE(r.status, status);
    if (status == 0)
        QCOMPARE(QString::fromUtf8(r.out), said);
    else
        QVERIFY2(QString::fromUtf8(r.err).contains(said), r.err.constData());
}

void TestCliStats::initTestCase()
{
    QVERIFY(dir.isValid());
    dataFile = dir.filePath(QStringLiteral("site.krx"));
    test::fillGlanceSample(doc);
    doc.SaveToFile(dataFile.toStdString());
}

void TestCliStats::jsonHasTheModelsFigures()
{
    const auto r = runCli({"stats", dataFile, "--json", "--range", "6.5-9"});
    QCOMPARE(r.status, 0);
    const QJsonObject root = QJsonDocument::fromJson(r.out).object();
    QCOMPARE(root.value("range").toArray(), (QJsonArray{6.5, 9}));
    const MoistureRange range{6.5L, 9};
    const std::vector<MoistureStatistics> table = StatisticsTable(doc, range);
    const QJsonArray files = root.value("files").toArray();
    QCOMPARE(files.size(), qsizetype(table.size() - 1));
    for (qsizetype i = 0; i < files.size(); ++i) {
        QCOMPARE(files.at(i).toObject().value("number").toInt(), table[std::size_t(i)].number);
        compareLine(files.at(i).toObject(), table[std::size_t(i)]);
    }
    QVERIFY(!root.value("all").toObject().contains("number"));
    compareLine(root.value("all").toObject(), table.back());

    // --file N: that meter file alone, the whole document still as "all".
    const auto one = runCli({"stats", dataFile, "--json", "--file", "9"});
    QCOMPARE(one.status, 0);
    const QJsonObject only = QJsonDocument::fromJson(one.out).object();
    QCOMPARE(only.value("files").toArray().size(), 1);
    compareLine(only.value("files").toArray().at(0).toObject(), FileStatistics(doc, 9, MoistureRange{}));
    compareLine(only.value("all").toObject(), table.back());
}

void TestCliStats::rangeFromOptionElseKrIniElseDefault_data()
{
    QTest::addColumn<QString>("ini");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QJsonArray>("range");
    QTest::newRow("default") << QString() << QStringList() << QJsonArray{6, 9};
    QTest::newRow("kr.ini") << QStringLiteral("[Glance]\r\nLow=7\r\nHigh=8.5\r\n") << QStringList() << QJsonArray{7, 8.5};
    QTest::newRow("broken kr.ini") << QStringLiteral("[Glance]\r\nLow=seven\r\n") << QStringList() << QJsonArray{6, 9};
    QTest::newRow("option wins") << QStringLiteral("[Glance]\r\nLow=7\r\nHigh=8.5\r\n")
                                 << QStringList{"--range=10-12"} << QJsonArray{10, 12};
}

void TestCliStats::rangeFromOptionElseKrIniElseDefault()
{
    QFETCH(QString, ini);
    QFETCH(QStringList, extra);
    QTemporaryDir home;
    if (!ini.isEmpty())
        QVERIFY(test::writeFile(home.filePath(QStringLiteral("kr.ini")), ini.toStdString()));
    const auto r = runCli(QStringList{"--home", home.path(), "stats", dataFile, "--json"} + extra);
    QCOMPARE(r.status, 0);
    QTEST(QJsonDocument::fromJson(r.out).object().value("range").toArray(), "range");
}

void TestCliStats::tableShowsEveryLine()
{
    const auto r = runCli({"stats", dataFile});
    QCOMPARE(r.status, 0);
    const QString text = QString::fromUtf8(r.out);
    QVERIFY2(text.contains(QStringLiteral("Target range  6.0 - 9.0 % moisture content")), qPrintable(text));
    // File 2: eleven readings and the missed one; its figures as the model has them.
    const MoistureStatistics s = FileStatistics(doc, 2, MoistureRange{});
    const QString line = QStringLiteral("   2        11      1   %1    9.4   13.1   %2       0 %")
                             .arg(QString::fromStdString(MoistureFigureText(s.mean)))
                             .arg(QString::fromStdString(SdText(s)));
    QVERIFY2(text.contains(line), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("\n All        27      1")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("sample standard deviation")));
}

// A data file may carry moistures no meter measures; they are neither zeros
// nor figures, the table keeps its columns, and both outputs count them.
void TestCliStats::moistureNoMeterMeasuresIsLeftOut()
{
    TKRFile odd;
    test::putMoistures(odd, 1, {12.5L, -5, 1e308L, 0});
    test::putMoistures(odd, 3, {8, 150, 7});
    const QString path = dir.filePath(QStringLiteral("odd.krx"));
    odd.SaveToFile(path.toStdString());
    // A moisture text that reads as no number keeps 0: it is no zero reading.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const qsizetype record = bytes.indexOf("\r\nF0303") + 2;
    bytes.replace(record + 50, 8, "inf     ");
    file.seek(0);
    file.write(bytes);
    file.close();

    const auto r = runCli({"stats", path});
    QCOMPARE(r.status, 0);
    const QString text = QString::fromUtf8(r.out);
    QVERIFY2(text.contains(QStringLiteral("\n   1         1      1   12.5   12.5   12.5      -       0 %\n")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("\n All         2      1   10.3    8.0   12.5   3.18      50 %\n")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("4 readings left out: moisture not a number from 0 to 100 (meter files 1, 3).\n")));

    const auto json = runCli({"stats", path, "--json"});
    QCOMPARE(json.status, 0);
    const QJsonObject root = QJsonDocument::fromJson(json.out).object();
    QCOMPARE(root.value("files").toArray().at(0).toObject().value("leftOut").toInt(), 2);
    QCOMPARE(root.value("files").toArray().at(1).toObject().value("leftOut").toInt(), 2);
    QCOMPARE(root.value("all").toObject().value("leftOut").toInt(), 4);
    QCOMPARE(root.value("all").toObject().value("max").toDouble(), 12.5);
}

// Drywall readings (no SG) beside the sample's wood: the wood lines and "all"
// stay the sample's, and the scale gets a line of its own.
void TestCliStats::referenceScalesHaveLinesOfTheirOwn_data()
{
    QTest::addColumn<bool>("drywall");
    QTest::addColumn<QJsonArray>("reference");
    QTest::addColumn<QString>("line");
    QTest::newRow("none") << false << QJsonArray{} << QString();
    QTest::newRow("drywall beside wood")
        << true
        << QJsonArray{QJsonObject{{"species", "Drywall"}, {"count", 3}, {"mean", 22.33}, {"min", 15}, {"max", 32}}}
        << QStringLiteral("\nDrywall                  3      0   22.3   15.0   32.0  meter files 2, 7\n");
}

void TestCliStats::referenceScalesHaveLinesOfTheirOwn()
{
    QFETCH(bool, drywall);
    QFETCH(QString, line);
    TKRFile mixed;
    test::fillGlanceSample(mixed);
    if (drywall) {
        test::putReference(mixed, 2, "Drywall", {15, 20}, 13);
        test::putReference(mixed, 7, "Drywall", {32});
    }
    const QString path = dir.filePath(QStringLiteral("mixed.krx"));
    mixed.SaveToFile(path.toStdString());

    const auto r = runCli({"stats", path, "--json"});
    QCOMPARE(r.status, 0);
    const QJsonObject root = QJsonDocument::fromJson(r.out).object();
    const std::vector<MoistureStatistics> wood = StatisticsTable(doc, MoistureRange{});
    QCOMPARE(root.value("files").toArray().size(), qsizetype(wood.size() - 1));
    compareLine(root.value("all").toObject(), wood.back());
    QTEST(root.value("reference").toArray(), "reference");

    const QString text = QString::fromUtf8(runCli({"stats", path}).out);
    QVERIFY2(text.contains(QStringLiteral("\n All        27      1")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("Reference scales")) == drywall && (line.isEmpty() || text.contains(line)),
             qPrintable(text));
}

void TestCliStats::wrongUsageAndUnreadableFile_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    QTest::newRow("range crossed") << QStringList{"stats", "F", "--range", "9-6"} << 1 << QStringLiteral("--range takes");
    QTest::newRow("range not numbers") << QStringList{"stats", "F", "--range", "dry"} << 1 << QStringLiteral("--range takes");
    QTest::newRow("json elsewhere") << QStringList{"show", "F", "--json"} << 1 << QStringLiteral("does not apply to show");
    QTest::newRow("no file") << QStringList{"stats"} << 1 << QStringLiteral("stats needs a file name");
    QTest::newRow("missing file") << QStringList{"stats", "missing.krx"} << 3 << QStringLiteral("missing.krx");
}

void TestCliStats::wrongUsageAndUnreadableFile()
{
    QFETCH(QStringList, args);
    if (args.size() > 1 && args.at(1) == "F")
        args[1] = dataFile;
    else if (args.size() > 1)
        args[1] = dir.filePath(args.at(1));
    const auto r = runCli(args);
    QTEST(r.status, "status");
    QFETCH(QString, said);
    QVERIFY2(r.errText().contains(said), qPrintable(r.errText()));
    QVERIFY(r.out.isEmpty());
}

QTEST_GUILESS_MAIN(TestCliStats)
#include "tst_CliStats.moc"
