#include "tests/support/SimMeter.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileSystemWatcher>
#include <QTimer>
#include <functional>

namespace kr::test {

namespace {

QString readText(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(f.readAll());
}

// Runs an event loop until `done` holds after one of the given wake-ups, or the time is up.
template <typename Done>
bool waitUntil(int timeoutMs, Done done, const std::function<void(QEventLoop&)>& connect)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(loop);
    timeout.start(timeoutMs);
    while (!done() && timeout.isActive())
        loop.exec();
    return done();
}

} // namespace

SimMeter::SimMeter() : SimMeter(Options{}) {}

SimMeter::SimMeter(Options opts) : options(std::move(opts)) {}

SimMeter::~SimMeter()
{
    stop();
}

QString SimMeter::executable()
{
    QString sim = qEnvironmentVariable("KR_SIM");
    if (!sim.isEmpty())
        return sim;
    return qEnvironmentVariable("KR_BUILD_DIR") + QStringLiteral("/tools/kr-meter-sim");
}

bool SimMeter::start()
{
    dir = std::make_unique<QTemporaryDir>();
    if (!dir->isValid()) {
        error = QStringLiteral("cannot make a temporary folder");
        return false;
    }
    state = options.statePath.isEmpty() ? dir->filePath(QStringLiteral("meter-state.txt")) : options.statePath;
    log = options.log ? dir->filePath(QStringLiteral("meter.log")) : QString();
    if (!options.stateText.isEmpty()) {
        QFile f(state);
        if (!f.open(QIODevice::WriteOnly) || f.write(options.stateText) != options.stateText.size()) {
            error = QStringLiteral("cannot write the state file ") + state;
            return false;
        }
    }

    // The simulator ends with our end of its standard input, even if this test crashes.
    QStringList args{QStringLiteral("--watch-stdin"), QStringLiteral("--state"), state};
    if (!log.isEmpty())
        args << QStringLiteral("--log") << log;
    if (options.fast)
        args << QStringLiteral("--fast");
    if (options.emptyMeter)
        args << QStringLiteral("--init") << QStringLiteral("empty");
    if (options.latencyMs > 0)
        args << QStringLiteral("--latency") << QString::number(options.latencyMs);
    if (!options.link.isEmpty())
        args << QStringLiteral("--link") << options.link;
    for (const QString& f : options.faults)
        args << QStringLiteral("--fault") << f;
    args << options.extraArgs;

    process = std::make_unique<QProcess>();
    process->start(executable(), args);
    QByteArray out;
    bool ended = false;
    bool gotLine = waitUntil(
        options.startTimeoutMs,
        [&] {
            out += process->readAllStandardOutput();
            return out.contains('\n') || ended;
        },
        [&](QEventLoop& loop) {
            QObject::connect(process.get(), &QProcess::readyReadStandardOutput, &loop, &QEventLoop::quit);
            QObject::connect(process.get(), &QProcess::finished, &loop, [&] {
                ended = true;
                loop.quit();
            });
            QObject::connect(process.get(), &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError e) {
                if (e == QProcess::FailedToStart)
                    ended = true;
                loop.quit();
            });
        });
    if (!gotLine || !out.contains('\n')) {
        stderrText += process->readAllStandardError();
        error = QStringLiteral("kr-meter-sim (%1) gave no device path: %2 %3")
                    .arg(executable(), process->errorString(), QString::fromLocal8Bit(stderrText));
        return false;
    }
    device = QString::fromLocal8Bit(out.left(out.indexOf('\n'))).trimmed();
    return true;
}

QString SimMeter::readLog() const
{
    return log.isEmpty() ? QString() : readText(log);
}

QByteArray SimMeter::readState() const
{
    QFile f(state);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList SimMeter::commands() const
{
    QStringList found;
    for (const QString& line : readLog().split(QLatin1Char('\n'))) {
        const QStringList parts = line.split(QLatin1Char(' '));
        if (!line.startsWith(QLatin1Char('#')) && parts.size() >= 3 && parts[1] == QLatin1String("cmd"))
            found << parts[2];
    }
    return found;
}

QList<SimMeter::Received> SimMeter::received() const
{
    QList<Received> bytes;
    for (const QString& line : readLog().split(QLatin1Char('\n'))) {
        const QStringList parts = line.split(QLatin1Char(' '));
        if (!line.startsWith(QLatin1Char('#')) && parts.size() >= 3 && parts[1] == QLatin1String("rx"))
            bytes.append({parts[0].toDouble(), static_cast<char>(parts[2].toInt(nullptr, 16))});
    }
    return bytes;
}

bool SimMeter::waitForLog(const QString& text, int timeoutMs) const
{
    if (log.isEmpty())
        return false;
    QFileSystemWatcher watcher({log});
    // A slow timer backs up the watcher, which may merge or miss changes.
    QTimer recheck;
    recheck.start(100);
    return waitUntil(
        timeoutMs, [&] { return readLog().contains(text); },
        [&](QEventLoop& loop) {
            QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, &loop, &QEventLoop::quit);
            QObject::connect(&recheck, &QTimer::timeout, &loop, &QEventLoop::quit);
        });
}

bool SimMeter::isRunning() const
{
    return process && process->state() != QProcess::NotRunning;
}

bool SimMeter::waitForExit(int timeoutMs)
{
    if (!process)
        return true;
    return waitUntil(
        timeoutMs, [&] { return process->state() == QProcess::NotRunning; },
        [&](QEventLoop& loop) {
            QObject::connect(process.get(), &QProcess::finished, &loop, &QEventLoop::quit);
        });
}

int SimMeter::exitCode() const
{
    return process ? process->exitCode() : -1;
}

QByteArray SimMeter::errorOutput()
{
    if (process)
        stderrText += process->readAllStandardError();
    return stderrText;
}

bool SimMeter::stop(int timeoutMs)
{
    if (!process)
        return false;
    if (process->state() != QProcess::NotRunning) {
        process->terminate();
        if (!waitForExit(timeoutMs)) {
            process->kill();
            waitForExit(timeoutMs);
            return false;
        }
    }
    errorOutput();
    return process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
}

} // namespace kr::test
