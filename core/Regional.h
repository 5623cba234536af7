#pragma once
#include <string>

namespace kr {

// The user's regional settings as the program sees them. Read once from the
// system at start (platform/), handed in here; tests set them explicitly.
// Core never consults the C library's locale.
struct RegionalSettings {
    char decimalSeparator = '.';
    char dateSeparator = '/';
    // Long time format in the Windows picture notation: h/hh hours, n/nn or m/mm
    // minutes (after an hour), s/ss seconds, AM/PM or am/pm or ampm; other
    // characters literal. ':' stands for the time separator.
    std::string longTimeFormat = "hh:nn:ss";
    char timeSeparator = ':';
    std::string timeAMString = "AM";
    std::string timePMString = "PM";
    // Short date format, set to "dd/mm/yyyy" by the main window at start;
    // '/' in it stands for dateSeparator.
    std::string shortDateFormat = "dd/mm/yyyy";
};

const RegionalSettings& regional();
void setRegional(const RegionalSettings& settings);

} // namespace kr
