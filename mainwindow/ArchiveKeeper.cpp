#include "mainwindow/ArchiveKeeper.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/Readings.h"
#include "platform/Prompts.h"
#include "platform/Text.h"

namespace kr {

QString ArchiveFailureText(const QString& why)
{
    return why + QStringLiteral("\r\nThe program goes on without the archive for this run.");
}

TArchiveKeeper::TArchiveKeeper(QString archivePath, std::function<bool()> isEnabled)
    : path(std::move(archivePath)), enabled(std::move(isEnabled))
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
    if (gaveUp || !enabled())
        return;
    QFile file(filePath);
    // Gone or unreadable since: there are no bytes to name it by.
    if (!file.open(QIODevice::ReadOnly))
        return;
    keep(doc, FileSource(filePath, file.readAll()));
}

void TArchiveKeeper::KeepBackup(const QString& backupPath, const QString& meter, const QString& port)
{
    if (gaveUp || !enabled())
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
        giveUp(QString::fromStdString(e.what()));
        return;
    }
    TArchive::Source source = FileSource(backupPath, content);
    source.meter = meter;
    source.port = port;
    keep(written, source);
}

void TArchiveKeeper::keep(const TFile& doc, const TArchive::Source& source)
{
    if (gaveUp || !enabled())
        return;
    try {
        if (!archive)
            archive = std::make_unique<TArchive>(path);
        archive->Keep(doc, source);
    } catch (const ArchiveError& e) {
        giveUp(QString::fromStdString(e.what()));
    }
}

void TArchiveKeeper::giveUp(const QString& why)
{
    gaveUp = true;
    archive.reset();
    showMessage(MsgKind::Warning, ArchiveFailureText(why));
}

TArchiveImport::TArchiveImport(QString archive, QStringList chosen, QObject* parent)
    : QObject(parent), archivePath(std::move(archive)), paths(std::move(chosen))
{
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
        TArchive archive(archivePath);
        summary = archive.Import(
            paths, [this](int done, int total) { emit Progress(done, total); }, &cancelled);
        stopped = summary.stopped;
    } catch (const ArchiveError& e) {
        error = QString::fromStdString(e.what());
    }
}

} // namespace kr
