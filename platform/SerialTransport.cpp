#include "platform/SerialTransport.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QSocketNotifier>
#include <cerrno>

#include "platform/PortMap.h"

namespace kr {

QtSerialTransport::QtSerialTransport(QObject* parent)
    : SerialTransport(parent), port(new QSerialPort(this))
{
    connect(port, &QSerialPort::readyRead, this, &QtSerialTransport::onReadyRead);
    connect(port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError code) { onError(int(code)); });
}

QtSerialTransport::~QtSerialTransport() { close(); }

bool QtSerialTransport::open(int number)
{
    close();
    portNumber = number;
    lost = false;
    const QString device = PortMap::deviceFor(number);
    if (device.isEmpty()) {
        lastProblem = PortProblem::Missing;
        error = QStringLiteral("Serial port %1 does not exist.").arg(PortMap::displayName(number));
        return false;
    }
    // Ours before a byte moves: a second opener, by whatever path, stops here.
    QString why;
    if (const PortProblem refused = claim.take(device, why); refused != PortProblem::None)
        return fail(refused, why);
    port->setPortName(device);
    port->setBaudRate(4800);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    port->setReadBufferSize(BufferSize);

    opening = true;
    const bool ok = port->open(QIODevice::ReadWrite);
    if (!ok) {
        opening = false;
        claim.release();
        const QSerialPort::SerialPortError code = port->error();
        const QString detail = port->errorString();
        port->clearError();
        if (code == QSerialPort::DeviceNotFoundError)
            return fail(PortProblem::Missing, detail);
        if (code == QSerialPort::PermissionError) {
            // The same error stands for a lock another program holds and for
            // a device file this user may not open; the file's mode tells which.
#ifdef Q_OS_WIN
            return fail(PortProblem::InUse, detail);
#else
            return fail(portAccessDenied(device) ? PortProblem::NoPermission : PortProblem::InUse, detail);
#endif
        }
        return fail(PortProblem::Other, detail);
    }
    claim.shutOthersOut();
    // A pseudo-terminal refuses the modem lines; the port works all the same.
    port->setDataTerminalReady(true);
    port->setRequestToSend(true);
    // Whatever the far end sent before we opened is not part of any reply.
    port->clear();
    port->clearError();
    opening = false;
    ++opens;
    error.clear();
    lastProblem = PortProblem::None;
    return true;
}

bool QtSerialTransport::fail(PortProblem kind, const QString& detail)
{
    const QString device = PortMap::deviceFor(portNumber);
    lastProblem = kind;
    error = portFailureText({kind, PortMap::describe(portNumber), device,
                             kind == PortProblem::NoPermission ? portGroup(device) : QString(), detail});
    return false;
}

void QtSerialTransport::close()
{
    delete resume;
    resume = nullptr;
    if (port->isOpen())
        port->close();
    port->clearError();
    claim.release();
}

bool QtSerialTransport::isOpen() const { return port->isOpen(); }

void QtSerialTransport::flush()
{
    if (port->isOpen())
        port->flush();
}

qint64 QtSerialTransport::pendingOutput() const { return port->isOpen() ? port->bytesToWrite() : 0; }

bool QtSerialTransport::write(const QByteArray& bytes)
{
    if (!port->isOpen()) {
        error = QStringLiteral("Serial port %1 is not open.").arg(PortMap::describe(portNumber));
        return false;
    }
    if (port->bytesToWrite() + bytes.size() > BufferSize) {
        error = QStringLiteral("The output buffer of serial port %1 is full.").arg(PortMap::describe(portNumber));
        return false;
    }
    if (bytes.isEmpty())
        return true;
    if (port->write(bytes) != bytes.size()) {
        error = QStringLiteral("Cannot write to serial port %1: %2").arg(PortMap::describe(portNumber), port->errorString());
        port->clearError();
        return false;
    }
    return true;
}

void QtSerialTransport::onReadyRead()
{
    const QByteArray bytes = port->readAll();
    if (!bytes.isEmpty())
        emit received(bytes);
}

void QtSerialTransport::onError(int code)
{
    // A line held by the far end (XOFF) or a full driver queue refuses a flush
    // for now; the port keeps the bytes and sends them when the line moves.
    // errno may be gone by now; the port's text of it is not.
    const QString why = port->errorString();
    const auto kind = QSerialPort::SerialPortError(code);
    if ((kind == QSerialPort::WriteError || kind == QSerialPort::ResourceError)
        && (why == qt_error_string(EAGAIN) || why == qt_error_string(EWOULDBLOCK))) {
        port->clearError();
        resumeWhenWritable();
        return;
    }
    switch (QSerialPort::SerialPortError(code)) {
    case QSerialPort::ResourceError:
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        break;
    default:
        // Open failures are reported by open(); refused modem lines and
        // timeouts do not stop the port.
        return;
    }
    if (opening || lost || !port->isOpen())
        return;
    lost = true;
    // A pulled adapter takes its device file with it; a dead far end does not.
    const QString device = PortMap::deviceFor(portNumber);
    lastProblem = QFileInfo::exists(device) ? PortProblem::LineLost : PortProblem::Unplugged;
    error = portFailureText({lastProblem, PortMap::describe(portNumber), device, {}, port->errorString()});
    // The error comes from inside the port's own notifier: close once it has returned.
    const quint64 current = opens;
    QMetaObject::invokeMethod(this, [this, current] { closeAfterLoss(current); }, Qt::QueuedConnection);
}

// The port gives up on its queue after a refused write; wake it once the line
// takes bytes again, so what is queued still goes, without polling.
void QtSerialTransport::resumeWhenWritable()
{
    if (!resume) {
        resume = new QSocketNotifier(port->handle(), QSocketNotifier::Write, this);
        connect(resume, &QSocketNotifier::activated, this, [this] {
            resume->setEnabled(false);
            if (port->isOpen() && port->bytesToWrite() > 0)
                port->flush();
        });
    }
    resume->setEnabled(true);
}

void QtSerialTransport::closeAfterLoss(quint64 openCount)
{
    if (openCount != opens || !lost)
        return;
    close();
    emit lineLost(error);
}

} // namespace kr
