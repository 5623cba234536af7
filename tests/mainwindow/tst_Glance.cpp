// "Readings at a glance" driven offscreen: it follows the main window, keeps
// its range and limit in kr.ini, takes the target from a job's room, saves
// its chart and copies its table.
#include <QAction>
#include <QAreaSeries>
#include <QCheckBox>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScatterSeries>
#include <QTableView>
#include <QtTest>

#include "core/Statistics.h"
#include "mainwindow/Glance.h"
#include "mainwindow/GlanceModel.h"
#include "mainwindow/Main.h"
#include "mainwindow/RoomTarget.h"
#include "mainwindow/SubFileList.h"
#include "platform/Text.h"
#include "platform/ui/Clipboard.h"
#include "settings/Appglob.h"
#include "settings/IniFile.h"
#include "tests/support/MoistureSample.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestFiles.h"

using namespace kr;

Q_DECLARE_METATYPE(kr::TRoomJob)

namespace {

QStringList tableTexts(TGlanceTableModel& model)
{
    QStringList texts;
    for (int r = 0; r < model.rowCount(); ++r)
        for (int c = 0; c < model.columnCount(); ++c)
            texts << model.index(r, c).data().toString();
    return texts;
}

TArchive::SiteConditions air(const QString& when, double celsius, double humidity)
{
    TArchive::SiteConditions c;
    c.when = QDateTime::fromString(when, Qt::ISODate);
    c.celsius = celsius;
    c.humidity = humidity;
    return c;
}

QScatterSeries* dots(QChart* chart, const QString& name)
{
    for (QAbstractSeries* s : chart->series())
        if (s->name() == name)
            return qobject_cast<QScatterSeries*>(s);
    return nullptr;
}

// The share of pixels in the area that two pictures show clearly differently.
double differingShare(const QImage& a, const QImage& b, const QRect& area)
{
    int differing = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            differing += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 64;
    return double(differing) / (area.width() * area.height());
}

void showFile(TfmMain& main, int fileNo)
{
    main.cbSubFiles->setCurrentIndex(fileNo - 1);
    main.cbSubFilesChange();
}

} // namespace

class TestGlance : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void followsTheMainWindow();
    void rangeAndLimitAreKeptInKrIni();
    void roomTargetFromTheLatestConditions_data();
    void roomTargetFromTheLatestConditions();
    void targetFromTheRoom();
    void savesTheChartAfterAskingToReplace();
    void copiesTheTableAsTabText();
    void screenshots();

private:
    TfmGlance& open();
    std::unique_ptr<test::ScriptedPrompts> prompts;
    std::unique_ptr<TfmMain> main;
};

void TestGlance::initTestCase() { QVERIFY(test::programHome().isValid()); }

void TestGlance::init()
{
    QFile::remove(IniFilePath());
    prompts = std::make_unique<test::ScriptedPrompts>();
    TfmMain::Options o;
    o.openPort = false;
    main = std::make_unique<TfmMain>(o);
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main.get()));
}

void TestGlance::cleanup()
{
    if (main) {
        main->Document().ClearModified();
        main->close();
    }
    main.reset();
    QCOMPARE(prompts->unexpected(), 0);
    prompts.reset();
}

// The sample as a file the main window just opened, and the window from the Options menu.
TfmGlance& TestGlance::open()
{
    test::fillGlanceSample(main->Document());
    main->RefreshDocumentView();
    main->Glance1->trigger();
    TfmGlance* glance = main->Glance();
    glance->resize(880, 680);
    return *glance;
}

void TestGlance::followsTheMainWindow()
{
    TfmGlance& glance = open();
    QVERIFY(glance.isVisible());
    QVERIFY(!glance.isModal());
    QCOMPARE(glance.Table().rowCount(), 4); // files 2, 5, 9 and all
    QCOMPARE(glance.Chart()->title(), QStringLiteral("Meter file 1 (no readings above 0 %)"));
    // The first two files with readings are compared until the user picks others.
    QCOMPARE(glance.cbFirst->currentIndex() + 1, 2);
    QCOMPARE(glance.cbSecond->currentIndex() + 1, 5);
    const MoistureComparison c = CompareFiles(main->Document(), 2, 5, DefaultComparisonLimit);
    QCOMPARE(glance.lblVerdict->text(), fromCp1252(ComparisonVerdict(c)));

    // Another meter file in the main window: the chart shows it, 12 readings
    // inside 6-9 % and 3 outside.
    showFile(*main, 5);
    QVERIFY(glance.Chart()->title().startsWith(QStringLiteral("Meter file 5: Oak boards")));
    QCOMPARE(dots(glance.Chart(), "Inside the range")->count(), 12);
    QCOMPARE(dots(glance.Chart(), "Outside the range")->count(), 3);

    // A changed reading shows once the main window repaints its grid.
    main->Document().GetReading(5, 1).SetMoisture(20);
    main->RepaintGrid();
    QCOMPARE(dots(glance.Chart(), "Outside the range")->count(), 4);
    const QStringList before = tableTexts(glance.Table());
    QVERIFY(before.contains(QStringLiteral("20.0")));

    // The temperature scale is no business of moisture.
    main->settings.Centigrade = !main->settings.Centigrade;
    main->RepaintGrid();
    QCOMPARE(tableTexts(glance.Table()), before);

    // A moisture no meter measures is in no figure and not on the chart; the note counts it.
    QVERIFY(!glance.lblZeros->text().contains(QStringLiteral("left out:")));
    main->Document().GetReading(5, 1).SetMoisture(150);
    main->RepaintGrid();
    QCOMPARE(dots(glance.Chart(), "Outside the range")->count(), 3);
    QVERIFY2(glance.lblZeros->text().endsWith(
                 QStringLiteral(" 1 reading left out: moisture not a number from 0 to 100 (meter file 5).")),
             qPrintable(glance.lblZeros->text()));

    // Drywall readings (no SG) get a line apart, under a heading across the
    // table, and change no wood figure; the chart of their file shows none.
    const auto row = [&](int r) {
        QStringList texts;
        for (int c = 0; c < TGlanceTableModel::ColumnCount; ++c)
            texts << glance.Table().index(r, c).data().toString();
        return texts;
    };
    const QStringList all = row(3).mid(0, TGlanceTableModel::Comment);
    test::putReference(main->Document(), 7, "Drywall", {15, 32});
    showFile(*main, 7);
    QCOMPARE(glance.Table().rowCount(), 6);
    QCOMPARE(row(3).mid(0, TGlanceTableModel::Comment), all);
    QCOMPARE(row(4).first(), QStringLiteral("Reference scales"));
    QCOMPARE(glance.tblStats->columnSpan(4, 0), int(TGlanceTableModel::ColumnCount));
    QCOMPARE(row(5), (QStringList{"Drywall", "2", "0", "23.5", "15.0", "32.0", "", "", "meter file 7"}));
    QCOMPARE(glance.Chart()->title(),
             QStringLiteral("Meter file 7 (no wood readings above 0 %; 2 reference-scale readings not shown)"));

    // A new document (a download, a file opened) replaces everything.
    main->Document().Clear();
    test::putMoistures(main->Document(), 1, {7.5L});
    main->RefreshDocumentView();
    QCOMPARE(glance.Table().rowCount(), 2);
    QCOMPARE(dots(glance.Chart(), "Inside the range")->count(), 1);
}

void TestGlance::rangeAndLimitAreKeptInKrIni()
{
    TfmGlance& glance = open();
    QCOMPARE(glance.spnLow->value(), 6.0);
    QCOMPARE(glance.spnHigh->value(), 9.0);
    glance.spnLow->setValue(7.5);
    glance.spnLimit->setValue(3);
    const IniFile ini(IniFilePath());
    QCOMPARE(ini.read(GlanceSection, "Low"), std::optional<std::string>("7.5"));
    QCOMPARE(ini.read(GlanceSection, "Limit"), std::optional<std::string>("3"));
    QCOMPARE(glance.Table().range(), (MoistureRange{7.5L, 9}));
    // The range bounds itself: the low end cannot pass the high one.
    glance.spnLow->setValue(12);
    QCOMPARE(glance.spnLow->value(), 9.0);
    // File 2's mean lies 3.5 points above file 5's: over a limit of 3.
    QVERIFY(glance.lblVerdict->text().contains(QStringLiteral("more than the limit of 3.0")));

    TfmGlance again(main->Document(), [] { return 1; });
    QCOMPARE(again.spnLow->value(), 9.0);
    QCOMPARE(again.spnLimit->value(), 3.0);
}

void TestGlance::roomTargetFromTheLatestConditions_data()
{
    QTest::addColumn<TRoomJob>("job");
    QTest::addColumn<bool>("centigrade");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("low"); // -1: no target

    const auto damp = air("2026-03-01T09:00:00", 30, 80), room = air("2026-03-05T09:00:00", 21, 50);
    // The archive lists them oldest first; the time decides all the same.
    QTest::newRow("latest by time") << TRoomJob{"Smith", {room, damp}} << true
                                    << "Target 7.2-11.2 % from 21 \u00b0C, 50 % RH (EMC 9.2 %)" << 7.2;
    QTest::newRow("Fahrenheit") << TRoomJob{"Smith", {damp, room}} << false
                                << "Target 7.2-11.2 % from 69.8 \u00b0F, 50 % RH (EMC 9.2 %)" << 7.2;
    QTest::newRow("same time: added last") << TRoomJob{"Smith", {room, air("2026-03-05T09:00:00", 21, 65)}} << true
                                           << "Target 10.0-14.0 % from 21 \u00b0C, 65 % RH (EMC 12.0 %)" << 10.0;
    QTest::newRow("air beyond the EMC") << TRoomJob{"Smith", {damp, air("2026-03-06T09:00:00", 21, 99)}} << true
                                        << "No target from the room of job Smith: the equilibrium moisture is known "
                                           "for a relative humidity from 0 to 98 %; 99 % is outside that."
                                        << -1.0;
}

void TestGlance::roomTargetFromTheLatestConditions()
{
    QFETCH(TRoomJob, job);
    QFETCH(bool, centigrade);
    QFETCH(double, low);
    const TRoomTarget target = RoomTarget(job, TRoomMargins{}, centigrade);
    QTEST(target.text, "text");
    QCOMPARE(target.range.has_value(), low >= 0);
    if (target.range)
        QCOMPARE(QString::number(double(target.range->low), 'f', 1), QString::number(low, 'f', 1));
}

// Checked with a job at 21 °C, 50 % RH, the table, the chart and the boxes
// follow 7.2-11.2 %; unchecked, the stored range is back untouched.
void TestGlance::targetFromTheRoom()
{
    TfmGlance& glance = open();
    // The main window's archive is kept but holds no job yet.
    QVERIFY(!glance.chkFromRoom->isEnabled());
    QCOMPARE(glance.chkFromRoom->toolTip(),
             QStringLiteral("No job in the archive has site conditions yet: add them under File › "
                            "Inspection report..., Site conditions..."));
    glance.SetRoom({});
    QVERIFY(glance.chkFromRoom->toolTip().startsWith(QStringLiteral("The readings archive is not kept")));

    bool centigrade = true;
    const std::vector<TRoomJob> jobs{{"Attic", {air("2026-03-05T09:00:00", 30, 80)}},
                                     {"Smith", {air("2026-03-05T09:00:00", 21, 50)}}};
    glance.SetRoom({[jobs] { return std::optional(jobs); }, [&centigrade] { return centigrade; }});
    QVERIFY(glance.chkFromRoom->isEnabled());
    QCOMPARE(glance.cbRoomJob->count(), 2);
    glance.cbRoomJob->setCurrentIndex(1);
    glance.chkFromRoom->click();
    const MoistureRange room = glance.TargetRange();
    QCOMPARE(fromCp1252(MoistureFigureText(room.low) + "-" + MoistureFigureText(room.high)), QStringLiteral("7.2-11.2"));
    QCOMPARE(glance.lbRoomTarget->text(), QStringLiteral("Target 7.2-11.2 % from 21 \u00b0C, 50 % RH (EMC 9.2 %)"));
    QVERIFY(!glance.spnLow->isEnabled() && !glance.spnHigh->isEnabled());
    QCOMPARE(glance.spnHigh->text(), QStringLiteral("11.2 %"));
    QCOMPARE(glance.Table().range(), room);
    const auto inRange = [](const std::vector<MoistureStatistics>& lines) {
        QList<int> counts;
        for (const MoistureStatistics& s : lines)
            counts << s.inRange;
        return counts;
    };
    QCOMPARE(inRange(glance.Table().lines()), inRange(StatisticsTable(main->Document(), room)));
    QVERIFY(inRange(glance.Table().lines()) != inRange(StatisticsTable(main->Document(), {6, 9})));
    showFile(*main, 5);
    const std::vector<ReadingPoint> points = ReadingPoints(main->Document(), 5, room);
    QCOMPARE(dots(glance.Chart(), "Outside the range")->count(),
             std::count_if(points.begin(), points.end(), [](const ReadingPoint& p) { return !p.inRange; }));

    // The margins are kept; the scale follows the main window's.
    glance.edRoomAbove->setValue(3);
    QCOMPARE(IniFile(IniFilePath()).read(GlanceSection, "RoomAbove"), std::optional<std::string>("3"));
    QVERIFY(QTest::qWaitForWindowExposed(&glance));
    QCoreApplication::processEvents();
    const QString shots = qEnvironmentVariable("KR_BUILD_DIR") + QStringLiteral("/screenshots");
    QVERIFY(QDir().mkpath(shots));
    QVERIFY(glance.grab().save(shots + QStringLiteral("/glance-room.png")));
    centigrade = false;
    glance.Refresh();
    QCOMPARE(glance.lbRoomTarget->text(), QStringLiteral("Target 7.2-12.2 % from 69.8 \u00b0F, 50 % RH (EMC 9.2 %)"));

    glance.chkFromRoom->click();
    QCOMPARE(glance.TargetRange(), (MoistureRange{6, 9}));
    QVERIFY(glance.spnLow->isEnabled() && !glance.lbRoomTarget->isVisible());
    QCOMPARE(glance.spnHigh->value(), 9.0);
    QCOMPARE(glance.Table().range(), (MoistureRange{6, 9}));
}

void TestGlance::savesTheChartAfterAskingToReplace()
{
    TfmGlance& glance = open();
    showFile(*main, 5);
    QVERIFY(QTest::qWaitForWindowExposed(&glance));
    const QString png = test::programHome().filePath(QStringLiteral("chart.png"));
    QVERIFY(test::writeFile(png, "old"));

    prompts->answerSave(png);
    prompts->answer(mbNo);
    glance.btnSaveChart->click();
    QCOMPARE(test::readFile(png), QByteArray("old"));

    prompts->answerSave(png);
    prompts->answer(mbYes);
    glance.btnSaveChart->click();
    const QImage image(png);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), glance.chartView->size() * 2);
    // Not blank: the band, the readings inside and outside and the mean all drew.
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    QVERIFY2(colours.size() > 50, qPrintable(QString::number(colours.size())));
    // The whole chart at twice the size, not its top-left quarter at four
    // times: halved, it looks like the chart on screen.
    QVERIFY(differingShare(image.scaled(glance.chartView->size()), glance.chartView->grab().toImage(),
                           glance.chartView->chart()->geometry().toRect().adjusted(12, 12, -12, -12))
                < 0.03);

    const QString pdf = test::programHome().filePath(QStringLiteral("chart.pdf"));
    prompts->answerSave(pdf);
    glance.btnSaveChart->click();
    QVERIFY(test::readFile(pdf).startsWith("%PDF-"));
}

void TestGlance::copiesTheTableAsTabText()
{
    TfmGlance& glance = open();
    glance.btnCopy->click();
    const QString text = clipboardText();
    QCOMPARE(text, fromCp1252(StatisticsTabText(glance.Table().lines(), glance.Values().range)));
    QVERIFY(text.contains(QStringLiteral("\r\nAll\t27\t1\t")));
}

// <build>/screenshots/glance*.png, for looking at without a display.
void TestGlance::screenshots()
{
    TfmGlance& glance = open();
    showFile(*main, 5);
    QVERIFY(QTest::qWaitForWindowExposed(&glance));
    const QString dir = qEnvironmentVariable("KR_BUILD_DIR") + QStringLiteral("/screenshots");
    QVERIFY(QDir().mkpath(dir));
    // The chart lays itself out from posted events.
    QCoreApplication::processEvents();
    QVERIFY(glance.grab().save(dir + QStringLiteral("/glance.png")));
    // The subfloor against the flooring with a tighter limit: over it.
    showFile(*main, 2);
    glance.spnLimit->setValue(3);
    QCoreApplication::processEvents();
    QVERIFY(glance.grab().save(dir + QStringLiteral("/glance-comparison.png")));
    QVERIFY(test::writeFile(dir + QStringLiteral("/glance-chart.pdf"), glance.ChartPdf().toStdString()));
}

QTEST_MAIN(TestGlance)
#include "tst_Glance.moc"
