#include "settings/IniFile.h"

#include "core/AtomicFile.h"
#include "core/Cp1252.h"
#include "core/Errors.h"
#include "core/FileReading.h"
#include "core/TextLines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstddef>
#include <cstdint>

namespace kr {

namespace {
constexpr std::size_t MaxProfileBytes = 8 * 1024 * 1024;
// Each line is held with its parts while a key is looked up, so a file of
// bare line ends would take many times its size; ours has a few hundred.
constexpr std::size_t MaxProfileLines = 1 << 16;

bool hasTooManyLines(std::string_view text) { return countLines(text, MaxProfileLines) > MaxProfileLines; }
} // namespace

namespace profile {

namespace {

constexpr std::string_view newLine = "\r\n";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b)
{
    a = trim(a);
    b = trim(b);
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

enum class Kind { Blank, Section, Key, Other };

// One line of the file: its text without the line end, and the line end as
// found ("\r\n", "\n", "\r" or nothing on an unterminated last line).
struct Line {
    std::string_view text;
    std::string_view end;
    Kind kind = Kind::Other;
    std::string_view name;  // section name or key
    std::string_view value; // trimmed, quotes still on
};

Line classify(std::string_view text, std::string_view end)
{
    Line line{text, end, Kind::Other, {}, {}};
    const std::string_view t = trim(text);
    if (t.empty()) {
        line.kind = Kind::Blank;
    } else if (t.front() == '[') {
        const size_t close = t.find(']');
        line.kind = Kind::Section;
        line.name = trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    } else if (t.front() != ';') {
        const size_t eq = t.find('=');
        if (eq != std::string_view::npos) {
            line.kind = Kind::Key;
            line.name = trim(t.substr(0, eq));
            line.value = trim(t.substr(eq + 1));
        }
    }
    return line;
}

std::vector<Line> split(std::string_view text)
{
    std::vector<Line> lines;
    for (size_t pos = 0; pos < text.size();) {
        const TextLine line = nextLine(text, pos);
        lines.push_back(classify(line.text, line.end));
    }
    return lines;
}

// Lines [first, last) of a section, the heading at first.
struct Range {
    size_t first = 0, last = 0;
};

std::optional<Range> findSection(const std::vector<Line>& lines, std::string_view section, size_t from = 0)
{
    for (size_t i = from; i < lines.size(); ++i) {
        if (lines[i].kind != Kind::Section || !sameName(lines[i].name, section))
            continue;
        size_t j = i + 1;
        while (j < lines.size() && lines[j].kind != Kind::Section)
            ++j;
        return Range{i, j};
    }
    return std::nullopt;
}

std::optional<size_t> findKey(const std::vector<Line>& lines, Range r, std::string_view key)
{
    for (size_t i = r.first + 1; i < r.last; ++i)
        if (lines[i].kind == Kind::Key && sameName(lines[i].name, key))
            return i;
    return std::nullopt;
}

std::string unquote(std::string_view v)
{
    if (v.size() >= 2 && v.front() == v.back() && (v.front() == '"' || v.front() == '\''))
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

std::string join(const std::vector<Line>& lines)
{
    std::string out;
    for (const Line& l : lines) {
        out += l.text;
        out += l.end;
    }
    return out;
}

std::string cleanValue(std::string_view value)
{
    std::string v(value.substr(0, value.find('\0')));
    for (char& c : v)
        if (c == '\r' || c == '\n')
            c = ' ';
    return v;
}

} // namespace

std::optional<std::string> read(std::string_view text, std::string_view section, std::string_view key)
{
    const std::vector<Line> lines = split(text);
    const auto r = findSection(lines, section);
    if (!r)
        return std::nullopt;
    const auto k = findKey(lines, *r, key);
    if (!k)
        return std::nullopt;
    return unquote(lines[*k].value);
}

KeyValues readSection(std::string_view text, std::string_view section)
{
    KeyValues out;
    const std::vector<Line> lines = split(text);
    const auto r = findSection(lines, section);
    if (!r)
        return out;
    for (size_t i = r->first + 1; i < r->last; ++i)
        if (lines[i].kind == Kind::Key)
            out.emplace_back(std::string(lines[i].name), unquote(lines[i].value));
    return out;
}

bool hasSection(std::string_view text, std::string_view section)
{
    return findSection(split(text), section).has_value();
}

std::string write(std::string_view text, std::string_view section, std::string_view key, std::string_view value)
{
    std::vector<Line> lines = split(text);
    const std::string v = cleanValue(value);
    std::string newText; // keeps the rewritten line's bytes alive until joined

    if (const auto r = findSection(lines, section)) {
        if (const auto k = findKey(lines, *r, key)) {
            // Keep the key's own spelling and indentation from the file.
            const std::string_view old = lines[*k].text;
            newText = std::string(old.substr(0, old.find('=') + 1)) + v;
            // Blanks before '=' are kept as they were; the value is ours.
            lines[*k].text = newText;
            return join(lines);
        }
        // After the section's last key: blank lines and comments that follow
        // it introduce the next section.
        size_t after = r->first;
        for (size_t i = r->first + 1; i < r->last; ++i)
            if (lines[i].kind == Kind::Key)
                after = i;
        std::string out;
        for (size_t i = 0; i < lines.size(); ++i) {
            out += lines[i].text;
            out += lines[i].end.empty() && i == after ? newLine : lines[i].end;
            if (i == after) {
                out += key;
                out += '=';
                out += v;
                out += newLine;
            }
        }
        return out;
    }

    std::string out(text);
    if (!lines.empty()) {
        if (lines.back().end.empty())
            out += newLine;
        if (lines.back().kind != Kind::Blank)
            out += newLine;
    }
    out += '[';
    out += section;
    out += ']';
    out += newLine;
    out += key;
    out += '=';
    out += v;
    out += newLine;
    return out;
}

std::string eraseKey(std::string_view text, std::string_view section, std::string_view key)
{
    std::vector<Line> lines = split(text);
    const auto r = findSection(lines, section);
    if (!r)
        return std::string(text);
    const auto k = findKey(lines, *r, key);
    if (!k)
        return std::string(text);
    lines.erase(lines.begin() + std::ptrdiff_t(*k));
    return join(lines);
}

std::string eraseSection(std::string_view text, std::string_view section)
{
    std::vector<Line> lines = split(text);
    bool changed = false;
    size_t from = 0;
    while (const auto r = findSection(lines, section, from)) {
        // Comments just above the next heading belong to that heading: keep
        // everything after the section's last key and the blanks that follow it.
        size_t stop = r->first + 1;
        for (size_t i = r->first + 1; i < r->last; ++i)
            if (lines[i].kind == Kind::Key)
                stop = i + 1;
        while (stop < r->last && lines[stop].kind == Kind::Blank)
            ++stop;
        lines.erase(lines.begin() + std::ptrdiff_t(r->first), lines.begin() + std::ptrdiff_t(stop));
        from = r->first;
        changed = true;
    }
    return changed ? join(lines) : std::string(text);
}

std::optional<int> parseInteger(std::string_view s)
{
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        uint64_t v = 0;
        for (char c : s.substr(2)) {
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                return std::nullopt;
            v = v * 16 + uint64_t(d);
            if (v > 0xFFFFFFFFu)
                return std::nullopt;
        }
        return int(int32_t(uint32_t(v)));
    }
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (s.empty())
        return std::nullopt;
    int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
        if (v > int64_t(INT32_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        v = -v;
    if (v > INT32_MAX || v < INT32_MIN)
        return std::nullopt;
    return int(v);
}

std::string quoteIfEnclosed(std::string_view text)
{
    if (text.size() >= 2 && text.front() == text.back() && (text.front() == '"' || text.front() == '\''))
        return '"' + std::string(text) + '"';
    return std::string(text);
}

} // namespace profile

IniFile::IniFile(QString path) : filePath(std::move(path)) {}

IniFile::Load IniFile::load(std::string& text) const
{
    if (pending) {
        text = *pending;
        return Load::Read;
    }
    // A settings file is a few kilobytes; anything huge or of countless lines,
    // or a pipe or device in its place, is not one of ours and is neither read
    // key by key nor rewritten.
    switch (readRegularFile(nativePath(), text, MaxProfileBytes)) {
    case ReadResult::Ok:
        if (!hasTooManyLines(text))
            return Load::Read;
        text.clear();
        break;
    case ReadResult::Missing:
        return Load::Missing;
    case ReadResult::NotAFile:
    case ReadResult::TooLarge:
    case ReadResult::Failed:
        break;
    }
    return Load::Unreadable;
}

std::string IniFile::nativePath() const { return QFile::encodeName(filePath).toStdString(); }

std::optional<std::string> IniFile::read(std::string_view section, std::string_view key) const
{
    std::string text;
    if (load(text) != Load::Read)
        return std::nullopt;
    return profile::read(text, section, key);
}

std::string IniFile::readString(std::string_view section, std::string_view key, std::string_view def) const
{
    if (auto v = read(section, key))
        return *v;
    return std::string(def);
}

int IniFile::readInteger(std::string_view section, std::string_view key, int def) const
{
    if (const auto v = read(section, key))
        if (const auto n = profile::parseInteger(*v))
            return *n;
    return def;
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

profile::KeyValues IniFile::readSection(std::string_view section) const
{
    std::string text;
    if (load(text) != Load::Read)
        return {};
    return profile::readSection(text, section);
}

bool IniFile::sectionExists(std::string_view section) const
{
    std::string text;
    return load(text) == Load::Read && profile::hasSection(text, section);
}

std::string IniFile::writeFailureMessage() const
{
    const QString full = QDir::toNativeSeparators(QFileInfo(filePath).absoluteFilePath());
    return "Unable to write to " + utf8ToCp1252(full.toStdString());
}

template <typename Change> void IniFile::change(Change&& edit)
{
    std::string text;
    // A file that exists but cannot be read must not be replaced by one
    // holding only the new key.
    if (load(text) == Load::Unreadable)
        throw FileError(writeFailureMessage());
    const std::string changed = edit(text);
    if (changed == text)
        return;
    store(changed);
}

void IniFile::store(const std::string& text)
{
    if (pending) {
        *pending = text;
        return;
    }
    if (writeFileAtomically(nativePath(), text) != WriteResult::Ok)
        throw FileError(writeFailureMessage());
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value)
{
    change([&](const std::string& t) { return profile::write(t, section, key, value); });
}

void IniFile::writeTogether(const std::function<void()>& edits)
{
    if (pending) {
        edits();
        return;
    }
    std::string text;
    if (load(text) == Load::Unreadable)
        throw FileError(writeFailureMessage());
    const std::string before = text;
    pending = &text;
    try {
        edits();
    } catch (...) {
        pending = nullptr;
        throw;
    }
    pending = nullptr;
    if (text != before)
        store(text);
}

void IniFile::writeInteger(std::string_view section, std::string_view key, int value)
{
    writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value)
{
    writeString(section, key, value ? "1" : "0");
}

void IniFile::eraseKey(std::string_view section, std::string_view key)
{
    std::string text;
    if (load(text) == Load::Missing)
        return;
    change([&](const std::string& t) { return profile::eraseKey(t, section, key); });
}

void IniFile::eraseSection(std::string_view section)
{
    std::string text;
    if (load(text) == Load::Missing)
        return;
    change([&](const std::string& t) { return profile::eraseSection(t, section); });
}

} // namespace kr
