#include "meter/Exchanges.h"

#include <string_view>
#include <vector>

#include "core/Mtlutils.h"
#include "meter/BackupSlots.h"
#include "meter/Wait.h"
#include "platform/ErrorReport.h"
#include "platform/Text.h"
#include "settings/Appglob.h"

namespace kr {

namespace {

// Marks the current exchange for as long as it lives, unless one is marked already.
class ActiveScope {
public:
    template <typename Active>
    ActiveScope(Active& field, Active value) : reset([&field, before = field] { field = before; })
    {
        field = value;
    }
    ~ActiveScope() { reset(); }
    ActiveScope(const ActiveScope&) = delete;
    ActiveScope& operator=(const ActiveScope&) = delete;

private:
    std::function<void()> reset;
};

TDownloadOutcome downloadEnd(TDownloadOutcome::Kind kind, std::string detail = {})
{
    TDownloadOutcome o;
    o.kind = kind;
    o.detail = std::move(detail);
    return o;
}

TEraseOutcome eraseEnd(TEraseOutcome::Kind kind, std::string detail = {}, std::string backupPath = {})
{
    TEraseOutcome o;
    o.kind = kind;
    o.detail = std::move(detail);
    o.backupPath = std::move(backupPath);
    return o;
}

} // namespace

TMeterExchanges::TMeterExchanges(TMeterLink& meterLink, TDocumentHost& documentHost, QObject* parent)
    : QObject(parent), link(meterLink), host(documentHost)
{
    // Timer handlers run from the event loop: nothing may escape them, and a
    // download that failed in an unforeseen way must still come to an end,
    // because an erase waits for it.
    auto guard = [this](void (TMeterExchanges::*handler)()) {
        return [this, handler] {
            if (!runHandler([&] { (this->*handler)(); }))
                FinishDownload(downloadEnd(TDownloadOutcome::NoAnswer));
        };
    };
    connect(&link.TimGotSummaryData, &QTimer::timeout, this, guard(&TMeterExchanges::TimGotSummaryDataTimer));
    connect(&link.TimGotDataRecords, &QTimer::timeout, this, guard(&TMeterExchanges::TimGotDataRecordsTimer));
    connect(&link.timGotSerialNo, &QTimer::timeout, this, [this] { runHandler([this] { timGotSerialNoTimer(); }); });
    connect(&link, &TMeterLink::LineLost, this, [this] { lineLost = true; });
}

TMeterExchanges::~TMeterExchanges() = default;

std::string TMeterExchanges::BackupFolder() const
{
    return backupFolder.empty() ? toNativePath(ProgramFolder()) : backupFolder;
}

TKRFile& TMeterExchanges::Target() { return importTarget ? *importTarget : host.Document(); }

void TMeterExchanges::FinishDownload(TDownloadOutcome outcome)
{
    if (!downloading)
        return;
    downloading = false;
    outcome.announced = announced;
    downloadOutcome = outcome;
    const bool answered = outcome.kind == TDownloadOutcome::Received || outcome.kind == TDownloadOutcome::Partial ||
                          outcome.kind == TDownloadOutcome::Empty;
    link.CommState = answered ? csFinished : csNoResponse;
    link.progress().SetCancel({});
    link.progress().Close();
    // An erase reports the outcome of its own download in its words.
    if (!link.BackingUp)
        Tell(MessageFor(outcome));
    if (active == Active::Download)
        active = Active::None;
    emit DownloadEnded();
}

bool TMeterExchanges::Cancel()
{
    if (!downloading)
        return false;
    draining = link.TimGotSummaryData.isActive() || link.TimGotDataRecords.isActive();
    FinishDownload(downloadEnd(TDownloadOutcome::Cancelled));
    return true;
}

bool TMeterExchanges::EndDrain(QTimer& timer)
{
    if (!draining)
        return false;
    link.BeginQuietTimer(timer);
    draining = false;
    return true;
}

// ---- Data download ----------------------------------------------------------

bool TMeterExchanges::btnDownloadClick()
{
    if (Busy())
        return false;
    host.SetDownloadEnabled(false);
    struct Reenable {
        TDocumentHost& host;
        ~Reenable() { host.SetDownloadEnabled(true); }
    } reenable{host};

    link.BackingUp = false;
    importTarget = nullptr;
    // A save that fails here throws to the caller before anything is sent.
    const bool declined = host.Document().IsModified() && !host.QuerySaveChanges();
    active = Active::Download;
    downloading = true;
    announced = 0;
    if (declined) {
        FinishDownload(downloadEnd(TDownloadOutcome::Declined));
        return true;
    }
    try {
        RequestSummary();
    } catch (const KrError& e) {
        FinishDownload(downloadEnd(TDownloadOutcome::SendFailed, e.what()));
    }
    return true;
}

void TMeterExchanges::RequestSummary()
{
    announced = 0;
    dataComplete = true;
    confirmingEmpty = false;
    importError.clear();
    replies = {};
    lineLost = false;
    downloading = true;
    ProgressSink& progress = link.progress();
    link.StartExchange(link.TimGotSummaryData, "$3", [&] {
        progress.SetUpProgress(0, 1, link.BackingUp ? exchange_text::BackingUp : exchange_text::Downloading);
        progress.SetCancel([this] { Cancel(); });
        progress.ShowModeless();
    });
}

void TMeterExchanges::TimGotSummaryDataTimer()
{
    if (EndDrain(link.TimGotSummaryData))
        return;
    const bool got = link.BeginQuietTimer(link.TimGotSummaryData);
    if (!downloading)
        return;   // cancelled while the last events ran
    if (!got)
        return FinishDownload(downloadEnd(TDownloadOutcome::NoAnswer));
    replies.summary.assign(link.ReplyLines.begin() + 1, link.ReplyLines.end());
    replies.summaryCut = link.ReplyCutShort();
    int total = 0;
    for (const std::string& line : replies.summary)
        if (total < 1000000000)
            total += SummaryCount(line);
    announced = total;
    // A count that stopped part-way, or whose line went, has not said that
    // the meter is empty: it is an unanswered summary.
    if (total < 1 && (replies.summaryCut || lineLost))
        return FinishDownload(downloadEnd(TDownloadOutcome::NoAnswer));
    // A summary that counts nothing may only have lost its count lines to a
    // pause: the data command has the last word before anything is called empty.
    confirmingEmpty = total < 1;
    SendDataCommand(total);
}

void TMeterExchanges::SendDataCommand(int total)
{
    ProgressSink& progress = link.progress();
    const char* caption = link.BackingUp ? exchange_text::BackingUp : exchange_text::Downloading;
    try {
        link.StartExchange(link.TimGotDataRecords, "$4", [&] {
            progress.SetUpProgress(total, 1, caption);
            progress.SetCancel([this] { Cancel(); });
        });
    } catch (const KrError& e) {
        link.NoData = false;
        return FinishDownload(downloadEnd(TDownloadOutcome::SendFailed, e.what()));
    }
    link.NoData = false;
    if (total > 0)
        progress.ShowModal();
    else
        progress.ShowModeless();
}

void TMeterExchanges::TimGotDataRecordsTimer()
{
    if (EndDrain(link.TimGotDataRecords))
        return;
    const bool confirming = std::exchange(confirmingEmpty, false);
    const bool got = link.BeginQuietTimer(link.TimGotDataRecords);
    if (!downloading)
        return;   // cancelled while the last events ran
    if (!got)
        return FinishDownload(downloadEnd(TDownloadOutcome::NoAnswer));
    if (confirming)
        return EndEmptyCheck();
    ImportRecords();
}

void TMeterExchanges::EndEmptyCheck()
{
    switch (CheckEmptyDataReply(link.ReplyLines, link.ReplyCutShort() || lineLost, !replies.summary.empty())) {
    case TEmptyCheck::HoldsReadings:
        return ImportRecords();
    case TEmptyCheck::Empty:
        link.NoData = true;
        return FinishDownload(downloadEnd(TDownloadOutcome::Empty));
    case TEmptyCheck::Unreadable:
        // Neither empty nor a set of readings: nothing may be erased on it.
        return FinishDownload(downloadEnd(TDownloadOutcome::Unreadable));
    }
}

void TMeterExchanges::ImportRecords()
{
    replies.records.assign(link.ReplyLines.begin() + 1, link.ReplyLines.end());
    replies.recordsCut = link.ReplyCutShort();
    try {
        Target().ImportMeterLines(replies.records);
    } catch (const KrError& e) {
        // The readings before the bad line are kept and shown; the shortfall
        // tells an erase that its backup would be incomplete.
        dataComplete = false;
        importError = e.what();
    }
    TDownloadOutcome outcome;
    outcome.detail = Shortfall();
    outcome.kind = outcome.detail.empty() ? TDownloadOutcome::Received : TDownloadOutcome::Partial;
    outcome.readings = Target().CountReadings();
    outcome.linesRead = dataComplete;
    if (!link.BackingUp) {
        host.RefreshDocumentView();
        // Readings not yet saved anywhere: closing, opening or another
        // download must ask first, as for any change.
        host.Document().SetModified();
    }
    FinishDownload(outcome);
}

std::string TMeterExchanges::Shortfall() const
{
    if (lineLost)
        return "the connection to the KR was lost during the download";
    if (!dataComplete)
        return "a reading sent by the KR could not be read (" + importError + ")";
    return kr::DownloadShortfall(replies);
}

// ---- Erase with backup ------------------------------------------------------

void TMeterExchanges::btnClearKRMClick() { EraseMeter(); }

TEraseOutcome TMeterExchanges::EraseMeter()
{
    if (Busy())
        return eraseEnd(TEraseOutcome::Busy);
    TEraseOutcome outcome;
    try {
        outcome = RunErase();
    } catch (const std::exception& e) {
        // Nothing past the erase command can fail: an error here is before it.
        outcome = eraseEnd(TEraseOutcome::NotSafe, e.what());
    }
    Tell(MessageFor(outcome));
    return outcome;
}

std::optional<TMeterExchanges::TWireClaim> TMeterExchanges::ClaimWire()
{
    if (Busy())
        return std::nullopt;
    active = Active::Claimed;
    return TWireClaim(*this);
}

TMeterExchanges::TWireClaim::~TWireClaim()
{
    if (owner && owner->active == Active::Claimed)
        owner->active = Active::None;
}

TEraseOutcome TMeterExchanges::EraseMeter(const TWireClaim& claim)
{
    if (claim.owner != this || active != Active::Claimed)
        return eraseEnd(TEraseOutcome::Busy);
    return RunErase();
}

TEraseOutcome TMeterExchanges::RunErase()
{
    const ActiveScope scope(active, Active::Erase);
    // Enter must not erase the meter by habit: Cancel is the default.
    MessageRequest question;
    question.kind = MsgKind::Warning;
    question.text = fromCp1252(exchange_text::EraseQuestion);
    question.buttons = mbOK | mbCancel;
    question.defaultButton = mbCancel;
    if (prompts().message(question) != mbOK)
        return eraseEnd(TEraseOutcome::Declined);
    // The backup goes into a document of its own; the host's document is
    // never touched by an erase, only shown again at the end.
    auto backup = std::make_unique<TKRFile>();
    link.BackingUp = true;
    link.NoData = true;
    importTarget = backup.get();
    struct Finish {
        TMeterExchanges& self;
        ~Finish()
        {
            self.importTarget = nullptr;
            // Showing the document again clears its modified mark; edits not
            // yet saved, those typed during the erase included, must still be
            // asked about before they are lost. Nothing may escape a destructor.
            runHandler([this] {
                const bool changed = self.host.Document().IsModified();
                self.host.RefreshDocumentView();
                if (changed)
                    self.host.Document().SetModified();
            });
        }
    } finish{*this};
    try {
        RequestSummary();
    } catch (const KrError& e) {
        FinishDownload(downloadEnd(TDownloadOutcome::SendFailed, e.what()));
    }
    WaitUntil([this] { return !downloading; });
    return BackUpAndErase(*backup);
}

TEraseOutcome TMeterExchanges::BackUpAndErase(TKRFile& backup)
{
    using D = TDownloadOutcome;
    const TDownloadOutcome& got = downloadOutcome;
    switch (got.kind) {
    case D::Received: break;
    case D::Empty: return eraseEnd(TEraseOutcome::Empty);
    case D::NoAnswer: return eraseEnd(TEraseOutcome::NoAnswer);
    case D::Declined:
    case D::Cancelled: return eraseEnd(TEraseOutcome::Cancelled);
    case D::SendFailed: return eraseEnd(TEraseOutcome::SendFailed, got.detail);
    case D::Unreadable: return eraseEnd(TEraseOutcome::NotSafe, std::string(exchange_text::Unreadable) + ".");
    case D::Partial:
        return eraseEnd(TEraseOutcome::NotSafe, got.detail + ", so the backup would be incomplete.");
    }
    std::string path;
    try {
        // The last serial number asked names the backup that leaves the slots.
        const std::string serial = serialOutcome.kind == TSerialOutcome::Found ? serialOutcome.serial : std::string();
        path = TBackupSlots(BackupFolder(), serial).Store(backup);
    } catch (const BackupError& e) {
        return eraseEnd(TEraseOutcome::NotSafe, e.what());
    }
    if (backupWritten)
        backupWritten(path);
    try {
        link.Send("$*#");
    } catch (const KrError& e) {
        return eraseEnd(TEraseOutcome::SendFailed, e.what(), path);
    }
    TEraseOutcome erased = eraseEnd(TEraseOutcome::Erased, {}, path);
    erased.readings = backup.CountReadings();
    return erased;
}

// ---- Serial number and port test --------------------------------------------

void TMeterExchanges::RequestSerialNo()
{
    if (Busy()) {
        if (active != Active::SerialNo)
            serialOutcome = {TSerialOutcome::Busy, {}};
        return;
    }
    active = Active::SerialNo;
    SendSerialRequest();
}

void TMeterExchanges::SendSerialRequest()
{
    link.SerialState = ssWaiting;
    serialOutcome = {TSerialOutcome::Pending, {}};
    // A port that cannot be opened shows up as a request without an answer.
    link.StartExchange(link.timGotSerialNo, "$5", {}, TMeterLink::SendFailure::Ignore);
}

void TMeterExchanges::timGotSerialNoTimer()
{
    if (active == Active::SerialNo)
        active = Active::None;
    const bool got = link.BeginQuietTimer(link.timGotSerialNo);
    const auto& lines = link.ReplyLines;
    if (got && lines.size() >= 2 && lines[0].starts_with("$5")) {
        link.SerialState = ssFound;
        serialText = lines[1];
        std::string serial = serialText;
        while (!serial.empty() && (serial.back() == '\r' || serial.back() == '\n'))
            serial.pop_back();
        serialOutcome = {TSerialOutcome::Found, serial};
    } else {
        link.SerialState = ssFailed;
        serialText = exchange_text::SerialFailed;
        serialOutcome = {TSerialOutcome::NoAnswer, {}};
    }
    emit SerialNoChanged(fromCp1252(serialText));
}

TPortTestOutcome TMeterExchanges::btnTestClick(int number)
{
    TPortTestOutcome outcome;
    outcome.port = number;
    if (Busy()) {
        outcome.kind = TPortTestOutcome::Busy;
        return outcome;
    }
    link.PortNumber = number;
    try {
        link.Reopen(number);
    } catch (const KrError& e) {
        outcome.kind = TPortTestOutcome::OpenFailed;
        outcome.detail = e.what();
        Tell(MessageFor(outcome));
        return outcome;
    }
    const ActiveScope scope(active, Active::PortTest);
    SendSerialRequest();
    WaitUntil([this] { return serialOutcome.kind != TSerialOutcome::Pending; });
    outcome.kind = serialOutcome.kind == TSerialOutcome::Found ? TPortTestOutcome::Found : TPortTestOutcome::NoAnswer;
    Tell(MessageFor(outcome));
    return outcome;
}

} // namespace kr
