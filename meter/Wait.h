#pragma once
#include <QElapsedTimer>
#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/PreciseWakeups.h"

namespace kr {

// Milliseconds from a monotonic clock: the tick count that paced waits use.
std::int64_t TickCount();

// Lets pending events run until done() holds or timeoutMs milliseconds have
// passed (a negative timeout waits for done() alone). The thread sleeps
// between events; a timer wakes it at the deadline. Returns done().
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = -1);

// Lets pending events run until the tick count is more than ms above its
// value at the call.
void WaitFor(int ms);

// Paces bytes sent one after another: WaitPast lets events run until more
// than its gap has passed since the last Sent(), by the monotonic clock at
// nanosecond resolution, since timers count whole milliseconds.
class TPacer {
public:
    TPacer() { sinceSend.start(); }
    void Sent() { sinceSend.start(); }
    void WaitPast(std::chrono::nanoseconds gap);

private:
    QElapsedTimer sinceSend;
    PreciseWakeups precise;
};

} // namespace kr
