#include "settings/GlanceSettings.h"

#include <cmath>

#include "core/Mtlutils.h"
#include "settings/Appglob.h"
#include "settings/IniFile.h"

namespace kr {

namespace {

long double readValue(const IniFile& ini, const char* key, long double def)
{
    const std::optional<std::string> text = ini.read(GlanceSection, key);
    long double value = 0;
    if (!text || !TryStrToFloat(*text, '.', value) || !std::isfinite(value) || value < 0 || value > MaxGlanceMoisture)
        return def;
    return value;
}

} // namespace

GlanceSettings ReadGlanceSettings(const IniFile& ini)
{
    const GlanceSettings defaults;
    GlanceSettings s;
    s.range.low = readValue(ini, "Low", defaults.range.low);
    s.range.high = readValue(ini, "High", defaults.range.high);
    if (s.range.low > s.range.high)
        s.range = defaults.range;
    s.limit = readValue(ini, "Limit", defaults.limit);
    s.room.below = double(readValue(ini, "RoomBelow", defaults.room.below));
    s.room.above = double(readValue(ini, "RoomAbove", defaults.room.above));
    return s;
}

GlanceSettings ReadGlanceSettings() { return ReadGlanceSettings(IniFile(IniFilePath())); }

std::string GlanceValueText(long double value)
{
    std::string text = FormatFixed4(value, 2, '.');
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    return text;
}

void WriteGlanceSettings(IniFile& ini, const GlanceSettings& s)
{
    // One write: a range saved only at one end may read back as no range.
    ini.writeTogether([&] {
        ini.writeString(GlanceSection, "Low", GlanceValueText(s.range.low));
        ini.writeString(GlanceSection, "High", GlanceValueText(s.range.high));
        ini.writeString(GlanceSection, "Limit", GlanceValueText(s.limit));
        ini.writeString(GlanceSection, "RoomBelow", GlanceValueText(s.room.below));
        ini.writeString(GlanceSection, "RoomAbove", GlanceValueText(s.room.above));
    });
}

void WriteGlanceSettings(const GlanceSettings& settings)
{
    IniFile ini(IniFilePath());
    WriteGlanceSettings(ini, settings);
}

} // namespace kr
