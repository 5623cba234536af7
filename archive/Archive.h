#pragma once
#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <stdexcept>
#include <vector>

#include "archive/ArchiveCursor.h"
#include "settings/ArchiveLocation.h"

namespace kr {

class TFile;
struct ParsedFile;

// Kept for "no SG" and "did not read": far beyond every value a reading may
// hold (those stay within a billion), so no real value is taken for them.
constexpr qint64 ArchiveNoValue = -(qint64(1) << 40);
#define KR_ARCHIVE_NO_VALUE "-1099511627776"

// Why the archive cannot be used this run; the text is for the user.
class ArchiveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A server gave up a transaction so that another, writing the same rows at
// the same time, could go on (a deadlock it broke): the same work, done
// again, succeeds.
class ArchiveConflict : public ArchiveError {
public:
    using ArchiveError::ArchiveError;
};

// The server wants a password that neither PGPASSWORD nor ~/.pgpass gave,
// or refused the one given: asking the user may open it.
class ArchivePasswordNeeded : public ArchiveError {
public:
    using ArchiveError::ArchiveError;
};

// What a search asks for; an empty field asks nothing. Text is matched,
// case-blind, in jobs (name, site, client, notes), meter file comments,
// document and reading notes, and species names.
struct ArchiveFilter {
    QString job;      // the job's name, exactly (case-blind)
    QString site;     // part of the job's site address
    QString meter;    // the meter's serial number, exactly
    QString species;  // part of the species name
    QString text;
    QDate since, until;  // the readings' dates, both ends included
    std::optional<double> moistureLow, moistureHigh;  // % MC, both ends included
    qint64 sourceId = 0;  // readings of one download or file only
    bool IsEmpty() const;
};

// "8-12", "8.5-", "-12" as a moisture range; false for anything else.
bool ParseMoistureRange(const QString& text, std::optional<double>& low, std::optional<double>& high);

// Every download, data file and backup the program has seen, and each
// reading they held, kept once however often it arrives. One SQLite file;
// every change is one transaction, so a crash or a full disk leaves the
// archive as it was before the change.
class TArchive {
public:
    static constexpr int SchemaVersion = 4;
    static constexpr const char* FileName = ArchiveFileName;

    // What brought a set of readings in.
    struct Source {
        enum Kind { Download, File, Backup };
        Kind kind = File;
        QString path;          // files and backups
        QByteArray content;    // a file's bytes, for its size and hash
        QString hash;          // ContentHash(content), when already known
        qint64 size = -1;      // the file's size when its content is not at hand (a copy)
        QString meter;         // serial number, when known
        QString port;          // downloads
        QString completeness;  // downloads: "complete", or why not
        QDateTime when;        // the download's time; a file's modification time
    };
    struct Kept {
        qint64 sourceId = 0;
        int readings = 0;     // in the document
        int added = 0;        // new to the archive
        bool already = false; // the same file content was kept before
    };
    struct ImportSummary {
        int files = 0;
        int imported = 0;
        int already = 0;
        QStringList unreadable;  // "path: why"
        bool stopped = false;    // asked to stop: `files` were looked at
        QString Sentence() const;
    };

    // How a file's bytes are known again.
    static QString ContentHash(const QByteArray& content);

    // Opens the archive at `path`, creating it when missing. Throws
    // ArchiveError for a file that is not an archive, one of a newer program,
    // or one that cannot be read or written; such a file is left untouched.
    explicit TArchive(const QString& path);
    // The same on PostgreSQL: an empty database gets the archive's tables
    // (PostgreSQLSchema()), when the user may make them.
    explicit TArchive(const ArchiveLocation& location);
    // The statements of archive/sql/schema.sql, as the program runs them.
    static QStringList PostgreSQLSchema();
    ~TArchive();
    TArchive(const TArchive&) = delete;
    TArchive& operator=(const TArchive&) = delete;

    // Keeps the document's readings, comments and notes under `source`.
    Kept Keep(const TFile& doc, const Source& source);
    // Reads and keeps data files (*.krx, data*.bak), folders searched
    // throughout. An unreadable file is listed and skipped.
    // `stop`, set from another thread, ends the import between two files.
    ImportSummary Import(const QStringList& paths, const std::function<void(int done, int total)>& progress = {},
                         const std::atomic_bool* stop = nullptr);

    int ReadingCount() const;
    int SourceCount() const;
    // What a connection test says: the database and its version, the
    // archive's layout and its readings ("PostgreSQL 15.10, archive layout
    // 4, 1,204 readings.").
    QString Describe() const;

    // Columns of Readings(), in this order.
    enum ReadingColumn {
        RId, RTaken, RFileNo, RSlot, RSpecies, RSG /* NULL without SG */, RMoisture /* NULL when unread */,
        RTemperature, RSourceId, RMeter, RComment, RJob, RNote, ReadingColumns
    };
    // The readings the filter finds, newest first, each once (with the
    // earliest source that held it). The rows are fetched as they are read,
    // so a window can show millions without holding them.
    ArchiveCursor Readings(const ArchiveFilter& filter) const;
    qint64 CountReadings(const ArchiveFilter& filter) const;

    // Columns of Sources(), in this order.
    enum SourceColumn {
        SId, SKind /* "download", "file", "backup" */, SHappened, SMeter, SPort, SCompleteness, SPath, SReadings,
        SComments /* the meter files' comments, "; " between */, SJobs /* "; " between */, SKept, SourceColumns
    };
    // The downloads and files holding any reading the filter finds, newest first.
    ArchiveCursor Sources(const ArchiveFilter& filter) const;

    // Figures for "at a glance": per species, then all wood together, of the
    // readings the filter finds. Zeros and unread readings are counted apart.
    struct Figures {
        QString species;  // empty for the line of all wood readings
        bool reference = false;  // no SG: a reference scale, never pooled with wood
        int count = 0, zeros = 0, inRange = 0;
        double mean = 0, low = 0, high = 0;
    };
    std::vector<Figures> Statistics(const ArchiveFilter& filter, double rangeLow, double rangeHigh) const;

    // A download or file as a new document, as it was kept. Throws
    // ArchiveError when there is no such source.
    void Export(qint64 sourceId, TFile& doc) const;
    // Removes a download or file; readings another source holds stay.
    // Returns the number of readings that left the archive.
    int Remove(qint64 sourceId);
    // The readings no other source holds: those Remove takes out.
    qint64 ReadingsOnlyIn(qint64 sourceId) const;

    struct Job {
        qint64 id = 0;
        QString name, site, client, notes;
        int meterFiles = 0;  // assigned to it
        int readings = 0;
    };
    // Adds a job, or changes the site, client and notes of the one of that name.
    qint64 SaveJob(const Job& job);
    std::vector<Job> Jobs() const;
    // Puts meter file `fileNo` of a source (0: every meter file) in the job
    // (an empty name: in no job). Returns how many meter files moved; throws
    // ArchiveError for an unknown job or source.
    int Assign(qint64 sourceId, int fileNo, const QString& jobName);
    // Copies every download and file of this archive, with its jobs and site
    // conditions, into `to` (a file into a server, or back). What `to`
    // holds already is left: copying twice adds nothing.
    struct Copied {
        int sources = 0, already = 0;
    };
    Copied CopyInto(TArchive& to, const std::function<void(int done, int total)>& progress = {}) const;

    // Removes a job and its site conditions; its meter files stay, in no job.
    void RemoveJob(const QString& name);
    // The job of that name (case-blind), if there is one.
    std::optional<Job> FindJob(const QString& name) const;

    // The air of a job's site at one visit.
    struct SiteConditions {
        qint64 id = 0;
        QDateTime when;   // local time, to the minute
        double celsius = 0;
        double humidity = 0;  // % RH
        QString note;
    };
    // Adds site conditions to a job. Throws ArchiveError for an unknown job
    // or a value that is not a number.
    qint64 AddConditions(const QString& jobName, const SiteConditions& conditions);
    // A job's site conditions, oldest first.
    std::vector<SiteConditions> Conditions(const QString& jobName) const;

    // The downloads and files a job's meter files came from, oldest first,
    // each with the meter files of it in the job.
    struct JobSource {
        qint64 sourceId = 0;
        QDateTime happened;
        QString meter;
        std::vector<int> files;
    };
    std::vector<JobSource> SourcesOf(const QString& jobName) const;

    // The database, for a model that shows a live query in a window.
    QSqlDatabase Database() const { return db; }
    QString Path() const { return location.Url(); }
    const ArchiveLocation& Location() const { return location; }

private:
    void createSchema();
    void upgrade(int from);
    void upgradeFirstLayout(QSqlQuery& q);
    void indexTexts(QSqlQuery& q);
    void indexTextsOf(QSqlQuery& q, const QString& sourceIds);
    qint64 speciesId(std::string_view species);
    // One transaction of an import; throws ArchiveConflict when a server gave it up.
    void keepBatch(std::vector<ParsedFile>& batch, ImportSummary& summary, int total,
                   const std::function<void(int, int)>& progress, const std::atomic_bool* stop);
    static constexpr int ConflictAttempts = 10;
    // Rows a server sends of a search at once.
    static constexpr int ServerPageRows = 256;
    int keepAttempts = 0;
    std::map<std::string, qint64, std::less<>> speciesIds;
    bool inBatch = false;
    QStringList unindexed;  // sources kept in this batch, their texts not yet indexed
    QString textHits(const QString& text) const;
    qint64 writes = 0;  // changes made through this archive
    struct Hits {
        QString text;
        qint64 version = 0, writes = 0;
    };
    mutable Hits hits;  // what temp.text_hits holds
    bool pg = false;  // on PostgreSQL: where the two differ, the queries say so
    ArchiveLocation location;
    QSqlDatabase db;
    QString connection;
};

} // namespace kr
