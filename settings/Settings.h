#pragma once
#include <QString>

namespace kr {

class IniFile;

// The user's settings as the main window holds them while the program runs.
// Margins are whole millimetres whatever unit the setup dialog shows.
struct Settings {
    int PortNumber = 1;
    bool HeartBeat = false;
    int TopMargin = 10;
    int RightMargin = 10;
    int BottomMargin = 10;
    int LeftMargin = 10;
    bool Centigrade = true;
    bool Metric = true;
    // Every download, data file and erase backup is kept in the readings archive.
    bool Archive = true;

    bool operator==(const Settings&) const = default;
};

// Reads the nine keys, in order, each with its default when absent or not a
// number. Writes nothing.
Settings ReadSettings(const IniFile& ini);
Settings ReadSettings(); // from IniFilePath()

// Writes the nine keys in the same order. A failing write raises FileError
// and stops at that key; the keys before it are stored.
void WriteSettings(IniFile& ini, const Settings& settings);
void WriteSettings(const Settings& settings); // to IniFilePath()

} // namespace kr
