#include "tools/sim/StateFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kr::sim {

namespace {

std::string systemError(const std::string& what, const std::string& path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

bool writeAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

mode_t newFileMode(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return st.st_mode & 07777;
    mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

std::optional<MeterState> loadState(const std::string& path, bool& missing, std::string& error)
{
    missing = false;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        missing = errno == ENOENT;
        error = systemError("cannot open the state file", path);
        return std::nullopt;
    }
    std::string text;
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = systemError("cannot read the state file", path);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<std::size_t>(n));
        if (text.size() > 4 * 1024 * 1024) {
            error = "the state file " + path + " is far too large to be a meter's memory";
            ::close(fd);
            return std::nullopt;
        }
    }
    ::close(fd);
    std::string why;
    auto state = parseState(text, why);
    if (!state)
        error = "the state file " + path + " is not valid: " + why;
    return state;
}

bool saveState(const std::string& path, const MeterState& state, std::string& error)
{
    const mode_t mode = newFileMode(path);
    std::string tmp = path + ".XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        error = systemError("cannot create a temporary file beside", path);
        return false;
    }
    bool ok = writeAll(fd, formatState(state));
    if (!ok)
        error = systemError("cannot write", tmp);
    if (ok && ::fsync(fd) != 0) {
        error = systemError("cannot flush", tmp);
        ok = false;
    }
    ::fchmod(fd, mode);
    if (::close(fd) != 0 && ok) {
        error = systemError("cannot close", tmp);
        ok = false;
    }
    if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) {
        error = systemError("cannot rename the new state over", path);
        ok = false;
    }
    if (!ok)
        ::unlink(tmp.c_str());
    return ok;
}

} // namespace kr::sim
