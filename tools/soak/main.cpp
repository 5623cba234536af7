// kr-soak: randomised cycles of kr-cli against the simulated meter, each one
// checked for hangs, crashes, exit statuses, backups and the meter's memory.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <sched.h>
#include <sys/mount.h>

#include "tools/soak/SoakRun.h"

namespace {

const char* const Usage =
    "Usage: kr-soak [--cycles N] [--seed S] [--minutes M] [--verbose]\n"
    "               [--cli PATH] [--sim PATH] [--catalogue FILE]\n"
    "\n"
    "Runs N randomised cycles (download, erase, serial number, library get and put)\n"
    "of kr-cli against kr-meter-sim, a fault on about a third of them, and checks\n"
    "each one. --minutes stops starting new cycles after M minutes (without\n"
    "--cycles it runs until then). Prints a summary; every finding names its seed\n"
    "and cycle, which replay it. Exit status: 0 no findings, 1 findings, 2 the run\n"
    "could not be set up or the command line is wrong.\n";

// A mount namespace of our own, so the program folder's small file system is
// seen only by us and our children and goes when we do.
void privateMounts()
{
    if (::unshare(CLONE_NEWNS) == 0)
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    privateMounts();
    QCoreApplication app(argc, argv);
    const QString tools = QCoreApplication::applicationDirPath();
    kr::soak::SoakOptions options;
    options.cli = QDir(tools).filePath(QStringLiteral("kr-cli"));
    options.sim = QDir(tools).filePath(QStringLiteral("kr-meter-sim"));
    options.catalogue = QStringLiteral(KR_SOAK_CATALOGUE);
    bool cyclesGiven = false;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (a == QLatin1String("--help")) {
            std::fputs(Usage, stdout);
            return 0;
        } else if (a == QLatin1String("--verbose")) {
            options.verbose = true;
        } else if (a == QLatin1String("--cycles") && hasValue) {
            options.cycles = args[++i].toInt(&ok);
            ok = ok && options.cycles > 0;
            cyclesGiven = true;
        } else if (a == QLatin1String("--seed") && hasValue) {
            options.seed = args[++i].toULongLong(&ok);
        } else if (a == QLatin1String("--minutes") && hasValue) {
            options.minutes = args[++i].toDouble(&ok);
            ok = ok && options.minutes > 0;
        } else if (a == QLatin1String("--cli") && hasValue) {
            options.cli = args[++i];
        } else if (a == QLatin1String("--sim") && hasValue) {
            options.sim = args[++i];
        } else if (a == QLatin1String("--catalogue") && hasValue) {
            options.catalogue = args[++i];
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "kr-soak: cannot use \"%s\"%s\n\n%s", qPrintable(a),
                         hasValue ? "" : " (a value may be missing)", Usage);
            return 2;
        }
    }
    if (options.minutes > 0 && !cyclesGiven)
        options.cycles = 0;
    for (const QString& program : {options.cli, options.sim})
        if (!QFileInfo(program).isExecutable()) {
            std::fprintf(stderr, "kr-soak: %s is not there (build it, or name it with --cli / --sim)\n",
                         qPrintable(program));
            return 2;
        }
    kr::soak::SoakRun run(options);
    return run.run();
}
