#include "tools/sim/SimOptions.h"

#include <charconv>

#include "tools/sim/MeterState.h"

namespace kr::sim {

std::optional<SimOptions> parseOptions(const std::vector<std::string>& args, std::string& error)
{
    SimOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (name.rfind("--", 0) == 0) {
            if (std::size_t eq = name.find('='); eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name.erase(eq);
            }
        }
        auto value = [&](std::string& out) {
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = "option " + name + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto flag = [&]() {
            if (inlineValue) {
                error = "option " + name + " takes no value";
                return false;
            }
            return true;
        };
        std::string v;
        if (name == "--help" || name == "-h") {
            if (!flag())
                return std::nullopt;
            o.help = true;
        } else if (name == "--version") {
            if (!flag())
                return std::nullopt;
            o.version = true;
        } else if (name == "--fast") {
            if (!flag())
                return std::nullopt;
            o.fast = true;
        } else if (name == "--reset") {
            if (!flag())
                return std::nullopt;
            o.reset = true;
        } else if (name == "--watch-stdin") {
            if (!flag())
                return std::nullopt;
            o.watchStdin = true;
        } else if (name == "--state" || name == "--link" || name == "--log") {
            if (!value(v))
                return std::nullopt;
            if (v.empty()) {
                error = "option " + name + " needs a file name";
                return std::nullopt;
            }
            (name == "--state" ? o.statePath : name == "--link" ? o.linkPath : o.logPath) = v;
        } else if (name == "--init") {
            if (!value(v))
                return std::nullopt;
            if (v != "sample" && v != "empty") {
                error = "--init takes sample or empty, not '" + v + "'";
                return std::nullopt;
            }
            o.initEmpty = v == "empty";
        } else if (name == "--latency") {
            if (!value(v))
                return std::nullopt;
            auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), o.latencyMs);
            if (v.empty() || ec != std::errc() || ptr != v.data() + v.size() || o.latencyMs < 0
                || o.latencyMs > 60000) {
                error = "--latency takes milliseconds from 0 to 60000, not '" + v + "'";
                return std::nullopt;
            }
        } else if (name == "--fault") {
            if (!value(v))
                return std::nullopt;
            auto fault = parseFault(v, error);
            if (!fault)
                return std::nullopt;
            o.faults.push_back(*fault);
        } else {
            error = "unknown option '" + args[i] + "' (try --help)";
            return std::nullopt;
        }
    }
    return o;
}

std::string helpText()
{
    std::string text =
        "Usage: kr-meter-sim [options]\n"
        "\n"
        "A simulated KR wood moisture meter on a pseudo-terminal, for tests, demonstrations\n"
        "and training. It prints the device path of the terminal's far end as the first line\n"
        "of its output; point the KR companion's serial port at that device (or at --link).\n"
        "It then answers \"$3\" (summary), \"$4\" (records), \"$5\" (serial number), \"$2\"\n"
        "(library), \"$*#\" (erase) and \"$6\" + 608 characters (library upload) until it is\n"
        "stopped with Ctrl+C or SIGTERM. Every reply starts with an echo line; every line\n"
        "ends with a carriage return.\n"
        "\n"
        "Options:\n"
        "  --state FILE     the meter's memory (default kr-meter-state.txt in the current\n"
        "                   folder); created when missing, rewritten by erase and upload\n"
        "  --init KIND      what a new state file holds: sample (several meter files of\n"
        "                   readings, the default) or empty (library and serial only)\n"
        "  --reset          recreate the state file as --init says, even if it exists\n"
        "  --link PATH      also make a symbolic link PATH to the device (replaces an old\n"
        "                   link, never a real file; removed again on exit)\n"
        "  --fast           send as fast as possible instead of at 4800 baud (2.08 ms a\n"
        "                   character)\n"
        "  --latency MS     wait MS milliseconds before each reply starts (default 0)\n"
        "  --log FILE       record every byte received with its time in milliseconds, every\n"
        "                   command recognised and every reply sent\n"
        "  --fault SPEC     make something go wrong, as listed below (repeatable)\n"
        "  --watch-stdin    stop when standard input closes, so a launcher that dies\n"
        "                   never leaves a simulator behind\n"
        "  --help, --version\n"
        "\n"
        "Replies (each line ends with CR; the first is the echo of the command):\n"
        "  $3   25 lines FF:NN, one per meter file: its number, then the count of\n"
        "       readings it holds at characters 4 and 5 (01:12)\n"
        "  $4   one line per reading, meter file by file:\n"
        "       FF RR DD-Mon-YY HH:MM TT Species(13)    SG MOISTURE\n"
        "       e.g. 01 01 05-Mar-26 09:12 20 Red Oak        63 8.9\n"
        "  $5   the serial number\n"
        "  $2   31 species records and 7 wall-and-roof entries of 16 characters:\n"
        "       name (13), a space, SG x 100 (Red Oak       63)\n"
        "  $*#  erases every reading, then sends its echo\n"
        "  $6   takes the next 608 characters as 31 species and 7 wall-and-roof entries,\n"
        "       stores them, then sends its echo\n"
        "\n"
        "An upload that stops short (2 s without a byte) is abandoned and changes nothing.\n"
        "Commands that arrive during a reply are answered after it, in order.\n"
        "Exit status: 0 when stopped or after a drop-after fault, 1 for a bad command line,\n"
        "2 for a state or log file that cannot be read or created, 3 when the terminal\n"
        "fails.\n"
        "\n";
    text += faultHelp();
    text += "\n";
    text += stateFileHelp();
    return text;
}

} // namespace kr::sim
