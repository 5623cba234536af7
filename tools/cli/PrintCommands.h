#pragma once
#include "tools/cli/CliArgs.h"

namespace kr {
struct TPageSetup;
struct TPrintJob;
} // namespace kr

namespace kr::cli {

class CliPrompts;

// The page setup kr.ini gives: its margins and its print font.
TPageSetup StoredPageSetup();

// Writes the job to inv.output as a PDF file, or to standard output for "-";
// the exit status.
int WritePdfOutput(const TPrintJob& job, const Invocation& inv, CliPrompts& prompts);

// report --job NAME | FILE.krx -o OUT.pdf: the inspection report.
int runReport(const Invocation& inv, CliPrompts& prompts);

} // namespace kr::cli
