#include "tools/cli/ArchiveCommands.h"

#include <QFileInfo>
#include <cstdio>

#include "archive/Archive.h"
#include "settings/Appglob.h"
#include "tools/cli/CliArgs.h"
#include "tools/cli/CliPrompts.h"

namespace kr::cli {

int runArchiveImport(const Invocation& inv, CliPrompts& prompts)
{
    try {
        TArchive archive(ArchivePathIn(QFileInfo(IniFilePath()).absolutePath()));
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
