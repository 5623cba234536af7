#pragma once
#include <string>

namespace kr {

// Days since 30 December 1899; the fraction is the time of day.
using TDateTime = double;

// Date/time values. Encoding raises ConvertError with
// "Invalid argument to date encode" / "Invalid argument to time encode".
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);
TDateTime Now();

// Whole-text conversions with the Delphi-style messages
// "'%s' is not a valid integer value" / "'%s' is not a valid floating point value".
// Leading/trailing blanks and a sign are accepted for integers. Floats use the
// given decimal separator.
int StrToInt(const std::string& text);
bool TryStrToInt(const std::string& text, int& value);
long double StrToFloat(const std::string& text, char decimalSeparator);
bool TryStrToFloat(const std::string& text, char decimalSeparator, long double& value);

// The fixed-point text with N decimals and 4 significant digits: one rounding,
// halves away from zero, at the coarser of the 4th significant digit and the
// Nth decimal; scientific notation when there are more than 4 integer digits.
std::string FormatFixed4(long double value, int decimals, char decimalSeparator);

// HH:MM:SS DD/MM/YYYY, separators fixed whatever the locale.
std::string DateTimeToFileText(TDateTime value);
// Reads the fixed columns of DateTimeToFileText; raises ConvertError.
TDateTime FileTextToDateTime(const std::string& text);
// Removes trailing spaces (code 32 only); texts of length 0 or 1 are unchanged.
std::string TrimTrailingSpaces(const std::string& text);

// Short date (regional().shortDateFormat) then, unless the time is exactly
// midnight, a space and the long time format: the system date/time text.
std::string DateTimeToSystemText(TDateTime value);

} // namespace kr
