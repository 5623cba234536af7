#include "meter/Exchanges.h"

#include <QFileInfo>
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

MsgButton ask(MsgKind kind, const std::string& text, MsgButtons buttons = mbOK)
{
    return showMessage(kind, fromCp1252(text), buttons);
}

// A clause as a sentence of its own.
std::string sentence(std::string clause)
{
    if (!clause.empty() && clause.front() >= 'a' && clause.front() <= 'z')
        clause.front() = char(clause.front() - 'a' + 'A');
    return clause + ".";
}

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

} // namespace

TMeterExchanges::TMeterExchanges(TMeterLink& meterLink, TDocumentHost& documentHost, QObject* parent)
    : QObject(parent), link(meterLink), host(documentHost)
{
    // Timer handlers run from the event loop: nothing may escape them, and a
    // download that failed in an unforeseen way must still come to an end,
    // because an erase waits for it.
    auto guard = [this](void (TMeterExchanges::*handler)()) {
        return [this, handler] {
            if (runHandler([&] { (this->*handler)(); }))
                return;
            if (link.CommState == csWaiting)
                link.CommState = csNoResponse;
            EndDownload();
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

void TMeterExchanges::EndDownload()
{
    if (active == Active::Download)
        active = Active::None;
    emit DownloadEnded();
}

std::string TMeterExchanges::DownloadShortfall() const { return shortfall.empty() ? shortfall : sentence(shortfall); }

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
    if (host.Document().IsModified() && !host.QuerySaveChanges())
        return false;
    RequestSummary();
    active = Active::Download;
    return true;
}

void TMeterExchanges::RequestSummary()
{
    announced = 0;
    dataComplete = true;
    confirmingEmpty = false;
    shownEmpty = false;
    unreadable = false;
    importError.clear();
    shortfall.clear();
    replies = {};
    lineLost = false;
    link.StartExchange(link.TimGotSummaryData, "$3");
}

void TMeterExchanges::TimGotSummaryDataTimer()
{
    if (!link.BeginQuietTimer(link.TimGotSummaryData)) {
        ask(MsgKind::Error, NoResponseMessage);
        link.CommState = csNoResponse;
        EndDownload();
        return;
    }
    replies.summary.assign(link.ReplyLines.begin() + 1, link.ReplyLines.end());
    replies.summaryCut = link.ReplyCutShort();
    int total = 0;
    for (const std::string& line : replies.summary)
        if (total < 1000000000)
            total += SummaryCount(line);
    announced = total;
    // A count that stopped part-way, or whose line went, has not said that
    // the meter is empty: it is an unanswered summary.
    if (total < 1 && (replies.summaryCut || lineLost)) {
        ask(MsgKind::Error, NoResponseMessage);
        link.CommState = csNoResponse;
        EndDownload();
        return;
    }
    if (total < 1)
        return ConfirmEmpty();
    StartDataStep(total);
}

// A summary that counts nothing may only have lost its count lines to a
// pause: the data command has the last word before anything is called empty.
void TMeterExchanges::ConfirmEmpty()
{
    confirmingEmpty = SendDataCommand({});
}

// A data command that cannot be sent counts as an unanswered data step, so an
// erase waiting on it ends.
bool TMeterExchanges::SendDataCommand(const std::function<void()>& afterSend)
{
    try {
        link.StartExchange(link.TimGotDataRecords, "$4", afterSend);
    } catch (const KrError& e) {
        link.NoData = false;
        link.CommState = csNoResponse;
        showErrorReport(fromCp1252(e.what()));
        EndDownload();
        return false;
    }
    link.NoData = false;
    return true;
}

void TMeterExchanges::EndEmptyCheck()
{
    switch (CheckEmptyDataReply(link.ReplyLines, link.ReplyCutShort() || lineLost)) {
    case TEmptyCheck::HoldsReadings:
        return ImportRecords();
    case TEmptyCheck::Empty:
        link.NoData = true;
        shownEmpty = true;
        if (!link.BackingUp)
            ask(MsgKind::Information, exchange_text::NoData);
        link.CommState = csFinished;
        break;
    case TEmptyCheck::Unreadable:
        // Neither empty nor a set of readings: nothing may be erased on it.
        unreadable = true;
        link.CommState = csNoResponse;
        if (!link.BackingUp)
            ask(MsgKind::Error, sentence(exchange_text::Unreadable) + exchange_text::UnreadableAdvice);
        break;
    }
    EndDownload();
}

void TMeterExchanges::StartDataStep(int total)
{
    const char* caption = link.BackingUp ? exchange_text::BackingUp : exchange_text::Downloading;
    if (SendDataCommand([&] { link.progress().SetUpProgress(total, 1, caption); }))
        link.progress().ShowModal();
}

void TMeterExchanges::TimGotDataRecordsTimer()
{
    const bool confirming = std::exchange(confirmingEmpty, false);
    if (!link.BeginQuietTimer(link.TimGotDataRecords)) {
        link.CommState = csNoResponse;
        ask(MsgKind::Error, NoResponseMessage);
        EndDownload();
        return;
    }
    if (confirming)
        return EndEmptyCheck();
    ImportRecords();
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
    // The readings before a bad line are kept; the conversion error is part
    // of the shortfall, which the caller reports with what to do about it.
    JudgeDownload();
    link.CommState = csFinished;
    if (!link.BackingUp)
        host.RefreshDocumentView();
    EndDownload();
}

void TMeterExchanges::JudgeDownload()
{
    if (lineLost)
        shortfall = "the connection to the KR was lost during the download";
    else if (!dataComplete)
        shortfall = "a reading sent by the KR could not be read (" + importError + ")";
    else
        shortfall = kr::DownloadShortfall(replies);
}

// ---- Erase with backup ------------------------------------------------------

void TMeterExchanges::btnClearKRMClick()
{
    if (Busy())
        return;
    try {
        EraseMeter();
    } catch (const std::exception&) {
        ask(MsgKind::Error, NoResponseMessage);
    }
}

MsgButton TMeterExchanges::EraseMeter()
{
    if (Busy())
        return mbCancel;
    return RunErase(TEmptyMeterNotice::Say);
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

MsgButton TMeterExchanges::EraseMeter(const TWireClaim& claim, TEmptyMeterNotice whenEmpty)
{
    if (claim.owner != this || active != Active::Claimed)
        return mbCancel;
    return RunErase(whenEmpty);
}

MsgButton TMeterExchanges::RunErase(TEmptyMeterNotice whenEmpty)
{
    const ActiveScope scope(active, Active::Erase);
    // Enter must not erase the meter by habit: Cancel is the default.
    MessageRequest question;
    question.kind = MsgKind::Warning;
    question.text = fromCp1252(exchange_text::EraseQuestion);
    question.buttons = mbOK | mbCancel;
    question.defaultButton = mbCancel;
    const MsgButton answer = prompts().message(question);
    if (answer != mbOK) {
        eraseOutcome = TEraseOutcome::Cancelled;
        return mbCancel;
    }
    // The backup goes into a document of its own; the host's document is
    // never touched by an erase, only shown again at the end.
    auto backup = std::make_unique<TKRFile>();
    erasing = true;
    backupPath.clear();
    eraseOutcome = TEraseOutcome::None;
    link.BackingUp = true;
    link.NoData = true;
    importTarget = backup.get();
    auto finish = [&] {
        importTarget = nullptr;
        erasing = false;
        // Showing the document again clears its modified mark; edits not yet
        // saved, those typed during the erase included, must still be asked
        // about before they are lost.
        const bool changed = host.Document().IsModified();
        host.RefreshDocumentView();
        if (changed)
            host.Document().SetModified();
    };
    try {
        RequestSummary();
        link.CommState = csWaiting;
        WaitUntil([this] { return link.CommState != csWaiting; });
        if (link.NoData) {
            eraseOutcome = TEraseOutcome::NoData;
            if (!shownEmpty || whenEmpty == TEmptyMeterNotice::Say)
                ask(MsgKind::Warning, exchange_text::NoDataToErase);
        } else {
            BackUpAndErase(*backup);
            // The meter does not answer the erase command; nothing else tells the user it went.
            if (eraseOutcome == TEraseOutcome::Erased)
                ask(MsgKind::Information, exchange_text::ErasedInto + toCp1252(QFileInfo(fromNativePath(backupPath)).fileName()) +
                                              exchange_text::ErasedTail);
        }
    } catch (...) {
        if (eraseOutcome == TEraseOutcome::None)
            eraseOutcome = TEraseOutcome::NoResponse;
        finish();
        throw;
    }
    finish();
    return answer;
}

void TMeterExchanges::BackUpAndErase(TKRFile& backup)
{
    TBackupSlots backups(BackupFolder());
    if (unreadable)
        return RefuseErase(TEraseOutcome::NotSafe, std::string(exchange_text::Unreadable) + ".");
    if (link.CommState != csFinished) {
        eraseOutcome = TEraseOutcome::NoResponse;
        if (!backups.AllInUse())
            ask(MsgKind::Plain, exchange_text::NoCsFinished + std::to_string(int(link.CommState)));
        return;
    }
    if (!shortfall.empty())
        return RefuseErase(TEraseOutcome::NotSafe, shortfall + ", so the backup would be incomplete.");
    std::string path;
    try {
        path = backups.Store(backup);
    } catch (const BackupError& e) {
        return RefuseErase(TEraseOutcome::NotSafe, e.what());
    }
    backupPath = path;
    try {
        link.Send("$*#");
    } catch (const KrError& e) {
        return RefuseErase(TEraseOutcome::SendFailed, std::string("the erase command could not be sent (") +
                                                          e.what() + "). The backup is in " +
                                                          toCp1252(fromNativePath(path)) + ".");
    }
    eraseOutcome = TEraseOutcome::Erased;
}

void TMeterExchanges::RefuseErase(TEraseOutcome outcome, const std::string& reason)
{
    eraseOutcome = outcome;
    ask(MsgKind::Error, exchange_text::NotErased + reason);
}

// ---- Serial number and port test --------------------------------------------

void TMeterExchanges::RequestSerialNo()
{
    if (Busy())
        return;
    active = Active::SerialNo;
    SendSerialRequest();
}

void TMeterExchanges::SendSerialRequest()
{
    link.SerialState = ssWaiting;
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
    } else {
        link.SerialState = ssFailed;
        serialText = exchange_text::SerialFailed;
    }
    emit SerialNoChanged(fromCp1252(serialText));
}

bool TMeterExchanges::btnTestClick(int number)
{
    if (Busy())
        return false;
    link.PortNumber = number;
    try {
        link.Reopen(number);
    } catch (const KrError& e) {
        ask(MsgKind::Error, e.what());
        return false;
    }
    const ActiveScope scope(active, Active::PortTest);
    SendSerialRequest();
    WaitUntil([this] { return link.SerialState != ssWaiting; });
    const std::string port = std::to_string(number);
    if (link.SerialState == ssFound) {
        ask(MsgKind::Information, exchange_text::PortFound + port);
        return true;
    }
    ask(MsgKind::Error, exchange_text::PortNotFound + port + exchange_text::PortNotFoundAdvice);
    return false;
}

} // namespace kr
