#pragma once
#include <string>

#include "core/Regional.h"

namespace kr {

// The user's regional settings as the system has them: the decimal separator
// of LC_NUMERIC, the date separator and long time format of LC_TIME, turned
// into the picture notation core uses. The short date format stays
// "dd/mm/yyyy", which the program always shows.
RegionalSettings readSystemRegional();

// Reads the system's settings once and hands them to core.
void applySystemRegional();

// The translations behind readSystemRegional, kept apart so they can be
// checked against known locales. Texts come in as UTF-8.
RegionalSettings regionalFromPosix(const std::string& radix, const std::string& dateFormat,
                                   const std::string& timeFormat, const std::string& amText,
                                   const std::string& pmText);
RegionalSettings regionalFromQt(const std::string& decimalPoint, const std::string& shortDateFormat,
                                const std::string& longTimeFormat, const std::string& amText,
                                const std::string& pmText);

} // namespace kr
