#pragma once
#include <QString>
#include <functional>

#include "archive/Archive.h"

namespace kr {

// What could not reach the team archive (the server gone, restarting, or
// refusing the user) waits in an archive file of its own beside kr.ini,
// "archive-queue.sqlite", until it is sent. Sending copies it whole, so
// what reached the server before the failure is passed over, not doubled.
QString ArchiveQueuePath();
// True while anything waits: the queue, or one taken aside and not yet sent.
bool ArchiveQueueWaits();

// Opens the queue (making it when missing) and keeps into it. Throws
// ArchiveError when even the queue cannot be written.
void KeepInQueue(const std::function<void(TArchive& queue)>& keep);

// Moves the queue aside to be sent, so what is queued meanwhile starts a new
// one; one taken before and never sent is taken again first. The file to
// send, or empty when nothing waits. Call it where the keeps happen, never
// while one runs.
QString TakeArchiveQueue();
// Copies a taken queue into `team`, then removes it. Throws ArchiveError
// when it could not; the file then waits for the next sending.
TArchive::Copied SendTakenQueue(const QString& taken, TArchive& team);
// Both, until nothing waits.
TArchive::Copied SendQueue(TArchive& team);

} // namespace kr
