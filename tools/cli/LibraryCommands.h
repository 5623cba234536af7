#pragma once
#include "tools/cli/CliArgs.h"

namespace kr::cli {

class CliPrompts;

// The species library: into and out of library list files, on the editor's
// exchanges and file format.
int runLibraryGet(const Invocation& inv, CliPrompts& prompts);
int runLibraryPut(const Invocation& inv, CliPrompts& prompts);
int runLibraryShow(const Invocation& inv, CliPrompts& prompts);
int runPrintLibrary(const Invocation& inv, CliPrompts& prompts);

} // namespace kr::cli
