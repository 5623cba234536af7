#pragma once
#include <optional>
#include <string>

#include "tools/sim/Faults.h"

namespace kr::sim {

// Recognises commands in the bytes received. Commands carry no terminator, so each is
// known by its characters alone; bytes that start no command are ignored.
class CommandReader {
public:
    struct Received {
        Command command;
        std::string upload;  // the 608 bytes after "$6"
    };

    // Takes one byte; returns a command once its last byte has arrived.
    std::optional<Received> feed(char byte);

    bool collectingUpload() const { return state == State::Upload; }
    std::size_t uploadReceived() const { return upload.size(); }
    // Gives up a half-received upload (the sender went quiet); returns its length.
    std::size_t abandonUpload();

private:
    enum class State { Idle, Dollar, DollarStar, Upload };
    State state = State::Idle;
    std::string upload;
};

} // namespace kr::sim
