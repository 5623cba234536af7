#include "settings/Margins.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "core/Mtlutils.h"

namespace kr {

namespace {

// num / den (den > 0) rounded to the nearest whole number, halves to even.
std::int64_t divideHalfEven(std::int64_t num, std::int64_t den)
{
    std::int64_t q = num / den;
    std::int64_t r = num % den;
    if (r < 0) {
        --q;
        r += den;
    }
    if (2 * r > den || (2 * r == den && q % 2 != 0))
        ++q;
    return q;
}

// Tenths of an inch for a margin in millimetres: Round(mm * 100 / 254).
std::int64_t inchTenths(int millimetres) { return divideHalfEven(std::int64_t(millimetres) * 100, 254); }

int clampToInt(long double value)
{
    if (value >= static_cast<long double>(INT_MAX))
        return INT_MAX;
    if (value <= static_cast<long double>(INT_MIN))
        return INT_MIN;
    return int(value);
}

// Round(inches * 25.4). Box texts have at most two decimals: those are
// worked in whole hundredths so that a half (2.50 inches is 63.5 mm) is
// seen as one; anything else goes through extended floating point, whose
// default rounding is to nearest with halves to even.
int inchesToMillimetres(long double inches)
{
    const long double hundredths = std::nearbyint(inches * 100);
    if (std::fabs(hundredths) <= 1e9L && std::fabs(inches * 100 - hundredths) <= 1e-9L)
        return clampToInt(static_cast<long double>(divideHalfEven(std::int64_t(hundredths) * 254, 1000)));
    return clampToInt(std::nearbyint(inches * 254 / 10));
}

} // namespace

std::string ShowMargin(int millimetres, bool metric, char decimalSeparator)
{
    if (metric)
        return std::to_string(millimetres);
    const std::int64_t tenths = inchTenths(millimetres);
    std::string text = tenths < 0 ? "-" : "";
    const std::int64_t magnitude = std::llabs(tenths);
    text += std::to_string(magnitude / 10);
    text += decimalSeparator;
    text += char('0' + magnitude % 10);
    text += '0';
    return text;
}

double ShowMarginValue(int millimetres, bool metric)
{
    if (metric)
        return millimetres;
    return double(inchTenths(millimetres)) / 10.0;
}

std::optional<int> TryReadMargin(std::string_view text, bool metric, char decimalSeparator)
{
    if (metric) {
        int value = 0;
        if (!TryStrToInt(text, value))
            return std::nullopt;
        return value;
    }
    long double inches = 0;
    if (!TryStrToFloat(text, decimalSeparator, inches))
        return std::nullopt;
    return inchesToMillimetres(inches);
}

int ReadMargin(std::string_view text, bool metric, char decimalSeparator)
{
    return TryReadMargin(text, metric, decimalSeparator).value_or(0);
}

} // namespace kr
