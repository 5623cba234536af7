#include "tools/cli/LibraryCommands.h"

#include <QFileInfo>
#include <cstdio>

#include "core/Cp1252.h"
#include "core/Errors.h"
#include "core/Mtlutils.h"
#include "library/ItemObj.h"
#include "library/LibraryExchanges.h"
#include "library/ListFile.h"
#include "library/WallRoofFile.h"
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
    // The wall-and-roof entries go beside the list: refused as the list would be.
    const std::string listPath = toNativePath(inv.output);
    if (const QString why = WallRoofWriteRefusal(listPath); !why.isEmpty()) {
        prompts.print(why);
        return ExitUsage;
    }
    const std::string wallRoofPath = WallRoofPathFor(listPath);
    TFactorCatalogue catalogue;
    if (!loadCatalogue(catalogue, prompts))
        return ExitFile;
    MeterSession s;
    if (!open(s, inv, prompts))
        return ExitMeter;
    TLibraryExchanges library(s.exchanges, catalogue);
    const TLibraryDownload got = library.BtnReceiveClick();
    if (got.outcome == TLibraryDownloadOutcome::Cancelled)
        return s.interrupted() ? ExitInterrupted : ExitRefused;
    if (got.outcome != TLibraryDownloadOutcome::Received)
        return ExitMeter;   // the reason has been told
    for (const std::string& code : got.added) {
        const TItem& item = *catalogue.FindByCode(code);
        prompts.print(QStringLiteral("Not in the catalogue: %1 (SG %2), added as %3.")
                          .arg(nameOf(item), fromCp1252(item.DisplaySG()), fromCp1252(code)));
    }
    // The entries first: when they cannot be written, the list stays as it was.
    try {
        WriteWallRoofFile(wallRoofPath, library.WallRoofEntries());
        WriteListFile(listPath, got.codes, {});
    } catch (const KrError& e) {
        report(prompts, e);
        return ExitFile;
    }
    prompts.print(QStringLiteral("The KR's %1 species saved to %2, its wall and roof entries to %3.")
                      .arg(got.codes.size())
                      .arg(inv.output, fromNativePath(wallRoofPath)));
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
    // The list's own wall-and-roof entries, when it has them, go with it; a
    // file that cannot be used stops the upload, since sending others in their
    // place would replace the meter's.
    if (const std::string wallRoofPath = WallRoofPathFor(toNativePath(inv.input)); !wallRoofPath.empty()) {
        try {
            if (const auto entries = ReadWallRoofFile(wallRoofPath))
                library.TakeWallRoofEntries(*entries, wallRoofPath);
        } catch (const KrError& e) {
            prompts.print(fromCp1252(e.what()) + QStringLiteral(" Nothing has been sent."));
            return ExitFile;
        }
    }
    // A list the meter cannot take is refused before the port is even opened.
    const bool sendable = list.codes.size() >= std::size_t(TLibraryExchanges::SpeciesCount)
        && library.SpeciesRecords(list.codes).problems.empty();
    if (sendable && !open(s, inv, prompts))
        return ExitMeter;
    if (sendable) {
        prompts.print(library.WallRoofSource());
        prompts.print(QStringLiteral("Backing up the KR's data and erasing it before the library is sent."));
    }
    const TLibraryUpload upload = library.BtnSendClick(list.codes);
    switch (upload.outcome) {
    case TLibraryUploadOutcome::Sent:
        if (!drained(s)) {
            prompts.print(QStringLiteral("The library did not leave for the KR in time."));
            return ExitMeter;
        }
        // The upload itself has said that the library was sent.
        if (!upload.backupPath.empty())
            prompts.print(QStringLiteral("Backed up into %1.").arg(fromNativePath(upload.backupPath)));
        return ExitOk;
    case TLibraryUploadOutcome::Cancelled: return s.interrupted() ? ExitInterrupted : ExitRefused;
    case TLibraryUploadOutcome::TooFew:
    case TLibraryUploadOutcome::Refused:
    case TLibraryUploadOutcome::Declined:
    case TLibraryUploadOutcome::NotSafe: return ExitRefused;
    case TLibraryUploadOutcome::NoResponse:
    case TLibraryUploadOutcome::SendFailed:
    case TLibraryUploadOutcome::CutShort:
    case TLibraryUploadOutcome::Busy: break;
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
        text += item ? QStringLiteral("%1  %2\n").arg(nameOf(*item), -16).arg(fromCp1252(item->DisplaySG()))
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
