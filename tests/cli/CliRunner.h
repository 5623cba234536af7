#pragma once
#include <QByteArray>
#include <QEventLoop>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTimer>

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
inline CliResult runProgram(const QString& program, const QStringList& args,
                            const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                            int timeoutMs = 60000)
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
inline CliResult runCli(const QStringList& args, const QStringList& extraEnv = {},
                        const QString& locale = QStringLiteral("C.UTF-8"), int timeoutMs = 60000)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), locale);
    env.insert(QStringLiteral("LANG"), locale);
    env.remove(QStringLiteral("KR_HOME"));
    for (const QString& entry : extraEnv) {
        const auto eq = entry.indexOf('=');
        env.insert(entry.left(eq), entry.mid(eq + 1));
    }
    return runProgram(cliExecutable(), args, env, timeoutMs);
}

} // namespace kr::test
