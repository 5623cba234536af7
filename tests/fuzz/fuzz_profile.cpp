// The profile (INI) text: reading any text, and writing one key into it.
// Input: section, key and value on the first three lines, the text after.
// A write changes only its key: every other section and key the text names
// reads back the same, and the written key reads back as written. The file
// reader reads what the text reader reads.
#include <QString>

#include "settings/IniFile.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace kr;

namespace {

// Blanks are spaces and tabs only.
std::string_view trim(std::string_view s)
{
    const std::size_t first = s.find_first_not_of(" \t");
    return first == std::string_view::npos ? std::string_view() : s.substr(first, s.find_last_not_of(" \t") + 1 - first);
}

// Names as the reader compares them: blanks around them dropped, ASCII letters in any case.
std::string folded(std::string_view name)
{
    std::string out(trim(name));
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

std::string_view takeLine(std::string_view& rest)
{
    const std::size_t stop = rest.find('\n');
    const std::string_view line = rest.substr(0, stop);
    rest.remove_prefix(stop == std::string_view::npos ? rest.size() : stop + 1);
    return line;
}

// Every section and key name the text might hold, as a reader would look them up.
void collectNames(std::string_view text, std::vector<std::string>& sections, std::vector<std::string>& keys)
{
    std::string_view rest = text;
    while (!rest.empty() && sections.size() + keys.size() < 64) {
        std::string_view line = trim(takeLine(rest));
        if (const std::size_t cr = line.find('\r'); cr != std::string_view::npos)
            line = trim(line.substr(0, cr));
        if (line.empty())
            continue;
        if (line.front() == '[')
            sections.emplace_back(line.substr(1, line.find(']') == std::string_view::npos ? line.npos : line.find(']') - 1));
        else if (const std::size_t eq = line.find('='); eq != std::string_view::npos)
            keys.emplace_back(line.substr(0, eq));
    }
}

// Names the program writes: one line each, readable as that kind of line.
bool writable(std::string_view section, std::string_view key)
{
    for (std::string_view name : {section, key})
        if (trim(name).empty() || name.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
            return false;
    return section.find(']') == std::string_view::npos && key.find('=') == std::string_view::npos
        && trim(key).front() != '[' && trim(key).front() != ';';
}

// What reading gives back for a written value.
std::string readBack(std::string_view value)
{
    std::string v(trim(value.substr(0, value.find('\0'))));
    for (char& c : v)
        if (c == '\r' || c == '\n')
            c = ' ';
    std::string_view t = trim(v);
    if (t.size() >= 2 && t.front() == t.back() && (t.front() == '"' || t.front() == '\''))
        t = t.substr(1, t.size() - 2);
    return std::string(t);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view section = takeLine(rest);
    const std::string_view key = takeLine(rest);
    const std::string_view value = takeLine(rest);
    const std::string_view text = rest;

    std::vector<std::string> sections, keys;
    collectNames(text, sections, keys);
    sections.emplace_back(section);
    keys.emplace_back(key);
    for (const std::string& s : sections) {
        profile::readSection(text, s);
        if (const auto v = profile::read(text, s, key))
            profile::parseInteger(*v);
    }

    if (writable(section, key)) {
        const std::string written = profile::write(text, section, key, value);
        FUZZ_CHECK(profile::read(written, section, key) == readBack(value));
        for (const std::string& s : sections) {
            FUZZ_CHECK(profile::hasSection(written, s) == (profile::hasSection(text, s) || folded(s) == folded(section)));
            for (const std::string& k : keys)
                if (folded(s) != folded(section) || folded(k) != folded(key))
                    FUZZ_CHECK(profile::read(written, s, k) == profile::read(text, s, k));
        }
    }

    if (size < 65536) {
        static const std::string path = fuzz::scratchPath("kr.ini");
        fuzz::writeScratch(path, text);
        const IniFile ini(QString::fromStdString(path));
        FUZZ_CHECK(ini.read(section, key) == profile::read(text, section, key));
        FUZZ_CHECK(ini.readSection(section) == profile::readSection(text, section));
    }
    return 0;
}
