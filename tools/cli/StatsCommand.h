#pragma once
#include <QByteArray>
#include <string>

#include "core/Statistics.h"

namespace kr {
class TFile;
}

namespace kr::cli {

struct Invocation;

// The lines of `stats`: each meter file that holds wood readings (fileNumber
// 0) or the one asked for, then the whole document's wood readings.
std::vector<MoistureStatistics> statsLines(const TFile& doc, int fileNumber, const MoistureRange& range);

// A readable table of the lines (UTF-8), regional decimals as `show` has them,
// with the sentence of LeftOutSentence() below it when there is one, then a
// table of the reference scales when there are any.
std::string statsTable(const std::vector<MoistureStatistics>& lines, const MoistureRange& range,
                       const std::string& leftOut, const std::vector<ReferenceStatistics>& reference);

// {"range": [low, high], "files": [...], "all": {...}, "reference": [...]}:
// "." decimals, inRange a share 0..1, null for a figure that does not exist;
// leftOut counts the readings whose moisture is not a number from 0 to 100.
QByteArray statsJson(const std::vector<MoistureStatistics>& lines, const MoistureRange& range,
                     const std::vector<ReferenceStatistics>& reference);

// What `stats` prints for the document: the table, or the JSON with --json.
// The range is --range's, else kr.ini's, else the default.
std::string statsText(const TFile& doc, const Invocation& inv);

} // namespace kr::cli
