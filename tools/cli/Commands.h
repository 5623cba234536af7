#pragma once
#include "tools/cli/CliArgs.h"

namespace kr::cli {

class CliPrompts;

// Runs one parsed command (not --help) and returns its exit status. Messages
// go through `prompts` (standard error); results to standard output or the
// files the command names. Meter commands need a running QCoreApplication.
int runCommand(const Invocation& inv, CliPrompts& prompts);

// True, after saying so, when -o names the input file itself (under any name or link).
bool outputIsInput(const Invocation& inv, CliPrompts& prompts);

} // namespace kr::cli
