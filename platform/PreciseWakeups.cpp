#include "platform/PreciseWakeups.h"

#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace kr {

PreciseWakeups::PreciseWakeups()
{
#if defined(__linux__)
    saved = long(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0));
    if (saved > 1)
        prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
#endif
}

PreciseWakeups::~PreciseWakeups()
{
#if defined(__linux__)
    if (saved > 1)
        prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(saved), 0, 0, 0);
#endif
}

} // namespace kr
