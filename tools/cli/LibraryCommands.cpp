#include "tools/cli/LibraryCommands.h"

#include <QFileInfo>
#include <cstdio>

#include "core/Cp1252.h"
#include "core/Errors.h"
#include "core/Mtlutils.h"
#include "library/ItemObj.h"
#include "library/LibraryExchanges.h"
#include "library/ListFile.h"
#include "platform/Text.h"
#include "settings/Appglob.h"
#include "tools/cli/CliPrompts.h"
#include "tools/cli/Commands.h"
#include "tools/cli/MeterSession.h"
#include "tools/cli/PrintCommands.h"
#include "print/LibraryPrint.h"

namespace kr::cli {

namespace {

void report(CliPrompts& prompts, const KrError& error) { prompts.print(fromCp1252(error.what())); }

// The catalogue turns codes into names and back: without it a list means
// nothing. The user catalogue of added species follows; a broken one is said
// and leaves the command going.
bool loadCatalogue(TFactorCatalogue& catalogue, CliPrompts& prompts)
{
    try {
        catalogue.LoadCatalogue(toNativePath(FactorsFilePath()));
    } catch (const KrError& e) {
        report(prompts, e);
        return false;
    }
    try {
        catalogue.LoadAdded(toNativePath(AddedFilePath()));
    } catch (const KrError& e) {
        report(prompts, e);
    }
    return true;
}

bool readList(const Invocation& inv, ListFileContents& list, CliPrompts& prompts)
{
    try {
        list = ReadListFile(toNativePath(inv.input));
        return true;
    } catch (const KrError& e) {
        report(prompts, e);
        return false;
    }
}

QString nameOf(const TItem& item) { return fromCp1252(TrimTrailingSpaces(item.GetName())); }

} // namespace

int runLibraryGet(const Invocation& inv, CliPrompts& prompts)
{
    if (outputRefused(inv, prompts))
        return ExitUsage;
    TFactorCatalogue catalogue;
    if (!loadCatalogue(catalogue, prompts))
        return ExitFile;
    MeterSession s;
    if (!open(s, inv, prompts))
        return ExitMeter;
    TLibraryExchanges library(s.exchanges, catalogue);
    const TLibraryDownload got = library.BtnReceiveClick();
    if (got.outcome != TLibraryDownloadOutcome::Received)
        return ExitMeter;   // the reason has been told
    for (const std::string& code : got.added) {
        const TItem& item = *catalogue.FindByCode(code);
        prompts.print(QStringLiteral("Not in the catalogue: %1 (SG %2), added as %3.")
                          .arg(nameOf(item), fromCp1252(item.FormatSG()), fromCp1252(code)));
    }
    try {
        WriteListFile(toNativePath(inv.output), got.codes, {});
    } catch (const KrError& e) {
        report(prompts, e);
        return ExitFile;
    }
    prompts.print(QStringLiteral("The KR's %1 species saved to %2.").arg(got.codes.size()).arg(inv.output));
    return ExitOk;
}

int runLibraryPut(const Invocation& inv, CliPrompts& prompts)
{
    ListFileContents list;
    TFactorCatalogue catalogue;
    if (!readList(inv, list, prompts) || !loadCatalogue(catalogue, prompts))
        return ExitFile;
    MeterSession s;
    TLibraryExchanges library(s.exchanges, catalogue);
    library.SetNoExtraErase(inv.nd);
    // A list the meter cannot take is refused before the port is even opened.
    const bool sendable = list.codes.size() >= std::size_t(TLibraryExchanges::SpeciesCount)
        && library.SpeciesRecords(list.codes).problems.empty();
    if (sendable && !open(s, inv, prompts))
        return ExitMeter;
    if (sendable)
        prompts.print(QStringLiteral("Backing up the KR's data and erasing it before the library is sent."));
    switch (library.BtnSendClick(list.codes)) {
    case TLibraryUploadOutcome::Sent:
        if (!drained(s)) {
            prompts.print(QStringLiteral("The library did not leave for the KR in time."));
            return ExitMeter;
        }
        if (!s.exchanges.LastBackupPath().empty())
            prompts.print(QStringLiteral("Backed up into %1.").arg(fromNativePath(s.exchanges.LastBackupPath())));
        prompts.print(QStringLiteral("The library of %1 has been sent to the KR.").arg(inv.input));
        return ExitOk;
    case TLibraryUploadOutcome::TooFew:
    case TLibraryUploadOutcome::Refused:
    case TLibraryUploadOutcome::Cancelled:
    case TLibraryUploadOutcome::NotSafe:
        return ExitRefused;
    case TLibraryUploadOutcome::None:
    case TLibraryUploadOutcome::NoResponse:
    case TLibraryUploadOutcome::Busy:
        break;
    }
    return ExitMeter;
}

int runLibraryShow(const Invocation& inv, CliPrompts& prompts)
{
    ListFileContents list;
    TFactorCatalogue catalogue;
    if (!readList(inv, list, prompts) || !loadCatalogue(catalogue, prompts))
        return ExitFile;
    QString text;
    int row = 0;
    for (const std::string& code : list.codes) {
        const TItem* item = catalogue.FindByCode(code);
        text += QStringLiteral("%1  %2  ").arg(++row, 2).arg(fromCp1252(code));
        text += item ? QStringLiteral("%1  %2\n").arg(nameOf(*item), -16).arg(fromCp1252(item->FormatSG()))
                     : QStringLiteral("(not in the catalogue)\n");
    }
    text += QStringLiteral("%1 of 31 species\n").arg(list.codes.size());
    if (!list.notes.empty())
        text += QStringLiteral("\nNotes:\n") + fromCp1252(list.notes) + QLatin1Char('\n');
    const QByteArray out = text.toUtf8();
    const bool ok = std::fwrite(out.constData(), 1, std::size_t(out.size()), stdout) == std::size_t(out.size())
        && std::fflush(stdout) == 0;
    return ok ? ExitOk : ExitFile;
}

int runPrintLibrary(const Invocation& inv, CliPrompts& prompts)
{
    if (outputRefused(inv, prompts))
        return ExitUsage;
    ListFileContents list;
    TFactorCatalogue catalogue;
    if (!readList(inv, list, prompts) || !loadCatalogue(catalogue, prompts))
        return ExitFile;
    const std::string fileName = toNativePath(QFileInfo(inv.input).absoluteFilePath());
    return WritePdfOutput(LibraryPrintJob(list.codes, catalogue, fileName, StoredPageSetup()), inv, prompts);
}

} // namespace kr::cli
