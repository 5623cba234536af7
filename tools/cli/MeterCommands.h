#pragma once
#include "tools/cli/CliArgs.h"

namespace kr::cli {

class CliPrompts;

// The commands that talk to the meter, on the window program's link and exchanges.
int runDownload(const Invocation& inv, CliPrompts& prompts);
int runErase(const Invocation& inv, CliPrompts& prompts);
int runSerial(const Invocation& inv, CliPrompts& prompts);
// The serial ports with their devices; with --probe, which one a KR answers on.
int runPorts(const Invocation& inv, CliPrompts& prompts);

} // namespace kr::cli
