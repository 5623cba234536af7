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
bool keepInArchive(const Invocation& inv, const TFile& doc, const TArchive::Source& source, CliPrompts& prompts);
// The archive a command uses: --archive-db, else archive.sqlite in the program folder.
ArchiveLocation ArchiveLocationOf(const Invocation& inv);

// archive import PATH...: data files and folders into the readings archive.
int runArchiveImport(const Invocation& inv, CliPrompts& prompts);

// archive list, readings: the downloads and files, or the readings, the filters find.
int runArchiveList(const Invocation& inv, CliPrompts& prompts);
int runArchiveReadings(const Invocation& inv, CliPrompts& prompts);
// archive export ID -o FILE.krx, archive remove ID --yes.
int runArchiveExport(const Invocation& inv, CliPrompts& prompts);
int runArchiveRemove(const Invocation& inv, CliPrompts& prompts);
// archive job add, assign, list, remove.
int runArchiveJobAdd(const Invocation& inv, CliPrompts& prompts);
int runArchiveJobAssign(const Invocation& inv, CliPrompts& prompts);
int runArchiveJobList(const Invocation& inv, CliPrompts& prompts);
int runArchiveJobRemove(const Invocation& inv, CliPrompts& prompts);
// archive send --archive-db URL: what waits in the queue, into the team archive.
int runArchiveSend(const Invocation& inv, CliPrompts& prompts);
// archive copy --from ARCHIVE --to ARCHIVE.
int runArchiveCopy(const Invocation& inv, CliPrompts& prompts);
// archive job conditions NAME [--temp T --rh H ...]: add the site's air, or list it.
int runArchiveJobConditions(const Invocation& inv, CliPrompts& prompts);

} // namespace kr::cli
