#include <QTest>
#include <cmath>

#include "CoreTestUtil.h"
#include "core/Cp1252.h"
#include "core/Errors.h"
#include "core/Mtlutils.h"
#include "core/Regional.h"

using namespace kr;
using kr::test::bytes;
using kr::test::errorOf;

class TestMtlutils : public QObject {
    Q_OBJECT

private slots:
    void init() { setRegional(RegionalSettings{}); }

    void encodeDateCountsDaysFrom1899_data();
    void encodeDateCountsDaysFrom1899();
    void encodeDateRejectsImpossibleDates_data();
    void encodeDateRejectsImpossibleDates();
    void encodeTimeIsFractionOfDay();
    void encodeTimeRejectsImpossibleTimes_data();
    void encodeTimeRejectsImpossibleTimes();
    void decodeReversesEncodeOverWholeRange();
    void datesBefore1899KeepSignedDayAndPositiveTime();
    void nonsenseValuesDecodeWithoutCrashing();

    void fileTextHasFixedLayout_data();
    void fileTextHasFixedLayout();
    void fileTextReadsFixedColumns_data();
    void fileTextReadsFixedColumns();
    void fileTextRejectsBadText_data();
    void fileTextRejectsBadText();
    void fileTextRoundTripsBefore1899();

    void trimTrailingSpacesOnlyRemovesSpaces_data();
    void trimTrailingSpacesOnlyRemovesSpaces();
    void trimRemovesBlanksAtBothEnds();

    void strToIntAcceptsLeadingSpacesAndSign_data();
    void strToIntAcceptsLeadingSpacesAndSign();
    void strToFloatUsesGivenSeparator_data();
    void strToFloatUsesGivenSeparator();
    void strToFloatIsCorrectlyRounded();
    void conversionMessagesQuoteTheText();

    void fixedTextRoundsOnceAtCoarserPosition_data();
    void fixedTextRoundsOnceAtCoarserPosition();
    void fixedTextWritesRegionalSeparator();
    void fixedTextNeverThrowsOnOddValues();

    void real48KeepsFortySignificantBits();
    void real48RoundsHalvesAwayFromZero();
    void real48RangeLimits();

    void systemTextFollowsRegionalSettings_data();
    void systemTextFollowsRegionalSettings();

    void windows1252TableBothWays_data();
    void windows1252TableBothWays();
};

void TestMtlutils::encodeDateCountsDaysFrom1899_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<double>("value");
    QTest::newRow("epoch") << 1899 << 12 << 30 << 0.0;
    QTest::newRow("day before epoch") << 1899 << 12 << 29 << -1.0;
    QTest::newRow("1900-01-01") << 1900 << 1 << 1 << 2.0;
    QTest::newRow("1900 is no leap year") << 1900 << 3 << 1 << 61.0;
    QTest::newRow("2000-02-29") << 2000 << 2 << 29 << 36585.0;
    QTest::newRow("2026-03-05") << 2026 << 3 << 5 << 46086.0;
    QTest::newRow("first day") << 1 << 1 << 1 << -693593.0;
    QTest::newRow("last day") << 9999 << 12 << 31 << 2958465.0;
}

void TestMtlutils::encodeDateCountsDaysFrom1899()
{
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(double, value);
    QCOMPARE(EncodeDate(year, month, day), value);
}

void TestMtlutils::encodeDateRejectsImpossibleDates_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::newRow("year 0") << 0 << 1 << 1;
    QTest::newRow("year 10000") << 10000 << 1 << 1;
    QTest::newRow("month 0") << 2020 << 0 << 1;
    QTest::newRow("month 13") << 2020 << 13 << 1;
    QTest::newRow("day 0") << 2020 << 1 << 0;
    QTest::newRow("31 April") << 2020 << 4 << 31;
    QTest::newRow("29 Feb 1900") << 1900 << 2 << 29;
    QTest::newRow("30 Feb 2000") << 2000 << 2 << 30;
    QTest::newRow("negative day") << 2020 << 1 << -1;
}

void TestMtlutils::encodeDateRejectsImpossibleDates()
{
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    QCOMPARE(errorOf([&] { EncodeDate(year, month, day); }), std::string("Invalid argument to date encode"));
    QVERIFY_THROWS_EXCEPTION(ConvertError, EncodeDate(year, month, day));
}

void TestMtlutils::encodeTimeIsFractionOfDay()
{
    QCOMPARE(EncodeTime(0, 0, 0, 0), 0.0);
    QCOMPARE(EncodeTime(12, 0, 0, 0), 0.5);
    QCOMPARE(EncodeTime(6, 0, 0, 0), 0.25);
    QCOMPARE(EncodeTime(23, 59, 59, 999), 86399999.0 / 86400000.0);
}

void TestMtlutils::encodeTimeRejectsImpossibleTimes_data()
{
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<int>("second");
    QTest::addColumn<int>("msec");
    QTest::newRow("hour 24") << 24 << 0 << 0 << 0;
    QTest::newRow("minute 60") << 1 << 60 << 0 << 0;
    QTest::newRow("second 60") << 1 << 0 << 60 << 0;
    QTest::newRow("msec 1000") << 1 << 0 << 0 << 1000;
    QTest::newRow("negative hour") << -1 << 0 << 0 << 0;
    QTest::newRow("negative minute") << 0 << -5 << 0 << 0;
}

void TestMtlutils::encodeTimeRejectsImpossibleTimes()
{
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(int, second);
    QFETCH(int, msec);
    QCOMPARE(errorOf([&] { EncodeTime(hour, minute, second, msec); }),
             std::string("Invalid argument to time encode"));
}

void TestMtlutils::decodeReversesEncodeOverWholeRange()
{
    const int years[] = {1, 4, 100, 400, 1600, 1899, 1900, 1970, 1998, 2000, 2024, 2097, 9999};
    for (int year : years) {
        for (int month = 1; month <= 12; ++month) {
            for (int day : {1, 15, 28}) {
                int y = 0, m = 0, d = 0;
                DecodeDate(EncodeDate(year, month, day) + (year < 1900 ? 0.0 : 0.75), y, m, d);
                QCOMPARE(y, year);
                QCOMPARE(m, month);
                QCOMPARE(d, day);
            }
        }
    }
    int h = 0, n = 0, s = 0, ms = 0;
    DecodeTime(EncodeDate(2026, 3, 5) + EncodeTime(14, 7, 9, 250), h, n, s, ms);
    QCOMPARE(h, 14);
    QCOMPARE(n, 7);
    QCOMPARE(s, 9);
    QCOMPARE(ms, 250);
}

void TestMtlutils::datesBefore1899KeepSignedDayAndPositiveTime()
{
    int y = 0, m = 0, d = 0, h = 0, n = 0, s = 0, ms = 0;
    DecodeDate(-1.25, y, m, d);
    DecodeTime(-1.25, h, n, s, ms);
    QCOMPARE(y, 1899);
    QCOMPARE(m, 12);
    QCOMPARE(d, 29);
    QCOMPARE(h, 6);
    // -0.5 is still the epoch day, at noon.
    DecodeDate(-0.5, y, m, d);
    DecodeTime(-0.5, h, n, s, ms);
    QCOMPARE(d, 30);
    QCOMPARE(h, 12);
    QCOMPARE(ComposeDateTime(-1, 0.25), -1.25);
    QCOMPARE(ComposeDateTime(2, 0.25), 2.25);
    QCOMPARE(ComposeDateTime(0, 0.5), 0.5);
}

void TestMtlutils::nonsenseValuesDecodeWithoutCrashing()
{
    for (double v : {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300, -1e300, -800000.0, 3e6}) {
        int y = 1, m = 1, d = 1, h = 1, n = 1, s = 1, ms = 1;
        DecodeDate(v, y, m, d);
        DecodeTime(v, h, n, s, ms);
        QCOMPARE(y, 0);
        QCOMPARE(m, 0);
        QCOMPARE(d, 0);
        QVERIFY(h >= 0 && h < 24);
        QVERIFY(!DateTimeToFileText(v).empty());
        QVERIFY(!DateTimeToSystemText(v).empty());
    }
}

void TestMtlutils::fileTextHasFixedLayout_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("afternoon") << test::at(2026, 3, 5, 14, 7, 9) << QByteArray("14:07:09 05/03/2026");
    QTest::newRow("midnight") << test::at(1999, 12, 31) << QByteArray("00:00:00 31/12/1999");
    QTest::newRow("last second") << test::at(2000, 1, 1, 23, 59, 59) << QByteArray("23:59:59 01/01/2000");
    QTest::newRow("epoch") << 0.0 << QByteArray("00:00:00 30/12/1899");
    QTest::newRow("year is plain decimal") << test::at(5, 6, 7, 8, 9, 10) << QByteArray("08:09:10 07/06/5");
    // Milliseconds are not written.
    QTest::newRow("milliseconds dropped")
        << EncodeDate(2020, 1, 2) + EncodeTime(3, 4, 5, 600) << QByteArray("03:04:05 02/01/2020");
}

void TestMtlutils::fileTextHasFixedLayout()
{
    QFETCH(double, value);
    QFETCH(QByteArray, text);
    QCOMPARE(bytes(DateTimeToFileText(value)), text);
    // The regional settings never change this text.
    RegionalSettings r;
    r.dateSeparator = '.';
    r.timeSeparator = '-';
    r.longTimeFormat = "h:nn AMPM";
    setRegional(r);
    QCOMPARE(bytes(DateTimeToFileText(value)), text);
}

void TestMtlutils::fileTextReadsFixedColumns_data()
{
    QTest::addColumn<std::string>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("plain") << std::string("14:07:09 05/03/2026") << test::at(2026, 3, 5, 14, 7, 9);
    QTest::newRow("separators not looked at") << std::string("14x07y09z05-03.2026") << test::at(2026, 3, 5, 14, 7, 9);
    QTest::newRow("leading spaces in fields") << std::string(" 4: 7: 9  5/ 3/2026") << test::at(2026, 3, 5, 4, 7, 9);
    QTest::newRow("text after column 19 ignored") << std::string("00:00:00 01/01/2000 rest") << test::at(2000, 1, 1);
    QTest::newRow("short year") << std::string("00:00:00 01/01/5") << test::at(5, 1, 1);
}

void TestMtlutils::fileTextReadsFixedColumns()
{
    QFETCH(std::string, text);
    QFETCH(double, value);
    QCOMPARE(FileTextToDateTime(text), value);
}

void TestMtlutils::fileTextRejectsBadText_data()
{
    QTest::addColumn<std::string>("text");
    QTest::addColumn<std::string>("message");
    QTest::newRow("empty") << std::string() << std::string("'' is not a valid integer value");
    QTest::newRow("letters in hour") << std::string("ab:00:00 01/01/2020") << std::string("'ab' is not a valid integer value");
    QTest::newRow("short") << std::string("12:30") << std::string("'' is not a valid integer value");
    QTest::newRow("trailing space in field")
        << std::string("1 :00:00 01/01/2020") << std::string("'1 ' is not a valid integer value");
    QTest::newRow("31 February") << std::string("00:00:00 31/02/2020") << std::string("Invalid argument to date encode");
    QTest::newRow("year 0") << std::string("00:00:00 01/01/0000") << std::string("Invalid argument to date encode");
    QTest::newRow("hour 25") << std::string("25:00:00 01/01/2020") << std::string("Invalid argument to time encode");
    QTest::newRow("date checked before time")
        << std::string("25:00:00 00/01/2020") << std::string("Invalid argument to date encode");
}

void TestMtlutils::fileTextRejectsBadText()
{
    QFETCH(std::string, text);
    QFETCH(std::string, message);
    QCOMPARE(errorOf([&] { FileTextToDateTime(text); }), message);
}

void TestMtlutils::fileTextRoundTripsBefore1899()
{
    const TDateTime old = test::at(1850, 6, 1, 6, 30, 15);
    QVERIFY(old < 0);
    QCOMPARE(bytes(DateTimeToFileText(old)), QByteArray("06:30:15 01/06/1850"));
    QCOMPARE(FileTextToDateTime(DateTimeToFileText(old)), old);
}

void TestMtlutils::trimTrailingSpacesOnlyRemovesSpaces_data()
{
    QTest::addColumn<std::string>("in");
    QTest::addColumn<std::string>("out");
    QTest::newRow("empty") << std::string() << std::string();
    QTest::newRow("one space stays") << std::string(" ") << std::string(" ");
    QTest::newRow("two spaces go") << std::string("  ") << std::string();
    QTest::newRow("many spaces go") << std::string(40, ' ') << std::string();
    QTest::newRow("word") << std::string("OAK   ") << std::string("OAK");
    QTest::newRow("leading kept") << std::string("  OAK  ") << std::string("  OAK");
    QTest::newRow("tab kept") << std::string("OAK\t") << std::string("OAK\t");
    QTest::newRow("one letter") << std::string("a") << std::string("a");
    QTest::newRow("inner spaces kept") << std::string("RED OAK ") << std::string("RED OAK");
}

void TestMtlutils::trimTrailingSpacesOnlyRemovesSpaces()
{
    QFETCH(std::string, in);
    QFETCH(std::string, out);
    QCOMPARE(TrimTrailingSpaces(in), out);
}

void TestMtlutils::trimRemovesBlanksAtBothEnds()
{
    QCOMPARE(Trim("  12.5\t\r "), std::string("12.5"));
    QCOMPARE(Trim(std::string("\0x\0", 3)), std::string("x"));
    QCOMPARE(Trim("   "), std::string());
    QCOMPARE(Trim("a b"), std::string("a b"));
    QCOMPARE(Trim("\xB0 "), std::string("\xB0"));
}

void TestMtlutils::strToIntAcceptsLeadingSpacesAndSign_data()
{
    QTest::addColumn<std::string>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("digits") << std::string("20") << true << 20;
    QTest::newRow("leading space") << std::string(" 5") << true << 5;
    QTest::newRow("plus") << std::string("+7") << true << 7;
    QTest::newRow("minus") << std::string("-7") << true << -7;
    QTest::newRow("space then minus") << std::string(" -7") << true << -7;
    QTest::newRow("leading zeros") << std::string("007") << true << 7;
    QTest::newRow("max") << std::string("2147483647") << true << 2147483647;
    QTest::newRow("min") << std::string("-2147483648") << true << int(-2147483647 - 1);
    QTest::newRow("too big") << std::string("2147483648") << false << 0;
    QTest::newRow("far too big") << std::string("99999999999999999999999") << false << 0;
    QTest::newRow("trailing space") << std::string("5 ") << false << 0;
    QTest::newRow("empty") << std::string() << false << 0;
    QTest::newRow("spaces") << std::string("  ") << false << 0;
    QTest::newRow("sign only") << std::string("-") << false << 0;
    QTest::newRow("two signs") << std::string("--1") << false << 0;
    QTest::newRow("letter") << std::string("1a") << false << 0;
    QTest::newRow("hex") << std::string("0x10") << false << 0;
    QTest::newRow("tab") << std::string("\t5") << false << 0;
    QTest::newRow("decimal") << std::string("1.0") << false << 0;
}

void TestMtlutils::strToIntAcceptsLeadingSpacesAndSign()
{
    QFETCH(std::string, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    int got = 12345;
    QCOMPARE(TryStrToInt(text, got), ok);
    if (ok) {
        QCOMPARE(got, value);
        QCOMPARE(StrToInt(text), value);
    } else {
        QCOMPARE(got, 12345);
        QVERIFY_THROWS_EXCEPTION(ConvertError, StrToInt(text));
    }
}

void TestMtlutils::strToFloatUsesGivenSeparator_data()
{
    QTest::addColumn<std::string>("text");
    QTest::addColumn<char>("separator");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::newRow("point") << std::string("12.5") << '.' << true << 12.5;
    QTest::newRow("comma") << std::string("12,5") << ',' << true << 12.5;
    QTest::newRow("point under comma") << std::string("12.5") << ',' << false << 0.0;
    QTest::newRow("comma under point") << std::string("12,5") << '.' << false << 0.0;
    QTest::newRow("spaces around") << std::string("  12.5  ") << '.' << true << 12.5;
    QTest::newRow("integer") << std::string("45") << '.' << true << 45.0;
    QTest::newRow("negative") << std::string("-0.5") << '.' << true << -0.5;
    QTest::newRow("plus") << std::string("+2.25") << '.' << true << 2.25;
    QTest::newRow("no integer digits") << std::string(".5") << '.' << true << 0.5;
    QTest::newRow("no fraction digits") << std::string("5.") << '.' << true << 5.0;
    QTest::newRow("exponent") << std::string("1.5E3") << '.' << true << 1500.0;
    QTest::newRow("negative exponent") << std::string("25e-2") << '.' << true << 0.25;
    QTest::newRow("exponent under comma") << std::string("1,235E+4") << ',' << true << 12350.0;
    QTest::newRow("zero") << std::string("0.00") << '.' << true << 0.0;
    QTest::newRow("separator only") << std::string(".") << '.' << false << 0.0;
    QTest::newRow("empty") << std::string() << '.' << false << 0.0;
    QTest::newRow("blank") << std::string("   ") << '.' << false << 0.0;
    QTest::newRow("exponent without digits") << std::string("1e") << '.' << false << 0.0;
    QTest::newRow("two separators") << std::string("1.2.3") << '.' << false << 0.0;
    QTest::newRow("letters") << std::string("abc") << '.' << false << 0.0;
    QTest::newRow("inner space") << std::string("1 2") << '.' << false << 0.0;
    QTest::newRow("overflow") << std::string("1e99999") << '.' << false << 0.0;
    QTest::newRow("infinity word") << std::string("INF") << '.' << false << 0.0;
    QTest::newRow("nan word") << std::string("nan") << '.' << false << 0.0;
    QTest::newRow("trailing CR") << std::string("12.5\r") << '.' << false << 0.0;
}

void TestMtlutils::strToFloatUsesGivenSeparator()
{
    QFETCH(std::string, text);
    QFETCH(char, separator);
    QFETCH(bool, ok);
    QFETCH(double, value);
    long double got = 99;
    QCOMPARE(TryStrToFloat(text, separator, got), ok);
    if (ok)
        QCOMPARE(static_cast<double>(got), value);
    else
        QCOMPARE(got, 99.0L);
}

void TestMtlutils::strToFloatIsCorrectlyRounded()
{
    // The nearest 80-bit value, not a double widened afterwards.
    QVERIFY(StrToFloat("0.1", '.') == 0.1L);
    QVERIFY(StrToFloat("0.55", '.') == 0.55L);
    QVERIFY(StrToFloat("12.35", '.') == 12.35L);
    QVERIFY(StrToFloat("123.456", '.') == 123.456L);
    QVERIFY(StrToFloat("0.1234567890123456789012", '.') == 0.1234567890123456789012L);
    QVERIFY(StrToFloat("98765432109876543210987", '.') == 98765432109876543210987.0L);
    QVERIFY(StrToFloat("1e-30", '.') == 1e-30L);
    QVERIFY(StrToFloat("0000000000000000000000012.5", '.') == 12.5L);
}

void TestMtlutils::conversionMessagesQuoteTheText()
{
    QCOMPARE(errorOf([] { StrToInt(" x1"); }), std::string("' x1' is not a valid integer value"));
    QCOMPARE(errorOf([] { StrToFloat("12.5", ','); }), std::string("'12.5' is not a valid floating point value"));
    QCOMPARE(errorOf([] { StrToFloat("", '.'); }), std::string("'' is not a valid floating point value"));
    QCOMPARE(errorOf([] { StrToFloat("\xB0", '.'); }), std::string("'\xB0' is not a valid floating point value"));
}

void TestMtlutils::fixedTextRoundsOnceAtCoarserPosition_data()
{
    QTest::addColumn<std::string>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("half up at 1st decimal") << std::string("12.25") << 1 << QByteArray("12.3");
    QTest::newRow("down at 1st decimal") << std::string("12.34") << 1 << QByteArray("12.3");
    QTest::newRow("4th digit coarser") << std::string("123.45") << 2 << QByteArray("123.50");
    QTest::newRow("no double rounding 1 decimal") << std::string("12.3449") << 1 << QByteArray("12.3");
    QTest::newRow("no double rounding 4 digits") << std::string("123.449") << 2 << QByteArray("123.40");
    QTest::newRow("decimal half that binary misses") << std::string("12.35") << 1 << QByteArray("12.4");
    QTest::newRow("0.15") << std::string("0.15") << 1 << QByteArray("0.2");
    QTest::newRow("1.005") << std::string("1.005") << 2 << QByteArray("1.01");
    QTest::newRow("zeros added") << std::string("12.5") << 2 << QByteArray("12.50");
    QTest::newRow("integer") << std::string("45") << 1 << QByteArray("45.0");
    QTest::newRow("zero") << std::string("0") << 2 << QByteArray("0.00");
    QTest::newRow("small rounds to zero") << std::string("0.004") << 2 << QByteArray("0.00");
    QTest::newRow("small negative has no sign") << std::string("-0.004") << 2 << QByteArray("0.00");
    QTest::newRow("small half") << std::string("0.005") << 2 << QByteArray("0.01");
    QTest::newRow("SG") << std::string("0.55") << 2 << QByteArray("0.55");
    QTest::newRow("SG from meter integer") << std::string("0.549999") << 2 << QByteArray("0.55");
    QTest::newRow("fraction below one") << std::string("0.12345") << 2 << QByteArray("0.12");
    QTest::newRow("four integer digits") << std::string("9999.4") << 1 << QByteArray("9999.0");
    QTest::newRow("4 digits with decimals") << std::string("1234.56") << 2 << QByteArray("1235.00");
    QTest::newRow("negative half away") << std::string("-12.25") << 1 << QByteArray("-12.3");
    QTest::newRow("negative") << std::string("-3.14159") << 2 << QByteArray("-3.14");
    QTest::newRow("rounding carries to 5 digits") << std::string("9999.96") << 1 << QByteArray("1E+4");
    QTest::newRow("five digits") << std::string("12345") << 1 << QByteArray("1.235E+4");
    QTest::newRow("five digits round down") << std::string("12344.9") << 2 << QByteArray("1.234E+4");
    QTest::newRow("trailing zeros dropped") << std::string("12000") << 1 << QByteArray("1.2E+4");
    QTest::newRow("negative scientific") << std::string("-12345.6") << 1 << QByteArray("-1.235E+4");
    QTest::newRow("large") << std::string("1e30") << 2 << QByteArray("1E+30");
    QTest::newRow("huge exact tie") << std::string("12345000000000000000000") << 2 << QByteArray("1.235E+22");
    QTest::newRow("beyond 128 bits") << std::string("1.23456e300") << 1 << QByteArray("1.235E+300");
    QTest::newRow("no decimals") << std::string("2.5") << 0 << QByteArray("3");
    QTest::newRow("three decimals") << std::string("1.23456") << 3 << QByteArray("1.235");
    QTest::newRow("tiny") << std::string("1e-300") << 2 << QByteArray("0.00");
}

void TestMtlutils::fixedTextRoundsOnceAtCoarserPosition()
{
    QFETCH(std::string, value);
    QFETCH(int, decimals);
    QFETCH(QByteArray, text);
    QCOMPARE(bytes(FormatFixed4(StrToFloat(value, '.'), decimals, '.')), text);
}

void TestMtlutils::fixedTextWritesRegionalSeparator()
{
    QCOMPARE(bytes(FormatFixed4(12.5L, 2, ',')), QByteArray("12,50"));
    QCOMPARE(bytes(FormatFixed4(0.55L, 2, ',')), QByteArray("0,55"));
    QCOMPARE(bytes(FormatFixed4(12345.0L, 1, ',')), QByteArray("1,235E+4"));
    QCOMPARE(bytes(FormatFixed4(45.0L, 0, ',')), QByteArray("45"));
    // What is written reads back with the same separator.
    QCOMPARE(StrToFloat(FormatFixed4(123.45L, 2, ','), ','), 123.5L);
}

void TestMtlutils::fixedTextNeverThrowsOnOddValues()
{
    QCOMPARE(bytes(FormatFixed4(std::numeric_limits<long double>::quiet_NaN(), 2, '.')), QByteArray("NAN"));
    QCOMPARE(bytes(FormatFixed4(std::numeric_limits<long double>::infinity(), 2, '.')), QByteArray("INF"));
    QCOMPARE(bytes(FormatFixed4(-std::numeric_limits<long double>::infinity(), 1, '.')), QByteArray("-INF"));
    QCOMPARE(bytes(FormatFixed4(std::numeric_limits<long double>::max(), 1, '.')), QByteArray("1.19E+4932"));
    QCOMPARE(bytes(FormatFixed4(std::numeric_limits<long double>::denorm_min(), 2, '.')), QByteArray("0.00"));
    QCOMPARE(bytes(FormatFixed4(-0.0L, 2, '.')), QByteArray("0.00"));
    QCOMPARE(bytes(FormatFixed4(1.5L, -3, '.')), QByteArray("2"));
    QCOMPARE(bytes(FormatFixed4(1.5L, 99, '.')), QByteArray("1.500000000000000000"));
}

void TestMtlutils::real48KeepsFortySignificantBits()
{
    for (long double v : {0.1L, 12.5L, 12.35L, 99.9L, 0.3333333333333333333L, 1e-30L, 123456.789L}) {
        const long double r = RoundToReal48(v);
        int e = 0;
        const long double m = std::ldexp(std::frexp(r, &e), 40);
        QCOMPARE(m, std::floor(m));                           // at most 40 significant bits
        QVERIFY(std::fabs(r - v) <= std::ldexp(1.0L, e - 41)); // within half a unit
        QCOMPARE(RoundToReal48(-v), -r);
        QCOMPARE(RoundToReal48(r), r);
    }
    QCOMPARE(RoundToReal48(12.5L), 12.5L);
    QVERIFY(RoundToReal48(0.1L) != 0.1L);
    QCOMPARE(RoundToReal48(0.1L), std::ldexp(0xCCCCCCCCCDLL * 1.0L, -43));
}

void TestMtlutils::real48RoundsHalvesAwayFromZero()
{
    const long double unit = std::ldexp(1.0L, -39); // last kept bit of a value in [1, 2)
    QCOMPARE(RoundToReal48(1 + unit / 2), 1 + unit);
    QCOMPARE(RoundToReal48(-(1 + unit / 2)), -(1 + unit));
    QCOMPARE(RoundToReal48(1 + 3 * unit / 2), 1 + 2 * unit);
    QCOMPARE(RoundToReal48(1 + unit / 2 - unit / 1024), 1.0L);
    QCOMPARE(RoundToReal48(2 - unit / 4), 2.0L);
}

void TestMtlutils::real48RangeLimits()
{
    QCOMPARE(RoundToReal48(0.0L), 0.0L);
    QCOMPARE(RoundToReal48(std::ldexp(1.0L, -128)), std::ldexp(1.0L, -128));
    QCOMPARE(RoundToReal48(std::ldexp(1.0L, -130)), 0.0L);
    QCOMPARE(RoundToReal48(std::ldexp(1.0L, 130)), std::ldexp(1.0L, 130));
    QVERIFY(std::isnan(RoundToReal48(std::numeric_limits<long double>::quiet_NaN())));
}

void TestMtlutils::systemTextFollowsRegionalSettings_data()
{
    QTest::addColumn<char>("dateSeparator");
    QTest::addColumn<char>("timeSeparator");
    QTest::addColumn<std::string>("longTime");
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("text");
    const double afternoon = test::at(2026, 3, 5, 14, 7, 9);
    QTest::newRow("default") << '/' << ':' << std::string("hh:nn:ss") << afternoon << QByteArray("05/03/2026 14:07:09");
    QTest::newRow("dot date") << '.' << ':' << std::string("hh:nn:ss") << afternoon << QByteArray("05.03.2026 14:07:09");
    QTest::newRow("dot time") << '/' << '.' << std::string("hh:nn:ss") << afternoon << QByteArray("05/03/2026 14.07.09");
    QTest::newRow("12 hour") << '/' << ':' << std::string("h:nn:ss AMPM") << afternoon << QByteArray("05/03/2026 2:07:09 PM");
    QTest::newRow("12 hour morning") << '/' << ':' << std::string("hh:mm:ss am/pm") << test::at(2026, 3, 5, 0, 30)
                                     << QByteArray("05/03/2026 12:30:00 am");
    QTest::newRow("quoted letters") << '/' << ':' << std::string("hh'h'nn") << afternoon << QByteArray("05/03/2026 14h07");
    QTest::newRow("midnight has no time") << '/' << ':' << std::string("hh:nn:ss") << test::at(2026, 3, 5)
                                          << QByteArray("05/03/2026");
    QTest::newRow("one second past midnight")
        << '/' << ':' << std::string("hh:nn:ss") << test::at(2026, 3, 5, 0, 0, 1) << QByteArray("05/03/2026 00:00:01");
    QTest::newRow("single digit hour") << '-' << ':' << std::string("h:nn") << test::at(1998, 1, 2, 9, 5)
                                       << QByteArray("02-01-1998 9:05");
}

void TestMtlutils::systemTextFollowsRegionalSettings()
{
    QFETCH(char, dateSeparator);
    QFETCH(char, timeSeparator);
    QFETCH(std::string, longTime);
    QFETCH(double, value);
    QFETCH(QByteArray, text);
    RegionalSettings r;
    r.dateSeparator = dateSeparator;
    r.timeSeparator = timeSeparator;
    r.longTimeFormat = longTime;
    setRegional(r);
    QCOMPARE(bytes(DateTimeToSystemText(value)), text);
}

void TestMtlutils::windows1252TableBothWays_data()
{
    QTest::addColumn<QByteArray>("cp1252");
    QTest::addColumn<QByteArray>("utf8");
    QTest::newRow("0x80 euro sign U+20AC") << QByteArray("\x80") << QByteArray("\xE2\x82\xAC");
    QTest::newRow("0x91 left single quote U+2018") << QByteArray("\x91") << QByteArray("\xE2\x80\x98");
    QTest::newRow("0x92 right single quote U+2019") << QByteArray("\x92") << QByteArray("\xE2\x80\x99");
    QTest::newRow("0x9F Y with diaeresis U+0178") << QByteArray("\x9F") << QByteArray("\xC5\xB8");
    QTest::newRow("0xA0 no-break space U+00A0") << QByteArray("\xA0") << QByteArray("\xC2\xA0");
    QTest::newRow("0xFF y with diaeresis U+00FF") << QByteArray("\xFF") << QByteArray("\xC3\xBF");
}

void TestMtlutils::windows1252TableBothWays()
{
    QFETCH(QByteArray, cp1252);
    QFETCH(QByteArray, utf8);
    QCOMPARE(bytes(cp1252ToUtf8(cp1252.toStdString())), utf8);
    QCOMPARE(bytes(utf8ToCp1252(utf8.toStdString())), cp1252);
}

QTEST_GUILESS_MAIN(TestMtlutils)
#include "tst_mtlutils.moc"
