#pragma once
#include "core/Acclimation.h"
#include "core/Statistics.h"

namespace kr {

class IniFile;

// What "Readings at a glance" measures against: the target moisture range and
// how far apart two meter files' means may lie. Kept in kr.ini's section
// "Glance" as plain decimals with "." ("6.5"), whatever the regional settings.
inline constexpr const char* GlanceSection = "Glance";

struct GlanceSettings {
    MoistureRange range;
    long double limit = DefaultComparisonLimit;
    // How far the target may lie around a room's EMC, when it comes from one.
    TRoomMargins room;

    bool operator==(const GlanceSettings&) const = default;
};

// The highest moisture the settings take; the meter reads far less.
inline constexpr long double MaxGlanceMoisture = 100;

// Each value read with its default when absent, not a number, below 0 or above
// MaxGlanceMoisture; a range whose low end lies above its high end gives the
// default range.
GlanceSettings ReadGlanceSettings(const IniFile& ini);
GlanceSettings ReadGlanceSettings(); // from IniFilePath()

// Writes "Low", "High", "Limit", "RoomBelow" and "RoomAbove" in one write. A failing write raises
// FileError; the file stays as it was.
void WriteGlanceSettings(IniFile& ini, const GlanceSettings& settings);
void WriteGlanceSettings(const GlanceSettings& settings); // to IniFilePath()

// "6.5": at most two decimals, "." as separator, trailing zeros dropped.
std::string GlanceValueText(long double value);

} // namespace kr
