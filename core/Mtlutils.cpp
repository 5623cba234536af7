#include "core/Mtlutils.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ctime>
#include <optional>

#include "core/Errors.h"
#include "core/Regional.h"

namespace kr {

namespace {

constexpr std::int64_t MSecsPerDay = 86'400'000;
// Days from 1 January 0001 to 30 December 1899.
constexpr int DateDelta = 693594;

#if defined(__SIZEOF_INT128__)
#define KR_HAVE_INT128 1
using u128 = unsigned __int128;
#endif

bool isLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int daysInMonth(int year, int month)
{
    static constexpr std::array<int, 12> days = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[static_cast<std::size_t>(month - 1)];
}

std::string substr(const std::string& text, std::size_t pos1, std::size_t count)
{
    return pos1 - 1 < text.size() ? text.substr(pos1 - 1, count) : std::string();
}

void appendTwoDigits(std::string& out, int value)
{
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

void appendNumber(std::string& out, long long value, int minDigits = 1)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value < 0 ? -value : value);
    const auto len = static_cast<int>(r.ptr - buf);
    if (value < 0)
        out += '-';
    for (int i = len; i < minDigits; ++i)
        out += '0';
    out.append(buf, r.ptr);
}

// Splits a value into whole days (signed, counted from 1899-12-30) and
// milliseconds of the day; false when the value is no usable date at all.
bool splitDateTime(TDateTime value, std::int64_t& days, std::int64_t& msOfDay)
{
    if (!std::isfinite(value) || std::fabs(value) > 1e8)
        return false;
    const auto ms = static_cast<std::int64_t>(std::llround(value * static_cast<double>(MSecsPerDay)));
    days = ms / MSecsPerDay;
    msOfDay = (ms < 0 ? -ms : ms) % MSecsPerDay;
    return true;
}

// Civil date from days since 1970-01-01 (proleptic Gregorian).
void civilFromDays(std::int64_t z, int& year, int& month, int& day)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0));
}

// ---- number texts -------------------------------------------------------

constexpr std::array<std::uint64_t, 20> pow10u64 = {
    1ULL,
    10ULL,
    100ULL,
    1000ULL,
    10000ULL,
    100000ULL,
    1000000ULL,
    10000000ULL,
    100000000ULL,
    1000000000ULL,
    10000000000ULL,
    100000000000ULL,
    1000000000000ULL,
    10000000000000ULL,
    100000000000000ULL,
    1000000000000000ULL,
    10000000000000000ULL,
    100000000000000000ULL,
    1000000000000000000ULL,
    10000000000000000000ULL,
};

#if defined(KR_HAVE_INT128)
u128 pow10u128(int k)
{
    u128 r = 1;
    for (int i = 0; i < k; ++i)
        r *= 10;
    return r;
}

int bitLength(u128 v)
{
    const auto high = static_cast<std::uint64_t>(v >> 64);
    const auto low = static_cast<std::uint64_t>(v);
    if (high)
        return 128 - __builtin_clzll(high);
    return low ? 64 - __builtin_clzll(low) : 0;
}

// round(num / 2^shift), halves to even.
u128 shiftRoundEven(u128 num, int shift)
{
    if (shift == 0)
        return num;
    if (shift >= 128)
        return 0;
    u128 q = num >> shift;
    const u128 rest = num & ((u128(1) << shift) - 1);
    const u128 half = u128(1) << (shift - 1);
    if (rest > half || (rest == half && (q & 1)))
        ++q;
    return q;
}

// round(mantissa * 2^exp2 * 10^exp10), halves to even, computed exactly when
// the numbers fit in 128 bits.
std::optional<u128> scaledRoundEven(std::uint64_t mantissa, int exp2, int exp10)
{
    if (exp10 >= 0) {
        if (exp10 > 19)
            return std::nullopt;
        u128 num = u128(mantissa) * pow10u64[static_cast<std::size_t>(exp10)];
        if (exp2 < 0)
            return shiftRoundEven(num, -exp2);
        if (bitLength(num) + exp2 > 127)
            return std::nullopt;
        return num << exp2;
    }
    if (-exp10 > 38)
        return std::nullopt;
    u128 num = mantissa;
    u128 den = pow10u128(-exp10);
    if (exp2 >= 0) {
        if (bitLength(num) + exp2 > 127)
            return std::nullopt;
        num <<= exp2;
    } else {
        if (bitLength(den) - exp2 > 126)
            return std::nullopt;
        den <<= -exp2;
    }
    u128 q = num / den;
    const u128 twice = (num % den) * 2;
    if (twice > den || (twice == den && (q & 1)))
        ++q;
    return q;
}

#endif

// A positive finite value as 18 significant decimal digits:
// value ~ digits * 10^(exp10 - 17), 10^17 <= digits < 10^18.
struct Decimal18 {
    std::uint64_t digits = 0;
    int exp10 = 0;
};

Decimal18 toDecimal18Slow(long double value)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 17);
    Decimal18 d;
    const char* p = buf;
    for (; p != r.ptr && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            d.digits = d.digits * 10 + static_cast<std::uint64_t>(*p - '0');
    if (p != r.ptr) {
        ++p;
        if (*p == '+')
            ++p;
        std::from_chars(p, r.ptr, d.exp10);
    }
    return d;
}

Decimal18 toDecimal18(long double value)
{
#if !defined(KR_HAVE_INT128)
    return toDecimal18Slow(value);
#else
    // The exact path needs the whole mantissa in 64 bits (x87 extended, or double).
    if constexpr (std::numeric_limits<long double>::digits > 64)
        return toDecimal18Slow(value);
    int e2 = 0;
    const long double fraction = std::frexp(value, &e2);
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
    const int exp2 = e2 - 64;
    // floor(log10(value)), or one less: value lies in [2^(e2-1), 2^e2).
    int x = static_cast<int>(std::floor((e2 - 1) * 0.30102999566398120));
    for (int attempt = 0; attempt < 3; ++attempt) {
        const auto d = scaledRoundEven(mantissa, exp2, 17 - x);
        if (!d)
            break;
        if (*d >= pow10u64[18]) {
            ++x;
        } else if (*d < pow10u64[17]) {
            --x;
        } else {
            return {static_cast<std::uint64_t>(*d), x};
        }
    }
    return toDecimal18Slow(value);
#endif
}

int digitCount(std::uint64_t v)
{
    int n = 1;
    while (v >= 10) {
        v /= 10;
        ++n;
    }
    return n;
}

std::string zeroText(int decimals, char sep)
{
    std::string s = "0";
    if (decimals > 0) {
        s += sep;
        s.append(static_cast<std::size_t>(decimals), '0');
    }
    return s;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// One correctly rounded operation on exact operands: the digits and the
// power of ten must both be exact in a long double (up to 10^27 with a 64-bit
// mantissa, 10^22 with a 53-bit one).
bool fastDecimalToFloat(std::uint64_t digits, int exp10, long double& value)
{
    constexpr int mantissaBits = std::numeric_limits<long double>::digits;
    constexpr int maxPow = mantissaBits >= 64 ? 27 : mantissaBits >= 53 ? 22 : 0;
    if (exp10 < -maxPow || exp10 > maxPow)
        return false;
    if (mantissaBits < 64 && (digits >> (mantissaBits < 64 ? mantissaBits : 63)) != 0)
        return false;
    long double scale = 1;
    for (int i = 0; i < (exp10 < 0 ? -exp10 : exp10); ++i)
        scale *= 10;
    value = exp10 < 0 ? static_cast<long double>(digits) / scale : static_cast<long double>(digits) * scale;
    return true;
}

// ---- system date/time text ----------------------------------------------

std::size_t runLength(const std::string& fmt, std::size_t i, char lower)
{
    std::size_t n = 0;
    while (i + n < fmt.size() && (fmt[i + n] | 0x20) == lower)
        ++n;
    return n;
}

bool startsWithNoCase(const std::string& fmt, std::size_t i, const char* word)
{
    for (std::size_t k = 0; word[k]; ++k)
        if (i + k >= fmt.size() || (fmt[i + k] | 0x20) != (word[k] | 0x20))
            return false;
    return true;
}

// Copies a quoted literal ("..." or '...'); returns the index after it.
std::size_t appendQuoted(const std::string& fmt, std::size_t i, std::string& out)
{
    const char quote = fmt[i++];
    while (i < fmt.size() && fmt[i] != quote)
        out += fmt[i++];
    return i < fmt.size() ? i + 1 : i;
}

std::string formatDate(const std::string& fmt, int year, int month, int day, const RegionalSettings& r)
{
    std::string out;
    std::size_t i = 0;
    while (i < fmt.size()) {
        const char c = fmt[i];
        const char lower = static_cast<char>(c | 0x20);
        if (c == '"' || c == '\'') {
            i = appendQuoted(fmt, i, out);
        } else if (c == '/') {
            out += r.dateSeparator;
            ++i;
        } else if (lower == 'd' || lower == 'm' || lower == 'y') {
            const std::size_t n = runLength(fmt, i, lower);
            if (lower == 'y')
                appendNumber(out, n <= 2 ? year % 100 : year, n <= 2 ? 2 : 4);
            else
                appendNumber(out, lower == 'd' ? day : month, n >= 2 ? 2 : 1);
            i += n;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

std::string formatTime(const std::string& fmt, int hour, int minute, int second, int msec,
                       const RegionalSettings& r)
{
    bool twelveHour = false;
    for (std::size_t k = 0; k < fmt.size(); ++k)
        twelveHour = twelveHour || startsWithNoCase(fmt, k, "am/pm") || startsWithNoCase(fmt, k, "a/p") ||
                     startsWithNoCase(fmt, k, "ampm");
    const bool pm = hour >= 12;
    int shownHour = hour;
    if (twelveHour) {
        shownHour = hour % 12;
        if (shownHour == 0)
            shownHour = 12;
    }
    std::string out;
    std::size_t i = 0;
    while (i < fmt.size()) {
        const char c = fmt[i];
        const char lower = static_cast<char>(c | 0x20);
        if (c == '"' || c == '\'') {
            i = appendQuoted(fmt, i, out);
        } else if (c == ':') {
            out += r.timeSeparator;
            ++i;
        } else if (startsWithNoCase(fmt, i, "am/pm")) {
            const bool upper = fmt[i] == 'A';
            out += pm ? (upper ? "PM" : "pm") : (upper ? "AM" : "am");
            i += 5;
        } else if (startsWithNoCase(fmt, i, "a/p")) {
            const bool upper = fmt[i] == 'A';
            out += pm ? (upper ? "P" : "p") : (upper ? "A" : "a");
            i += 3;
        } else if (startsWithNoCase(fmt, i, "ampm")) {
            out += pm ? r.timePMString : r.timeAMString;
            i += 4;
        } else if (lower == 'h' || lower == 'n' || lower == 'm' || lower == 's') {
            const std::size_t n = runLength(fmt, i, lower);
            const int v = lower == 'h' ? shownHour : lower == 's' ? second : minute;
            appendNumber(out, v, n >= 2 ? 2 : 1);
            i += n;
        } else if (lower == 'z') {
            const std::size_t n = runLength(fmt, i, 'z');
            appendNumber(out, msec, n >= 3 ? 3 : 1);
            i += n;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

// A message is passed on as a C string (what()), which would end at a zero
// byte from the file and lose the rest; such a byte is shown as a space.
std::string notConvertedMessage(std::string text, const char* what)
{
    for (char& c : text)
        if (c == '\0')
            c = ' ';
    std::string message = "'";
    message += text;
    message += "' is not a valid ";
    message += what;
    return message;
}

} // namespace

// ---- dates and times ------------------------------------------------------

TDateTime EncodeDate(int year, int month, int day)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        throw ConvertError("Invalid argument to date encode");
    int dayOfYear = day;
    for (int m = 1; m < month; ++m)
        dayOfYear += daysInMonth(year, m);
    // Whole days since 1 January of year 1: the leap days are counted in integers.
    const int y = year - 1;
    const int days = y * 365 + y / 4 - y / 100 + y / 400 + dayOfYear - DateDelta;
    return static_cast<TDateTime>(days);
}

TDateTime EncodeTime(int hour, int minute, int second, int msec)
{
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
        msec > 999)
        throw ConvertError("Invalid argument to time encode");
    const std::int64_t ms = ((hour * 60LL + minute) * 60 + second) * 1000 + msec;
    return static_cast<TDateTime>(ms) / static_cast<TDateTime>(MSecsPerDay);
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time)
{
    const double day = std::trunc(date);
    const double ofDay = std::fabs(time - std::trunc(time));
    return date < 0 ? day - ofDay : day + ofDay;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day)
{
    std::int64_t days = 0;
    std::int64_t ms = 0;
    year = month = day = 0;
    if (!splitDateTime(value, days, ms))
        return;
    // 1 January 0001 .. 31 December 9999
    if (days < -DateDelta + 1 || days > 2958465)
        return;
    civilFromDays(days - 25569, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec)
{
    std::int64_t days = 0;
    std::int64_t ms = 0;
    if (!splitDateTime(value, days, ms))
        ms = 0;
    hour = static_cast<int>(ms / 3'600'000);
    minute = static_cast<int>(ms / 60'000 % 60);
    second = static_cast<int>(ms / 1000 % 60);
    msec = static_cast<int>(ms % 1000);
}

TDateTime Now()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    const auto ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return ComposeDateTime(EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                           EncodeTime(local.tm_hour, local.tm_min, local.tm_sec < 60 ? local.tm_sec : 59,
                                      ms < 0 ? 0 : ms));
}

std::string DateTimeToFileText(TDateTime value)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, minute, second, msec);
    std::string out;
    out.reserve(19);
    appendTwoDigits(out, hour);
    out += ':';
    appendTwoDigits(out, minute);
    out += ':';
    appendTwoDigits(out, second);
    out += ' ';
    appendTwoDigits(out, day);
    out += '/';
    appendTwoDigits(out, month);
    out += '/';
    appendNumber(out, year);
    return out;
}

TDateTime FileTextToDateTime(const std::string& text)
{
    const int hour = StrToInt(substr(text, 1, 2));
    const int minute = StrToInt(substr(text, 4, 2));
    const int second = StrToInt(substr(text, 7, 2));
    const int day = StrToInt(substr(text, 10, 2));
    const int month = StrToInt(substr(text, 13, 2));
    const int year = StrToInt(substr(text, 16, 4));
    const TDateTime date = EncodeDate(year, month, day);
    return ComposeDateTime(date, EncodeTime(hour, minute, second, 0));
}

std::string TrimTrailingSpaces(const std::string& text)
{
    if (text.size() <= 1)
        return text;
    std::size_t end = text.size();
    while (end > 0 && text[end - 1] == ' ')
        --end;
    return text.substr(0, end);
}

std::string_view TrimView(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
        --end;
    return text.substr(begin, end - begin);
}

std::string Trim(const std::string& text) { return std::string(TrimView(text)); }

std::string DateTimeToSystemText(TDateTime value)
{
    const RegionalSettings& r = regional();
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, minute, second, msec);
    std::string out = formatDate(r.shortDateFormat, year, month, day, r);
    if (hour != 0 || minute != 0 || second != 0) {
        out += ' ';
        out += formatTime(r.longTimeFormat, hour, minute, second, msec, r);
    }
    return out;
}

// ---- numbers ---------------------------------------------------------------

bool TryStrToInt(std::string_view text, int& value)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i]))
            return false;
        v = v * 10 + (text[i] - '0');
        if (v > 2147483648LL)
            return false;
    }
    if (negative)
        v = -v;
    if (v > 2147483647LL)
        return false;
    value = static_cast<int>(v);
    return true;
}

int StrToInt(const std::string& text)
{
    int value = 0;
    if (!TryStrToInt(text, value))
        throw ConvertError(notConvertedMessage(text, "integer value"));
    return value;
}

bool TryStrToFloat(std::string_view text, char decimalSeparator, long double& value)
{
    std::size_t i = 0;
    std::size_t end = text.size();
    while (i < end && text[i] == ' ')
        ++i;
    while (end > i && text[end - 1] == ' ')
        --end;
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    const std::size_t unsignedStart = i;

    // Up to 19 significant digits are gathered exactly; more need the slow path.
    std::uint64_t digits = 0;
    int significant = 0;
    int exp10 = 0;
    bool exact = true;
    int mantissaDigits = 0;
    auto takeDigit = [&](char c, bool afterPoint) {
        ++mantissaDigits;
        if (significant == 0 && c == '0') {
            if (afterPoint)
                --exp10;
            return;
        }
        if (significant < 19) {
            digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
            ++significant;
            if (afterPoint)
                --exp10;
        } else {
            exact = false;
            if (!afterPoint)
                ++exp10;
        }
    };
    for (; i < end && isDigit(text[i]); ++i)
        takeDigit(text[i], false);
    if (i < end && text[i] == decimalSeparator)
        for (++i; i < end && isDigit(text[i]); ++i)
            takeDigit(text[i], true);
    if (mantissaDigits == 0)
        return false;
    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        int expValue = 0;
        bool expNegative = false;
        if (i < end && (text[i] == '+' || text[i] == '-'))
            expNegative = text[i++] == '-';
        if (i == end || !isDigit(text[i]))
            return false;
        for (; i < end && isDigit(text[i]); ++i)
            if (expValue < 100000)
                expValue = expValue * 10 + (text[i] - '0');
        exp10 += expNegative ? -expValue : expValue;
    }
    if (i != end)
        return false;

    long double result = 0;
    if (digits != 0 && !(exact && fastDecimalToFloat(digits, exp10, result))) {
        std::string normal(text.substr(unsignedStart, end - unsignedStart));
        for (char& c : normal)
            if (c == decimalSeparator)
                c = '.';
        const auto r = std::from_chars(normal.data(), normal.data() + normal.size(), result);
        if (r.ec != std::errc() || r.ptr != normal.data() + normal.size() || !std::isfinite(result))
            return false;
    }
    value = negative ? -result : result;
    return true;
}

long double StrToFloat(const std::string& text, char decimalSeparator)
{
    long double value = 0;
    if (!TryStrToFloat(text, decimalSeparator, value))
        throw ConvertError(notConvertedMessage(text, "floating point value"));
    return value;
}

std::string FormatFixed4(long double value, int decimals, char decimalSeparator)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    decimals = decimals < 0 ? 0 : decimals > 18 ? 18 : decimals;
    if (value == 0)
        return zeroText(decimals, decimalSeparator);

    const Decimal18 d = toDecimal18(std::fabs(value));
    // Round once at 10^p, the coarser of the 4th significant digit and the Nth decimal.
    const int p = std::max(-decimals, d.exp10 - 3);
    const int drop = p - (d.exp10 - 17);
    std::uint64_t rounded = 0;
    if (drop <= 18) {
        const std::uint64_t unit = pow10u64[static_cast<std::size_t>(drop)];
        rounded = d.digits / unit;
        if (d.digits % unit >= unit / 2)
            ++rounded;
    }
    if (rounded == 0)
        return zeroText(decimals, decimalSeparator);

    std::string out = value < 0 ? "-" : "";
    const int nd = digitCount(rounded);
    if (nd + p > 4) {
        std::string digits = std::to_string(rounded);
        while (digits.size() > 1 && digits.back() == '0')
            digits.pop_back();
        out += digits[0];
        if (digits.size() > 1) {
            out += decimalSeparator;
            out.append(digits, 1);
        }
        out += "E+";
        appendNumber(out, nd + p - 1);
        return out;
    }
    std::string digits = std::to_string(rounded);
    digits.append(static_cast<std::size_t>(p + decimals), '0');
    if (digits.size() <= static_cast<std::size_t>(decimals))
        digits.insert(0, static_cast<std::size_t>(decimals) + 1 - digits.size(), '0');
    out.append(digits, 0, digits.size() - static_cast<std::size_t>(decimals));
    if (decimals > 0) {
        out += decimalSeparator;
        out.append(digits, digits.size() - static_cast<std::size_t>(decimals));
    }
    return out;
}

long double RoundToReal48(long double value)
{
    if (!std::isfinite(value) || value == 0)
        return value;
    int e2 = 0;
    const long double fraction = std::frexp(std::fabs(value), &e2);
    // 40 significant bits; halves go away from zero.
    const long double mantissa = std::floor(std::ldexp(fraction, 40) + 0.5L);
    const long double rounded = std::ldexp(mantissa, e2 - 40);
    // The format holds 2^-128 <= |v| < 2^127.
    if (rounded < std::ldexp(1.0L, -128))
        return 0;
    if (rounded >= std::ldexp(1.0L, 127))
        return value;
    return value < 0 ? -rounded : rounded;
}

} // namespace kr
