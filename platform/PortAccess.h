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

// Whether another program holds the device: it asked for exclusive use
// (TIOCEXCL, or an flock as serial tools take). A program that merely has the
// device open, as the simulated meter has its own pseudo-terminal, does not count.
bool portHeldElsewhere(const QString& device);

// Whether this user lacks read and write access to the device file.
bool portAccessDenied(const QString& device);

// The name of the group that owns the device file; empty when unknown.
QString portGroup(const QString& device);

// Takes an advisory exclusive lock on an open port's descriptor, so that
// tools that respect such locks leave the port alone while we use it.
void lockOpenPort(qintptr handle);

} // namespace kr
