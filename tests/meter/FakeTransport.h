#pragma once
#include <QByteArray>
#include <QList>
#include <QString>

#include "platform/SerialTransport.h"

namespace kr::test {

// An in-memory serial port: records what is written, delivers what the test
// gives it, and fails on request.
class FakeTransport final : public SerialTransport {
public:
    bool refuseOpen = false;
    QString openError = QStringLiteral("Cannot open serial port: No such file or directory");
    qint64 pendingOutput = 0;     // bytes still waiting to go out; nothing drains them
    QByteArray written;
    QList<int> opened;            // every number open() was called with

    bool open(int n) override
    {
        opened.append(n);
        portNumber = n;
        if (refuseOpen) {
            open_ = false;
            error = openError;
            return false;
        }
        open_ = true;
        return true;
    }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    int number() const override { return portNumber; }
    bool write(const QByteArray& bytes) override
    {
        if (!open_) {
            error = QStringLiteral("not open");
            return false;
        }
        if (pendingOutput + bytes.size() > BufferSize) {
            error = QStringLiteral("The output buffer is full.");
            return false;
        }
        written += bytes;
        pendingOutput += bytes.size();
        return true;
    }
    QString errorString() const override { return error; }

    void deliver(const QByteArray& bytes) { emit received(bytes); }
    void pull()
    {
        open_ = false;
        error = QStringLiteral("line lost");
        emit lineLost(error);
    }

private:
    bool open_ = false;
    int portNumber = 0;
    QString error;
};

} // namespace kr::test
