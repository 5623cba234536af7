#pragma once

namespace kr {

// While it lives, the calling thread's timed waits end as close to their
// deadline as the system can make them. Linux otherwise lets a sleeping
// thread wake up to 50 microseconds late to save power, which adds up over
// hundreds of paced characters. Elsewhere it changes nothing.
class PreciseWakeups {
public:
    PreciseWakeups();
    ~PreciseWakeups();
    PreciseWakeups(const PreciseWakeups&) = delete;
    PreciseWakeups& operator=(const PreciseWakeups&) = delete;

private:
    long saved = -1;
};

} // namespace kr
