#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

#include "archive/Archive.h"
#include "core/Statistics.h"

namespace kr::cli {

// Exit statuses, the same for every command so scripts can rely on them.
enum ExitStatus : int {
    ExitOk = 0,
    ExitUsage = 1,      // wrong usage
    ExitMeter = 2,      // the meter did not answer or the port failed
    ExitFile = 3,       // a file could not be read or written
    ExitRefused = 4,    // refused: not confirmed, or the backup failed
    ExitInterrupted = 130,  // stopped by Ctrl+C before anything was erased or written
};

enum class Command {
    None, Download, Erase, Serial, Export, Show, Convert, ImportLines,
    Library,   // "library" before its sub-command: only its help
    LibraryGet, LibraryPut, LibraryShow,
    Print, PrintLibrary,
    Ports,
    Stats,
    Emc,
    Archive,   // "archive" before its sub-command: only its help
    ArchiveImport, ArchiveList, ArchiveReadings, ArchiveExport, ArchiveRemove,
    ArchiveJob,  // "archive job" before its sub-command: only its help
    ArchiveJobAdd, ArchiveJobAssign, ArchiveJobList, ArchiveJobRemove, ArchiveJobConditions,
    Report,
    ArchiveCopy, ArchiveSend,
};

enum class Encoding { Utf8, Cp1252 };
enum class Format { Csv, Json };

// One command line, parsed. Options may stand before or after the command.
struct Invocation {
    Command command = Command::None;
    bool help = false;              // --help: print the usage of `command` (or of kr-cli)

    int port = 0;                   // --port N (0: not given)
    QString device;                 // --device PATH
    QString home;                   // --home DIR

    QString input;                  // FILE of export, show, convert, library put/show; LINES of import-lines
    QStringList inputs;             // archive import: every PATH
    QString output;                 // -o FILE / -o OUT; "-" is standard output
    bool yes = false;               // --yes
    bool nd = false;                // library put --nd: no extra erase command and pause
    bool partial = false;           // download --partial: keep a short download
    bool archive = false;           // download, erase --archive: keep what was read in the archive
    bool probe = false;             // ports --probe: ask each port for a KR
    bool fahrenheit = false;        // --fahrenheit
    Encoding encoding = Encoding::Utf8;
    int fileNumber = 0;             // show, print, stats --file N (0: all meter files)
    std::optional<MoistureRange> range; // stats --range LOW-HIGH (none: kr.ini's, else the default)
    bool json = false;              // stats, archive list, readings, job list --json
    bool csv = false;               // archive readings --csv
    ArchiveFilter filter;           // archive list, readings: what to find; job add: its site (--site)
    qint64 sourceId = 0;            // archive export, remove, job assign: the download or file
    QString jobName;                // archive job add, assign, remove
    QString client;                 // archive job add --client
    QString notes;                  // archive job add --notes
    std::optional<Format> format;   // convert --to
    std::optional<double> temperature;  // emc, job conditions --temp (degrees of --fahrenheit's scale)
    std::optional<double> humidity;     // emc, job conditions --rh, % relative humidity
    QDateTime when;                     // job conditions --date (invalid: now)
    QString note;                       // job conditions --note
    std::optional<ArchiveLocation> archiveDb;  // --archive-db postgresql://...: the team archive
    std::optional<ArchiveLocation> copyFrom, copyTo;  // archive copy --from, --to
    QString to;                         // --to as given: convert's form, or archive copy's archive

    bool toStandardOutput() const { return output == QLatin1String("-"); }
};

struct ParseResult {
    Invocation invocation;
    QString error;                  // not empty: wrong usage, said in this text
    bool ok() const { return error.isEmpty(); }
};

// Reads the arguments after the program name.
ParseResult parseArguments(const QStringList& args);

// The name used on the command line ("import-lines", "library put").
QString commandName(Command command);

// The usage text of kr-cli (Command::None) or of one command, ending in a newline.
QString usageText(Command command);

// The list of options of the manual (roff), made from the same table as the
// parser and the usage; tools/cli/kr-cli.1 holds it as its OPTIONS section.
QString manualOptions();

} // namespace kr::cli
