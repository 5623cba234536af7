#include "platform/SerialTransport.h"

#include <QSerialPort>

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
        error = QStringLiteral("Serial port %1 does not exist.").arg(PortMap::displayName(number));
        return false;
    }
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
        error = QStringLiteral("Cannot open serial port %1: %2").arg(PortMap::describe(number), port->errorString());
        port->clearError();
        return false;
    }
    // A pseudo-terminal refuses the modem lines; the port works all the same.
    port->setDataTerminalReady(true);
    port->setRequestToSend(true);
    // Whatever the far end sent before we opened is not part of any reply.
    port->clear();
    port->clearError();
    opening = false;
    ++opens;
    error.clear();
    return true;
}

void QtSerialTransport::close()
{
    if (port->isOpen())
        port->close();
    port->clearError();
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
    switch (QSerialPort::SerialPortError(code)) {
    case QSerialPort::ResourceError:
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
    error = QStringLiteral("The connection on serial port %1 was lost: %2")
                .arg(PortMap::describe(portNumber), port->errorString());
    // The error comes from inside the port's own notifier: close once it has returned.
    const quint64 current = opens;
    QMetaObject::invokeMethod(this, [this, current] { closeAfterLoss(current); }, Qt::QueuedConnection);
}

void QtSerialTransport::closeAfterLoss(quint64 openCount)
{
    if (openCount != opens || !lost)
        return;
    close();
    emit lineLost(error);
}

} // namespace kr
