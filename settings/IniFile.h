#pragma once
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kr {

// The text rules of an INI profile file, as the platform's private-profile
// functions apply them. Sections, keys and values are Windows-1252 bytes.
// These work on the file's whole text so they can be tested without a file.
namespace profile {

using KeyValues = std::vector<std::pair<std::string, std::string>>;

// The value of the first matching key in the first matching section (names
// compared without regard to letter case; blanks around names and values
// ignored; one enclosing pair of matching quotes dropped). Nothing when the
// section or key is absent.
std::optional<std::string> read(std::string_view text, std::string_view section, std::string_view key);

// Every key of the first matching section with its value, in file order;
// comment lines (starting with ';') and lines without '=' are left out.
KeyValues readSection(std::string_view text, std::string_view section);

bool hasSection(std::string_view text, std::string_view section);

// The text with one key set: an existing line is rewritten in place, a new key
// goes after the last key of its section, a new section at the end. Every
// other byte stays as it was; new lines end in CR LF. Line breaks in the
// value become blanks and a zero byte ends it, so a value can never add lines.
std::string write(std::string_view text, std::string_view section, std::string_view key, std::string_view value);

// The text without the first matching key of the first matching section.
std::string eraseKey(std::string_view text, std::string_view section, std::string_view key);

// The text without any section of that name: its heading, its lines and the
// blank lines after them.
std::string eraseSection(std::string_view text, std::string_view section);

// Integer texts: decimal with an optional sign; longer than two characters and
// starting with "0x" or "0X": hexadecimal (up to 32 bits, wrapping to
// negative). Anything else is not a number.
std::optional<int> parseInteger(std::string_view text);

// A text that begins and ends with the same quote would lose that pair on
// reading: such a text is written inside one more pair of double quotes.
std::string quoteIfEnclosed(std::string_view text);

} // namespace profile

// One profile (INI) file on disk. Every read and write handles one key and
// goes straight to the file; nothing is cached, so another writer's changes
// are seen at once. The file is created by the first write. A failed write
// raises FileError("Unable to write to " + full path) and leaves the file as
// it was (it is replaced through a temporary file and a rename).
class IniFile {
public:
    explicit IniFile(QString path);

    const QString& path() const { return filePath; }

    std::optional<std::string> read(std::string_view section, std::string_view key) const;
    std::string readString(std::string_view section, std::string_view key, std::string_view def) const;
    // An absent key or a text that is not a number gives the default.
    int readInteger(std::string_view section, std::string_view key, int def) const;
    // Read as an integer with default 1 or 0; any non-zero number is true.
    bool readBool(std::string_view section, std::string_view key, bool def) const;
    profile::KeyValues readSection(std::string_view section) const;
    bool sectionExists(std::string_view section) const;

    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, int value);
    void writeBool(std::string_view section, std::string_view key, bool value);
    // Runs `edits` (writes and erases of this object) on the file's text in
    // memory and stores the result in one write, so a failing disk leaves
    // all of them undone rather than some. Reads inside see the edits so far.
    void writeTogether(const std::function<void()>& edits);
    void eraseKey(std::string_view section, std::string_view key);
    void eraseSection(std::string_view section);

    // The message a failed write of this file raises (Windows-1252).
    std::string writeFailureMessage() const;

private:
    enum class Load { Missing, Read, Unreadable };
    Load load(std::string& text) const;
    std::string nativePath() const;
    // Loads, applies the change and stores the result atomically.
    template <typename Change> void change(Change&& edit);
    void store(const std::string& text);

    QString filePath;
    // The text being edited by writeTogether, in place of the file.
    std::string* pending = nullptr;
};

} // namespace kr
