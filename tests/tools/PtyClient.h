#pragma once
#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace kr::test {

// The program's end of the simulator's pseudo-terminal, opened with plain POSIX calls.
// Bytes are collected with their arrival times; every wait is an event loop.
class PtyClient : public QObject {
    Q_OBJECT
public:
    PtyClient() { clock.start(); }
    ~PtyClient() override;

    bool open(const QString& device);
    void close();
    bool send(const QByteArray& bytes);

    // Waits until at least `count` bytes are in; false on timeout or hang-up.
    bool waitForBytes(qsizetype count, int timeoutMs);
    // Waits until nothing has arrived for `quietMs`, at most `maxMs` in all.
    void waitQuiet(int quietMs, int maxMs);
    // Waits until the far end closes the terminal.
    bool waitForHangup(int timeoutMs);

    const QByteArray& data() const { return bytes; }
    // Milliseconds (on this client's clock) at which byte i arrived.
    double arrivalMs(qsizetype i) const { return times.at(i); }
    double nowMs() const { return double(clock.nsecsElapsed()) / 1e6; }
    int chunks() const { return reads; }
    bool hungUp() const { return hangup; }
    // The bytes cut after each CR, the CR kept (what the line collector would see).
    QList<QByteArray> lines() const;
    void clear();

signals:
    void arrived();

private:
    void readAvailable();

    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    QElapsedTimer clock;
    QByteArray bytes;
    QList<double> times;
    int reads = 0;
    bool hangup = false;
};

} // namespace kr::test
