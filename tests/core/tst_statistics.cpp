// Moisture statistics of meter files, the target range and the comparison of two files.
#include <QTest>
#include <functional>
#include <limits>

#include "CoreTestUtil.h"
#include "core/Readings.h"
#include "core/Statistics.h"
#include "tests/support/MoistureSample.h"

using namespace kr;
using kr::test::putMoistures;
using kr::test::putReference;

Q_DECLARE_METATYPE(std::vector<long double>)
using Fill = std::function<void(TFile&)>;
Q_DECLARE_METATYPE(Fill)

class TestStatistics : public QObject {
    Q_OBJECT

private slots:
    void fileFigures_data();
    void fileFigures();
    void slotsNotInUseAreNoReadings();
    void documentTakesEveryFileAndTableListsFilesWithReadings();
    void referenceScalesStayOutOfWoodFigures_data();
    void referenceScalesStayOutOfWoodFigures();
    void comparisonWithinLimit_data();
    void comparisonWithinLimit();
    void tabTextIsTheTableWithRegionalDecimals();
};

namespace {

constexpr long double Near = 1e-9L;

} // namespace

// Hand-checked: count, zeros, mean, min, max, sample SD, readings in 6..9.
void TestStatistics::fileFigures_data()
{
    QTest::addColumn<std::vector<long double>>("moistures");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("zeros");
    QTest::addColumn<double>("mean");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<double>("sd"); // -1: no SD
    QTest::addColumn<int>("inRange");

    QTest::newRow("empty file") << std::vector<long double>{} << 0 << 0 << 0.0 << 0.0 << 0.0 << -1.0 << 0;
    QTest::newRow("one reading") << std::vector<long double>{7.5L} << 1 << 0 << 7.5 << 7.5 << 7.5 << -1.0 << 1;
    QTest::newRow("only zeros") << std::vector<long double>{0, 0} << 0 << 2 << 0.0 << 0.0 << 0.0 << -1.0 << 0;
    QTest::newRow("all equal") << std::vector<long double>{10, 10, 10} << 3 << 0 << 10.0 << 10.0 << 10.0 << 0.0 << 0;
    // Range ends are inside; the 0 is left out of every figure.
    QTest::newRow("mixed with a zero")
        << std::vector<long double>{6, 0, 9, 12} << 3 << 1 << 9.0 << 6.0 << 12.0 << 3.0 << 2;
    QTest::newRow("just outside both ends")
        << std::vector<long double>{5.9L, 9.1L} << 2 << 0 << 7.5 << 5.9 << 9.1 << 2.2627417 << 0;
    // What no meter measures is neither a zero nor in any figure: it is left out.
    using V = std::vector<long double>;
    const long double inf = std::numeric_limits<long double>::infinity();
    QTest::newRow("0 and 100 are the ends") << V{100, -0.0L, 8} << 2 << 1 << 54.0 << 8.0 << 100.0 << 65.053824 << 1;
    QTest::newRow("negative, above 100") << V{8, -5, 100.5L, 1e308L} << 1 << 0 << 8.0 << 8.0 << 8.0 << -1.0 << 1;
    QTest::newRow("not finite") << V{std::numeric_limits<long double>::quiet_NaN(), inf, -inf, 8, 0}
                                << 1 << 1 << 8.0 << 8.0 << 8.0 << -1.0 << 1;
    QTest::newRow("nothing but left out") << V{-1, 1e308L} << 0 << 0 << 0.0 << 0.0 << 0.0 << -1.0 << 0;
}

void TestStatistics::fileFigures()
{
    QFETCH(std::vector<long double>, moistures);
    TKRFile doc;
    int rec = 1;
    for (long double m : moistures)
        putMoistures(doc, 4, {m}, rec++);
    const MoistureStatistics s = FileStatistics(doc, 4, MoistureRange{6, 9});
    QCOMPARE(s.number, 4);
    QTEST(s.count, "count");
    QTEST(s.zeros, "zeros");
    QCOMPARE(s.count + s.zeros + s.leftOut, int(moistures.size()));
    QCOMPARE(s.holdsReadings(), !moistures.empty());
    QTEST(s.inRange, "inRange");
    QFETCH(double, sd);
    QCOMPARE(s.hasSd(), sd >= 0);
    if (!s.hasFigures())
        return;
    QFETCH(double, mean);
    QFETCH(double, min);
    QFETCH(double, max);
    // The stored moisture is a 6-byte real: near, not exact.
    QVERIFY(std::fabs(s.mean - mean) < 1e-6L);
    QVERIFY(std::fabs(s.min - min) < 1e-6L);
    QVERIFY(std::fabs(s.max - max) < 1e-6L);
    if (s.hasSd())
        QVERIFY2(std::fabs(s.sd - sd) < 1e-6L, qPrintable(QString::number(double(s.sd))));
}

void TestStatistics::slotsNotInUseAreNoReadings()
{
    TKRFile doc;
    putMoistures(doc, 1, {8});
    // A slot without a species holds no reading, whatever moisture it keeps.
    doc.GetReading(1, 2).SetMoisture(30);
    doc.GetReading(1, 3).SetMoisture(0);
    const MoistureStatistics s = FileStatistics(doc, 1, MoistureRange{});
    QCOMPARE(s.count, 1);
    QCOMPARE(s.zeros, 0);
    QCOMPARE(s.max, s.min);
    // The chart's points: the same readings, each marked inside or outside.
    putMoistures(doc, 1, {0, 9.5L}, 4);
    const std::vector<ReadingPoint> points = ReadingPoints(doc, 1, MoistureRange{6, 9});
    QCOMPARE(int(points.size()), 2);
    QCOMPARE(points[0].record, 1);
    QVERIFY(points[0].inRange);
    QCOMPARE(points[1].record, 5);
    QVERIFY(!points[1].inRange);
}

void TestStatistics::documentTakesEveryFileAndTableListsFilesWithReadings()
{
    TKRFile doc;
    putMoistures(doc, 3, {7, 8});
    putMoistures(doc, 7, {0});
    putMoistures(doc, 25, {12});
    doc.SetComment(10, "a comment is no reading");
    const std::vector<MoistureStatistics> table = StatisticsTable(doc, MoistureRange{6, 9});
    QCOMPARE(int(table.size()), 4);
    QCOMPARE(table[0].number, 3);
    QCOMPARE(table[1].number, 7);
    QCOMPARE(table[2].number, 25);
    const MoistureStatistics& all = table[3];
    QCOMPARE(all.number, 0);
    QCOMPARE(all.count, 3);
    QCOMPARE(all.zeros, 1);
    QCOMPARE(all.inRange, 2);
    QVERIFY(std::fabs(all.mean - 9) < Near);
    QVERIFY(std::fabs(all.inRangeShare() - 2.0L / 3) < Near);

    // An empty document still has its "all" line, with nothing in it.
    TKRFile empty;
    const std::vector<MoistureStatistics> none = StatisticsTable(empty, MoistureRange{});
    QCOMPARE(int(none.size()), 1);
    QVERIFY(!none[0].hasFigures());
}

// Readings without an SG (drywall, brick) are no wood moisture: they are in
// no wood line, in neither the chart nor the comparison, and get a line per scale.
void TestStatistics::referenceScalesStayOutOfWoodFigures_data()
{
    QTest::addColumn<Fill>("fill");
    QTest::addColumn<QList<int>>("woodFiles");
    QTest::addColumn<int>("allCount");
    QTest::addColumn<double>("allMean");
    QTest::addColumn<int>("file2Reference");
    QTest::addColumn<int>("file2Points");
    QTest::addColumn<QString>("reference");
    QTest::addColumn<std::string>("verdict");

    QTest::newRow("wood and reference mixed") << Fill([](TFile& d) {
        putMoistures(d, 2, {8, 10});
        putReference(d, 2, "Drywall", {15, 32}, 3);
        putReference(d, 4, "Plaster", {0});
        putReference(d, 4, "Drywall", {20}, 2);
        putMoistures(d, 6, {7});
    }) << QList<int>{2, 6} << 3 << 25.0 / 3 << 2 << 2
       << QStringLiteral("Drywall 3 22.3 15.0 32.0 meter files 2, 4 | Plaster 0 - meter file 4")
       << std::string("Meter file 4 holds no wood readings above 0 % (only reference-scale ones): nothing to compare.");
    QTest::newRow("only reference") << Fill([](TFile& d) {
        putReference(d, 2, "Drywall", {15, 18, 32});
        putReference(d, 4, "Brick", {40});
    }) << QList<int>{} << 0 << 0.0 << 3 << 0
       << QStringLiteral("Brick 1 40.0 40.0 40.0 meter file 4 | Drywall 3 21.7 15.0 32.0 meter file 2")
       << std::string("Meter file 2 holds no wood readings above 0 % (only reference-scale ones): nothing to compare.");
    QTest::newRow("none") << Fill([](TFile& d) {
        putMoistures(d, 2, {8, 10});
        putMoistures(d, 4, {7});
    }) << QList<int>{2, 4} << 3 << 25.0 / 3 << 0 << 2 << QString()
       << std::string("Difference 2.0 points: within the limit of 4.0.");
}

void TestStatistics::referenceScalesStayOutOfWoodFigures()
{
    QFETCH(Fill, fill);
    TKRFile doc;
    fill(doc);
    const std::vector<MoistureStatistics> table = StatisticsTable(doc, MoistureRange{6, 9});
    QList<int> woodFiles;
    for (std::size_t i = 0; i + 1 < table.size(); ++i)
        woodFiles << table[i].number;
    QTEST(woodFiles, "woodFiles");
    QTEST(table.back().count, "allCount");
    QFETCH(double, allMean);
    QVERIFY(std::fabs(table.back().mean - allMean) < 1e-6L);
    QTEST(FileStatistics(doc, 2, MoistureRange{}).reference, "file2Reference");
    QTEST(int(ReadingPoints(doc, 2, MoistureRange{}).size()), "file2Points");

    QStringList lines;
    for (const ReferenceStatistics& r : ReferenceTable(doc)) {
        QString line = QString::fromStdString(r.species) + ' ' + QString::number(r.count) + ' ';
        line += r.hasFigures() ? QString::fromStdString(MoistureFigureText(r.mean) + ' ' + MoistureFigureText(r.min) + ' '
                                                        + MoistureFigureText(r.max))
                               : QStringLiteral("-");
        lines << line + ' ' + QString::fromStdString(ReferenceFilesText(r));
    }
    QTEST(lines.join(QStringLiteral(" | ")), "reference");
    QTEST(ComparisonVerdict(CompareFiles(doc, 2, 4, 4)), "verdict");
}

void TestStatistics::comparisonWithinLimit_data()
{
    QTest::addColumn<std::vector<long double>>("first");
    QTest::addColumn<std::vector<long double>>("second");
    QTest::addColumn<bool>("comparable");
    QTest::addColumn<double>("difference");
    QTest::addColumn<bool>("within");
    QTest::addColumn<std::string>("verdict");

    using V = std::vector<long double>;
    const std::string within = "Difference 4.0 points: within the limit of 4.0.";
    QTest::newRow("exactly at the limit") << V{12, 14} << V{9} << true << 4.0 << true << within;
    QTest::newRow("just over") << V{13.5L} << V{9.25L} << true << 4.25 << false
                               << std::string("Difference 4.3 points: more than the limit of 4.0.");
    QTest::newRow("second wetter") << V{8} << V{11.5L, 12.5L} << true << -4.0 << true << within;
    QTest::newRow("zeros only are no mean") << V{8} << V{0, 0} << false << 0.0 << false
        << std::string("Meter file 5 holds no readings above 0 %: nothing to compare.");
    QTest::newRow("empty file") << V{} << V{8} << false << 0.0 << false
        << std::string("Meter file 2 holds no readings above 0 %: nothing to compare.");
}

void TestStatistics::comparisonWithinLimit()
{
    QFETCH(std::vector<long double>, first);
    QFETCH(std::vector<long double>, second);
    TKRFile doc;
    int rec = 1;
    for (long double m : first)
        putMoistures(doc, 2, {m}, rec++);
    rec = 1;
    for (long double m : second)
        putMoistures(doc, 5, {m}, rec++);
    const MoistureComparison c = CompareFiles(doc, 2, 5, 4);
    QTEST(c.comparable(), "comparable");
    QTEST(c.withinLimit(), "within");
    QFETCH(double, difference);
    QVERIFY(std::fabs(c.difference - difference) < 1e-6L);
    QTEST(ComparisonVerdict(c), "verdict");
}

void TestStatistics::tabTextIsTheTableWithRegionalDecimals()
{
    // A copy, not a reference: setRegional changes what regional() refers to.
    const RegionalSettings saved = regional(); // NOLINT(performance-unnecessary-copy-initialization)
    setRegional(test::withDecimal(','));
    TKRFile doc;
    putMoistures(doc, 2, {6.5L, 0, 9.5L});
    putMoistures(doc, 4, {7});
    putReference(doc, 4, "Drywall", {15.5L, 0}, 2);
    const std::string text =
        StatisticsTabText(StatisticsTable(doc, MoistureRange{6, 9}), MoistureRange{6, 9}, ReferenceTable(doc));
    setRegional(saved);
    QCOMPARE(text, std::string("Readings at a glance\r\n"
                               "Target range\t6,0\t9,0\r\n"
                               "File\tReadings\tZeros\tMean\tMin\tMax\tSD\tIn range %\r\n"
                               "2\t2\t1\t8,0\t6,5\t9,5\t2,12\t50\r\n"
                               "4\t1\t0\t7,0\t7,0\t7,0\t\t100\r\n"
                               "All\t3\t1\t7,7\t6,5\t9,5\t1,61\t67\r\n"
                               "Reference scales\r\n"
                               "Drywall\t1\t1\t15,5\t15,5\t15,5\r\n"));
}

QTEST_GUILESS_MAIN(TestStatistics)
#include "tst_statistics.moc"
