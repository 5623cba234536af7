#include <QTest>

#include "CoreTestUtil.h"
#include "core/Readings.h"

using namespace kr;
using kr::test::at;
using kr::test::bytes;
using kr::test::errorOf;
using kr::test::meterLine;

namespace {

// The reading of the record-text example: OAK, SG 0.55, 12.5 %, 20 °C.
void fillOak(TReading& r)
{
    r.SetSpecies("OAK");
    r.SetSGApplies(1);
    r.SetSG(0.55L);
    r.SetMoisture(12.5L);
    r.SetTemperature(20);
    r.SetDateTime(at(2026, 3, 5, 14, 7, 9));
}

std::string oakRecordText(char sep)
{
    return std::string("OAK") + std::string(13, ' ') + "1" + "14:07:09 05/03/2026 " + "0" + sep + "55    " + "12" +
           sep + "50   " + "20  " + std::string(128, ' ');
}

} // namespace

class TestReadings : public QObject {
    Q_OBJECT

private slots:
    void init() { setRegional(RegionalSettings{}); }

    void newReadingIsEmptyAndStampedNow();
    void clearKeepsSGAndItsFlag();
    void settersCutToCapacity();
    void emptyReadingHasNoTextsButKeepsNote();
    void recordTextMatchesExample_data();
    void recordTextMatchesExample();
    void recordTextIsAlways185Characters();
    void recordTextReadsBackFieldByField_data();
    void recordTextReadsBackFieldByField();
    void badRecordFieldsKeepPreviousValues();
    void fahrenheitTextRounds_data();
    void fahrenheitTextRounds();
    void tabTextJoinsSixColumns();
    void moistureGetterRoundsToSixByteReal();
    void baseReadingHasNoMeterTexts();

    void countUsedIgnoresSpaceOnlySpecies();
    void documentSettersMarkModified();
    void clearResetsWholeDocument();
    void notesTextEndsEveryLineWithCrLf();

    void importFillsReadingsInSlots();
    void importReadsYearsAndMoistureRule_data();
    void importReadsYearsAndMoistureRule();
    void importReadsEveryMonthName_data();
    void importReadsEveryMonthName();
    void importUsesRegionalSeparatorForMoisture();
    void importIgnoresShortLinesAndUnknownSlots();
    void importStopsAtBadLine_data();
    void importStopsAtBadLine();
    void importSurvivesHostileLines();

    void exportOfEmptyDocumentIsStampAndNotes();
    void exportListsFilesWithReadings_data();
    void exportListsFilesWithReadings();
    void exportKeepsSpeciesAsStored();
};

void TestReadings::newReadingIsEmptyAndStampedNow()
{
    const TDateTime before = Now();
    TKRReading r;
    const TDateTime after = Now();
    QVERIFY(!r.IsUsed());
    QCOMPARE(r.GetSpecies(), std::string());
    QCOMPARE(r.GetMoisture(), 0.0L);
    QCOMPARE(r.GetTemperature(), 0);
    QCOMPARE(r.GetSG(), 0.0L);
    QCOMPARE(r.GetSGApplies(), 0);
    QVERIFY(r.GetDateTime() >= before && r.GetDateTime() <= after);
}

void TestReadings::clearKeepsSGAndItsFlag()
{
    TKRReading r;
    fillOak(r);
    r.SetNote("knot");
    const TDateTime before = Now();
    r.Clear();
    QVERIFY(!r.IsUsed());
    QCOMPARE(r.GetMoisture(), 0.0L);
    QCOMPARE(r.GetNote(), std::string());
    QCOMPARE(r.GetTemperature(), 0);
    QVERIFY(r.GetDateTime() >= before);
    QCOMPARE(r.GetSG(), 0.55L);
    QCOMPARE(r.GetSGApplies(), 1);
}

void TestReadings::settersCutToCapacity()
{
    TKRReading r;
    r.SetSpecies(std::string(40, 'S'));
    QCOMPARE(r.GetSpecies(), std::string(32, 'S'));
    r.SetNote(std::string(200, 'n'));
    QCOMPARE(r.GetNote(), std::string(128, 'n'));
    r.SetSGApplies(7);
    QCOMPARE(r.GetSGApplies(), 1);

    TKRFile doc;
    doc.SetComment(3, std::string(250, 'c'));
    QCOMPARE(doc.GetComment(3), std::string(200, 'c'));
    doc.SetNote(3, 4, std::string(129, 'x'));
    QCOMPARE(doc.GetNote(3, 4), std::string(128, 'x'));
}

void TestReadings::emptyReadingHasNoTextsButKeepsNote()
{
    TKRReading r;
    r.SetSGApplies(1);
    r.SetSG(0.5L);
    r.SetMoisture(10);
    r.SetTemperature(20);
    r.SetNote("remember");
    QCOMPARE(r.GetDateTimeText(), std::string());
    QCOMPARE(r.GetTemperatureText(true), std::string());
    QCOMPARE(r.GetTemperatureText(false), std::string());
    QCOMPARE(r.GetSGText(), std::string());
    QCOMPARE(r.GetMoistureText(), std::string());
    QCOMPARE(r.GetNote(), std::string("remember"));
    r.SetSpecies(" ");
    QVERIFY(r.IsUsed());
    QCOMPARE(r.GetSGText(), std::string("0.50"));
}

void TestReadings::recordTextMatchesExample_data()
{
    test::separatorRows();
}

void TestReadings::recordTextMatchesExample()
{
    QFETCH(char, sep);
    setRegional(test::withDecimal(sep));
    TKRReading r;
    fillOak(r);
    QCOMPARE(bytes(r.GetRecordText()), bytes(oakRecordText(sep)));
    QCOMPARE(bytes(r.GetMoistureText()), bytes(std::string("12") + sep + "5"));
    QCOMPARE(bytes(r.GetSGText()), bytes(std::string("0") + sep + "55"));
}

void TestReadings::recordTextIsAlways185Characters()
{
    TKRReading r;
    r.SetDateTime(at(2020, 1, 2, 3, 4, 5));
    const std::string empty = r.GetRecordText();
    QCOMPARE(empty.size(), std::size_t(185));
    QCOMPARE(bytes(empty.substr(0, 57)),
             QByteArray("                0" "03:04:05 02/01/2020 " "        " "0.00    " "0   "));

    r.SetSpecies(std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZ"));
    r.SetSGApplies(1);
    r.SetSG(12345.678L);
    r.SetMoisture(-98765.4L);
    r.SetTemperature(-12345);
    r.SetNote(std::string(128, 'N'));
    const std::string full = r.GetRecordText();
    QCOMPARE(full.size(), std::size_t(185));
    QCOMPARE(bytes(full.substr(0, 16)), QByteArray("ABCDEFGHIJKLMNOP"));
    QCOMPARE(bytes(full.substr(37, 8)), QByteArray("1.235E+4"));
    QCOMPARE(bytes(full.substr(45, 8)), QByteArray("-9.877E+"));
    QCOMPARE(bytes(full.substr(53, 4)), QByteArray("-123"));
    QCOMPARE(bytes(full.substr(57)), QByteArray(128, 'N'));
}

void TestReadings::recordTextReadsBackFieldByField_data()
{
    test::separatorRows();
}

void TestReadings::recordTextReadsBackFieldByField()
{
    QFETCH(char, sep);
    setRegional(test::withDecimal(sep));
    TKRReading r;
    r.SetRecordText(oakRecordText(sep).replace(57, 4, "  ok"));
    QCOMPARE(r.GetSpecies(), std::string("OAK"));
    QCOMPARE(r.GetSGApplies(), 1);
    QCOMPARE(r.GetDateTime(), at(2026, 3, 5, 14, 7, 9));
    QCOMPARE(r.GetSG(), 0.55L);
    QCOMPARE(r.GetMoisture(), 12.5L);
    QCOMPARE(r.GetTemperature(), 20);
    QCOMPARE(r.GetNote(), std::string("ok"));
}

void TestReadings::badRecordFieldsKeepPreviousValues()
{
    TKRReading r;
    fillOak(r);
    r.SetNote("old note");
    // Blank SG, bad date, bad moisture, bad temperature; flag column not "1".
    std::string text = std::string("ASH") + std::string(13, ' ') + "x" + "99:99:99 99/99/9999 " + std::string(8, ' ') +
                       "12..5   " + "t1  " + "new note";
    r.SetRecordText(text);
    QCOMPARE(r.GetSpecies(), std::string("ASH"));
    QCOMPARE(r.GetSGApplies(), 0);
    QCOMPARE(r.GetDateTime(), at(2026, 3, 5, 14, 7, 9));
    QCOMPARE(r.GetSG(), 0.55L);
    QCOMPARE(r.GetMoisture(), 12.5L);
    QCOMPARE(r.GetTemperature(), 20);
    QCOMPARE(r.GetNote(), std::string("new note"));

    // A short text fills what it has; everything after it keeps its value.
    r.SetRecordText("BIRCH           1");
    QCOMPARE(r.GetSpecies(), std::string("BIRCH"));
    QCOMPARE(r.GetSGApplies(), 1);
    QCOMPARE(r.GetSG(), 0.55L);
    QCOMPARE(r.GetMoisture(), 12.5L);
    QCOMPARE(r.GetNote(), std::string());

    r.SetRecordText("");
    QVERIFY(!r.IsUsed());
    QCOMPARE(r.GetSGApplies(), 0);
    QCOMPARE(r.GetTemperature(), 20);
}

void TestReadings::fahrenheitTextRounds_data()
{
    QTest::addColumn<int>("celsius");
    QTest::addColumn<QByteArray>("fahrenheit");
    QTest::newRow("20") << 20 << QByteArray("68");
    QTest::newRow("-7") << -7 << QByteArray("19");
    QTest::newRow("1") << 1 << QByteArray("34");
    QTest::newRow("0") << 0 << QByteArray("32");
    QTest::newRow("-40") << -40 << QByteArray("-40");
    QTest::newRow("-18") << -18 << QByteArray("0");
    QTest::newRow("100") << 100 << QByteArray("212");
}

void TestReadings::fahrenheitTextRounds()
{
    QFETCH(int, celsius);
    QFETCH(QByteArray, fahrenheit);
    TKRReading r;
    r.SetSpecies("OAK");
    r.SetTemperature(celsius);
    QCOMPARE(bytes(r.GetTemperatureText(false)), fahrenheit);
    QCOMPARE(bytes(r.GetTemperatureText(true)), QByteArray::number(celsius));
}

void TestReadings::tabTextJoinsSixColumns()
{
    TKRReading r;
    fillOak(r);
    r.SetNote("edge");
    QCOMPARE(bytes(r.GetTabText(true)), QByteArray("05/03/2026 14:07:09\t20\tOAK\t0.55\t12.5\tedge"));
    QCOMPARE(bytes(r.GetTabText(false)), QByteArray("05/03/2026 14:07:09\t68\tOAK\t0.55\t12.5\tedge"));
    r.SetSGApplies(0);
    r.SetDateTime(at(2026, 3, 5));
    setRegional(test::withDecimal(','));
    QCOMPARE(bytes(r.GetTabText(true)), QByteArray("05/03/2026\t20\tOAK\t\t12,5\tedge"));
}

void TestReadings::moistureGetterRoundsToSixByteReal()
{
    TKRReading r;
    r.SetMoisture(0.1L);
    QCOMPARE(r.GetMoisture(), RoundToReal48(0.1L));
    QVERIFY(r.GetMoisture() != 0.1L);
    r.SetMoisture(12.5L);
    QCOMPARE(r.GetMoisture(), 12.5L);
}

void TestReadings::baseReadingHasNoMeterTexts()
{
    TReading r;
    r.SetSpecies("OAK");
    QCOMPARE(r.GetRecordText(), std::string());
    QCOMPARE(r.GetTabText(true), std::string());
    r.SetRecordText(oakRecordText('.'));
    QCOMPARE(r.GetSpecies(), std::string("OAK"));
    QCOMPARE(r.GetMoisture(), 0.0L);
}

void TestReadings::countUsedIgnoresSpaceOnlySpecies()
{
    TKRSubFile sub;
    QCOMPARE(sub.CountUsed(), 0);
    sub.GetReading(1).SetSpecies("OAK  ");
    sub.GetReading(25).SetSpecies("    ");
    sub.GetReading(7).SetSpecies(" ");
    QVERIFY(sub.GetReading(25).IsUsed());
    QVERIFY(sub.GetReading(7).IsUsed());
    QCOMPARE(sub.CountUsed(), 2);   // a single space is not trimmed away
    sub.SetComment("c");
    sub.Clear();
    QCOMPARE(sub.CountUsed(), 0);
    QCOMPARE(sub.GetComment(), std::string());
}

void TestReadings::documentSettersMarkModified()
{
    TKRFile doc;
    QVERIFY(!doc.IsModified());
    QCOMPARE(doc.GetFileName(), std::string("None"));
    doc.SetNotes({"a", "b"});
    QVERIFY(!doc.IsModified());
    doc.SetComment(1, "");
    QVERIFY(doc.IsModified());   // same text as before still counts
    doc.ClearModified();
    doc.SetNote(25, 25, "n");
    QVERIFY(doc.IsModified());
    doc.ClearModified();
    doc.SetModified();
    QVERIFY(doc.IsModified());
    doc.SetFileName("/tmp/x.krx");
    QCOMPARE(doc.GetFileName(), std::string("/tmp/x.krx"));
}

void TestReadings::clearResetsWholeDocument()
{
    TKRFile doc;
    fillOak(doc.GetReading(25, 25));
    doc.SetComment(25, "c");
    doc.SetNotes({"x"});
    doc.SetFileName("f.krx");
    doc.SetDateStamp(1.0);
    const TDateTime before = Now();
    doc.Clear();
    QVERIFY(!doc.GetReading(25, 25).IsUsed());
    QCOMPARE(doc.GetComment(25), std::string());
    QVERIFY(doc.GetNotes().empty());
    QCOMPARE(doc.GetFileName(), std::string("None"));
    QVERIFY(!doc.IsModified());
    QVERIFY(doc.GetDateStamp() >= before);
    QVERIFY(doc.GetReading(25, 25).GetDateTime() >= before);
}

void TestReadings::notesTextEndsEveryLineWithCrLf()
{
    TKRFile doc;
    QCOMPARE(doc.GetNotesText(), std::string());
    doc.SetNotes({"one", "", "three"});
    QCOMPARE(bytes(doc.GetNotesText()), QByteArray("one\r\n\r\nthree\r\n"));
}

void TestReadings::importFillsReadingsInSlots()
{
    TKRFile doc;
    doc.SetComment(1, "old");
    doc.SetNotes({"old"});
    doc.SetFileName("old.krx");
    doc.SetNote(2, 3, "old note");
    const TDateTime before = Now();
    doc.ImportMeterLines({
        meterLine(2, 3, "05-Mar-26", "14:07", 20, "OAK", 55, "12.5"),
        meterLine(25, 25, "31-Dec-99", "23:59", -5, "DOUGLAS FIR", 48, "8.0"),
        meterLine(1, 1, "01-Jan-00", "00:00", 0, "FIRST", 10, "1"),
        meterLine(1, 1, "02-Jan-00", "01:00", 1, "SECOND", 20, "2.0"),
    });
    QVERIFY(!doc.IsModified());
    QCOMPARE(doc.GetFileName(), std::string("None"));
    QVERIFY(doc.GetNotes().empty());
    QCOMPARE(doc.GetComment(1), std::string());
    QVERIFY(doc.GetDateStamp() >= before);

    const TReading& oak = doc.GetReading(2, 3);
    QCOMPARE(oak.GetSpecies(), std::string("OAK          "));   // 13 characters, spaces kept
    QCOMPARE(oak.GetSGApplies(), 1);
    QCOMPARE(oak.GetMoisture(), 12.5L);
    QCOMPARE(oak.GetTemperature(), 20);
    QCOMPARE(oak.GetSG(), 0.55L);
    QCOMPARE(oak.GetDateTime(), at(2026, 3, 5, 14, 7));
    QCOMPARE(oak.GetNote(), std::string());

    QCOMPARE(doc.GetReading(25, 25).GetDateTime(), at(1999, 12, 31, 23, 59));
    QCOMPARE(doc.GetReading(25, 25).GetTemperature(), -5);
    // The later line for the same slot wins.
    QCOMPARE(TrimTrailingSpaces(doc.GetSpecies(1, 1)), std::string("SECOND"));
    QCOMPARE(doc.GetReading(1, 1).GetDateTime(), at(2000, 1, 2, 1, 0));
    int used = 0;
    for (int f = 1; f <= 25; ++f)
        used += doc.CountUsed(f);
    QCOMPARE(used, 3);
}

void TestReadings::importReadsYearsAndMoistureRule_data()
{
    QTest::addColumn<std::string>("date");
    QTest::addColumn<std::string>("moisture");
    QTest::addColumn<int>("year");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("sgApplies");
    QTest::newRow("year 97") << std::string("01-Jan-97") << std::string("12.5") << 2097 << 12.5 << 1;
    QTest::newRow("year 98") << std::string("01-Jan-98") << std::string("12.5") << 1998 << 12.5 << 1;
    QTest::newRow("year 99") << std::string("01-Jan-99") << std::string("12.5") << 1999 << 12.5 << 1;
    QTest::newRow("year 00") << std::string("01-Jan-00") << std::string("12.5") << 2000 << 12.5 << 1;
    QTest::newRow("no point, no SG") << std::string("01-Jan-26") << std::string("45") << 2026 << 45.0 << 0;
    QTest::newRow("trailing spaces before CR kept") << std::string("01-Jan-26") << std::string("9.5  ") << 2026 << 9.5 << 1;
    QTest::newRow("only ten characters count")
        << std::string("01-Jan-26") << std::string("1234567.8901") << 2026 << 1234567.8 << 1;
    QTest::newRow("leading spaces") << std::string("01-Jan-26") << std::string("  7.25") << 2026 << 7.25 << 1;
}

void TestReadings::importReadsYearsAndMoistureRule()
{
    QFETCH(std::string, date);
    QFETCH(std::string, moisture);
    QFETCH(int, year);
    QFETCH(double, value);
    QFETCH(int, sgApplies);
    TKRFile doc;
    doc.ImportMeterLines({meterLine(4, 9, date, "10:30", 18, "PINE", 42, moisture)});
    const TReading& r = doc.GetReading(4, 9);
    int y = 0, m = 0, d = 0;
    DecodeDate(r.GetDateTime(), y, m, d);
    QCOMPARE(y, year);
    QCOMPARE(static_cast<double>(r.GetMoisture()), static_cast<double>(RoundToReal48(value)));
    QCOMPARE(r.GetSGApplies(), sgApplies);
    QCOMPARE(r.GetSGText().empty(), sgApplies == 0);
}

void TestReadings::importReadsEveryMonthName_data()
{
    QTest::addColumn<std::string>("name");
    QTest::addColumn<int>("month");
    QTest::newRow("Jan") << std::string("Jan") << 1;
    QTest::newRow("Feb") << std::string("Feb") << 2;
    QTest::newRow("Mar") << std::string("Mar") << 3;
    QTest::newRow("Apr") << std::string("Apr") << 4;
    QTest::newRow("May") << std::string("May") << 5;
    QTest::newRow("Jun") << std::string("Jun") << 6;
    QTest::newRow("Jul") << std::string("Jul") << 7;
    QTest::newRow("Aug") << std::string("Aug") << 8;
    QTest::newRow("Sep") << std::string("Sep") << 9;
    QTest::newRow("Oct") << std::string("Oct") << 10;
    QTest::newRow("Nov") << std::string("Nov") << 11;
    QTest::newRow("Dec") << std::string("Dec") << 12;
}

void TestReadings::importReadsEveryMonthName()
{
    QFETCH(std::string, name);
    QFETCH(int, month);
    TKRFile doc;
    doc.ImportMeterLines({meterLine(4, 9, "28-" + name + "-26", "10:30", 18, "PINE", 42, "9.5")});
    int y = 0, m = 0, d = 0;
    DecodeDate(doc.GetReading(4, 9).GetDateTime(), y, m, d);
    QCOMPARE(m, month);
    QCOMPARE(d, 28);
}

void TestReadings::importUsesRegionalSeparatorForMoisture()
{
    setRegional(test::withDecimal(','));
    TKRFile doc;
    doc.ImportMeterLines({meterLine(1, 2, "05-Mar-26", "14:07", 20, "OAK", 55, "12.5")});
    QCOMPARE(doc.GetReading(1, 2).GetMoisture(), 12.5L);
    QCOMPARE(bytes(doc.GetMoistureText(1, 2)), QByteArray("12,5"));
    QCOMPARE(bytes(doc.GetSGText(1, 2)), QByteArray("0,55"));
}

void TestReadings::importIgnoresShortLinesAndUnknownSlots()
{
    TKRFile doc;
    doc.SetComment(1, "x");
    doc.SetModified();
    doc.ImportMeterLines({
        "",
        "\r",
        "0123456789",
        std::string(10, 'x'),
        meterLine(26, 1, "05-Mar-26", "14:07", 20, "OAK", 55, "12.5"),
        meterLine(0, 1, "05-Mar-26", "14:07", 20, "OAK", 55, "12.5"),
        meterLine(1, 26, "05-Mar-26", "14:07", 20, "OAK", 55, "12.5"),
        meterLine(-1, 1, "05-Mar-26", "14:07", 20, "OAK", 55, "12.5"),
    });
    for (int f = 1; f <= 25; ++f)
        for (int r = 1; r <= 25; ++r)
            QVERIFY(!doc.GetReading(f, r).IsUsed());
    QCOMPARE(doc.GetComment(1), std::string());
    QCOMPARE(doc.GetFileName(), std::string("None"));
    QVERIFY(!doc.IsModified());
    // Eleven characters are a record line, and this one is cut short.
    QVERIFY(!errorOf([&] { doc.ImportMeterLines({"01 01 05-Ma"}); }).empty());
}

void TestReadings::importStopsAtBadLine_data()
{
    QTest::addColumn<std::string>("bad");
    QTest::addColumn<std::string>("message");
    QTest::addColumn<bool>("slotTouched");
    const std::string good = meterLine(3, 4, "05-Mar-26", "14:07", 20, "OAK", 55, "12.5");
    auto with = [&](std::size_t col, const std::string& text) {
        std::string s = good;
        return s.replace(col - 1, text.size(), text);
    };
    QTest::newRow("file number") << with(1, "x3") << std::string("'x3' is not a valid integer value") << false;
    QTest::newRow("record number") << with(4, "4 ") << std::string("'4 ' is not a valid integer value") << false;
    QTest::newRow("moisture") << with(44, "abc") << std::string("'abc5' is not a valid floating point value") << true;
    QTest::newRow("moisture with comma")
        << with(44, "12,5") << std::string("'12,5' is not a valid floating point value") << true;
    QTest::newRow("temperature") << with(23, "t0") << std::string("'t0' is not a valid integer value") << true;
    QTest::newRow("SG") << with(41, "..") << std::string("'..' is not a valid integer value") << true;
    QTest::newRow("day") << with(7, "0x") << std::string("'0x' is not a valid integer value") << true;
    QTest::newRow("impossible day") << with(7, "31-Feb") << std::string("Invalid argument to date encode") << true;
    QTest::newRow("unknown month") << with(10, "MAR") << std::string("Invalid argument to date encode") << true;
    QTest::newRow("hour") << with(17, "24") << std::string("Invalid argument to time encode") << true;
    QTest::newRow("minute") << with(20, "60") << std::string("Invalid argument to time encode") << true;
    QTest::newRow("line cut after species")
        << good.substr(0, 40) << std::string("'' is not a valid floating point value") << true;
}

void TestReadings::importStopsAtBadLine()
{
    QFETCH(std::string, bad);
    QFETCH(std::string, message);
    QFETCH(bool, slotTouched);
    TKRFile doc;
    const std::vector<std::string> lines = {
        meterLine(1, 1, "01-Jan-26", "08:00", 15, "BEFORE", 50, "10.0"),
        bad,
        meterLine(5, 5, "01-Jan-26", "08:00", 15, "AFTER", 50, "10.0"),
    };
    QCOMPARE(errorOf([&] { doc.ImportMeterLines(lines); }), message);
    QCOMPARE(TrimTrailingSpaces(doc.GetSpecies(1, 1)), std::string("BEFORE"));
    QVERIFY(!doc.GetReading(5, 5).IsUsed());
    QCOMPARE(doc.GetReading(3, 4).IsUsed(), slotTouched);
    QCOMPARE(doc.GetFileName(), std::string("None"));
    QVERIFY(!doc.IsModified());
}

void TestReadings::importSurvivesHostileLines()
{
    TKRFile doc;
    std::string longLine = meterLine(6, 7, "05-Mar-26", "14:07", 20, "OAK", 55, "12.5");
    longLine.insert(longLine.size() - 1, std::string(100000, ' '));
    std::string binary(300, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>(i * 37);
    binary.replace(0, 6, "06 08 ");
    doc.ImportMeterLines({longLine});
    // The moisture field ends in spaces here, so dropping its last character
    // takes the 5 away.
    QCOMPARE(doc.GetReading(6, 7).GetMoisture(), 12.0L);
    QCOMPARE(doc.GetReading(6, 7).GetSGApplies(), 1);
    QVERIFY(!errorOf([&] { doc.ImportMeterLines({binary}); }).empty());
}

void TestReadings::exportOfEmptyDocumentIsStampAndNotes()
{
    TKRFile doc;
    doc.SetDateStamp(at(2026, 3, 5, 14, 7, 9));
    doc.SetComment(1, "comment only");
    doc.SetNotes({"note 1", ""});
    std::vector<std::string> lines = {"kept"};
    doc.ExportText(lines, true);
    QCOMPARE(lines, (std::vector<std::string>{"kept", "14:07:09 05/03/2026", "note 1", ""}));
}

void TestReadings::exportListsFilesWithReadings_data()
{
    QTest::addColumn<bool>("centigrade");
    QTest::addColumn<char>("sep");
    QTest::newRow("centigrade point") << true << '.';
    QTest::newRow("fahrenheit comma") << false << ',';
}

void TestReadings::exportListsFilesWithReadings()
{
    QFETCH(bool, centigrade);
    QFETCH(char, sep);
    setRegional(test::withDecimal(sep));
    TKRFile doc;
    doc.SetDateStamp(at(2026, 3, 5, 14, 7, 9));
    doc.SetComment(1, "north wall");
    fillOak(doc.GetReading(1, 2));
    fillOak(doc.GetReading(1, 10));
    doc.GetReading(1, 10).SetSGApplies(0);
    doc.GetReading(1, 10).SetNote("n");
    fillOak(doc.GetReading(3, 25));
    doc.GetReading(3, 25).SetDateTime(at(2026, 3, 6));
    doc.SetNotes({"end"});

    std::vector<std::string> lines;
    doc.ExportText(lines, centigrade);
    const std::string deg = centigrade ? "\xB0" "C" : "\xB0" "F";
    const std::string header = "File\tRecord\tDate/Time\t" + deg + "\tSpecies\tSG\tMoisture\tNotes";
    const std::string temp = centigrade ? "20" : "68";
    const std::string sg = std::string("0") + sep + "55";
    const std::string mc = std::string("12") + sep + "5";
    const std::vector<std::string> expected = {
        "14:07:09 05/03/2026",
        "01\tnorth wall",
        header,
        "01\t02\t05/03/2026 14:07:09\t" + temp + "\tOAK\t" + sg + "\t" + mc + "\t",
        "01\t10\t05/03/2026 14:07:09\t" + temp + "\tOAK\t\t" + mc + "\tn",
        " ",
        "03\t",
        header,
        "03\t25\t06/03/2026\t" + temp + "\tOAK\t" + sg + "\t" + mc + "\t",
        " ",
        "end",
    };
    QCOMPARE(lines, expected);
}

void TestReadings::exportKeepsSpeciesAsStored()
{
    TKRFile doc;
    doc.GetReading(2, 1).SetSpecies("   ");
    doc.ImportMeterLines({meterLine(2, 2, "05-Mar-26", "14:07", 20, "OAK", 55, "12.5")});
    doc.GetReading(2, 1).SetSpecies("   ");
    doc.GetReading(2, 1).SetDateTime(at(2026, 1, 1, 1, 1, 1));
    std::vector<std::string> lines;
    doc.ExportText(lines, true);
    QCOMPARE(lines.size(), std::size_t(6));
    QCOMPARE(bytes(lines[3]), QByteArray("02\t01\t01/01/2026 01:01:01\t0\t   \t\t0.0\t"));
    QCOMPARE(bytes(lines[4]), QByteArray("02\t02\t05/03/2026 14:07:00\t20\tOAK          \t0.55\t12.5\t"));
    QCOMPARE(doc.CountUsed(2), 1);
}

QTEST_GUILESS_MAIN(TestReadings)
#include "tst_readings.moc"
