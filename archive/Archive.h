#pragma once
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <functional>
#include <stdexcept>

namespace kr {

class TFile;

// Why the archive cannot be used this run; the text is for the user.
class ArchiveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Every download, data file and backup the program has seen, and each
// reading they held, kept once however often it arrives. One SQLite file;
// every change is one transaction, so a crash or a full disk leaves the
// archive as it was before the change.
class TArchive {
public:
    static constexpr int SchemaVersion = 1;
    static constexpr const char* FileName = "archive.sqlite";

    // What brought a set of readings in.
    struct Source {
        enum Kind { Download, File, Backup };
        Kind kind = File;
        QString path;          // files and backups
        QByteArray content;    // a file's bytes, for its size and hash
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
        QString Sentence() const;
    };

    // Opens the archive at `path`, creating it when missing. Throws
    // ArchiveError for a file that is not an archive, one of a newer program,
    // or one that cannot be read or written; such a file is left untouched.
    explicit TArchive(const QString& path);
    ~TArchive();
    TArchive(const TArchive&) = delete;
    TArchive& operator=(const TArchive&) = delete;

    // Keeps the document's readings, comments and notes under `source`.
    Kept Keep(const TFile& doc, const Source& source);
    // Reads and keeps data files (*.krx, data*.bak), folders searched
    // throughout. An unreadable file is listed and skipped.
    ImportSummary Import(const QStringList& paths, const std::function<void(int done, int total)>& progress = {});

    int ReadingCount() const;
    int SourceCount() const;

private:
    struct Statements {
        QSqlQuery insert;
        QSqlQuery find;
    };
    void createSchema();
    qint64 keepReading(const TFile& doc, int fileNo, int slot, Statements& statements, bool& added);
    QSqlDatabase db;
    QString connection;
};

// Where the archive lives: beside kr.ini, in `folder`.
QString ArchivePathIn(const QString& folder);

} // namespace kr
