#pragma once
#include <cstddef>
#include <string>

namespace kr {

// How reading a whole file went. `bytes` is filled only when the result is Ok.
enum class ReadResult {
    Ok,
    Missing,    // nothing of that name
    NotAFile,   // a folder, pipe, device or socket: never opened for reading
    TooLarge,   // more than the caller's limit actually arrived
    Failed,     // could not be opened or read (permissions, I/O error)
};

// The one way the program reads a file it is given (data files, kr.ini,
// lists, catalogues). Only regular files are read, after a symbolic link;
// a pipe is never waited on. The limit counts the bytes actually read, not
// the size the file system reports, which is 0 for many special files.
ReadResult readRegularFile(const std::string& path, std::string& bytes, std::size_t maxBytes);

// What follows "Cannot open file <name>" for a read that did not go, such as
// ": it does not exist."; empty for Ok.
const char* cannotOpenReason(ReadResult result);

} // namespace kr
