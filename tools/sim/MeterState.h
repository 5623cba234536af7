#pragma once
#include <array>
#include <optional>
#include <string>
#include <vector>

namespace kr::sim {

// One reading as the meter keeps it: the fields of its record line.
struct SimReading {
    int file = 1;            // 1..25
    int record = 1;          // 1..25
    int year = 2026;         // 1998..2097 (two digits on the line)
    int month = 1;           // 1..12
    int day = 1;
    int hour = 0;
    int minute = 0;
    int temperature = 20;    // whole degrees C, -9..99 (two characters on the line)
    std::string species;     // at most 13 bytes, sent padded to 13
    int sg = 50;             // SG x 100, 0..99
    std::string moisture;    // as the meter shows it: "12.5" (SG applies) or "18"
    bool sentTwice = false;  // the meter sends its record line twice in a row
};

// The meter's memory: what the state file holds.
struct MeterState {
    static constexpr int SpeciesCount = 31;
    static constexpr int WallRoofCount = 7;
    static constexpr int EntryLength = 16;
    static constexpr int UploadLength = (SpeciesCount + WallRoofCount) * EntryLength;  // 608

    std::string serial;
    std::vector<std::string> species;    // 31 entries of 16 bytes
    std::vector<std::string> wallRoof;   // 7 entries of 16 bytes
    std::vector<SimReading> readings;    // sorted by file, then record

    // Sorts readings into the order the meter sends them.
    void sortReadings();
    // Readings stored in meter file `file` (1..25).
    int countInFile(int file) const;
    // Replaces the library from the 608 bytes that follow "$6"; false if the size is wrong.
    bool applyUpload(const std::string& bytes);
};

// A meter as it leaves the factory and is used for a few weeks: several meter files
// of real species with believable SG, moisture and dates. Always the same contents.
MeterState sampleState();
// The same library and serial number, with no readings stored.
MeterState emptyState();

// The state file: plain Windows-1252 text, one entry a line (format in stateFileHelp()).
std::string formatState(const MeterState& state);
// Parses a state file; on failure returns nothing and sets `error` to a message that
// names the line.
std::optional<MeterState> parseState(const std::string& text, std::string& error);
// The format description, also printed by --help.
const char* stateFileHelp();

// The record line of one reading, without its line end.
std::string recordLine(const SimReading& reading);
// A 16-byte library entry: name padded to 13, a space, SG x 100 as two digits.
std::string libraryEntry(const std::string& name, int sg);

// Escaping used inside |...| fields: backslash and control bytes become \\ and \xHH.
std::string escapeField(const std::string& raw);
std::optional<std::string> unescapeField(const std::string& text);

} // namespace kr::sim
