#pragma once
#include <optional>
#include <string>
#include <vector>

#include "tools/sim/Faults.h"

namespace kr::sim {

struct SimOptions {
    std::string statePath = "kr-meter-state.txt";
    std::string linkPath;
    std::string logPath;
    bool fast = false;
    int latencyMs = 0;
    bool reset = false;
    bool initEmpty = false;
    bool watchStdin = false;
    std::vector<Fault> faults;
    bool help = false;
    bool version = false;
};

// Parses the command line (argv[0] excluded); on failure sets `error`.
std::optional<SimOptions> parseOptions(const std::vector<std::string>& args, std::string& error);

std::string helpText();

} // namespace kr::sim
