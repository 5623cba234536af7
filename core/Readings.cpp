#include "core/Readings.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "core/AtomicFile.h"
#include "core/Cp1252.h"
#include "core/Errors.h"
#include "core/Regional.h"
#include "core/TextLines.h"

namespace kr {

namespace {

// A data file is about 125 KB; anything far beyond that is not one of ours.
constexpr std::size_t MaxDataFileBytes = 64u << 20;
constexpr std::size_t FileLineCount = 1 + TFile::FileCount * (1 + TSubFile::RecordCount);

std::string cut(const std::string& text, std::size_t capacity)
{
    return text.size() > capacity ? text.substr(0, capacity) : text;
}

// 1-based column range, clipped to the text; past its end it is empty.
std::string columns(const std::string& text, std::size_t first, std::size_t count)
{
    return first - 1 < text.size() ? text.substr(first - 1, count) : std::string();
}

void appendField(std::string& out, const std::string& text, std::size_t width)
{
    if (text.size() >= width) {
        out.append(text, 0, width);
    } else {
        out += text;
        out.append(width - text.size(), ' ');
    }
}

void appendTwoDigits(std::string& out, int value)
{
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

bool hasLineBreak(std::string_view text)
{
    return std::memchr(text.data(), '\r', text.size()) || std::memchr(text.data(), '\n', text.size());
}

// A line break inside a comment or record would shift every later line of
// the fixed layout, so such characters are written as spaces.
void appendSingleLine(std::string& out, std::string_view text)
{
    const std::size_t start = out.size();
    out += text;
    if (!hasLineBreak(text))
        return;
    for (std::size_t i = start; i < out.size(); ++i)
        if (out[i] == '\r' || out[i] == '\n')
            out[i] = ' ';
}

// Hands out the file's lines one at a time, as views into its bytes.
class LineCursor {
public:
    explicit LineCursor(std::string_view bytes) : bytes(bytes) {}

    bool atEnd() const { return pos >= bytes.size(); }

    std::string_view take()
    {
        ++taken;
        return nextLine(bytes, pos).text;
    }

    // The 0-based index of the line it takes is the one a missing line reports.
    std::string_view takeRequired()
    {
        if (atEnd())
            throw ListIndexError("List index out of bounds (" + std::to_string(taken) + ")");
        return take();
    }

private:
    std::string_view bytes;
    std::size_t pos = 0;
    std::size_t taken = 0;
};

// Every notes line costs the document a string of its own, so a file of
// nearly nothing but line ends would take many times its size in memory.
// Text a person wrote has far fewer lines than one per 16 bytes; below a
// million lines (some 40 MB at most) any file is read, so notes the program
// saved, however many empty lines they hold, always open again.
std::size_t maxLineCount(std::size_t fileBytes)
{
    return FileLineCount + std::max<std::size_t>(std::size_t(1) << 20, fileBytes / 16);
}

// The text after the 5-character line prefix, at most 255 characters.
std::string afterPrefix(std::string_view line)
{
    return line.size() > 5 ? std::string(line.substr(5, 255)) : std::string();
}

int monthFromName(const std::string& name)
{
    static const char* const names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int m = 0; m < 12; ++m)
        if (name == names[m])
            return m + 1;
    return 0;
}

std::string fileMessage(const char* prefix, const std::string& fileName)
{
    return prefix + utf8ToCp1252(fileName);
}

} // namespace

// ---- TReading ---------------------------------------------------------------

TReading::TReading() : DateTime(Now()) {}

void TReading::Clear() { Clear(Now()); }

void TReading::Clear(TDateTime now)
{
    Species.clear();
    Moisture = 0;
    MoistureUnread = false;
    Note.clear();
    Temperature = 0;
    DateTime = now;
}

bool TReading::IsUsed() const { return !Species.empty(); }

bool TKRReading::BlankSpeciesInUse() const
{
    const std::size_t shown = std::min<std::size_t>(Species.size(), 16);
    return IsUsed() && Species.find_first_not_of(' ') >= shown;
}

void TReading::SetSpecies(const std::string& text) { Species = cut(text, SpeciesCapacity); }

long double TReading::GetMoisture() const { return RoundToReal48(Moisture); }

std::string TReading::GetMoistureText() const
{
    return IsUsed() ? FormatFixed4(Moisture, 1, regional().decimalSeparator) : std::string();
}

void TReading::SetNote(const std::string& text) { Note = cut(text, NoteCapacity); }

std::string TReading::GetDateTimeText() const
{
    return IsUsed() ? DateTimeToSystemText(DateTime) : std::string();
}

std::string TReading::GetTemperatureText(bool centigrade) const
{
    if (!IsUsed())
        return {};
    if (centigrade)
        return std::to_string(Temperature);
    return std::to_string(std::llround(static_cast<long double>(Temperature) * 1.8L + 32));
}

std::string TReading::GetSGText() const
{
    return IsUsed() && SGApplies == 1 ? FormatFixed4(SG, 2, regional().decimalSeparator) : std::string();
}

// ---- TKRReading ---------------------------------------------------------------

std::string TKRReading::GetRecordText() const
{
    std::string out;
    out.reserve(RecordTextLength);
    appendField(out, Species, 16);
    out += SGApplies == 1 ? '1' : '0';
    appendField(out, DateTimeToFileText(DateTime), 19);
    out += BlankSpeciesInUse() ? InUseMark : ' ';
    appendField(out, GetSGText(), 8);
    appendField(out, FormatFixed4(Moisture, 2, regional().decimalSeparator), 8);
    appendField(out, std::to_string(Temperature), 4);
    appendField(out, Note, 128);
    return out;
}

std::string TKRReading::GetTabText(bool centigrade) const
{
    std::string out = DateTimeToSystemText(DateTime);
    out += '\t';
    out += GetTemperatureText(centigrade);
    out += '\t';
    out += Species;
    out += '\t';
    out += GetSGText();
    out += '\t';
    out += GetMoistureText();
    out += '\t';
    out += Note;
    return out;
}

// Each field after the species is taken on its own: one that does not
// convert keeps its previous value and the others still load.
void TKRReading::SetRecordText(const std::string& text)
{
    const char sep = regional().decimalSeparator;
    const std::string_view all(text);
    auto field = [&](std::size_t first, std::size_t count) {
        return first - 1 < all.size() ? all.substr(first - 1, count) : std::string_view();
    };
    std::string species = TrimTrailingSpaces(std::string(field(1, 16)));
    if (species.empty() && field(37, 1) == std::string_view(&InUseMark, 1))
        species = std::string(field(1, 16));
    SetSpecies(species);
    SGApplies = field(17, 1) == "1" ? 1 : 0;
    try {
        SetDateTime(FileTextToDateTime(std::string(field(18, 20))));
    } catch (const ConvertError&) {
    }
    long double number = 0;
    if (TryStrToFloat(TrimView(field(38, 8)), sep, number))
        SetSG(number);
    if (TryStrToFloat(TrimView(field(46, 8)), sep, number))
        SetMoisture(number);
    else
        MoistureUnread = true;
    int temperature = 0;
    if (TryStrToInt(TrimView(field(54, 4)), temperature))
        SetTemperature(temperature);
    SetNote(std::string(TrimView(field(58, 128))));
}

// ---- TSubFile -------------------------------------------------------------------

void TSubFile::Clear() { Clear(Now()); }

void TSubFile::Clear(TDateTime now)
{
    Comment.clear();
    for (auto& reading : readings)
        if (reading)
            reading->Clear(now);
}

void TSubFile::SetComment(const std::string& text) { Comment = cut(text, CommentCapacity); }

int TSubFile::CountUsed() const
{
    int count = 0;
    for (const auto& reading : readings)
        if (reading && !TrimTrailingSpaces(reading->GetSpecies()).empty())
            ++count;
    return count;
}

TKRSubFile::TKRSubFile()
{
    for (auto& reading : readings)
        reading = std::make_unique<TKRReading>();
}

// ---- TFile ------------------------------------------------------------------------

TFile::TFile() : DateStamp(Now()) {}

void TFile::Clear()
{
    const TDateTime now = Now();
    for (auto& subFile : subFiles)
        if (subFile)
            subFile->Clear(now);
    Notes.clear();
    DateStamp = now;
    MarkModified(false);
    FileName = NoFileName;
}

void TFile::SetComment(int fileNo, const std::string& text)
{
    GetSubFile(fileNo).SetComment(text);
    MarkModified(true);
}

void TFile::SetNote(int fileNo, int recNo, const std::string& text)
{
    GetReading(fileNo, recNo).SetNote(text);
    MarkModified(true);
}

std::string TFile::GetNotesText() const
{
    std::string out;
    for (const auto& line : Notes) {
        out += line;
        out += "\r\n";
    }
    return out;
}

std::string TFile::SaveToText() const
{
    std::string out;
    out.reserve(FileLineCount * 192 + Notes.size() * 64);
    out += DateTimeToFileText(DateStamp);
    out += "\r\n";
    for (int i = 1; i <= FileCount; ++i) {
        out += 'F';
        appendTwoDigits(out, i);
        out += "  ";
        appendSingleLine(out, GetComment(i));
        out += "\r\n";
        for (int j = 1; j <= TSubFile::RecordCount; ++j) {
            out += 'F';
            appendTwoDigits(out, i);
            appendTwoDigits(out, j);
            appendSingleLine(out, GetReading(i, j).GetRecordText());
            out += "\r\n";
        }
    }
    for (const auto& line : Notes) {
        out += line;
        out += "\r\n";
    }
    return out;
}

void TFile::SaveToFile(const std::string& fileName)
{
    const WriteResult result = writeFileAtomically(fileName, SaveToText());
    switch (result) {
    case WriteResult::Ok:
        MarkModified(false);
        FileName = fileName;
        return;
    case WriteResult::WriteFailed:
        throw FileError("Stream write error");
    case WriteResult::CreateFailed:
    case WriteResult::RenameFailed:
    case WriteResult::NotAFile:
        break;
    }
    throw FileError(fileMessage("Cannot create file ", fileName) + cannotCreateReason(result));
}

void TFile::LoadFromFile(const std::string& fileName)
{
    Clear();
    std::string bytes;
    if (const ReadResult read = readRegularFile(fileName, bytes, MaxDataFileBytes); read != ReadResult::Ok)
        throw FileError(fileMessage("Cannot open file ", fileName) + cannotOpenReason(read));
    const std::size_t lineLimit = maxLineCount(bytes.size());
    const std::size_t lineCount = countLines(bytes, lineLimit);
    if (lineCount > lineLimit)
        throw FileError(fileMessage("Cannot open file ", fileName) + cannotOpenReason(ReadResult::TooLarge));

    LineCursor lines(bytes);
    // The stamp's fields all lie in its first 19 characters.
    DateStamp = FileTextToDateTime(std::string(lines.takeRequired().substr(0, 19)));
    for (int i = 1; i <= FileCount; ++i) {
        SetComment(i, TrimTrailingSpaces(afterPrefix(lines.takeRequired())));
        for (int j = 1; j <= TSubFile::RecordCount; ++j)
            GetReading(i, j).SetRecordText(afterPrefix(lines.takeRequired()));
    }
    Notes.reserve(lineCount - FileLineCount);
    while (!lines.atEnd())
        Notes.emplace_back(lines.take());
    FileName = fileName;
}

void TFile::ExportText(std::vector<std::string>& lines, bool centigrade) const
{
    static const std::string degree = "\xB0";
    const std::string header =
        "File\tRecord\tDate/Time\t" + degree + (centigrade ? "C" : "F") + "\tSpecies\tSG\tMoisture\tNotes";
    lines.push_back(DateTimeToFileText(DateStamp));
    for (int n = 1; n <= FileCount; ++n) {
        std::string nn;
        appendTwoDigits(nn, n);
        bool any = false;
        for (int r = 1; r <= TSubFile::RecordCount; ++r) {
            const TReading& reading = GetReading(n, r);
            if (!reading.IsUsed())
                continue;
            if (!any) {
                lines.push_back(nn + '\t' + GetComment(n));
                lines.push_back(header);
                any = true;
            }
            std::string row = nn;
            row += '\t';
            appendTwoDigits(row, r);
            row += '\t';
            row += reading.GetTabText(centigrade);
            lines.push_back(std::move(row));
        }
        if (any)
            lines.emplace_back(" ");
    }
    lines.insert(lines.end(), Notes.begin(), Notes.end());
}

// Fills one reading from a meter record line, in the meter's order of
// assignment: species, SG flag, moisture, temperature, SG, date/time.
static void importMeterLine(TReading& reading, const std::string& line, char sep)
{
    reading.SetSpecies(columns(line, 26, 13));

    std::string moisture = columns(TrimTrailingSpaces(columns(line, 44, 99)), 1, 10);
    if (!moisture.empty())
        moisture.pop_back();
    const std::size_t point = moisture.find('.');
    reading.SetSGApplies(point != std::string::npos ? 1 : 0);
    if (point != std::string::npos)
        moisture[point] = sep;
    reading.SetMoisture(StrToFloat(moisture, sep));

    reading.SetTemperature(StrToInt(columns(line, 23, 2)));
    reading.SetSG(StrToInt(columns(line, 41, 2)) * 0.01L);

    const int day = StrToInt(columns(line, 7, 2));
    const int month = monthFromName(columns(line, 10, 3));
    const int twoDigitYear = StrToInt(columns(line, 14, 2));
    const int hour = StrToInt(columns(line, 17, 2));
    const int minute = StrToInt(columns(line, 20, 2));
    const int year = twoDigitYear >= 98 ? 1900 + twoDigitYear : 2000 + twoDigitYear;
    // An unknown month name is an impossible date: the line is rejected.
    const TDateTime date = EncodeDate(year, month, day);
    reading.SetDateTime(ComposeDateTime(date, EncodeTime(hour, minute, 0, 0)));
}

void TFile::ImportMeterLines(const std::vector<std::string>& lines)
{
    Clear();
    DateStamp = Now();
    const char sep = regional().decimalSeparator;
    for (const auto& line : lines) {
        if (line.size() <= 10)
            continue;
        const int fileNo = StrToInt(columns(line, 1, 2));
        const int recNo = StrToInt(columns(line, 4, 2));
        // Numbers outside 1..25 address no slot: such a line is passed over.
        if (fileNo < 1 || fileNo > FileCount || recNo < 1 || recNo > TSubFile::RecordCount)
            continue;
        importMeterLine(GetReading(fileNo, recNo), line, sep);
    }
}

void TFile::MarkModified(bool modified)
{
    Modified = modified;
    if (modifiedObserver)
        modifiedObserver(modified);
}

void TFile::Swap(TFile& other) noexcept
{
    subFiles.swap(other.subFiles);
    std::swap(DateStamp, other.DateStamp);
    Notes.swap(other.Notes);
    std::swap(Modified, other.Modified);
    FileName.swap(other.FileName);
}

int TFile::CountReadings() const
{
    int used = 0;
    for (int f = 1; f <= FileCount; ++f)
        for (int r = 1; r <= TSubFile::RecordCount; ++r)
            used += GetReading(f, r).IsUsed() ? 1 : 0;
    return used;
}

TKRFile::TKRFile()
{
    for (auto& subFile : subFiles)
        subFile = std::make_unique<TKRSubFile>();
}

std::string ExportClipboardText(const TFile& doc, bool centigrade)
{
    std::vector<std::string> lines;
    doc.ExportText(lines, centigrade);
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

} // namespace kr
