#pragma once
#include <functional>
#include <string>
#include <system_error>

#include "core/Errors.h"

namespace kr {

class TFile;

// A backup that could not be made safely. what() says why, in words that
// follow "The KR has not been erased: ".
class BackupError : public KrError {
public:
    using KrError::KrError;
};

// The nine backups of the meter's memory beside the program, "data1.bak" to
// "data9.bak". Free slots fill from the lowest number; with all nine in use
// the oldest (slot 1) moves into the subfolder "older backups" and the others
// move down one number, so slot 9 is always the newest. No backup is ever
// deleted.
//
// A new backup is never allowed to cost an old one before it is safely on
// disk: it is written (temporary file, flushed, renamed), read back and
// compared first, and only then are the old ones moved. A failure puts every
// slot back as it was.
class TBackupSlots {
public:
    static constexpr int SlotCount = 9;
    // The subfolder that keeps every backup leaving the nine slots.
    static constexpr const char* OlderFolderName = "older backups";

    // folder: native path of the program's folder, with or without a trailing
    // separator. serial: the meter's serial number as it sent it, empty when
    // not known; it goes into the names of older backups.
    explicit TBackupSlots(std::string folder, const std::string& serial = {});

    std::string SlotPath(int n) const;
    bool SlotUsed(int n) const;
    // True when "data9.bak" exists: the next backup rotates the slots.
    bool AllInUse() const { return SlotUsed(SlotCount); }
    // The lowest slot without a file (1..9); 0 when all nine are in use.
    int LowestFreeSlot() const;

    // Writes the document as the newest backup and returns the slot's path.
    // Raises BackupError; the slots are then as they were.
    std::string Store(TFile& document);

    // Where a new backup waits while the old ones move.
    std::string StagingPath() const;
    // Native path of the folder of older backups, with a trailing separator.
    std::string OlderFolder() const;

    // Test seam: renames go through this (default kr::renameFile).
    using RenameFunction = std::function<void(const std::string& from, const std::string& to, std::error_code& ec)>;
    void SetRename(RenameFunction rename) { renameFile = std::move(rename); }

private:
    std::string StoreInFreeSlot(TFile& document, int slot);
    std::string StoreWithRotation(TFile& document);
    // Saves and reads back; raises BackupError (after removing the file) when
    // either fails or the readings differ.
    void WriteVerified(TFile& document, const std::string& path, const std::string& shownPath);
    bool Rename(const std::string& from, const std::string& to);
    // A name in the folder of older backups not yet taken, for the backup at `slot`.
    std::string OlderPath(const std::string& slot) const;

    std::string folder;
    std::string serial;
    RenameFunction renameFile;
};

// True when both documents hold the same readings in the same slots, as the
// data file records them.
bool SameReadings(const TFile& a, const TFile& b);

} // namespace kr
