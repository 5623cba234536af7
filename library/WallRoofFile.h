#pragma once
#include <QString>
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace kr {

// The seven wall-and-roof entries of a meter's library, in the meter's order:
// 16-character texts of a material name in 14 characters and a two-digit value.
inline constexpr int WallRoofCount = 7;
using TWallRoofEntries = std::array<std::string, WallRoofCount>;

// Where each entry is kept, in wallroof.ini and in the file beside a list.
struct TWallRoofKey {
    const char* section;
    const char* key;
};
inline constexpr std::array<TWallRoofKey, WallRoofCount> WallRoofKeys = {{
    {"USERDEF", "USERDEF"},
    {"WALLROOF", "WALLROOF1"},
    {"WALLROOF", "WALLROOF2"},
    {"WALLROOF", "WALLROOF3"},
    {"WALLROOF", "WALLROOF4"},
    {"WALLROOF", "WALLROOF5"},
    {"WALLROOF", "WALLROOF6"},
}};

// Whoever holds the entries a library list keeps beside its file: the
// library exchanges, which send them.
class TWallRoofHolder {
public:
    virtual ~TWallRoofHolder() = default;
    virtual const TWallRoofEntries& WallRoofEntries() const = 0;
    // Entries read from the file beside a list (native path).
    virtual void TakeWallRoofEntries(const TWallRoofEntries& entries, const std::string& file) = 0;
};

// The file beside a library list that keeps its wall-and-roof entries: the
// list's name with ".wallroof" in place of its extension ("F.lst" keeps
// "F.wallroof"). Empty for a list whose own name ends in ".wallroof", which
// cannot have one. Native paths.
std::string WallRoofPathFor(const std::string& listPath);
// Why no wall-and-roof file may be written beside the list `listPath`
// (native): the list's own name, the program's own files (wallroof.ini
// among them) and anything but a regular file are refused. Empty: it may.
QString WallRoofWriteRefusal(const std::string& listPath);

// The file's text: wallroof.ini's sections and keys, CR LF line ends.
std::string FormatWallRoofText(const TWallRoofEntries& entries);
// The seven entries of such a text, each padded to 16 characters as the
// upload pads wallroof.ini's; raises FileError with a plain message naming
// `path` when a key is missing or a value longer than 16 characters.
TWallRoofEntries ParseWallRoofText(std::string_view text, const std::string& path);

// Nothing when no file is there. Raises FileError when one is there but
// cannot be read or used. A write goes through a temporary file.
std::optional<TWallRoofEntries> ReadWallRoofFile(const std::string& path);
void WriteWallRoofFile(const std::string& path, const TWallRoofEntries& entries);

} // namespace kr
