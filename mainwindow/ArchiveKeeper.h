#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>

#include "archive/Archive.h"
#include "meter/Outcomes.h"

namespace kr {

class TFile;

// Keeps what the window sees come in (downloads, data files opened or saved,
// erase backups) in the readings archive, when the user's switch says so.
// The archive is opened at its first use. When it cannot be used, or a keep
// fails, the user is told once and the rest of the run goes on without it;
// the document, its file and the exchange's outcome are never touched. A
// team archive that fails does not lose what it missed: that goes into the
// queue beside kr.ini for the rest of the run, to be sent later.
class TArchiveKeeper {
public:
    // Both are asked at every keep: the setup dialog may change them.
    TArchiveKeeper(std::function<ArchiveLocation()> where, std::function<bool()> enabled);
    // An archive file's keeper.
    TArchiveKeeper(const QString& archivePath, std::function<bool()> enabled);
    ~TArchiveKeeper();
    TArchiveKeeper(const TArchiveKeeper&) = delete;
    TArchiveKeeper& operator=(const TArchiveKeeper&) = delete;

    // A download that brought readings; others keep nothing. `meter` is the
    // serial number when the program knows it.
    void KeepDownload(const TFile& doc, const TDownloadOutcome& outcome, const QString& meter, const QString& port);
    // A data file just opened or saved: its bytes as they are on disk now.
    void KeepFile(const TFile& doc, const QString& path);
    // An erase backup as it was written, from the meter on that port.
    void KeepBackup(const QString& path, const QString& meter, const QString& port);

    ArchiveLocation Location() const { return where(); }
    // True once the archive failed this run (a team archive's keeps then go
    // to the queue); a new location starts afresh.
    bool GaveUp() const { return gaveUp && where() == failedAt; }

    // The source of each case, as kept.
    static TArchive::Source DownloadSource(const TDownloadOutcome& outcome, const QString& meter, const QString& port);
    // A file's source: a backup by its ".bak", as an import names it, so the
    // same bytes are one source however they came.
    static TArchive::Source FileSource(const QString& path, const QByteArray& content);

private:
    void keep(const TFile& doc, const TArchive::Source& source);
    // Says why the archive at `at` failed, and what happens now.
    void tellGaveUp(const ArchiveLocation& at, const QString& why);
    void queue(const TFile& doc, const TArchive::Source& source);

    std::function<ArchiveLocation()> where;
    std::function<bool()> enabled;
    std::unique_ptr<TArchive> archive;
    bool gaveUp = false;
    ArchiveLocation failedAt;
};

// Opens the archive; a server that wants a password the user has not given
// asks for it (kept for the run), again while the server refuses it. Throws
// ArchiveError, ArchivePasswordNeeded when the user cancels.
std::unique_ptr<TArchive> OpenArchiveAsking(const ArchiveLocation& at);

// What "Test connection" says of a location: what was found, or why not.
QString DescribeArchive(const ArchiveLocation& at);

// Sends the queue of what missed the team archive on a thread of its own.
// The queue is taken aside first, on the caller's thread, so keeps that
// come meanwhile start a new one. Finished() arrives on the caller's thread.
class TArchiveSend : public QObject {
    Q_OBJECT
public:
    explicit TArchiveSend(ArchiveLocation team, QObject* parent = nullptr);
    ~TArchiveSend() override;
    void Start();
    // After Finished(): what was sent, or why not (the queue then waits on).
    const TArchive::Copied& Copied() const { return copied; }
    const QString& Error() const { return error; }
    // For the user: "Sent to the team archive ...: 3 downloads or files, 1 already there." or the error.
    QString Sentence() const;

signals:
    void Finished();

private:
    ArchiveLocation team;
    QString taken;
    std::unique_ptr<QThread> thread;
    TArchive::Copied copied;
    QString error;
};

// The message for an archive that failed: its reason, then what happens now.
QString ArchiveFailureText(const QString& why);

// Imports data files and folders into the archive on a thread of its own,
// with its own connection (one per thread); Cancel stops it between two
// files. Progress() and Finished() arrive on the thread that made it.
class TArchiveImport : public QObject {
    Q_OBJECT
public:
    TArchiveImport(ArchiveLocation archive, QStringList paths, QObject* parent = nullptr);
    // Stops at the next file and waits for that.
    ~TArchiveImport() override;

    void Start();
    void Cancel() { cancelled = true; }

    // After Finished(): what was imported; the archive's error when it could
    // not be opened; whether the user stopped it.
    const TArchive::ImportSummary& Summary() const { return summary; }
    const QString& Error() const { return error; }
    bool WasCancelled() const { return stopped; }

signals:
    void Progress(int done, int total);
    void Finished();

private:
    void run();

    ArchiveLocation archiveAt;
    QStringList paths;
    std::unique_ptr<QThread> thread;
    std::atomic_bool cancelled{false};
    TArchive::ImportSummary summary;
    QString error;
    bool stopped = false;
};

} // namespace kr
