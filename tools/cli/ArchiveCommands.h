#pragma once

namespace kr::cli {

struct Invocation;
class CliPrompts;

// archive import PATH...: data files and folders into the readings archive.
int runArchiveImport(const Invocation& inv, CliPrompts& prompts);

} // namespace kr::cli
