#pragma once
// What every fuzz target shares: an aborting property check (so libFuzzer and
// the corpus replay both stop on it), the input as bytes, and scratch files
// for readers that take only a path.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#define FUZZ_CHECK(cond) ((cond) ? void(0) : ::kr::fuzz::broken(#cond, __FILE__, __LINE__))

namespace kr::fuzz {

[[noreturn]] inline void broken(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
    std::abort();
}

inline std::string bytes(const std::uint8_t* data, std::size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

// One folder per process, removed when the process ends normally.
class ScratchFolder {
public:
    ScratchFolder()
        : path(std::filesystem::temp_directory_path() / ("kr-fuzz-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(path);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path path;
};

inline const std::filesystem::path& scratchFolder()
{
    static const ScratchFolder folder;
    return folder.path;
}

// A file of that name in the process's scratch folder, reused for every input.
inline std::string scratchPath(const char* name) { return (scratchFolder() / name).string(); }

inline void writeScratch(const std::string& path, std::string_view text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), std::streamsize(text.size()));
    out.close();
    FUZZ_CHECK(out.good());
}

// Pieces of the text after each separator, the separator kept at the piece's end.
inline std::vector<std::string> splitAfter(std::string_view text, char separator)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t stop = text.find(separator, start);
        const std::size_t end = stop == std::string_view::npos ? text.size() : stop + 1;
        pieces.emplace_back(text.substr(start, end - start));
        start = end;
    }
    return pieces;
}

} // namespace kr::fuzz
