#include "tools/sim/Replies.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kr::sim {

namespace {

// Noise over the fields a reader converts first: file number, day and month.
void garbleLine(std::string& line)
{
    static const struct {
        std::size_t column;
        char noise;
    } Noise[] = {{1, '#'}, {2, '\xB0'}, {7, '?'}, {8, 'l'}, {10, '\xA7'}, {11, 'x'}, {12, '~'}};
    for (const auto& n : Noise)
        if (n.column <= line.size())
            line[n.column - 1] = n.noise;
}

void applyContentFaults(Command command, const std::vector<Fault>& faults,
                        std::vector<std::string>& lines, std::vector<std::string>& notes)
{
    if (const Fault* f = findFault(faults, FaultKind::SerialRefused, command)) {
        lines.front() = "ERR";
        notes.push_back(f->faultText);
    }
    if (const Fault* f = findFault(faults, FaultKind::FewerLines, command)) {
        std::size_t drop = std::min(static_cast<std::size_t>(f->value), lines.size() - 1);
        lines.resize(lines.size() - drop);
        notes.push_back(f->faultText);
    }
    if (const Fault* f = findFault(faults, FaultKind::MoreLines, command)) {
        std::size_t body = lines.size() - 1;
        for (std::size_t i = 0; body > 0 && i < static_cast<std::size_t>(f->value); ++i)
            lines.push_back(lines[1 + i % body]);
        notes.push_back(f->faultText);
    }
    for (FaultKind kind : {FaultKind::ShortLibrary, FaultKind::ShortSummary})
        if (const Fault* f = findFault(faults, kind, command)) {
            if (lines.size() > static_cast<std::size_t>(f->value))
                lines.resize(static_cast<std::size_t>(f->value));
            notes.push_back(f->faultText);
        }
    // A fault is noted only where it changed the reply: the log tells what
    // the program was really sent (an empty meter's records have no line 2).
    if (const Fault* f = findFault(faults, FaultKind::Garble, command)) {
        if (static_cast<std::size_t>(f->value) <= lines.size()) {
            garbleLine(lines[static_cast<std::size_t>(f->value) - 1]);
            notes.push_back(f->faultText);
        }
    }
    if (const Fault* f = findFault(faults, FaultKind::Nul, command)) {
        if (static_cast<std::size_t>(f->value) <= lines.size()) {
            std::string& line = lines[static_cast<std::size_t>(f->value) - 1];
            line.insert(line.size() / 2, 1, '\0');
            notes.push_back(f->faultText);
        }
    }
}

} // namespace

std::size_t Transmission::size() const
{
    std::size_t n = 0;
    for (const Segment& s : segments)
        n += s.bytes.size();
    return n;
}

std::string Transmission::bytes() const
{
    std::string all;
    for (const Segment& s : segments)
        all += s.bytes;
    return all;
}

std::vector<std::string> replyLines(Command command, const MeterState& state)
{
    std::vector<std::string> lines{commandText(command)};
    switch (command) {
    case Command::Library:
        lines.insert(lines.end(), state.species.begin(), state.species.end());
        lines.insert(lines.end(), state.wallRoof.begin(), state.wallRoof.end());
        break;
    case Command::Summary:
        // One line per meter file; characters 4 and 5 hold its count.
        for (int file = 1; file <= 25; ++file) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "%02d:%02d", file, state.countInFile(file) % 100);
            lines.push_back(buf);
        }
        break;
    case Command::Records:
        for (const SimReading& r : state.readings)
            for (int i = 0; i < (r.sentTwice ? 2 : 1); ++i)
                lines.push_back(recordLine(r));
        break;
    case Command::Serial:
        lines.push_back(state.serial);
        break;
    case Command::Erase:
    case Command::Upload:
        break;
    }
    return lines;
}

Transmission buildReply(Command command, const MeterState& state, const std::vector<Fault>& faults,
                        int latencyMs, double msPerChar)
{
    Transmission t;
    std::vector<std::string> lines = replyLines(command, state);
    applyContentFaults(command, faults, lines, t.notes);
    t.lineCount = static_cast<int>(lines.size());

    std::string ending = "\r";
    if (findFault(faults, FaultKind::CrLf, command)) {
        ending = "\r\n";
        t.notes.push_back("crlf");
    }
    if (const Fault* f = findFault(faults, FaultKind::NoCr, command)) {
        ending.erase(0, 1);
        t.notes.push_back(f->faultText);
    }
    const Fault* cut = findFault(faults, FaultKind::Cut, command);
    if (cut) {
        if (static_cast<std::size_t>(cut->value) <= lines.size())
            t.notes.push_back(cut->faultText);
        else
            cut = nullptr;
    }
    const Fault* gap = findFault(faults, FaultKind::Gap, command);
    const Fault* trickle = findFault(faults, FaultKind::Trickle, command);
    if (gap)
        t.notes.push_back(gap->faultText);
    if (trickle)
        t.notes.push_back(trickle->faultText);

    for (std::size_t i = 0; i < lines.size(); ++i) {
        int pause = i == 0 ? latencyMs : 0;
        // A trickle times line ends: each CR comes its interval after the one before,
        // so the line's own characters take their share of the interval.
        if (trickle && i > 0) {
            const double lineMs = double(lines[i].size() + ending.size()) * msPerChar;
            pause += std::max(0, trickle->value - static_cast<int>(std::lround(lineMs)));
        }
        if (gap && static_cast<std::size_t>(gap->line) == i)
            pause += gap->value;
        if (t.segments.empty() || pause > 0)
            t.segments.push_back(Segment{pause, {}});
        if (cut && i + 1 == static_cast<std::size_t>(cut->value)) {
            t.segments.back().bytes += lines[i].substr(0, lines[i].size() / 2);
            break;
        }
        t.segments.back().bytes += lines[i] + ending;
    }
    if (const Fault* f = findFault(faults, FaultKind::Silent, command)) {
        t.segments.clear();
        t.notes.push_back(f->faultText);
    }
    if (const Fault* f = findFault(faults, FaultKind::DropAfter, command)) {
        if (static_cast<std::size_t>(f->value) <= t.size()) {
            t.dropAfter = static_cast<std::size_t>(f->value);
            t.notes.push_back(f->faultText);
        }
    }
    return t;
}

} // namespace kr::sim
