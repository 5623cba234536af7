#pragma once
#include <QString>
#include <optional>
#include <vector>

#include "archive/Archive.h"
#include "core/Acclimation.h"

namespace kr {

// A job of the readings archive with the air of its site, as "Readings at a
// glance" offers it for a target from the room.
struct TRoomJob {
    QString name;
    std::vector<TArchive::SiteConditions> conditions;  // in any order
};

// The newest conditions by their time; of two at the same time, the one
// listed later (the archive lists them as they were added). Null without any.
const TArchive::SiteConditions* LatestConditions(const std::vector<TArchive::SiteConditions>& conditions);

// The target a job's latest conditions give: TargetFromRoom of their EMC.
struct TRoomTarget {
    std::optional<MoistureRange> range;  // none: no conditions, or air the EMC is not known for
    QString text;  // RoomTargetText, or why there is no target
};
TRoomTarget RoomTarget(const TRoomJob& job, const TRoomMargins& margins, bool centigrade);

// The jobs of the archive at `path` that have site conditions, in the
// archive's order. Nothing when the file is missing or cannot be opened:
// this only offers a choice, so it neither creates an archive nor complains.
std::vector<TRoomJob> RoomJobsIn(const ArchiveLocation& at);

} // namespace kr
