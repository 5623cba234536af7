#include "tools/sim/Faults.h"

#include <charconv>

namespace kr::sim {

namespace {

enum class Arg { None, Millis, MillisLine, Line, Count };

struct FaultInfo {
    const char* name;
    FaultKind kind;
    Arg arg;
    int value;
    int line;
    const char* scope;
};

const char* const AllReplies = "2345*6";

const FaultInfo Known[] = {
    {"silent", FaultKind::Silent, Arg::None, 0, 0, AllReplies},
    {"no-cr", FaultKind::NoCr, Arg::None, 0, 0, AllReplies},
    {"gap", FaultKind::Gap, Arg::MillisLine, 600, 1, AllReplies},
    {"trickle", FaultKind::Trickle, Arg::Millis, 450, 0, AllReplies},
    {"crlf", FaultKind::CrLf, Arg::None, 0, 0, AllReplies},
    {"nul", FaultKind::Nul, Arg::Line, 2, 0, AllReplies},
    {"garble", FaultKind::Garble, Arg::Line, 2, 0, "4"},
    {"short-library", FaultKind::ShortLibrary, Arg::Count, 20, 0, "2"},
    {"short-summary", FaultKind::ShortSummary, Arg::Count, 4, 0, "3"},
    {"cut", FaultKind::Cut, Arg::Line, 2, 0, AllReplies},
    {"drop-after", FaultKind::DropAfter, Arg::Count, 120, 0, AllReplies},
    {"more-lines", FaultKind::MoreLines, Arg::Count, 3, 0, "4"},
    {"fewer-lines", FaultKind::FewerLines, Arg::Count, 3, 0, "4"},
    {"serial-refused", FaultKind::SerialRefused, Arg::None, 0, 0, "5"},
    {"hold", FaultKind::Hold, Arg::MillisLine, 1500, 600, "6"},
};

bool readNumber(std::string_view text, int low, int high, int& value)
{
    if (text.empty())
        return false;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size() && value >= low && value <= high;
}

} // namespace

const char* commandText(Command command)
{
    switch (command) {
    case Command::Library: return "$2";
    case Command::Summary: return "$3";
    case Command::Records: return "$4";
    case Command::Serial: return "$5";
    case Command::Erase: return "$*#";
    case Command::Upload: return "$6";
    }
    return "";
}

char commandKey(Command command)
{
    return command == Command::Erase ? '*' : commandText(command)[1];
}

bool Fault::appliesTo(Command command) const
{
    return scope.find(commandKey(command)) != std::string::npos;
}

const Fault* findFault(const std::vector<Fault>& faults, FaultKind kind, Command command)
{
    const Fault* found = nullptr;
    for (const Fault& f : faults)
        if (f.kind == kind && f.appliesTo(command))
            found = &f;
    return found;
}

std::optional<Fault> parseFault(const std::string& faultText, std::string& error)
{
    std::string_view rest = faultText;
    std::string_view scope;
    if (std::size_t at = rest.find('@'); at != std::string_view::npos) {
        scope = rest.substr(at + 1);
        rest = rest.substr(0, at);
    }
    std::string_view arg;
    bool hasArg = false;
    if (std::size_t eq = rest.find('='); eq != std::string_view::npos) {
        arg = rest.substr(eq + 1);
        rest = rest.substr(0, eq);
        hasArg = true;
    }
    const FaultInfo* info = nullptr;
    for (const FaultInfo& k : Known)
        if (rest == k.name)
            info = &k;
    if (!info) {
        error = "unknown fault '" + std::string(rest) + "' (see --help for the list)";
        return std::nullopt;
    }
    Fault f;
    f.kind = info->kind;
    f.value = info->value;
    f.line = info->line;
    f.scope = info->scope;
    f.faultText = faultText;
    const std::string name = info->name;
    if (hasArg) {
        bool ok = false;
        switch (info->arg) {
        case Arg::None:
            error = "fault '" + name + "' takes no value";
            return std::nullopt;
        case Arg::Millis:
            ok = readNumber(arg, 0, 60000, f.value);
            break;
        case Arg::MillisLine: {
            std::size_t colon = arg.find(':');
            ok = readNumber(arg.substr(0, colon), 0, 60000, f.value);
            if (ok && colon != std::string_view::npos)
                ok = readNumber(arg.substr(colon + 1), 0, 10000, f.line);
            break;
        }
        case Arg::Line:
            ok = readNumber(arg, 1, 10000, f.value);
            break;
        case Arg::Count:
            ok = readNumber(arg, 0, 1000000, f.value);
            break;
        }
        if (!ok) {
            error = "fault '" + name + "' has a bad value '" + std::string(arg) + "'";
            return std::nullopt;
        }
    }
    if (!scope.empty() || faultText.find('@') != std::string::npos) {
        if (scope.empty() || scope.find_first_not_of("2345*6") != std::string_view::npos) {
            error = "fault '" + name + "': the part after @ lists commands by their key: 2 3 4 5 * 6";
            return std::nullopt;
        }
        f.scope = std::string(scope);
    }
    return f;
}

const char* faultHelp()
{
    return "Faults (--fault NAME[=VALUE][@KEYS], repeatable). KEYS limits a fault to the\n"
           "replies of the commands named by their key: 2 3 4 5, * for \"$*#\", 6 for \"$6\"\n"
           "(e.g. gap=600@4). Without @KEYS a fault applies to every reply, except those\n"
           "below that name one command. Lines are numbered from 1, the echo line; when a\n"
           "kind is given twice for the same command, the last one counts.\n"
           "  silent            The meter never answers: no byte comes back, although erase\n"
           "                    and upload still take effect (its transmit wire is dead).\n"
           "  no-cr             Replies carry no carriage return at all, so no line ever ends.\n"
           "  gap[=MS[:LINE]]   Silence of MS ms (600) after line LINE (1, the echo) of each\n"
           "                    reply; LINE 0 delays the whole reply.\n"
           "  trickle[=MS]      Each line of a reply ends MS ms (450) after the one before:\n"
           "                    a reply that trickles in just inside the quiet time.\n"
           "  crlf              Lines end with CR LF instead of CR alone.\n"
           "  nul[=LINE]        A zero byte in the middle of line LINE (2) of each reply.\n"
           "  garble[=LINE]     Line LINE (2, the first record) of the \"$4\" reply arrives with\n"
           "                    noise over its file number, day and month.\n"
           "  short-library[=N] The \"$2\" reply stops after N lines (20) of its 39.\n"
           "  short-summary[=N] The \"$3\" reply stops after N lines (4) of its 26, so it\n"
           "                    announces fewer readings than the meter holds.\n"
           "  cut[=LINE]        Line LINE (2) of each reply stops half-way, without its\n"
           "                    carriage return, and nothing follows it.\n"
           "  drop-after[=N]    After N bytes (120) of a reply the line is pulled: the\n"
           "                    simulator closes its end of the pseudo-terminal mid-reply,\n"
           "                    removes the --link, logs \"drop\" and exits with status 0.\n"
           "  more-lines[=N]    The \"$4\" reply repeats its first N record lines (3) at the\n"
           "                    end: more lines than the summary announced.\n"
           "  fewer-lines[=N]   The \"$4\" reply leaves out its last N record lines (3).\n"
           "  serial-refused    The \"$5\" reply starts with the line \"ERR\" instead of the\n"
           "                    echo; the serial number line still follows.\n"
           "  hold[=MS[:N]]     After N bytes (600) of the 608 that follow \"$6\", the meter\n"
           "                    stops the line (XOFF) for MS ms (1500): what the program sends\n"
           "                    meanwhile waits in its own output buffer.\n";
}

} // namespace kr::sim
