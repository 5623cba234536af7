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

PortProblem PortClaim::take(const QString& device, QString& detail)
{
    release();
    const int claim = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (claim < 0) {
        const int code = errno;
        switch (code) {
        case EBUSY:   // exclusive, and we are not let past it
            return PortProblem::InUse;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return PortProblem::Missing;
        case EACCES:
        case EPERM:
            return PortProblem::NoPermission;
        default:
            detail = qt_error_string(code);
            return PortProblem::Other;
        }
    }
    // flock locks the open file description, so every other open of the
    // device, under any name, contends with this one.
    if (::flock(claim, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        ::close(claim);
        if (code == EWOULDBLOCK)
            return PortProblem::InUse;
        detail = qt_error_string(code);
        return PortProblem::Other;
    }
#ifdef TIOCGEXCL
    // A program that asked for exclusive use without locking lets root past
    // it; the flag still tells.
    int exclusive = 0;
    if (::ioctl(claim, TIOCGEXCL, &exclusive) == 0 && exclusive) {
        ::close(claim);
        return PortProblem::InUse;
    }
#endif
    fd = claim;
    return PortProblem::None;
}

void PortClaim::shutOthersOut() const
{
#ifdef TIOCEXCL
    if (fd >= 0)
        ::ioctl(fd, TIOCEXCL);
#endif
}

void PortClaim::release()
{
    if (fd >= 0)
        ::close(fd);   // drops the lock with it
    fd = -1;
}

#else

bool portAccessDenied(const QString&) { return false; }
QString portGroup(const QString&) { return {}; }
// Windows opens a serial port for one program only.
PortProblem PortClaim::take(const QString&, QString&) { return PortProblem::None; }
void PortClaim::shutOthersOut() const {}
void PortClaim::release() {}

#endif

} // namespace kr
