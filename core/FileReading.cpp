#include "core/FileReading.h"

#include <cerrno>
#include <filesystem>
#include <fstream>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kr {

namespace {

// Appends the next piece of the file; false once more than `maxBytes` would be held.
bool appendCapped(std::string& data, const char* piece, std::size_t n, std::size_t maxBytes)
{
    if (n > maxBytes - data.size())
        return false;
    data.append(piece, n);
    return true;
}

#if defined(_WIN32)

ReadResult readOpened(const std::string& path, std::string& data, std::size_t maxBytes)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found)
        return ReadResult::Missing;
    if (ec)
        return ReadResult::Failed;
    if (status.type() != std::filesystem::file_type::regular)
        return ReadResult::NotAFile;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return ReadResult::Failed;
    char buffer[65536];
    while (in) {
        in.read(buffer, sizeof buffer);
        if (!appendCapped(data, buffer, static_cast<std::size_t>(in.gcount()), maxBytes))
            return ReadResult::TooLarge;
    }
    return in.bad() ? ReadResult::Failed : ReadResult::Ok;
}

#else

struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

ReadResult readOpened(const std::string& path, std::string& data, std::size_t maxBytes)
{
    // Non-blocking, so that opening a pipe returns at once; what it is gets
    // checked on the open descriptor, so nothing can swap it in between.
    const Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    if (file.fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
    struct stat st {};
    if (::fstat(file.fd, &st) != 0)
        return ReadResult::Failed;
    if (!S_ISREG(st.st_mode))
        return ReadResult::NotAFile;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return ReadResult::Failed;
        if (n == 0)
            return ReadResult::Ok;
        if (!appendCapped(data, buffer, static_cast<std::size_t>(n), maxBytes))
            return ReadResult::TooLarge;
    }
}

#endif

} // namespace

ReadResult readRegularFile(const std::string& path, std::string& bytes, std::size_t maxBytes)
{
    bytes.clear();
    std::string data;
    const ReadResult result = readOpened(path, data, maxBytes);
    if (result == ReadResult::Ok)
        bytes = std::move(data);
    return result;
}

const char* cannotOpenReason(ReadResult result)
{
    switch (result) {
    case ReadResult::Ok: break;
    case ReadResult::Missing: return ": it does not exist.";
    case ReadResult::NotAFile: return ": it is not a regular file.";
    case ReadResult::TooLarge: return ": it is too large.";
    case ReadResult::Failed: return ": it cannot be read.";
    }
    return "";
}

} // namespace kr
