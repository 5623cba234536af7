#pragma once
#include <string>
#include <vector>

namespace kr {

class TFile;
class TReading;

// The moisture range a room or a delivery of boards must be in, in % moisture
// content, both ends included.
struct MoistureRange {
    long double low = 6;
    long double high = 9;

    bool contains(long double moisture) const { return moisture >= low && moisture <= high; }
    bool operator==(const MoistureRange&) const = default;
};

// How far apart the means of two meter files (subfloor and flooring, say) may
// lie, in points of moisture content.
inline constexpr long double DefaultComparisonLimit = 4;

// What a stored moisture is to the statistics: a reading above 0 and up to
// 100 %, a zero (the meter stores 0 when it measured nothing), or something
// no meter measures (negative, above 100, not a finite number), which a data
// file may still carry and which is left out and counted apart.
enum class MoistureKind { Reading, Zero, LeftOut };
MoistureKind ClassifyMoisture(long double moisture);

// A reading without an SG was taken on one of the meter's reference scales
// (drywall, plaster, brick): its figure is no moisture content of wood, so it
// stays out of every wood figure and is summed up per scale instead.
bool IsReferenceReading(const TReading& reading);

// The figures of a set of wood readings. Zeros and left-out values are counted
// in `zeros` and `leftOut` and are in no other figure; reference-scale
// readings only in `reference`. Slots not in use are no readings at all.
struct MoistureStatistics {
    int number = 0;      // the meter file, 1..25; 0 for the whole document
    int count = 0;       // readings with a moisture above 0 and up to 100
    int zeros = 0;
    int leftOut = 0;     // moisture not a number from 0 to 100
    int inRange = 0;     // of `count`, those inside the target range
    int reference = 0;   // readings on a reference scale, in no other figure
    long double mean = 0;
    long double min = 0;
    long double max = 0;
    // The sample standard deviation (n - 1): the readings are a sample of the
    // wood, as a spreadsheet's STDEV takes them. Needs two readings.
    long double sd = 0;

    bool hasFigures() const { return count > 0; }
    bool hasSd() const { return count > 1; }
    // The share of `count` inside the range, 0..1; 0 without readings.
    long double inRangeShare() const { return count > 0 ? static_cast<long double>(inRange) / count : 0; }
    // Whether the meter file holds any wood reading, zeros and left-out ones included.
    bool holdsReadings() const { return count + zeros + leftOut > 0; }
};

// One meter file (1..25) or, with fileNo 0, every reading of the document.
MoistureStatistics FileStatistics(const TFile& doc, int fileNo, const MoistureRange& range);

// Each meter file that holds readings (zeros count), in number order, then
// the whole document (number 0), which is always there.
std::vector<MoistureStatistics> StatisticsTable(const TFile& doc, const MoistureRange& range);

// The readings of one reference scale, all meter files together: figures as
// MoistureStatistics has them, but no target range and no SD, as the scale is
// not wood moisture.
struct ReferenceStatistics {
    std::string species; // the scale's name as stored, Windows-1252
    int count = 0;       // readings with a value above 0 and up to 100
    int zeros = 0;
    int leftOut = 0;
    long double mean = 0;
    long double min = 0;
    long double max = 0;
    std::vector<int> files; // the meter files holding them, in order

    bool hasFigures() const { return count > 0; }
};

// One line per reference scale the document holds readings of, by name;
// empty when it holds none.
std::vector<ReferenceStatistics> ReferenceTable(const TFile& doc);

// "meter file 3" or "meter files 3, 7": where a scale's readings are.
std::string ReferenceFilesText(const ReferenceStatistics& s);

// Two meter files side by side. `difference` is the first mean less the
// second; it means something only when both files have readings.
struct MoistureComparison {
    MoistureStatistics first;
    MoistureStatistics second;
    long double limit = DefaultComparisonLimit;
    long double difference = 0;

    bool comparable() const { return first.hasFigures() && second.hasFigures(); }
    // |difference| <= limit, both files having readings.
    bool withinLimit() const;
};

MoistureComparison CompareFiles(const TFile& doc, int firstFile, int secondFile, long double limit);

// The comparison in a sentence: "Difference 3.5 points: within the limit of
// 4.0." or "... more than the limit of 4.0.", or which file has no wood
// readings to compare. Regional decimals.
std::string ComparisonVerdict(const MoistureComparison& comparison);

// "3 readings left out: moisture not a number from 0 to 100 (meter files 1,
// 4)." for the whole document, reference scales included; empty when none is.
std::string LeftOutSentence(const TFile& doc);

// One reading of a meter file as a chart shows it: its slot number, its
// moisture and whether that lies inside the target range. Zeros, left-out
// values and reference-scale readings are not shown, as they are in none of
// the figures.
struct ReadingPoint {
    int record = 0;
    long double moisture = 0;
    bool inRange = false;
};
std::vector<ReadingPoint> ReadingPoints(const TFile& doc, int fileNo, const MoistureRange& range);

// The table as tab-separated text the way the clipboard export is: a title
// line, the range, a heading row and one row per line of the table, then,
// when there are any, a "Reference scales" row and one row per scale (name,
// readings, zeros, mean, min, max); each line ending in CR LF. Moisture with
// the regional decimal separator; figures that do not exist (no readings,
// one reading's SD) are empty.
std::string StatisticsTabText(const std::vector<MoistureStatistics>& table, const MoistureRange& range,
                              const std::vector<ReferenceStatistics>& reference = {});

// The texts the table, the window and kr-cli share: "12.3" moisture (one
// decimal), "0.85" SD (two), "67" percent of readings in range; the
// regional separator. Empty for a figure that does not exist.
std::string MoistureFigureText(long double value);
std::string SdText(const MoistureStatistics& s);
std::string InRangePercentText(const MoistureStatistics& s);

} // namespace kr
