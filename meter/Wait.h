#pragma once
#include <cstdint>
#include <functional>

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

} // namespace kr
