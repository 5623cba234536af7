#pragma once
#include <optional>
#include <string>
#include <vector>

#include "tools/sim/Faults.h"
#include "tools/sim/MeterState.h"

namespace kr::sim {

// Bytes to send after a pause of silence.
struct Segment {
    int pauseMs = 0;
    std::string bytes;
};

// One reply as it goes on the line, faults applied.
struct Transmission {
    std::vector<Segment> segments;
    std::optional<std::size_t> dropAfter;  // pull the line once this many bytes are out
    std::vector<std::string> notes;        // faults that changed the reply, for the log

    std::size_t size() const;
    std::string bytes() const;             // every segment joined
    int lineCount = 0;
};

// The lines of the sound reply, echo first, without line ends.
std::vector<std::string> replyLines(Command command, const MeterState& state);

// The reply as sent: line ends, pauses and faults. `latencyMs` delays its start;
// `msPerChar` is the line's pace (0 when unpaced), so a trickle can time line ends.
Transmission buildReply(Command command, const MeterState& state, const std::vector<Fault>& faults,
                        int latencyMs, double msPerChar = 0);

} // namespace kr::sim
