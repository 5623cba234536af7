#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>

#include "platform/PortAccess.h"

class QSerialPort;
class QSocketNotifier;

namespace kr {

// The serial connection as the link sees it: open by port number, close,
// queue output, and received bytes as a signal in arrival order. The real one
// drives a serial port; tests put an in-memory one in its place.
class SerialTransport : public QObject {
    Q_OBJECT
public:
    // Input and output buffers of the port.
    static constexpr qint64 BufferSize = 4096;

    using QObject::QObject;

    // Opens port `number` (1 is the first) at 4800 baud, 8 data bits, no
    // parity, 1 stop bit, no flow control, DTR and RTS raised. An open port is
    // closed first. False on failure, with errorString() telling why.
    virtual bool open(int number) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The number last given to open(); 0 before.
    virtual int number() const = 0;
    // Queues the bytes and returns at once. False, with nothing queued, when
    // the port is closed or the bytes would not fit in the output buffer.
    virtual bool write(const QByteArray& bytes) = 0;
    // Hands queued bytes to the line now rather than at the next pass of the
    // event loop, without blocking: paced output leaves when it is sent.
    virtual void flush() {}
    // Why the last open or write failed, or why the line was lost.
    virtual QString errorString() const = 0;
    // The kind of the last failure, for callers that treat kinds apart (a
    // port in use is skipped when looking for the meter).
    virtual PortProblem problem() const { return PortProblem::Other; }

signals:
    void received(const QByteArray& bytes);
    // The line went away under an open port (cable pulled, device gone). The
    // port is closed by then; emitted once per loss.
    void lineLost(const QString& reason);
};

// The transport on a real serial port (or a pseudo-terminal standing in for one).
class QtSerialTransport final : public SerialTransport {
    Q_OBJECT
public:
    explicit QtSerialTransport(QObject* parent = nullptr);
    ~QtSerialTransport() override;

    bool open(int number) override;
    void close() override;
    bool isOpen() const override;
    int number() const override { return portNumber; }
    bool write(const QByteArray& bytes) override;
    void flush() override;
    QString errorString() const override { return error; }
    PortProblem problem() const override { return lastProblem; }
    // Bytes queued but not yet written to the line.
    qint64 pendingOutput() const;

private:
    void onReadyRead();
    void onError(int code);
    void closeAfterLoss(quint64 openCount);
    void resumeWhenWritable();
    bool fail(PortProblem kind, const QString& detail);

    QSerialPort* port;
    QSocketNotifier* resume = nullptr;  // while the line refuses bytes; see resumeWhenWritable
    PortClaim claim;   // held exactly while the port is open
    int portNumber = 0;
    QString error;
    PortProblem lastProblem = PortProblem::None;
    bool opening = false;
    bool lost = false;
    quint64 opens = 0;
};

} // namespace kr
