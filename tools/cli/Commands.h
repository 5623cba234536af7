#pragma once
#include "tools/cli/CliArgs.h"

namespace kr {
class TFile;
}

namespace kr::cli {

class CliPrompts;

// Runs one parsed command (not --help) and returns its exit status. Messages
// go through `prompts` (standard error); results to standard output or the
// files the command names. Meter commands need a running QCoreApplication.
int runCommand(const Invocation& inv, CliPrompts& prompts);

// True, after saying why, when -o must not be written: the input file itself,
// something other than a regular file, or one of the program's own files
// (under any name or link).
bool outputRefused(const Invocation& inv, CliPrompts& prompts);

// Reads a data file into `doc`; ExitFile after saying why it could not.
int load(kr::TFile& doc, const QString& path, CliPrompts& prompts);

} // namespace kr::cli
