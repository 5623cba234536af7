// Times the link against the simulated meter at its real 4800-baud pace:
// how long after the last reply byte each quiet timer fires, and how much CPU
// the process uses while the link waits.
//
//   kr-link-bench [--sim PATH] [--rounds N]
//
// PATH defaults to $KR_SIM, then to tools/kr-meter-sim in the build folder.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/Errors.h"
#include "meter/MeterLink.h"
#include "meter/Wait.h"
#include "platform/SerialTransport.h"

#include "bench/CpuTime.h"

using namespace kr;
using kr::bench::cpuMs;

namespace {

struct Sample {
    double quietMs = -1;   // last reply byte -> quiet timer fired (or command sent -> fired without reply)
    double wallMs = 0;     // command sent -> quiet timer fired
    double replyMs = 0;    // first -> last reply byte
    double cpuMs = 0;      // process CPU from command sent to timer fired
    double tailCpuMs = 0;  // process CPU from the last reply byte to the timer's firing
    size_t lines = 0;
    qint64 bytes = 0;
};

Sample runExchange(TMeterLink& link, QTimer& timer, const char* command)
{
    QElapsedTimer clock;
    Sample s;
    double firstByte = -1, lastByte = -1, fired = -1, cpuAtLastByte = 0, cpuAtFiring = 0;
    auto onBytes = QObject::connect(&link.transport(), &SerialTransport::received, [&](const QByteArray& b) {
        cpuAtLastByte = cpuMs();
        lastByte = double(clock.nsecsElapsed()) / 1e6;
        if (firstByte < 0)
            firstByte = lastByte;
        s.bytes += b.size();
    });
    auto onFire = QObject::connect(&timer, &QTimer::timeout, [&] {
        fired = double(clock.nsecsElapsed()) / 1e6;
        cpuAtFiring = cpuMs();
        link.BeginQuietTimer(timer);
    });
    const double cpu0 = cpuMs();
    cpuAtLastByte = cpu0;
    clock.start();
    link.StartExchange(timer, command);
    WaitUntil([&] { return fired >= 0; }, 60000);
    s.cpuMs = cpuMs() - cpu0;
    QObject::disconnect(onBytes);
    QObject::disconnect(onFire);
    s.tailCpuMs = cpuAtFiring - cpuAtLastByte;
    s.wallMs = fired;
    s.quietMs = fired - (lastByte >= 0 ? lastByte : 0);
    s.replyMs = lastByte >= 0 ? lastByte - firstByte : 0;
    s.lines = link.Reply().size();
    return s;
}

void report(const char* name, std::vector<Sample> v)
{
    auto stat = [&](auto field) {
        std::vector<double> x;
        for (const Sample& s : v)
            x.push_back(field(s));
        std::sort(x.begin(), x.end());
        return std::array<double, 3>{x.front(), x[x.size() / 2], x.back()};
    };
    const auto q = stat([](const Sample& s) { return s.quietMs; });
    const auto cpu = stat([](const Sample& s) { return s.cpuMs; });
    const auto wall = stat([](const Sample& s) { return s.wallMs; });
    const auto reply = stat([](const Sample& s) { return s.replyMs; });
    const auto tail = stat([](const Sample& s) { return s.tailCpuMs; });
    std::printf("%-17s %3zu lines %5lld bytes | reply %7.1f ms | last byte -> timer min %5.1f med %5.1f max %5.1f ms"
                " | CPU in that wait %4.2f ms | whole exchange %7.1f ms, CPU %5.1f ms (%.2f %%)\n",
                name, v[0].lines, static_cast<long long>(v[0].bytes), reply[1], q[0], q[1], q[2], tail[2], wall[1],
                cpu[1], 100.0 * cpu[1] / wall[1]);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString sim = qEnvironmentVariable("KR_SIM");
    int rounds = 5;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--sim"))
            sim = args[++i];
        else if (args[i] == QLatin1String("--rounds"))
            rounds = std::max(1, args[++i].toInt());
    }
    if (sim.isEmpty())
        sim = QDir(app.applicationDirPath()).filePath(QStringLiteral("../../tools/kr-meter-sim"));

    QTemporaryDir dir;
    QProcess meter;
    meter.setProgram(sim);
    meter.setArguments({QStringLiteral("--state"), dir.filePath(QStringLiteral("meter.state"))});
    meter.start();
    if (!meter.waitForStarted(5000) || !meter.waitForReadyRead(5000)) {
        std::fprintf(stderr, "cannot start the simulated meter %s\n%s", qPrintable(sim),
                     meter.readAllStandardError().constData());
        return 1;
    }
    const QByteArray device = meter.readLine().trimmed();
    qputenv("KR_PORT_1", device);

    TMeterLink link;
    link.PortNumber = 1;
    try {
        link.Open();
    } catch (const KrError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("simulated meter at %s (real pace), quiet interval %d ms, %d rounds\n", device.constData(),
                link.quietInterval(), rounds);

    struct Case {
        const char* name;
        QTimer* timer;
        const char* command;
    };
    const Case cases[] = {
        {"$5 serial number", &link.timGotSerialNo, "$5"},
        {"$3 summary", &link.TimGotSummaryData, "$3"},
        {"$2 library", &link.TimGotLibraryData, "$2"},
        {"$4 data records", &link.TimGotDataRecords, "$4"},
        {"no reply (\"?\")", &link.TimGotSummaryData, "?"},
    };
    for (const Case& c : cases) {
        std::vector<Sample> samples;
        for (int i = 0; i < rounds; ++i)
            samples.push_back(runExchange(link, *c.timer, c.command));
        report(c.name, samples);
        std::fflush(stdout);
    }

    // Nothing on the line at all: the waiting loop alone.
    const double cpu0 = cpuMs();
    QElapsedTimer clock;
    clock.start();
    WaitUntil([] { return false; }, 3000);
    std::printf("idle WaitUntil     %.0f ms wall, CPU %.2f ms\n", double(clock.elapsed()), cpuMs() - cpu0);

    link.Close();
    meter.terminate();
    meter.waitForFinished(3000);
    return 0;
}
