#pragma once
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Mtlutils.h"

namespace kr {

// One stored measurement of the meter. Texts are Windows-1252 bytes.
class TReading {
public:
    static constexpr std::size_t SpeciesCapacity = 32;
    static constexpr std::size_t NoteCapacity = 128;

    TReading();
    virtual ~TReading() = default;
    TReading(const TReading&) = delete;
    TReading& operator=(const TReading&) = delete;

    void Clear();
    // Clear with the given time as "now" (a whole document shares one).
    void Clear(TDateTime now);
    bool IsUsed() const;

    const std::string& GetSpecies() const { return Species; }
    void SetSpecies(const std::string& text);
    long double GetMoisture() const;            // rounded to a 6-byte real
    void SetMoisture(long double value)
    {
        Moisture = value;
        MoistureUnread = false;
    }
    // A data file's moisture text did not read as a number ("nan", "inf",
    // blank): the value kept is not one the meter measured.
    bool IsMoistureUnread() const { return MoistureUnread; }
    void SetMoistureUnread()
    {
        Moisture = 0;
        MoistureUnread = true;
    }
    std::string GetMoistureText() const;
    const std::string& GetNote() const { return Note; }
    void SetNote(const std::string& text);
    TDateTime GetDateTime() const { return DateTime; }
    void SetDateTime(TDateTime value) { DateTime = value; }
    std::string GetDateTimeText() const;
    int GetTemperature() const { return Temperature; }
    void SetTemperature(int value) { Temperature = value; }
    std::string GetTemperatureText(bool centigrade) const;
    long double GetSG() const { return SG; }
    void SetSG(long double value) { SG = value; }
    std::string GetSGText() const;
    int GetSGApplies() const { return SGApplies; }
    void SetSGApplies(int value) { SGApplies = value ? 1 : 0; }

    // The three meter-specific operations; the base versions do nothing.
    virtual std::string GetRecordText() const { return {}; }
    virtual std::string GetTabText(bool /*centigrade*/) const { return {}; }
    virtual void SetRecordText(const std::string& /*text*/) {}

protected:
    std::string Species;
    long double Moisture = 0;
    std::string Note;
    TDateTime DateTime;
    int Temperature = 0;
    long double SG = 0;
    int SGApplies = 0;
    bool MoistureUnread = false;
};

class TKRReading : public TReading {
public:
    static constexpr std::size_t RecordTextLength = 185;
    // A reading whose species is only spaces would read back as a free slot;
    // this mark after its date (a column readers of the date pass over)
    // keeps it a reading.
    static constexpr char InUseMark = '*';
    bool BlankSpeciesInUse() const;
    std::string GetRecordText() const override;
    std::string GetTabText(bool centigrade) const override;
    void SetRecordText(const std::string& text) override;
};

// One of the meter's 25 numbered files: 25 reading slots and a comment.
// Record numbers run 1..25 and are not range-checked.
class TSubFile {
public:
    static constexpr int RecordCount = 25;
    static constexpr std::size_t CommentCapacity = 200;

    TSubFile() = default;
    virtual ~TSubFile() = default;
    TSubFile(const TSubFile&) = delete;
    TSubFile& operator=(const TSubFile&) = delete;

    void Clear();
    void Clear(TDateTime now);
    TReading& GetReading(int recNo) { return *readings[recNo - 1]; }
    const TReading& GetReading(int recNo) const { return *readings[recNo - 1]; }
    const std::string& GetComment() const { return Comment; }
    void SetComment(const std::string& text);
    int CountUsed() const;

    const std::string& GetNote(int recNo) const { return GetReading(recNo).GetNote(); }
    void SetNote(int recNo, const std::string& text) { GetReading(recNo).SetNote(text); }
    long double GetMoisture(int recNo) const { return GetReading(recNo).GetMoisture(); }
    std::string GetMoistureText(int recNo) const { return GetReading(recNo).GetMoistureText(); }
    std::string GetSGText(int recNo) const { return GetReading(recNo).GetSGText(); }
    const std::string& GetSpecies(int recNo) const { return GetReading(recNo).GetSpecies(); }
    TDateTime GetDateTime(int recNo) const { return GetReading(recNo).GetDateTime(); }
    std::string GetDateTimeText(int recNo) const { return GetReading(recNo).GetDateTimeText(); }
    std::string GetRecordText(int recNo) const { return GetReading(recNo).GetRecordText(); }
    void SetRecordText(int recNo, const std::string& text) { GetReading(recNo).SetRecordText(text); }

protected:
    std::array<std::unique_ptr<TReading>, RecordCount> readings;
    std::string Comment;
};

class TKRSubFile : public TSubFile {
public:
    TKRSubFile();
};

// The data document: the meter's 25 files, the date stamp, the user's notes,
// the modified flag and the file name ("None" while there is no file).
// Meter file numbers run 1..25 and are not range-checked.
class TFile {
public:
    static constexpr int FileCount = 25;
    static constexpr const char* NoFileName = "None";

    TFile();
    virtual ~TFile() = default;
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;

    void Clear();
    // Exchanges everything the two documents hold: meter files, notes, date
    // stamp, modified mark and file name. Lets a load read into a document of
    // its own and take it only once the whole file has been read.
    void Swap(TFile& other) noexcept;
    TSubFile& GetSubFile(int fileNo) { return *subFiles[fileNo - 1]; }
    const TSubFile& GetSubFile(int fileNo) const { return *subFiles[fileNo - 1]; }
    TReading& GetReading(int fileNo, int recNo) { return GetSubFile(fileNo).GetReading(recNo); }
    const TReading& GetReading(int fileNo, int recNo) const { return GetSubFile(fileNo).GetReading(recNo); }

    const std::string& GetComment(int fileNo) const { return GetSubFile(fileNo).GetComment(); }
    void SetComment(int fileNo, const std::string& text);
    void SetNote(int fileNo, int recNo, const std::string& text);
    int CountUsed(int fileNo) const { return GetSubFile(fileNo).CountUsed(); }
    // Readings in use over all 25 meter files, a species of spaces included:
    // each is a reading the meter held, although a meter file's count leaves it out.
    int CountReadings() const;
    const std::string& GetNote(int fileNo, int recNo) const { return GetReading(fileNo, recNo).GetNote(); }
    long double GetMoisture(int fileNo, int recNo) const { return GetReading(fileNo, recNo).GetMoisture(); }
    std::string GetMoistureText(int fileNo, int recNo) const { return GetReading(fileNo, recNo).GetMoistureText(); }
    std::string GetSGText(int fileNo, int recNo) const { return GetReading(fileNo, recNo).GetSGText(); }
    const std::string& GetSpecies(int fileNo, int recNo) const { return GetReading(fileNo, recNo).GetSpecies(); }
    TDateTime GetDateTime(int fileNo, int recNo) const { return GetReading(fileNo, recNo).GetDateTime(); }
    std::string GetDateTimeText(int fileNo, int recNo) const { return GetReading(fileNo, recNo).GetDateTimeText(); }

    TDateTime GetDateStamp() const { return DateStamp; }
    void SetDateStamp(TDateTime value) { DateStamp = value; }

    void SetModified() { MarkModified(true); }
    void ClearModified() { MarkModified(false); }
    bool IsModified() const { return Modified; }
    // Told of every setting and clearing of the modified mark, so a window
    // can show it. Swap leaves the observers where they are and tells neither.
    void SetModifiedObserver(std::function<void(bool)> observer) { modifiedObserver = std::move(observer); }
    const std::string& GetFileName() const { return FileName; }
    void SetFileName(const std::string& name) { FileName = name; }

    const std::vector<std::string>& GetNotes() const { return Notes; }
    std::string GetNotesText() const;                  // each line followed by CR LF
    void SetNotes(const std::vector<std::string>& lines) { Notes = lines; }

    // Data file format. File names are native (UTF-8) paths. Failures raise
    // FileError / ConvertError / ListIndexError with the user's message.
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);
    // The file's bytes exactly as SaveToFile writes them.
    std::string SaveToText() const;

    // Tab-separated export: appends the lines (no line ends) to `lines`.
    virtual void ExportText(std::vector<std::string>& lines, bool centigrade) const;
    // Fills the document from the meter's record lines (echo line already removed).
    virtual void ImportMeterLines(const std::vector<std::string>& lines);

protected:
    std::array<std::unique_ptr<TSubFile>, FileCount> subFiles;
    TDateTime DateStamp;
    std::vector<std::string> Notes;
    bool Modified = false;
    std::string FileName = NoFileName;

private:
    void MarkModified(bool modified);
    std::function<void(bool)> modifiedObserver;
};

class TKRFile : public TFile {
public:
    TKRFile();
};

// The export as one text, the way the clipboard gets it: every line of
// ExportText followed by CR LF, the last one too. Windows-1252 bytes.
std::string ExportClipboardText(const TFile& doc, bool centigrade);

} // namespace kr
