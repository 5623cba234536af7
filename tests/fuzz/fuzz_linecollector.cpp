// The line collector fed any byte stream in chunks of any size: no line it
// hands on is longer than the stream, holds a zero byte or a carriage return
// before its end, and together they are never longer than the stream.
#include <string_view>

#include "meter/LineCollector.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace kr;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    // The first byte sets the chunk sizes, the second what the handler and
    // the clock do; the rest is the stream.
    const unsigned largest = data[0];
    const std::uint8_t mode = data[1];
    const std::string_view stream(reinterpret_cast<const char*>(data) + 2, size - 2);

    std::int64_t now = 0;
    TLineCollector collector([&now] { return now; });
    std::uint32_t state = 2463534242u ^ (largest << 8) ^ mode;
    std::size_t fed = 0;
    auto feedNext = [&] {
        if (fed == stream.size())
            return;
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const std::size_t length = std::min<std::size_t>(1 + state % (largest + 1), stream.size() - fed);
        const std::string_view chunk = stream.substr(fed, length);
        fed += length;
        collector.feed(chunk);
    };

    std::size_t lines = 0;
    std::size_t handedOn = 0;
    collector.setOnLine([&](const std::string& line) {
        FUZZ_CHECK(line.size() <= stream.size());
        FUZZ_CHECK(line.find('\0') == std::string::npos);
        FUZZ_CHECK(line.find('\r') == std::string::npos || line.find('\r') + 1 == line.size());
        handedOn += line.size();
        FUZZ_CHECK(handedOn <= stream.size());
        ++lines;
        // A handler may disarm the collector, or let more bytes arrive.
        if ((mode & 1) && lines % 3 == 0)
            collector.Disarm();
        if (mode & 2)
            feedNext();
    });

    collector.Arm();
    while (fed < stream.size()) {
        feedNext();
        FUZZ_CHECK(collector.pending() <= stream.size());
        if (mode & 4)
            now += TLineCollector::SelfDisarmMs / 3;
        if ((mode & 8) && !collector.Enabled())
            collector.Arm();
    }
    return 0;
}
