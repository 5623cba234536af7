#include "tools/sim/SimLog.h"

#include <ctime>

namespace kr::sim {

namespace {

double monotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

const double StartMs = monotonicMs();

} // namespace

double elapsedMs()
{
    return monotonicMs() - StartMs;
}

SimLog::~SimLog()
{
    if (file)
        std::fclose(file);
}

bool SimLog::open(const std::string& path, std::string& error)
{
    file = std::fopen(path.c_str(), "w");
    if (!file) {
        error = "cannot create the log file " + path;
        return false;
    }
    std::fprintf(file, "# kr-meter-sim log: <milliseconds since start> <event> <details>\n"
                       "# rx HH C: one received byte in hex and as a character ('-' when not printable)\n");
    std::fflush(file);
    return true;
}

void SimLog::received(const char* bytes, std::size_t count, double atMs)
{
    if (!file)
        return;
    std::lock_guard<std::mutex> guard(lock);
    for (std::size_t i = 0; i < count; ++i) {
        auto c = static_cast<unsigned char>(bytes[i]);
        std::fprintf(file, "%.3f rx %02X %c\n", atMs, c, c > 0x20 && c < 0x7F ? c : '-');
    }
    std::fflush(file);
}

void SimLog::event(const std::string& text)
{
    if (!file)
        return;
    std::lock_guard<std::mutex> guard(lock);
    std::fprintf(file, "%.3f %s\n", elapsedMs(), text.c_str());
    std::fflush(file);
}

} // namespace kr::sim
