#include "meter/DownloadCheck.h"

#include <array>
#include <map>
#include <string_view>
#include <utility>

#include "core/Mtlutils.h"
#include "core/Readings.h"

namespace kr {

namespace {

// A fixed two-character field, shorter when the line is.
std::string_view field(const std::string& line, std::size_t first)
{
    return line.size() > first ? std::string_view(line).substr(first, 2) : std::string_view();
}

bool readNumber(const std::string& line, std::size_t first, int& value)
{
    return TryStrToInt(field(line, first), value);
}

bool isFileNumber(int n) { return n >= 1 && n <= TFile::FileCount; }

std::string counted(int n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

int SummaryCount(const std::string& line)
{
    int value = 0;
    return TryStrToInt(field(line, 3), value) ? value : 0;
}

TEmptyCheck CheckEmptyDataReply(const std::vector<std::string>& reply, bool cut, bool counted)
{
    for (std::size_t i = 1; i < reply.size(); ++i)
        if (reply[i].size() > 10)
            return TEmptyCheck::HoldsReadings;
    if (counted && !cut && reply.size() == 1 && reply.front().starts_with("$4"))
        return TEmptyCheck::Empty;
    return TEmptyCheck::Unreadable;
}

std::string DownloadShortfall(const TDownloadReplies& replies)
{
    if (replies.summaryCut)
        return "the KR's count of its readings stopped part-way through a line";
    if (replies.recordsCut)
        return "the KR's readings stopped part-way through a line";

    // The summary names its meter file in characters 1 and 2.
    std::array<int, TFile::FileCount + 1> announced{};
    std::array<bool, TFile::FileCount + 1> named{};
    int announcedTotal = 0;
    for (const std::string& line : replies.summary) {
        const int count = SummaryCount(line);
        if (count == 0)
            continue;
        int file = 0;
        if (!readNumber(line, 0, file) || !isFileNumber(file))
            return "the KR's count of its readings could not be read";
        if (named[std::size_t(file)] && announced[std::size_t(file)] != count)
            return "the KR counted meter file " + std::to_string(file) + " twice, differently";
        if (!named[std::size_t(file)])
            announcedTotal += count;
        named[std::size_t(file)] = true;
        announced[std::size_t(file)] = count;
    }

    // Every slot a record line fills, with the line that filled it.
    std::map<std::pair<int, int>, const std::string*> slots;
    std::array<int, TFile::FileCount + 1> arrived{};
    for (const std::string& line : replies.records) {
        if (line.size() <= 10)
            continue;
        int file = 0;
        int record = 0;
        if (!readNumber(line, 0, file) || !readNumber(line, 3, record) || !isFileNumber(file) || record < 1 ||
            record > TSubFile::RecordCount)
            return "a reading arrived that names no meter file and record";
        auto [at, added] = slots.emplace(std::pair(file, record), &line);
        if (!added) {
            if (*at->second != line)
                return "two different readings arrived for meter file " + std::to_string(file) + ", record " +
                       std::to_string(record);
            continue;
        }
        ++arrived[std::size_t(file)];
    }

    const int arrivedTotal = int(slots.size());
    if (arrivedTotal < announcedTotal)
        return "only " + std::to_string(arrivedTotal) + " of the " + counted(announcedTotal, "reading", "readings") +
               " the KR announced arrived";
    if (announcedTotal == 0 && arrivedTotal > 0)
        return counted(arrivedTotal, "reading", "readings") +
               " arrived, but the KR's count of its readings did not, so it is not known whether that is all of them";
    if (arrivedTotal > announcedTotal)
        return counted(arrivedTotal, "reading", "readings") + " arrived where the KR announced " +
               std::to_string(announcedTotal);
    for (int f = 1; f <= TFile::FileCount; ++f)
        if (arrived[std::size_t(f)] != announced[std::size_t(f)])
            return "the readings that arrived for meter file " + std::to_string(f) + " (" +
                   std::to_string(arrived[std::size_t(f)]) + ") differ from the KR's count (" +
                   std::to_string(announced[std::size_t(f)]) + ")";
    return {};
}

} // namespace kr
