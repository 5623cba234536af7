#include "mainwindow/ArchiveKeeper.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "archive/ArchiveQueue.h"
#include "core/Readings.h"
#include "platform/Prompts.h"
#include "platform/Text.h"

namespace kr {

QString ArchiveFailureText(const QString& why)
{
    return why + QStringLiteral("\r\nThe program goes on without the archive for this run.");
}

TArchiveKeeper::TArchiveKeeper(std::function<ArchiveLocation()> location, std::function<bool()> isEnabled)
    : where(std::move(location)), enabled(std::move(isEnabled))
{
}

TArchiveKeeper::TArchiveKeeper(const QString& archivePath, std::function<bool()> isEnabled)
    : TArchiveKeeper([at = ArchiveLocation::File(archivePath)] { return at; }, std::move(isEnabled))
{
}

TArchiveKeeper::~TArchiveKeeper() = default;

TArchive::Source TArchiveKeeper::DownloadSource(const TDownloadOutcome& outcome, const QString& meter,
                                                const QString& port)
{
    TArchive::Source source;
    source.kind = TArchive::Source::Download;
    source.meter = meter;
    source.port = port;
    if (outcome.kind == TDownloadOutcome::Received)
        source.completeness = QStringLiteral("complete");
    else if (!outcome.detail.empty())
        source.completeness = fromCp1252(outcome.detail);
    else
        source.completeness = QStringLiteral("%1 of %2 readings").arg(outcome.readings).arg(outcome.announced);
    source.when = QDateTime::currentDateTime();
    return source;
}

TArchive::Source TArchiveKeeper::FileSource(const QString& filePath, const QByteArray& content)
{
    const QFileInfo info(filePath);
    TArchive::Source source;
    source.kind = info.suffix().compare(QStringLiteral("bak"), Qt::CaseInsensitive) == 0 ? TArchive::Source::Backup
                                                                                         : TArchive::Source::File;
    source.path = info.absoluteFilePath();
    source.content = content;
    source.when = info.lastModified();
    return source;
}

void TArchiveKeeper::KeepDownload(const TFile& doc, const TDownloadOutcome& outcome, const QString& meter,
                                  const QString& port)
{
    const bool brought = outcome.kind == TDownloadOutcome::Received || outcome.kind == TDownloadOutcome::Partial;
    if (brought && outcome.readings > 0)
        keep(doc, DownloadSource(outcome, meter, port));
}

void TArchiveKeeper::KeepFile(const TFile& doc, const QString& filePath)
{
    if (!enabled())
        return;
    QFile file(filePath);
    // Gone or unreadable since: there are no bytes to name it by.
    if (!file.open(QIODevice::ReadOnly))
        return;
    keep(doc, FileSource(filePath, file.readAll()));
}

void TArchiveKeeper::KeepBackup(const QString& backupPath, const QString& meter, const QString& port)
{
    if (!enabled())
        return;
    // The backup as it lies on disk, not the document it was written from.
    TKRFile written;
    QByteArray content;
    try {
        QFile file(backupPath);
        if (!file.open(QIODevice::ReadOnly))
            throw ArchiveError(QStringLiteral("The backup %1 could not be read: %2")
                                   .arg(QDir::toNativeSeparators(backupPath), file.errorString())
                                   .toStdString());
        content = file.readAll();
        written.LoadFromFile(toNativePath(backupPath));
    } catch (const std::exception& e) {
        showMessage(MsgKind::Warning, QString::fromStdString(e.what()));
        return;
    }
    TArchive::Source source = FileSource(backupPath, content);
    source.meter = meter;
    source.port = port;
    keep(written, source);
}

void TArchiveKeeper::keep(const TFile& doc, const TArchive::Source& source)
{
    if (!enabled())
        return;
    const ArchiveLocation at = where();
    if (archive && archive->Location() != at)
        archive.reset();
    if (GaveUp()) {
        if (at.engine == ArchiveLocation::PostgreSQL)
            queue(doc, source);
        return;
    }
    gaveUp = false;
    try {
        if (!archive)
            archive = OpenArchiveAsking(at);
        archive->Keep(doc, source);
    } catch (const ArchiveError& e) {
        // Queued before the message: a program closed while it shows has
        // lost nothing, and a keep that comes meanwhile goes to the queue.
        gaveUp = true;
        failedAt = at;
        archive.reset();
        if (at.engine == ArchiveLocation::PostgreSQL)
            queue(doc, source);
        tellGaveUp(at, QString::fromStdString(e.what()));
    }
}

void TArchiveKeeper::queue(const TFile& doc, const TArchive::Source& source)
{
    try {
        KeepInQueue([&](TArchive& q) { q.Keep(doc, source); });
    } catch (const ArchiveError& e) {
        showMessage(MsgKind::Warning, QStringLiteral("%1\r\nThe queue %2 could not be written either: %3")
                                          .arg(failedAt.Shown(), QDir::toNativeSeparators(ArchiveQueuePath()),
                                               QString::fromStdString(e.what())));
    }
}

void TArchiveKeeper::tellGaveUp(const ArchiveLocation& at, const QString& why)
{
    if (at.engine == ArchiveLocation::SQLite) {
        showMessage(MsgKind::Warning, ArchiveFailureText(why));
        return;
    }
    showMessage(MsgKind::Warning,
                QStringLiteral("%1\r\nNothing is lost: for the rest of this run what comes in waits in %2, and is "
                               "sent to the team archive at the next start, or with File > Send waiting readings "
                               "to the team archive.")
                    .arg(why, QDir::toNativeSeparators(ArchiveQueuePath())));
}

std::unique_ptr<TArchive> OpenArchiveAsking(const ArchiveLocation& at)
{
    for (;;) {
        try {
            return std::make_unique<TArchive>(at);
        } catch (const ArchivePasswordNeeded& e) {
            const std::optional<QString> typed = prompts().password(
                QStringLiteral("Team archive"),
                QStringLiteral("%1\n\nThe password of %2 (kept until the program closes, never written):")
                    .arg(QString::fromStdString(e.what()), at.user.isEmpty() ? at.Shown() : at.user));
            if (!typed)
                throw;
            KeepPasswordForRun(at, *typed);
        }
    }
}

QString DescribeArchive(const ArchiveLocation& at)
{
    try {
        return QStringLiteral("Found %1").arg(OpenArchiveAsking(at)->Describe());
    } catch (const ArchiveError& e) {
        return QString::fromStdString(e.what());
    }
}

TArchiveSend::TArchiveSend(ArchiveLocation to, QObject* parent) : QObject(parent), team(std::move(to))
{
    // The thread must not read the run's passwords while this one may add one.
    team.password = PasswordForRun(team);
}

TArchiveSend::~TArchiveSend()
{
    if (thread)
        thread->wait();
}

void TArchiveSend::Start()
{
    if (thread)
        return;
    try {
        taken = TakeArchiveQueue();
    } catch (const ArchiveError& e) {
        error = QString::fromStdString(e.what());
    }
    thread.reset(QThread::create([this] {
        if (taken.isEmpty())
            return;
        try {
            TArchive archive(team);
            copied = SendTakenQueue(taken, archive);
        } catch (const ArchiveError& e) {
            error = QString::fromStdString(e.what());
        }
    }));
    connect(thread.get(), &QThread::finished, this, &TArchiveSend::Finished);
    thread->start();
}

QString TArchiveSend::Sentence() const
{
    if (!error.isEmpty())
        return QStringLiteral("%1\r\nWhat waits to be sent stays in %2.").arg(error, QDir::toNativeSeparators(ArchiveQueuePath()));
    return QStringLiteral("Sent to the team archive %1: %2 downloads or files, %3 of them there already.")
        .arg(team.Shown())
        .arg(copied.sources + copied.already)
        .arg(copied.already);
}

TArchiveImport::TArchiveImport(ArchiveLocation archive, QStringList chosen, QObject* parent)
    : QObject(parent), archiveAt(std::move(archive)), paths(std::move(chosen))
{
    archiveAt.password = PasswordForRun(archiveAt);
}

TArchiveImport::~TArchiveImport()
{
    Cancel();
    if (thread)
        thread->wait();
}

void TArchiveImport::Start()
{
    if (thread)
        return;
    thread.reset(QThread::create([this] { run(); }));
    connect(thread.get(), &QThread::finished, this, &TArchiveImport::Finished);
    thread->start();
}

// On the import's own thread: nothing here may touch a widget.
void TArchiveImport::run()
{
    try {
        TArchive archive(archiveAt);
        summary = archive.Import(
            paths, [this](int done, int total) { emit Progress(done, total); }, &cancelled);
        stopped = summary.stopped;
    } catch (const ArchiveError& e) {
        error = QString::fromStdString(e.what());
        if (archiveAt.engine != ArchiveLocation::PostgreSQL || cancelled)
            return;
        // The files imported before the failure are passed over when the
        // queue is sent.
        try {
            KeepInQueue([this](TArchive& queue) { summary = queue.Import(paths, {}, &cancelled); });
            error += QStringLiteral("\r\nNothing is lost: the files wait in %1, to be sent to the team archive at the "
                                    "next start, or with File > Send waiting readings to the team archive.")
                         .arg(QDir::toNativeSeparators(ArchiveQueuePath()));
        } catch (const ArchiveError& queueError) {
            error += QStringLiteral("\r\nThe queue could not be written either: ") + QString::fromStdString(queueError.what());
        }
    }
}

} // namespace kr
