#pragma once
#include <stdexcept>
#include <string>

namespace kr {

// Every failure the program reports is an exception whose what() is the
// message text shown to the user unchanged (Windows-1252 bytes).
class KrError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A text that does not convert to a number, date or time.
class ConvertError : public KrError {
public:
    using KrError::KrError;
};

// A file that cannot be opened, created, read or written.
class FileError : public KrError {
public:
    using KrError::KrError;
};

// A line or item index past the end of a list.
class ListIndexError : public KrError {
public:
    using KrError::KrError;
};

} // namespace kr
