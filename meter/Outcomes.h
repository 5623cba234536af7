#pragma once
#include <string>

#include "platform/Prompts.h"

namespace kr {

// Texts of the exchanges, Windows-1252 bytes.
namespace exchange_text {
inline constexpr const char* NoData = "There is no data to download.";
inline constexpr const char* Downloading = "Downloading Data from KR";
inline constexpr const char* BackingUp = "Backing up Data from KR before deleting";
inline constexpr const char* EraseQuestion = "This will delete all data from the KR.  Are you sure you want to continue";
inline constexpr const char* NoDataToErase = "No data to erase";
inline constexpr const char* SerialFailed = "Failed to get serial number";
inline constexpr const char* SerialFound = "Serial number of the KR: ";
inline constexpr const char* PortFound = "Found KR on Communications Port ";
inline constexpr const char* PortNotFound = "Failed to find KR on Communications Port ";
inline constexpr const char* PortNotFoundAdvice = "\r\nCheck connections and ensure KR is switched on.";
// A summary that counted nothing, and a data reply that neither showed an
// empty meter nor held readings.
inline constexpr const char* Unreadable =
    "the KR's replies could not be read, so it is not known whether it holds readings";
inline constexpr const char* UnreadableAdvice = "\r\nCheck the connections and try again.";
// After a download that is not everything the KR announced.
inline constexpr const char* RepeatDownload = "Load the data from the KR again to get them all.";
inline constexpr const char* DownloadCancelled = "The download was cancelled; nothing from it was kept.";
// Why an erase did not happen; the reason follows. After one that did, the
// backup's file name goes between the two parts of the report.
inline constexpr const char* NotErased = "The KR has not been erased: ";
inline constexpr const char* EraseCancelled = "it was cancelled before the erase command was sent.";
inline constexpr const char* ErasedInto = "The readings were saved to ";
inline constexpr const char* ErasedTail = ", and the KR was told to erase them.";
} // namespace exchange_text

// A clause as a sentence of its own.
std::string Sentence(std::string clause);

// How each exchange with the meter ended: one value per exchange, carrying
// what its caller needs to report it. An unanswered meter and an empty one
// are never the same value.

struct TDownloadOutcome {
    enum Kind {
        Received,    // every reading the KR announced arrived
        Partial,     // readings arrived, but not all of them or not all readable
        Empty,       // the KR answered and holds no readings
        NoAnswer,    // the KR did not answer, or its answer stopped short
        Unreadable,  // replies came that show neither an empty meter nor readings
        Declined,    // the user kept unsaved changes: nothing was sent
        Cancelled,   // stopped by the user: nothing was kept
        SendFailed,  // a command could not be sent: detail is the port's error
    };
    Kind kind = NoAnswer;
    int readings = 0;    // now in the document (Received, Partial)
    int announced = 0;   // counted by the KR's summary
    // Partial: whether every record line that came was read; false when a bad
    // line stopped the import.
    bool linesRead = true;
    // Partial: why, as a clause; SendFailed: the port's error.
    std::string detail;
};

struct TEraseOutcome {
    enum Kind {
        Erased,      // backup written and read back the same, erase command sent
        Empty,       // the KR answered and holds no readings: nothing to erase
        NoAnswer,    // the KR did not answer or its answer stopped short: not erased
        NotSafe,     // no complete backup could be made: not erased
        Declined,    // the user answered Cancel to the question: nothing sent
        Cancelled,   // stopped by the user before the erase command: not erased
        SendFailed,  // a command could not be sent: not erased
        Busy,        // another exchange was running: nothing sent
    };
    Kind kind = NoAnswer;
    std::string backupPath;   // Erased; SendFailed once the backup was written (native path)
    int readings = 0;         // in the backup
    std::string detail;       // NotSafe: the reason, as a clause; SendFailed: the port's error
};

struct TSerialOutcome {
    enum Kind { None, Pending, Found, NoAnswer, Busy };   // None: nothing asked yet
    Kind kind = None;
    std::string serial;   // Found: as the KR sent it, Windows-1252, without line ends
};

struct TPortTestOutcome {
    enum Kind { Found, NoAnswer, OpenFailed, Busy };
    Kind kind = NoAnswer;
    int port = 0;
    std::string detail;   // OpenFailed: the port's error
};

// The one message an outcome shows, the window's and kr-cli's alike: kind and
// Windows-1252 text; an empty text says nothing (an ending the user chose, or
// a success the caller reports in its own words).
struct TOutcomeMessage {
    MsgKind kind = MsgKind::Plain;
    std::string text;
    int helpTopic = 0;
};

TOutcomeMessage MessageFor(const TDownloadOutcome& outcome);
TOutcomeMessage MessageFor(const TEraseOutcome& outcome);
TOutcomeMessage MessageFor(const TPortTestOutcome& outcome);
TOutcomeMessage MessageFor(const TSerialOutcome& outcome);

// Shows the message through kr::prompts(), when there is one.
void Tell(const TOutcomeMessage& message);

} // namespace kr
