#include "tools/cli/PrintCommands.h"

#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <cstdio>
#include <memory>

#include "archive/Archive.h"
#include "core/Errors.h"
#include "core/Readings.h"
#include "platform/Text.h"
#include "print/InspectionReport.h"
#include "settings/GlanceSettings.h"
#include "settings/ReportSettings.h"

#include "print/PageOutput.h"
#include "print/PainterSurface.h"
#include "print/ReportSetup.h"
#include "settings/Appglob.h"
#include "settings/IniFile.h"
#include "tools/cli/ArchiveCommands.h"
#include "tools/cli/CliPrompts.h"
#include "tools/cli/Commands.h"

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

int runReport(const Invocation& inv, CliPrompts& prompts)
{
    if (outputRefused(inv, prompts))
        return ExitUsage;
    const QString home = QFileInfo(IniFilePath()).absolutePath();
    TReportOptions options;
    static_cast<TPageSetup&>(options) = StoredPageSetup();
    const IniFile ini(IniFilePath());
    const GlanceSettings glance = ReadGlanceSettings(ini);
    options.range = glance.range;
    options.limit = glance.limit;
    options.room = glance.room;
    options.inspector = ReadInspector(ini);
    options.centigrade = !inv.fahrenheit;
    QStringList problems;
    options.brand = ReadReportBrand(QDir(home).filePath(QLatin1String(ReportTemplateName)), &problems);
    for (const QString& problem : problems)
        prompts.print(QStringLiteral("report.txt: %1").arg(problem));

    TReportData data;
    if (inv.input.isEmpty()) {
        try {
            TArchive archive(ArchiveLocationOf(inv));
            data = ReportOfJob(archive, inv.filter.job);
        } catch (const ArchiveError& e) {
            prompts.print(QString::fromStdString(e.what()));
            return ExitFile;
        }
    } else {
        auto doc = std::make_unique<TKRFile>();
        if (const int status = load(*doc, inv.input, prompts))
            return status;
        data = ReportOfFile(std::move(doc), QFileInfo(inv.input).fileName());
    }
    return WritePdfOutput(InspectionReportJob(data, options), inv, prompts);
}

} // namespace kr::cli
