#include "platform/PortMap.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <QHash>
#include <QStringList>

namespace kr::PortMap {

namespace {

QString envName(int number) { return QStringLiteral("KR_PORT_%1").arg(number); }

QString overrideFor(int number)
{
    return qEnvironmentVariable(envName(number).toLatin1().constData());
}

#ifndef Q_OS_WIN
struct Range {
    int first, last;
    const char* prefix;
    int firstIndex;
};
// Built-in ports first, so that COM1 is the first built-in port as on a PC,
// then the adapters a meter cable is plugged into today.
constexpr Range unixTable[] = {
    {1, 4, "/dev/ttyS", 0},
    {5, 12, "/dev/ttyUSB", 0},
    {13, 20, "/dev/ttyACM", 0},
    {21, 50, "/dev/ttyS", 4},
};
#endif

// Devices the system reports as serial ports, by location and by name.
// Pseudo-terminals are never among them, which is why an overridden port only
// needs its file to exist.
QHash<QString, QSerialPortInfo> systemPorts()
{
    QHash<QString, QSerialPortInfo> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        ports.insert(info.systemLocation(), info);
        ports.insert(info.portName(), info);
    }
    return ports;
}

bool existsIn(int number, const QHash<QString, QSerialPortInfo>& system)
{
    const QString device = deviceFor(number);
    if (device.isEmpty())
        return false;
    if (isOverridden(number))
        return system.contains(device) || QFileInfo::exists(device);
    return system.contains(device);
}

} // namespace

bool isOverridden(int number) { return !overrideFor(number).isEmpty(); }

QString deviceFor(int number)
{
    QString forced = overrideFor(number);
    if (!forced.isEmpty())
        return forced;
    if (number < FirstPort || number > LastPort)
        return {};
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(number);
#else
    for (const Range& r : unixTable)
        if (number >= r.first && number <= r.last)
            return QString::fromLatin1(r.prefix) + QString::number(r.firstIndex + number - r.first);
    return {};
#endif
}

QString displayName(int number) { return QStringLiteral("COM%1").arg(number); }

QString describe(int number)
{
    const QString device = deviceFor(number);
    if (device.isEmpty() || device == displayName(number))
        return displayName(number);
    return QStringLiteral("%1 (%2)").arg(displayName(number), device);
}

bool exists(int number) { return existsIn(number, systemPorts()); }

QList<PortChoice> existingPorts()
{
    const auto system = systemPorts();
    QList<PortChoice> ports;
    for (int n = FirstPort; n <= LastPort; ++n) {
        if (!existsIn(n, system))
            continue;
        // On Windows the device is the number's own name; nothing to add.
        const QString device = deviceFor(n);
        PortChoice p{n, device == displayName(n) ? QString() : device};
        if (const auto info = system.constFind(device); info != system.cend()) {
            p.description = info->description();
            p.manufacturer = info->manufacturer();
            p.serialNumber = info->serialNumber();
            if (info->hasVendorIdentifier())
                p.vendorId = info->vendorIdentifier();
            if (info->hasProductIdentifier())
                p.productId = info->productIdentifier();
        }
        ports.append(p);
    }
    return ports;
}

QString details(const PortChoice& p)
{
    QStringList parts;
    if (!p.description.isEmpty())
        parts << p.description;
    // Drivers often repeat the maker inside the description.
    if (!p.manufacturer.isEmpty() && !p.description.contains(p.manufacturer, Qt::CaseInsensitive))
        parts << p.manufacturer;
    if (!p.serialNumber.isEmpty())
        parts << QStringLiteral("serial %1").arg(p.serialNumber);
    if (p.vendorId >= 0 && p.productId >= 0)
        parts << QStringLiteral("USB %1:%2").arg(p.vendorId, 4, 16, QLatin1Char('0')).arg(p.productId, 4, 16, QLatin1Char('0'));
    return parts.join(QStringLiteral(", "));
}

} // namespace kr::PortMap
