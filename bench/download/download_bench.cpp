// Times a whole "Load data from meter" against the simulated meter at its
// real 4800-baud pace, with the program's real 500 ms quiet interval: the wall
// time from the button to the refreshed document, the wire time of the bytes
// that crossed the line, and the CPU time the program used meanwhile.
//
//   kr-download-bench [--sim PATH] [--readings N] [--runs N]
//
// PATH defaults to $KR_SIM, then to tools/kr-meter-sim in the build folder.
// N readings (default 625, the meter's whole memory) are spread over the 25
// meter files.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <cstdio>

#include "meter/Exchanges.h"
#include "platform/SerialTransport.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/SimMeter.h"

#include "bench/CpuTime.h"

using namespace kr;
using kr::bench::cpuMs;
using kr::test::SimMeter;

namespace {

constexpr double BaudRate = 4800;
constexpr double BitsPerCharacter = 10;   // start bit, 8 data bits, stop bit

double wireMs(qint64 characters) { return double(characters) * BitsPerCharacter / BaudRate * 1e3; }

// A meter whose memory holds `count` readings, file by file.
QByteArray stateWithReadings(int count, QString& error)
{
    SimMeter::Options o;
    o.emptyMeter = true;
    o.log = false;
    SimMeter empty(o);
    if (!empty.start()) {
        error = empty.errorString();
        return {};
    }
    QByteArray text = empty.readState();
    empty.stop();
    static const char* const species[] = {"Red Oak", "White Oak", "Spruce", "Douglas Fir", "Beech", "Ash",
                                          "Cherry", "Hard Maple", "Walnut", "Larch"};
    for (int i = 0; i < count; ++i) {
        const int file = 1 + i / 25, record = 1 + i % 25;
        text += QStringLiteral("reading %1 %2 2026-03-%3 %4:%5 %6 |%7| %8 %9.%10\n")
                    .arg(file, 2, 10, QLatin1Char('0'))
                    .arg(record, 2, 10, QLatin1Char('0'))
                    .arg(1 + file % 28, 2, 10, QLatin1Char('0'))
                    .arg(8 + record % 10, 2, 10, QLatin1Char('0'))
                    .arg(record * 2 % 60, 2, 10, QLatin1Char('0'))
                    .arg(12 + i % 15)
                    .arg(QString::fromLatin1(species[i % 10]))
                    .arg(40 + i % 35)
                    .arg(8 + i % 20)
                    .arg(i % 10)
                    .toLatin1();
    }
    return text;
}

struct Run {
    int readings = 0;
    qint64 summaryBytes = 0, recordBytes = 0;
    double wallMs = 0, cpuMs = 0;
    double summaryEndMs = 0;   // the summary's quiet timer fired
    double lastByteMs = 0;
};

bool runOnce(int readings, const QByteArray& state, Run& run, QString& error)
{
    SimMeter::Options o;
    o.fast = false;
    o.log = false;
    o.stateText = state;
    SimMeter sim(o);
    if (!sim.start()) {
        error = sim.errorString();
        return false;
    }
    qputenv("KR_PORT_7", sim.devicePath().toLocal8Bit());

    TMeterLink link;
    link.PortNumber = 7;
    TStandaloneHost host;
    TMeterExchanges exchanges(link, host);
    // The program opens its port at start; the bench times the download alone.
    link.Open();

    QElapsedTimer clock;
    bool inRecords = false;
    QObject::connect(&link.transport(), &SerialTransport::received, [&](const QByteArray& b) {
        (inRecords ? run.recordBytes : run.summaryBytes) += b.size();
        run.lastByteMs = double(clock.nsecsElapsed()) / 1e6;
    });
    QEventLoop loop;
    QObject::connect(&exchanges, &TMeterExchanges::DownloadEnded, &loop, &QEventLoop::quit);

    const double cpuStart = cpuMs();
    clock.start();
    if (!exchanges.btnDownloadClick()) {
        error = QStringLiteral("the download did not start");
        return false;
    }
    // The summary's handler (connected first) sends "$4"; from here on the
    // bytes belong to the records step.
    QObject::connect(&link.TimGotSummaryData, &QTimer::timeout, [&] {
        run.summaryEndMs = double(clock.nsecsElapsed()) / 1e6;
        inRecords = true;
    });
    loop.exec();
    run.wallMs = double(clock.nsecsElapsed()) / 1e6;
    run.cpuMs = cpuMs() - cpuStart;
    run.readings = host.document.CountReadings();
    if (run.readings != readings || exchanges.LastDownloadOutcome().kind != TDownloadOutcome::Received) {
        error = QStringLiteral("only %1 of %2 readings arrived").arg(run.readings).arg(readings);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString sim = qEnvironmentVariable("KR_SIM");
    int readings = 625, runs = 1;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--sim") && i + 1 < args.size())
            sim = args[++i];
        else if (args[i] == QLatin1String("--readings") && i + 1 < args.size())
            readings = qBound(1, args[++i].toInt(), 625);
        else if (args[i] == QLatin1String("--runs") && i + 1 < args.size())
            runs = qBound(1, args[++i].toInt(), 20);
        else {
            std::fprintf(stderr, "usage: kr-download-bench [--sim PATH] [--readings N] [--runs N]\n");
            return 2;
        }
    }
    if (sim.isEmpty())
        sim = QDir(app.applicationDirPath()).filePath(QStringLiteral("../../tools/kr-meter-sim"));
    qputenv("KR_SIM", QDir::cleanPath(sim).toLocal8Bit());
    // Any message box would mean the download went wrong; none is answered.
    kr::test::ScriptedPrompts prompts;

    QString error;
    const QByteArray state = stateWithReadings(readings, error);
    if (state.isEmpty()) {
        std::fprintf(stderr, "cannot start the simulated meter: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("Full download of %d readings from kr-meter-sim at 4800 baud, quiet interval %d ms\n", readings,
                TMeterLink::DefaultQuietInterval);
    std::printf("%4s %9s %9s %10s %10s %10s %12s %9s %7s\n", "run", "summary", "records", "wire ms", "wall ms",
                "overhead", "beyond 2x500", "CPU ms", "CPU %");
    for (int r = 1; r <= runs; ++r) {
        Run run;
        if (!runOnce(readings, state, run, error) || !prompts.asked().isEmpty()) {
            std::fprintf(stderr, "run %d failed: %s %s\n", r, qPrintable(error),
                         qPrintable(prompts.messageTexts().join(QLatin1Char(' '))));
            return 1;
        }
        // Characters on the line: the two commands out, both replies back.
        const qint64 characters = 2 + 2 + run.summaryBytes + run.recordBytes;
        const double wire = wireMs(characters);
        const double overhead = run.wallMs - wire;
        std::printf("%4d %8lldB %8lldB %10.0f %10.0f %10.0f %12.0f %9.1f %6.2f%%\n", r,
                    static_cast<long long>(run.summaryBytes), static_cast<long long>(run.recordBytes), wire,
                    run.wallMs, overhead, overhead - 2 * TMeterLink::DefaultQuietInterval, run.cpuMs,
                    run.cpuMs / run.wallMs * 100);
        std::printf("     summary step ended at %.0f ms; last reply byte at %.0f ms, the document was filled "
                    "%.0f ms later\n",
                    run.summaryEndMs, run.lastByteMs, run.wallMs - run.lastByteMs);
    }
    return 0;
}
