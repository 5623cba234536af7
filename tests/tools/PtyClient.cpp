#include "tests/tools/PtyClient.h"

#include <QEventLoop>
#include <QTimer>
#include <cerrno>
#include <functional>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace kr::test {

PtyClient::~PtyClient()
{
    close();
}

bool PtyClient::open(const QString& device)
{
    fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &PtyClient::readAvailable);
    return true;
}

void PtyClient::close()
{
    notifier.reset();
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool PtyClient::send(const QByteArray& data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

void PtyClient::readAvailable()
{
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            const double at = nowMs();
            bytes.append(buf, n);
            for (ssize_t i = 0; i < n; ++i)
                times.append(at);
            ++reads;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            break;
        // EIO (or end of file): the far end closed the terminal.
        hangup = true;
        notifier->setEnabled(false);
        break;
    }
    emit arrived();
}

namespace {

bool runUntil(PtyClient* source, int timeoutMs, const std::function<bool()>& done)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(source, &PtyClient::arrived, &loop, &QEventLoop::quit);
    limit.start(timeoutMs);
    while (!done() && limit.isActive())
        loop.exec();
    return done();
}

} // namespace

bool PtyClient::waitForBytes(qsizetype count, int timeoutMs)
{
    return runUntil(this, timeoutMs, [&] { return bytes.size() >= count || hangup; }) && bytes.size() >= count;
}

bool PtyClient::waitForHangup(int timeoutMs)
{
    return runUntil(this, timeoutMs, [&] { return hangup; });
}

void PtyClient::waitQuiet(int quietMs, int maxMs)
{
    QEventLoop loop;
    QTimer quiet, limit;
    quiet.setSingleShot(true);
    limit.setSingleShot(true);
    connect(&quiet, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    // Like the program's quiet timer: every arrival starts the interval again.
    connect(this, &PtyClient::arrived, &quiet, [&] { quiet.start(quietMs); });
    quiet.start(quietMs);
    limit.start(maxMs);
    loop.exec();
}

QList<QByteArray> PtyClient::lines() const
{
    QList<QByteArray> out;
    QByteArray current;
    for (char c : bytes) {
        current += c;
        if (c == '\r') {
            out << current;
            current.clear();
        }
    }
    if (!current.isEmpty())
        out << current;
    return out;
}

void PtyClient::clear()
{
    bytes.clear();
    times.clear();
    reads = 0;
}

} // namespace kr::test
