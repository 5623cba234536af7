#pragma once
#include <QByteArray>
#include <QString>
#include <QTest>
#include <cstdio>
#include <string>

#include "core/Errors.h"
#include "core/Mtlutils.h"
#include "core/Regional.h"
#include "tests/support/TestFiles.h"

Q_DECLARE_METATYPE(std::string)

// Readable failure output for the core's byte texts and extended floats.
template <>
inline char* QTest::toString(const std::string& s)
{
    return QTest::toString(QByteArray(s.data(), static_cast<qsizetype>(s.size())));
}
template <>
inline char* QTest::toString(const long double& v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.21Lg", v);
    return qstrdup(buf);
}

namespace kr::test {

inline RegionalSettings withDecimal(char separator)
{
    RegionalSettings r;
    r.decimalSeparator = separator;
    return r;
}

// The two decimal separators a regional rule is checked with, as a char column "sep".
inline void separatorRows()
{
    QTest::addColumn<char>("sep");
    QTest::newRow("point") << '.';
    QTest::newRow("comma") << ',';
}

inline TDateTime at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return ComposeDateTime(EncodeDate(year, month, day), EncodeTime(hour, minute, second, 0));
}

// Runs f and returns the message of the KrError it raises ("" when none).
template <typename F>
std::string errorOf(F&& f)
{
    try {
        f();
    } catch (const KrError& e) {
        return e.what();
    }
    return {};
}

// One meter record line as the meter sends it, ending in its CR.
inline std::string meterLine(int file, int rec, const std::string& date, const std::string& time, int temperature,
                             const std::string& species13, int sg100, const std::string& moisture)
{
    char head[64];
    std::snprintf(head, sizeof head, "%02d %02d %s %s %2d ", file, rec, date.c_str(), time.c_str(), temperature);
    std::string line = head;            // columns 1..25
    std::string species = species13;
    species.resize(13, ' ');
    line += species;                    // 26..38
    line += "  ";                       // 39..40
    char sg[8];
    std::snprintf(sg, sizeof sg, "%02d ", sg100);
    line += sg;                         // 41..43
    line += moisture;                   // 44..
    line += '\r';
    return line;
}

} // namespace kr::test
