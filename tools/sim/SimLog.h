#pragma once
#include <cstdio>
#include <mutex>
#include <string>

namespace kr::sim {

// Milliseconds on the monotonic clock since the simulator started.
double elapsedMs();

// The --log file: one event a line, "<ms since start> <what> <details>", flushed at once so
// a test can read it while the simulator runs. Both threads write to it.
class SimLog {
public:
    SimLog() = default;
    ~SimLog();
    SimLog(const SimLog&) = delete;
    SimLog& operator=(const SimLog&) = delete;

    bool open(const std::string& path, std::string& error);
    bool isOpen() const { return file != nullptr; }
    // Every byte of one read, each on its own line with the time of the read.
    void received(const char* bytes, std::size_t count, double atMs);
    void event(const std::string& text);

private:
    std::mutex lock;
    std::FILE* file = nullptr;
};

} // namespace kr::sim
