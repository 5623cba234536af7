#pragma once
#include <QByteArray>
#include <QEventLoop>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

namespace kr::test {

// Runs the kr-cli program the build made and collects what it said.
struct CliResult {
    int status = -1;          // exit status; -1 when it crashed or did not end in time
    QByteArray out;
    QByteArray err;
    QString errText() const { return QString::fromUtf8(err); }
};

inline QString cliExecutable()
{
    return qEnvironmentVariable("KR_BUILD_DIR") + QStringLiteral("/tools/kr-cli");
}

// Runs a program to its end, waiting in an event loop; -1 as status when it
// crashed, could not start or did not end in time.
// `whileRunning` is called once the program has started, from the loop.
inline CliResult runProgram(const QString& program, const QStringList& args,
                            const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                            int timeoutMs = 60000, const std::function<void(QProcess&)>& whileRunning = {})
{
    QProcess process;
    process.setProcessEnvironment(env);
    CliResult result;
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&process, &QProcess::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            loop.quit();
    });
    if (whileRunning)
        QObject::connect(&process, &QProcess::started, &loop, [&] {
            QTimer::singleShot(0, &loop, [&] { whileRunning(process); });
        });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    process.start(program, args);
    loop.exec();
    if (!finished && process.state() != QProcess::NotRunning) {
        process.kill();
        QEventLoop gone;
        QObject::connect(&process, &QProcess::finished, &gone, &QEventLoop::quit);
        QTimer::singleShot(5000, &gone, &QEventLoop::quit);
        if (process.state() != QProcess::NotRunning)
            gone.exec();
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    if (finished && process.exitStatus() == QProcess::NormalExit)
        result.status = process.exitCode();
    return result;
}

// The locale is fixed so that date and number texts are known; `locale`
// picks another one. Extra variables come as "NAME=value".
inline QProcessEnvironment cliEnvironment(const QStringList& extraEnv = {},
                                          const QString& locale = QStringLiteral("C.UTF-8"))
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), locale);
    env.insert(QStringLiteral("LANG"), locale);
    env.remove(QStringLiteral("KR_HOME"));
    for (const QString& entry : extraEnv) {
        const auto eq = entry.indexOf('=');
        env.insert(entry.left(eq), entry.mid(eq + 1));
    }
    return env;
}

inline CliResult runCli(const QStringList& args, const QStringList& extraEnv = {},
                        const QString& locale = QStringLiteral("C.UTF-8"), int timeoutMs = 60000)
{
    return runProgram(cliExecutable(), args, cliEnvironment(extraEnv, locale), timeoutMs);
}

// Starts kr-cli once for each argument list, all at once, and waits for every
// one to end; the results come in the order of the lists.
inline QList<CliResult> runCliTogether(const QList<QStringList>& argLists, int timeoutMs = 60000)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    QEventLoop loop;
    qsizetype running = argLists.size();
    for (qsizetype i = 0; i < argLists.size(); ++i) {
        auto& process = processes.emplace_back(std::make_unique<QProcess>());
        process->setProcessEnvironment(cliEnvironment());
        QObject::connect(process.get(), &QProcess::stateChanged, &loop, [&](QProcess::ProcessState state) {
            if (state == QProcess::NotRunning && --running == 0)
                loop.quit();
        });
    }
    for (qsizetype i = 0; i < argLists.size(); ++i)
        processes[size_t(i)]->start(cliExecutable(), argLists[i]);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (running > 0)
        loop.exec();
    QList<CliResult> results;
    for (auto& process : processes) {
        CliResult result;
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        } else if (process->exitStatus() == QProcess::NormalExit && process->error() != QProcess::FailedToStart) {
            result.status = process->exitCode();
        }
        result.out = process->readAllStandardOutput();
        result.err = process->readAllStandardError();
        results << result;
    }
    return results;
}

} // namespace kr::test
