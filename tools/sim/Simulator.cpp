#include "tools/sim/Simulator.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <ctime>
#include <unistd.h>

#include "tools/sim/StateFile.h"

namespace kr::sim {

namespace {

// 4800 baud with one start, eight data and one stop bit: ten bits a character.
constexpr long long CharNs = 10LL * 1000000000LL / 4800;
// Characters written at once; small enough that the program sees a reply in pieces.
constexpr std::size_t Burst = 4;
// A half-received upload is given up after this much silence.
constexpr double UploadIdleMs = 2000.0;

// Written by the signal handler and by the responder; the main thread polls it.
int mainWake[2] = {-1, -1};

void onSignal(int)
{
    char c = 'S';
    ssize_t r = ::write(mainWake[1], &c, 1);
    (void)r;
}

long long nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

std::string describe(const Transmission& t)
{
    std::string text = "lines=" + std::to_string(t.lineCount) + " bytes=" + std::to_string(t.size());
    if (!t.notes.empty()) {
        text += " faults=";
        for (std::size_t i = 0; i < t.notes.size(); ++i)
            text += (i ? "," : "") + t.notes[i];
    }
    return text;
}

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

Simulator::Simulator(SimOptions opts) : options(std::move(opts)) {}

Simulator::~Simulator()
{
    closeFd(master);
    closeFd(slave);
    closeFd(responderWake[0]);
    closeFd(responderWake[1]);
    closeFd(mainWake[0]);
    closeFd(mainWake[1]);
}

bool Simulator::prepareState()
{
    std::string error;
    if (!options.reset) {
        bool missing = false;
        if (auto loaded = loadState(options.statePath, missing, error)) {
            state = *loaded;
            return true;
        }
        if (!missing) {
            std::fprintf(stderr, "kr-meter-sim: %s\n", error.c_str());
            return false;
        }
    }
    state = options.initEmpty ? emptyState() : sampleState();
    if (!saveState(options.statePath, state, error)) {
        std::fprintf(stderr, "kr-meter-sim: %s\n", error.c_str());
        return false;
    }
    return true;
}

bool Simulator::openTerminal()
{
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        std::fprintf(stderr, "kr-meter-sim: cannot open a pseudo-terminal: %s\n", std::strerror(errno));
        return false;
    }
    // Raw, so no byte is translated or echoed; the speed is only for show, a
    // pseudo-terminal ignores it and the pacing is ours.
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B4800);
    ::cfsetospeed(&t, B4800);
    ::tcsetattr(slave, TCSANOW, &t);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    const char* name = ::ttyname(slave);
    if (!name) {
        std::fprintf(stderr, "kr-meter-sim: the pseudo-terminal has no name: %s\n", std::strerror(errno));
        return false;
    }
    device = name;
    return true;
}

bool Simulator::makeLink()
{
    const std::string& link = options.linkPath;
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "kr-meter-sim: %s exists and is not a symbolic link; not replacing it\n",
                         link.c_str());
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(device.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "kr-meter-sim: cannot make the link %s: %s\n", link.c_str(),
                     std::strerror(errno));
        return false;
    }
    linkMade = true;
    return true;
}

void Simulator::removeLink()
{
    if (!linkMade)
        return;
    // Only our own link goes; another simulator may have taken the name since.
    char target[4096];
    ssize_t n = ::readlink(options.linkPath.c_str(), target, sizeof target - 1);
    if (n >= 0 && std::string(target, static_cast<std::size_t>(n)) == device)
        ::unlink(options.linkPath.c_str());
    linkMade = false;
}

int Simulator::run()
{
    if (!prepareState())
        return 2;
    std::string error;
    if (!options.logPath.empty() && !log.open(options.logPath, error)) {
        std::fprintf(stderr, "kr-meter-sim: %s\n", error.c_str());
        return 2;
    }
    if (!openTerminal())
        return 3;
    if (::pipe2(mainWake, O_CLOEXEC | O_NONBLOCK) != 0 || ::pipe2(responderWake, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "kr-meter-sim: cannot make a pipe: %s\n", std::strerror(errno));
        return 3;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    if (!options.linkPath.empty() && !makeLink())
        return 1;

    std::string faults;
    for (const Fault& f : options.faults)
        faults += (faults.empty() ? "" : ",") + f.faultText;
    log.event("start device=" + device + " state=" + options.statePath + " readings="
              + std::to_string(state.readings.size()) + " pace=" + (options.fast ? "fast" : "4800")
              + " latency=" + std::to_string(options.latencyMs) + " faults=" + (faults.empty() ? "none" : faults));
    std::printf("%s\n", device.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "kr-meter-sim: KR meter on %s%s%s, %zu readings stored in %s; Ctrl+C stops it\n",
                 device.c_str(), linkMade ? " (link " : "", linkMade ? (options.linkPath + ")").c_str() : "",
                 state.readings.size(), options.statePath.c_str());

    // Signals go to the main thread only, which turns them into a byte on its wake pipe.
    sigset_t block, old;
    sigemptyset(&block);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&block, sig);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    responder = std::thread([this] { responderLoop(); });
    pthread_sigmask(SIG_SETMASK, &old, nullptr);

    readerLoop();

    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    pending.notify_all();
    char c = 'S';
    ssize_t r = ::write(responderWake[1], &c, 1);
    (void)r;
    responder.join();
    closeFd(master);
    closeFd(slave);
    removeLink();
    log.event("exit status=" + std::to_string(exitStatus.load()));
    return exitStatus;
}

void Simulator::readerLoop()
{
    CommandReader reader;
    char buf[4096];
    double lastByteMs = 0;
    // The hold fault: the program's output is stopped at the terminal (as XOFF
    // would) until holdEndsMs; once per upload.
    const Fault* hold = findFault(options.faults, FaultKind::Hold, Command::Upload);
    double holdEndsMs = -1;
    bool heldThisUpload = false;
    for (;;) {
        pollfd fds[3] = {{master, POLLIN, 0}, {mainWake[0], POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        int timeout = -1;
        if (reader.collectingUpload())
            timeout = std::max(0, static_cast<int>(UploadIdleMs - (elapsedMs() - lastByteMs)) + 1);
        if (holdEndsMs >= 0) {
            int untilRelease = std::max(0, static_cast<int>(holdEndsMs - elapsedMs()) + 1);
            timeout = timeout < 0 ? untilRelease : std::min(timeout, untilRelease);
        }
        int n = ::poll(fds, options.watchStdin ? 3 : 2, timeout);
        if (holdEndsMs >= 0 && elapsedMs() >= holdEndsMs) {
            ::tcflow(slave, TCOON);
            holdEndsMs = -1;
            lastByteMs = elapsedMs();
            log.event("hold released");
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            log.event(std::string("poll failed: ") + std::strerror(errno));
            exitStatus = 3;
            return;
        }
        if (reader.collectingUpload() && elapsedMs() - lastByteMs >= UploadIdleMs) {
            std::size_t had = reader.abandonUpload();
            log.event("upload abandoned after " + std::to_string(had) + " of 608 bytes");
        }
        if (fds[1].revents & POLLIN) {
            char why[16];
            ssize_t got = ::read(mainWake[0], why, sizeof why);
            std::string reasons(why, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
            if (reasons.find('S') != std::string::npos) {
                log.event("stop requested");
                return;
            }
            if (reasons.find('F') != std::string::npos) {
                exitStatus = 3;
                return;
            }
            if (reasons.find('D') != std::string::npos)
                return;
        }
        if (options.watchStdin && fds[2].revents) {
            ssize_t got = ::read(STDIN_FILENO, buf, sizeof buf);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
                log.event("standard input closed");
                return;
            }
        }
        if (fds[0].revents & POLLIN) {
            ssize_t got = ::read(master, buf, sizeof buf);
            if (got < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (got <= 0) {
                log.event(std::string("terminal read failed: ") + (got < 0 ? std::strerror(errno) : "end of file"));
                std::fprintf(stderr, "kr-meter-sim: the pseudo-terminal failed\n");
                exitStatus = 3;
                return;
            }
            lastByteMs = elapsedMs();
            log.received(buf, static_cast<std::size_t>(got), lastByteMs);
            for (ssize_t i = 0; i < got; ++i) {
                auto received = reader.feed(buf[i]);
                if (!reader.collectingUpload())
                    heldThisUpload = false;
                else if (hold && !heldThisUpload && reader.uploadReceived() >= static_cast<std::size_t>(hold->line)) {
                    heldThisUpload = true;
                    ::tcflow(slave, TCOOFF);
                    holdEndsMs = elapsedMs() + hold->value;
                    log.event("hold for " + std::to_string(hold->value) + " ms");
                }
                if (!received)
                    continue;
                log.event(std::string("cmd ") + commandText(received->command));
                {
                    std::lock_guard<std::mutex> guard(lock);
                    queue.push_back(std::move(*received));
                }
                pending.notify_one();
            }
        } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            log.event("terminal hung up");
            std::fprintf(stderr, "kr-meter-sim: the pseudo-terminal hung up\n");
            exitStatus = 3;
            return;
        }
    }
}

void Simulator::wakeMain(char why)
{
    ssize_t r = ::write(mainWake[1], &why, 1);
    (void)r;
}

bool Simulator::stopRequested()
{
    std::lock_guard<std::mutex> guard(lock);
    return stopping;
}

void Simulator::responderLoop()
{
    for (;;) {
        CommandReader::Received next;
        {
            std::unique_lock<std::mutex> guard(lock);
            pending.wait(guard, [this] { return stopping || !queue.empty(); });
            if (stopping)
                return;
            next = std::move(queue.front());
            queue.pop_front();
        }
        answer(next);
        if (exitStatus != 0 || stopRequested())
            return;
    }
}

void Simulator::answer(const CommandReader::Received& received)
{
    const Command command = received.command;
    std::string error;
    if (command == Command::Erase) {
        std::size_t had = state.readings.size();
        state.readings.clear();
        log.event("erase readings=" + std::to_string(had));
    } else if (command == Command::Upload) {
        state.applyUpload(received.upload);
        log.event("upload stored species=31 wallroof=7");
    }
    if (command == Command::Erase || command == Command::Upload) {
        if (saveState(options.statePath, state, error)) {
            log.event("state saved");
        } else {
            log.event("state not saved: " + error);
            std::fprintf(stderr, "kr-meter-sim: %s\n", error.c_str());
        }
    }

    Transmission t = buildReply(command, state, options.faults, options.latencyMs,
                                options.fast ? 0.0 : double(CharNs) / 1e6);
    log.event(std::string("reply ") + commandText(command) + " " + describe(t));
    switch (transmit(t)) {
    case Sent::Done:
        log.event(std::string("sent ") + commandText(command) + " bytes=" + std::to_string(t.size()));
        break;
    case Sent::Stopped:
        log.event(std::string("interrupted ") + commandText(command));
        break;
    case Sent::Dropped:
        letLineDrain();
        log.event("drop after " + std::to_string(*t.dropAfter) + " bytes of the " + commandText(command)
                  + " reply: closing the terminal");
        wakeMain('D');
        break;
    case Sent::Failed:
        exitStatus = 3;
        wakeMain('F');
        break;
    }
}

Simulator::Sent Simulator::transmit(const Transmission& t)
{
    if (t.dropAfter && *t.dropAfter == 0)
        return Sent::Dropped;
    std::size_t sent = 0;
    for (const Segment& seg : t.segments) {
        if (seg.pauseMs > 0 && !sleepUntil(nowNs() + seg.pauseMs * 1000000LL))
            return Sent::Stopped;
        const long long start = nowNs();
        std::size_t i = 0;
        while (i < seg.bytes.size()) {
            std::size_t n = options.fast ? seg.bytes.size() - i : std::min(Burst, seg.bytes.size() - i);
            if (t.dropAfter)
                n = std::min(n, *t.dropAfter - sent);
            // Each burst leaves when its last character would have crossed the line, measured
            // from the start of the segment, so the average rate holds however late we wake.
            if (!options.fast && !sleepUntil(start + static_cast<long long>(i + n) * CharNs))
                return Sent::Stopped;
            if (!writeBytes(seg.bytes.data() + i, n))
                return stopRequested() ? Sent::Stopped : Sent::Failed;
            i += n;
            sent += n;
            if (t.dropAfter && sent == *t.dropAfter)
                return Sent::Dropped;
        }
    }
    return Sent::Done;
}

bool Simulator::writeBytes(const char* bytes, std::size_t count)
{
    while (count > 0) {
        ssize_t n = ::write(master, bytes, count);
        if (n > 0) {
            bytes += n;
            count -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // Nobody reads the far end (the port is closed): wait for room or a stop.
            pollfd fds[2] = {{master, POLLOUT, 0}, {responderWake[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                return false;
            if (fds[1].revents & POLLIN)
                return false;
            continue;
        }
        log.event(std::string("terminal write failed: ") + std::strerror(errno));
        return false;
    }
    return true;
}

void Simulator::letLineDrain()
{
    // Bytes already on the line when the cable comes out still reach the far end; closing
    // at once would let the terminal discard what the program has not read yet and make
    // the drop point vary. Wait until its input is taken up, at most half a second.
    const long long limit = nowNs() + 500000000LL;
    sleepUntil(nowNs() + 10000000LL);
    int waiting = 0;
    while (::ioctl(slave, FIONREAD, &waiting) == 0 && waiting > 0 && nowNs() < limit)
        sleepUntil(nowNs() + 2000000LL);
}

bool Simulator::sleepUntil(long long deadlineNs)
{
    for (;;) {
        long long remaining = deadlineNs - nowNs();
        if (remaining <= 0)
            return !stopRequested();
        if (remaining > 15000000LL) {
            // Long pauses wait on the wake pipe so a stop cuts them short.
            pollfd fd{responderWake[0], POLLIN, 0};
            ::poll(&fd, 1, static_cast<int>((remaining - 5000000LL) / 1000000LL));
            if (fd.revents & POLLIN)
                return false;
            continue;
        }
        timespec ts{static_cast<time_t>(deadlineNs / 1000000000LL), static_cast<long>(deadlineNs % 1000000000LL)};
        ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
    }
}

} // namespace kr::sim
