#include "meter/BackupSlots.h"

#include "core/AtomicFile.h"

#include <QDateTime>
#include <QFileInfo>
#include <cstdio>
#include <filesystem>
#include <utility>
#include <vector>

#include "core/Cp1252.h"
#include "core/Mtlutils.h"
#include "core/Readings.h"
#include "platform/Text.h"

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

// When the readings of a backup were downloaded: the date stamp on its first
// line; for a file that has none, when it was written.
TDateTime downloadedAt(const std::string& path)
{
    std::string bytes;
    if (readWholeFile(path, bytes)) {
        try {
            return FileTextToDateTime(bytes.substr(0, 19));
        } catch (const KrError&) {
        }
    }
    const QDateTime written = QFileInfo(fromNativePath(path)).lastModified();
    if (!written.isValid())
        return Now();
    return ComposeDateTime(EncodeDate(written.date().year(), written.date().month(), written.date().day()),
                           EncodeTime(written.time().hour(), written.time().minute(), 0, 0));
}

// Only letters, digits and "-_." of a serial number go into a file name.
std::string forFileName(const std::string& serial)
{
    std::string kept;
    for (char c : serial)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
            c == '.')
            kept += c;
    return kept;
}

} // namespace

TBackupSlots::TBackupSlots(std::string programFolder, const std::string& meterSerial)
    : folder(std::move(programFolder)), serial(forFileName(meterSerial))
{
    if (!folder.empty() && folder.back() != '/' && folder.back() != char(fs::path::preferred_separator))
        folder += char(fs::path::preferred_separator);
    renameFile = [](const std::string& from, const std::string& to, std::error_code& ec) {
        ec = kr::renameFile(from, to) ? std::error_code() : std::make_error_code(std::errc::io_error);
    };
}

std::string TBackupSlots::SlotPath(int n) const { return folder + "data" + std::to_string(n) + ".bak"; }

std::string TBackupSlots::StagingPath() const { return folder + "data-new.bak.tmp"; }

std::string TBackupSlots::OlderFolder() const
{
    return folder + OlderFolderName + char(fs::path::preferred_separator);
}

std::string TBackupSlots::OlderPath(const std::string& slot) const
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    const TDateTime at = downloadedAt(slot);
    DecodeDate(at, year, month, day);
    DecodeTime(at, hour, minute, second, msec);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d%02d", year, month, day, hour, minute);
    std::string base = OlderFolder() + stamp;
    if (!serial.empty())
        base += " " + serial;
    // Two backups from the same minute must not overwrite each other.
    std::string path = base + ".bak";
    for (int n = 2; isFile(path); ++n)
        path = base + " (" + std::to_string(n) + ").bak";
    return path;
}

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
    // The oldest is kept in the folder of older backups; it is moved there
    // first, so that nothing is renumbered when it cannot be kept.
    if (SlotUsed(1) && !(makeFolders(OlderFolder()) && move(SlotPath(1), OlderPath(SlotPath(1))))) {
        removeQuietly(staging);
        throw BackupError("the oldest backup, data1.bak, could not be moved into " +
                          shown(OlderFolder()) + ".");
    }
    bool ok = true;
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
                              shown(folder) + ", and the folder " + shown(OlderFolder()) + ".");
        removeQuietly(staging);
        throw BackupError("the older backups in " + shown(folder) +
                          " could not be renumbered to make room for the new one.");
    }
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
