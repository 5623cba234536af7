#include "meter/Wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace kr {

std::int64_t TickCount()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    QElapsedTimer clock;
    clock.start();
    // Its only job is to wake the sleeping event dispatcher at the deadline.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    while (!done()) {
        if (timeoutMs >= 0) {
            const qint64 left = timeoutMs - clock.elapsed();
            if (left <= 0)
                return false;
            // A timer may wake us a hair early: arm it again for what is left.
            if (!wake.isActive())
                wake.start(int(left));
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void WaitFor(int ms)
{
    const std::int64_t start = TickCount();
    WaitUntil([&] { return TickCount() - start > ms; }, ms + 1);
    // The deadline above is measured by another clock; make sure of ours.
    while (TickCount() - start <= ms)
        WaitUntil([&] { return TickCount() - start > ms; }, 1);
}

void TPacer::WaitPast(std::chrono::nanoseconds gap)
{
    auto left = [&] { return gap.count() - sinceSend.nsecsElapsed(); };
    // A timer may wake us a hair early: wait again for what is left.
    while (left() >= 0)
        WaitUntil([&] { return left() < 0; }, int(left() / 1000000 + 1));
}

} // namespace kr
