#include "tools/cli/ArchiveCommands.h"

#include <QFileInfo>
#include <cstdio>

#include "archive/Archive.h"
#include "settings/Appglob.h"
#include "tools/cli/CliArgs.h"
#include "tools/cli/CliPrompts.h"

namespace kr::cli {

namespace {

QString archivePath() { return ArchivePathIn(QFileInfo(IniFilePath()).absolutePath()); }

} // namespace

bool keepInArchive(const TFile& doc, const TArchive::Source& source, CliPrompts& prompts)
{
    try {
        TArchive archive(archivePath());
        const TArchive::Kept kept = archive.Keep(doc, source);
        prompts.print(QStringLiteral("Kept in the archive: %1 readings, %2 of them new.").arg(kept.readings).arg(kept.added));
        return true;
    } catch (const ArchiveError& e) {
        prompts.print(QString::fromStdString(e.what()));
        return false;
    }
}

int runArchiveImport(const Invocation& inv, CliPrompts& prompts)
{
    try {
        TArchive archive(archivePath());
        const TArchive::ImportSummary summary = archive.Import(inv.inputs);
        for (const QString& line : summary.unreadable)
            prompts.print(line);
        std::printf("%s\n", summary.Sentence().toUtf8().constData());
        return summary.unreadable.isEmpty() ? ExitOk : ExitFile;
    } catch (const ArchiveError& e) {
        prompts.print(QString::fromStdString(e.what()));
        return ExitFile;
    }
}

} // namespace kr::cli
