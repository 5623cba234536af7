#include "settings/Settings.h"

#include "settings/Appglob.h"
#include "settings/IniFile.h"

namespace kr {

namespace {
constexpr const char* Communications = "Communications";
constexpr const char* Printing = "Printing";
constexpr const char* General = "General";
constexpr const char* ArchiveSection = "Archive";
} // namespace

Settings ReadSettings(const IniFile& ini)
{
    Settings s;
    s.PortNumber = ini.readInteger(Communications, "Port", 1);
    s.HeartBeat = ini.readBool(Communications, "HeartBeat", false);
    s.TopMargin = ini.readInteger(Printing, "TopMargin", 10);
    s.RightMargin = ini.readInteger(Printing, "RightMargin", 10);
    s.BottomMargin = ini.readInteger(Printing, "BottomMargin", 10);
    s.LeftMargin = ini.readInteger(Printing, "LeftMargin", 10);
    s.Centigrade = ini.readBool(General, "Centigrade", true);
    s.Metric = ini.readBool(General, "Metric", true);
    s.Archive = ini.readBool(ArchiveSection, "Keep", true);
    return s;
}

Settings ReadSettings() { return ReadSettings(IniFile(IniFilePath())); }

void WriteSettings(IniFile& ini, const Settings& s)
{
    // One write, so a failing disk cannot leave half the new settings saved.
    ini.writeTogether([&] {
        ini.writeInteger(Communications, "Port", s.PortNumber);
        ini.writeBool(Communications, "HeartBeat", s.HeartBeat);
        ini.writeInteger(Printing, "TopMargin", s.TopMargin);
        ini.writeInteger(Printing, "RightMargin", s.RightMargin);
        ini.writeInteger(Printing, "BottomMargin", s.BottomMargin);
        ini.writeInteger(Printing, "LeftMargin", s.LeftMargin);
        ini.writeBool(General, "Centigrade", s.Centigrade);
        ini.writeBool(General, "Metric", s.Metric);
        ini.writeBool(ArchiveSection, "Keep", s.Archive);
    });
}

void WriteSettings(const Settings& settings)
{
    IniFile ini(IniFilePath());
    WriteSettings(ini, settings);
}

} // namespace kr
