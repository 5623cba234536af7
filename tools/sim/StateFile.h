#pragma once
#include <optional>
#include <string>

#include "tools/sim/MeterState.h"

namespace kr::sim {

// Reads the state file; nothing (and `error` set) when it cannot be read or parsed.
// `missing` tells the caller that the file does not exist at all.
std::optional<MeterState> loadState(const std::string& path, bool& missing, std::string& error);

// Writes the state through a temporary file in the same folder, flushed to disk and
// renamed over the target, so an interrupted write never leaves half a file.
bool saveState(const std::string& path, const MeterState& state, std::string& error);

} // namespace kr::sim
