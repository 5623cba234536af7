#include "tools/cli/ArchiveCommands.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QVariant>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveQueue.h"
#include "core/Cp1252.h"
#include "core/Emc.h"
#include "core/Errors.h"
#include "core/Mtlutils.h"
#include "core/Readings.h"
#include "core/Regional.h"
#include "platform/DocumentExport.h"
#include "platform/Text.h"
#include "settings/Appglob.h"
#include "settings/IniFile.h"
#include "tools/cli/CliArgs.h"
#include "tools/cli/CliPrompts.h"
#include "tools/cli/Commands.h"

namespace kr::cli {

namespace {

// Opens the archive for one command; an archive that cannot be used, or a
// request it cannot meet, is said and ends the command with exit status 3.
int withArchive(const Invocation& inv, CliPrompts& prompts, const std::function<int(TArchive&)>& run)
{
    try {
        TArchive archive(ArchiveLocationOf(inv));
        return run(archive);
    } catch (const ArchiveError& e) {
        prompts.print(QString::fromStdString(e.what()));
        return ExitFile;
    }
}

// Where a listing goes while it is read: standard output, or a file that is
// put in place only once it is whole.
class Sink {
public:
    explicit Sink(const QString& path) : path(path == QLatin1String("-") ? QString() : path), file(this->path) {}

    bool open() { return path.isEmpty() || file.open(QIODevice::WriteOnly); }
    void write(const QByteArray& bytes)
    {
        if (!ok)
            return;
        ok = path.isEmpty() ? std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout) == std::size_t(bytes.size())
                            : file.write(bytes) == bytes.size();
    }
    bool failed() const { return !ok; }
    int finish(CliPrompts& prompts)
    {
        if (path.isEmpty()) {
            if (std::fflush(stdout) != 0 || !ok) {
                prompts.print(QStringLiteral("Stream write error"));
                return ExitFile;
            }
            return ExitOk;
        }
        if (!ok || !file.commit()) {
            file.cancelWriting();
            prompts.print(QStringLiteral("Cannot create file %1").arg(path));
            return ExitFile;
        }
        return ExitOk;
    }
    QString name() const { return path; }

private:
    QString path;
    QSaveFile file;
    bool ok = true;
};

// Control characters would upset a terminal; tables show them as '?'.
QString printable(QString text)
{
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    return text;
}

// "2026-03-05T14:07:00" as the window shows a date and time (regional settings).
QString systemDateTime(const QString& iso)
{
    const QDateTime when = QDateTime::fromString(iso, Qt::ISODate);
    if (!when.isValid())
        return iso;
    const QDate d = when.date();
    const QTime t = when.time();
    return QString::fromStdString(cp1252ToUtf8(
        DateTimeToSystemText(EncodeDate(d.year(), d.month(), d.day()) + EncodeTime(t.hour(), t.minute(), t.second(), 0))));
}

QString regionalNumber(const QVariant& value, int decimals)
{
    if (value.isNull())
        return {};
    return QString::fromStdString(FormatFixed4(value.toDouble(), decimals, regional().decimalSeparator));
}

// A table written a row at a time: each column as wide as its heading or
// `width`, whichever is more; a longer value pushes the rest of its row along.
struct Column {
    const char* heading;
    int width;
    bool right;
};

QByteArray tableLine(const std::vector<Column>& columns, const QStringList& values)
{
    QString line;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const Column& col = columns[c];
        const int width = std::max<int>(col.width, int(QString::fromUtf8(col.heading).size()));
        const QString value = printable(values.value(qsizetype(c)));
        if (c > 0)
            line += QStringLiteral("  ");
        line += col.right ? value.rightJustified(width) : value.leftJustified(width);
    }
    while (line.endsWith(QLatin1Char(' ')))
        line.chop(1);
    return (line + QLatin1Char('\n')).toUtf8();
}

QByteArray tableHeading(const std::vector<Column>& columns)
{
    QStringList headings;
    for (const Column& c : columns)
        headings << QString::fromUtf8(c.heading);
    return tableLine(columns, headings);
}

QString nonNull(const QVariant& v) { return v.isNull() ? QString() : v.toString(); }
QJsonValue jsonText(const QVariant& v) { return v.isNull() ? QJsonValue() : QJsonValue(v.toString()); }

// A JSON array written an element at a time.
class JsonArrayWriter {
public:
    explicit JsonArrayWriter(Sink& sink) : sink(sink) {}
    void add(const QJsonObject& object)
    {
        sink.write((first ? QByteArray("[\n  ") : QByteArray(",\n  ")) + QJsonDocument(object).toJson(QJsonDocument::Compact));
        first = false;
    }
    void end() { sink.write(first ? QByteArray("[]\n") : QByteArray("\n]\n")); }

private:
    Sink& sink;
    bool first = true;
};

// ---- readings ----------------------------------------------------------------------

enum class ReadingForm { Table, Csv, Json };

// One reading of TArchive::Readings in the form asked for.
class ReadingWriter {
public:
    ReadingWriter(Sink& sink, ReadingForm form, bool centigrade)
        : sink(sink), form(form), centigrade(centigrade), json(sink),
          columns{{"ID", 6, true},      {"Date/Time", 19, false}, {"File", 4, true},     {"Record", 6, true},
                  {"Species", 13, false}, {"SG", 4, true},        {"Moisture", 8, true}, {centigrade ? "\u00B0C" : "\u00B0F", 4, true},
                  {"Meter", 8, false},  {"Comment", 16, false},   {"Job", 12, false},    {"Note", 0, false}}
    {
        if (form == ReadingForm::Csv)
            sink.write(QByteArray("id,dateTime,file,record,species,sg,moisture,") + temperatureKey()
                       + ",meter,fileComment,job,note\r\n");
    }

    void add(const ArchiveCursor& q)
    {
        ++count;
        const int celsius = q.value(TArchive::RTemperature).toInt();
        const int temperature = centigrade ? celsius : int(std::llround(celsius * 1.8 + 32));
        // The meter pads species to 13 characters; tools want the name alone.
        const QString species = q.value(TArchive::RSpecies).toString().trimmed();
        switch (form) {
        case ReadingForm::Table:
            if (count == 1)
                sink.write(tableHeading(columns));
            sink.write(tableLine(columns, {q.value(TArchive::RId).toString(), systemDateTime(q.value(TArchive::RTaken).toString()),
                                           q.value(TArchive::RFileNo).toString(), q.value(TArchive::RSlot).toString(), species,
                                           regionalNumber(q.value(TArchive::RSG), 2),
                                           regionalNumber(q.value(TArchive::RMoisture), 1), QString::number(temperature),
                                           nonNull(q.value(TArchive::RMeter)), nonNull(q.value(TArchive::RComment)),
                                           nonNull(q.value(TArchive::RJob)), nonNull(q.value(TArchive::RNote))}));
            break;
        case ReadingForm::Csv: {
            const std::array<QString, 12> fields = {
                q.value(TArchive::RId).toString(), q.value(TArchive::RTaken).toString(),
                q.value(TArchive::RFileNo).toString(), q.value(TArchive::RSlot).toString(), species,
                plain(q.value(TArchive::RSG)), plain(q.value(TArchive::RMoisture)), QString::number(temperature),
                nonNull(q.value(TArchive::RMeter)), nonNull(q.value(TArchive::RComment)),
                nonNull(q.value(TArchive::RJob)), nonNull(q.value(TArchive::RNote))};
            std::string line;
            for (std::size_t i = 0; i < fields.size(); ++i)
                line += (i > 0 ? "," : "") + csvField(fields[i].toStdString());
            sink.write(QByteArray::fromStdString(line + "\r\n"));
            break;
        }
        case ReadingForm::Json: {
            QJsonObject o;
            o.insert("id", q.value(TArchive::RId).toLongLong());
            o.insert("dateTime", q.value(TArchive::RTaken).toString());
            o.insert("file", q.value(TArchive::RFileNo).toInt());
            o.insert("record", q.value(TArchive::RSlot).toInt());
            o.insert("species", species);
            o.insert("sg", number(q.value(TArchive::RSG)));
            o.insert("moisture", number(q.value(TArchive::RMoisture)));
            o.insert(QString::fromLatin1(temperatureKey()), temperature);
            o.insert("meter", jsonText(q.value(TArchive::RMeter)));
            o.insert("fileComment", nonNull(q.value(TArchive::RComment)));
            o.insert("job", jsonText(q.value(TArchive::RJob)));
            o.insert("note", nonNull(q.value(TArchive::RNote)));
            json.add(o);
            break;
        }
        }
    }

    void end(CliPrompts& prompts)
    {
        if (form == ReadingForm::Json)
            json.end();
        if (form == ReadingForm::Table && count == 0)
            prompts.print(QStringLiteral("No readings found."));
    }

private:
    const char* temperatureKey() const { return centigrade ? "temperatureC" : "temperatureF"; }
    static QString plain(const QVariant& v)
    {
        return v.isNull() ? QString() : QString::fromStdString(plainNumber(v.toDouble(), 2));
    }
    static QJsonValue number(const QVariant& v) { return v.isNull() ? QJsonValue() : jsonNumber(v.toDouble(), 2); }

    Sink& sink;
    ReadingForm form;
    bool centigrade;
    JsonArrayWriter json;
    std::vector<Column> columns;
    qint64 count = 0;
};

// ---- sources -----------------------------------------------------------------------

struct SourceFacts {
    QString name;      // "download 12", "file 3", "backup 7": as the messages name it
    int readings = 0;  // it held, whether or not another source held them too
};

// Throws ArchiveError when the archive holds no such source.
SourceFacts sourceFacts(const TArchive& archive, qint64 id)
{
    ArchiveFilter only;
    only.sourceId = id;
    ArchiveCursor q = archive.Sources(only);
    if (!q.next())
        throw ArchiveError(QStringLiteral("The archive holds no download or file %1.").arg(id).toStdString());
    return {q.value(TArchive::SKind).toString() + QLatin1Char(' ') + QString::number(id), q.value(TArchive::SReadings).toInt()};
}

QString readingCount(int n) { return n == 1 ? QStringLiteral("1 reading") : QStringLiteral("%1 readings").arg(n); }

} // namespace

namespace {

// Said once when the team archive could not be written and what it missed
// went into the queue instead; exit status 3 either way.
int queued(const Invocation& inv, const QString& why, const std::function<void(TArchive&)>& keep, CliPrompts& prompts)
{
    try {
        KeepInQueue(keep);
    } catch (const ArchiveError& e) {
        prompts.print(QStringLiteral("The team archive %1 could not be written (%2), nor the queue %3: %4")
                          .arg(ArchiveLocationOf(inv).Shown(), why, QDir::toNativeSeparators(ArchiveQueuePath()),
                               QString::fromStdString(e.what())));
        return ExitFile;
    }
    prompts.print(QStringLiteral("The team archive %1 could not be written (%2). Nothing is lost: it waits in %3 "
                                 "and goes with kr-cli archive send.")
                      .arg(ArchiveLocationOf(inv).Shown(), why, QDir::toNativeSeparators(ArchiveQueuePath())));
    return ExitFile;
}

} // namespace

ArchiveLocation ArchiveLocationOf(const Invocation& inv)
{
    return inv.archiveDb ? *inv.archiveDb : ReadArchiveLocation(IniFile(IniFilePath()));
}

bool keepInArchive(const Invocation& inv, const TFile& doc, const TArchive::Source& source, CliPrompts& prompts)
{
    try {
        TArchive archive(ArchiveLocationOf(inv));
        const TArchive::Kept kept = archive.Keep(doc, source);
        prompts.print(QStringLiteral("Kept in the archive: %1 readings, %2 of them new.").arg(kept.readings).arg(kept.added));
        return true;
    } catch (const ArchiveError& e) {
        if (ArchiveLocationOf(inv).engine == ArchiveLocation::SQLite) {
            prompts.print(QString::fromStdString(e.what()));
            return false;
        }
        queued(inv, QString::fromStdString(e.what()).trimmed(), [&](TArchive& queue) { queue.Keep(doc, source); },
               prompts);
        return false;
    }
}


int runArchiveImport(const Invocation& inv, CliPrompts& prompts)
{
    try {
        TArchive archive(ArchiveLocationOf(inv));
        const TArchive::ImportSummary summary = archive.Import(inv.inputs);
        for (const QString& line : summary.unreadable)
            prompts.print(line);
        std::printf("%s\n", summary.Sentence().toUtf8().constData());
        return summary.unreadable.isEmpty() ? ExitOk : ExitFile;
    } catch (const ArchiveError& e) {
        if (ArchiveLocationOf(inv).engine == ArchiveLocation::SQLite) {
            prompts.print(QString::fromStdString(e.what()));
            return ExitFile;
        }
        // The files imported before stay in the team archive; the queue takes
        // them all again, and sending it passes over those already there.
        return queued(inv, QString::fromStdString(e.what()).trimmed(),
                      [&](TArchive& queue) { queue.Import(inv.inputs); }, prompts);
    }
}

int runArchiveSend(const Invocation& inv, CliPrompts& prompts)
{
    const ArchiveLocation team = ArchiveLocationOf(inv);
    if (team.engine == ArchiveLocation::SQLite) {
        prompts.print(QStringLiteral("archive send needs a team archive: --archive-db URL, or a PostgreSQL server "
                                     "chosen in the setup dialog"));
        return ExitUsage;
    }
    if (!ArchiveQueueWaits()) {
        prompts.print(QStringLiteral("Nothing waits to be sent to the team archive."));
        return ExitOk;
    }
    try {
        TArchive archive(team);
        const TArchive::Copied copied = SendQueue(archive);
        prompts.print(QStringLiteral("Sent to the team archive: %1 copied, %2 already there.")
                          .arg(copied.sources)
                          .arg(copied.already));
        return ExitOk;
    } catch (const ArchiveError& e) {
        prompts.print(QStringLiteral("%1 The queue stays as it was.").arg(QString::fromStdString(e.what())));
        return ExitFile;
    }
}

int runArchiveReadings(const Invocation& inv, CliPrompts& prompts)
{
    if (outputRefused(inv, prompts))
        return ExitUsage;
    return withArchive(inv, prompts, [&](TArchive& archive) {
        ArchiveCursor q = archive.Readings(inv.filter);
        Sink sink(inv.output);
        if (!sink.open())
            return sink.finish(prompts);
        ReadingWriter writer(sink, inv.csv ? ReadingForm::Csv : inv.json ? ReadingForm::Json : ReadingForm::Table,
                             !inv.fahrenheit);
        while (!sink.failed() && q.next())
            writer.add(q);
        writer.end(prompts);
        return sink.finish(prompts);
    });
}

int runArchiveList(const Invocation& inv, CliPrompts& prompts)
{
    return withArchive(inv, prompts, [&](TArchive& archive) {
        ArchiveCursor q = archive.Sources(inv.filter);
        Sink sink({});
        JsonArrayWriter json(sink);
        const std::vector<Column> columns{{"ID", 4, true},       {"When", 19, false},    {"Kind", 8, false},
                                          {"Meter", 8, false},   {"Readings", 8, true},  {"Comments", 20, false},
                                          {"Jobs", 0, false}};
        int count = 0;
        while (!sink.failed() && q.next()) {
            const QString when = nonNull(q.value(TArchive::SHappened).isNull() ? q.value(TArchive::SKept)
                                                                                 : q.value(TArchive::SHappened));
            if (inv.json) {
                QJsonObject o;
                o.insert("id", q.value(TArchive::SId).toLongLong());
                o.insert("kind", q.value(TArchive::SKind).toString());
                o.insert("when", when);
                o.insert("meter", jsonText(q.value(TArchive::SMeter)));
                o.insert("port", jsonText(q.value(TArchive::SPort)));
                o.insert("completeness", jsonText(q.value(TArchive::SCompleteness)));
                o.insert("path", jsonText(q.value(TArchive::SPath)));
                o.insert("readings", q.value(TArchive::SReadings).toInt());
                o.insert("comments", jsonText(q.value(TArchive::SComments)));
                o.insert("jobs", jsonText(q.value(TArchive::SJobs)));
                json.add(o);
            } else {
                if (count == 0)
                    sink.write(tableHeading(columns));
                sink.write(tableLine(columns, {q.value(TArchive::SId).toString(), systemDateTime(when),
                                               q.value(TArchive::SKind).toString(), nonNull(q.value(TArchive::SMeter)),
                                               q.value(TArchive::SReadings).toString(), nonNull(q.value(TArchive::SComments)),
                                               nonNull(q.value(TArchive::SJobs))}));
            }
            ++count;
        }
        if (inv.json)
            json.end();
        else if (count == 0)
            prompts.print(QStringLiteral("No downloads or files found."));
        return sink.finish(prompts);
    });
}

int runArchiveExport(const Invocation& inv, CliPrompts& prompts)
{
    if (outputRefused(inv, prompts))
        return ExitUsage;
    return withArchive(inv, prompts, [&](TArchive& archive) {
        const SourceFacts source = sourceFacts(archive, inv.sourceId);
        TKRFile doc;
        archive.Export(inv.sourceId, doc);
        try {
            doc.SaveToFile(toNativePath(inv.output));
        } catch (const KrError& e) {
            prompts.print(fromCp1252(e.what()));
            return int(ExitFile);
        }
        prompts.print(QStringLiteral("Saved %1 as %2: %3.").arg(source.name, inv.output, readingCount(source.readings)));
        return int(ExitOk);
    });
}

int runArchiveRemove(const Invocation& inv, CliPrompts& prompts)
{
    if (!inv.yes) {
        prompts.print(QStringLiteral("Not removed: removing takes download or file %1 and the readings only it holds "
                                     "out of the archive; give --yes to confirm.")
                          .arg(inv.sourceId));
        return ExitRefused;
    }
    return withArchive(inv, prompts, [&](TArchive& archive) {
        const SourceFacts source = sourceFacts(archive, inv.sourceId);
        const int removed = archive.Remove(inv.sourceId);
        QString said = QStringLiteral("Removed %1: %2 left the archive").arg(source.name, readingCount(removed));
        if (removed < source.readings)
            said += QStringLiteral("; the others are still held by other downloads or files");
        prompts.print(said + QLatin1Char('.'));
        return int(ExitOk);
    });
}

int runArchiveJobAdd(const Invocation& inv, CliPrompts& prompts)
{
    return withArchive(inv, prompts, [&](TArchive& archive) {
        TArchive::Job job;
        bool known = false;
        for (const TArchive::Job& j : archive.Jobs())
            if (j.name.compare(inv.jobName, Qt::CaseInsensitive) == 0) {
                job = j;
                known = true;
            }
        // A change names what changes; the rest of the job stays as it was.
        job.name = known ? job.name : inv.jobName;
        if (!inv.filter.site.isNull())
            job.site = inv.filter.site;
        if (!inv.client.isNull())
            job.client = inv.client;
        if (!inv.notes.isNull())
            job.notes = inv.notes;
        archive.SaveJob(job);
        prompts.print(QStringLiteral("Job \"%1\" %2.").arg(job.name, known ? QStringLiteral("changed") : QStringLiteral("added")));
        return int(ExitOk);
    });
}

int runArchiveJobAssign(const Invocation& inv, CliPrompts& prompts)
{
    return withArchive(inv, prompts, [&](TArchive& archive) {
        const SourceFacts source = sourceFacts(archive, inv.sourceId);
        const int moved = archive.Assign(inv.sourceId, inv.fileNumber, inv.jobName);
        if (moved == 0) {
            const QString said = inv.fileNumber == 0
                ? QStringLiteral("%1 holds no meter files.").arg(source.name)
                : QStringLiteral("%1 holds no meter file %2.").arg(source.name).arg(inv.fileNumber);
            prompts.print(said.front().toUpper() + said.mid(1));
            return int(ExitFile);
        }
        prompts.print(QStringLiteral("Put %1 of %2 in job \"%3\".")
                          .arg(moved == 1 ? QStringLiteral("1 meter file") : QStringLiteral("%1 meter files").arg(moved),
                               source.name, inv.jobName));
        return int(ExitOk);
    });
}

int runArchiveJobList(const Invocation& inv, CliPrompts& prompts)
{
    return withArchive(inv, prompts, [&](TArchive& archive) {
        const std::vector<TArchive::Job> jobs = archive.Jobs();
        Sink sink({});
        if (inv.json) {
            JsonArrayWriter json(sink);
            for (const TArchive::Job& job : jobs)
                json.add({{"name", job.name}, {"site", job.site}, {"client", job.client}, {"notes", job.notes},
                          {"meterFiles", job.meterFiles}, {"readings", job.readings}});
            json.end();
        } else if (jobs.empty()) {
            prompts.print(QStringLiteral("No jobs in the archive."));
        } else {
            const std::vector<Column> columns{{"Name", 16, false}, {"Site", 24, false}, {"Client", 16, false},
                                              {"Meter files", 0, true}, {"Readings", 8, true}};
            sink.write(tableHeading(columns));
            for (const TArchive::Job& job : jobs)
                sink.write(tableLine(columns, {job.name, job.site, job.client, QString::number(job.meterFiles),
                                               QString::number(job.readings)}));
        }
        return sink.finish(prompts);
    });
}

int runArchiveJobRemove(const Invocation& inv, CliPrompts& prompts)
{
    if (!inv.yes) {
        prompts.print(QStringLiteral("Not removed: give --yes to remove job \"%1\" (its meter files stay in the "
                                     "archive, in no job).")
                          .arg(inv.jobName));
        return ExitRefused;
    }
    return withArchive(inv, prompts, [&](TArchive& archive) {
        archive.RemoveJob(inv.jobName);
        prompts.print(QStringLiteral("Removed job \"%1\"; its meter files are in no job now.").arg(inv.jobName));
        return int(ExitOk);
    });
}

namespace {

// "21", "20.5": what the user typed, in their scale.
QString degrees(double celsius, bool fahrenheit)
{
    const double shown = fahrenheit ? celsius * 9 / 5 + 32 : celsius;
    return QLocale::c().toString(std::round(shown * 10) / 10, 'g', 6) + (fahrenheit ? QStringLiteral(" \u00b0F")
                                                                                   : QStringLiteral(" \u00b0C"));
}

QString emcText(const TArchive::SiteConditions& c)
{
    const TEmc emc = EquilibriumMoisture(c.celsius, c.humidity);
    return emc.Known() ? QLocale::c().toString(emc.percent, 'f', 1) : QStringLiteral("-");
}

} // namespace

int runArchiveJobConditions(const Invocation& inv, CliPrompts& prompts)
{
    if (inv.temperature) {
        TArchive::SiteConditions c;
        c.celsius = inv.fahrenheit ? CelsiusOf(*inv.temperature) : *inv.temperature;
        c.humidity = *inv.humidity;
        const TEmc emc = EquilibriumMoisture(c.celsius, c.humidity);
        if (!emc.Known()) {
            prompts.print(QStringLiteral("kr-cli archive job conditions: %1").arg(QString::fromStdString(emc.refusal)));
            return ExitUsage;
        }
        const QDateTime now = QDateTime::currentDateTime();
        c.when = inv.when.isValid() ? inv.when : QDateTime(now.date(), QTime(now.time().hour(), now.time().minute()));
        c.note = inv.note;
        return withArchive(inv, prompts, [&](TArchive& archive) {
            archive.AddConditions(inv.jobName, c);
            prompts.print(QStringLiteral("Site conditions of \"%1\" on %2: %3, %4 % RH, EMC %5 %.")
                              .arg(inv.jobName, c.when.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                                   degrees(c.celsius, inv.fahrenheit), QLocale::c().toString(c.humidity, 'g', 6),
                                   emcText(c)));
            return int(ExitOk);
        });
    }
    return withArchive(inv, prompts, [&](TArchive& archive) {
        const std::vector<TArchive::SiteConditions> all = archive.Conditions(inv.jobName);
        Sink sink({});
        if (all.empty()) {
            prompts.print(QStringLiteral("No site conditions for job \"%1\" yet.").arg(inv.jobName));
        } else {
            const std::vector<Column> columns{{"When", 16, false}, {"Temperature", 0, true}, {"RH %", 5, true},
                                              {"EMC %", 5, true}, {"Note", 0, false}};
            sink.write(tableHeading(columns));
            for (const TArchive::SiteConditions& c : all)
                sink.write(tableLine(columns, {c.when.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                                               degrees(c.celsius, inv.fahrenheit),
                                               QLocale::c().toString(c.humidity, 'g', 6), emcText(c), c.note}));
        }
        return sink.finish(prompts);
    });
}

int runArchiveCopy(const Invocation& inv, CliPrompts& prompts)
{
    try {
        const TArchive from(*inv.copyFrom);
        TArchive to(*inv.copyTo);
        const TArchive::Copied copied = from.CopyInto(to);
        const QLocale english(QLocale::English);
        const int total = copied.sources + copied.already;
        prompts.print(QStringLiteral("%1 %2: %3 copied, %4 already there.")
                          .arg(english.toString(total),
                               total == 1 ? QStringLiteral("download or file") : QStringLiteral("downloads and files"),
                               english.toString(copied.sources), english.toString(copied.already)));
        return ExitOk;
    } catch (const ArchiveError& e) {
        prompts.print(QString::fromStdString(e.what()));
        return ExitFile;
    }
}

} // namespace kr::cli
