#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kr {

// Cuts the bytes received from the meter into lines. It collects only while
// armed; a line ends at a carriage return, which stays in the line, and a
// line feed straight after it is part of that line end and dropped (a meter
// that ends its lines with CR LF would otherwise start every line with a line
// feed); nothing else is trimmed and lines have no length limit. The text handed on stops at a
// zero byte. Disarming throws away the unfinished line, and bytes that arrive
// while disarmed are thrown away too. Left armed for 2184 ticks of 55 ms
// without completing a line, it disarms itself.
class TLineCollector {
public:
    // Milliseconds from a monotonic clock.
    using Clock = std::function<std::int64_t()>;
    using LineHandler = std::function<void(const std::string& line)>;

    static constexpr std::int64_t TickMs = 55;
    static constexpr std::int64_t SelfDisarmTicks = 2184;
    static constexpr std::int64_t SelfDisarmMs = TickMs * SelfDisarmTicks;

    // Created disarmed. Without a clock, the steady clock is used.
    explicit TLineCollector(Clock clock = {});

    void setOnLine(LineHandler handler) { onLine = std::move(handler); }

    // Arming starts (or restarts) the self-disarm count; an unfinished line
    // of an armed collector is kept.
    void Arm();
    void Disarm();
    void setEnabled(bool on) { on ? Arm() : Disarm(); }
    // Whether it collects now (false once the self-disarm time has run out).
    bool Enabled() const;

    // Hands on every line the bytes complete. A handler may disarm the
    // collector; the rest of the bytes are then thrown away.
    void feed(std::string_view bytes);

    // Bytes of the line being collected.
    std::size_t pending() const { return buffer.size() - head; }

private:
    bool expired() const;
    void compact();

    Clock clock;
    LineHandler onLine;
    std::string buffer;
    std::size_t head = 0;      // start of the unfinished line in buffer
    std::size_t scanned = 0;   // buffer holds no carriage return before this
    std::int64_t since = 0;    // arming or the last line
    bool afterCr = false;      // a line has just ended: a line feed now belongs to it
    bool armed = false;
    bool delivering = false;
};

} // namespace kr
