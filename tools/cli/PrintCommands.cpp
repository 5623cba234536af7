#include "tools/cli/PrintCommands.h"

#include <QPageLayout>
#include <cstdio>

#include "print/PageOutput.h"
#include "print/PainterSurface.h"
#include "print/ReportSetup.h"
#include "settings/Appglob.h"
#include "settings/IniFile.h"
#include "tools/cli/CliPrompts.h"

namespace kr::cli {

TPageSetup StoredPageSetup()
{
    const IniFile ini(IniFilePath());
    return PageSetupFrom(ReadSettings(ini), StoredPrintFont(ini));
}

int WritePdfOutput(const TPrintJob& job, const Invocation& inv, CliPrompts& prompts)
{
    TPdfResult result;
    if (inv.toStandardOutput()) {
        const std::variant<QByteArray, TPdfResult> made = MakePdf(job, PdfPageLayout());
        if (const auto* pages = std::get_if<QByteArray>(&made)) {
            const auto size = std::size_t(pages->size());
            if (std::fwrite(pages->constData(), 1, size, stdout) == size && std::fflush(stdout) == 0)
                return ExitOk;
            result = {TPdfResult::Failed, QStringLiteral("Stream write error")};
        } else {
            result = std::get<TPdfResult>(made);
        }
    } else {
        result = WritePdf(job, inv.output, PdfPageLayout());
    }
    if (result.outcome == TPdfResult::Written)
        return ExitOk;
    prompts.print(result.message);
    return result.outcome == TPdfResult::Refused ? ExitRefused : ExitFile;
}

} // namespace kr::cli
