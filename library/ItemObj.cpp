#include "library/ItemObj.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "core/AtomicFile.h"
#include "core/Errors.h"
#include "core/FileReading.h"
#include "core/Mtlutils.h"
#include "core/Regional.h"
#include "core/TextLines.h"

namespace kr {

namespace {

// A real catalogue is a few tens of kilobytes; anything this large is not one.
constexpr std::size_t MaxCatalogueBytes = 4 * 1024 * 1024;
// Every line becomes an item several times a line's size, so a file of bare
// line ends would take far more memory than its bytes; ours has a few hundred.
constexpr std::size_t MaxCatalogueLines = 1 << 16;

// The text up to its first NUL, where a catalogue ends.
std::string_view uptoNul(std::string_view text) { return text.substr(0, std::min(text.find('\0'), text.size())); }

bool hasTooManyLines(std::string_view text) { return countLines(uptoNul(text), MaxCatalogueLines) > MaxCatalogueLines; }

// One field of a catalogue line: cut or padded to its width; a byte that
// would end the line or the file there becomes '?'.
std::string field(std::string text, std::size_t width)
{
    text.resize(width, ' ');
    for (char& c : text)
        if (c == '\0' || c == '\r' || c == '\n')
            c = '?';
    return text;
}

// Columns `first`..`first + width - 1` (from 0); what lies beyond the line's end is missing.
std::string column(const std::string& line, std::size_t first, std::size_t width)
{
    return first < line.size() ? line.substr(first, width) : std::string();
}

// A name as the meter holds it: 13 characters, padded with spaces.
std::string meterName(const std::string& text)
{
    std::string key = text.substr(0, TItem::MeterNameLength);
    key.resize(TItem::MeterNameLength, ' ');
    return key;
}

// Adds one unit to a text of decimal digits.
void incrementDigits(std::string& digits)
{
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return;
        }
        *it = '0';
    }
    digits.insert(digits.begin(), '1');
}

// The running number of an added item's code (10000000 + n), or 0.
std::uint32_t addedNumber(const std::string& code)
{
    std::uint32_t value = 0;
    if (code.size() != TItem::CodeLength)
        return 0;
    const auto r = std::from_chars(code.data(), code.data() + code.size(), value);
    if (r.ec != std::errc() || r.ptr != code.data() + code.size() || value <= 10000000 || value > 19999999)
        return 0;
    return value - 10000000;
}

// Reads a catalogue file whole: "Cannot open file %s" and why, when it cannot be.
ReadResult readCatalogue(const std::string& path, std::string& bytes)
{
    ReadResult read = readRegularFile(path, bytes, MaxCatalogueBytes);
    if (read == ReadResult::Ok && hasTooManyLines(bytes))
        read = ReadResult::TooLarge;
    return read;
}

std::string cannotOpen(const std::string& path, ReadResult read)
{
    std::string message = "Cannot open file ";
    message += path;
    message += cannotOpenReason(read);
    return message;
}

} // namespace

void TItem::SetCode(const std::string& text) { Code = text.substr(0, CodeLength); }
void TItem::SetName(const std::string& text) { Name = text.substr(0, NameLength); }
void TItem::SetDescription(const std::string& text) { Description = text.substr(0, DescriptionLength); }
void TItem::SetGroup(const std::string& text) { Group = text.substr(0, GroupLength); }

void TItem::LoadFromLine(const std::string& line)
{
    SetCode(column(line, 0, 8));
    SetName(column(line, 8, 16));
    SetDescription(column(line, 24, 32));
    SG = 0;
    Group.clear();

    // The catalogue writes "." whatever the user's settings; it becomes the
    // regional separator so the number reads as the user's numbers do.
    const char separator = regional().decimalSeparator;
    std::string number = column(line, 56, 8);
    if (const auto point = number.find('.'); point != std::string::npos)
        number[point] = separator;
    long double value = 0;
    if (!TryStrToFloat(number, separator, value) || !std::isfinite(static_cast<double>(value)))
        return;
    SG = static_cast<double>(value);
    SetGroup(column(line, 64, 16));
}

std::string TItem::FormatLine() const
{
    char number[32];
    const auto r = std::to_chars(number, number + sizeof number, SG, std::chars_format::fixed, 2);
    return field(Code, CodeLength) + field(Name, NameLength) + field(Description, DescriptionLength)
        + field(std::string(number, r.ptr), 8) + field(Group, GroupLength);
}

namespace {

// The SG in fixed-point form with two decimals and the regional separator,
// rounded to two decimals and, when `twoSignificant`, to two significant
// digits as well (whichever keeps fewer).
std::string sgText(double sg, bool twoSignificant)
{
    if (std::isnan(sg))
        return "NAN";
    if (std::isinf(sg))
        return sg < 0 ? "-INF" : "INF";

    // Rounded on the shortest decimal form, so 0.555 is the half it looks like.
    std::string digits;
    int exp10 = 0;
    if (sg != 0) {
        char buf[40];
        const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(sg), std::chars_format::scientific);
        const char* p = buf;
        for (; p != r.ptr && *p != 'e'; ++p)
            if (*p != '.')
                digits += *p;
        if (p != r.ptr && *++p == '+')
            ++p;
        std::from_chars(p, r.ptr, exp10);
    }

    // Keep the digits down to 10^unit.
    const int unit = twoSignificant ? std::max(-2, exp10 - 1) : -2;
    const int kept = exp10 - unit + 1;
    std::string hundredths;
    if (kept >= 0) {
        hundredths = digits.substr(0, std::size_t(kept));
        hundredths.resize(std::size_t(kept), '0');
        if (std::size_t(kept) < digits.size() && digits[std::size_t(kept)] >= '5')
            incrementDigits(hundredths);
        hundredths.append(std::size_t(unit + 2), '0');
    }
    const bool zero = hundredths.find_first_not_of('0') == std::string::npos;
    if (hundredths.size() < 3)
        hundredths.insert(0, 3 - hundredths.size(), '0');

    std::string out = sg < 0 && !zero ? "-" : "";
    out.append(hundredths, 0, hundredths.size() - 2);
    out += regional().decimalSeparator;
    out.append(hundredths, hundredths.size() - 2);
    return out;
}

} // namespace

std::string TItem::FormatSG() const { return sgText(SG, true); }

std::string TItem::DisplaySG() const { return sgText(SG, false); }

void TFactorCatalogue::LoadCatalogue(const std::string& path)
{
    items.clear();
    std::string bytes;
    if (const ReadResult read = readCatalogue(path, bytes); read != ReadResult::Ok)
        throw FileError(cannotOpen(path, read));
    LoadFromText(bytes);
}

void TFactorCatalogue::LoadAdded(const std::string& path)
{
    addedPath = path;
    // Whatever could not be read must not be written over in this run.
    addedStore = AddedStore::Unreadable;
    std::string bytes;
    ReadResult read = readCatalogue(path, bytes);
    if (read == ReadResult::Missing) {
        bytes.clear();
        read = ReadResult::Ok;
    }
    if (read != ReadResult::Ok)
        throw FileError(cannotOpen(path, read)
                        + "\r\nSpecies added from a KR are kept for this run only; the file is left as it is.");
    TFactorCatalogue kept;
    kept.LoadFromText(bytes);
    for (const TItem& item : kept.items)
        if (!FindByCode(item.GetCode()))
            items.push_back(item);
    addedText = uptoNul(bytes);
    addedStore = AddedStore::Ready;
}

void TFactorCatalogue::RefreshAdded()
{
    if (addedStore == AddedStore::Ready)
        LoadAdded(addedPath);
}

void TFactorCatalogue::SaveAdded()
{
    if (addedLines.empty() || addedStore == AddedStore::None)
        return;
    if (addedStore == AddedStore::Unreadable)
        throw FileError(addedPath + " could not be read, so nothing is added to it in this run.");
    std::string text = addedText;
    if (!text.empty() && text.back() != '\n' && text.back() != '\r')
        text += "\r\n";
    text += addedLines;
    if (const WriteResult written = writeFileAtomically(addedPath, text); written != WriteResult::Ok)
        throw FileError("Cannot create file " + addedPath + cannotCreateReason(written));
    addedText = text;
    addedLines.clear();
}

void TFactorCatalogue::LoadFromText(const std::string& text)
{
    items.clear();
    const std::string_view catalogue = uptoNul(text);
    for (std::size_t pos = 0; pos < catalogue.size();) {
        TItem item;
        item.LoadFromLine(std::string(nextLine(catalogue, pos).text));
        items.push_back(item);
    }
}

const TItem* TFactorCatalogue::FindByCode(const std::string& code) const
{
    for (const TItem& item : items)
        if (item.GetCode() == code)
            return &item;
    return nullptr;
}

const TItem* TFactorCatalogue::FindByMeterName(const std::string& key) const
{
    const std::string wanted = meterName(key);
    for (const TItem& item : items)
        if (meterName(item.GetName()) == wanted)
            return &item;
    return nullptr;
}

const TItem* TFactorCatalogue::FindListedByMeterName(const std::string& key) const
{
    const std::string wanted = meterName(key);
    for (const TItem& item : items)
        if (item.GetGroup() != AddedGroup && meterName(item.GetName()) == wanted)
            return &item;
    return nullptr;
}

const TItem* TFactorCatalogue::FindSpecies(const std::string& key, double sg) const
{
    const std::string wanted = meterName(key);
    TItem meter;
    meter.SetSG(sg);
    const std::string digits = meter.FormatSG();
    for (const TItem& item : items)
        if (meterName(item.GetName()) == wanted && item.FormatSG() == digits)
            return &item;
    return nullptr;
}

TFactorCatalogue::TSpecies TFactorCatalogue::TakeSpecies(const std::string& key, double sg)
{
    if (const TItem* known = FindSpecies(key, sg))
        return {known->GetCode(), false};
    TItem item;
    item.SetCode(NextAddedCode());
    item.SetName(key);
    item.SetDescription(key);
    item.SetSG(sg);
    item.SetGroup(AddedGroup);
    items.push_back(item);
    addedLines += item.FormatLine();
    addedLines += "\r\n";
    return {item.GetCode(), true};
}

std::string TFactorCatalogue::NextAddedCode() const
{
    std::uint32_t highest = 0;
    for (const TItem& item : items)
        highest = std::max(highest, addedNumber(item.GetCode()));
    return std::to_string(10000000 + highest + 1);
}

std::vector<std::string> TFactorCatalogue::Groups() const
{
    std::vector<std::string> groups{"All"};
    for (const TItem& item : items) {
        const std::string& group = item.GetGroup();
        if (!group.empty() && std::find(groups.begin(), groups.end(), group) == groups.end())
            groups.push_back(group);
    }
    return groups;
}

} // namespace kr
