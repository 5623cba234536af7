// Times a whole "Save library to meter" against the simulated meter at its
// real 4800-baud pace: from the last "$*#" to the last library character as
// the meter's log saw them, the gaps between the characters (the meter's log
// and the program's own clock), and the CPU time the program used while it
// paced the 608 characters.
//
//   kr-library-bench [--sim PATH] [--runs N] [--nd]
//
// PATH defaults to $KR_SIM, then to tools/kr-meter-sim in the build folder.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "library/LibraryExchanges.h"
#include "meter/Wait.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/SimMeter.h"

#include "bench/CpuTime.h"

using namespace kr;
using kr::bench::cpuMs;
using kr::test::SimMeter;

namespace {

// Notes the clock and the CPU time when the upload's progress is set up,
// and the program's clock at each character sent.
class UploadClock : public NullProgress {
public:
    QElapsedTimer clock;
    double cpuAtStart = 0, wallAtStart = 0;
    QList<double> stepMs;
    bool uploading = false;

    UploadClock() { clock.start(); }
    void SetUpProgress(int maximum, int step, const std::string& caption) override
    {
        NullProgress::SetUpProgress(maximum, step, caption);
        uploading = caption == library_text::Uploading;
        if (uploading) {
            cpuAtStart = cpuMs();
            wallAtStart = now();
        }
    }
    void StepProgress() override
    {
        NullProgress::StepProgress();
        if (uploading)
            stepMs << now();
    }
    double now() const { return double(clock.nsecsElapsed()) / 1e6; }
};

std::string catalogueText()
{
    std::string text;
    for (int i = 1; i <= TLibraryExchanges::SpeciesCount; ++i) {
        char line[100];
        std::snprintf(line, sizeof line, "B%07d%-16s%-32s%-8s%-16s\r\n", i, ("Bench wood " + std::to_string(i)).c_str(),
                      "", ("0." + std::to_string(30 + i)).c_str(), "Bench");
        text += line;
    }
    return text;
}

struct Run {
    double lineMs = 0;            // last "$*#" to last character, meter's log
    double smallestGap = 0, medianGap = 0, largestGap = 0;
    int shortGaps = 0;            // 5 ms or less in the meter's log
    double smallestOwnGap = 0, medianOwnGap = 0, meanOwnGap = 0;   // between sends, program's clock
    double wallMs = 0, cpuMs = 0; // pacing the characters
};

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool runOnce(bool nd, Run& run, QString& error)
{
    SimMeter::Options o;
    o.fast = false;
    SimMeter sim(o);
    if (!sim.start()) {
        error = sim.errorString();
        return false;
    }
    qputenv("KR_PORT_7", sim.devicePath().toLocal8Bit());
    QTemporaryDir home;
    kr::test::ScriptedPrompts prompts;
    prompts.answer(mbOK);

    UploadClock progress;
    TMeterLink link;
    link.PortNumber = 7;
    link.setProgress(&progress);
    TStandaloneHost host;
    TMeterExchanges exchanges(link, host);
    exchanges.SetBackupFolder(QDir::toNativeSeparators(home.path()).toStdString());
    TFactorCatalogue catalogue;
    catalogue.LoadFromText(catalogueText());
    TLibraryExchanges library(exchanges, catalogue);
    library.SetFolder(home.path());
    library.SetNoExtraErase(nd);
    link.Open();

    std::vector<std::string> codes;
    for (int i = 0; i < catalogue.Count(); ++i)
        codes.push_back(catalogue.Item(i).GetCode());
    const TLibraryUploadOutcome outcome = library.BtnSendClick(codes).outcome;
    run.wallMs = progress.now() - progress.wallAtStart;
    run.cpuMs = cpuMs() - progress.cpuAtStart;
    // The question, then the report of the backup the erase made.
    if (outcome != TLibraryUploadOutcome::Sent || prompts.messages().size() != 2) {
        error = QStringLiteral("the upload did not go through: %1").arg(prompts.messageTexts().join(QLatin1Char(' ')));
        return false;
    }
    if (!sim.waitForLog(QStringLiteral("upload stored"))) {
        error = QStringLiteral("the meter did not store the library");
        return false;
    }

    const QList<SimMeter::Received> bytes = sim.received();
    const qsizetype six = bytes.size() - 609;
    QList<double> gaps;
    for (qsizetype i = six + 1; i < bytes.size(); ++i)
        gaps << bytes[i].ms - bytes[i - 1].ms;
    // The last erase command: its "#" is the last one before "$6".
    const double start = nd ? bytes[six - 1].ms : bytes[six - 2].ms;
    run.lineMs = bytes.last().ms - start;
    run.smallestGap = *std::min_element(gaps.begin(), gaps.end());
    run.largestGap = *std::max_element(gaps.begin(), gaps.end());
    run.medianGap = median(gaps);
    run.shortGaps = int(std::count_if(gaps.begin(), gaps.end(), [](double g) { return g <= 5.0; }));
    QList<double> own;
    for (qsizetype i = 1; i < progress.stepMs.size(); ++i)
        own << progress.stepMs[i] - progress.stepMs[i - 1];
    run.smallestOwnGap = *std::min_element(own.begin(), own.end());
    run.medianOwnGap = median(own);
    run.meanOwnGap = (progress.stepMs.last() - progress.stepMs.first()) / double(own.size());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString sim = qEnvironmentVariable("KR_SIM");
    int runs = 1;
    bool nd = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--sim") && i + 1 < args.size())
            sim = args[++i];
        else if (args[i] == QLatin1String("--runs") && i + 1 < args.size())
            runs = qBound(1, args[++i].toInt(), 20);
        else if (args[i] == QLatin1String("--nd"))
            nd = true;
        else {
            std::fprintf(stderr, "usage: kr-library-bench [--sim PATH] [--runs N] [--nd]\n");
            return 2;
        }
    }
    if (sim.isEmpty())
        sim = QDir(app.applicationDirPath()).filePath(QStringLiteral("../../tools/kr-meter-sim"));
    qputenv("KR_SIM", QDir::cleanPath(sim).toLocal8Bit());

    std::printf("Library upload of 608 characters to kr-meter-sim at 4800 baud%s\n",
                nd ? " (ND: no extra erase command, no pause)" : "");
    std::printf("goal: every gap above 5 ms, %s within %.0f ms, CPU under 2 %%\n",
                nd ? "\"$6\" to the last character" : "last \"$*#\" to the last character", nd ? 3100.0 : 4600.0);
    std::printf("%4s %9s | %27s %6s | %23s | %8s %6s\n", "", "", "gaps in the meter's log, ms", "", "gaps by own clock, ms", "", "");
    std::printf("%4s %9s | %8s %8s %9s %6s | %7s %7s %7s | %8s %6s\n", "run", "line ms", "smallest", "median",
                "largest", "<=5ms", "least", "median", "mean", "CPU ms", "CPU %");
    for (int r = 1; r <= runs; ++r) {
        Run run;
        QString error;
        if (!runOnce(nd, run, error)) {
            std::fprintf(stderr, "run %d failed: %s\n", r, qPrintable(error));
            return 1;
        }
        std::printf("%4d %9.1f | %8.3f %8.3f %9.3f %6d | %7.3f %7.3f %7.3f | %8.1f %5.2f%%\n", r, run.lineMs,
                    run.smallestGap, run.medianGap, run.largestGap, run.shortGaps, run.smallestOwnGap,
                    run.medianOwnGap, run.meanOwnGap, run.cpuMs, run.cpuMs / run.wallMs * 100);
    }
    std::printf("line: from the last \"$*#\" (with --nd \"$6\") to the last character in the meter's log.\n"
                "The meter's log is another process, so its own scheduling shows in its gaps; the program's\n"
                "clock times its sends. CPU: while the characters were paced.\n");
    return 0;
}
