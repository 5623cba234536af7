#include "archive/ArchiveQueue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "settings/Appglob.h"

namespace kr {

namespace {

QString besideIni(const char* name) { return QFileInfo(IniFilePath()).absoluteDir().filePath(QLatin1String(name)); }

QString sendingPath() { return besideIni("archive-queue-sending.sqlite"); }

const QString suffixes[] = {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")};

} // namespace

QString ArchiveQueuePath() { return besideIni("archive-queue.sqlite"); }

bool ArchiveQueueWaits() { return QFileInfo::exists(ArchiveQueuePath()) || QFileInfo::exists(sendingPath()); }

void KeepInQueue(const std::function<void(TArchive& queue)>& keep)
{
    TArchive queue(ArchiveLocation::File(ArchiveQueuePath()));
    keep(queue);
}

QString TakeArchiveQueue()
{
    if (QFileInfo::exists(sendingPath()))
        return sendingPath();
    if (!QFileInfo::exists(ArchiveQueuePath()))
        return {};
    // The journal moves with its file: a queue is only ever closed here.
    for (const QString& suffix : suffixes)
        if (QFileInfo::exists(ArchiveQueuePath() + suffix) && !QFile::rename(ArchiveQueuePath() + suffix, sendingPath() + suffix))
            throw ArchiveError(QStringLiteral("The queue %1 could not be moved aside to be sent.")
                                   .arg(QDir::toNativeSeparators(ArchiveQueuePath()))
                                   .toStdString());
    return sendingPath();
}

TArchive::Copied SendTakenQueue(const QString& taken, TArchive& team)
{
    TArchive::Copied copied;
    {
        const TArchive queue(ArchiveLocation::File(taken));
        copied = queue.CopyInto(team);
    }
    for (const QString& suffix : suffixes)
        QFile::remove(taken + suffix);
    return copied;
}

TArchive::Copied SendQueue(TArchive& team)
{
    TArchive::Copied all;
    for (QString taken = TakeArchiveQueue(); !taken.isEmpty(); taken = TakeArchiveQueue()) {
        const TArchive::Copied copied = SendTakenQueue(taken, team);
        all.sources += copied.sources;
        all.already += copied.already;
    }
    return all;
}

} // namespace kr
