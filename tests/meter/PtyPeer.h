#pragma once
#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <fcntl.h>
#include <memory>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace kr::test {

// The far end of a pseudo-terminal, for tests of the real transport without a
// simulated meter: collects what the program writes, writes what the test says.
class PtyPeer : public QObject {
public:
    PtyPeer()
    {
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            return;
        termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        path = QString::fromLocal8Bit(::ptsname(master));
        notifier = std::make_unique<QSocketNotifier>(master, QSocketNotifier::Read);
        connect(notifier.get(), &QSocketNotifier::activated, this, [this] { drain(); });
    }
    ~PtyPeer() override { pull(); }

    bool ok() const { return master >= 0; }

    void send(const QByteArray& bytes)
    {
        qsizetype at = 0;
        while (at < bytes.size()) {
            const ssize_t n = ::write(master, bytes.constData() + at, size_t(bytes.size() - at));
            if (n <= 0)
                return;
            at += n;
        }
    }

    // Closes our end, as when the cable is pulled.
    void pull()
    {
        notifier.reset();
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
        master = slave = -1;
    }

    QString path;
    QByteArray got;

private:
    void drain()
    {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, n);
        }
    }

    int master = -1;
    int slave = -1;   // kept open so the master never reads EIO when the program closes
    std::unique_ptr<QSocketNotifier> notifier;
};

} // namespace kr::test
