#include "platform/Interrupt.h"

#include <QSocketNotifier>
#include <csignal>

#ifdef Q_OS_WIN
#include <atomic>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kr {

namespace {

// The watch that hears interrupts now; the ones it replaced wait behind it.
InterruptWatch* newest = nullptr;

#ifdef Q_OS_WIN
std::atomic<bool> pending = false;
#else
// A pipe the handler writes one byte into per interrupt; the event loop
// watches its other end. Both ends stay open for the life of the process: a
// handler still running on another thread as a watch ends must never write to
// a descriptor that was closed, or reused for something else.
int wakeRead = -1;
int wakeWrite = -1;

bool openWakePipe()
{
    if (wakeRead >= 0)
        return true;
    int ends[2] = {-1, -1};
    if (::pipe(ends) != 0)
        return false;
    for (const int fd : ends) {
        // Never block: not the handler on a full pipe, nor the drain on an empty one.
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    wakeRead = ends[0];
    wakeWrite = ends[1];
    return true;
}

void drainWakePipe()
{
    char bytes[64];
    ssize_t got = 0;
    do
        got = ::read(wakeRead, bytes, sizeof bytes);
    while (got > 0 || (got < 0 && errno == EINTR));
}
#endif

} // namespace

} // namespace kr

#ifdef Q_OS_WIN
// Windows runs a Ctrl+C handler on a thread of its own and resets it to the
// default first; posting to the event loop is safe from there.
extern "C" void krOnInterrupt(int)
{
    std::signal(SIGINT, krOnInterrupt);
    if (!kr::pending.exchange(true) && kr::newest)
        QMetaObject::invokeMethod(kr::newest, "deliver", Qt::QueuedConnection);
}

namespace kr {

struct InterruptWatch::Previous {
    void (*handler)(int) = SIG_DFL;
};

InterruptWatch::InterruptWatch(QObject* parent) : QObject(parent), previous(std::make_unique<Previous>())
{
    outer = newest;
    newest = this;
    previous->handler = std::signal(SIGINT, krOnInterrupt);
}

InterruptWatch::~InterruptWatch()
{
    std::signal(SIGINT, previous->handler);
    newest = outer;
}

void InterruptWatch::deliver()
{
    pending = false;
    interruptedOnce = true;
    emit interrupted();
}

} // namespace kr

#else
// Async-signal-safe: write() only, and errno left as the interrupted code had it.
extern "C" void krOnInterrupt(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe holds interrupts not yet delivered: this one joins them.
    [[maybe_unused]] const ssize_t written = ::write(kr::wakeWrite, &byte, 1);
    errno = savedErrno;
}

namespace kr {

struct InterruptWatch::Previous {
    struct sigaction action {};
};

InterruptWatch::InterruptWatch(QObject* parent) : QObject(parent), previous(std::make_unique<Previous>())
{
    // Without a pipe Ctrl+C keeps its old meaning; nothing else goes wrong.
    if (!openWakePipe())
        return;
    // Bytes left by a watch that has ended are not this watch's interrupts.
    if (!newest)
        drainWakePipe();
    outer = newest;
    if (outer)
        outer->notifier->setEnabled(false);
    newest = this;
    notifier = new QSocketNotifier(wakeRead, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &InterruptWatch::deliver);

    struct sigaction action {};
    action.sa_handler = krOnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previous->action);
}

InterruptWatch::~InterruptWatch()
{
    if (!notifier)
        return;
    ::sigaction(SIGINT, &previous->action, nullptr);
    // One notifier per descriptor at a time: this one goes before the outer wakes.
    delete notifier;
    newest = outer;
    if (outer)
        outer->notifier->setEnabled(true);
}

void InterruptWatch::deliver()
{
    drainWakePipe();
    interruptedOnce = true;
    emit interrupted();
}

} // namespace kr
#endif
