#include "tools/soak/SoakChecks.h"

#include <algorithm>
#include <charconv>
#include <sstream>

namespace kr::soak {

namespace {

constexpr int SlotCount = 9;
constexpr std::size_t UploadLength = 608;

std::string slotList(const Slots& slots)
{
    std::string text;
    for (const auto& [n, bytes] : slots) {
        if (!text.empty())
            text += ' ';
        text += std::to_string(n);
    }
    return text.empty() ? std::string("none") : text;
}

// The reply a log line names: "reply $3 lines=26 ..." or "drop after 50 bytes of the $3 reply".
std::string commandAfter(const std::string& line, const std::string& marker)
{
    const auto at = line.find(marker);
    if (at == std::string::npos)
        return {};
    const auto start = at + marker.size();
    return line.substr(start, line.find(' ', start) - start);
}

// The log's times, read the same whatever the locale.
double millis(const std::string& text)
{
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

int hexValue(const std::string& digits)
{
    int value = 0;
    for (char c : digits) {
        value *= 16;
        if (c >= '0' && c <= '9')
            value += c - '0';
        else if (c >= 'a' && c <= 'f')
            value += c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            value += c - 'A' + 10;
        else
            return -1;
    }
    return value;
}

} // namespace

const char* kindName(Kind kind)
{
    switch (kind) {
    case Kind::Download: return "download";
    case Kind::Erase: return "erase";
    case Kind::Serial: return "serial";
    case Kind::LibraryGet: return "library-get";
    case Kind::LibraryPut: return "library-put";
    }
    return "?";
}

const char* faultName(FaultType fault)
{
    switch (fault) {
    case FaultType::None: return "none";
    case FaultType::Silence: return "silence";
    case FaultType::Garble: return "garble";
    case FaultType::Cut: return "cut";
    case FaultType::Trickle: return "trickle";
    case FaultType::DiskFull: return "disk-full";
    case FaultType::Pause: return "pause";
    case FaultType::CrLf: return "crlf";
    case FaultType::Rival: return "rival";
    }
    return "?";
}

Slots slotsAfterBackup(const Slots& before, const std::string& newest)
{
    Slots after;
    if (!before.count(SlotCount)) {
        after = before;
        int free = 1;
        while (after.count(free))
            ++free;
        after[free] = newest;
        return after;
    }
    for (const auto& [n, bytes] : before)
        if (n > 1)
            after[n - 1] = bytes;
    after[SlotCount] = newest;
    return after;
}

SlotJudgement judgeSlots(const Slots& before, const Slots& after)
{
    SlotJudgement judgement;
    if (after == before)
        return judgement;
    int target = SlotCount;
    if (!before.count(SlotCount))
        for (target = 1; before.count(target); ++target) {
        }
    const auto made = after.find(target);
    if (made == after.end()) {
        judgement.finding = "the backups changed without a new one in slot " + std::to_string(target) +
                            " (before: " + slotList(before) + "; after: " + slotList(after) + ")";
        return judgement;
    }
    const Slots expected = slotsAfterBackup(before, made->second);
    if (after != expected) {
        std::string differing;
        for (int n = 1; n <= SlotCount; ++n) {
            const auto a = after.find(n);
            const auto e = expected.find(n);
            const bool same = (a == after.end()) == (e == expected.end()) &&
                              (a == after.end() || a->second == e->second);
            if (!same)
                differing += (differing.empty() ? "" : " ") + std::to_string(n);
        }
        judgement.finding = "a backup was lost or overwritten out of turn: slot(s) " + differing +
                            " differ from the expected renumbering (before: " + slotList(before) +
                            "; after: " + slotList(after) + ")";
        return judgement;
    }
    judgement.newest = made->second;
    judgement.slot = target;
    return judgement;
}

bool SimEvents::received(const std::string& command) const
{
    return std::find(commands.begin(), commands.end(), command) != commands.end();
}

SimEvents parseSimLog(const std::string& text)
{
    SimEvents events;
    std::string bytes;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string ms, what;
        fields >> ms >> what;
        if (what == "rx") {
            std::string hex;
            fields >> hex;
            const int value = hexValue(hex);
            if (value >= 0)
                bytes += char(value);
        } else if (what == "cmd") {
            std::string command;
            fields >> command;
            events.commands.push_back(command);
            if (command == "$*#" && events.firstEraseMs < 0)
                events.firstEraseMs = millis(ms);
        } else if (what == "reply") {
            // A trickle only slows a reply; cuts and noise spoil it.
            const auto faults = line.find(" faults=");
            if (faults != std::string::npos &&
                (line.find("cut", faults) != std::string::npos || line.find("garble", faults) != std::string::npos))
                events.damaged.insert(commandAfter(line, "reply "));
        } else if (what == "start") {
            events.startMs = millis(ms);
        } else if (what == "drop") {
            events.damaged.insert(commandAfter(line, "of the "));
        }
    }
    const auto upload = bytes.find("$6");
    if (upload != std::string::npos)
        events.uploaded = bytes.substr(upload + 2, UploadLength);
    return events;
}

std::string judgeTurns(const std::vector<std::string>& commands, bool rivalServed, bool mainRefused)
{
    const auto serials = std::count(commands.begin(), commands.end(), std::string("$5"));
    if (mainRefused)
        return commands.size() == std::size_t(rivalServed ? 1 : 0) ? std::string()
                                                                    : "a kr-cli refused the port still reached the meter";
    if (!rivalServed)
        return serials > 1 ? "the meter heard more than one kr-cli asking for its serial number" : std::string();
    if (commands.size() < 2)
        return {};
    // The rival's "$5" stands alone at one end; the main command's run is the rest.
    if (commands.front() == "$5" || commands.back() == "$5")
        return {};
    return "two kr-cli processes talked to the meter at once";
}

std::vector<int> allowedStatuses(Kind kind, FaultType fault, const SimEvents& events, bool meterHeldReadings)
{
    const bool backsUp = kind == Kind::Erase || kind == Kind::LibraryPut;
    if (fault == FaultType::Silence)
        return {2};
    if (fault == FaultType::DiskFull) {
        if (kind == Kind::Download || kind == Kind::LibraryGet)
            return {0, 3};
        if (backsUp && meterHeldReadings)
            return {0, 4};
        return {0};
    }
    // A pause longer than the quiet interval ends the reply early: what is
    // left of it may or may not still make sense.
    if (fault == FaultType::Pause)
        return backsUp ? std::vector<int>{0, 2, 4} : std::vector<int>{0, 2};
    bool early = false;
    for (const char* command : {"$2", "$3", "$4", "$5"})
        early = early || events.damaged.count(command);
    if (early)
        return backsUp ? std::vector<int>{2, 4} : std::vector<int>{2};
    // A spoilt echo after the erase or the library has gone.
    if (!events.damaged.empty())
        return {0, 2};
    return {0};
}

} // namespace kr::soak
