#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "settings/ui/WindowLayout.h"
#include "tests/support/TestFiles.h"

using namespace kr;

namespace {

PlacementDecision decision(QRect r, WindowShow show = WindowShow::Normal)
{
    PlacementDecision d;
    WindowPlacement p;
    p.Left = r.left();
    p.Top = r.top();
    p.Right = r.left() + r.width();
    p.Bottom = r.top() + r.height();
    d.rect = p;
    d.show = show;
    return d;
}

} // namespace

class TestWidgets : public QObject {
    Q_OBJECT

private slots:
    void placementOfNormalWindowIsItsGeometry();
    void placementOfMaximisedAndMinimisedWindows();
    void applyPlacementSetsRectangleThenState();
    void fixedSizeWindowIsOnlyMoved();
    void lostWindowComesBackOnScreen();
    void columnWidthsFollowColumnPosition();
    void fontConversionKeepsWhatQtCanHold();
    void layoutRestoresOnShowAndSavesOnClose();
    void screenInfoComesFromWindowScreen();
};

void TestWidgets::placementOfNormalWindowIsItsGeometry()
{
    QWidget w;
    w.setGeometry(100, 120, 300, 200);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const WindowPlacement p = placementOf(&w);
    QCOMPARE((QList<int>{p.Left, p.Top, p.Right, p.Bottom}), (QList<int>{100, 120, 400, 320}));
    QCOMPARE(p.ShowCmd, 1);
    QCOMPARE(p.Flags, 0);
    QCOMPARE((QList<int>{p.MinX, p.MinY, p.MaxX, p.MaxY}), (QList<int>{-1, -1, -1, -1}));
}

void TestWidgets::placementOfMaximisedAndMinimisedWindows()
{
    QWidget w;
    w.setGeometry(50, 60, 320, 240);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.setWindowState(Qt::WindowMaximized);
    WindowPlacement p = placementOf(&w);
    QCOMPARE(p.ShowCmd, 3);
    QCOMPARE(p.Flags, 0);
    QCOMPARE((QList<int>{p.Left, p.Top, p.Right, p.Bottom}), (QList<int>{50, 60, 370, 300}));

    w.setWindowState(Qt::WindowMinimized | Qt::WindowMaximized);
    p = placementOf(&w);
    QCOMPARE(p.ShowCmd, 2);
    QCOMPARE(p.Flags, RestoreToMaximizedFlag);

    w.setWindowState(Qt::WindowMinimized);
    p = placementOf(&w);
    QCOMPARE(p.ShowCmd, 2);
    QCOMPARE(p.Flags, 0);
}

void TestWidgets::applyPlacementSetsRectangleThenState()
{
    QWidget w;
    w.resize(200, 100);
    applyPlacement(&w, decision(QRect(30, 40, 250, 150)));
    QCOMPARE(w.geometry(), QRect(30, 40, 250, 150));
    QCOMPARE(w.windowState(), Qt::WindowNoState);

    applyPlacement(&w, decision(QRect(30, 40, 250, 150), WindowShow::Maximized));
    QVERIFY(w.windowState() & Qt::WindowMaximized);

    PlacementDecision min;
    min.show = WindowShow::Minimized;
    min.restoreToMaximized = true;
    applyPlacement(&w, min);
    QCOMPARE(w.windowState(), Qt::WindowMinimized | Qt::WindowMaximized);

    applyPlacement(&w, PlacementDecision{});
    QCOMPARE(w.windowState(), Qt::WindowNoState);
}

void TestWidgets::fixedSizeWindowIsOnlyMoved()
{
    QWidget w;
    w.setFixedSize(374, 63);
    applyPlacement(&w, decision(QRect(20, 30, 600, 500)));
    QCOMPARE(w.pos(), QPoint(20, 30));
    QCOMPARE(w.size(), QSize(374, 63));
}

void TestWidgets::lostWindowComesBackOnScreen()
{
    QWidget w;
    applyPlacement(&w, decision(QRect(50000, 40000, 300, 200)));
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(avail.intersects(w.geometry()), "a window stored on a screen that is gone must stay reachable");
    QCOMPARE(w.size(), QSize(300, 200));
}

void TestWidgets::columnWidthsFollowColumnPosition()
{
    QTableWidget grid(26, 7);
    const std::vector<int> design{10, 40, 120, 40, 40, 300, 64};
    setColumnWidths(&grid, design);
    QCOMPARE(columnWidthsOf(&grid), design);
    // A dragged column takes only its width along: Item0 stays the leftmost.
    grid.horizontalHeader()->moveSection(5, 0);
    QCOMPARE(columnWidthsOf(&grid), (std::vector<int>{300, 10, 40, 120, 40, 40, 64}));
    setColumnWidths(&grid, {30, 40, 120, 40, 40, 300, 64});
    QCOMPARE(grid.horizontalHeader()->sectionSize(5), 30);
    QCOMPARE(grid.horizontalHeader()->sectionSize(0), 40);
    setColumnWidths(&grid, {77});
    QCOMPARE(grid.horizontalHeader()->sectionSize(5), 77);
    QCOMPARE(grid.horizontalHeader()->sectionSize(0), 40);
}

void TestWidgets::fontConversionKeepsWhatQtCanHold()
{
    StoredFont f;
    f.Name = "Liberation Sans";
    f.setSize(11, 96);
    f.Style = {true, false, true, false};
    f.Charset = 0;
    f.Color = 0x0000FF;
    const QFont qf = toQFont(f);
    QCOMPARE(qf.family(), QString("Liberation Sans"));
    QCOMPARE(qf.pointSize(), 11);
    QVERIFY(qf.bold());
    QVERIFY(!qf.italic());
    QVERIFY(qf.underline());
    QCOMPARE(fromQFont(qf, f, 96), f);

    QFont pixels("Arial");
    pixels.setPixelSize(16);
    const StoredFont fromPixels = fromQFont(pixels, StoredFont{}, 96);
    QCOMPARE(fromPixels.Height, -16);
    QCOMPARE(fromPixels.Size, 12);

    QCOMPARE(toQColor(0x0000FF), QColor(255, 0, 0));
    QCOMPARE(toQColor(0xFF0000), QColor(0, 0, 255));
    QCOMPARE(fromQColor(QColor(1, 2, 3)), 0x030201);
    QCOMPARE(toQColor(-16777208), QGuiApplication::palette().color(QPalette::WindowText));
}

void TestWidgets::layoutRestoresOnShowAndSavesOnClose()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("kr.ini");
    const ScreenInfo screen{1024, 768, 96};
    test::writeFile(ini, "[setup]\r\nNormPos(1024x768)=40,50,540,450\r\nPixelsPerInch=96\r\npaTop_Height=90\r\n"
                            "\r\n[setup\\TfmMaindgData]\r\nItem0=33\r\n\r\n[setup\\TfmMain.MRUManager1]\r\n"
                            "Item_0=/x.krx\r\nUser_0=1\r\n");
    QWidget window;
    window.resize(664, 541);
    auto* grid = new QTableWidget(26, 7, &window);
    auto* notes = new QWidget(&window);
    notes->setFixedHeight(72);
    auto* label = new QLabel("AaBbYyZz", &window);
    StoredFont printFont;
    std::vector<RecentEntry> recent;

    WindowLayout layout(&window, ini, MainLayoutSection);
    layout.setScreen([screen] { return screen; });
    layout.attachColumnWidths(grid, MainGridSection);
    layout.attachRecentFiles(
        RecentFilesSection, [&] { return recent; }, [&](const std::vector<RecentEntry>& r) { recent = r; });
    layout.storeInteger("paTop", "Height", [&] { return notes->height(); }, [&](int h) { notes->setFixedHeight(h); });
    layout.storeFont("lblPrinterFont", "Font", [&] { return printFont; },
                     [&](const StoredFont& f) {
                         printFont = f;
                         label->setFont(toQFont(f));
                     });

    QVERIFY(layout.Restore());
    QCOMPARE(window.geometry(), QRect(40, 50, 500, 400));
    QCOMPARE(grid->horizontalHeader()->sectionSize(0), 33);
    QCOMPARE(notes->height(), 90);
    QCOMPARE(recent, (std::vector<RecentEntry>{{"/x.krx", 1}}));

    window.setGeometry(60, 70, 600, 500);
    notes->setFixedHeight(120);
    grid->horizontalHeader()->resizeSection(6, 99);
    printFont.Style.italic = true;
    QVERIFY(!layout.Save());
    const IniFile file(ini);
    QCOMPARE(file.readString("setup", "NormPos", ""), std::string("60,70,660,570"));
    QCOMPARE(file.readString("setup", "NormPos(1024x768)", ""), std::string("60,70,660,570"));
    QCOMPARE(file.readInteger("setup", "paTop_Height", 0), 120);
    QCOMPARE(file.readInteger(MainGridSection, "Item6", 0), 99);
    QCOMPARE(file.readString("setup", "lblPrinterFont_FontStyle", ""), std::string("[fsItalic]"));
    QCOMPARE(file.readInteger("setup", "Visible", -1), 0);
    QVERIFY(!layout.SaveOnDestroy());
}

void TestWidgets::screenInfoComesFromWindowScreen()
{
    QWidget w;
    const ScreenInfo s = screenOf(&w);
    const QScreen* screen = QGuiApplication::primaryScreen();
    QCOMPARE(s.width, screen->geometry().width());
    QCOMPARE(s.height, screen->geometry().height());
    QVERIFY(s.pixelsPerInch > 0);
}

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
