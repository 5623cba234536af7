#pragma once
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "core/Readings.h"
#include "meter/DownloadCheck.h"
#include "meter/MeterLink.h"
#include "platform/Prompts.h"

namespace kr {

// What the exchanges need from whoever shows the data document: the main
// window, the command line or a test.
class TDocumentHost {
public:
    virtual ~TDocumentHost() = default;
    // The document a download replaces.
    virtual TKRFile& Document() = 0;
    // Asks about unsaved changes and saves if wanted; false: the user cancelled.
    // A failed save throws.
    virtual bool QuerySaveChanges() = 0;
    // Brings the view in line with the document after a download or an erase.
    virtual void RefreshDocumentView() = 0;
    // The "Load data from meter" button.
    virtual void SetDownloadEnabled(bool /*enabled*/) {}
};

// A host without a window: it owns its document and has nothing to show.
class TStandaloneHost : public TDocumentHost {
public:
    TKRFile& Document() override { return document; }
    bool QuerySaveChanges() override { return querySave ? querySave() : true; }
    void RefreshDocumentView() override
    {
        ++refreshCount;
        document.ClearModified();
    }
    void SetDownloadEnabled(bool enabled) override { downloadEnabled = enabled; }

    TKRFile document;
    // Answers the save-changes question; absent: go on without saving.
    std::function<bool()> querySave;
    int refreshCount = 0;
    bool downloadEnabled = true;
};

// Texts of the exchanges, Windows-1252 bytes.
namespace exchange_text {
inline constexpr const char* NoData = "There is no data to download.";
inline constexpr const char* Downloading = "Downloading Data from KR";
inline constexpr const char* BackingUp = "Backing up Data from KR before deleting";
inline constexpr const char* EraseQuestion = "This will delete all data from the KR.  Are you sure you want to continue";
inline constexpr const char* NoDataToErase = "No data to erase";
inline constexpr const char* NoCsFinished = "No csFinished ";
inline constexpr const char* SerialFailed = "Failed to get serial number";
inline constexpr const char* PortFound = "Found KR on Communications Port ";
inline constexpr const char* PortNotFound = "Failed to find KR on Communications Port ";
inline constexpr const char* PortNotFoundAdvice = "\r\nCheck connections and ensure KR is switched on.";
// A summary that counted nothing, and a data reply that neither showed an
// empty meter nor held readings.
inline constexpr const char* Unreadable =
    "the KR's replies could not be read, so it is not known whether it holds readings";
inline constexpr const char* UnreadableAdvice = "\r\nCheck the connections and try again.";
// After a download that is not everything the KR announced.
inline constexpr const char* RepeatDownload =
    "The readings that arrived are shown. Load the data from the KR again to get them all.";
// Why an erase did not happen; the reason follows. After one that did, the
// backup's file name goes between the two parts of the report.
inline constexpr const char* NotErased = "The KR has not been erased: ";
inline constexpr const char* ErasedInto = "The readings were saved to ";
inline constexpr const char* ErasedTail = ", and the KR was told to erase them.";
} // namespace exchange_text

// Whether an erase says "No data to erase" when the meter has shown it holds
// nothing. An exchange that goes on with an empty meter has nothing missing to
// report; a meter that did not answer is still reported either way.
enum class TEmptyMeterNotice { Say, Quiet };

// How the last erase ended, for callers that report it themselves.
enum class TEraseOutcome {
    None,          // no erase run yet
    Cancelled,     // the user answered Cancel
    NoData,        // nothing to erase, or no answer to the summary
    NoResponse,    // the meter could not be reached, or did not answer the data step
    NotSafe,       // no complete backup could be made: not erased
    SendFailed,    // backup written, but the erase command could not be sent
    Erased,        // backup written and checked, erase command sent
};

// The exchanges with the meter: data download, erase with backup, serial
// number and port test. They drive the link's quiet timers and report through
// kr::prompts(); nothing here needs a window, so the command line and the
// tests run the same code as the main window.
class TMeterExchanges : public QObject {
    Q_OBJECT
public:
    TMeterExchanges(TMeterLink& link, TDocumentHost& host, QObject* parent = nullptr);
    ~TMeterExchanges() override;

    TMeterLink& Link() { return link; }

    // "Load data from meter". Returns once "$3" is on its way (true) or the
    // user cancelled the save-changes question (false); a failed send throws
    // with the port's error text. The download then runs on the link's timers
    // and ends with DownloadEnded().
    bool btnDownloadClick();
    // Starts the summary step. Raises KrError when "$3" cannot be sent.
    void RequestSummary();
    void TimGotSummaryDataTimer();
    void TimGotDataRecordsTimer();

    // "Erase Data": EraseMeter, with the no-response box for an error that escapes it.
    void btnClearKRMClick();
    // Backs the meter's readings up into the next backup slot and erases the
    // meter, but only when that backup is complete and reads back the same.
    // Returns the answer to the confirmation (mbOK or mbCancel).
    MsgButton EraseMeter();

    // The wire for an exchange built on top of these (the library's): while
    // the claim lives, every other meter command is ignored, as for the
    // exchanges here.
    class TWireClaim {
    public:
        TWireClaim(TWireClaim&& other) noexcept : owner(std::exchange(other.owner, nullptr)) {}
        TWireClaim& operator=(TWireClaim&&) = delete;
        ~TWireClaim();

    private:
        friend class TMeterExchanges;
        explicit TWireClaim(TMeterExchanges& exchanges) : owner(&exchanges) {}
        TMeterExchanges* owner;
    };
    // Nothing when an exchange runs already.
    std::optional<TWireClaim> ClaimWire();
    // EraseMeter as a step of the claim holder's own exchange.
    MsgButton EraseMeter(const TWireClaim& claim, TEmptyMeterNotice whenEmpty = TEmptyMeterNotice::Say);

    // Asks for the serial number; the answer arrives with SerialNoChanged().
    void RequestSerialNo();
    void timGotSerialNoTimer();
    // "Test serial port": opens port `number` and asks for the serial number;
    // tells the user what it found. True when the meter answered.
    bool btnTestClick(int number);

    // The text for the about box's serial number label (Windows-1252), as
    // the last request left it; "lblSerialNo" before the first.
    const std::string& SerialNoText() const { return serialText; }
    // Readings the last summary announced.
    int AnnouncedTotal() const { return announced; }
    // Whether every record line of the last data step was read.
    bool DataComplete() const { return dataComplete; }
    // Why the last download is not everything the KR announced, as a sentence
    // for the user (Windows-1252); empty when it is complete.
    std::string DownloadShortfall() const;
    // An exchange is running: every other meter command is ignored until it
    // ends, so only one command is ever on the wire.
    bool Busy() const { return active != Active::None; }
    TEraseOutcome LastEraseOutcome() const { return eraseOutcome; }
    // The backup the last erase wrote; empty when none.
    const std::string& LastBackupPath() const { return backupPath; }
    bool IsErasing() const { return erasing; }
    // The last download found the meter empty: its summary counted nothing
    // and its data reply was the bare echo. Only then may a meter be erased
    // without a backup.
    bool MeterShownEmpty() const { return shownEmpty; }

    // Where backups go: the program's folder unless set (native path).
    void SetBackupFolder(const std::string& folder) { backupFolder = folder; }
    std::string BackupFolder() const;

signals:
    // The download has come to an end, whatever the outcome.
    void DownloadEnded();
    // A serial-number request has ended; text for the about box.
    void SerialNoChanged(const QString& text);

private:
    // The document the data step fills: the erase's own, or the host's.
    TKRFile& Target();
    void EndDownload();
    void StartDataStep(int total);
    void ConfirmEmpty();
    bool SendDataCommand(const std::function<void()>& afterSend);
    void EndEmptyCheck();
    void ImportRecords();
    // Judges the finished data step: sets `shortfall`.
    void JudgeDownload();
    // The backup stage of the erase, once the download has ended.
    MsgButton RunErase(TEmptyMeterNotice whenEmpty);
    void BackUpAndErase(TKRFile& backup);
    void RefuseErase(TEraseOutcome outcome, const std::string& reason);
    void SendSerialRequest();

    TMeterLink& link;
    TDocumentHost& host;
    TKRFile* importTarget = nullptr;
    std::string backupFolder;
    std::string serialText = "lblSerialNo";
    std::string backupPath;
    std::string importError;
    // Why the last download is incomplete, as a clause; empty when complete.
    std::string shortfall;
    TDownloadReplies replies;
    enum class Active { None, Download, Erase, SerialNo, PortTest, Claimed };
    Active active = Active::None;
    int announced = 0;
    bool dataComplete = true;
    bool confirmingEmpty = false;
    bool shownEmpty = false;
    bool unreadable = false;
    bool lineLost = false;
    bool erasing = false;
    TEraseOutcome eraseOutcome = TEraseOutcome::None;
};

} // namespace kr
