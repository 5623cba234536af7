#pragma once
#include <string>
#include <vector>

namespace kr {

// The two replies of a download, echo lines removed, as the link collected them.
struct TDownloadReplies {
    std::vector<std::string> summary;   // "$3": one count per meter file
    std::vector<std::string> records;   // "$4": one record line per reading
    bool summaryCut = false;            // the summary stopped part-way through a line
    bool recordsCut = false;            // the records stopped part-way through a line
};

// Characters 4 and 5 of a summary line as a count; text that is not a number
// counts nothing.
int SummaryCount(const std::string& line);

// What the data reply ("$4", echo line included) says of a meter whose
// summary announced nothing. Only a reply that is its own echo and nothing
// more shows an empty meter: a summary that lost its count lines to a pause
// looks just like an empty one, and late lines of it may land here. And only
// after a summary that counted (`counted`: it had count lines, all naught):
// a pause after both echoes leaves two bare echoes from a meter full of
// readings, and an upload would erase it on "empty" without a backup.
enum class TEmptyCheck { Empty, HoldsReadings, Unreadable };
TEmptyCheck CheckEmptyDataReply(const std::vector<std::string>& reply, bool cut, bool counted);

// Why the record lines are not exactly what the summary announced, meter file
// by meter file, as a clause for the user ("only 5 of the 10 readings the KR
// announced arrived"); empty when they are. A line repeated byte for byte
// loses nothing and counts once; two different lines for the same file and
// record, a line that names no slot, or a reply that stopped part-way through
// a line all make the download incomplete. Windows-1252.
std::string DownloadShortfall(const TDownloadReplies& replies);

} // namespace kr
