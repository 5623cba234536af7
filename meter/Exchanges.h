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
#include "meter/Outcomes.h"
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

    // "Load data from meter". False when another exchange runs (nothing
    // happens). Otherwise the download runs on the link's timers and ends,
    // perhaps at once, with DownloadEnded(); LastDownloadOutcome() then says
    // how, and its message has been shown.
    bool btnDownloadClick();
    const TDownloadOutcome& LastDownloadOutcome() const { return downloadOutcome; }
    // The download is an erase's backup, not one the user asked for.
    bool DownloadIsBackup() const { return link.BackingUp; }

    // "Erase Data": EraseMeter.
    void btnClearKRMClick();
    // Backs the meter's readings up into the next backup slot and erases the
    // meter, but only when that backup is complete and reads back the same.
    // Shows the outcome's message.
    TEraseOutcome EraseMeter();

    // Stops the download, or an erase whose erase command has not gone yet,
    // and says so; false when nothing may be stopped. A stopped exchange stays
    // Busy() until the meter has been quiet for the quiet interval, so that
    // the rest of its reply cannot reach the next one.
    bool Cancel();

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
    // EraseMeter as a step of the claim holder's own exchange: the outcome is
    // the caller's to tell.
    TEraseOutcome EraseMeter(const TWireClaim& claim);

    // Asks for the serial number; the answer arrives with SerialNoChanged().
    void RequestSerialNo();
    // The last request's outcome; Pending while it runs.
    const TSerialOutcome& SerialNoOutcome() const { return serialOutcome; }
    // "Test serial port": opens port `number` and asks for the serial number;
    // tells the user what it found.
    TPortTestOutcome btnTestClick(int number);

    // The text for the about box's serial number label (Windows-1252), as
    // the last request left it; "lblSerialNo" before the first.
    const std::string& SerialNoText() const { return serialText; }
    // An exchange is running: every other meter command is ignored until it
    // ends, so only one command is ever on the wire.
    bool Busy() const { return active != Active::None || draining; }
    // An exchange runs that closing the program would cut short. A cancelled
    // one whose reply is still arriving is not: nothing of it is kept.
    bool Running() const { return active != Active::None; }

    // Runs once an erase's backup is written and read back the same, before
    // the erase command goes (native path): a copy kept elsewhere, such as
    // the readings archive. It must not throw and decides nothing.
    void SetBackupWritten(std::function<void(const std::string& path)> hook) { backupWritten = std::move(hook); }

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
    void RequestSummary();
    void TimGotSummaryDataTimer();
    void TimGotDataRecordsTimer();
    void timGotSerialNoTimer();
    // Ends the download: keeps the outcome, tells it unless an erase runs it,
    // emits DownloadEnded().
    void FinishDownload(TDownloadOutcome outcome);
    // A quiet timer that fired after Cancel(): the rest of the reply is dropped.
    bool EndDrain(QTimer& timer);
    void StartDataStep(int total);
    void SendDataCommand(int total);
    void EndEmptyCheck();
    void ImportRecords();
    // Why the finished data step is short, as a clause; empty when complete.
    std::string Shortfall() const;
    TEraseOutcome RunErase();
    TEraseOutcome BackUpAndErase(TKRFile& backup);
    void SendSerialRequest();

    TMeterLink& link;
    TDocumentHost& host;
    TKRFile* importTarget = nullptr;
    std::string backupFolder;
    std::function<void(const std::string&)> backupWritten;
    std::string serialText = "lblSerialNo";
    std::string importError;
    TDownloadReplies replies;
    TDownloadOutcome downloadOutcome;
    TSerialOutcome serialOutcome;
    enum class Active { None, Download, Erase, SerialNo, PortTest, Claimed };
    Active active = Active::None;
    int announced = 0;          // by the last summary
    bool downloading = false;   // from "$3" to the download's outcome
    bool draining = false;      // cancelled; the meter may still be sending
    bool dataComplete = true;
    bool confirmingEmpty = false;
    bool lineLost = false;
};

} // namespace kr
