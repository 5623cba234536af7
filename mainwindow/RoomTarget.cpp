#include "mainwindow/RoomTarget.h"

#include <QFileInfo>

#include "core/Emc.h"
#include "platform/Text.h"

namespace kr {

const TArchive::SiteConditions* LatestConditions(const std::vector<TArchive::SiteConditions>& conditions)
{
    const TArchive::SiteConditions* latest = nullptr;
    for (const TArchive::SiteConditions& c : conditions)
        if (!latest || !(c.when < latest->when))
            latest = &c;
    return latest;
}

TRoomTarget RoomTarget(const TRoomJob& job, const TRoomMargins& margins, bool centigrade)
{
    TRoomTarget target;
    const TArchive::SiteConditions* latest = LatestConditions(job.conditions);
    if (!latest) {
        target.text = QStringLiteral("Job %1 has no site conditions.").arg(job.name);
        return target;
    }
    const TEmc emc = EquilibriumMoisture(latest->celsius, latest->humidity);
    if (!emc.Known()) {
        // The equation's refusal is UTF-8 (it writes its degree signs so).
        target.text = QStringLiteral("No target from the room of job %1: %2.")
                          .arg(job.name, QString::fromUtf8(emc.refusal.data(), qsizetype(emc.refusal.size())));
        return target;
    }
    target.range = TargetFromRoom(emc.percent, margins);
    TSiteConditions room;
    room.celsius = latest->celsius;
    room.humidity = latest->humidity;
    room.note = toCp1252(latest->note);
    target.text = fromCp1252(RoomTargetText(*target.range, room, emc.percent, centigrade));
    return target;
}

std::vector<TRoomJob> RoomJobsIn(const ArchiveLocation& at)
{
    std::vector<TRoomJob> jobs;
    if (at.engine == ArchiveLocation::SQLite && (at.path.isEmpty() || !QFileInfo(at.path).isFile()))
        return jobs;
    try {
        const TArchive archive(at);
        for (const TArchive::Job& job : archive.Jobs()) {
            TRoomJob room{job.name, archive.Conditions(job.name)};
            if (!room.conditions.empty())
                jobs.push_back(std::move(room));
        }
    } catch (const std::exception&) {
        jobs.clear();
    }
    return jobs;
}

} // namespace kr
