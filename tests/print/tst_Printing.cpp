#include <QtTest>

#include "core/Mtlutils.h"
#include "core/Regional.h"
#include "library/ItemObj.h"
#include "library/List.h"
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

    // Name and SG columns from the template texts; an unknown code keeps its empty line.
    void libraryPageKeepsALineForAnUnknownCode()
    {
        TFactorCatalogue catalogue;
        catalogue.LoadFromText("HN000010Red Alder       Alnus rubra                         0.37Hardwoods NA    \r\n"
                               "HN000050Oregon Ash      Fraxinus latifolia                  0.50Hardwoods NA    \r\n");
        RecordingSurface s;
        PrintLibrary(s, {"HN000010", "ZZ999999", "HN000050"}, catalogue, TLibraryList::NoFileName, TPageSetup{});
        const int h = 8 * 600 / 72, xName = 236 + 4 * 6, xSG = xName + 18 * 6, top = 236 + 150;
        QList<QPair<QPoint, QString>> body;
        for (const auto& c : s.texts())
            if (c.font.points == 8 && c.y < 6600 - 236)
                body.append({QPoint(c.x, c.y), c.text.trimmed()});
        QCOMPARE(body, (QList<QPair<QPoint, QString>>{{{xName, top}, "Red Alder"}, {{xSG, top}, "0.37"},
                                                       {{xName, top + 2 * h}, "Oregon Ash"}, {{xSG, top + 2 * h}, "0.50"}}));
        QCOMPARE(s.texts().at(s.texts().size() - 2).text, QStringLiteral("None"));
    }

};

QTEST_MAIN(TestPrinting)
#include "tst_Printing.moc"
