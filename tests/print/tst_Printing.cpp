#include <QtTest>

#include <climits>

#include "core/Mtlutils.h"
#include "core/Readings.h"
#include "core/Regional.h"
#include "library/ItemObj.h"
#include "library/List.h"
#include "print/DataPrint.h"
#include "print/LibraryPrint.h"
#include "print/Printing.h"
#include "tests/support/RecordingSurface.h"

using namespace kr;
using namespace kr::test;

class TestPrinting : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setRegional(RegionalSettings{}); }

    void marginToDevice_data()
    {
        QTest::addColumn<int>("mm");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<int>("pixels");
        QTest::newRow("10 mm at 600") << 10 << 600 << 236;
        QTest::newRow("10 mm at 300") << 10 << 300 << 118;
        QTest::newRow("20 mm at 600 as one value") << 20 << 600 << 472;
        QTest::newRow("25 mm at 1200") << 25 << 1200 << 1181;
        QTest::newRow("none") << 0 << 600 << 0;
        QTest::newRow("negative") << -10 << 600 << -236;
        QTest::newRow("beyond int, held at its limit") << INT_MAX << 300 << INT_MAX;
        QTest::newRow("below int, held at its limit") << INT_MIN << 300 << INT_MIN;
    }
    void marginToDevice()
    {
        QFETCH(int, mm);
        QFETCH(int, dpi);
        QFETCH(int, pixels);
        QCOMPARE(MarginToDevice(mm, dpi), pixels);
    }

    void headerDrawsLogoAndCentredTitle()
    {
        RecordingSurface s;
        TPrintFont report;
        report.name = QStringLiteral("Courier New");
        report.points = 10;
        report.bold = true;
        s.SetFont(report);
        const int left = MarginToDevice(10, 600);
        const int width = s.PageWidth() - MarginToDevice(20, 600);
        QCOMPARE(PrintPageHeader(s, width, left, 236, QStringLiteral("KR Data")), 150);
        QCOMPARE(s.calls.size(), 2);
        const auto logo = s.calls[0];
        QCOMPARE(logo.kind, RecordingSurface::Call::Image);
        QCOMPARE(QPoint(logo.x, logo.y), QPoint(236, 236));
        QCOMPARE(QSize(logo.width, logo.height), QSize(323, 73));
        const auto title = s.calls[1];
        QCOMPARE(QPoint(title.x, title.y), QPoint(2400, 236));
        QCOMPARE(title.align, TTextAlign::CenterTop);
        QCOMPARE(title.font.name, QStringLiteral("Arial"));
        QCOMPARE(title.font.points, 15);
        QVERIFY(title.font.bold);
        QCOMPARE(s.Font().name, report.name);
        QCOMPARE(s.Font().points, 10);
        QCOMPARE(s.Align(), TTextAlign::LeftTop);
    }

    void footerPutsDateTimeAndPageAtTheRight()
    {
        RecordingSurface s;
        const TDateTime at = ComposeDateTime(EncodeDate(2026, 12, 7), EncodeTime(14, 5, 9, 0));
        PrintPageFooter(s, 4800, 0, 6364, QStringLiteral("C:\\data\\mill.krx"), 12, at);
        QCOMPARE(s.calls.size(), 2);
        QCOMPARE(s.calls[0].text, QStringLiteral("C:\\data\\mill.krx"));
        QCOMPARE(QPoint(s.calls[0].x, s.calls[0].y), QPoint(0, 6364));
        QCOMPARE(s.calls[0].font.points, 8);
        const auto stamp = s.calls[1];
        QCOMPARE(stamp.text, QStringLiteral("07/12/2026 14:05:09     Page:12"));
        QCOMPARE(stamp.align, TTextAlign::RightTop);
        // Ends the width of "XXX" in the footer font before the right edge.
        QCOMPARE(stamp.x, 4800 - 3 * (8 * 600 / 720));
        QCOMPARE(s.Align(), TTextAlign::LeftTop);
        QCOMPARE(s.Font().points, TPrintFont().points);

        s.calls.clear();
        PrintPageFooter(s, 4800, 0, 6364, QString(), 1, at);
        QCOMPARE(s.calls.size(), 1);
    }

    // Name and SG columns from the template texts; an unknown code keeps its
    // empty line. The body starts below the header at the top margin, the
    // footer stands at the bottom margin.
    void libraryPageKeepsALineForAnUnknownCode_data()
    {
        QTest::addColumn<int>("topMm");
        QTest::addColumn<int>("bottomMm");
        QTest::newRow("equal margins") << 10 << 10;
        QTest::newRow("deeper bottom") << 10 << 30;
        QTest::newRow("deeper top") << 25 << 5;
    }
    void libraryPageKeepsALineForAnUnknownCode()
    {
        QFETCH(int, topMm);
        QFETCH(int, bottomMm);
        TFactorCatalogue catalogue;
        catalogue.LoadFromText("HN000010Red Alder       Alnus rubra                         0.37Hardwoods NA    \r\n"
                               "HN000050Oregon Ash      Fraxinus latifolia                  0.50Hardwoods NA    \r\n");
        TPageSetup setup;
        setup.topMargin = topMm;
        setup.bottomMargin = bottomMm;
        RecordingSurface s;
        PrintLibrary(s, {"HN000010", "ZZ999999", "HN000050"}, catalogue, TLibraryList::NoFileName, setup);
        const int h = 8 * 600 / 72, xName = 236 + 4 * 6, xSG = xName + 18 * 6;
        const int top = MarginToDevice(topMm, 600) + 150, footer = 6600 - MarginToDevice(bottomMm, 600);
        QList<QPair<QPoint, QString>> body;
        for (const auto& c : s.texts())
            if (c.font.points == 8 && c.y < footer)
                body.append({QPoint(c.x, c.y), c.text.trimmed()});
        QCOMPARE(body, (QList<QPair<QPoint, QString>>{{{xName, top}, "Red Alder"}, {{xSG, top}, "0.37"},
                                                       {{xName, top + 2 * h}, "Oregon Ash"}, {{xSG, top + 2 * h}, "0.50"}}));
        const auto name = s.texts().at(s.texts().size() - 2), stamp = s.texts().last();
        QCOMPARE(name.text, QStringLiteral("None"));
        QCOMPARE(QList<int>({name.y, stamp.y}), QList<int>({footer, footer}));
    }

    // Both printouts refuse margins that leave no room for a line of theirs,
    // before any page is drawn. The page is 4800 x 6600 at 600 dpi; a data
    // line is 432 wide to its moisture column, a library line 156.
    void marginRule_data()
    {
        QTest::addColumn<QList<int>>("margins"); // top, right, bottom, left
        QTest::addColumn<int>("points");
        QTest::addColumn<QString>("refusal");    // empty: printed
        using M = QList<int>;
        QTest::newRow("defaults") << M{10, 10, 10, 10} << 8 << QString();
        QTest::newRow("deep top and wide left, a line fits") << M{250, 0, 10, 150} << 8 << QString();
        QTest::newRow("negative top") << M{-1000, 10, 10, 10} << 8 << "A top margin of -1000 mm";
        QTest::newRow("left beyond the page") << M{10, 10, 10, 200} << 8 << "a left margin of 200 mm and a right";
        QTest::newRow("top and bottom together") << M{140, 10, 140, 10} << 8 << "top margin of 140 mm and a bottom margin of 140";
        QTest::newRow("left overflows int") << M{10, 10, 10, INT_MAX} << 8 << "left margin of 2147483647 mm";
        QTest::newRow("sides overflow int") << M{10, INT_MAX, 10, INT_MAX} << 8 << "right margin of 2147483647 mm";
        QTest::newRow("top overflows int") << M{INT_MAX, 10, 10, 10} << 8 << "top margin of 2147483647 mm";
        QTest::newRow("font too large for any margins") << M{0, 0, 0, 0} << 300 << "The print font (Arial, 300 points)";
    }
    void marginRule()
    {
        QFETCH(QList<int>, margins);
        QFETCH(QString, refusal);
        TDataPrintOptions data;
        data.topMargin = margins[0];
        data.rightMargin = margins[1];
        data.bottomMargin = margins[2];
        data.leftMargin = margins[3];
        QFETCH(int, points);
        data.font.points = points;
        data.marks.fill(true);
        TKRFile doc;
        doc.GetReading(1, 1).SetSpecies("Oak");
        TFactorCatalogue catalogue;
        const std::pair<const char*, TPrintJob> jobs[] = {
            {"data", DataPrintJob(doc, data)},
            {"library", LibraryPrintJob({"HN000010"}, catalogue, TLibraryList::NoFileName, data)}};
        for (const auto& [name, job] : jobs) {
            RecordingSurface s;
            const std::optional<QString> why = job.refusal ? job.refusal(s) : std::nullopt;
            QVERIFY2(why.value_or(QString()).contains(refusal) && why.has_value() != refusal.isEmpty(),
                     qPrintable(why.value_or(QString::fromLatin1(name))));
            job.draw(s);
            QVERIFY2(s.calls.isEmpty() != refusal.isEmpty(), name);
        }
    }
};

QTEST_MAIN(TestPrinting)
#include "tst_Printing.moc"
