#include "tools/sim/CommandReader.h"

#include "tools/sim/MeterState.h"

namespace kr::sim {

std::optional<CommandReader::Received> CommandReader::feed(char byte)
{
    switch (state) {
    case State::Upload:
        upload += byte;
        if (upload.size() == static_cast<std::size_t>(MeterState::UploadLength)) {
            state = State::Idle;
            Received r{Command::Upload, std::move(upload)};
            upload.clear();
            return r;
        }
        return std::nullopt;
    case State::DollarStar:
        state = byte == '$' ? State::Dollar : State::Idle;
        if (byte == '#')
            return Received{Command::Erase, {}};
        return std::nullopt;
    case State::Dollar:
        state = State::Idle;
        switch (byte) {
        case '2': return Received{Command::Library, {}};
        case '3': return Received{Command::Summary, {}};
        case '4': return Received{Command::Records, {}};
        case '5': return Received{Command::Serial, {}};
        case '6':
            state = State::Upload;
            upload.clear();
            return std::nullopt;
        case '*': state = State::DollarStar; return std::nullopt;
        case '$': state = State::Dollar; return std::nullopt;
        default: return std::nullopt;
        }
    case State::Idle:
        if (byte == '$')
            state = State::Dollar;
        return std::nullopt;
    }
    return std::nullopt;
}

std::size_t CommandReader::abandonUpload()
{
    std::size_t had = upload.size();
    upload.clear();
    if (state == State::Upload)
        state = State::Idle;
    return had;
}

} // namespace kr::sim
