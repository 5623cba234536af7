#pragma once
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kr::soak {

// What one cycle asks of kr-cli.
enum class Kind { Download, Erase, Serial, LibraryGet, LibraryPut };
inline constexpr int KindCount = 5;

// What goes wrong during one cycle.
// Pause: a silence after one line of a reply, around the quiet interval;
// CrLf: every line ends with CR LF; Rival: a second kr-cli asks for the
// serial number at the same moment, through a link to the same device.
enum class FaultType { None, Silence, Garble, Cut, Trickle, DiskFull, Pause, CrLf, Rival };
inline constexpr int FaultTypeCount = 9;

const char* kindName(Kind kind);
const char* faultName(FaultType fault);

// The backups in the program folder: slot number (1..9) to the file's bytes.
using Slots = std::map<int, std::string>;

// The slots once one more backup holding `newest` has been stored: the lowest
// free slot, or with slot 9 in use every used slot moves down one number
// (slot 1 goes) and the new one takes slot 9.
Slots slotsAfterBackup(const Slots& before, const std::string& newest);

// How the slots changed over one cycle.
struct SlotJudgement {
    std::string finding;               // empty when the change is one the rules allow
    std::optional<std::string> newest; // the new backup's bytes, when one was stored
    int slot = 0;                      // and the slot it is in
};
SlotJudgement judgeSlots(const Slots& before, const Slots& after);

// What the simulator's --log says happened.
struct SimEvents {
    std::vector<std::string> commands;  // "$3", "$*#", ... in the order recognised
    std::set<std::string> damaged;      // commands whose reply was cut, garbled or dropped
    std::string uploaded;               // the bytes that followed "$6" (608 when whole)
    double startMs = 0;                 // when the simulator started, on its own clock
    double firstEraseMs = -1;           // when the first "$*#" was recognised (-1: never)
    bool received(const std::string& command) const;
};
SimEvents parseSimLog(const std::string& text);

// What kr-cli says when another program holds the meter's port.
inline constexpr const char* PortInUse = "another program is using it";

// Two programs that talked to the meter one after the other: the rival's one
// "$5" comes before the first or after the last of the other's commands.
// Empty when so, or else what went wrong.
std::string judgeTurns(const std::vector<std::string>& commands, bool rivalServed, bool mainRefused);

// The exit statuses kr-cli documents for this outcome: 0 done, 2 the meter
// did not answer or its reply fell short, 3 a file could not be written,
// 4 refused because the backup could not be made.
std::vector<int> allowedStatuses(Kind kind, FaultType fault, const SimEvents& events, bool meterHeldReadings);

} // namespace kr::soak
