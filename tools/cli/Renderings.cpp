#include "tools/cli/Renderings.h"

#include <QString>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/Cp1252.h"
#include "core/Readings.h"

namespace kr::cli {

namespace {

constexpr int FileCount = TFile::FileCount;
constexpr int RecordCount = TSubFile::RecordCount;

// The meter pads species to 13 characters; tools want the name alone.
std::string withoutTrailingSpaces(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

std::string twoDigits(int n)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02d", n);
    return buffer;
}

bool fileHoldsReadings(const TFile& doc, int fileNo)
{
    for (int r = 1; r <= RecordCount; ++r)
        if (doc.GetReading(fileNo, r).IsUsed())
            return true;
    return false;
}

// ---- show ------------------------------------------------------------------------

// Control characters would upset the terminal; the table shows them as '?'.
std::string printable(const std::string& cp1252)
{
    std::string out = cp1252;
    for (char& c : out) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D)
            c = '?';
    }
    return out;
}

// Columns are measured in Windows-1252 characters, one byte each, before the
// whole table turns into UTF-8.
class Table {
public:
    explicit Table(std::vector<std::string> header, std::vector<bool> rightAligned)
        : rightAligned(std::move(rightAligned))
    {
        rows.push_back(std::move(header));
    }
    void add(std::vector<std::string> row) { rows.push_back(std::move(row)); }

    std::string text() const
    {
        std::vector<std::size_t> width(rows.front().size(), 0);
        for (const auto& row : rows)
            for (std::size_t c = 0; c < row.size(); ++c)
                width[c] = std::max(width[c], row[c].size());
        std::string out;
        for (const auto& row : rows) {
            std::string line;
            for (std::size_t c = 0; c < row.size(); ++c) {
                const std::string pad(width[c] - row[c].size(), ' ');
                if (c > 0)
                    line += "  ";
                line += rightAligned[c] ? pad + row[c] : row[c] + pad;
            }
            out += withoutTrailingSpaces(line) + '\n';
        }
        return out;
    }

private:
    std::vector<bool> rightAligned;
    std::vector<std::vector<std::string>> rows;
};

std::string showMeterFile(const TFile& doc, int fileNo, bool centigrade)
{
    std::string out = "File " + twoDigits(fileNo);
    if (!doc.GetComment(fileNo).empty())
        out += "  " + printable(doc.GetComment(fileNo));
    out += '\n';
    if (!fileHoldsReadings(doc, fileNo))
        return out + "No readings.\n";
    Table table({"Record", "Date/Time", std::string("\xB0") + (centigrade ? "C" : "F"), "Species", "SG",
                 "Moisture", "Note"},
                {true, false, true, false, true, true, false});
    for (int r = 1; r <= RecordCount; ++r) {
        const TReading& reading = doc.GetReading(fileNo, r);
        if (!reading.IsUsed())
            continue;
        table.add({twoDigits(r), reading.GetDateTimeText(), reading.GetTemperatureText(centigrade),
                   printable(withoutTrailingSpaces(reading.GetSpecies())), reading.GetSGText(),
                   reading.GetMoistureText(), printable(reading.GetNote())});
    }
    return out + table.text();
}


} // namespace

std::string showText(const TFile& doc, int fileNumber, bool centigrade)
{
    // The file name is a native path already, not Windows-1252.
    const std::string head = "Data file   " + doc.GetFileName() + '\n';
    std::string out = "Date stamp  " + DateTimeToSystemText(doc.GetDateStamp()) + '\n';
    if (fileNumber != 0)
        return head + cp1252ToUtf8(out + '\n' + showMeterFile(doc, fileNumber, centigrade));
    bool any = false;
    for (int n = 1; n <= FileCount; ++n) {
        if (!fileHoldsReadings(doc, n))
            continue;
        any = true;
        out += '\n' + showMeterFile(doc, n, centigrade);
    }
    if (!any)
        out += "\nNo meter file holds readings.\n";
    if (!doc.GetNotes().empty()) {
        out += "\nNotes\n";
        for (const auto& line : doc.GetNotes())
            out += "  " + printable(line) + '\n';
    }
    return head + cp1252ToUtf8(out);
}


} // namespace kr::cli
