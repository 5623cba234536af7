#pragma once
#include <string>
#include <string_view>

namespace kr {

// Days since 30 December 1899; the fraction is the time of day. Before that
// day the integer part is the (negative) day and the fraction's absolute
// value is the time, so -1.25 is 29 December 1899, 06:00.
using TDateTime = double;

// Date/time values. Encoding raises ConvertError with
// "Invalid argument to date encode" / "Invalid argument to time encode".
// Years run 1..9999; hours 0..23.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
// A date plus a time of day, also for dates before 30 December 1899.
TDateTime ComposeDateTime(TDateTime date, TDateTime time);
// Values outside years 1..9999 (or not a number) decode as year, month and day 0.
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);
TDateTime Now();

// Whole-text conversions with the messages
// "'%s' is not a valid integer value" / "'%s' is not a valid floating point value".
// Integers: leading spaces, an optional sign, then decimal digits only.
// Floats: optional spaces around, sign, digits with the given decimal
// separator, optional exponent (E or e).
int StrToInt(const std::string& text);
bool TryStrToInt(std::string_view text, int& value);
long double StrToFloat(const std::string& text, char decimalSeparator);
bool TryStrToFloat(std::string_view text, char decimalSeparator, long double& value);

// The fixed-point text with N decimals and 4 significant digits: one rounding,
// halves away from zero, at the coarser of the 4th significant digit and the
// Nth decimal; scientific notation ("1.235E+4") when there are more than 4
// integer digits after that rounding. The value's decimal form is taken to
// 18 significant digits first (all an 80-bit extended holds), so a value read
// from "12.35" counts as the half it looks like. Decimals are clamped to 0..18.
std::string FormatFixed4(long double value, int decimals, char decimalSeparator);

// The value rounded to the nearest 6-byte real (40 significant bits, halves
// away from zero). Below that format's range it is 0; above it the value is
// returned unchanged, as no 6-byte real can hold it.
long double RoundToReal48(long double value);

// HH:MM:SS DD/MM/YYYY, separators fixed whatever the locale; the year is
// plain decimal.
std::string DateTimeToFileText(TDateTime value);
// Reads the fixed columns of DateTimeToFileText; raises ConvertError.
TDateTime FileTextToDateTime(const std::string& text);
// Removes trailing spaces (code 32 only); texts of length 0 or 1 are unchanged.
std::string TrimTrailingSpaces(const std::string& text);
// Removes spaces and control characters (codes 0..32) at both ends.
std::string Trim(const std::string& text);
std::string_view TrimView(std::string_view text);

// Short date (regional().shortDateFormat) then, unless the time is exactly
// midnight, a space and the long time format: the system date/time text.
std::string DateTimeToSystemText(TDateTime value);

} // namespace kr
