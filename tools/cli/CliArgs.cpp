#include "tools/cli/CliArgs.h"

#include <QRegularExpression>
#include <cmath>
#include <cstdint>
#include <functional>
#include <span>

#include "core/Mtlutils.h"
#include "platform/PortMap.h"

namespace kr::cli {

namespace {

struct CommandInfo {
    Command command;
    const char* name;
};
constexpr CommandInfo Commands[] = {
    {Command::Download, "download"}, {Command::Erase, "erase"},     {Command::Serial, "serial"},
    {Command::Export, "export"},     {Command::Show, "show"},       {Command::Convert, "convert"},
    {Command::ImportLines, "import-lines"}, {Command::Library, "library"},
    {Command::Print, "print"},       {Command::PrintLibrary, "print-library"},
    {Command::Ports, "ports"},       {Command::Stats, "stats"},
    {Command::Archive, "archive"},   {Command::Emc, "emc"},         {Command::Report, "report"},
};
// The sub-commands of "library".
constexpr CommandInfo LibraryCommands[] = {
    {Command::LibraryGet, "get"}, {Command::LibraryPut, "put"}, {Command::LibraryShow, "show"},
};
// The sub-commands of "archive".
constexpr CommandInfo ArchiveCommands[] = {
    {Command::ArchiveImport, "import"}, {Command::ArchiveList, "list"},     {Command::ArchiveReadings, "readings"},
    {Command::ArchiveExport, "export"}, {Command::ArchiveRemove, "remove"}, {Command::ArchiveJob, "job"},
    {Command::ArchiveCopy, "copy"}, {Command::ArchiveSend, "send"},
};
// The sub-commands of "archive job".
constexpr CommandInfo ArchiveJobCommands[] = {
    {Command::ArchiveJobAdd, "add"}, {Command::ArchiveJobAssign, "assign"},
    {Command::ArchiveJobList, "list"}, {Command::ArchiveJobRemove, "remove"},
    {Command::ArchiveJobConditions, "conditions"},
};
// A command that only stands before its sub-commands.
struct CommandFamily {
    Command parent;
    std::span<const CommandInfo> subCommands;
    const char* choices;  // for the messages: "get, put or show"
};
constexpr CommandFamily Families[] = {
    {Command::Library, LibraryCommands, "get, put or show"},
    {Command::Archive, ArchiveCommands, "import, list, readings, export, remove, job, copy or send"},
    {Command::ArchiveJob, ArchiveJobCommands, "add, assign, list, remove or conditions"},
};

const CommandFamily* familyOf(Command parent)
{
    for (const auto& f : Families)
        if (f.parent == parent)
            return &f;
    return nullptr;
}


std::optional<Command> commandFromName(const QString& name)
{
    for (const auto& c : Commands)
        if (name == QLatin1String(c.name))
            return c.command;
    return std::nullopt;
}

bool takesInput(Command command)
{
    return command == Command::Export || command == Command::Show || command == Command::Convert
        || command == Command::ImportLines || command == Command::LibraryPut || command == Command::LibraryShow
        || command == Command::Print || command == Command::PrintLibrary || command == Command::Stats
        || command == Command::Report;
}

std::optional<int> wholeNumber(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || text.startsWith('+') || text.trimmed() != text)
        return std::nullopt;
    return value;
}

// A number with "." decimals, such as 21 or 69.8.
std::optional<double> decimalNumber(const QString& text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// "6-9" or "6.5-8.5": two moistures with "." decimals, the first not above the second.
std::optional<MoistureRange> moistureRange(const QString& text)
{
    const QStringList ends = text.split(QLatin1Char('-'));
    if (ends.size() != 2)
        return std::nullopt;
    MoistureRange range;
    const std::string low = ends.at(0).toStdString();
    const std::string high = ends.at(1).toStdString();
    if (low.empty() || high.empty() || !TryStrToFloat(low, '.', range.low) || !TryStrToFloat(high, '.', range.high)
        || !(range.low >= 0) || !(range.high <= 100) || range.low > range.high)
        return std::nullopt;
    return range;
}

// "2026-03-05": a date written as YYYY-MM-DD, nothing else.
std::optional<QDate> isoDate(const QString& text)
{
    static const QRegularExpression Shape(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (!Shape.match(text).hasMatch() || !date.isValid())
        return std::nullopt;
    return date;
}

// A file, or a PostgreSQL address; nothing, with the reason in `error`, for a wrong address.
std::optional<ArchiveLocation> archiveOption(const QString& option, const QString& value, QString& error)
{
    if (!value.startsWith(QLatin1String("postgres")))
        return ArchiveLocation::File(value);
    QString why;
    std::optional<ArchiveLocation> location = ArchiveLocation::FromUrl(value, &why);
    if (!location)
        error = QStringLiteral("%1: %2").arg(option, why);
    return location;
}

// An archive ID as `archive list` shows it: a whole number from 1.
std::optional<qint64> sourceNumber(const QString& text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok || value < 1 || text.startsWith('+') || text.trimmed() != text)
        return std::nullopt;
    return value;
}

// The commands an option applies to, a bit each.
using CommandSet = std::uint32_t;
static_assert(unsigned(Command::ArchiveSend) < 32, "one bit a command");
constexpr CommandSet bit(Command command) { return CommandSet(1) << unsigned(command); }
constexpr CommandSet EveryCommand = ~CommandSet(0);
template <typename... C>
constexpr CommandSet only(C... commands) { return (bit(commands) | ...); }
constexpr CommandSet Searches = only(Command::ArchiveList, Command::ArchiveReadings);
constexpr CommandSet ArchiveCommandSet =
    only(Command::ArchiveImport, Command::ArchiveList, Command::ArchiveReadings, Command::ArchiveExport,
         Command::ArchiveRemove, Command::ArchiveJobAdd, Command::ArchiveJobAssign, Command::ArchiveJobList,
         Command::ArchiveJobRemove, Command::ArchiveJobConditions, Command::ArchiveSend);

struct OptionInfo {
    const char* name;
    const char* alias;          // another spelling, or nullptr
    const char* valueName;      // nullptr: a flag; "a|b": one of these words
    CommandSet commands;
    const char* help;           // a phrase for the usage, a sentence in the manual
    // Takes the value (empty for a flag) into the invocation, or says in `error` what is wrong with it.
    void (*apply)(Invocation& inv, const QString& value, QString& error);
};

// Every option: the parser, the usage and the manual's OPTIONS are made from this.
constexpr OptionInfo Options[] = {
    // The port list covers every port; naming one makes no sense there.
    {"--port", nullptr, "N", EveryCommand & ~bit(Command::Ports),
     "the serial port by number, 1 to 50, mapped as the window program maps it (KR_PORT_<N> names "
     "a device); default: the port in kr.ini",
     [](Invocation& inv, const QString& v, QString& error) {
         const auto n = wholeNumber(v);
         if (!n || *n < PortMap::FirstPort || *n > PortMap::LastPort)
             error = QStringLiteral("--port takes a number from %1 to %2, not '%3'")
                         .arg(PortMap::FirstPort).arg(PortMap::LastPort).arg(v);
         else
             inv.port = *n;
     }},
    {"--device", nullptr, "PATH", EveryCommand & ~bit(Command::Ports),
     "open this serial device directly (a port another program is using, under any name or link, is "
     "refused: one program talks to a meter at a time)",
     [](Invocation& inv, const QString& v, QString&) { inv.device = v; }},
    {"--home", nullptr, "DIR", EveryCommand,
     "the program folder (kr.ini, backups, Added.dat, a Factors.dat of your own), as KR_HOME",
     [](Invocation& inv, const QString& v, QString&) { inv.home = v; }},
    {"--help", "-h", nullptr, EveryCommand, "print the usage; COMMAND --help tells about one command",
     [](Invocation& inv, const QString&, QString&) { inv.help = true; }},
    {"-o", "--output", "FILE",
     only(Command::Download, Command::Convert, Command::ImportLines, Command::LibraryGet, Command::Print,
          Command::PrintLibrary, Command::ArchiveReadings, Command::ArchiveExport, Command::Report),
     "the file to write, - for standard output with convert, print, print-library and archive readings",
     [](Invocation& inv, const QString& v, QString&) { inv.output = v; }},
    {"--yes", nullptr, nullptr,
     only(Command::Erase, Command::LibraryPut, Command::ArchiveRemove, Command::ArchiveJobRemove),
     "erase the meter after the backup, or remove from the archive; without it nothing is done",
     [](Invocation& inv, const QString&, QString&) { inv.yes = true; }},
    {"--nd", nullptr, nullptr, only(Command::LibraryPut),
     "leave out the extra erase command and the 1.5 s pause, as the window program's ND argument does",
     [](Invocation& inv, const QString&, QString&) { inv.nd = true; }},
    {"--partial", nullptr, nullptr, only(Command::Download),
     "keep a download that fell short and say how much of it arrived",
     [](Invocation& inv, const QString&, QString&) { inv.partial = true; }},
    {"--archive", nullptr, nullptr, only(Command::Download, Command::Erase),
     "also keep the readings in the readings archive, archive.sqlite beside kr.ini (the download as it "
     "arrived; for erase, its backup)",
     [](Invocation& inv, const QString&, QString&) { inv.archive = true; }},
    {"--probe", nullptr, nullptr, only(Command::Ports), "ask each port in turn for the KR's serial number",
     [](Invocation& inv, const QString&, QString&) { inv.probe = true; }},
    {"--fahrenheit", nullptr, nullptr,
     only(Command::Export, Command::Show, Command::Print, Command::ArchiveReadings, Command::Emc,
          Command::ArchiveJobConditions, Command::Report),
     "temperatures in degrees Fahrenheit",
     [](Invocation& inv, const QString&, QString&) { inv.fahrenheit = true; }},
    {"--encoding", nullptr, "utf-8|cp1252", only(Command::Export), "the export's encoding; default utf-8",
     [](Invocation& inv, const QString& v, QString& error) {
         const QString e = v.toLower();
         if (e == "utf-8" || e == "utf8")
             inv.encoding = Encoding::Utf8;
         else if (e == "cp1252" || e == "windows-1252")
             inv.encoding = Encoding::Cp1252;
         else
             error = QStringLiteral("--encoding takes utf-8 or cp1252, not '%1'").arg(v);
     }},
    {"--file", nullptr, "N", only(Command::Show, Command::Print, Command::Stats, Command::ArchiveJobAssign),
     "only meter file N, 1 to 25",
     [](Invocation& inv, const QString& v, QString& error) {
         const auto n = wholeNumber(v);
         if (!n || *n < 1 || *n > 25)
             error = QStringLiteral("--file takes a meter file number from 1 to 25, not '%1'").arg(v);
         else
             inv.fileNumber = *n;
     }},
    {"--range", nullptr, "LOW-HIGH", only(Command::Stats),
     "the target range in % moisture, such as 6-9 or 6.5-8.5; default: the one kept in kr.ini, else 6-9",
     [](Invocation& inv, const QString& v, QString& error) {
         if (const auto range = moistureRange(v))
             inv.range = *range;
         else
             error = QStringLiteral("--range takes LOW-HIGH in % moisture, LOW not above HIGH (such as 6-9 "
                                    "or 6.5-8.5), not '%1'").arg(v);
     }},
    {"--json", nullptr, nullptr, only(Command::Stats, Command::ArchiveList, Command::ArchiveReadings, Command::ArchiveJobList),
     "JSON instead of the table",
     [](Invocation& inv, const QString&, QString&) { inv.json = true; }},
    {"--csv", nullptr, nullptr, only(Command::ArchiveReadings), "CSV instead of the table, as convert writes it",
     [](Invocation& inv, const QString&, QString&) { inv.csv = true; }},
    {"--job", nullptr, "NAME", Searches | bit(Command::Report),
     "only the meter files put in this job (its whole name, any case); report: the job to report on",
     [](Invocation& inv, const QString& v, QString&) { inv.filter.job = v; }},
    {"--site", nullptr, "TEXT", Searches | bit(Command::ArchiveJobAdd),
     "the job's site address; to search, part of it",
     [](Invocation& inv, const QString& v, QString&) { inv.filter.site = v; }},
    {"--client", nullptr, "TEXT", only(Command::ArchiveJobAdd), "the job's client",
     [](Invocation& inv, const QString& v, QString&) { inv.client = v; }},
    {"--notes", nullptr, "TEXT", only(Command::ArchiveJobAdd), "notes on the job",
     [](Invocation& inv, const QString& v, QString&) { inv.notes = v; }},
    {"--meter", nullptr, "SERIAL", Searches, "only what the meter of this serial number read",
     [](Invocation& inv, const QString& v, QString&) { inv.filter.meter = v; }},
    {"--species", nullptr, "TEXT", Searches, "only readings of species whose name holds TEXT (any case)",
     [](Invocation& inv, const QString& v, QString&) { inv.filter.species = v; }},
    {"--since", nullptr, "YYYY-MM-DD", Searches, "only readings taken on or after that day",
     [](Invocation& inv, const QString& v, QString& error) {
         if (const auto date = isoDate(v))
             inv.filter.since = *date;
         else
             error = QStringLiteral("--since takes a date as YYYY-MM-DD, not '%1'").arg(v);
     }},
    {"--until", nullptr, "YYYY-MM-DD", Searches, "only readings taken on or before that day",
     [](Invocation& inv, const QString& v, QString& error) {
         if (const auto date = isoDate(v))
             inv.filter.until = *date;
         else
             error = QStringLiteral("--until takes a date as YYYY-MM-DD, not '%1'").arg(v);
     }},
    {"--mc", nullptr, "LOW-HIGH", Searches,
     "only moistures in this range, both ends included, in %: 8-12, 8- (8 and above) or -12 (up to 12)",
     [](Invocation& inv, const QString& v, QString& error) {
         if (!ParseMoistureRange(v, inv.filter.moistureLow, inv.filter.moistureHigh))
             error = QStringLiteral("--mc takes LOW-HIGH in % moisture, LOW not above HIGH (such as 8-12, 8- "
                                    "or -12), not '%1'").arg(v);
     }},
    {"--text", nullptr, "TEXT", Searches,
     "only readings with TEXT (any case) in their species, note, meter file comment, document notes or job",
     [](Invocation& inv, const QString& v, QString&) { inv.filter.text = v; }},
    {"--temp", nullptr, "T", only(Command::Emc, Command::ArchiveJobConditions), "the air's temperature, in degrees Celsius unless --fahrenheit",
     [](Invocation& inv, const QString& v, QString& error) {
         inv.temperature = decimalNumber(v);
         if (!inv.temperature)
             error = QStringLiteral("--temp takes a temperature such as 21 or 69.8, not '%1'").arg(v);
     }},
    {"--rh", nullptr, "H", only(Command::Emc, Command::ArchiveJobConditions), "the air's relative humidity in %",
     [](Invocation& inv, const QString& v, QString& error) {
         inv.humidity = decimalNumber(v);
         if (!inv.humidity)
             error = QStringLiteral("--rh takes a relative humidity in %, such as 50, not '%1'").arg(v);
     }},
    {"--date", nullptr, "YYYY-MM-DDTHH:MM", only(Command::ArchiveJobConditions),
     "when the site conditions were measured (a date alone: noon); default: now",
     [](Invocation& inv, const QString& v, QString& error) {
         if (const auto date = isoDate(v))
             inv.when = QDateTime(*date, QTime(12, 0));
         else
             inv.when = QDateTime::fromString(v, Qt::ISODate);
         if (!inv.when.isValid() || inv.when.timeSpec() != Qt::LocalTime)
             error = QStringLiteral("--date takes a local date and time as YYYY-MM-DDTHH:MM, or a date as "
                                    "YYYY-MM-DD, not '%1'").arg(v);
     }},
    {"--archive-db", nullptr, "URL",
     ArchiveCommandSet | only(Command::Download, Command::Erase, Command::Report),
     "the team archive on PostgreSQL, postgresql://user@host:port/database[?sslmode=MODE], instead of "
     "the archive kr.ini names (archive.sqlite in the program folder, unless the setup dialog chose a team "
     "archive); the password comes from PGPASSWORD or ~/.pgpass, never from the address",
     [](Invocation& inv, const QString& v, QString& error) {
         QString why;
         inv.archiveDb = ArchiveLocation::FromUrl(v, &why);
         if (!inv.archiveDb)
             error = QStringLiteral("--archive-db: %1").arg(why);
     }},
    {"--from", nullptr, "ARCHIVE", only(Command::ArchiveCopy),
     "the archive to copy from: a file (archive.sqlite) or postgresql://user@host:port/database",
     [](Invocation& inv, const QString& v, QString& error) { inv.copyFrom = archiveOption(QStringLiteral("--from"), v, error); }},
    {"--note", nullptr, "TEXT", only(Command::ArchiveJobConditions), "a note on the site conditions",
     [](Invocation& inv, const QString& v, QString&) { inv.note = v; }},
    // One option for two commands, told apart once the command is known.
    {"--to", nullptr, "csv|json|ARCHIVE", only(Command::Convert, Command::ArchiveCopy),
     "convert: the form to write; archive copy: the archive to copy into (a file, made when new, or "
     "postgresql://user@host:port/database)",
     [](Invocation& inv, const QString& v, QString&) { inv.to = v; }},
};

const OptionInfo* findOption(const QString& name)
{
    for (const auto& o : Options)
        if (name == QLatin1String(o.name) || (o.alias && name == QLatin1String(o.alias)))
            return &o;
    return nullptr;
}

class Parser {
public:
    explicit Parser(const QStringList& args) : args(args) {}

    ParseResult run()
    {
        ParseResult result;
        while (index < args.size() && error.isEmpty())
            step();
        // Asking for help always gets help, whatever else the line got wrong.
        for (qsizetype i = index; i < args.size() && !optionsEnded; ++i)
            if (args.at(i) == "--help" || args.at(i) == "-h")
                inv.help = true;
        if (error.isEmpty() && !inv.help)
            checkCommand();
        if (inv.help)
            error.clear();
        result.invocation = inv;
        result.error = error;
        return result;
    }

private:
    void step()
    {
        QString arg = args.at(index++);
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            return;
        }
        if (optionsEnded || !arg.startsWith('-') || arg == "-") {
            positional(arg);
            return;
        }
        std::optional<QString> inlineValue;
        if (arg.startsWith("--")) {
            const auto eq = arg.indexOf('=');
            if (eq > 0) {
                inlineValue = arg.mid(eq + 1);
                arg.truncate(eq);
            }
        }
        option(arg, inlineValue);
    }

    void positional(const QString& arg)
    {
        if (!commandSeen) {
            commandSeen = true;
            if (arg == "help") {
                inv.help = true;
                helpCommand = true;
                return;
            }
            if (const auto c = commandFromName(arg)) {
                inv.command = *c;
                return;
            }
            error = QStringLiteral("unknown command '%1'").arg(arg);
            return;
        }
        if (const CommandFamily* family = familyOf(inv.command)) {
            for (const auto& c : family->subCommands)
                if (arg == QLatin1String(c.name))
                    inv.command = c.command;
            if (inv.command == family->parent)
                error = QStringLiteral("%1 takes %2, not '%3'")
                            .arg(commandName(family->parent), QLatin1String(family->choices), arg);
            return;
        }
        if (inv.command == Command::ArchiveImport) {
            inv.inputs << arg;
            return;
        }
        if (takesArchiveArguments(inv.command)) {
            archiveArgument(arg);
            return;
        }
        if (helpCommand && inv.command == Command::None) {
            if (const auto c = commandFromName(arg))
                inv.command = *c;
            else
                error = QStringLiteral("unknown command '%1'").arg(arg);
            return;
        }
        if (!takesInput(inv.command) || !inv.input.isEmpty()) {
            error = QStringLiteral("unexpected argument '%1'").arg(arg);
            return;
        }
        inv.input = arg;
    }

    static bool takesArchiveArguments(Command command)
    {
        return command == Command::ArchiveExport || command == Command::ArchiveRemove
            || command == Command::ArchiveJobAdd || command == Command::ArchiveJobAssign
            || command == Command::ArchiveJobRemove || command == Command::ArchiveJobConditions;
    }

    // archive export ID, remove ID; job add NAME, remove NAME, assign NAME ID.
    void archiveArgument(const QString& arg)
    {
        const bool named = inv.command != Command::ArchiveExport && inv.command != Command::ArchiveRemove;
        if (named && !jobNamed) {
            jobNamed = true;
            inv.jobName = arg.trimmed();
            if (inv.jobName.isEmpty())
                error = QStringLiteral("%1 needs a job name that is not blank").arg(commandName(inv.command));
            return;
        }
        if (inv.command == Command::ArchiveJobAdd || inv.command == Command::ArchiveJobRemove
            || inv.command == Command::ArchiveJobConditions || inv.sourceId != 0) {
            error = QStringLiteral("unexpected argument '%1'").arg(arg);
            return;
        }
        if (const auto id = sourceNumber(arg))
            inv.sourceId = *id;
        else
            error = QStringLiteral("%1 takes the ID of a download or file, as archive list shows it, not '%2'")
                        .arg(commandName(inv.command), arg);
    }

    bool value(const QString& name, const std::optional<QString>& inlineValue, QString& out)
    {
        if (inlineValue) {
            out = *inlineValue;
        } else if (index < args.size()) {
            out = args.at(index++);
        } else {
            error = QStringLiteral("option %1 needs a value").arg(name);
            return false;
        }
        if (out.isEmpty()) {
            error = QStringLiteral("option %1 needs a value").arg(name);
            return false;
        }
        return true;
    }

    bool flag(const QString& name, const std::optional<QString>& inlineValue)
    {
        if (inlineValue)
            error = QStringLiteral("option %1 takes no value").arg(name);
        return !inlineValue;
    }

    void option(const QString& arg, const std::optional<QString>& inlineValue)
    {
        const OptionInfo* option = findOption(arg);
        if (!option) {
            error = QStringLiteral("unknown option '%1'").arg(arg);
            return;
        }
        const QString name = QLatin1String(option->name);
        QString v;
        if (option->valueName ? !value(name, inlineValue, v) : !flag(name, inlineValue))
            return;
        option->apply(inv, v, error);
        if (error.isEmpty())
            given << option;
    }

    void checkCommand()
    {
        if (inv.command == Command::None) {
            error = QStringLiteral("no command given");
            return;
        }
        if (inv.port != 0 && !inv.device.isEmpty()) {
            error = QStringLiteral("give either --port or --device, not both");
            return;
        }
        for (const OptionInfo* option : given) {
            if (!(option->commands & bit(inv.command))) {
                error = QStringLiteral("option %1 does not apply to %2")
                            .arg(QLatin1String(option->name), commandName(inv.command));
                return;
            }
        }
        if (inv.command == Command::Convert && !inv.to.isEmpty()) {
            if (inv.to == "csv")
                inv.format = Format::Csv;
            else if (inv.to == "json")
                inv.format = Format::Json;
            else
                error = QStringLiteral("--to takes csv or json, not '%1'").arg(inv.to);
        }
        if (inv.command == Command::ArchiveCopy && !inv.to.isEmpty())
            inv.copyTo = archiveOption(QStringLiteral("--to"), inv.to, error);
        if (!error.isEmpty())
            return;
        const QString command = commandName(inv.command);
        if (const CommandFamily* family = familyOf(inv.command))
            error = QStringLiteral("%1 needs %2").arg(command, QLatin1String(family->choices));
        else if (inv.command == Command::ArchiveCopy && (!inv.copyFrom || !inv.copyTo))
            error = QStringLiteral("archive copy needs --from ARCHIVE and --to ARCHIVE");
        else if (inv.command == Command::ArchiveCopy && *inv.copyFrom == *inv.copyTo)
            error = QStringLiteral("archive copy needs two archives: --from and --to name the same one");
        else if (inv.command == Command::ArchiveImport && inv.inputs.isEmpty())
            error = QStringLiteral("archive import needs a file or folder");
        else if (takesArchiveArguments(inv.command) && inv.command != Command::ArchiveExport
                 && inv.command != Command::ArchiveRemove && inv.jobName.isEmpty())
            error = QStringLiteral("%1 needs a job name").arg(command);
        else if ((inv.command == Command::ArchiveExport || inv.command == Command::ArchiveRemove
                  || inv.command == Command::ArchiveJobAssign) && inv.sourceId == 0)
            error = QStringLiteral("%1 needs the ID of a download or file (see archive list)").arg(command);
        else if (inv.csv && inv.json)
            error = QStringLiteral("give either --csv or --json, not both");
        else if (inv.filter.since.isValid() && inv.filter.until.isValid() && inv.filter.since > inv.filter.until)
            error = QStringLiteral("--since is after --until: nothing could be found");
        else if (inv.command == Command::Report && inv.input.isEmpty() == inv.filter.job.isEmpty())
            error = QStringLiteral("report needs either --job NAME or a data file, not both");
        else if (takesInput(inv.command) && inv.input.isEmpty() && inv.command != Command::Report)
            error = QStringLiteral("%1 needs a file name").arg(command);
        else if (inv.command == Command::Emc && (!inv.temperature || !inv.humidity))
            error = QStringLiteral("emc needs --temp T and --rh H");
        else if (inv.command == Command::ArchiveJobConditions && inv.temperature.has_value() != inv.humidity.has_value())
            error = QStringLiteral("archive job conditions needs both --temp T and --rh H, or neither to list them");
        else if (inv.command == Command::ArchiveJobConditions && (inv.when.isValid() || !inv.note.isEmpty())
                 && !inv.temperature)
            error = QStringLiteral("--date and --note go with --temp and --rh");
        else if (inv.command == Command::Convert && !inv.format)
            error = QStringLiteral("convert needs --to csv or --to json");
        else if ((inv.command == Command::Download || inv.command == Command::ImportLines
                  || inv.command == Command::LibraryGet || inv.command == Command::Print
                  || inv.command == Command::PrintLibrary || inv.command == Command::ArchiveExport
                  || inv.command == Command::Report)
                 && inv.output.isEmpty())
            error = QStringLiteral("%1 needs -o FILE").arg(command);
        else if ((inv.command == Command::Download || inv.command == Command::ImportLines
                  || inv.command == Command::LibraryGet || inv.command == Command::ArchiveExport
                  || inv.command == Command::Report)
                 && inv.toStandardOutput())
            error = QStringLiteral("%1 writes a file, not standard output; give -o FILE").arg(command);
        else if (inv.command == Command::LibraryPut && !inv.yes)
            error = QStringLiteral("library put erases the KR (after a backup) before it sends the library; "
                                   "give --yes to confirm");
    }

    const QStringList& args;
    qsizetype index = 0;
    Invocation inv;
    QString error;
    QList<const OptionInfo*> given;
    bool commandSeen = false;
    bool helpCommand = false;
    bool optionsEnded = false;
    bool jobNamed = false;
};

} // namespace

ParseResult parseArguments(const QStringList& args) { return Parser(args).run(); }

QString commandName(Command command)
{
    for (const auto& family : Families)
        for (const auto& c : family.subCommands)
            if (c.command == command)
                return commandName(family.parent) + QLatin1Char(' ') + QLatin1String(c.name);
    for (const auto& c : Commands)
        if (c.command == command)
            return QLatin1String(c.name);
    return QStringLiteral("kr-cli");
}

namespace {

// "export, show, print", "every command but ports", or empty for every command.
QString takenBy(const OptionInfo& option)
{
    QStringList taking;
    QStringList others;
    const auto add = [&](Command command) {
        (option.commands & bit(command) ? taking : others) << commandName(command);
    };
    // "library", "archive" and "archive job" alone only have their help: their sub-commands stand for them.
    const std::function<void(Command)> addAll = [&](Command command) {
        if (const CommandFamily* family = familyOf(command))
            for (const auto& sub : family->subCommands)
                addAll(sub.command);
        else
            add(command);
    };
    for (const auto& c : Commands)
        addAll(c.command);
    if (others.isEmpty())
        return {};
    if (others.size() < taking.size())
        return QStringLiteral("every command but ") + others.join(QStringLiteral(", "));
    return taking.join(QStringLiteral(", "));
}

// "-o, --output"
QString optionNames(const OptionInfo& option)
{
    QString names = QLatin1String(option.name);
    if (option.alias)
        names += QStringLiteral(", ") + QLatin1String(option.alias);
    return names;
}

// "-o, --output FILE"
QString optionLabel(const OptionInfo& option)
{
    if (!option.valueName)
        return optionNames(option);
    return optionNames(option) + QLatin1Char(' ') + QLatin1String(option.valueName);
}

// The usage's list of options: each label, then its help filled to 80 columns
// from column 28, and the commands that take it kept together where they fit.
QString optionsUsage()
{
    constexpr qsizetype Indent = 28;
    constexpr qsizetype Width = 80;
    QString text;
    for (const auto& option : Options) {
        QString line = QStringLiteral("  ") + optionLabel(option);
        const auto newLine = [&] {
            text += line + QLatin1Char('\n');
            line = QString(Indent, QLatin1Char(' '));
        };
        if (line.size() + 2 > Indent)
            newLine();
        line = line.leftJustified(Indent);
        const auto fill = [&](const QString& words) {
            for (const QString& word : words.split(QLatin1Char(' '))) {
                if (line.size() > Indent && line.size() + 1 + word.size() > Width)
                    newLine();
                if (line.size() > Indent)
                    line += QLatin1Char(' ');
                line += word;
            }
        };
        fill(QLatin1String(option.help));
        if (const QString commands = takenBy(option); !commands.isEmpty()) {
            const QString phrase = QStringLiteral("(for %1)").arg(commands);
            if (line.size() + 1 + phrase.size() > Width)
                newLine();
            fill(phrase);
        }
        text += line + QLatin1Char('\n');
    }
    return text;
}

// Text as roff reads it: backslashes and hyphens kept as they are.
QString roff(QString text)
{
    text.replace(QLatin1Char('\\'), QStringLiteral("\\e")).replace(QLatin1Char('-'), QStringLiteral("\\-"));
    return text;
}

} // namespace

QString manualOptions()
{
    QString text;
    for (const auto& option : Options) {
        const QString names = roff(optionNames(option));
        QString value = option.valueName ? roff(QLatin1String(option.valueName)) : QString();
        if (value.isEmpty())
            text += QStringLiteral(".TP\n.B \"%1\"\n").arg(names);
        else if (value.contains(QLatin1Char('|')))   // words to type as they are
            text += QStringLiteral(".TP\n.B \"%1 %2\"\n")
                        .arg(names, value.replace(QLatin1Char('|'), QStringLiteral("\\fR|\\fB")));
        else
            text += QStringLiteral(".TP\n.BI \"%1 \" %2\n").arg(names, value);
        QString help = roff(QLatin1String(option.help));
        help[0] = help[0].toUpper();
        text += help + QStringLiteral(".\n");
        if (const QString commands = takenBy(option); !commands.isEmpty())
            text += QStringLiteral("For %1.\n").arg(roff(commands));
    }
    return text;
}

QString usageText(Command command)
{
    switch (command) {
    case Command::None:
        break;
    case Command::Download:
        return QStringLiteral(
            "Usage: kr-cli [--port N | --device PATH] [--home DIR] download -o FILE [--partial]\n"
            "\n"
            "Downloads the summary and every record from the meter and saves them as a data\n"
            "file. When the meter holds no readings, nothing is written and the command says\n"
            "so (exit status 0). A FILE that kr-cli --help says is refused is refused before\n"
            "the meter is asked (exit status 1).\n"
            "\n"
            "A download that is not everything the meter announced (records missing, cut off,\n"
            "unreadable or contradicting each other, or the line lost) says why, leaves FILE\n"
            "as it was and ends with exit status 2. With --partial it saves what arrived\n"
            "instead, says how many of how many readings that is, and ends with exit status 0.\n"
            "A meter that does not answer at all writes nothing either way.\n");
    case Command::Erase:
        return QStringLiteral(
            "Usage: kr-cli [--port N | --device PATH] [--home DIR] erase --yes\n"
            "\n"
            "Downloads the meter's readings into the next backup file data1.bak .. data9.bak\n"
            "of the program folder (when all nine are in use the oldest moves into \"older\n"
            "backups\" there, never deleted), then erases the meter. Without --yes nothing\n"
            "is done (exit status 4); when the backup cannot be written the meter is not\n"
            "erased (exit status 4).\n");
    case Command::Serial:
        return QStringLiteral(
            "Usage: kr-cli [--port N | --device PATH] serial\n"
            "\n"
            "Prints the serial number of the meter on standard output.\n");
    case Command::Emc:
        return QStringLiteral(
            "Usage: kr-cli emc --temp T --rh H [--fahrenheit]\n"
            "\n"
            "Prints the equilibrium moisture content of wood in air of temperature T\n"
            "(degrees Celsius unless --fahrenheit) and relative humidity H (%): the moisture\n"
            "wood settles at there, from the Forest Products Laboratory's sorption equation\n"
            "of the Wood Handbook. It holds from -1 to 100 degrees C (30 to 212 F) and 0 to\n"
            "98 % relative humidity; outside that it says why and exits with status 1.\n");
    case Command::Report:
        return QStringLiteral(
            "Usage: kr-cli [--home DIR] report --job NAME -o OUT.pdf [--fahrenheit]\n"
            "       kr-cli [--home DIR] report FILE.krx -o OUT.pdf [--fahrenheit]\n"
            "\n"
            "Makes the inspection report as a PDF file (A4, 300 dots per inch): the job,\n"
            "site, client, inspector, meters and dates; the site conditions with their EMC;\n"
            "for each location (a meter file's comment) its figures and its acclimation\n"
            "chart, and whether it is stable; the locations compared day by day; the\n"
            "readings; the notes. --job takes the job's downloads and files from the\n"
            "readings archive (archive.sqlite in the program folder); FILE.krx reports on one\n"
            "data file. The target range is the room's (its EMC less and plus the margins\n"
            "kept in kr.ini) when the job has site conditions, else kr.ini's target range;\n"
            "the inspector's name and the comparison limit come from kr.ini too, and a\n"
            "report.txt in the program folder brands the report (see the help).\n"
            "\n"
            "OUT.pdf is written whole and then put in place. Exit status: 0 done; 1 wrong\n"
            "usage, or OUT.pdf refused; 3 FILE.krx or the archive could not be read, no such\n"
            "job, or OUT.pdf not written.\n");
    case Command::Ports:
        return QStringLiteral(
            "Usage: kr-cli ports [--probe]\n"
            "\n"
            "Lists the serial ports that exist, one a line: the port's number as the program\n"
            "shows it (COM<N>), its device, and what the system says of it (description,\n"
            "maker, serial number, USB vendor:product), or \"-\".\n"
            "\n"
            "--probe asks each port in turn for the KR's serial number (about half a second\n"
            "a port) and adds what it found: \"KR <serial number>\", \"no answer\", or why\n"
            "the port was passed over (in use by another program, cannot be opened). Exit\n"
            "status 2 when no KR answered.\n");
    case Command::Export:
        return QStringLiteral(
            "Usage: kr-cli export FILE [--fahrenheit] [--encoding utf-8|cp1252]\n"
            "\n"
            "Prints the tab-separated export of a data file, exactly the text that \"Copy to\n"
            "clipboard\" gives: CR LF line ends, UTF-8 unless --encoding cp1252.\n"
            "Temperatures are in degrees Celsius unless --fahrenheit.\n");
    case Command::Show:
        return QStringLiteral(
            "Usage: kr-cli show FILE [--file N] [--fahrenheit]\n"
            "\n"
            "Prints a readable table of a data file: every meter file that holds readings,\n"
            "or only meter file N (1 to 25).\n");
    case Command::Stats:
        return QStringLiteral(
            "Usage: kr-cli [--home DIR] stats FILE [--file N] [--range LOW-HIGH] [--json]\n"
            "\n"
            "Prints the moisture statistics of a data file, as the window program's \"Readings\n"
            "at a glance\" shows them: for every meter file that holds wood readings (or only\n"
            "meter file N, 1 to 25), then for all of them, the number of readings, the mean,\n"
            "lowest and highest moisture, the sample standard deviation (n - 1) and the share\n"
            "of readings inside the target range, both ends included.\n"
            "\n"
            "Readings without an SG were taken on a reference scale (Drywall, Plaster, ...):\n"
            "they are no wood moisture and are in no line of that table, \"All\" included.\n"
            "A second table below it gives each reference scale in the document its own\n"
            "line: the number of readings, zeros, mean, lowest and highest value and the\n"
            "meter files that hold them; no target range, no SD.\n"
            "\n"
            "Readings of 0 % (the meter stores 0 when it measured nothing) are counted apart\n"
            "as zeros and left out of every other figure. A moisture that is not a number\n"
            "from 0 to 100 (no meter measures one, a data file may hold one) is no reading\n"
            "for the statistics: it is counted apart as left out, and a line below the table\n"
            "says \"N readings left out: moisture not a number from 0 to 100 (meter files ...).\"\n"
            "\n"
            "--range LOW-HIGH  the target range in % moisture, such as 6-9 or 6.5-8.5;\n"
            "                  without it the range kept in kr.ini (section [Glance]),\n"
            "                  else 6-9.\n"
            "--json            one JSON object instead of the table:\n"
            "  {\"range\": [low, high], \"files\": [{\"number\", \"count\", \"zeros\", \"leftOut\",\n"
            "  \"mean\", \"min\", \"max\", \"sd\", \"inRange\"}], \"all\": {the same but \"number\"},\n"
            "  \"reference\": [{\"species\", \"count\", \"mean\", \"min\", \"max\"}]}\n"
            "  \"files\" and \"all\" count wood readings only; \"reference\" has one entry per\n"
            "  reference scale of the whole document, by name (empty when there are none).\n"
            "  Moisture in % with \".\" decimals; inRange a share from 0 to 1; null where a\n"
            "  figure does not exist (no readings; sd of fewer than two).\n"
            "\n"
            "Exit status: 0 done; 1 wrong usage; 3 FILE could not be read.\n");
    case Command::Convert:
        return QStringLiteral(
            "Usage: kr-cli convert FILE --to csv|json [-o OUT]\n"
            "\n"
            "Writes the data file in a form other tools read, to OUT or standard output\n"
            "(no -o, or -o -), in UTF-8. OUT may not be FILE itself, one of the program's own\n"
            "files or anything but a regular file (see kr-cli --help): that is refused with\n"
            "exit status 1. Date-times are ISO 8601 local times (2026-03-05T14:07:00),\n"
            "temperatures degrees Celsius, decimals written with \".\".\n"
            "\n"
            "csv: one row per reading after the header row\n"
            "  file,record,dateTime,temperatureC,species,sg,moisture,note,fileComment\n"
            "  sg is empty where the specific gravity does not apply; fields are quoted\n"
            "  as RFC 4180 says; lines end in CR LF.\n"
            "json: {\"dateStamp\", \"notes\": [lines], \"files\": [25 x {\"number\", \"comment\",\n"
            "  \"readings\": [{\"record\", \"dateTime\", \"temperatureC\", \"species\",\n"
            "  \"sg\" (null where it does not apply), \"moisture\", \"note\"}]}]}\n"
            "Species lose the trailing spaces the meter pads them with.\n");
    case Command::ImportLines:
        return QStringLiteral(
            "Usage: kr-cli import-lines LINES -o FILE\n"
            "\n"
            "Turns captured meter record lines (one per line, as the meter sends them after\n"
            "the data command) into a data file, by the same import as a download. FILE may\n"
            "not be LINES itself, nor an output kr-cli --help says is refused (exit status 1).\n");
    case Command::Print:
    case Command::PrintLibrary:
        return QStringLiteral(
            "Usage: kr-cli [--home DIR] print FILE -o OUT.pdf [--file N] [--fahrenheit]\n"
            "       kr-cli [--home DIR] print-library LIST.lst -o OUT.pdf\n"
            "\n"
            "Makes the pages the window program prints, as a PDF file (A4, 300 dots per\n"
            "inch), without a display: the margins and the print font come from kr.ini in\n"
            "the program folder, species names for print-library from its Factors.dat.\n"
            "\n"
            "print          the data file's readings, all meter files or only meter file N\n"
            "               (1 to 25), then its notes; temperatures in degrees Celsius\n"
            "               unless --fahrenheit.\n"
            "print-library  the library list's species with their names and SG, one page.\n"
            "\n"
            "A negative margin is refused, and so are margins that leave no room for one\n"
            "line of the printout: its columns between the left and the right margin, and\n"
            "one line (four for the readings) between the page header and the bottom\n"
            "margin; also a print font too large for the page. Nothing is written then.\n"
            "\n"
            "OUT.pdf is written whole and then put in place: a failure leaves an older file\n"
            "as it was. -o - writes the PDF to standard output. Exit status: 0 done; 1 wrong\n"
            "usage, or OUT.pdf refused (the input, one of the program's own files, or not a\n"
            "regular file); 3 a file could not be read or OUT.pdf not written; 4 refused:\n"
            "margins (or the print font) without room.\n");
    case Command::Archive:
        return QStringLiteral(
            "Usage: kr-cli [--home DIR] archive import PATH...\n"
            "       kr-cli [--home DIR] archive list [FILTERS] [--json]\n"
            "       kr-cli [--home DIR] archive readings [FILTERS] [--csv | --json] [-o FILE]\n"
            "       kr-cli [--home DIR] archive export ID -o FILE.krx\n"
            "       kr-cli [--home DIR] archive remove ID --yes\n"
            "       kr-cli [--home DIR] archive job add|assign|list|remove|conditions ...\n"
            "       kr-cli archive copy --from ARCHIVE --to ARCHIVE\n"
            "\n"
            "The readings archive, archive.sqlite in the program folder (beside kr.ini):\n"
            "every data file, backup and download kept in it, each reading once. An ID is\n"
            "the number archive list shows for a download or file. kr-cli archive COMMAND\n"
            "--help tells about each command.\n"
            "\n"
            "Exit status: 0 done; 1 wrong usage; 3 a file could not be read or written, the\n"
            "archive could not be used, or it holds no such ID or job; 4 not removed\n"
            "without --yes.\n");
    case Command::ArchiveList:
    case Command::ArchiveReadings:
        return QStringLiteral(
            "Usage: kr-cli [--home DIR] archive list [FILTERS] [--json]\n"
            "       kr-cli [--home DIR] archive readings [FILTERS] [--csv | --json] [-o FILE]\n"
            "\n"
            "list      the downloads and files that hold a reading the filters find, newest\n"
            "          first: ID, when (the download's time, a file's modification time),\n"
            "          kind (download, file or backup), meter, readings, the meter files'\n"
            "          comments and jobs. --json: an array of objects {\"id\", \"kind\",\n"
            "          \"when\", \"meter\", \"port\", \"completeness\", \"path\", \"readings\",\n"
            "          \"comments\", \"jobs\"}; comments and jobs have \"; \" between them,\n"
            "          null where the archive knows nothing.\n"
            "readings  the readings the filters find, newest first, each once: ID,\n"
            "          date/time, meter file, record, species, SG, moisture, temperature,\n"
            "          meter, the meter file's comment, job and note. Written as they are\n"
            "          read, so any number of readings can go out. --csv as convert writes\n"
            "          it, with the header\n"
            "            id,dateTime,file,record,species,sg,moisture,temperatureC,meter,\n"
            "            fileComment,job,note\n"
            "          (temperatureF with --fahrenheit); --json an array of objects with\n"
            "          those keys, null where a value does not apply. -o FILE writes FILE\n"
            "          whole, then puts it in place; -o - is standard output.\n"
            "\n"
            "Filters (all given must hold):\n"
            "  --job NAME          meter files put in this job\n"
            "  --site TEXT         meter files of jobs whose site holds TEXT\n"
            "  --meter SERIAL      what the meter of this serial number read\n"
            "  --species TEXT      species whose name holds TEXT\n"
            "  --since YYYY-MM-DD  taken on or after that day\n"
            "  --until YYYY-MM-DD  taken on or before that day\n"
            "  --mc LOW-HIGH       moisture in this range in %, both ends included: 8-12,\n"
            "                      8- (8 and above) or -12 (up to 12); unread readings never\n"
            "  --text TEXT         TEXT in the species, note, meter file comment, document\n"
            "                      notes, or the job's name, site, client or notes\n"
            "Text is matched in any case. A date or range written otherwise is wrong usage.\n"
            "\n"
            "Exit status: 0 done (also when nothing is found); 1 wrong usage; 3 the archive\n"
            "could not be used, or FILE not written.\n");
    case Command::ArchiveExport:
    case Command::ArchiveRemove:
        return QStringLiteral(
            "Usage: kr-cli [--home DIR] archive export ID -o FILE.krx\n"
            "       kr-cli [--home DIR] archive remove ID --yes\n"
            "\n"
            "export  writes download or file ID (see archive list) as a data file, as it was\n"
            "        kept: its readings, meter file comments and notes. FILE.krx may not be\n"
            "        one of the outputs kr-cli --help says are refused (exit status 1).\n"
            "remove  takes download or file ID out of the archive, with the readings no\n"
            "        other download or file holds, and says how many left. Nothing is\n"
            "        removed without --yes (exit status 4).\n"
            "\n"
            "Exit status: 0 done; 1 wrong usage; 3 no such ID, the archive could not be\n"
            "used, or FILE.krx not written; 4 not removed without --yes.\n");
    case Command::ArchiveJob:
    case Command::ArchiveJobAdd:
    case Command::ArchiveJobAssign:
    case Command::ArchiveJobList:
    case Command::ArchiveJobRemove:
    case Command::ArchiveJobConditions:
        return QStringLiteral(
            "Usage: kr-cli [--home DIR] archive job add NAME [--site TEXT] [--client TEXT]\n"
            "                                            [--notes TEXT]\n"
            "       kr-cli [--home DIR] archive job assign NAME ID [--file N]\n"
            "       kr-cli [--home DIR] archive job list [--json]\n"
            "       kr-cli [--home DIR] archive job remove NAME --yes\n"
            "       kr-cli [--home DIR] archive job conditions NAME [--temp T --rh H\n"
            "                     [--fahrenheit] [--date YYYY-MM-DDTHH:MM] [--note TEXT]]\n"
            "\n"
            "Jobs group meter files of the archive by the work they were read for.\n"
            "\n"
            "add     adds job NAME, or changes the site, client or notes given of the job\n"
            "        of that name (any case); what is not given stays as it was.\n"
            "assign  puts the meter files of download or file ID (see archive list) in job\n"
            "        NAME: all of them, or only meter file N (1 to 25) with --file.\n"
            "list    each job: name, site, client, meter files and readings in it. --json: an\n"
            "        array of objects {\"name\", \"site\", \"client\", \"notes\", \"meterFiles\",\n"
            "        \"readings\"}.\n"
            "remove  removes job NAME and its site conditions; its meter files stay in the\n"
            "        archive, in no job. Nothing is removed without --yes (exit status 4).\n"
            "conditions  with --temp and --rh, adds the site's air at a visit to job NAME:\n"
            "        temperature T (degrees Celsius unless --fahrenheit) and relative humidity\n"
            "        H (%), measured at --date (default: now), with a note; the equilibrium\n"
            "        moisture (EMC) of wood in that air is said. Values the EMC equation does\n"
            "        not cover (-1 to 100 C, 0 to 98 % RH) are refused (exit status 1).\n"
            "        Without them, lists the job's site conditions with their EMC.\n"
            "\n"
            "Exit status: 0 done; 1 wrong usage; 3 no such job, ID or meter file, or the\n"
            "archive could not be used; 4 not removed without --yes.\n");
    case Command::ArchiveSend:
        return QStringLiteral(
            "Usage: kr-cli [--home DIR] [--archive-db URL] archive send\n"
            "\n"
            "When the team archive (--archive-db, or the one the setup dialog chose) cannot\n"
            "be written, a download, an erase backup or an import waits in\n"
            "archive-queue.sqlite in the program folder, and the command says so (exit\n"
            "status 3): nothing is lost. send copies what waits into the team archive,\n"
            "passing over what it holds already, then empties the queue. The window program\n"
            "sends the queue itself when it starts, and with File > Send waiting readings to\n"
            "the team archive.\n"
            "\n"
            "Exit status: 0 sent, or nothing waited; 1 wrong usage (no team archive named);\n"
            "3 the team archive still cannot be written (the queue stays as it was).\n");
    case Command::ArchiveCopy:
        return QStringLiteral(
            "Usage: kr-cli archive copy --from ARCHIVE --to ARCHIVE\n"
            "\n"
            "Copies every download and file of one readings archive into another, with its\n"
            "jobs, meter files' jobs and site conditions: a single user's archive.sqlite\n"
            "into the team's archive on PostgreSQL (postgresql://user@host:port/database),\n"
            "or back. What the other archive holds already is passed over, so copying\n"
            "twice adds nothing. Ends with a line such as \"1,204 downloads and files: 1,180\n"
            "copied, 24 already there.\" A password comes from PGPASSWORD or ~/.pgpass.\n"
            "\n"
            "Exit status: 0 done; 1 wrong usage; 3 an archive could not be used (what was\n"
            "copied before stays copied; run it again to go on).\n");
    case Command::ArchiveImport:
        return QStringLiteral(
            "Usage: kr-cli [--home DIR] archive import PATH...\n"
            "\n"
            "Keeps the readings of data files in the readings archive, archive.sqlite in the\n"
            "program folder (beside kr.ini). PATH is a data file or a folder, searched\n"
            "throughout for *.krx and data*.bak. Each reading is kept once, however many\n"
            "files hold it; a file already in the archive adds nothing. An unreadable file\n"
            "is listed and passed over. Ends with a line such as \"1,204 files: 1,180\n"
            "imported, 20 already in the archive, 4 unreadable (listed).\"\n"
            "\n"
            "Exit status: 0 done; 1 wrong usage; 3 a file could not be read (the others were\n"
            "kept), or the archive could not be used (nothing changed in it).\n");
    case Command::Library:
    case Command::LibraryGet:
    case Command::LibraryPut:
    case Command::LibraryShow:
        return QStringLiteral(
            "Usage: kr-cli [--port N | --device PATH] [--home DIR] library get -o FILE.lst\n"
            "       kr-cli [--port N | --device PATH] [--home DIR] library put FILE.lst --yes [--nd]\n"
            "       kr-cli [--home DIR] library show FILE.lst\n"
            "\n"
            "The meter's species library: 31 species and 7 wall-and-roof entries. A library\n"
            "list file holds the codes of 31 species of the factor catalogue (Factors.dat in\n"
            "the program folder, then the species added from meters, Added.dat there), one\n"
            "a line, then notes; the library editor reads and writes the same files.\n"
            "\n"
            "get   reads the meter's library into FILE.lst. A species takes the catalogue's\n"
            "      species of its name when their SGs agree; one the catalogue lacks, or\n"
            "      lists with another SG, is kept as the meter has it, in the user catalogue\n"
            "      Added.dat in the program folder (group \"Added\"), under a code that\n"
            "      means it in every later run (100000NN, past 99 1000NNNN). Those are\n"
            "      named, with both SGs where they differ, so put sends the meter the same\n"
            "      species back. The 7 wall-and-roof entries go beside the list into\n"
            "      FILE.wallroof, in the sections and keys of wallroof.ini. Exit status 2\n"
            "      when the meter does not answer or sends too few lines (both files are\n"
            "      left as they were).\n"
            "put   sends the list to the meter, as \"Save library to meter\" does: the meter's\n"
            "      readings are backed up into data<n>.bak and erased first, then the library\n"
            "      goes a character at a time (about 4.5 s); then it says \"The library was\n"
            "      sent to the KR: 31 species.\" Nothing is sent without --yes (exit\n"
            "      status 1); a list with fewer than 31 species, a code the catalogue\n"
            "      lacks, a species with a blank name, or an SG of 0.00 or of 1.00 or more is\n"
            "      refused before anything is sent (exit status 4), and so is a meter whose\n"
            "      readings cannot be backed up. The wall-and-roof entries are FILE.wallroof's\n"
            "      when it is there, else each key of wallroof.ini in the program folder,\n"
            "      else the defaults; one line says which. A FILE.wallroof that cannot be\n"
            "      used (a key missing, a value over 16 characters) stops the upload before\n"
            "      anything is sent (exit status 3). --nd leaves out the extra erase command\n"
            "      and the 1.5 s pause before the library, as the window program's ND\n"
            "      argument does.\n"
            "show  prints the list: each code with its name and SG (two decimals, as the\n"
            "      catalogue has it), then the notes.\n"
            "\n"
            "Exit status: 0 done; 1 wrong usage, or FILE.lst or FILE.wallroof refused before\n"
            "the meter is asked (one of the program's own files, such as Factors.dat,\n"
            "Added.dat or wallroof.ini, not a regular file, or a list named *.wallroof); 2\n"
            "the meter did not answer or could not be reached; 3 the list file, its\n"
            "FILE.wallroof or the catalogue could not be read or used, or FILE.lst or\n"
            "FILE.wallroof not written; 4 refused before the library was sent.\n");
    }
    return QStringLiteral(
        "Usage: kr-cli [--port N | --device PATH] [--home DIR] COMMAND [ARGS]\n"
        "\n"
        "Commands:\n"
        "  download -o FILE [--partial]\n"
        "                            summary and records from the meter into a data file\n"
        "                            (--partial: keep a download that fell short)\n"
        "  erase --yes               back up into the program folder's data<n>.bak, then erase\n"
        "  serial                    print the meter's serial number\n"
        "  ports [--probe]           list the serial ports with their devices (--probe: and\n"
        "                            ask each one for a KR)\n"
        "  export FILE [--fahrenheit] [--encoding utf-8|cp1252]\n"
        "                            print the tab-separated export of a data file, exactly the\n"
        "                            clipboard text (CR LF line ends; UTF-8 unless told otherwise)\n"
        "  show FILE [--file N]      a readable table of a data file (all meter files that hold\n"
        "                            readings, or one)\n"
        "  emc --temp T --rh H [--fahrenheit]\n"
        "                            the wood's equilibrium moisture in air of that temperature\n"
        "                            and relative humidity\n"
        "  stats FILE [--file N] [--range LOW-HIGH] [--json]\n"
        "                            wood moisture statistics per meter file and for all: mean,\n"
        "                            lowest, highest, spread, share in the target range; each\n"
        "                            reference scale (no SG) on a line of its own\n"
        "  convert FILE --to csv|json [-o OUT]\n"
        "                            a CSV or JSON rendering of a data file, for other tools\n"
        "  import-lines LINES -o FILE\n"
        "                            turn captured meter record lines into a data file\n"
        "  library get -o FILE.lst   the meter's species library into a library list file\n"
        "                            (its wall-and-roof entries into FILE.wallroof)\n"
        "  library put FILE.lst --yes [--nd]\n"
        "                            back up and erase the meter, then send it the list\n"
        "  library show FILE.lst     the list's species with their names and SG\n"
        "  print FILE -o OUT.pdf [--file N] [--fahrenheit]\n"
        "                            the data printout as a PDF file\n"
        "  print-library LIST.lst -o OUT.pdf\n"
        "                            the library printout as a PDF file\n"
        "  archive import PATH...    keep data files (folders searched throughout) in the\n"
        "                            readings archive, each reading once\n"
        "  archive list [FILTERS] [--json]\n"
        "                            the archive's downloads and files that hold what the\n"
        "                            filters find (see kr-cli archive list --help)\n"
        "  archive readings [FILTERS] [--csv | --json] [-o FILE]\n"
        "                            the readings the filters find\n"
        "  archive export ID -o FILE.krx\n"
        "                            a download or file of the archive as a data file\n"
        "  archive remove ID --yes   take a download or file out of the archive\n"
        "  archive job add NAME [--site TEXT] [--client TEXT] [--notes TEXT]\n"
        "  archive job assign NAME ID [--file N]\n"
        "  archive job list [--json]\n"
        "  archive job remove NAME --yes\n"
        "                            jobs: add or change one, put meter files in it, list\n"
        "                            them, remove one\n"
        "  archive job conditions NAME [--temp T --rh H [--date WHEN] [--note TEXT]]\n"
        "                            add the site's air at a visit to a job, or list it\n"
        "  archive copy --from ARCHIVE --to ARCHIVE\n"
        "                            copy a single user's archive into the team's on\n"
        "                            PostgreSQL, or back\n"
        "  [--archive-db URL] archive send\n"
        "                            send what waited while the team archive was away\n"
        "  report --job NAME -o OUT.pdf, report FILE.krx -o OUT.pdf\n"
        "                            the inspection report as a PDF file\n"
        "\n"
        "Options:\n")
        + optionsUsage() + QStringLiteral(
        "\n"
        "Outputs (-o) never replace what is not theirs: the input file, the program's own\n"
        "files (Factors.dat, Added.dat, kr.ini, wallroof.ini, data1.bak .. data9.bak)\n"
        "and anything but a regular file (a device, a FIFO, a folder) are refused under\n"
        "any name or link, before anything is read or the meter is asked. convert,\n"
        "print, print-library and archive readings take -o - for standard output.\n"
        "\n"
        "Messages go to standard error. Exit status: 0 success; 1 wrong usage (also a\n"
        "refused output); 2 the meter did not answer, the port failed or another program\n"
        "is using it, or a download fell short (nothing written unless --partial); 3 a\n"
        "file could not be read or written, or the archive could not be used or holds no\n"
        "such ID or job; 4 refused (erase without --yes, or the backup failed so the\n"
        "meter was not erased; a library the meter cannot take; print margins that are\n"
        "negative or leave no room for a line of the printout; archive remove and archive\n"
        "job remove without --yes); 130 stopped by Ctrl+C while the meter was being read\n"
        "(nothing erased or written).\n");
}

} // namespace kr::cli
