#include "core/Statistics.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "core/Mtlutils.h"
#include "core/Readings.h"
#include "core/Regional.h"

namespace kr {

namespace {

// Moisture values with zeros and values no meter measures counted apart.
struct Collected {
    std::vector<long double> values;
    int zeros = 0;
    int leftOut = 0;

    void add(const TReading& reading)
    {
        if (reading.IsMoistureUnread()) {
            ++leftOut;
            return;
        }
        const long double moisture = reading.GetMoisture();
        switch (ClassifyMoisture(moisture)) {
        case MoistureKind::Reading: values.push_back(moisture); break;
        case MoistureKind::Zero: ++zeros; break;
        case MoistureKind::LeftOut: ++leftOut; break;
        }
    }
};

// The wood readings of a meter file; reference-scale ones are only counted.
void collect(const TFile& doc, int fileNo, Collected& wood, int& reference)
{
    for (int r = 1; r <= TSubFile::RecordCount; ++r) {
        const TReading& reading = doc.GetReading(fileNo, r);
        if (!reading.IsUsed())
            continue;
        if (IsReferenceReading(reading))
            ++reference;
        else
            wood.add(reading);
    }
}

MoistureStatistics figures(int number, const Collected& collected, const MoistureRange& range)
{
    const std::vector<long double>& values = collected.values;
    MoistureStatistics s;
    s.number = number;
    s.zeros = collected.zeros;
    s.leftOut = collected.leftOut;
    s.count = int(values.size());
    if (values.empty())
        return s;
    s.min = s.max = values.front();
    long double sum = 0;
    for (long double v : values) {
        sum += v;
        s.min = std::min(s.min, v);
        s.max = std::max(s.max, v);
        if (range.contains(v))
            ++s.inRange;
    }
    s.mean = sum / s.count;
    if (s.count > 1) {
        // Two passes: the squares of the deviations, not of the values, so
        // readings all alike give exactly 0.
        long double squares = 0;
        for (long double v : values)
            squares += (v - s.mean) * (v - s.mean);
        s.sd = std::sqrt(squares / (s.count - 1));
    }
    return s;
}

int leftOutIn(const TFile& doc, int fileNo)
{
    Collected all;
    for (int r = 1; r <= TSubFile::RecordCount; ++r)
        if (doc.GetReading(fileNo, r).IsUsed())
            all.add(doc.GetReading(fileNo, r));
    return all.leftOut;
}

} // namespace

bool IsReferenceReading(const TReading& reading) { return reading.GetSGApplies() == 0; }

MoistureKind ClassifyMoisture(long double moisture)
{
    if (moisture == 0)
        return MoistureKind::Zero;
    // Written so that a NaN, which compares false with everything, is left out.
    if (moisture > 0 && moisture <= 100)
        return MoistureKind::Reading;
    return MoistureKind::LeftOut;
}

MoistureStatistics FileStatistics(const TFile& doc, int fileNo, const MoistureRange& range)
{
    Collected wood;
    int reference = 0;
    if (fileNo == 0) {
        for (int f = 1; f <= TFile::FileCount; ++f)
            collect(doc, f, wood, reference);
    } else {
        collect(doc, fileNo, wood, reference);
    }
    MoistureStatistics s = figures(fileNo, wood, range);
    s.reference = reference;
    return s;
}

std::vector<ReferenceStatistics> ReferenceTable(const TFile& doc)
{
    struct Scale {
        Collected readings;
        std::vector<int> files;
    };
    std::map<std::string, Scale> scales;
    for (int f = 1; f <= TFile::FileCount; ++f) {
        for (int r = 1; r <= TSubFile::RecordCount; ++r) {
            const TReading& reading = doc.GetReading(f, r);
            if (!reading.IsUsed() || !IsReferenceReading(reading))
                continue;
            Scale& scale = scales[reading.GetSpecies()];
            scale.readings.add(reading);
            if (scale.files.empty() || scale.files.back() != f)
                scale.files.push_back(f);
        }
    }
    std::vector<ReferenceStatistics> table;
    for (auto& [species, scale] : scales) {
        const MoistureStatistics s = figures(0, scale.readings, MoistureRange{});
        table.push_back({species, s.count, s.zeros, s.leftOut, s.mean, s.min, s.max, std::move(scale.files)});
    }
    return table;
}

std::string ReferenceFilesText(const ReferenceStatistics& s)
{
    std::string text = s.files.size() == 1 ? "meter file " : "meter files ";
    for (std::size_t i = 0; i < s.files.size(); ++i)
        text += (i == 0 ? "" : ", ") + std::to_string(s.files[i]);
    return text;
}

std::string LeftOutSentence(const TFile& doc)
{
    int total = 0;
    std::string files;
    int fileCount = 0;
    for (int f = 1; f <= TFile::FileCount; ++f) {
        const int n = leftOutIn(doc, f);
        if (n == 0)
            continue;
        total += n;
        files += (fileCount++ == 0 ? "" : ", ") + std::to_string(f);
    }
    if (total == 0)
        return {};
    return std::to_string(total) + (total == 1 ? " reading" : " readings")
        + " left out: moisture not a number from 0 to 100 (meter file" + (fileCount == 1 ? " " : "s ") + files + ").";
}

std::vector<MoistureStatistics> StatisticsTable(const TFile& doc, const MoistureRange& range)
{
    std::vector<MoistureStatistics> table;
    for (int f = 1; f <= TFile::FileCount; ++f) {
        MoistureStatistics s = FileStatistics(doc, f, range);
        if (s.holdsReadings())
            table.push_back(s);
    }
    table.push_back(FileStatistics(doc, 0, range));
    return table;
}

bool MoistureComparison::withinLimit() const { return comparable() && std::fabs(difference) <= limit; }

MoistureComparison CompareFiles(const TFile& doc, int firstFile, int secondFile, long double limit)
{
    MoistureComparison c;
    c.first = FileStatistics(doc, firstFile, MoistureRange{});
    c.second = FileStatistics(doc, secondFile, MoistureRange{});
    c.limit = limit;
    if (c.comparable())
        c.difference = c.first.mean - c.second.mean;
    return c;
}

std::string ComparisonVerdict(const MoistureComparison& c)
{
    for (const MoistureStatistics* s : {&c.first, &c.second})
        if (!s->hasFigures())
            return "Meter file " + std::to_string(s->number)
                + (s->reference > 0 ? " holds no wood readings above 0 % (only reference-scale ones): nothing to compare."
                                    : " holds no readings above 0 %: nothing to compare.");
    std::string text = "Difference ";
    text += MoistureFigureText(std::fabs(c.difference));
    text += c.withinLimit() ? " points: within the limit of " : " points: more than the limit of ";
    text += MoistureFigureText(c.limit);
    text += '.';
    return text;
}

std::vector<ReadingPoint> ReadingPoints(const TFile& doc, int fileNo, const MoistureRange& range)
{
    std::vector<ReadingPoint> points;
    for (int r = 1; r <= TSubFile::RecordCount; ++r) {
        const TReading& reading = doc.GetReading(fileNo, r);
        const long double moisture = reading.GetMoisture();
        if (reading.IsUsed() && !IsReferenceReading(reading) && !reading.IsMoistureUnread()
            && ClassifyMoisture(moisture) == MoistureKind::Reading)
            points.push_back({r, moisture, range.contains(moisture)});
    }
    return points;
}

std::string MoistureFigureText(long double value) { return FormatFixed4(value, 1, regional().decimalSeparator); }

std::string SdText(const MoistureStatistics& s)
{
    return s.hasSd() ? FormatFixed4(s.sd, 2, regional().decimalSeparator) : std::string();
}

std::string InRangePercentText(const MoistureStatistics& s)
{
    return s.hasFigures() ? std::to_string(std::lround(s.inRangeShare() * 100)) : std::string();
}

namespace {

// A line's name, count, zeros, mean, min and max, tab-separated.
template <typename Line>
std::string figuresTabText(const std::string& name, const Line& s)
{
    std::string text = name + '\t' + std::to_string(s.count) + '\t' + std::to_string(s.zeros);
    for (long double v : {s.mean, s.min, s.max}) {
        text += '\t';
        if (s.hasFigures())
            text += MoistureFigureText(v);
    }
    return text;
}

} // namespace

std::string StatisticsTabText(const std::vector<MoistureStatistics>& table, const MoistureRange& range,
                              const std::vector<ReferenceStatistics>& reference)
{
    std::string text = "Readings at a glance\r\n";
    text += "Target range\t";
    text += MoistureFigureText(range.low);
    text += '\t';
    text += MoistureFigureText(range.high);
    text += "\r\nFile\tReadings\tZeros\tMean\tMin\tMax\tSD\tIn range %\r\n";
    for (const MoistureStatistics& s : table) {
        text += figuresTabText(s.number == 0 ? std::string("All") : std::to_string(s.number), s);
        text += '\t';
        text += SdText(s);
        text += '\t';
        text += InRangePercentText(s);
        text += "\r\n";
    }
    if (!reference.empty())
        text += "Reference scales\r\n";
    for (const ReferenceStatistics& s : reference) {
        text += figuresTabText(s.species, s);
        text += "\r\n";
    }
    return text;
}

} // namespace kr
