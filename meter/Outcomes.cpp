#include "meter/Outcomes.h"

#include <QDir>

#include "meter/MeterLink.h"
#include "platform/Text.h"

namespace kr {

std::string Sentence(std::string clause)
{
    if (!clause.empty() && clause.front() >= 'a' && clause.front() <= 'z')
        clause.front() = char(clause.front() - 'a' + 'A');
    return clause + ".";
}

namespace {

TOutcomeMessage noAnswer() { return {MsgKind::Error, NoResponseMessage}; }

TOutcomeMessage notErased(const std::string& reason) { return {MsgKind::Error, exchange_text::NotErased + reason}; }

// A backup's full path, as the user's system writes paths.
std::string shownPath(const std::string& path) { return toCp1252(QDir::toNativeSeparators(fromNativePath(path))); }

} // namespace

TOutcomeMessage MessageFor(const TDownloadOutcome& o)
{
    using K = TDownloadOutcome;
    switch (o.kind) {
    case K::Received:
    case K::Declined: return {};
    case K::Partial:
        return {o.linesRead ? MsgKind::Warning : MsgKind::Error,
                Sentence(o.detail) + "\r\n" + exchange_text::RepeatDownload};
    case K::Empty: return {MsgKind::Information, exchange_text::NoData};
    case K::NoAnswer: return noAnswer();
    case K::Unreadable:
        return {MsgKind::Error, Sentence(exchange_text::Unreadable) + exchange_text::UnreadableAdvice};
    case K::Cancelled: return {MsgKind::Information, exchange_text::DownloadCancelled};
    case K::SendFailed: return {MsgKind::Error, o.detail};
    }
    return {};
}

TOutcomeMessage MessageFor(const TEraseOutcome& o)
{
    using K = TEraseOutcome;
    switch (o.kind) {
    case K::Erased:
        return {MsgKind::Information, exchange_text::ErasedInto + shownPath(o.backupPath) + exchange_text::ErasedTail};
    case K::Empty: return {MsgKind::Warning, exchange_text::NoDataToErase};
    case K::NoAnswer: return noAnswer();
    case K::NotSafe: return notErased(o.detail);
    case K::Declined:
    case K::Busy: return {};
    case K::Cancelled: return {MsgKind::Information, exchange_text::NotErased + std::string(exchange_text::EraseCancelled)};
    case K::SendFailed:
        if (o.backupPath.empty())
            return notErased("the KR could not be reached.\r\n" + o.detail);
        return notErased("the erase command could not be sent (" + o.detail + "). The backup is in " + shownPath(o.backupPath) + ".");
    }
    return {};
}

TOutcomeMessage MessageFor(const TPortTestOutcome& o)
{
    using K = TPortTestOutcome;
    const std::string port = std::to_string(o.port);
    switch (o.kind) {
    case K::Found: return {MsgKind::Information, exchange_text::PortFound + port};
    case K::NoAnswer:
        return {MsgKind::Error, exchange_text::PortNotFound + port + exchange_text::PortNotFoundAdvice};
    case K::OpenFailed: return {MsgKind::Error, o.detail};
    case K::Busy: return {};
    }
    return {};
}

TOutcomeMessage MessageFor(const TSerialOutcome& o)
{
    switch (o.kind) {
    case TSerialOutcome::Found: return {MsgKind::Information, exchange_text::SerialFound + o.serial};
    case TSerialOutcome::NoAnswer:
        return {MsgKind::Error, std::string(exchange_text::SerialFailed) + exchange_text::PortNotFoundAdvice};
    case TSerialOutcome::None:
    case TSerialOutcome::Pending:
    case TSerialOutcome::Busy: return {};
    }
    return {};
}

void Tell(const TOutcomeMessage& message)
{
    if (!message.text.empty())
        showMessage(message.kind, fromCp1252(message.text), message.helpTopic ? mbOK | mbHelp : mbOK,
                    message.helpTopic);
}

} // namespace kr
