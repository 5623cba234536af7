#include "tools/cli/PrintCommands.h"

#include <QPageLayout>

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
    const TPdfResult result = WritePdf(job, inv.output, PdfPageLayout());
    if (result.outcome == TPdfResult::Written)
        return ExitOk;
    prompts.print(result.message);
    return result.outcome == TPdfResult::Refused ? ExitRefused : ExitFile;
}

} // namespace kr::cli
