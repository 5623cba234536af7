#include "platform/PortAccess.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace kr {

QString portFailureText(const PortFailure& f)
{
    const QString cannot = QStringLiteral("Cannot open serial port %1: ").arg(f.port);
    switch (f.problem) {
    case PortProblem::Missing:
        return cannot + QStringLiteral("the device %1 is not there.\r\n"
                                       "The serial adapter was unplugged or is not plugged in: "
                                       "plug it in and try again.")
                            .arg(f.device);
    case PortProblem::InUse:
        return cannot + QStringLiteral("another program is using it.\r\n"
                                       "Close that program, or choose another port.");
    case PortProblem::NoPermission: {
        // Root's group would give away far more than the port.
        if (f.group.isEmpty() || f.group == QLatin1String("root"))
            return cannot + QStringLiteral("permission denied.\r\n"
                                           "Your account may not use %1; ask the administrator "
                                           "of this computer for read and write access to it.")
                                .arg(f.device);
        return cannot + QStringLiteral("permission denied.\r\n"
                                       "%1 belongs to the group \"%2\", and your account is not in it. "
                                       "Add it with the command\r\n"
                                       "    sudo usermod -aG %2 $USER\r\n"
                                       "then log out and in again (the new group counts from the next login).")
                            .arg(f.device, f.group);
    }
    case PortProblem::Unplugged:
        return QStringLiteral("The serial adapter was unplugged: serial port %1 has gone away.\r\n"
                              "Plug it in again and repeat what you were doing.")
            .arg(f.port);
    case PortProblem::LineLost:
        return QStringLiteral("The connection on serial port %1 was lost: %2").arg(f.port, f.detail);
    case PortProblem::None:
    case PortProblem::Other:
        break;
    }
    return cannot + f.detail;
}

#ifdef Q_OS_UNIX

bool portHeldElsewhere(const QString& device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY;   // exclusive, and we are not allowed past it
    bool held = false;
#ifdef TIOCGEXCL
    // Root is let past an exclusive tty; ask for the flag instead.
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive)
        held = true;
#endif
    if (!held && ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        held = true;
    ::close(fd);   // drops our probe lock too
    return held;
}

bool portAccessDenied(const QString& device)
{
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0 && errno == EACCES;
}

QString portGroup(const QString& device)
{
    struct stat st {};
    if (::stat(QFile::encodeName(device).constData(), &st) != 0)
        return {};
    const group* g = ::getgrgid(st.st_gid);
    return g ? QString::fromLocal8Bit(g->gr_name) : QString();
}

void lockOpenPort(qintptr handle)
{
    if (handle >= 0)
        ::flock(int(handle), LOCK_EX | LOCK_NB);
}

#else

bool portHeldElsewhere(const QString&) { return false; }
bool portAccessDenied(const QString&) { return false; }
QString portGroup(const QString&) { return {}; }
void lockOpenPort(qintptr) {}

#endif

} // namespace kr
