#include <QTemporaryDir>
#include <QTest>

#include "core/AtomicFile.h"
#include "core/Errors.h"
#include "settings/FormStorage.h"
#include "tests/support/TestFiles.h"

using namespace kr;

namespace {

using test::bytes;
using test::readFile;
using test::writeFile;

const ScreenInfo screen1024{1024, 768, 96};

WindowPlacement designPlacement()
{
    WindowPlacement p;
    p.Left = 180;
    p.Top = 113;
    p.Right = 180 + 664;
    p.Bottom = 113 + 541;
    return p;
}

// A window stand-in: what the storage would read from it and what it was told.
struct FakeWindow {
    WindowPlacement now = designPlacement();
    std::optional<PlacementDecision> placed;
    int notesHeight = 72;
    std::vector<int> widths{10, 40, 120, 40, 40, 300, 64};
    std::vector<RecentEntry> recent;
    StoredFont font;

    void wire(FormStorage& fs, const std::string& gridSection = MainGridSection)
    {
        fs.currentPlacement = [this] { return now; };
        fs.placeWindow = [this](const PlacementDecision& d) { placed = d; };
        fs.screen = [] { return screen1024; };
        fs.attach({[this, gridSection](IniFile& ini) { writeColumnWidths(ini, gridSection, widths); },
                   [this, gridSection](const IniFile& ini) { readColumnWidths(ini, gridSection, widths); }});
        fs.attach({[this](IniFile& ini) { writeRecentFiles(ini, RecentFilesSection, recent); },
                   [this](const IniFile& ini) { recent = readRecentFiles(ini, RecentFilesSection); }});
        fs.storeProperty({[this, &fs](IniFile& ini) { ini.writeInteger(fs.section(), "paTop_Height", notesHeight); },
                          [this, &fs](const IniFile& ini) {
                              notesHeight = ini.readInteger(fs.section(), "paTop_Height", notesHeight);
                          }});
    }
};

} // namespace

class TestLayout : public QObject {
    Q_OBJECT

private slots:
    void showCmdReadsBack_data();
    void showCmdReadsBack();
    void parseFourKeepsDefaultsForMissingNumbers_data();
    void parseFourKeepsDefaultsForMissingNumbers();
    void placementWrittenUnderSizedAndPlainKeys();
    void placementGates_data();
    void placementGates();
    void sizedKeyWinsOverPlainKey();
    void stateAppliedEvenWhenRectangleIsNot();
    void windowFitsTheScreenItLandsOn_data();
    void windowFitsTheScreenItLandsOn();
    void besideOpensNextToItsAnchor_data();
    void besideOpensNextToItsAnchor();

    void columnWidthsRoundTripAndIgnoreOddValues();
    void recentFilesRoundTrip();
    void recentFilesSectionNeverHoldsStaleEntries();
    void recentFilesReadFromIndexNineDown();
    void recentFilesWithLineBreaksAreLeftOut();

    void fontTextForms_data();
    void fontTextForms();
    void fontWrittenAsSevenKeysInOrder();
    void fontReadKeepsCurrentForAbsentOrBadKeys();
    void fontSizeWinsOverHeight();

    void saveWritesKeysInOrder();
    void saveNeedsRestoreFirst();
    void negativeFormVersionDisablesRestoreAndSave();
    void destroyedWindowSavesOnceWithVisible();
    void setupDialogWritesPlacementButNeverAppliesIt();
    void failedSaveStopsAtThatKeyAndKeepsOldFile();
};

void TestLayout::showCmdReadsBack_data()
{
    QTest::addColumn<int>("showCmd");
    QTest::addColumn<int>("show");
    const int n = int(WindowShow::Normal), mi = int(WindowShow::Minimized), ma = int(WindowShow::Maximized);
    for (int c : {1, 5, 9, 0, 4, 8, 10, -1, 99})
        QTest::addRow("%d normal", c) << c << n;
    for (int c : {2, 6, 7})
        QTest::addRow("%d minimised", c) << c << mi;
    QTest::addRow("3 maximised") << 3 << ma;
}

void TestLayout::showCmdReadsBack()
{
    QFETCH(int, showCmd);
    QFETCH(int, show);
    QCOMPARE(int(showFromShowCmd(showCmd)), show);
    QCOMPARE(showFromShowCmd(showCmdFrom(WindowShow(show))), WindowShow(show));
}

void TestLayout::parseFourKeepsDefaultsForMissingNumbers_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("full") << QByteArray("1,2,3,4") << QList<int>{1, 2, 3, 4};
    QTest::newRow("blanks") << QByteArray(" 1 , -2,3 ,4") << QList<int>{1, -2, 3, 4};
    QTest::newRow("two") << QByteArray("5,6") << QList<int>{5, 6, 30, 40};
    QTest::newRow("empty") << QByteArray("") << QList<int>{10, 20, 30, 40};
    QTest::newRow("junk middle") << QByteArray("5,x,7,8") << QList<int>{5, 20, 7, 8};
    QTest::newRow("extra") << QByteArray("5,6,7,8,9") << QList<int>{5, 6, 7, 8};
    QTest::newRow("hex") << QByteArray("0x10,2,3,4") << QList<int>{16, 2, 3, 4};
}

void TestLayout::parseFourKeepsDefaultsForMissingNumbers()
{
    QFETCH(QByteArray, text);
    QFETCH(QList<int>, expected);
    const auto r = parseFour(text.toStdString(), {10, 20, 30, 40});
    QCOMPARE((QList<int>{r[0], r[1], r[2], r[3]}), expected);
}

void TestLayout::placementWrittenUnderSizedAndPlainKeys()
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath("kr.ini"));
    WindowPlacement p = designPlacement();
    p.ShowCmd = 3;
    writePlacement(ini, "setup", p, ScreenInfo{1280, 1024, 120});
    QCOMPARE(readFile(ini.path()), QByteArray("[setup]\r\nFlags=0\r\nShowCmd=3\r\nPixelsPerInch=120\r\n"
                                              "MinMaxPos(1280x1024)=-1,-1,-1,-1\r\nMinMaxPos=-1,-1,-1,-1\r\n"
                                              "NormPos(1280x1024)=180,113,844,654\r\nNormPos=180,113,844,654\r\n"));
}

void TestLayout::placementGates_data()
{
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<bool>("applied");
    QTest::addColumn<QList<int>>("rect");
    const QList<int> design{180, 113, 844, 654};
    QTest::newRow("nothing stored") << QByteArray("") << false << design;
    QTest::newRow("plain NormPos") << QByteArray("NormPos=10,20,500,400\r\n") << true << QList<int>{10, 20, 500, 400};
    QTest::newRow("same pixels per inch")
        << QByteArray("PixelsPerInch=96\r\nNormPos=10,20,500,400\r\n") << true << QList<int>{10, 20, 500, 400};
    QTest::newRow("stored at 120 ppi") << QByteArray("PixelsPerInch=120\r\nNormPos=10,20,500,400\r\n") << false
                                       << design;
    QTest::newRow("left equals right") << QByteArray("NormPos=300,20,300,400\r\n") << false << design;
    QTest::newRow("left right of right") << QByteArray("NormPos=500,20,10,400\r\n") << false << design;
    QTest::newRow("no height") << QByteArray("NormPos=10,400,500,400\r\n") << false << design;
    QTest::newRow("missing numbers take current")
        << QByteArray("NormPos=10,20\r\n") << true << QList<int>{10, 20, 844, 654};
    QTest::newRow("only MinMaxPos keeps current rect")
        << QByteArray("MinMaxPos=-1,-1,-1,-1\r\n") << true << design;
    QTest::newRow("junk text") << QByteArray("NormPos=abc\r\n") << true << design;
    QTest::newRow("missing numbers make left not less than right")
        << QByteArray("NormPos=900\r\n") << false << design;
}

void TestLayout::placementGates()
{
    QFETCH(QByteArray, section);
    QFETCH(bool, applied);
    QFETCH(QList<int>, rect);
    QTemporaryDir dir;
    writeFile(dir.filePath("kr.ini"), "[setup]\r\n" + section.toStdString());
    const IniFile ini(dir.filePath("kr.ini"));
    const PlacementDecision d = readPlacement(ini, "setup", designPlacement(), screen1024);
    QCOMPARE(d.rect.has_value(), applied);
    const WindowPlacement p = d.rect.value_or(designPlacement());
    QCOMPARE((QList<int>{p.Left, p.Top, p.Right, p.Bottom}), rect);
}

void TestLayout::sizedKeyWinsOverPlainKey()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("kr.ini"), "[setup]\r\nNormPos=1,1,101,101\r\nNormPos(1024x768)=2,2,202,202\r\n"
                                 "NormPos(800x600)=3,3,303,303\r\n");
    const IniFile ini(dir.filePath("kr.ini"));
    auto d = readPlacement(ini, "setup", designPlacement(), screen1024);
    QCOMPARE(d.rect->Right, 202);
    d = readPlacement(ini, "setup", designPlacement(), ScreenInfo{1920, 1080, 96});
    QCOMPARE(d.rect->Right, 101);
}

void TestLayout::stateAppliedEvenWhenRectangleIsNot()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("kr.ini"), "[setup]\r\nPixelsPerInch=120\r\nShowCmd=3\r\nNormPos=1,1,101,101\r\n");
    const IniFile ini(dir.filePath("kr.ini"));
    auto d = readPlacement(ini, "setup", designPlacement(), screen1024);
    QVERIFY(!d.rect);
    QCOMPARE(d.show, WindowShow::Maximized);

    writeFile(dir.filePath("kr.ini"), "[setup]\r\nShowCmd=2\r\nFlags=2\r\n");
    d = readPlacement(ini, "setup", designPlacement(), screen1024);
    QCOMPARE(d.show, WindowShow::Minimized);
    QVERIFY(d.restoreToMaximized);
}

namespace {
Area area(const QList<int>& v) { return Area{v[0], v[1], v[2], v[3]}; }
QList<int> list(const Area& a) { return {a.left, a.top, a.right, a.bottom}; }
// A 1024 x 768 primary screen with a task bar, and a second one left of it.
const QList<int> primary{0, 0, 1024, 740};
const QList<int> leftOfIt{-1280, -200, 0, 824};
} // namespace

void TestLayout::windowFitsTheScreenItLandsOn_data()
{
    QTest::addColumn<QList<int>>("rect");
    QTest::addColumn<QList<QList<int>>>("screens");
    QTest::addColumn<QList<int>>("fitted");
    const QList<QList<int>> one{primary};
    const QList<QList<int>> two{primary, leftOfIt};
    QTest::newRow("fits already") << QList<int>{180, 113, 844, 654} << one << QList<int>{180, 113, 844, 654};
    QTest::newRow("too big") << QList<int>{-8, -8, 1608, 1208} << one << primary;
    QTest::newRow("too wide only") << QList<int>{100, 50, 1400, 550} << one << QList<int>{0, 50, 1024, 550};
    QTest::newRow("off right") << QList<int>{900, 100, 1500, 500} << one << QList<int>{424, 100, 1024, 500};
    QTest::newRow("off bottom") << QList<int>{100, 600, 700, 1000} << one << QList<int>{100, 340, 700, 740};
    QTest::newRow("off left") << QList<int>{-100, 100, 500, 500} << one << QList<int>{0, 100, 600, 500};
    QTest::newRow("off top") << QList<int>{100, -30, 700, 370} << one << QList<int>{100, 0, 700, 400};
    QTest::newRow("stored on a bigger screen") << QList<int>{1200, 900, 1900, 1500} << one
                                               << QList<int>{324, 140, 1024, 740};
    QTest::newRow("on a second monitor at negative x") << QList<int>{-1000, -100, -400, 400} << two
                                                       << QList<int>{-1000, -100, -400, 400};
    QTest::newRow("mostly on the second monitor") << QList<int>{-500, 700, 200, 1000} << two
                                                  << QList<int>{-700, 524, 0, 824};
    QTest::newRow("too big for the second monitor") << QList<int>{-1400, -300, -100, 900} << two << leftOfIt;
    QTest::newRow("on no screen goes to the primary") << QList<int>{5000, 3000, 5664, 3541} << two
                                                      << QList<int>{360, 199, 1024, 740};
    QTest::newRow("second monitor gone") << QList<int>{-1000, -100, -400, 400} << one
                                         << QList<int>{0, 0, 600, 500};
}

void TestLayout::windowFitsTheScreenItLandsOn()
{
    QFETCH(QList<int>, rect);
    QFETCH(QList<QList<int>>, screens);
    QFETCH(QList<int>, fitted);
    std::vector<Area> areas;
    for (const QList<int>& s : screens)
        areas.push_back(area(s));
    QCOMPARE(list(fitOnScreens(area(rect), areas)), fitted);
}

void TestLayout::besideOpensNextToItsAnchor_data()
{
    QTest::addColumn<QList<int>>("anchor");
    QTest::addColumn<QList<int>>("size");
    QTest::addColumn<QList<int>>("placed");
    QTest::newRow("room on the right") << QList<int>{10, 20, 410, 520} << QList<int>{500, 400}
                                       << QList<int>{418, 20, 918, 420};
    QTest::newRow("room on the left only") << QList<int>{600, 50, 1000, 550} << QList<int>{500, 400}
                                           << QList<int>{92, 50, 592, 450};
    QTest::newRow("no room either side") << QList<int>{180, 113, 844, 654} << QList<int>{600, 500}
                                         << QList<int>{220, 153, 820, 653};
    QTest::newRow("offset kept on screen") << QList<int>{300, 300, 900, 700} << QList<int>{880, 680}
                                           << QList<int>{144, 60, 1024, 740};
    QTest::newRow("larger than the screen") << QList<int>{0, 0, 500, 400} << QList<int>{1600, 1200} << primary;
    QTest::newRow("top kept on screen") << QList<int>{10, 500, 410, 740} << QList<int>{500, 400}
                                        << QList<int>{418, 340, 918, 740};
}

void TestLayout::besideOpensNextToItsAnchor()
{
    QFETCH(QList<int>, anchor);
    QFETCH(QList<int>, size);
    QFETCH(QList<int>, placed);
    QCOMPARE(list(besideArea(area(anchor), size[0], size[1], area(primary))), placed);
}

void TestLayout::columnWidthsRoundTripAndIgnoreOddValues()
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath("kr.ini"));
    writeColumnWidths(ini, MainGridSection, {30, 40, 120, 40, 40, 300, 64});
    QCOMPARE(readFile(ini.path()), QByteArray("[setup\\TfmMaindgData]\r\nItem0=30\r\nItem1=40\r\nItem2=120\r\n"
                                              "Item3=40\r\nItem4=40\r\nItem5=300\r\nItem6=64\r\n"));
    ini.writeString(MainGridSection, "Item1", "wide");
    ini.writeString(MainGridSection, "Item2", "-5");
    ini.eraseKey(MainGridSection, "Item3");
    std::vector<int> widths{1, 2, 3, 4, 5, 6, 7};
    readColumnWidths(ini, MainGridSection, widths);
    QCOMPARE(widths, (std::vector<int>{30, 2, 3, 4, 40, 300, 64}));
}

void TestLayout::recentFilesRoundTrip()
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath("kr.ini"));
    const std::vector<RecentEntry> entries{{"C:\\data\\Oak \xe9t\xe9.krx", 1}, {"/home/u/pine.krx", 1}, {"'q'.krx'", 1}};
    writeRecentFiles(ini, RecentFilesSection, entries);
    QCOMPARE(readFile(ini.path()), QByteArray("[setup\\TfmMain.MRUManager1]\r\nItem_0=C:\\data\\Oak \xe9t\xe9.krx\r\n"
                                              "User_0=1\r\nItem_1=/home/u/pine.krx\r\nUser_1=1\r\n"
                                              "Item_2=\"'q'.krx'\"\r\nUser_2=1\r\n"));
    QCOMPARE(readRecentFiles(ini, RecentFilesSection), entries);

    std::vector<RecentEntry> quoted{{"\"odd\"", 1}, {"plain", 0}};
    writeRecentFiles(ini, RecentFilesSection, quoted);
    QCOMPARE(readRecentFiles(ini, RecentFilesSection), quoted);
    QVERIFY(!ini.read(RecentFilesSection, "User_1"));
}

void TestLayout::recentFilesSectionNeverHoldsStaleEntries()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("kr.ini"), "[setup]\r\nFormVersion=0\r\n\r\n[setup\\TfmMain.MRUManager1]\r\nItem_0=a\r\n"
                                 "Item_7=stale\r\nUser_7=1\r\nJunk=x\r\n\r\n[After]\r\nk=v\r\n");
    IniFile ini(dir.filePath("kr.ini"));
    std::vector<RecentEntry> many;
    for (int i = 0; i < 12; ++i) {
        // Appended, not "f" + ...: GCC 12 at -O3 warns falsely (-Wrestrict) on that.
        std::string name = "f";
        name += std::to_string(i);
        many.push_back({name, 1});
    }
    writeRecentFiles(ini, RecentFilesSection, many);
    const auto keys = ini.readSection(RecentFilesSection);
    QCOMPARE(keys.size(), size_t(20));
    QCOMPARE(ini.readString(RecentFilesSection, "Item_7", ""), std::string("f7"));
    QCOMPARE(ini.readString(RecentFilesSection, "Item_9", ""), std::string("f9"));
    QVERIFY(!ini.read(RecentFilesSection, "Item_10"));
    QVERIFY(!ini.read(RecentFilesSection, "Junk"));
    QCOMPARE(ini.readString("After", "k", ""), std::string("v"));
    QCOMPARE(ini.readInteger("setup", "FormVersion", -1), 0);

    writeRecentFiles(ini, RecentFilesSection, {});
    QVERIFY(!ini.sectionExists(RecentFilesSection));
    QCOMPARE(ini.readString("After", "k", ""), std::string("v"));
}

void TestLayout::recentFilesReadFromIndexNineDown()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("kr.ini"), "[setup\\TfmMain.MRUManager1]\r\nItem_3=d\r\nItem_0=a\r\nUser_0=5\r\nItem_1=\r\n"
                                 "Item_2=c\r\nItem_10=beyond\r\n");
    const IniFile ini(dir.filePath("kr.ini"));
    const std::vector<RecentEntry> expected{{"a", 5}, {"c", 0}, {"d", 0}};
    QCOMPARE(readRecentFiles(ini, RecentFilesSection), expected);
    QVERIFY(readRecentFiles(IniFile(dir.filePath("none.ini")), RecentFilesSection).empty());
}

void TestLayout::recentFilesWithLineBreaksAreLeftOut()
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath("kr.ini"));
    writeRecentFiles(ini, RecentFilesSection, {{"/a\nb.krx", 1}, {"/ok.krx", 1}, {"", 1}});
    const std::vector<RecentEntry> expected{{"/ok.krx", 1}};
    QCOMPARE(readRecentFiles(ini, RecentFilesSection), expected);
    QCOMPARE(ini.readSection(RecentFilesSection).size(), size_t(2));
}

void TestLayout::fontTextForms_data()
{
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<bool>("underline");
    QTest::addColumn<bool>("strikeOut");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("plain") << false << false << false << false << QByteArray("[]");
    QTest::newRow("bold") << true << false << false << false << QByteArray("[fsBold]");
    QTest::newRow("bold italic") << true << true << false << false << QByteArray("[fsBold,fsItalic]");
    QTest::newRow("italic strike") << false << true << false << true << QByteArray("[fsItalic,fsStrikeOut]");
    QTest::newRow("all") << true << true << true << true
                         << QByteArray("[fsBold,fsItalic,fsUnderline,fsStrikeOut]");
}

void TestLayout::fontTextForms()
{
    QFETCH(bool, bold);
    QFETCH(bool, italic);
    QFETCH(bool, underline);
    QFETCH(bool, strikeOut);
    QFETCH(QByteArray, text);
    const FontStyle style{bold, italic, underline, strikeOut};
    QCOMPARE(bytes(styleText(style)), text);
    QCOMPARE(parseStyle(text.toStdString()), std::optional<FontStyle>(style));

    QCOMPARE(parseStyle("[ fsitalic , FSBOLD ]"), std::optional<FontStyle>(FontStyle{true, true, false, false}));
    QVERIFY(!parseStyle("[fsBold,fsShadow]"));
    QVERIFY(!parseStyle("fsBold"));
    QVERIFY(!parseStyle("[fsBold"));
    QCOMPARE(pitchName(FontPitch::Default), "fpDefault");
    QCOMPARE(pitchName(FontPitch::Variable), "fpVariable");
    QCOMPARE(pitchName(FontPitch::Fixed), "fpFixed");
    QCOMPARE(parsePitch("FPFIXED"), std::optional<FontPitch>(FontPitch::Fixed));
    QVERIFY(!parsePitch("fpWide"));
}

void TestLayout::fontWrittenAsSevenKeysInOrder()
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath("kr.ini"));
    StoredFont f;
    QCOMPARE(f.Height, -11);
    writeFont(ini, SetupLayoutSection, "lblPrinterFont_Font", f);
    QCOMPARE(readFile(ini.path()), QByteArray("[TfmSetup]\r\nlblPrinterFont_FontCharset=1\r\n"
                                              "lblPrinterFont_FontColor=0\r\nlblPrinterFont_FontHeight=-11\r\n"
                                              "lblPrinterFont_FontName=Arial\r\nlblPrinterFont_FontPitch=fpDefault\r\n"
                                              "lblPrinterFont_FontSize=8\r\nlblPrinterFont_FontStyle=[]\r\n"));

    f.Name = "Courier New";
    f.Pitch = FontPitch::Fixed;
    f.setSize(12, 96);
    f.Color = -16777208;
    f.Style = {true, true, false, false};
    writeFont(ini, SetupLayoutSection, "lblPrinterFont_Font", f);
    QCOMPARE(ini.readString(SetupLayoutSection, "lblPrinterFont_FontHeight", ""), std::string("-16"));
    QCOMPARE(ini.readString(SetupLayoutSection, "lblPrinterFont_FontStyle", ""), std::string("[fsBold,fsItalic]"));
    StoredFont back;
    readFont(ini, SetupLayoutSection, "lblPrinterFont_Font", back, 96);
    QCOMPARE(back, f);
}

void TestLayout::fontReadKeepsCurrentForAbsentOrBadKeys()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("kr.ini"), "[TfmSetup]\r\nlblPrinterFont_FontName=\r\nlblPrinterFont_FontPitch=fpOdd\r\n"
                                 "lblPrinterFont_FontSize=0\r\nlblPrinterFont_FontStyle=[fsBold,fsShiny]\r\n"
                                 "lblPrinterFont_FontColor=0x0000FF\r\n");
    const IniFile ini(dir.filePath("kr.ini"));
    StoredFont f;
    f.Style.italic = true;
    readFont(ini, SetupLayoutSection, "lblPrinterFont_Font", f, 96);
    QCOMPARE(f.Name, std::string("Arial"));
    QCOMPARE(f.Pitch, FontPitch::Default);
    QCOMPARE(f.Size, 8);
    QCOMPARE(f.Height, -11);
    QCOMPARE(f.Style, (FontStyle{false, true, false, false}));
    QCOMPARE(f.Color, 255);

    StoredFont untouched;
    readFont(IniFile(dir.filePath("absent.ini")), SetupLayoutSection, "lblPrinterFont_Font", untouched, 96);
    QCOMPARE(untouched, StoredFont{});

    writeFile(dir.filePath("kr.ini"), "[TfmSetup]\r\nlblPrinterFont_FontSize=100000\r\nlblPrinterFont_FontHeight=-99999999\r\n");
    readFont(ini, SetupLayoutSection, "lblPrinterFont_Font", untouched, 96);
    QCOMPARE(untouched, StoredFont{});
}

void TestLayout::fontSizeWinsOverHeight()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("kr.ini"), "[TfmSetup]\r\nlblPrinterFont_FontHeight=-20\r\nlblPrinterFont_FontSize=10\r\n");
    const IniFile ini(dir.filePath("kr.ini"));
    StoredFont f;
    readFont(ini, SetupLayoutSection, "lblPrinterFont_Font", f, 96);
    QCOMPARE(f.Size, 10);
    QCOMPARE(f.Height, -13);

    writeFile(dir.filePath("kr.ini"), "[TfmSetup]\r\nlblPrinterFont_FontHeight=-16\r\n");
    StoredFont g;
    readFont(ini, SetupLayoutSection, "lblPrinterFont_Font", g, 96);
    QCOMPARE(g.Size, 12);
    QCOMPARE(g.Height, -16);
}

void TestLayout::saveWritesKeysInOrder()
{
    QTemporaryDir dir;
    FormStorage fs(dir.filePath("kr.ini"), MainLayoutSection);
    FakeWindow w;
    w.wire(fs);
    QVERIFY(fs.Restore());
    QVERIFY2(!fs.placedFromFile(), "a first run keeps the design position");
    w.recent = {{"/a.krx", 1}};
    w.widths[0] = 30;
    fs.Save();
    QCOMPARE(readFile(dir.filePath("kr.ini")),
             QByteArray("[setup]\r\nFormVersion=0\r\nFlags=0\r\nShowCmd=1\r\nPixelsPerInch=96\r\n"
                        "MinMaxPos(1024x768)=-1,-1,-1,-1\r\nMinMaxPos=-1,-1,-1,-1\r\n"
                        "NormPos(1024x768)=180,113,844,654\r\nNormPos=180,113,844,654\r\nVisible=0\r\n"
                        "paTop_Height=72\r\n\r\n"
                        "[setup\\TfmMaindgData]\r\nItem0=30\r\nItem1=40\r\nItem2=120\r\nItem3=40\r\nItem4=40\r\n"
                        "Item5=300\r\nItem6=64\r\n\r\n"
                        "[setup\\TfmMain.MRUManager1]\r\nItem_0=/a.krx\r\nUser_0=1\r\n"));

    FakeWindow again;
    again.wire(fs);
    QVERIFY(fs.Restore());
    QCOMPARE(again.widths[0], 30);
    QCOMPARE(again.recent, w.recent);
    QVERIFY(again.placed && again.placed->rect);
    QVERIFY(fs.placedFromFile());
}

void TestLayout::saveNeedsRestoreFirst()
{
    QTemporaryDir dir;
    FormStorage fs(dir.filePath("kr.ini"), MainLayoutSection);
    FakeWindow w;
    w.wire(fs);
    fs.Save();
    QVERIFY(!fs.SaveOnDestroy());
    QVERIFY2(!QFile::exists(dir.filePath("kr.ini")), "a window never shown stores nothing");
    fs.Restore();
    fs.Save();
    QVERIFY(QFile::exists(dir.filePath("kr.ini")));
}

void TestLayout::negativeFormVersionDisablesRestoreAndSave()
{
    QTemporaryDir dir;
    const std::string file = "[setup]\r\nFormVersion=-1\r\nNormPos=1,1,101,101\r\npaTop_Height=200\r\n";
    writeFile(dir.filePath("kr.ini"), file);
    FormStorage fs(dir.filePath("kr.ini"), MainLayoutSection);
    FakeWindow w;
    w.wire(fs);
    QVERIFY(!fs.Restore());
    QVERIFY(!w.placed);
    QCOMPARE(w.notesHeight, 72);
    fs.Save();
    fs.SaveOnDestroy();
    QCOMPARE(readFile(dir.filePath("kr.ini")), bytes(file));
}

void TestLayout::destroyedWindowSavesOnceWithVisible()
{
    QTemporaryDir dir;
    FormStorage fs(dir.filePath("kr.ini"), MainLayoutSection);
    FakeWindow w;
    w.wire(fs);
    fs.Restore();
    QVERIFY(!fs.SaveOnDestroy());
    QCOMPARE(fs.ini().readInteger("setup", "Visible", -1), 1);

    fs.Restore();
    fs.Save();
    QCOMPARE(fs.ini().readInteger("setup", "Visible", -1), 0);
    w.notesHeight = 99;
    QVERIFY(!fs.SaveOnDestroy());
    QCOMPARE(fs.ini().readInteger("setup", "Visible", -1), 0);
    QCOMPARE(fs.ini().readInteger("setup", "paTop_Height", -1), 72);
}

void TestLayout::setupDialogWritesPlacementButNeverAppliesIt()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("kr.ini"), "[TfmSetup]\r\nNormPos=1,1,101,101\r\nShowCmd=3\r\n"
                                 "lblPrinterFont_FontName=Times New Roman\r\nlblPrinterFont_FontStyle=[fsBold]\r\n");
    FormStorage fs(dir.filePath("kr.ini"), SetupLayoutSection);
    fs.applyPlacement = false;
    FakeWindow w;
    fs.currentPlacement = [&w] { return w.now; };
    fs.placeWindow = [&w](const PlacementDecision& d) { w.placed = d; };
    fs.screen = [] { return screen1024; };
    fs.storeProperty({[&](IniFile& ini) { writeFont(ini, fs.section(), "lblPrinterFont_Font", w.font); },
                      [&](const IniFile& ini) { readFont(ini, fs.section(), "lblPrinterFont_Font", w.font, 96); }});
    QVERIFY(fs.Restore());
    QVERIFY(!w.placed);
    QCOMPARE(w.font.Name, std::string("Times New Roman"));
    QVERIFY(w.font.Style.bold);
    fs.Save();
    QCOMPARE(fs.ini().readString("TfmSetup", "NormPos", ""), std::string("180,113,844,654"));
    QCOMPARE(fs.ini().readString("TfmSetup", "NormPos(1024x768)", ""), std::string("180,113,844,654"));
    QCOMPARE(fs.ini().readString("TfmSetup", "lblPrinterFont_FontStyle", ""), std::string("[fsBold]"));
}

void TestLayout::failedSaveStopsAtThatKeyAndKeepsOldFile()
{
    QTemporaryDir dir;
    FormStorage fs(dir.filePath("kr.ini"), MainLayoutSection);
    FakeWindow w;
    w.wire(fs);
    fs.Restore();
    fs.Save();
    const std::string before = test::readFileString(dir.filePath("kr.ini"));
    fs.Restore();
    w.notesHeight = 150;
    failNextAtomicWrite(WriteResult::RenameFailed);
    QVERIFY_THROWS_EXCEPTION(FileError, fs.Save());
    QCOMPARE(readFile(dir.filePath("kr.ini")), bytes(before));
    // The window closes all the same: no second save follows at destruction.
    QVERIFY(!fs.SaveOnDestroy());
    QCOMPARE(readFile(dir.filePath("kr.ini")), bytes(before));
}

QTEST_GUILESS_MAIN(TestLayout)
#include "tst_layout.moc"
