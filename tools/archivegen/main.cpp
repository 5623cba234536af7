// kr-archive-gen: a firm's worth of full data files for measuring the
// readings archive.
//
//   kr-archive-gen --out DIR [--files N] [--seed S] [--catalogue FILE]
#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <cstdio>

#include "core/Errors.h"
#include "settings/Appglob.h"
#include "tools/archivegen/ArchiveGen.h"

using namespace kr;

namespace {

const char* const Usage =
    "usage: kr-archive-gen --out DIR [--files N] [--seed S] [--catalogue FILE]\n"
    "Writes N full data files (25 meter files of 25 readings; default 10000) into\n"
    "DIR/<inspector>/<year>/, and for every 25th file a backup copy data1.bak\n"
    "holding the same readings. The same seed (default 1) and N give the same files.\n"
    "Species come from the factor catalogue (default: the program's Factors.dat).\n"
    "Exit status: 0 written, 1 bad arguments, 2 the catalogue or a file could not\n"
    "be read or written.\n";

int usageError(const char* why)
{
    std::fprintf(stderr, "kr-archive-gen: %s\n%s", why, Usage);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ArchiveGenOptions options;
    QString catalogue;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (i + 1 >= args.size())
            return usageError("every option takes a value");
        const QString& value = args[++i];
        bool ok = true;
        if (arg == QLatin1String("--out"))
            options.out = value;
        else if (arg == QLatin1String("--files"))
            options.files = value.toInt(&ok);
        else if (arg == QLatin1String("--seed"))
            options.seed = value.toULongLong(&ok);
        else if (arg == QLatin1String("--catalogue"))
            catalogue = value;
        else
            return usageError("unknown option");
        if (!ok || options.files < 1)
            return usageError("--files and --seed take a positive whole number");
    }
    if (options.out.isEmpty())
        return usageError("--out DIR is needed");
    if (catalogue.isEmpty())
        catalogue = FactorsFilePath();
    QFile file(catalogue);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kr-archive-gen: cannot read the catalogue %s\n", qPrintable(catalogue));
        return 2;
    }
    const QByteArray text = file.readAll();
    const std::vector<GenSpecies> species = SpeciesFromCatalogue(text.toStdString());
    if (species.empty()) {
        std::fprintf(stderr, "kr-archive-gen: no species in the catalogue %s\n", qPrintable(catalogue));
        return 2;
    }
    try {
        const ArchiveGenSummary summary = GenerateArchiveFiles(options, species);
        const QLocale english(QLocale::English);
        std::printf("%s data files, %s backups, %s readings in %s\n", qPrintable(english.toString(summary.files)),
                    qPrintable(english.toString(summary.backups)), qPrintable(english.toString(summary.readings)),
                    qPrintable(options.out));
    } catch (const KrError& e) {
        std::fprintf(stderr, "kr-archive-gen: %s\n", e.what());
        return 2;
    }
    return 0;
}
