#include <QTest>
#include <clocale>
#include <cstdlib>

#include "CoreTestUtil.h"
#include "platform/SystemRegional.h"

using namespace kr;
using kr::test::at;
using kr::test::bytes;

namespace {

bool localeInstalled(const char* name)
{
    locale_t loc = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
    if (!loc)
        return false;
    freelocale(loc);
    return true;
}

// Sets LC_ALL for the duration of one check.
class ScopedLcAll {
public:
    explicit ScopedLcAll(const char* value)
    {
        if (const char* old = std::getenv("LC_ALL"))
            saved = old, hadValue = true;
        ::setenv("LC_ALL", value, 1);
    }
    ~ScopedLcAll()
    {
        if (hadValue)
            ::setenv("LC_ALL", saved.c_str(), 1);
        else
            ::unsetenv("LC_ALL");
    }

private:
    std::string saved;
    bool hadValue = false;
};

} // namespace

class TestSystemRegional : public QObject {
    Q_OBJECT

private slots:
    void init() { setRegional(RegionalSettings{}); }

    void posixFormatsBecomePictures_data();
    void posixFormatsBecomePictures();
    void qtFormatsBecomePictures_data();
    void qtFormatsBecomePictures();
    void pictureDrivesSystemText();
    void germanLocaleGivesCommaAndDots();
    void processLocaleIsNeitherUsedNorChanged();
};

void TestSystemRegional::posixFormatsBecomePictures_data()
{
    QTest::addColumn<std::string>("radix");
    QTest::addColumn<std::string>("dateFormat");
    QTest::addColumn<std::string>("timeFormat");
    QTest::addColumn<char>("decimal");
    QTest::addColumn<char>("dateSep");
    QTest::addColumn<std::string>("picture");
    QTest::addColumn<char>("timeSep");
    QTest::newRow("C") << std::string(".") << std::string("%m/%d/%y") << std::string("%H:%M:%S") << '.' << '/'
                       << std::string("hh:nn:ss") << ':';
    QTest::newRow("de_DE") << std::string(",") << std::string("%d.%m.%Y") << std::string("%T") << ',' << '.'
                           << std::string("hh:nn:ss") << ':';
    QTest::newRow("en_US") << std::string(".") << std::string("%m/%d/%Y") << std::string("%r") << '.' << '/'
                           << std::string("hh:nn:ss AMPM") << ':';
    QTest::newRow("fi_FI") << std::string(",") << std::string("%d.%m.%Y") << std::string("%H.%M.%S") << ',' << '.'
                           << std::string("hh:nn:ss") << '.';
    QTest::newRow("ISO date, zone dropped") << std::string(".") << std::string("%Y-%m-%d")
                                            << std::string("%H:%M:%S %Z") << '.' << '-' << std::string("hh:nn:ss")
                                            << ':';
    QTest::newRow("alternative digits") << std::string(".") << std::string("%Od/%Om/%EY") << std::string("%OH:%OM")
                                        << '.' << '/' << std::string("hh:nn") << ':';
    QTest::newRow("literal letters quoted") << std::string(".") << std::string("%D") << std::string("%Hh%M")
                                            << '.' << '/' << std::string("hh\"h\"nn") << ':';
    QTest::newRow("no time format") << std::string(".") << std::string("") << std::string("") << '.' << '/'
                                    << std::string("hh:nn:ss") << ':';
    QTest::newRow("multibyte radix falls back") << std::string("\u066B") << std::string("%d/%m/%Y")
                                                << std::string("%H:%M") << '.' << '/' << std::string("hh:nn") << ':';
}

void TestSystemRegional::posixFormatsBecomePictures()
{
    QFETCH(std::string, radix);
    QFETCH(std::string, dateFormat);
    QFETCH(std::string, timeFormat);
    QFETCH(char, decimal);
    QFETCH(char, dateSep);
    QFETCH(std::string, picture);
    QFETCH(char, timeSep);
    const RegionalSettings r = regionalFromPosix(radix, dateFormat, timeFormat, "AM", "PM");
    QCOMPARE(r.decimalSeparator, decimal);
    QCOMPARE(r.dateSeparator, dateSep);
    QCOMPARE(r.longTimeFormat, picture);
    QCOMPARE(r.timeSeparator, timeSep);
    QCOMPARE(r.shortDateFormat, std::string("dd/mm/yyyy"));
}

void TestSystemRegional::qtFormatsBecomePictures_data()
{
    QTest::addColumn<std::string>("decimalPoint");
    QTest::addColumn<std::string>("dateFormat");
    QTest::addColumn<std::string>("timeFormat");
    QTest::addColumn<char>("decimal");
    QTest::addColumn<char>("dateSep");
    QTest::addColumn<std::string>("picture");
    QTest::newRow("german") << std::string(",") << std::string("dd.MM.yy") << std::string("HH:mm:ss t") << ','
                            << '.' << std::string("hh:nn:ss");
    QTest::newRow("english") << std::string(".") << std::string("M/d/yy") << std::string("h:mm:ss AP t") << '.'
                             << '/' << std::string("h:nn:ss AMPM");
    QTest::newRow("quoted literal") << std::string(".") << std::string("yyyy-MM-dd")
                                    << std::string("HH 'h' mm") << '.' << '-' << std::string("hh \"h\" nn");
}

void TestSystemRegional::qtFormatsBecomePictures()
{
    QFETCH(std::string, decimalPoint);
    QFETCH(std::string, dateFormat);
    QFETCH(std::string, timeFormat);
    QFETCH(char, decimal);
    QFETCH(char, dateSep);
    QFETCH(std::string, picture);
    const RegionalSettings r = regionalFromQt(decimalPoint, dateFormat, timeFormat, "AM", "PM");
    QCOMPARE(r.decimalSeparator, decimal);
    QCOMPARE(r.dateSeparator, dateSep);
    QCOMPARE(r.longTimeFormat, picture);
}

void TestSystemRegional::pictureDrivesSystemText()
{
    setRegional(regionalFromPosix(",", "%d.%m.%Y", "%H.%M.%S", "", ""));
    QCOMPARE(bytes(DateTimeToSystemText(at(2026, 3, 5, 14, 7, 9))), QByteArray("05.03.2026 14.07.09"));
    setRegional(regionalFromPosix(".", "%m/%d/%Y", "%I:%M:%S %p", "vorm.", "nachm."));
    QCOMPARE(bytes(DateTimeToSystemText(at(2026, 3, 5, 14, 7, 9))), QByteArray("05/03/2026 02:07:09 nachm."));
    setRegional(regionalFromPosix(".", "%m/%d/%Y", "%I:%M:%S %p", "\u00E0m", "pm"));
    QCOMPARE(bytes(DateTimeToSystemText(at(2026, 3, 5, 9, 0, 0))), QByteArray("05/03/2026 09:00:00 \xE0m"));
}

void TestSystemRegional::germanLocaleGivesCommaAndDots()
{
    if (!localeInstalled("de_DE.UTF-8"))
        QSKIP("locale de_DE.UTF-8 is not installed");
    ScopedLcAll german("de_DE.UTF-8");
    const RegionalSettings r = readSystemRegional();
    QCOMPARE(r.decimalSeparator, ',');
    QCOMPARE(r.dateSeparator, '.');
    QCOMPARE(r.longTimeFormat, std::string("hh:nn:ss"));
    applySystemRegional();
    QCOMPARE(regional().decimalSeparator, ',');
    QCOMPARE(bytes(FormatFixed4(12.5L, 1, regional().decimalSeparator)), QByteArray("12,5"));
}

void TestSystemRegional::processLocaleIsNeitherUsedNorChanged()
{
    if (!localeInstalled("de_DE.UTF-8"))
        QSKIP("locale de_DE.UTF-8 is not installed");
    const std::string before = std::setlocale(LC_ALL, nullptr);
    {
        ScopedLcAll plain("C");
        QCOMPARE(readSystemRegional().decimalSeparator, '.');
    }
    QCOMPARE(std::string(std::setlocale(LC_ALL, nullptr)), before);

    // Even with the C library switched to a comma locale, core reads and
    // writes numbers only with the separator it is given.
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    QCOMPARE(StrToFloat("12.5", '.'), 12.5L);
    QCOMPARE(bytes(FormatFixed4(12.5L, 2, '.')), QByteArray("12.50"));
    QCOMPARE(bytes(FormatFixed4(12345.0L, 2, '.')), QByteArray("1.235E+4"));
    std::setlocale(LC_ALL, before.c_str());
}

QTEST_GUILESS_MAIN(TestSystemRegional)
#include "tst_systemregional.moc"
