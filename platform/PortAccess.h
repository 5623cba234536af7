#pragma once
#include <QString>

namespace kr {

// Why a serial port could not be used, in the kinds the user can act on.
enum class PortProblem {
    None,
    Missing,       // no such device at open: adapter not plugged in
    InUse,         // another program holds the port
    NoPermission,  // the user may not open the device
    Unplugged,     // the device went away while open
    LineLost,      // read or write errors while open
    Other,
};

struct PortFailure {
    PortProblem problem = PortProblem::Other;
    QString port;     // as shown to the user, e.g. "COM5 (/dev/ttyUSB0)"
    QString device;
    QString group;    // the device's owning group (NoPermission); empty when unknown
    QString detail;   // the system's own words, for Other and LineLost
};

// The sentence the user sees for a failure (CR LF between lines).
QString portFailureText(const PortFailure& failure);

// Whether this user lacks read and write access to the device file.
bool portAccessDenied(const QString& device);

// The name of the group that owns the device file; empty when unknown.
QString portGroup(const QString& device);

// This program's exclusive hold on a serial device, whatever path names it
// (a link, /dev/serial/by-id): an flock on a descriptor of its own, taken in
// one step before the port itself is opened, so of two openers exactly one
// gets past it and the other never touches the line. Held until release().
class PortClaim {
public:
    PortClaim() = default;
    ~PortClaim() { release(); }
    PortClaim(const PortClaim&) = delete;
    PortClaim& operator=(const PortClaim&) = delete;

    // Takes the device, or says why not: InUse when another program (or
    // another port of ours) holds it, Missing, NoPermission, or Other with the
    // system's words in `detail`. A claim already held is released first.
    PortProblem take(const QString& device, QString& detail);
    // Once the port is open: further opens of the device fail (TIOCEXCL), for
    // programs that do not flock. Root is let past that, hence the flock.
    void shutOthersOut() const;
    void release();

private:
#ifdef Q_OS_UNIX
    int fd = -1;
#endif
};

} // namespace kr
