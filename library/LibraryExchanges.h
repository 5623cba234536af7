#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <string>
#include <vector>

#include "library/ItemObj.h"
#include "library/WallRoofFile.h"
#include "meter/Exchanges.h"

namespace kr {

// Texts of the library exchanges, Windows-1252 bytes.
namespace library_text {
inline constexpr const char* Downloading = "Downloading library from KR";
inline constexpr const char* Uploading = "Uploading Library to KR";
inline constexpr const char* NotEnoughData = "Not enough data has been received.  Check connections.";
// An upload that stopped before the library went; the reason follows.
inline constexpr const char* NotSent = "The library has not been sent to the KR: ";
// After the last character of an upload; the species count and " species." follow.
inline constexpr const char* Sent = "The library was sent to the KR: ";
// Why the progress window's Cancel is off while the library goes.
inline constexpr const char* CannotStop = "The library is being sent; stopping now would leave the KR with part of it.";
inline constexpr const char* CutShort =
    "The library stopped part-way, so the KR holds only part of it. Check the connections and send it again";
inline constexpr const char* DownloadCancelled = "Loading the library was cancelled; the list is as it was.";
// The editor opened and no meter answered its serial-number request.
inline constexpr const char* NoMeterAtOpening =
    "No KR answered, so its library was not loaded.\r\nThe list can still be edited, opened and saved.";
inline constexpr int HelpUpload = help_topic::LibraryUpload;
} // namespace library_text

// How "Load library from meter" ended.
enum class TLibraryDownloadOutcome {
    None,          // no download run yet
    Received,      // the 31 species and the wall-and-roof entries were read
    NoResponse,    // no line came back
    TooFewLines,   // fewer lines than a library has
    SendFailed,    // "$2" could not be sent: error holds the port's error
    Cancelled,     // stopped by the user: nothing was taken
    Busy,          // another exchange was running: nothing sent
};

// A meter species whose name the catalogue lists with another SG: it is kept
// as the meter has it, as an item of its own.
struct TSgDifference {
    std::string name;          // without its trailing blanks
    std::string meterSG;       // as FormatSG writes them
    std::string catalogueSG;
};

struct TLibraryDownload {
    TLibraryDownloadOutcome outcome = TLibraryDownloadOutcome::None;
    // When Received: the codes of the meter's 31 species, in its order, for
    // the editor's selected list.
    std::vector<std::string> codes;
    // Codes of the items this download added for species whose names the
    // catalogue's own items lack.
    std::vector<std::string> added;
    // Species listed in the catalogue with an SG other than the meter's.
    std::vector<TSgDifference> differing;
    // Names of species whose SG digits were not a number (SG 0).
    std::vector<std::string> unreadableSG;
    // Why the species added to the catalogue could not be kept; empty when they were.
    std::string notKept;
    std::string error;
};

// How "Save library to meter" ended.
enum class TLibraryUploadOutcome {
    Sent,          // every character of the library went out
    TooFew,        // fewer than 31 species: nothing sent
    Refused,       // a code the catalogue lacks or an SG the KR cannot hold: nothing sent
    Declined,      // the erase question was answered Cancel: nothing sent
    Cancelled,     // stopped by the user before the erase command: nothing erased or sent
    NotSafe,       // the meter's data could not be backed up: not erased, library not sent
    NoResponse,    // the meter did not answer before the erase: library not sent
    SendFailed,    // the meter could not be reached before the erase: library not sent
    CutShort,      // the library stopped part-way: the KR holds only part of it
    Busy,          // another exchange was running: nothing sent
};

struct TLibraryUpload {
    TLibraryUploadOutcome outcome = TLibraryUploadOutcome::Busy;
    // The reason, the port's error or the list's problems, for the message.
    std::string detail;
    // The backup the erase before the upload wrote; empty when none.
    std::string backupPath;
};

// The one message of each way the library exchanges end (Windows-1252);
// detail is the reason, the port's error or the list's problems.
TOutcomeMessage MessageFor(const TLibraryUpload& upload);
TOutcomeMessage MessageFor(const TLibraryDownload& download);
// What the library editor tells as it opens, by how the serial-number request
// it waited for ended: only an unanswered one says something.
TOutcomeMessage EditorOpeningMessage(TSerialOutcome::Kind serial);

// The library download and upload on the meter's link: the species library
// between the meter and the editor's selected list, and the seven
// wall-and-roof entries. No widgets: the editor, kr-cli and the tests drive
// the same code, and everything the user must see goes through kr::prompts().
class TLibraryExchanges : public QObject, public TWallRoofHolder {
    Q_OBJECT
public:
    static constexpr int SpeciesCount = 31;
    static constexpr int WallRoofCount = kr::WallRoofCount;
    static constexpr std::size_t RecordLength = 16;
    static constexpr std::size_t UploadLength = (SpeciesCount + WallRoofCount) * RecordLength;
    static constexpr const char* WallRoofFileName = "wallroof.ini";
    using TWallRoofEntries = kr::TWallRoofEntries;

    TLibraryExchanges(TMeterExchanges& exchanges, TFactorCatalogue& catalogue, QObject* parent = nullptr);

    // The wall-and-roof entries: the defaults, what the last download read,
    // or those kept beside a library list file.
    static const TWallRoofEntries& DefaultWallRoofEntries();
    const TWallRoofEntries& WallRoofEntries() const override { return wallRoof; }
    void ResetWallRoofEntries();
    // Entries kept with a list go to the meter as they are: they are the
    // list's own, so wallroof.ini does not stand in for them.
    void TakeWallRoofEntries(const TWallRoofEntries& entries, const std::string& file) override;
    // Where the entries an upload sends come from, as a sentence for the
    // user, such as "Wall and roof entries from F.wallroof.".
    QString WallRoofSource() const;

    // The "ND" start argument: an upload then goes without its extra erase
    // command and the pause after it.
    void SetNoExtraErase(bool nd) { noExtraErase = nd; }
    // Where "wallroof.ini" is looked for: the program folder, then the installed data folder, unless set.
    void SetFolder(const QString& folder) { this->folder = folder; }

    // "Load library from meter": sends "$2" and returns once the reply has
    // been judged (the modal progress display runs meanwhile). Each meter
    // species takes the catalogue item of its name and SG; one the catalogue
    // lacks, or lists with another SG, becomes an added item kept in the user
    // catalogue, so the meter's SG stays as it is. The caller puts the codes
    // into its list.
    TLibraryDownload BtnReceiveClick();

    // "Save library to meter" with the selected list's codes: refuses what
    // the meter cannot take, erases the meter after a backup, then sends the
    // library a character at a time.
    TLibraryUpload BtnSendClick(const std::vector<std::string>& selected);

    // The 31 species records as sent, and why any entry cannot be sent
    // (one line each, Windows-1252); the text is whole only without reasons.
    struct TSpeciesRecords {
        std::string text;
        std::vector<std::string> problems;
    };
    TSpeciesRecords SpeciesRecords(const std::vector<std::string>& selected) const;
    // The seven wall-and-roof values as sent: the entries kept with a list as
    // they are; otherwise each key of "wallroof.ini" that is there, else the
    // entry. Every value padded or cut to 16 characters.
    std::string WallRoofText() const;

signals:
    // The editor's "Load library from meter" and "Save library to meter"
    // buttons: off while a library exchange runs.
    void SetLibraryButtonsEnabled(bool enabled);

private:
    // Starts the exchange and shows the progress; raises KrError when "$2"
    // cannot be sent.
    void RequestLibrary();
    void TimGotLibraryDataTimer();
    TLibraryUpload Upload(const std::vector<std::string>& selected, const TMeterExchanges::TWireClaim& claim);
    TLibraryUpload SendLibrary(const std::string& text);
    void TakeLibraryReply();
    void TakeSpecies(const std::string& line, TLibraryDownload& result);
    QString WallRoofFile() const;

    TMeterExchanges& exchanges;
    TMeterLink& link;
    TFactorCatalogue& catalogue;
    TWallRoofEntries wallRoof;
    enum class WallRoofOrigin { Defaults, Download, ListFile };
    WallRoofOrigin wallRoofOrigin = WallRoofOrigin::Defaults;
    // The list's file the entries came from, when they did.
    std::string wallRoofFile;
    QString folder;
    TLibraryDownload download;
    bool downloading = false;
    bool cancelled = false;
    bool noExtraErase = false;
};

// Whether the program's first argument (after its name, as
// QCoreApplication::arguments() lists them) is "ND" in any letter case.
bool NdArgumentGiven(const QStringList& arguments);

} // namespace kr
