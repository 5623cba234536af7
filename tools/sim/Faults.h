#pragma once
#include <optional>
#include <string>
#include <vector>

namespace kr::sim {

// The commands the meter understands, named by the character that tells them apart.
enum class Command { Library, Summary, Records, Serial, Erase, Upload };

// "$2", "$3", "$4", "$5", "$*#", "$6".
const char* commandText(Command command);
// '2', '3', '4', '5', '*', '6': the character a fault's scope lists.
char commandKey(Command command);

// What goes wrong in the field, one kind per --fault name.
enum class FaultKind {
    Silent,         // silent: nothing is sent back
    NoCr,           // no-cr: the reply has no carriage return at all
    Gap,            // gap=MS[:LINE]: a pause after one line
    Trickle,        // trickle=MS: a pause between every two lines
    CrLf,           // crlf: lines end with CR LF
    Nul,            // nul=LINE: a zero byte in the middle of a line
    Garble,         // garble=LINE: noise over a line's numbers and month
    ShortLibrary,   // short-library=N: the reply stops after N lines
    ShortSummary,   // short-summary=N: the "$3" reply stops after N lines
    Cut,            // cut=LINE: the reply stops half-way through a line
    DropAfter,      // drop-after=N: the line is pulled after N bytes of a reply
    MoreLines,      // more-lines=N: N record lines more than the summary announced
    FewerLines,     // fewer-lines=N: N record lines fewer
    SerialRefused,  // serial-refused: the first line is "ERR" instead of the echo
    Hold,           // hold=MS[:N]: after N bytes of an upload the line is held (XOFF) for MS
};

struct Fault {
    FaultKind kind = FaultKind::Silent;
    int value = 0;        // milliseconds, a line number or a count, by kind
    int line = 0;         // the line a gap follows (0: before the first line)
    std::string scope;    // command keys the fault applies to, e.g. "4" or "2345*6"
    std::string faultText;     // as given, for the log

    bool appliesTo(Command command) const;
};

// Parses NAME[=ARG][@SCOPE], e.g. "gap=600:2@4"; on failure sets `error`.
std::optional<Fault> parseFault(const std::string& faultText, std::string& error);

// The last fault of this kind that applies to the command, if any.
const Fault* findFault(const std::vector<Fault>& faults, FaultKind kind, Command command);

// The fault list with a sentence each, as printed by --help.
const char* faultHelp();

} // namespace kr::sim
