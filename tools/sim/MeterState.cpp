#include "tools/sim/MeterState.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>

namespace kr::sim {

namespace {

const char* const MonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

std::string padRight(std::string text, std::size_t width)
{
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

std::string twoDigits(int value)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", value);
    return buf;
}

// A cursor over one line of the state file.
class LineReader {
public:
    explicit LineReader(std::string_view line) : rest(line) {}

    void skipSpaces()
    {
        while (!rest.empty() && rest.front() == ' ')
            rest.remove_prefix(1);
    }
    bool atEnd()
    {
        skipSpaces();
        return rest.empty();
    }
    // The next word up to a space (or the end).
    std::string_view word()
    {
        skipSpaces();
        std::size_t n = rest.find(' ');
        if (n == std::string_view::npos)
            n = rest.size();
        std::string_view w = rest.substr(0, n);
        rest.remove_prefix(n);
        return w;
    }
    // A |...| field, unescaped; nothing when malformed.
    std::optional<std::string> barred()
    {
        skipSpaces();
        if (rest.empty() || rest.front() != '|')
            return std::nullopt;
        std::size_t close = rest.find('|', 1);
        if (close == std::string_view::npos)
            return std::nullopt;
        std::string inner(rest.substr(1, close - 1));
        rest.remove_prefix(close + 1);
        return unescapeField(inner);
    }

private:
    std::string_view rest;
};

bool parseInt(std::string_view text, int& value)
{
    if (text.empty())
        return false;
    const char* first = text.data();
    const char* last = first + text.size();
    auto [ptr, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && ptr == last;
}

bool isMoistureText(const std::string& text)
{
    if (text.empty() || text.size() > 8)
        return false;
    int points = 0, digits = 0;
    for (char c : text) {
        if (c == '.')
            ++points;
        else if (c >= '0' && c <= '9')
            ++digits;
        else
            return false;
    }
    return points <= 1 && digits > 0;
}

// Reads "YYYY-MM-DD" and "HH:MM"; checks the calendar and the two-digit year window.
bool parseDateTime(std::string_view date, std::string_view time, SimReading& r, std::string& why)
{
    if (date.size() != 10 || date[4] != '-' || date[7] != '-' || !parseInt(date.substr(0, 4), r.year)
        || !parseInt(date.substr(5, 2), r.month) || !parseInt(date.substr(8, 2), r.day)) {
        why = "the date must be written YYYY-MM-DD";
        return false;
    }
    if (r.year < 1998 || r.year > 2097) {
        why = "the year must lie between 1998 and 2097 (the meter sends two digits)";
        return false;
    }
    if (r.month < 1 || r.month > 12 || r.day < 1 || r.day > daysInMonth(r.year, r.month)) {
        why = "there is no such date";
        return false;
    }
    if (time.size() != 5 || time[2] != ':' || !parseInt(time.substr(0, 2), r.hour)
        || !parseInt(time.substr(3, 2), r.minute) || r.hour > 23 || r.minute > 59) {
        why = "the time must be written HH:MM (00:00 to 23:59)";
        return false;
    }
    return true;
}

bool parseReading(LineReader& in, SimReading& r, std::string& why)
{
    if (!parseInt(in.word(), r.file) || r.file < 1 || r.file > 25) {
        why = "the meter file number must be 1 to 25";
        return false;
    }
    if (!parseInt(in.word(), r.record) || r.record < 1 || r.record > 25) {
        why = "the record number must be 1 to 25";
        return false;
    }
    std::string_view date = in.word();
    std::string_view time = in.word();
    if (!parseDateTime(date, time, r, why))
        return false;
    if (!parseInt(in.word(), r.temperature) || r.temperature < -9 || r.temperature > 99) {
        why = "the temperature must be a whole number from -9 to 99";
        return false;
    }
    auto species = in.barred();
    if (!species || species->empty() || species->size() > 13) {
        why = "the species must be 1 to 13 characters between bars, e.g. |Red Oak| (spaces only: a blank name)";
        return false;
    }
    r.species = padRight(*species, 13);
    if (!parseInt(in.word(), r.sg) || r.sg < 0 || r.sg > 99) {
        why = "the SG must be given times 100, from 0 to 99";
        return false;
    }
    r.moisture = std::string(in.word());
    if (!isMoistureText(r.moisture)) {
        why = "the moisture must be digits with at most one point, e.g. 12.5 or 18";
        return false;
    }
    if (in.atEnd())
        return true;
    r.sentTwice = in.word() == "twice";
    if (!r.sentTwice || !in.atEnd()) {
        why = "unexpected text after the moisture (only \"twice\" may follow it)";
        return false;
    }
    return true;
}

struct Sample {
    const char* name;
    int sg;
};

const Sample LibrarySpecies[MeterState::SpeciesCount] = {
    {"Red Oak", 63},       {"White Oak", 68},     {"Douglas Fir", 48},   {"Southern Pine", 59},
    {"Hard Maple", 63},    {"Soft Maple", 54},    {"Black Walnut", 55},  {"Cherry", 50},
    {"Beech", 64},         {"White Ash", 60},     {"Yellow Birch", 62},  {"Hickory", 72},
    {"Yellow Poplar", 42}, {"W. Red Cedar", 32},  {"Sitka Spruce", 40},  {"Hem-Fir", 43},
    {"Radiata Pine", 45},  {"Scots Pine", 49},    {"Norway Spruce", 43}, {"European Oak", 67},
    {"Teak", 55},          {"Mahogany", 51},      {"Jarrah", 82},        {"Merbau", 80},
    {"Iroko", 63},         {"Sapele", 62},        {"Wenge", 79},         {"Ipe", 91},
    {"Cumaru", 91},        {"Bamboo", 66},        {"Larch", 55},
};

const char* const DefaultWallRoof[MeterState::WallRoofCount] = {
    "Set User SG   50", "Plaster       25", "Brick         25", "Drywall       25",
    "PVC           25", "Mod. Bitumen  38", "BUR           50",
};

// One job on site: `count` readings of one species taken a few minutes apart.
struct Job {
    int file;
    const char* species;
    int sg;
    int year, month, day, hour, minute;
    int temperature;
    int count;
    int moistureLow;   // tenths of a percent
    int moistureHigh;
    bool wood;         // false: reference-scale reading, whole numbers, no point
};

const Job SampleJobs[] = {
    {1, "Red Oak", 63, 2026, 3, 5, 9, 12, 20, 12, 84, 112, true},
    {2, "Douglas Fir", 48, 2026, 3, 6, 7, 48, 13, 9, 130, 189, true},
    {3, "Hard Maple", 63, 2026, 3, 9, 10, 5, 21, 3, 71, 88, true},
    {3, "Black Walnut", 55, 2026, 3, 9, 10, 31, 21, 2, 69, 81, true},
    {3, "Cherry", 50, 2026, 3, 9, 11, 2, 22, 2, 72, 94, true},
    {5, "Drywall", 25, 2026, 3, 11, 14, 40, 18, 5, 120, 410, false},
    {8, "Jarrah", 82, 2026, 2, 27, 8, 15, 7, 4, 142, 171, true},
    {9, "Scots Pine", 49, 2025, 12, 18, 8, 2, -3, 3, 168, 224, true},
};

} // namespace

void MeterState::sortReadings()
{
    std::stable_sort(readings.begin(), readings.end(), [](const SimReading& a, const SimReading& b) {
        return a.file != b.file ? a.file < b.file : a.record < b.record;
    });
}

int MeterState::countInFile(int file) const
{
    return static_cast<int>(std::count_if(readings.begin(), readings.end(),
                                          [file](const SimReading& r) { return r.file == file; }));
}

bool MeterState::applyUpload(const std::string& bytes)
{
    if (bytes.size() != static_cast<std::size_t>(UploadLength))
        return false;
    species.clear();
    wallRoof.clear();
    for (int i = 0; i < SpeciesCount; ++i)
        species.push_back(bytes.substr(static_cast<std::size_t>(i * EntryLength), EntryLength));
    for (int i = 0; i < WallRoofCount; ++i)
        wallRoof.push_back(
            bytes.substr(static_cast<std::size_t>((SpeciesCount + i) * EntryLength), EntryLength));
    return true;
}

std::string libraryEntry(const std::string& name, int sg)
{
    return padRight(name.substr(0, 13), 13) + " " + twoDigits(sg % 100);
}

std::string recordLine(const SimReading& r)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "%02d %02d %02d-%s-%02d %02d:%02d %2d %-13.13s  %02d ", r.file,
                  r.record, r.day, MonthNames[(r.month - 1) % 12], r.year % 100, r.hour, r.minute,
                  r.temperature, r.species.c_str(), r.sg);
    return buf + r.moisture;
}

MeterState emptyState()
{
    MeterState s;
    s.serial = "KR-417263";
    for (const Sample& sp : LibrarySpecies)
        s.species.push_back(libraryEntry(sp.name, sp.sg));
    for (const char* w : DefaultWallRoof)
        s.wallRoof.push_back(w);
    return s;
}

MeterState sampleState()
{
    MeterState s = emptyState();
    // A small fixed generator so the sample looks varied yet is the same every time.
    unsigned seed = 20260305u;
    auto next = [&seed](int range) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) % static_cast<unsigned>(range));
    };
    for (const Job& job : SampleJobs) {
        int minute = job.hour * 60 + job.minute;
        for (int i = 0; i < job.count; ++i) {
            SimReading r;
            r.file = job.file;
            r.record = s.countInFile(job.file) + 1;
            r.year = job.year;
            r.month = job.month;
            r.day = job.day;
            r.hour = minute / 60;
            r.minute = minute % 60;
            r.temperature = job.temperature + (i % 3 == 2 ? 1 : 0);
            r.species = padRight(job.species, 13);
            r.sg = job.sg;
            int tenths = job.moistureLow + next(job.moistureHigh - job.moistureLow + 1);
            char buf[16];
            if (job.wood)
                std::snprintf(buf, sizeof buf, "%d.%d", tenths / 10, tenths % 10);
            else
                std::snprintf(buf, sizeof buf, "%d", (tenths + 5) / 10);
            r.moisture = buf;
            s.readings.push_back(r);
            minute += 2 + next(3);
        }
    }
    s.sortReadings();
    return s;
}

std::string escapeField(const std::string& raw)
{
    std::string out;
    for (unsigned char c : raw) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F || c == '|') {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::optional<std::string> unescapeField(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
            continue;
        }
        int value = 0;
        if (i + 3 >= text.size() || text[i + 1] != 'x')
            return std::nullopt;
        auto [ptr, ec] = std::from_chars(text.data() + i + 2, text.data() + i + 4, value, 16);
        if (ec != std::errc() || ptr != text.data() + i + 4)
            return std::nullopt;
        out += static_cast<char>(value);
        i += 3;
    }
    return out;
}

const char* stateFileHelp()
{
    return "State file: plain Windows-1252 text, one entry a line; blank lines and lines\n"
           "starting with # are ignored. Edit it only while the simulator is stopped.\n"
           "  serial TEXT            the serial number sent after the \"$5\" echo\n"
           "  species |ENTRY|        31 lines, the library in the meter's order; ENTRY is\n"
           "                         16 characters: name (13), separator, SG x 100 (2 digits)\n"
           "  wallroof |ENTRY|       7 lines, the wall-and-roof entries, same 16-character layout\n"
           "  reading FILE REC YYYY-MM-DD HH:MM TEMP |SPECIES| SG MOISTURE\n"
           "                         one stored reading: meter file and record 1..25, date\n"
           "                         (1998..2097), time, whole degrees C (-9..99), species of up\n"
           "                         to 13 characters, SG x 100 (0..99), and the moisture as the\n"
           "                         meter shows it: with a point for wood (12.5), without one for\n"
           "                         the reference scale (18); a final word \"twice\" makes the\n"
           "                         meter send this reading's line twice in a row\n"
           "Between bars a backslash starts an escape: \\\\ is a backslash, \\xHH any byte\n"
           "(control bytes and | are always written that way).\n"
           "A missing state file is created with sample contents (see --init); erase and\n"
           "upload rewrite it through a temporary file and a rename.\n";
}

std::string formatState(const MeterState& state)
{
    std::string out;
    out += "# kr-meter-sim state: the simulated KR meter's memory.\n";
    out += "# Format (also in kr-meter-sim --help):\n";
    std::string help = stateFileHelp();
    std::size_t start = 0;
    while (start < help.size()) {
        std::size_t end = help.find('\n', start);
        out += "#   " + help.substr(start, end - start) + "\n";
        start = end + 1;
    }
    out += "\nserial " + state.serial + "\n\n";
    for (const std::string& e : state.species)
        out += "species |" + escapeField(e) + "|\n";
    out += "\n";
    for (const std::string& e : state.wallRoof)
        out += "wallroof |" + escapeField(e) + "|\n";
    out += "\n";
    for (const SimReading& r : state.readings) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "reading %02d %02d %04d-%02d-%02d %02d:%02d %d |", r.file,
                      r.record, r.year, r.month, r.day, r.hour, r.minute, r.temperature);
        out += buf + escapeField(r.species) + "| " + twoDigits(r.sg) + " " + r.moisture +
               (r.sentTwice ? " twice" : "") + "\n";
    }
    return out;
}

std::optional<MeterState> parseState(const std::string& text, std::string& error)
{
    MeterState state;
    bool haveSerial = false;
    std::map<int, int> slotLine;  // file*100+record -> line number
    int lineNo = 0;
    std::size_t pos = 0;
    auto fail = [&](const std::string& why) {
        error = "line " + std::to_string(lineNo) + ": " + why;
        return std::nullopt;
    };
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find('\0') != std::string::npos)
            return fail("a zero byte is not allowed in the state file");
        LineReader in(line);
        if (in.atEnd() || line[line.find_first_not_of(' ')] == '#')
            continue;
        std::string key(in.word());
        if (key == "serial") {
            std::size_t at = line.find("serial") + 6;
            std::string serial = line.substr(std::min(line.size(), at));
            serial.erase(0, std::min(serial.size(), serial.find_first_not_of(' ')));
            if (haveSerial)
                return fail("the serial number is given twice");
            if (serial.empty() || serial.find_first_not_of(' ') == std::string::npos)
                return fail("the serial number is empty");
            for (unsigned char c : serial)
                if (c < 0x20 || c == 0x7F)
                    return fail("the serial number holds a control character");
            state.serial = serial;
            haveSerial = true;
        } else if (key == "species" || key == "wallroof") {
            auto entry = in.barred();
            if (!entry || !in.atEnd())
                return fail("expected " + key + " |ENTRY| with the entry between bars");
            if (entry->size() != MeterState::EntryLength)
                return fail("the entry must be exactly 16 characters, found "
                            + std::to_string(entry->size()));
            auto& list = key == "species" ? state.species : state.wallRoof;
            std::size_t limit = key == "species" ? MeterState::SpeciesCount : MeterState::WallRoofCount;
            if (list.size() == limit)
                return fail("more than " + std::to_string(limit) + " " + key + " lines");
            list.push_back(*entry);
        } else if (key == "reading") {
            SimReading r;
            std::string why;
            if (!parseReading(in, r, why))
                return fail(why);
            int slot = r.file * 100 + r.record;
            if (auto it = slotLine.find(slot); it != slotLine.end())
                return fail("meter file " + std::to_string(r.file) + " record "
                            + std::to_string(r.record) + " is already used on line "
                            + std::to_string(it->second));
            slotLine[slot] = lineNo;
            state.readings.push_back(r);
        } else {
            return fail("unknown entry '" + key + "' (expected serial, species, wallroof or reading)");
        }
    }
    if (!haveSerial) {
        error = "the state file has no serial line";
        return std::nullopt;
    }
    if (state.species.size() != MeterState::SpeciesCount
        || state.wallRoof.size() != MeterState::WallRoofCount) {
        error = "the state file needs 31 species lines and 7 wallroof lines, found "
                + std::to_string(state.species.size()) + " and "
                + std::to_string(state.wallRoof.size());
        return std::nullopt;
    }
    state.sortReadings();
    return state;
}

} // namespace kr::sim
