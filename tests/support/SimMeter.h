#pragma once
#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace kr::test {

// Runs kr-meter-sim for one test: its own pseudo-terminal, a state file and a log in a
// temporary folder. Usage:
//     SimMeter sim(SimMeter::Options().fault("gap=600@4"));
//     QVERIFY2(sim.start(), qPrintable(sim.errorString()));
//     port.setPortName(sim.devicePath());
// The simulator is stopped (SIGTERM) when the object goes.
class SimMeter {
public:
    struct Options {
        bool fast = true;            // false: real 4800-baud pacing
        QStringList faults;          // --fault values, e.g. "silent", "drop-after=120"
        bool log = true;             // write a --log file (see readLog)
        bool emptyMeter = false;     // a new state file holds no readings (--init empty)
        QByteArray stateText;        // written as the state file before start, if not empty
        QString statePath;           // use this state file instead of one in the temp folder
        QString link;                // --link PATH
        int latencyMs = 0;           // --latency
        QStringList extraArgs;
        int startTimeoutMs = 10000;

        // Chainable setters: SimMeter sim(SimMeter::Options().realPace().fault("gap@4"));
        Options& realPace() { fast = false; return *this; }
        Options& fault(const QString& faultText) { faults << faultText; return *this; }
        Options& withoutLog() { log = false; return *this; }
        Options& empty() { emptyMeter = true; return *this; }
        Options& state(const QByteArray& text) { stateText = text; return *this; }
        Options& stateFile(const QString& path) { statePath = path; return *this; }
        Options& linkAt(const QString& path) { link = path; return *this; }
        Options& latency(int ms) { latencyMs = ms; return *this; }
        Options& arg(const QString& a) { extraArgs << a; return *this; }
    };

    // One received byte as the log recorded it.
    struct Received {
        double ms = 0;
        char byte = 0;
    };

    SimMeter();
    explicit SimMeter(Options options);
    ~SimMeter();
    SimMeter(const SimMeter&) = delete;
    SimMeter& operator=(const SimMeter&) = delete;

    // Starts the simulator and waits (event loop, no spinning) for its device path.
    bool start();
    QString errorString() const { return error; }

    QString devicePath() const { return device; }
    QString statePath() const { return state; }
    QString logPath() const { return log; }

    QString readLog() const;
    QByteArray readState() const;
    // The commands recognised so far, from the log: "$3", "$*#", "$6", ...
    QStringList commands() const;
    // Every byte received so far, from the log.
    QList<Received> received() const;
    // Waits until the log holds `text` (e.g. "state saved"); false on timeout.
    bool waitForLog(const QString& text, int timeoutMs = 5000) const;

    bool isRunning() const;
    // Waits for the simulator to end by itself (e.g. after drop-after); false on timeout.
    bool waitForExit(int timeoutMs = 5000);
    int exitCode() const;
    QByteArray errorOutput();
    // SIGTERM, then SIGKILL if it does not end in time; true after a clean exit.
    bool stop(int timeoutMs = 5000);

    // KR_SIM, else KR_BUILD_DIR/tools/kr-meter-sim.
    static QString executable();

private:
    Options options;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QProcess> process;
    QString device;
    QString state;
    QString log;
    QString error;
    QByteArray stderrText;
};

} // namespace kr::test
