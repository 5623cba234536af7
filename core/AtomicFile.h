#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "core/FileReading.h"

namespace kr {

// How a whole-file write went. The target is untouched unless the result is Ok.
enum class WriteResult {
    Ok,
    CreateFailed,
    WriteFailed,
    RenameFailed,
    NotAFile,   // a folder, device, FIFO or socket is there: refused before anything was written
};

// Writes bytes to a temporary file in the target's folder, flushes it to disk,
// then renames it over the target. On any failure the temporary file is
// removed and the old target (if any) stays exactly as it was. Through a
// symbolic link the file it names is replaced and the link kept; a target
// that is not a regular file is never replaced.
WriteResult writeFileAtomically(const std::string& path, std::string_view bytes);

// What follows "Cannot create file <name>" for a write that did not go:
// ": it is not a regular file." for NotAFile, else empty.
const char* cannotCreateReason(WriteResult result);

// True when something other than a regular file lies at path (after links):
// a folder, a device, a FIFO or a socket.
bool isNonRegularFile(const std::string& path);

// True when both paths name the same file, under any name, symbolic link or
// hard link; for a file not there yet, when both name the same place once
// links and dots in their folders are resolved.
bool sameFile(const std::string& a, const std::string& b);

// Test seam: the next call of writeFileAtomically fails at the given step
// (CreateFailed, WriteFailed or RenameFailed) without touching the target.
// Ok clears a pending fault.
void failNextAtomicWrite(WriteResult step);

// Renames a file, replacing `to`; false on failure. A step the disk fault
// seam below can fail.
bool renameFile(const std::string& from, const std::string& to);
// Creates the folder and any missing parents; true when it exists afterwards.
// Each folder made is a step the disk fault seam can fail.
bool makeFolders(const std::string& path);

// The low-level steps of the writes above.
enum class DiskOp { None, Create, Write, Sync, Close, Rename, FolderSync, MakeFolder };

// Test seam for a failing disk: counting from now, the n-th low-level step
// (each create, write(2) call, file sync, close, rename, folder sync or folder
// creation) fails as a full or broken disk would. n = 0 only counts, so a
// test can learn how many steps a clean write takes and then fail each one.
void armDiskFault(int n);
// The steps taken since armDiskFault.
int diskOpsSinceArmed();
// The kind of step the armed fault hit; None when it was not reached.
DiskOp failedDiskOp();

// readRegularFile (core/FileReading.h) for callers that need only yes or no:
// false when the file is missing, not a regular file, unreadable or (second
// form) holds more than maxBytes.
bool readWholeFile(const std::string& path, std::string& bytes);
bool readWholeFile(const std::string& path, std::string& bytes, std::size_t maxBytes);

} // namespace kr
