#include "meter/BackupSlots.h"

#include "core/AtomicFile.h"

#include <filesystem>
#include <utility>
#include <vector>

#include "core/Cp1252.h"
#include "core/Readings.h"

namespace kr {

namespace fs = std::filesystem;

namespace {

bool isFile(const std::string& path)
{
    std::error_code ec;
    return fs::exists(fs::path(path), ec);
}

void removeQuietly(const std::string& path)
{
    std::error_code ec;
    fs::remove(fs::path(path), ec);
}

// File names in messages are Windows-1252 like every other message text.
std::string shown(const std::string& path) { return utf8ToCp1252(path); }

} // namespace

TBackupSlots::TBackupSlots(std::string programFolder) : folder(std::move(programFolder))
{
    if (!folder.empty() && folder.back() != '/' && folder.back() != char(fs::path::preferred_separator))
        folder += char(fs::path::preferred_separator);
    renameFile = [](const std::string& from, const std::string& to, std::error_code& ec) {
        ec = kr::renameFile(from, to) ? std::error_code() : std::make_error_code(std::errc::io_error);
    };
}

std::string TBackupSlots::SlotPath(int n) const { return folder + "data" + std::to_string(n) + ".bak"; }

std::string TBackupSlots::StagingPath() const { return folder + "data-new.bak.tmp"; }

std::string TBackupSlots::RetiringPath() const { return folder + "data-old.bak.tmp"; }

bool TBackupSlots::SlotUsed(int n) const { return isFile(SlotPath(n)); }

int TBackupSlots::LowestFreeSlot() const
{
    for (int n = 1; n <= SlotCount; ++n)
        if (!SlotUsed(n))
            return n;
    return 0;
}

std::string TBackupSlots::Store(TFile& document)
{
    if (AllInUse())
        return StoreWithRotation(document);
    return StoreInFreeSlot(document, LowestFreeSlot());
}

std::string TBackupSlots::StoreInFreeSlot(TFile& document, int slot)
{
    std::string path = SlotPath(slot);
    WriteVerified(document, path, path);
    return path;
}

std::string TBackupSlots::StoreWithRotation(TFile& document)
{
    std::string newest = SlotPath(SlotCount);
    const std::string staging = StagingPath();
    WriteVerified(document, staging, newest);

    // Every move is remembered so that a failure can put the slots back.
    std::vector<std::pair<std::string, std::string>> moves;
    auto move = [&](const std::string& from, const std::string& to) {
        if (!Rename(from, to))
            return false;
        moves.emplace_back(from, to);
        return true;
    };
    bool ok = !SlotUsed(1) || move(SlotPath(1), RetiringPath());
    for (int n = 2; ok && n <= SlotCount; ++n)
        if (SlotUsed(n))
            ok = move(SlotPath(n), SlotPath(n - 1));
    ok = ok && move(staging, newest);

    if (!ok) {
        bool restored = true;
        for (auto it = moves.rbegin(); it != moves.rend(); ++it)
            restored = Rename(it->second, it->first) && restored;
        if (!restored)
            throw BackupError("the older backups could not be renumbered, and not all of them could be put back. "
                              "Check the files data1.bak to data9.bak and " + shown(staging) + " in " +
                              shown(folder) + ".");
        removeQuietly(staging);
        throw BackupError("the older backups in " + shown(folder) +
                          " could not be renumbered to make room for the new one.");
    }
    // The oldest backup goes only now that the new one is in its place.
    removeQuietly(RetiringPath());
    return newest;
}

void TBackupSlots::WriteVerified(TFile& document, const std::string& path, const std::string& shownPath)
{
    try {
        document.SaveToFile(path);
    } catch (const KrError&) {
        // The write is atomic: a failed save left nothing new behind.
        throw BackupError("the backup could not be written to " + shown(shownPath) + ".");
    }
    bool same = false;
    try {
        // The bytes on disk must be exactly those written, and they must load
        // back into the same readings.
        std::string written;
        if (!readWholeFile(path, written) || written != document.SaveToText())
            throw KrError("backup differs on disk");
        TKRFile scratch;
        scratch.LoadFromFile(path);
        same = SameReadings(document, scratch);
    } catch (const KrError&) {
        same = false;
    }
    if (!same) {
        removeQuietly(path);
        throw BackupError("the backup written to " + shown(shownPath) + " does not read back the same.");
    }
}

bool TBackupSlots::Rename(const std::string& from, const std::string& to)
{
    std::error_code ec;
    renameFile(from, to, ec);
    return !ec;
}

bool SameReadings(const TFile& a, const TFile& b)
{
    for (int f = 1; f <= TFile::FileCount; ++f) {
        if (a.GetComment(f) != b.GetComment(f))
            return false;
        for (int r = 1; r <= TSubFile::RecordCount; ++r) {
            const TReading& x = a.GetReading(f, r);
            const TReading& y = b.GetReading(f, r);
            if (x.IsUsed() != y.IsUsed())
                return false;
            if (x.IsUsed() && x.GetRecordText() != y.GetRecordText())
                return false;
        }
    }
    return true;
}

} // namespace kr
