#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "core/FileReading.h"

namespace kr {

// How a whole-file write went. The target is untouched unless the result is Ok.
enum class WriteResult { Ok, CreateFailed, WriteFailed, RenameFailed };

// Writes bytes to a temporary file in the target's folder, flushes it to disk,
// then renames it over the target. On any failure the temporary file is
// removed and the old target (if any) stays exactly as it was.
WriteResult writeFileAtomically(const std::string& path, std::string_view bytes);

// Test seam: the next call of writeFileAtomically fails at the given step
// (CreateFailed, WriteFailed or RenameFailed) without touching the target.
// Ok clears a pending fault.
void failNextAtomicWrite(WriteResult step);

// readRegularFile (core/FileReading.h) for callers that need only yes or no:
// false when the file is missing, not a regular file, unreadable or (second
// form) holds more than maxBytes.
bool readWholeFile(const std::string& path, std::string& bytes);
bool readWholeFile(const std::string& path, std::string& bytes, std::size_t maxBytes);

} // namespace kr
