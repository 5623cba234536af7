#include "tools/cli/Commands.h"

#include <QLocale>
#include <QString>
#include <cstdio>
#include <string>
#include <vector>

#include "core/AtomicFile.h"
#include "core/Cp1252.h"
#include "core/Errors.h"
#include "core/Readings.h"
#include "core/TextLines.h"
#include "platform/Text.h"
#include "print/DataPrint.h"
#include "settings/Appglob.h"
#include "tools/cli/ArchiveCommands.h"
#include "tools/cli/CliPrompts.h"
#include "tools/cli/LibraryCommands.h"
#include "tools/cli/MeterCommands.h"
#include "tools/cli/PrintCommands.h"
#include "tools/cli/Renderings.h"
#include "tools/cli/StatsCommand.h"
#include "core/Emc.h"

namespace kr::cli {

namespace {

// Captured record lines are small; a file far beyond a meter's 625 lines is
// not one.
constexpr std::size_t MaxLinesFileBytes = 16u * 1024u * 1024u;

void report(CliPrompts& prompts, const KrError& error) { prompts.print(fromCp1252(error.what())); }

bool writeStdout(const std::string& bytes, CliPrompts& prompts)
{
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() && std::fflush(stdout) == 0;
    if (!ok)
        prompts.print(QStringLiteral("Stream write error"));
    return ok;
}

// The result goes to standard output (no OUT, or "-"), or through a temporary file into OUT.
int deliver(const std::string& bytes, const QString& outPath, CliPrompts& prompts)
{
    if (outPath.isEmpty() || outPath == QLatin1String("-"))
        return writeStdout(bytes, prompts) ? ExitOk : ExitFile;
    if (const WriteResult written = writeFileAtomically(toNativePath(outPath), bytes); written != WriteResult::Ok) {
        prompts.print(QStringLiteral("Cannot create file %1%2").arg(outPath, QLatin1String(cannotCreateReason(written))));
        return ExitFile;
    }
    return ExitOk;
}

} // namespace

// Refused before anything is read or sent, so a refusal costs nothing.
bool outputRefused(const Invocation& inv, CliPrompts& prompts)
{
    if (inv.output.isEmpty() || inv.toStandardOutput())
        return false;
    QString why = WriteRefusal(inv.output);
    // Writing the result over its own input would lose the input.
    if (!inv.input.isEmpty() && sameFile(toNativePath(inv.input), toNativePath(inv.output)))
        why = QStringLiteral("%1 is the file being read; give -o another file.").arg(inv.output);
    if (why.isEmpty())
        return false;
    prompts.print(why);
    return true;
}

int load(TFile& doc, const QString& path, CliPrompts& prompts)
{
    try {
        doc.LoadFromFile(toNativePath(path));
        doc.ClearModified();
        return ExitOk;
    } catch (const KrError& e) {
        report(prompts, e);
        return ExitFile;
    }
}

namespace {

int runExport(const Invocation& inv, CliPrompts& prompts)
{
    TKRFile doc;
    if (const int status = load(doc, inv.input, prompts))
        return status;
    const std::string text = ExportClipboardText(doc, !inv.fahrenheit);
    return deliver(inv.encoding == Encoding::Cp1252 ? text : cp1252ToUtf8(text), {}, prompts);
}

int runShow(const Invocation& inv, CliPrompts& prompts)
{
    TKRFile doc;
    if (const int status = load(doc, inv.input, prompts))
        return status;
    return deliver(showText(doc, inv.fileNumber, !inv.fahrenheit), {}, prompts);
}

int runStats(const Invocation& inv, CliPrompts& prompts)
{
    TKRFile doc;
    if (const int status = load(doc, inv.input, prompts))
        return status;
    return deliver(statsText(doc, inv), {}, prompts);
}

// "EMC 9.2 % at 21 °C, 50 % RH", or why there is none (a usage error).
int runEmc(const Invocation& inv, CliPrompts& prompts)
{
    const double celsius = inv.fahrenheit ? CelsiusOf(*inv.temperature) : *inv.temperature;
    const TEmc emc = EquilibriumMoisture(celsius, *inv.humidity);
    if (!emc.Known()) {
        prompts.print(QStringLiteral("kr-cli emc: %1").arg(QString::fromStdString(emc.refusal)));
        return ExitUsage;
    }
    const QLocale c = QLocale::c();
    const QString line = QStringLiteral("EMC %1 % at %2 \u00b0%3, %4 % RH\n")
                             .arg(c.toString(emc.percent, 'f', 1), c.toString(*inv.temperature, 'g', 6),
                                  inv.fahrenheit ? QStringLiteral("F") : QStringLiteral("C"),
                                  c.toString(*inv.humidity, 'g', 6));
    return deliver(line.toStdString(), {}, prompts);
}

int runConvert(const Invocation& inv, CliPrompts& prompts)
{
    if (outputRefused(inv, prompts))
        return ExitUsage;
    TKRFile doc;
    if (const int status = load(doc, inv.input, prompts))
        return status;
    const std::string text = *inv.format == Format::Csv ? csvText(doc) : jsonText(doc).toStdString();
    return deliver(text, inv.output, prompts);
}

// Each line is handed on ending in CR, as the link collects them, since the
// import drops the moisture's last character.
std::vector<std::string> meterLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < bytes.size();)
        lines.push_back(std::string(nextLine(bytes, pos).text) + '\r');
    return lines;
}

int runImportLines(const Invocation& inv, CliPrompts& prompts)
{
    if (outputRefused(inv, prompts))
        return ExitUsage;
    std::string bytes;
    if (const ReadResult read = readRegularFile(toNativePath(inv.input), bytes, MaxLinesFileBytes);
        read != ReadResult::Ok) {
        prompts.print(QStringLiteral("Cannot open file %1%2").arg(inv.input, QLatin1String(cannotOpenReason(read))));
        return ExitFile;
    }
    TKRFile doc;
    try {
        doc.ImportMeterLines(meterLines(bytes));
    } catch (const KrError& e) {
        // A half-read capture is not saved: the output would look complete.
        report(prompts, e);
        return ExitFile;
    }
    try {
        doc.SaveToFile(toNativePath(inv.output));
    } catch (const KrError& e) {
        report(prompts, e);
        return ExitFile;
    }
    return ExitOk;
}

int runPrint(const Invocation& inv, CliPrompts& prompts)
{
    if (outputRefused(inv, prompts))
        return ExitUsage;
    TKRFile doc;
    if (const int status = load(doc, inv.input, prompts))
        return status;
    TDataPrintOptions options;
    static_cast<TPageSetup&>(options) = StoredPageSetup();
    options.centigrade = !inv.fahrenheit;
    for (int f = 1; f <= TFile::FileCount; ++f)
        options.marks[std::size_t(f - 1)] = inv.fileNumber == 0 || inv.fileNumber == f;
    return WritePdfOutput(DataPrintJob(doc, options), inv, prompts);
}

} // namespace

int runCommand(const Invocation& inv, CliPrompts& prompts)
{
    switch (inv.command) {
    case Command::Export: return runExport(inv, prompts);
    case Command::Show: return runShow(inv, prompts);
    case Command::Stats: return runStats(inv, prompts);
    case Command::Emc: return runEmc(inv, prompts);
    case Command::Convert: return runConvert(inv, prompts);
    case Command::ImportLines: return runImportLines(inv, prompts);
    case Command::Download: return runDownload(inv, prompts);
    case Command::Erase: return runErase(inv, prompts);
    case Command::Serial: return runSerial(inv, prompts);
    case Command::Ports: return runPorts(inv, prompts);
    case Command::LibraryGet: return runLibraryGet(inv, prompts);
    case Command::LibraryPut: return runLibraryPut(inv, prompts);
    case Command::LibraryShow: return runLibraryShow(inv, prompts);
    case Command::Print: return runPrint(inv, prompts);
    case Command::PrintLibrary: return runPrintLibrary(inv, prompts);
    case Command::ArchiveImport: return runArchiveImport(inv, prompts);
    case Command::ArchiveList: return runArchiveList(inv, prompts);
    case Command::ArchiveReadings: return runArchiveReadings(inv, prompts);
    case Command::ArchiveExport: return runArchiveExport(inv, prompts);
    case Command::ArchiveRemove: return runArchiveRemove(inv, prompts);
    case Command::ArchiveJobAdd: return runArchiveJobAdd(inv, prompts);
    case Command::ArchiveJobAssign: return runArchiveJobAssign(inv, prompts);
    case Command::ArchiveJobList: return runArchiveJobList(inv, prompts);
    case Command::ArchiveJobRemove: return runArchiveJobRemove(inv, prompts);
    case Command::ArchiveJobConditions: return runArchiveJobConditions(inv, prompts);
    case Command::Report: return runReport(inv, prompts);
    case Command::ArchiveCopy: return runArchiveCopy(inv, prompts);
    case Command::ArchiveSend: return runArchiveSend(inv, prompts);
    case Command::Library:
    case Command::Archive:
    case Command::ArchiveJob:
    case Command::None: break;
    }
    return ExitUsage;
}

} // namespace kr::cli
