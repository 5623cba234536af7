#include "tools/cli/StatsCommand.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "core/Cp1252.h"
#include "core/Readings.h"
#include "platform/DocumentExport.h"
#include "settings/GlanceSettings.h"
#include "tools/cli/CliArgs.h"

namespace kr::cli {

namespace {

QJsonObject jsonLine(const MoistureStatistics& s)
{
    QJsonObject o;
    if (s.number != 0)
        o.insert("number", s.number);
    o.insert("count", s.count);
    o.insert("zeros", s.zeros);
    o.insert("leftOut", s.leftOut);
    o.insert("mean", s.hasFigures() ? jsonNumber(s.mean, 2) : QJsonValue());
    o.insert("min", s.hasFigures() ? jsonNumber(s.min, 2) : QJsonValue());
    o.insert("max", s.hasFigures() ? jsonNumber(s.max, 2) : QJsonValue());
    o.insert("sd", s.hasSd() ? jsonNumber(s.sd, 2) : QJsonValue());
    o.insert("inRange", s.hasFigures() ? jsonNumber(s.inRangeShare(), 4) : QJsonValue());
    return o;
}

QJsonObject jsonLine(const ReferenceStatistics& s)
{
    QJsonObject o;
    o.insert("species", QString::fromStdString(cp1252ToUtf8(s.species)));
    o.insert("count", s.count);
    o.insert("mean", s.hasFigures() ? jsonNumber(s.mean, 2) : QJsonValue());
    o.insert("min", s.hasFigures() ? jsonNumber(s.min, 2) : QJsonValue());
    o.insert("max", s.hasFigures() ? jsonNumber(s.max, 2) : QJsonValue());
    return o;
}

std::string padLeft(const std::string& text, std::size_t width)
{
    return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

// Padded in Windows-1252 bytes, before the line turns into UTF-8, so that a
// scale name with accented letters keeps its columns.
std::string referenceTable(const std::vector<ReferenceStatistics>& reference)
{
    std::string out = "\nReference scales (readings without an SG; in no line above)\n"
                      "Scale             Readings  Zeros   Mean    Min    Max\n";
    for (const ReferenceStatistics& s : reference) {
        std::string line = s.species;
        line.resize(std::max<std::size_t>(line.size(), 16), ' ');
        line += padLeft(std::to_string(s.count), 10);
        line += padLeft(std::to_string(s.zeros), 7);
        for (long double v : {s.mean, s.min, s.max})
            line += padLeft(s.hasFigures() ? MoistureFigureText(v) : std::string("-"), 7);
        line += "  ";
        line += ReferenceFilesText(s);
        out += cp1252ToUtf8(line) + '\n';
    }
    return out;
}

} // namespace

std::vector<MoistureStatistics> statsLines(const TFile& doc, int fileNumber, const MoistureRange& range)
{
    if (fileNumber == 0)
        return StatisticsTable(doc, range);
    return {FileStatistics(doc, fileNumber, range), FileStatistics(doc, 0, range)};
}

std::string statsTable(const std::vector<MoistureStatistics>& lines, const MoistureRange& range,
                       const std::string& leftOut, const std::vector<ReferenceStatistics>& reference)
{
    std::string out = "Target range  ";
    out += MoistureFigureText(range.low);
    out += " - ";
    out += MoistureFigureText(range.high);
    out += " % moisture content\n\n";
    out += "File  Readings  Zeros   Mean    Min    Max     SD  In range\n";
    for (const MoistureStatistics& s : lines) {
        out += padLeft(s.number == 0 ? std::string("All") : std::to_string(s.number), 4);
        out += padLeft(std::to_string(s.count), 10);
        out += padLeft(std::to_string(s.zeros), 7);
        for (long double v : {s.mean, s.min, s.max})
            out += padLeft(s.hasFigures() ? MoistureFigureText(v) : std::string("-"), 7);
        out += padLeft(s.hasSd() ? SdText(s) : std::string("-"), 7);
        out += padLeft(s.hasFigures() ? InRangePercentText(s) + " %" : std::string("-"), 10);
        out += '\n';
    }
    if (!leftOut.empty())
        out += leftOut + '\n';
    if (!reference.empty())
        out += referenceTable(reference);
    out += "\nMoisture in %. Readings of 0 % (nothing measured) are counted as zeros and left\n"
           "out of the figures. SD is the sample standard deviation (n - 1).\n";
    return out;
}

QByteArray statsJson(const std::vector<MoistureStatistics>& lines, const MoistureRange& range,
                     const std::vector<ReferenceStatistics>& reference)
{
    QJsonObject root;
    root.insert("range", QJsonArray{jsonNumber(range.low, 2), jsonNumber(range.high, 2)});
    QJsonArray files;
    for (const MoistureStatistics& s : lines)
        if (s.number != 0)
            files.append(jsonLine(s));
    root.insert("files", files);
    root.insert("all", jsonLine(lines.back()));
    QJsonArray scales;
    for (const ReferenceStatistics& s : reference)
        scales.append(jsonLine(s));
    root.insert("reference", scales);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::string statsText(const TFile& doc, const Invocation& inv)
{
    const MoistureRange range = inv.range.value_or(ReadGlanceSettings().range);
    const std::vector<MoistureStatistics> lines = statsLines(doc, inv.fileNumber, range);
    const std::vector<ReferenceStatistics> reference = ReferenceTable(doc);
    return inv.json ? statsJson(lines, range, reference).toStdString()
                    : statsTable(lines, range, LeftOutSentence(doc), reference);
}

} // namespace kr::cli
