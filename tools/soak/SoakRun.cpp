#include "tools/soak/SoakRun.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <utility>
#include <sys/mount.h>
#include <sys/statvfs.h>

#include "core/AtomicFile.h"
#include "core/Errors.h"
#include "core/Readings.h"
#include "meter/BackupSlots.h"
#include "tools/sim/StateFile.h"

namespace kr::soak {

namespace {

// Far beyond the slowest sound cycle (a trickled library, about 20 s).
constexpr int CliDeadlineMs = 120000;
constexpr int SimStartMs = 10000;
constexpr int SimStopMs = 5000;
// A program folder that holds the catalogue, nine backups and the outputs.
constexpr const char* HomeSize = "size=4m";
// Up to a little more than one backup (120 kB) may be left free on a full disk.
constexpr qint64 MostLeftFree = 160000;

volatile std::sig_atomic_t stopRequested = 0;
extern "C" void requestStop(int) { stopRequested = 1; }

std::string native(const QString& path) { return QFile::encodeName(path).toStdString(); }

// How a child process ended.
struct ChildEnd {
    bool finished = false;      // ended before its deadline
    bool crashed = false;       // ended by a signal
    int status = -1;
    qint64 ms = 0;
    QByteArray out;
    QByteArray err;
};

// Waits in an event loop until the process ends or the deadline passes.
bool waitForEnd(QProcess& process, int deadlineMs)
{
    if (process.state() == QProcess::NotRunning)
        return true;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(deadlineMs, &loop, &QEventLoop::quit);
    loop.exec();
    return process.state() == QProcess::NotRunning;
}

// Waits for a started process to end, killing it at the deadline.
ChildEnd endOf(QProcess& process)
{
    ChildEnd end;
    // A process may have ended already, while the caller's events ran.
    if (process.state() == QProcess::Starting)
        process.waitForStarted(SimStartMs);
    if (process.error() == QProcess::FailedToStart)
        return end;
    end.finished = waitForEnd(process, CliDeadlineMs);
    if (!end.finished) {
        process.kill();
        waitForEnd(process, SimStopMs);
    }
    end.crashed = end.finished && process.exitStatus() == QProcess::CrashExit;
    end.status = end.finished && !end.crashed ? process.exitCode() : -1;
    end.out = process.readAllStandardOutput();
    end.err = process.readAllStandardError();
    return end;
}

ChildEnd runChild(const QString& program, const QStringList& args, const QProcessEnvironment& env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    process.start(program, args);
    ChildEnd end = endOf(process);
    end.ms = clock.elapsed();
    return end;
}

// The simulator for one cycle: started with that cycle's fault, stopped once
// its log has been quiet for a moment so that nothing it received is lost.
class Simulator {
public:
    bool start(const QString& program, const QStringList& args)
    {
        process.start(program, args);
        QEventLoop loop;
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &loop, [&] {
            if (process.canReadLine())
                loop.quit();
        });
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(SimStartMs, &loop, &QEventLoop::quit);
        loop.exec();
        readyAtMs = QDateTime::currentMSecsSinceEpoch();
        return process.state() == QProcess::Running && process.canReadLine();
    }

    // Empty when it ended as it should; otherwise what went wrong.
    QString stop(const QString& logPath)
    {
        if (process.state() == QProcess::Running)
            waitForQuietLog(logPath);
        if (process.state() == QProcess::Running)
            process.terminate();
        if (!waitForEnd(process, SimStopMs)) {
            process.kill();
            waitForEnd(process, SimStopMs);
            return QStringLiteral("the simulator did not stop when asked");
        }
        if (process.exitStatus() == QProcess::CrashExit)
            return QStringLiteral("the simulator crashed");
        if (process.exitCode() != 0)
            return QStringLiteral("the simulator ended with status %1: %2")
                .arg(process.exitCode())
                .arg(QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
        return {};
    }

    // Wall-clock time once it had started: no earlier than its log's "start".
    qint64 readyAtMs = 0;

    QString errorText() { return QString::fromLocal8Bit(process.readAllStandardError()).trimmed(); }

private:
    void waitForQuietLog(const QString& logPath)
    {
        QEventLoop loop;
        QTimer poll;
        qint64 size = -1;
        int quiet = 0;
        int rounds = 0;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            const qint64 now = QFileInfo(logPath).size();
            quiet = now == size ? quiet + 1 : 0;
            size = now;
            if (quiet >= 2 || ++rounds > 60)
                loop.quit();
        });
        poll.start(50);
        loop.exec();
    }

    QProcess process;
};

std::string readingsText(const sim::MeterState& state)
{
    std::string text;
    for (const sim::SimReading& r : state.readings)
        text += sim::recordLine(r) + '\n';
    return text;
}

// The meter's readings as the program would take them from its record lines.
void importReadings(const sim::MeterState& state, TFile& doc)
{
    std::vector<std::string> lines;
    for (const sim::SimReading& r : state.readings)
        lines.push_back(sim::recordLine(r) + '\r');
    doc.ImportMeterLines(lines);
}

bool fileHoldsReadings(const QString& path, const sim::MeterState& state, QString& why)
{
    TKRFile meter;
    TKRFile file;
    importReadings(state, meter);
    try {
        file.LoadFromFile(native(path));
    } catch (const KrError& e) {
        why = QStringLiteral("%1 cannot be read: %2").arg(QFileInfo(path).fileName(), QString::fromLatin1(e.what()));
        return false;
    }
    if (SameReadings(meter, file))
        return true;
    why = QStringLiteral("%1 holds %2 readings unlike the meter's %3")
              .arg(QFileInfo(path).fileName())
              .arg(file.CountReadings())
              .arg(state.readings.size());
    return false;
}

std::string libraryOf(const sim::MeterState& state)
{
    std::string text;
    for (const std::string& entry : state.species)
        text += entry;
    for (const std::string& entry : state.wallRoof)
        text += entry;
    return text;
}

int draw(std::mt19937_64& rng, int low, int high)
{
    return low + int(rng() % std::uint64_t(high - low + 1));
}

// Readings spread over a few meter files, numbered from 1 in each as the meter numbers them;
// one species name carries Windows-1252 letters, one fills all 13 places.
std::vector<sim::SimReading> randomReadings(std::mt19937_64& rng)
{
    static const char* const species[] = {"Red Oak", "Beech", "Douglas Fir", "Spruce", "Ipe", "Sapele",
                                          "Western Hemlo", "Ash", "Teak", "\xC9pic\xE9\x61", "Walnut", "Birch"};
    std::vector<sim::SimReading> readings;
    const int files = draw(rng, 1, 4);
    for (int f = 0; f < files; ++f) {
        const int file = draw(rng, 1, 25);
        bool taken = false;
        for (const auto& r : readings)
            taken = taken || r.file == file;
        if (taken)
            continue;
        const int count = draw(rng, 1, 12);
        for (int rec = 1; rec <= count; ++rec) {
            sim::SimReading r;
            r.file = file;
            r.record = rec;
            r.year = draw(rng, 1998, 2097);
            r.month = draw(rng, 1, 12);
            r.day = draw(rng, 1, 28);
            r.hour = draw(rng, 0, 23);
            r.minute = draw(rng, 0, 59);
            r.temperature = draw(rng, -9, 99);
            r.species = species[draw(rng, 0, 11)];
            r.sg = draw(rng, 0, 99);
            const int tenths = draw(rng, 40, 400);
            r.moisture = draw(rng, 0, 4) == 0 ? std::to_string(tenths / 10)
                                              : std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
            readings.push_back(r);
        }
    }
    return readings;
}

// The command keys each kind's exchange uses, and the size of each reply.
const char* keysOf(Kind kind)
{
    switch (kind) {
    case Kind::Download: return "34";
    case Kind::Erase: return "34*";
    case Kind::Serial: return "5";
    case Kind::LibraryGet: return "2";
    case Kind::LibraryPut: return "34*6";
    }
    return "3";
}

int replyLines(char key, int readings)
{
    switch (key) {
    case '3': return 26;
    case '4': return readings + 1;
    case '5': return 2;
    case '2': return 39;
    default: return 1;
    }
}

int replyBytes(char key, int readings)
{
    switch (key) {
    case '3': return 153;
    case '4': return 3 + 48 * readings;
    case '5': return 13;
    case '2': return 649;
    default: return 4;
    }
}

QString withKey(const QString& fault, char key) { return fault + QLatin1Char('@') + QLatin1Char(key); }

} // namespace

SoakRun::SoakRun(SoakOptions opts) : options(std::move(opts)) {}

SoakRun::~SoakRun()
{
    if (homeMounted)
        ::umount2(native(homePath).c_str(), MNT_DETACH);
}

QString SoakRun::home(const QString& name) const { return name.isEmpty() ? homePath : homePath + '/' + name; }
QString SoakRun::work(const QString& name) const { return dir->filePath(name); }

// The program folder is a small file system of its own, so that a full disk
// is real for kr-cli. Mounting needs root and a mount namespace of our own
// (main() asks for one), so the mount goes with the process.
void SoakRun::mountProgramFolder()
{
    if (::mount("tmpfs", native(homePath).c_str(), "tmpfs", 0, HomeSize) == 0) {
        homeMounted = true;
        return;
    }
    diskFullNote = QStringLiteral("disk-full faults left out: a tmpfs cannot be mounted here (%1)")
                       .arg(QString::fromLocal8Bit(std::strerror(errno)));
}

bool SoakRun::setUp()
{
    dir = std::make_unique<QTemporaryDir>(QDir::temp().filePath(QStringLiteral("kr-soak-XXXXXX")));
    if (!dir->isValid() || !QDir(dir->path()).mkpath(QStringLiteral("home"))) {
        std::fprintf(stderr, "kr-soak: cannot make a working folder in %s\n", qPrintable(QDir::tempPath()));
        return false;
    }
    homePath = work(QStringLiteral("home"));
    mountProgramFolder();
    faults = {FaultType::Silence, FaultType::Garble, FaultType::Cut, FaultType::Trickle, FaultType::Pause,
              FaultType::CrLf, FaultType::Rival};
    if (homeMounted)
        faults.push_back(FaultType::DiskFull);

    std::string bytes;
    std::string error;
    if (!readWholeFile(native(options.catalogue), bytes) ||
        writeFileAtomically(native(home(QStringLiteral("Factors.dat"))), bytes) != WriteResult::Ok) {
        std::fprintf(stderr, "kr-soak: cannot copy the catalogue %s\n", qPrintable(options.catalogue));
        return false;
    }
    catalogue.LoadFromText(bytes);
    for (int i = 0; i < catalogue.Count(); ++i) {
        const std::string sg = catalogue.Item(i).FormatSG();
        if (sg.size() == 4 && sg[0] == '0')
            sendableCodes.push_back(catalogue.Item(i).GetCode());
    }
    if (sendableCodes.size() < 31) {
        std::fprintf(stderr, "kr-soak: the catalogue %s holds fewer than 31 species the meter can take\n",
                     qPrintable(options.catalogue));
        return false;
    }
    if (!sim::saveState(native(work(QStringLiteral("state.txt"))), sim::sampleState(), error)) {
        std::fprintf(stderr, "kr-soak: %s\n", error.c_str());
        return false;
    }
    return true;
}

CyclePlan SoakRun::plan(int cycle, int readingsHeld) const
{
    std::seed_seq seq{std::uint64_t(options.seed), std::uint64_t(cycle), std::uint64_t(0x50a4)};
    std::mt19937_64 rng(seq);
    static const Kind weighted[] = {Kind::Download, Kind::Download, Kind::Download, Kind::Erase, Kind::Erase,
                                    Kind::Serial, Kind::Serial, Kind::LibraryGet, Kind::LibraryGet,
                                    Kind::LibraryPut};
    CyclePlan p;
    p.kind = weighted[rng() % std::size(weighted)];
    if (rng() % 3 != 0)
        return p;
    p.fault = faults[rng() % faults.size()];
    const std::string keys = keysOf(p.kind);
    const char key = keys[rng() % keys.size()];
    switch (p.fault) {
    case FaultType::Silence:
        p.faultSpec = QStringLiteral("silent");
        break;
    case FaultType::Garble:
        p.faultSpec = QStringLiteral("garble=%1").arg(draw(rng, 2, std::max(2, readingsHeld + 1)));
        break;
    case FaultType::Cut:
        p.faultSpec = rng() % 2 ? withKey(QStringLiteral("cut=%1").arg(draw(rng, 1, replyLines(key, readingsHeld))), key)
                                : withKey(QStringLiteral("drop-after=%1").arg(draw(rng, 0, replyBytes(key, readingsHeld) - 1)), key);
        break;
    case FaultType::Trickle:
        p.faultSpec = withKey(QStringLiteral("trickle=%1").arg(draw(rng, 50, 450)), key);
        break;
    case FaultType::Pause: {
        // Mostly right after the echo and within 100 ms of the quiet
        // interval either way, where a reply is cut or kept by a hair.
        const int ms = rng() % 4 ? draw(rng, 400, 600) : draw(rng, 600, 2200);
        const int line = rng() % 3 ? 1 : draw(rng, 1, replyLines(key, readingsHeld));
        p.faultSpec = withKey(QStringLiteral("gap=%1:%2").arg(ms).arg(line), key);
        break;
    }
    case FaultType::CrLf:
        p.faultSpec = QStringLiteral("crlf");
        break;
    case FaultType::Rival:
    case FaultType::DiskFull:
        p.leaveFree = qint64(rng() % std::uint64_t(MostLeftFree));
        break;
    case FaultType::None:
        break;
    }
    return p;
}

// Between cycles the meter is given new readings now and then (it is empty
// after an erase), and old backups are tidied away the way a user might.
void SoakRun::prepare(std::mt19937_64& rng)
{
    for (const char* name : {"out.krx", "out.lst", "out.wallroof", "put.lst"})
        QFile::remove(home(QLatin1String(name)));
    bool missing = false;
    std::string error;
    auto state = sim::loadState(native(work(QStringLiteral("state.txt"))), missing, error);
    if (state && (state->readings.empty() ? rng() % 5 != 0 : rng() % 10 == 0)) {
        state->readings = randomReadings(rng);
        state->sortReadings();
        sim::saveState(native(work(QStringLiteral("state.txt"))), *state, error);
    }
    if (rng() % 50 == 0) {
        for (int n = 1; n <= 9; ++n)
            QFile::remove(home(QStringLiteral("data%1.bak").arg(n)));
    } else if (rng() % 20 == 0) {
        QFile::remove(home(QStringLiteral("data%1.bak").arg(draw(rng, 1, 9))));
    }
    writePutList(rng);
}

void SoakRun::writePutList(std::mt19937_64& rng)
{
    putCodes.clear();
    std::string text;
    for (int i = 0; i < 31; ++i) {
        putCodes.push_back(sendableCodes[rng() % sendableCodes.size()]);
        text += putCodes.back() + "\r\n";
    }
    text += "soak\r\n";
    writeFileAtomically(native(home(QStringLiteral("put.lst"))), text);
}

Slots SoakRun::readSlots() const
{
    Slots found;
    for (int n = 1; n <= 9; ++n) {
        std::string bytes;
        if (readWholeFile(native(home(QStringLiteral("data%1.bak").arg(n))), bytes))
            found[n] = bytes;
    }
    return found;
}

bool SoakRun::writeFiller(qint64 leaveFree)
{
    struct statvfs fs {};
    if (::statvfs(native(homePath).c_str(), &fs) != 0)
        return false;
    const qint64 block = qint64(fs.f_frsize);
    const qint64 free = qint64(fs.f_bavail) * block;
    const qint64 size = std::max<qint64>(0, (free - leaveFree) / block * block - block);
    return writeFileAtomically(native(home(QStringLiteral("filler"))), std::string(std::size_t(size), '\0')) ==
           WriteResult::Ok;
}

QStringList SoakRun::cliArguments(Kind kind) const
{
    QStringList args{QStringLiteral("--device"), work(QStringLiteral("meter")), QStringLiteral("--home"), homePath};
    switch (kind) {
    case Kind::Download: return args << QStringLiteral("download") << QStringLiteral("-o") << home(QStringLiteral("out.krx"));
    case Kind::Erase: return args << QStringLiteral("erase") << QStringLiteral("--yes");
    case Kind::Serial: return args << QStringLiteral("serial");
    case Kind::LibraryGet:
        return args << QStringLiteral("library") << QStringLiteral("get") << QStringLiteral("-o") << home(QStringLiteral("out.lst"));
    case Kind::LibraryPut:
        return args << QStringLiteral("library") << QStringLiteral("put") << home(QStringLiteral("put.lst"))
                    << QStringLiteral("--yes");
    }
    return args;
}

void SoakRun::finding(int cycle, const CyclePlan& p, const QString& what)
{
    const QString text = QStringLiteral("%1 under %2: %3")
                             .arg(QLatin1String(kindName(p.kind)),
                                  p.faultSpec.isEmpty() ? QLatin1String(faultName(p.fault)) : p.faultSpec, what);
    findings.push_back({cycle, text});
    std::printf("FINDING seed %llu cycle %d: %s\n", static_cast<unsigned long long>(options.seed), cycle,
                qPrintable(text));
    std::fflush(stdout);
}

void SoakRun::runCycle(int cycle)
{
    std::seed_seq seq{std::uint64_t(options.seed), std::uint64_t(cycle), std::uint64_t(0x9e3f)};
    std::mt19937_64 rng(seq);
    prepare(rng);
    const std::string statePath = native(work(QStringLiteral("state.txt")));
    bool missing = false;
    std::string error;
    const auto before = sim::loadState(statePath, missing, error);
    const CyclePlan p = plan(cycle, before ? int(before->readings.size()) : 0);
    if (!before)
        return finding(cycle, p, QStringLiteral("the meter's state cannot be read: %1").arg(QString::fromStdString(error)));
    const Slots slotsBefore = readSlots();
    ++cyclesRun;
    ++perKind[QLatin1String(kindName(p.kind))];
    ++perFault[QLatin1String(faultName(p.fault))];

    if (p.fault == FaultType::DiskFull && !writeFiller(p.leaveFree))
        return finding(cycle, p, QStringLiteral("the program folder could not be filled (driver)"));
    const QString logPath = work(QStringLiteral("sim.log"));
    QFile::remove(logPath);
    QStringList simArgs{QStringLiteral("--fast"), QStringLiteral("--state"), work(QStringLiteral("state.txt")),
                        QStringLiteral("--log"), logPath, QStringLiteral("--link"), work(QStringLiteral("meter")),
                        QStringLiteral("--watch-stdin")};
    if (!p.faultSpec.isEmpty())
        simArgs << QStringLiteral("--fault") << p.faultSpec;
    Simulator simulator;
    if (!simulator.start(options.sim, simArgs))
        return finding(cycle, p, QStringLiteral("the simulator did not start: %1").arg(simulator.errorText()));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.remove(QStringLiteral("KR_HOME"));
    // The rival names the meter through a link of its own and starts within
    // a few milliseconds of the cycle's command, before or after it.
    QProcess rival;
    QTimer rivalTimer;
    bool rivalStarted = false;
    auto startRival = [&] {
        if (std::exchange(rivalStarted, true))
            return;
        rival.setProcessEnvironment(env);
        rival.start(options.cli, {QStringLiteral("--device"), work(QStringLiteral("meter-too")), QStringLiteral("--home"),
                                  homePath, QStringLiteral("serial")});
    };
    if (p.fault == FaultType::Rival) {
        QFile::remove(work(QStringLiteral("meter-too")));
        QFile::link(work(QStringLiteral("meter")), work(QStringLiteral("meter-too")));
        rivalTimer.setSingleShot(true);
        QObject::connect(&rivalTimer, &QTimer::timeout, startRival);
        if (rng() % 2)
            startRival();
        else
            rivalTimer.start(draw(rng, 0, 30));
    }
    const ChildEnd end = runChild(options.cli, cliArguments(p.kind), env);
    ChildEnd rivalEnd;
    if (p.fault == FaultType::Rival) {
        rivalTimer.stop();
        startRival();
        rivalEnd = endOf(rival);
    }
    const QString simTrouble = simulator.stop(logPath);
    QFile::remove(home(QStringLiteral("filler")));
    ++perStatus[end.status];
    if (options.verbose)
        std::printf("cycle %d: %s %s -> %d in %lld ms\n", cycle, kindName(p.kind),
                    p.faultSpec.isEmpty() ? faultName(p.fault) : qPrintable(p.faultSpec), end.status,
                    static_cast<long long>(end.ms));
    std::fflush(stdout);
    // Interrupted: the child may have had the same signal, so this cycle says nothing.
    if (stopRequested)
        return;

    const QString said = QString::fromUtf8(end.err).trimmed().replace(QLatin1Char('\n'), QLatin1String(" | "));
    if (!simTrouble.isEmpty())
        finding(cycle, p, simTrouble);
    if (!end.finished)
        return finding(cycle, p, QStringLiteral("kr-cli hung: still running after %1 s").arg(CliDeadlineMs / 1000));
    if (end.crashed)
        return finding(cycle, p, QStringLiteral("kr-cli crashed (ended by a signal) after saying: %1").arg(said));

    std::string logText;
    readWholeFile(native(logPath), logText);
    const auto after = sim::loadState(statePath, missing, error);
    if (!after)
        return finding(cycle, p, QStringLiteral("the meter's state cannot be read: %1").arg(QString::fromStdString(error)));
    const CycleRecord r{cycle, p, *before, *after, slotsBefore, readSlots(), parseSimLog(logText),
                        end.status, end.out, said, simulator.readyAtMs,
                        end.status == 2 && said.contains(QLatin1String(PortInUse))};
    if (p.fault == FaultType::Rival)
        judgeRival(r, rivalEnd.finished && !rivalEnd.crashed, rivalEnd.status, QString::fromUtf8(rivalEnd.err));
    judgeStatus(r);
    judgeBackups(r);
    judgeMeter(r);
    judgeClaims(r);
    judgeFolder(r);
}

void SoakRun::judgeRival(const CycleRecord& r, bool ended, int status, const QString& told)
{
    const QString said = told.trimmed().replace(QLatin1Char('\n'), QLatin1String(" | "));
    if (!ended)
        return finding(r.cycle, r.plan, QStringLiteral("the rival kr-cli hung or crashed after saying: %1").arg(said));
    const bool rivalRefused = status == 2 && said.contains(QLatin1String(PortInUse));
    if (status != 0 && !rivalRefused)
        finding(r.cycle, r.plan, QStringLiteral("the rival kr-cli ended %1: %2").arg(status).arg(said));
    if (rivalRefused && r.portRefused)
        finding(r.cycle, r.plan, QStringLiteral("both kr-cli processes were refused the port"));
    const std::string turns = judgeTurns(r.events.commands, status == 0, r.portRefused);
    if (!turns.empty())
        finding(r.cycle, r.plan, QString::fromStdString(turns));
}

void SoakRun::judgeStatus(const CycleRecord& r)
{
    if (r.portRefused)
        return;   // the rival had the meter: nothing was asked of it
    const std::vector<int> allowed = allowedStatuses(r.plan.kind, r.plan.fault, r.events, r.held());
    if (std::find(allowed.begin(), allowed.end(), r.status) == allowed.end())
        finding(r.cycle, r.plan, QStringLiteral("exit status %1 where %2 was due; kr-cli said: %3")
                                     .arg(r.status)
                                     .arg(allowed.size() == 1 ? QString::number(allowed[0])
                                                               : QStringLiteral("%1 or %2").arg(allowed[0]).arg(allowed[1]))
                                     .arg(r.said));
}

// Only the expected slot changes; a new backup holds what the meter held and
// was on disk before the meter heard "$*#".
void SoakRun::judgeBackups(const CycleRecord& r)
{
    const SlotJudgement judged = judgeSlots(r.slotsBefore, r.slotsAfter);
    if (!judged.finding.empty())
        finding(r.cycle, r.plan, QString::fromStdString(judged.finding));
    QString why;
    if (judged.newest) {
        const QString scratch = work(QStringLiteral("newest.bak"));
        if (writeFileAtomically(native(scratch), *judged.newest) == WriteResult::Ok &&
            !fileHoldsReadings(scratch, r.before, why))
            finding(r.cycle, r.plan, QStringLiteral("the new backup is not the meter's memory: %1").arg(why));
    }
    if (r.erased() && judged.newest) {
        // Both clocks err on the side of the backup: its time is read no later, the erase's no earlier.
        const QString slotName = QStringLiteral("data%1.bak").arg(judged.slot);
        const qint64 written = QFileInfo(home(slotName)).lastModified().toMSecsSinceEpoch();
        const double erasedAt = double(r.simReadyAtMs) + r.events.firstEraseMs - r.events.startMs;
        if (options.verbose)
            std::printf("  %s written %.0f ms before the meter received \"$*#\"\n", qPrintable(slotName),
                        erasedAt - double(written));
        if (double(written) > erasedAt)
            finding(r.cycle, r.plan, QStringLiteral("%1 was written %2 ms after the meter received \"$*#\"")
                                         .arg(slotName)
                                         .arg(double(written) - erasedAt, 0, 'f', 0));
    }
    if (r.erased() && r.held() && !judged.newest)
        finding(r.cycle, r.plan, QStringLiteral("the meter was sent \"$*#\" holding %1 readings without a new backup")
                                     .arg(r.before.readings.size()));
}

// Readings go only by an erase; the library is the old one or the one sent, never a mixture.
void SoakRun::judgeMeter(const CycleRecord& r)
{
    if (readingsText(r.after) != readingsText(r.before) && !(r.erased() && r.after.readings.empty()))
        finding(r.cycle, r.plan, QStringLiteral("the meter's readings changed without an erase"));
    const std::string libraryAfter = libraryOf(r.after);
    if (libraryAfter != libraryOf(r.before) && libraryAfter != r.events.uploaded)
        finding(r.cycle, r.plan, QStringLiteral("the meter's library is neither the old one nor the one sent"));
    if (r.after.serial != r.before.serial)
        finding(r.cycle, r.plan, QStringLiteral("the meter's serial number changed"));
}

// What the exit status claims must be so.
void SoakRun::judgeClaims(const CycleRecord& r)
{
    const bool ok = r.status == 0;
    QString why;
    switch (r.plan.kind) {
    case Kind::Download: {
        const QString data = home(QStringLiteral("out.krx"));
        const bool wrote = QFileInfo::exists(data);
        if (ok && r.held() && !wrote)
            finding(r.cycle, r.plan, QStringLiteral("a download of %1 readings ended 0 without writing the file; kr-cli said: %2")
                                         .arg(r.before.readings.size())
                                         .arg(r.said));
        else if (ok && r.held() && !fileHoldsReadings(data, r.before, why))
            finding(r.cycle, r.plan, QStringLiteral("a download ended 0 but %1").arg(why));
        else if (!ok && wrote)
            finding(r.cycle, r.plan, QStringLiteral("a failed download (%1) still wrote its file").arg(r.status));
        break;
    }
    case Kind::Erase:
        if (ok && r.held() && !r.erased())
            finding(r.cycle, r.plan, QStringLiteral("an erase ended 0 but the meter received no \"$*#\"; kr-cli said: %1").arg(r.said));
        if (r.status == 4 && r.erased())
            finding(r.cycle, r.plan, QStringLiteral("an erase refused (4) still sent \"$*#\""));
        break;
    case Kind::Serial: {
        const QString printed = QString::fromUtf8(r.out).trimmed();
        if (ok && printed != QString::fromLatin1(r.before.serial.c_str()))
            finding(r.cycle, r.plan, QStringLiteral("the serial number printed was \"%1\"").arg(printed));
        break;
    }
    case Kind::LibraryGet:
        if (ok != QFileInfo::exists(home(QStringLiteral("out.lst"))))
            finding(r.cycle, r.plan, QStringLiteral("library get ended %1 %2 the list file")
                                         .arg(r.status)
                                         .arg(ok ? QStringLiteral("without writing") : QStringLiteral("but wrote")));
        break;
    case Kind::LibraryPut:
        if (ok && libraryOf(r.after).substr(0, 31 * 16) != putSpecies())
            finding(r.cycle, r.plan, QStringLiteral("library put ended 0 but the meter does not hold the list's species"));
        if (r.status == 4 && (r.erased() || r.events.received("$6")))
            finding(r.cycle, r.plan, QStringLiteral("a refused library put (4) still erased or sent"));
        break;
    }
}

// The list's 31 species as the meter keeps them: name in 13 places, a space, SG x 100.
std::string SoakRun::putSpecies() const
{
    std::string text;
    for (const std::string& code : putCodes) {
        const TItem* item = catalogue.FindByCode(code);
        std::string name = item->GetName().substr(0, 13);
        name.resize(13, ' ');
        text += name + ' ' + item->FormatSG().substr(2, 2);
    }
    return text;
}

// Nothing half-written may stay behind in the program folder.
void SoakRun::judgeFolder(const CycleRecord& r)
{
    static const QStringList known{QStringLiteral("Factors.dat"), QStringLiteral("Added.dat"),
                                   QStringLiteral("out.krx"), QStringLiteral("out.lst"),
                                   QStringLiteral("out.wallroof"), QStringLiteral("put.lst"), QStringLiteral("kr.ini")};
    static const QRegularExpression slot(QStringLiteral("^data[1-9]\\.bak$"));
    const QStringList present = QDir(homePath).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : present) {
        if (known.contains(name) || slot.match(name).hasMatch())
            continue;
        finding(r.cycle, r.plan, QStringLiteral("left behind in the program folder: %1").arg(name));
        QFile::remove(home(name));
    }
}


int SoakRun::run()
{
    if (!setUp())
        return 2;
    // Ctrl+C or a timeout ends the run after the cycle in hand, with its summary and tidied folders.
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    clock.start();
    const qint64 limitMs = qint64(options.minutes * 60000.0);
    for (int cycle = 1; options.cycles == 0 || cycle <= options.cycles; ++cycle) {
        if (limitMs > 0 && clock.elapsed() >= limitMs)
            break;
        if (stopRequested)
            break;
        runCycle(cycle);
    }
    printSummary(clock.elapsed());
    return findings.empty() ? 0 : 1;
}

void SoakRun::printSummary(qint64 elapsedMs) const
{
    auto table = [](const QMap<QString, int>& counts) {
        QString text;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            text += QStringLiteral(" %1 %2").arg(it.key()).arg(it.value());
        return text;
    };
    QString statuses;
    for (auto it = perStatus.cbegin(); it != perStatus.cend(); ++it)
        statuses += QStringLiteral(" %1:%2").arg(it.key() < 0 ? QStringLiteral("none") : QString::number(it.key()))
                        .arg(it.value());
    std::printf("kr-soak: seed %llu, %d cycles in %.1f s\n", static_cast<unsigned long long>(options.seed), cyclesRun,
                double(elapsedMs) / 1000.0);
    std::printf("  per kind:%s\n", qPrintable(table(perKind)));
    std::printf("  per fault:%s\n", qPrintable(table(perFault)));
    std::printf("  exit statuses:%s\n", qPrintable(statuses));
    if (!diskFullNote.isEmpty())
        std::printf("  %s\n", qPrintable(diskFullNote));
    std::printf("  findings: %zu\n", findings.size());
    for (const Finding& f : findings)
        std::printf("    cycle %d: %s (replay: kr-soak --seed %llu --cycles %d)\n", f.cycle, qPrintable(f.what),
                    static_cast<unsigned long long>(options.seed), f.cycle);
    std::fflush(stdout);
}

} // namespace kr::soak
