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

MsgButton ask(MsgKind kind, const std::string& text, MsgButtons buttons = mbOK)
{
    return showMessage(kind, fromCp1252(text), buttons);
}

// Characters 4 and 5 of a summary line as a count; text that is not a
// number counts nothing.
int summaryCount(const std::string& line)
{
    const std::string_view field = line.size() > 3 ? std::string_view(line).substr(3, 2) : std::string_view();
    int value = 0;
    return TryStrToInt(field, value) ? value : 0;
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
            if (runHandler([&] { (this->*handler)(); }))
                return;
            if (link.CommState == csWaiting)
                link.CommState = csNoResponse;
            emit DownloadEnded();
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

void TMeterExchanges::EndDownload() { emit DownloadEnded(); }

// ---- Data download ----------------------------------------------------------

bool TMeterExchanges::btnDownloadClick()
{
    // The erase's wait lets events run; a download started then would take its reply.
    if (erasing)
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
    return true;
}

void TMeterExchanges::RequestSummary()
{
    announced = 0;
    dataComplete = true;
    importError.clear();
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
    int total = 0;
    for (std::size_t i = 1; i < link.ReplyLines.size(); ++i)
        if (total < 1000000000)
            total += summaryCount(link.ReplyLines[i]);
    announced = total;
    if (total < 1) {
        link.NoData = true;
        if (!link.BackingUp)
            ask(MsgKind::Information, exchange_text::NoData);
        link.CommState = csFinished;
        EndDownload();
        return;
    }
    StartDataStep(total);
}

void TMeterExchanges::StartDataStep(int total)
{
    const char* caption = link.BackingUp ? exchange_text::BackingUp : exchange_text::Downloading;
    try {
        link.StartExchange(link.TimGotDataRecords, "$4",
                           [&] { link.progress().SetUpProgress(total, 1, caption); });
    } catch (const KrError& e) {
        // Counts as an unanswered data step, so an erase waiting on it ends.
        link.NoData = false;
        link.CommState = csNoResponse;
        showErrorReport(fromCp1252(e.what()));
        EndDownload();
        return;
    }
    link.NoData = false;
    link.progress().ShowModal();
}

void TMeterExchanges::TimGotDataRecordsTimer()
{
    if (!link.BeginQuietTimer(link.TimGotDataRecords)) {
        link.CommState = csNoResponse;
        ask(MsgKind::Error, NoResponseMessage);
        EndDownload();
        return;
    }
    const std::vector<std::string> lines(link.ReplyLines.begin() + 1, link.ReplyLines.end());
    try {
        Target().ImportMeterLines(lines);
    } catch (const KrError& e) {
        // The readings before the bad line are kept and shown; an erase learns
        // from dataComplete that its backup would be short and says so itself.
        dataComplete = false;
        importError = e.what();
        link.CommState = csFinished;
        if (!link.BackingUp) {
            host.RefreshDocumentView();
            showErrorReport(fromCp1252(importError));
        }
        EndDownload();
        return;
    }
    if (!link.BackingUp)
        host.RefreshDocumentView();
    link.CommState = csFinished;
    EndDownload();
}

// ---- Erase with backup ------------------------------------------------------

void TMeterExchanges::btnClearKRMClick()
{
    if (erasing)
        return;
    try {
        EraseMeter();
    } catch (const std::exception&) {
        ask(MsgKind::Error, NoResponseMessage);
    }
}

MsgButton TMeterExchanges::EraseMeter()
{
    const MsgButton answer = ask(MsgKind::Warning, exchange_text::EraseQuestion, mbOK | mbCancel);
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
    // Showing the document again clears its modified mark; edits not yet
    // saved must still be asked about before they are lost.
    const bool hadChanges = host.Document().IsModified();
    auto finish = [&] {
        importTarget = nullptr;
        erasing = false;
        host.RefreshDocumentView();
        if (hadChanges)
            host.Document().SetModified();
    };
    try {
        RequestSummary();
        link.CommState = csWaiting;
        WaitUntil([this] { return link.CommState != csWaiting; });
        if (link.NoData) {
            eraseOutcome = TEraseOutcome::NoData;
            ask(MsgKind::Warning, exchange_text::NoDataToErase);
        } else {
            BackUpAndErase(*backup);
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

std::string TMeterExchanges::BackupShortfall(const TKRFile& backup) const
{
    if (!dataComplete)
        return "a reading sent by the KR could not be read (" + importError +
               "), so the backup would be incomplete.";
    if (lineLost)
        return "the connection to the KR was lost during the backup.";
    const int used = backup.CountUsed();
    if (used < announced)
        return "only " + std::to_string(used) + " of the " + std::to_string(announced) +
               " readings the KR announced arrived, so the backup would be incomplete.";
    return {};
}

void TMeterExchanges::BackUpAndErase(TKRFile& backup)
{
    TBackupSlots backups(BackupFolder());
    if (link.CommState != csFinished) {
        eraseOutcome = TEraseOutcome::NoResponse;
        if (!backups.AllInUse())
            ask(MsgKind::Plain, exchange_text::NoCsFinished + std::to_string(int(link.CommState)));
        return;
    }
    const std::string shortfall = BackupShortfall(backup);
    if (!shortfall.empty())
        return RefuseErase(TEraseOutcome::NotSafe, shortfall);
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
    link.SerialState = ssWaiting;
    // A port that cannot be opened shows up as a request without an answer.
    link.StartExchange(link.timGotSerialNo, "$5", {}, TMeterLink::SendFailure::Ignore);
}

void TMeterExchanges::timGotSerialNoTimer()
{
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
    link.PortNumber = number;
    try {
        link.Reopen(number);
    } catch (const KrError& e) {
        ask(MsgKind::Error, e.what());
        return false;
    }
    RequestSerialNo();
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
