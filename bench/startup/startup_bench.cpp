// Times `kr FILE` in-process: from main() to the main window shown with the
// file's readings in the grid (a full document of 625 readings). The splash
// stays on top for its own three seconds; that is not counted.
//
//   kr-startup-bench [--runs N]      (each run is a fresh process)
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "core/Readings.h"
#include "mainwindow/Main.h"
#include "shell/Startup.h"
#include "tests/support/FullDocument.h"

using namespace kr;

namespace {

// Resident memory of this process now, in KiB (0 where /proc is missing).
long residentKib()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// One run in this process: prints the milliseconds to the shown file, then
// the resident memory once the readings are painted.
int oneRun(QElapsedTimer& clock, int argc, char** argv, const QString& file)
{
    QApplication app(argc, argv);
    StartupOptions options;
    options.openPort = false;
    options.startFile = file;
    TProgram program(options);
    program.Show();
    QEventLoop loop;
    QTimer poll;
    // Checked at each turn of the event loop, not spun: the timer sleeps 1 ms.
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (program.fmMain()->isVisible() && program.fmMain()->Document().GetFileName() != TFile::NoFileName)
            loop.quit();
    });
    poll.start(1);
    loop.exec();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    poll.stop();
    // Let the grid paint before the memory is read, as a user would see it.
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();
    std::printf("%.1f %ld\n", ms, residentKib());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QElapsedTimer clock;
    clock.start();
    if (argc == 3 && QByteArray(argv[1]) == "--one")
        return oneRun(clock, 1, argv, QString::fromLocal8Bit(argv[2]));

    QCoreApplication app(argc, argv);
    int runs = 5;
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == "--runs")
        runs = std::max(1, args[2].toInt());
    QTemporaryDir home;
    TKRFile doc;
    test::fillFullDocument(doc);
    const QString file = home.filePath("full.krx");
    doc.SaveToFile(file.toStdString());

    QList<double> inside, whole, rss;
    for (int i = 0; i < runs; ++i) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KR_HOME", home.path());
        if (!env.contains("QT_QPA_PLATFORM"))
            env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        QElapsedTimer t;
        t.start();
        p.start(app.applicationFilePath(), {"--one", file});
        if (!p.waitForFinished(30000))
            return 1;
        whole << double(t.nsecsElapsed()) / 1e6;
        const QList<QByteArray> figures = p.readAllStandardOutput().trimmed().split(' ');
        inside << figures.value(0).toDouble();
        rss << figures.value(1).toDouble() / 1024.0;
    }
    std::sort(inside.begin(), inside.end());
    std::sort(whole.begin(), whole.end());
    std::sort(rss.begin(), rss.end());
    std::printf("kr FILE (625 readings) to the main window showing them\n");
    std::printf("main() to shown   median %6.1f ms  min %6.1f  max %6.1f  (%lld runs)\n", inside[inside.size() / 2],
                inside.first(), inside.last(), static_cast<long long>(runs));
    std::printf("process, to exit  median %6.1f ms  (includes loading the libraries and tearing down)\n",
                whole[whole.size() / 2]);
    std::printf("resident memory   median %6.1f MiB (the full document shown)\n", rss[rss.size() / 2]);
    return 0;
}
