#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <set>
#include <tuple>

#include "core/AtomicFile.h"
#include "library/ItemObj.h"
#include "tests/core/CoreTestUtil.h"

using namespace kr;
using kr::test::errorOf;

namespace {

// One catalogue line in its fixed columns; `sg` is the 8-character number field as written.
std::string catalogueLine(const std::string& code, const std::string& name, const std::string& description,
                          const std::string& sg, const std::string& group)
{
    auto field = [](std::string text, std::size_t width) {
        text.resize(width, ' ');
        return text;
    };
    return field(code, 8) + field(name, 16) + field(description, 32) + field(sg, 8) + group;
}

TItem item(const std::string& code, const std::string& name, const std::string& group = {})
{
    TItem i;
    i.SetCode(code);
    i.SetName(name);
    i.SetGroup(group);
    return i;
}

std::string codesOf(const TFactorCatalogue& catalogue)
{
    std::string out;
    for (int i = 0; i < catalogue.Count(); ++i)
        out += catalogue.Item(i).GetCode() + "|";
    return out;
}

} // namespace

class TestItemObj : public QObject {
    Q_OBJECT

private slots:
    void init() { setRegional(RegionalSettings{}); }

    void newItemHasDefaults();
    void settersCutToFieldLength_data();
    void settersCutToFieldLength();
    void lineFillsColumnsUnderEitherSeparator_data();
    void lineFillsColumnsUnderEitherSeparator();
    void sgSentAtTwoDigitsAndShownAtTwoDecimals_data();
    void sgSentAtTwoDigitsAndShownAtTwoDecimals();

    void textGivesOneItemPerLine_data();
    void textGivesOneItemPerLine();
    void catalogueFileReadsItsLines_data();
    void catalogueFileReadsItsLines();
    void unreadableCatalogueRaisesAndLeavesItEmpty_data();
    void unreadableCatalogueRaisesAndLeavesItEmpty();
    void findByCodeTakesFirstMatch();
    void findByMeterNameComparesPaddedTo13_data();
    void findByMeterNameComparesPaddedTo13();
    void nextAddedCodeFollowsHighestAdded_data();
    void nextAddedCodeFollowsHighestAdded();
    void groupsStartWithAllInOrderOfFirstAppearance();
    void addedSpeciesKeepTheirCodesInALaterRun();
    void codesGoOnFromWhatAnotherRunKept();
    void brokenUserCatalogueIsNeverWritten_data();
    void brokenUserCatalogueIsNeverWritten();

    void shippedCatalogueFitsTheMeter();
};

void TestItemObj::newItemHasDefaults()
{
    const TItem i;
    QCOMPARE(i.GetCode(), std::string("00000000"));
    QCOMPARE(i.GetName(), std::string());
    QCOMPARE(i.GetSG(), 0.0);
}

void TestItemObj::settersCutToFieldLength_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<int>("kept");
    QTest::newRow("code") << 0 << 8;
    QTest::newRow("name") << 1 << 16;
    QTest::newRow("description") << 2 << 32;
    QTest::newRow("group") << 3 << 16;
}

void TestItemObj::settersCutToFieldLength()
{
    QFETCH(int, field);
    QFETCH(int, kept);
    const std::string text = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGH";
    const std::string blanks = "    ";
    TItem i;
    const std::string* got[] = {&i.GetCode(), &i.GetName(), &i.GetDescription(), &i.GetGroup()};
    void (TItem::*set[])(const std::string&) = {&TItem::SetCode, &TItem::SetName, &TItem::SetDescription,
                                               &TItem::SetGroup};
    (i.*set[field])(text);
    QCOMPARE(*got[field], text.substr(0, std::size_t(kept)));
    (i.*set[field])(blanks);
    QCOMPARE(*got[field], blanks);
}

void TestItemObj::lineFillsColumnsUnderEitherSeparator_data()
{
    QTest::addColumn<char>("sep");
    QTest::addColumn<std::string>("line");
    QTest::addColumn<std::string>("code");
    QTest::addColumn<std::string>("name");
    QTest::addColumn<std::string>("description");
    QTest::addColumn<double>("sg");
    QTest::addColumn<std::string>("group");

    const std::string name16 = "Red Oak         ";
    const std::string desc32 = "Quercus rubra" + std::string(19, ' ');
    struct Row {
        const char* tag;
        std::string line, code, name, description;
        double sg;
        std::string group;
    };
    const Row rows[] = {
        {"full line", catalogueLine("HN000010", "Red Oak", "Quercus rubra", "    0.56", "Hardwoods NA    "),
         "HN000010", name16, desc32, 0.56, "Hardwoods NA    "},
        {"after column 80 ignored", catalogueLine("HN000010", "Red Oak", "Quercus rubra", "0.56", "Hardwoods NA    tail"),
         "HN000010", name16, desc32, 0.56, "Hardwoods NA    "},
        {"64 characters", catalogueLine("A", "B", "C", "0.45", ""), "A       ", "B" + std::string(15, ' '),
         "C" + std::string(31, ' '), 0.45, ""},
        {"number cut by line end", catalogueLine("A", "B", "C", "", "").substr(0, 56) + "0.4", "A       ",
         "B" + std::string(15, ' '), "C" + std::string(31, ' '), 0.4, ""},
        {"short line", "HN0000Red", "HN0000Re", "d", "", 0, ""},
        {"blank line", "", "", "", "", 0, ""},
        {"blanks after number", catalogueLine("A", "B", "C", "0.55    ", "G"), "A       ",
         "B" + std::string(15, ' '), "C" + std::string(31, ' '), 0.55, "G"},
        {"sign and exponent", catalogueLine("A", "B", "C", "-5.5E-1", "G"), "A       ",
         "B" + std::string(15, ' '), "C" + std::string(31, ' '), -0.55, "G"},
        {"no point", catalogueLine("A", "B", "C", "  1", "G"), "A       ", "B" + std::string(15, ' '),
         "C" + std::string(31, ' '), 1.0, "G"},
        {"letters stop before group", catalogueLine("A", "B", "C", "abc", "Group"), "A       ",
         "B" + std::string(15, ' '), "C" + std::string(31, ' '), 0, ""},
        {"two points stop", catalogueLine("A", "B", "C", "0.5.5", "Group"), "A       ",
         "B" + std::string(15, ' '), "C" + std::string(31, ' '), 0, ""},
        {"empty number stops", catalogueLine("A", "B", "C", "", "Group"), "A       ",
         "B" + std::string(15, ' '), "C" + std::string(31, ' '), 0, ""},
    };
    for (char sep : {'.', ','})
        for (const Row& r : rows)
            QTest::newRow((std::string(r.tag) + " " + sep).c_str())
                << sep << r.line << r.code << r.name << r.description << r.sg << r.group;
}

void TestItemObj::lineFillsColumnsUnderEitherSeparator()
{
    QFETCH(char, sep);
    QFETCH(std::string, line);
    setRegional(test::withDecimal(sep));
    TItem i;
    i.LoadFromLine(line);
    QTEST(i.GetCode(), "code");
    QTEST(i.GetName(), "name");
    QTEST(i.GetDescription(), "description");
    QTEST(i.GetSG(), "sg");
    QTEST(i.GetGroup(), "group");
}

void TestItemObj::sgSentAtTwoDigitsAndShownAtTwoDecimals_data()
{
    QTest::addColumn<char>("sep");
    QTest::addColumn<double>("sg");
    QTest::addColumn<std::string>("text");
    QTest::addColumn<std::string>("shown");
    // FormatSG's digits are what the upload sends; DisplaySG is what the user reads.
    const std::tuple<double, const char*, const char*> rows[] = {
        {0.55, "0.55", "0.55"},   {0.5, "0.50", "0.50"},      {0.556, "0.56", "0.56"},   {0.554, "0.55", "0.55"},
        {0.056, "0.06", "0.06"},  {1.04, "1.00", "1.04"},     {1.06, "1.10", "1.06"},    {0, "0.00", "0.00"},
        {0.555, "0.56", "0.56"},  {0.145, "0.15", "0.15"},    {0.285, "0.29", "0.29"},   {0.995, "1.00", "1.00"},
        {9.96, "10.00", "9.96"},  {123, "120.00", "123.00"},  {0.005, "0.01", "0.01"},   {0.004, "0.00", "0.00"},
        {-0.55, "-0.55", "-0.55"}, {-0.004, "0.00", "0.00"},  {1.05, "1.10", "1.05"},    {1.08, "1.10", "1.08"},
        {1.02, "1.00", "1.02"},   {1.005, "1.00", "1.01"},
    };
    for (char sep : {'.', ','})
        for (const auto& [sg, text, shown] : rows) {
            std::string expected = text;
            expected[expected.find('.')] = sep;
            std::string expectedShown = shown;
            expectedShown[expectedShown.find('.')] = sep;
            QTest::addRow("%g %c", sg, sep) << sep << sg << expected << expectedShown;
        }
}

void TestItemObj::sgSentAtTwoDigitsAndShownAtTwoDecimals()
{
    QFETCH(char, sep);
    QFETCH(double, sg);
    setRegional(test::withDecimal(sep));
    TItem i;
    i.SetSG(sg);
    QTEST(i.FormatSG(), "text");
    QTEST(i.DisplaySG(), "shown");
}

void TestItemObj::textGivesOneItemPerLine_data()
{
    QTest::addColumn<std::string>("text");
    QTest::addColumn<std::string>("codes");
    QTest::newRow("empty") << std::string() << std::string();
    QTest::newRow("one blank line") << std::string("\r\n") << std::string("|");
    QTest::newRow("last line unended") << std::string("a\r\nb") << std::string("a|b|");
    QTest::newRow("LF") << std::string("a\nb\n") << std::string("a|b|");
    QTest::newRow("CR") << std::string("a\rb\r") << std::string("a|b|");
    QTest::newRow("blank line kept") << std::string("a\r\n\r\nb") << std::string("a||b|");
    QTest::newRow("CR then CR LF") << std::string("a\r\r\n") << std::string("a||");
    QTest::newRow("NUL ends text") << std::string("a\r\nb\0c\r\nd", 9) << std::string("a|b|");
}

void TestItemObj::textGivesOneItemPerLine()
{
    QFETCH(std::string, text);
    TFactorCatalogue catalogue;
    catalogue.Append(item("old", "Old"));
    catalogue.LoadFromText(text);
    QTEST(codesOf(catalogue), "codes");
}

void TestItemObj::catalogueFileReadsItsLines_data()
{
    QTest::addColumn<std::string>("bytes");
    QTest::addColumn<std::string>("codes");
    QTest::newRow("empty file") << std::string() << std::string();
    QTest::newRow("two lines") << catalogueLine("C1", "Ash", "", "0.55", "G") + "\r\n" + catalogueLine("C2", "Elm", "", "0.46", "G") + "\r\n"
                               << std::string("C1      |C2      |");
}

void TestItemObj::catalogueFileReadsItsLines()
{
    QFETCH(std::string, bytes);
    QTemporaryDir dir;
    const QString path = dir.filePath("Factors.dat");
    QVERIFY(test::writeFile(path, bytes));
    TFactorCatalogue catalogue;
    QCOMPARE(errorOf([&] { catalogue.LoadCatalogue(path.toStdString()); }), std::string());
    QTEST(codesOf(catalogue), "codes");
}

void TestItemObj::unreadableCatalogueRaisesAndLeavesItEmpty_data()
{
    QTest::addColumn<QString>("leaf");
    QTest::addColumn<int>("lineEnds");
    QTest::addColumn<std::string>("reason");
    QTest::newRow("missing") << "Factors.dat" << 0 << std::string(": it does not exist.");
    QTest::newRow("folder") << "" << 0 << std::string(": it is not a regular file.");
    // Each would become an item: far more memory than the file's bytes.
    QTest::newRow("4 MiB of line ends") << "Factors.dat" << (4 << 20) << std::string(": it is too large.");
}

void TestItemObj::unreadableCatalogueRaisesAndLeavesItEmpty()
{
    QFETCH(QString, leaf);
    QFETCH(int, lineEnds);
    QTemporaryDir dir;
    const std::string path = QDir(dir.path()).filePath(leaf).toStdString();
    if (lineEnds > 0) {
        QFile file(QString::fromStdString(path));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(QByteArray(lineEnds, '\n')), qint64(lineEnds));
    }
    TFactorCatalogue catalogue;
    catalogue.LoadFromText("a\r\nb\r\n");
    QFETCH(std::string, reason);
    QCOMPARE(errorOf([&] { catalogue.LoadCatalogue(path); }), "Cannot open file " + path + reason);
    QCOMPARE(catalogue.Count(), 0);
}

void TestItemObj::findByCodeTakesFirstMatch()
{
    TFactorCatalogue catalogue;
    catalogue.Append(item("AAAAAAAA", "First"));
    catalogue.Append(item("BBBBBBBB", "Other"));
    catalogue.Append(item("AAAAAAAA", "Second"));
    QCOMPARE(catalogue.FindByCode("AAAAAAAA"), &catalogue.Item(0));
    QVERIFY(!catalogue.FindByCode("aaaaaaaa"));
    QVERIFY(!catalogue.FindByCode("AAAAAAA"));
}

void TestItemObj::findByMeterNameComparesPaddedTo13_data()
{
    QTest::addColumn<std::string>("key");
    QTest::addColumn<int>("index");
    QTest::newRow("short name padded") << std::string("Beech        ") << 0;
    QTest::newRow("file name with blanks") << std::string("Red Oak      ") << 1;
    QTest::newRow("first of equal 13") << std::string("Douglas Fir C") << 2;
    QTest::newRow("case counts") << std::string("beech        ") << -1;
    QTest::newRow("prefix is not a match") << std::string("Beec         ") << -1;
}

void TestItemObj::findByMeterNameComparesPaddedTo13()
{
    QFETCH(std::string, key);
    QFETCH(int, index);
    TFactorCatalogue catalogue;
    catalogue.Append(item("C0", "Beech"));
    catalogue.Append(item("C1", "Red Oak         "));
    catalogue.Append(item("C2", "Douglas Fir Cst"));
    catalogue.Append(item("C3", "Douglas Fir Cx"));
    QCOMPARE(catalogue.FindByMeterName(key), index < 0 ? nullptr : &catalogue.Item(index));
}

void TestItemObj::nextAddedCodeFollowsHighestAdded_data()
{
    QTest::addColumn<QStringList>("codes");
    QTest::addColumn<QString>("group");
    QTest::addColumn<std::string>("next");
    QTest::newRow("none") << QStringList() << "Added" << std::string("10000001");
    QTest::newRow("after 9") << QStringList{"10000009"} << "Added" << std::string("10000010");
    QTest::newRow("highest, not last") << QStringList{"10000005", "10000001"} << "Added" << std::string("10000006");
    QTest::newRow("past two digits") << QStringList{"10000099"} << "Added" << std::string("10000100");
    // A code is never given twice, whichever file or group holds it.
    QTest::newRow("any group counts") << QStringList{"10000042"} << "Tropical" << std::string("10000043");
    QTest::newRow("other code ignored") << QStringList{"HN000010", "1000000x"} << "Added" << std::string("10000001");
}

void TestItemObj::nextAddedCodeFollowsHighestAdded()
{
    QFETCH(QStringList, codes);
    QFETCH(QString, group);
    TFactorCatalogue catalogue;
    for (const QString& code : codes)
        catalogue.Append(item(code.toStdString(), "Name", group.toStdString()));
    QTEST(catalogue.NextAddedCode(), "next");
}

void TestItemObj::groupsStartWithAllInOrderOfFirstAppearance()
{
    TFactorCatalogue catalogue;
    for (const char* group : {"Tropical", "", "Europe", "Tropical", "All", "europe"})
        catalogue.Append(item("C", "N", group));
    QCOMPARE(catalogue.Groups(), (std::vector<std::string>{"All", "Tropical", "Europe", "europe"}));
}

// A run: the catalogue's own file, then the user catalogue at `path`.
void startRun(TFactorCatalogue& catalogue, const std::string& path)
{
    catalogue.LoadFromText(catalogueLine("RO000001", "Red Oak", "", "0.56", "Hardwoods") + "\r\n");
    catalogue.LoadAdded(path);
}

void TestItemObj::addedSpeciesKeepTheirCodesInALaterRun()
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("Added.dat").toStdString();
    TFactorCatalogue first;
    startRun(first, path);
    QCOMPARE(first.TakeSpecies("Bamboo       ", 0.66).code, std::string("10000001"));
    QCOMPARE(first.TakeSpecies("Red Oak      ", 0.63).code, std::string("10000002"));
    QVERIFY(!first.TakeSpecies("Bamboo", 0.66).added);
    QCOMPARE(first.TakeSpecies("Red Oak", 0.56).code, std::string("RO000001"));
    first.SaveAdded();

    TFactorCatalogue later;
    startRun(later, path);
    QCOMPARE(later.FindByCode("10000001")->FormatSG(), std::string("0.66"));
    QCOMPARE(later.FindByCode("10000002")->GetName(), std::string("Red Oak         "));
    const TFactorCatalogue::TSpecies bamboo = later.TakeSpecies("Bamboo       ", 0.66);
    QCOMPARE(bamboo.code, std::string("10000001"));
    QVERIFY(!bamboo.added);
    QCOMPARE(later.TakeSpecies("Accoya", 0.45).code, std::string("10000003"));
    later.SaveAdded();
    QCOMPARE(test::readFileString(dir.filePath("Added.dat")),
             catalogueLine("10000001", "Bamboo", "Bamboo", "0.66", "Added           ") + "\r\n"
                 + catalogueLine("10000002", "Red Oak", "Red Oak", "0.63", "Added           ") + "\r\n"
                 + catalogueLine("10000003", "Accoya", "Accoya", "0.45", "Added           ") + "\r\n");
}

// Two runs at once (the window and kr-cli): neither gives a code the other kept.
void TestItemObj::codesGoOnFromWhatAnotherRunKept()
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("Added.dat").toStdString();
    QVERIFY(test::writeFile(dir.filePath("Added.dat"), "10000007Teak"));
    TFactorCatalogue window, cli;
    startRun(window, path);
    startRun(cli, path);
    QCOMPARE(cli.TakeSpecies("Hickory", 0.72).code, std::string("10000008"));
    cli.SaveAdded();
    window.RefreshAdded();
    QCOMPARE(window.TakeSpecies("Jarrah", 0.82).code, std::string("10000009"));
    window.SaveAdded();
    TFactorCatalogue later;
    startRun(later, path);
    QCOMPARE(codesOf(later), std::string("RO000001|10000007|10000008|10000009|"));
}

void TestItemObj::brokenUserCatalogueIsNeverWritten_data()
{
    QTest::addColumn<QString>("leaf");       // the user catalogue, in a fresh folder
    QTest::addColumn<int>("lineEnds");       // written there first
    QTest::addColumn<std::string>("loading");
    QTest::addColumn<std::string>("saving");
    const std::string notRead = ": it is too large.\r\nSpecies added from a KR are kept for this run only; "
                                "the file is left as it is.";
    QTest::newRow("too large") << "Added.dat" << (4 << 20) << notRead
                               << std::string(" could not be read, so nothing is added to it in this run.");
    QTest::newRow("write fails") << "Added.dat" << 1 << std::string() << std::string();
}

void TestItemObj::brokenUserCatalogueIsNeverWritten()
{
    QFETCH(QString, leaf);
    QFETCH(int, lineEnds);
    QFETCH(std::string, loading);
    QFETCH(std::string, saving);
    QTemporaryDir dir;
    const QString file = dir.filePath(leaf);
    const std::string path = file.toStdString();
    QVERIFY(test::writeFile(file, std::string(std::size_t(lineEnds), '\n')));
    TFactorCatalogue catalogue;
    QCOMPARE(errorOf([&] { startRun(catalogue, path); }), loading.empty() ? loading : "Cannot open file " + path + loading);
    QCOMPARE(catalogue.TakeSpecies("Bamboo", 0.66).code, std::string("10000001"));
    if (loading.empty())
        failNextAtomicWrite(WriteResult::WriteFailed);
    QCOMPARE(errorOf([&] { catalogue.SaveAdded(); }), saving.empty() ? "Cannot create file " + path : path + saving);
    QCOMPARE(test::readFileString(file), std::string(std::size_t(lineEnds), '\n'));
    // A write that failed is tried again with the next species; a file not read never is.
    catalogue.TakeSpecies("Accoya", 0.45);
    QCOMPARE(errorOf([&] { catalogue.SaveAdded(); }), saving.empty() ? std::string() : path + saving);
    QCOMPARE(int(test::readFile(file).count("Added")), saving.empty() ? 2 : 0);
}

// The catalogue shipped beside the program: every line in its columns, every
// number readable, and every name one the meter can tell apart from the rest.
void TestItemObj::shippedCatalogueFitsTheMeter()
{
    const QString path = QStringLiteral(KR_FACTORS_FILE);
    const std::string bytes = test::readFileString(path);
    QVERIFY(bytes.size() > 2 && bytes.ends_with("\r\n"));
    for (std::size_t start = 0; start < bytes.size(); start = bytes.find("\r\n", start) + 2)
        QCOMPARE(bytes.find("\r\n", start) - start, std::size_t(80));

    TFactorCatalogue catalogue;
    catalogue.LoadCatalogue(path.toStdString());
    QVERIFY2(catalogue.Count() >= 150, QByteArray::number(catalogue.Count()));
    std::set<std::string> codes, meterNames;
    for (int i = 0; i < catalogue.Count(); ++i) {
        const TItem& it = catalogue.Item(i);
        const QByteArray where = test::bytes(it.GetCode() + " " + it.GetName());
        QVERIFY2(it.GetCode().size() == 8 && codes.insert(it.GetCode()).second, where);
        QVERIFY2(!it.GetCode().starts_with("100000"), where);
        QVERIFY2(meterNames.insert(it.GetName().substr(0, 13)).second, where);
        QVERIFY2(it.GetSG() >= 0.1 && it.GetSG() <= 1.4 && !it.GetGroup().empty(), where);
    }
}

QTEST_GUILESS_MAIN(TestItemObj)
#include "tst_ItemObj.moc"
