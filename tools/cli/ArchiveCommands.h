#pragma once

#include "archive/Archive.h"

namespace kr {
class TFile;
}

namespace kr::cli {

struct Invocation;
class CliPrompts;

// Keeps what a download or an erase read in the archive (--archive); says
// why not and returns false when the archive could not take it.
bool keepInArchive(const TFile& doc, const TArchive::Source& source, CliPrompts& prompts);

// archive import PATH...: data files and folders into the readings archive.
int runArchiveImport(const Invocation& inv, CliPrompts& prompts);

} // namespace kr::cli
