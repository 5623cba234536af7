#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace kr {

// A library list file: lines 1 to 31 hold the codes of the selected list
// (an empty line where the list is shorter), the lines after them the notes.
// Windows-1252 text; every line ends in CR LF.
struct ListFileContents {
    // In file order; only lines of exactly 8 characters among the first 31,
    // neither checked against the catalogue nor sorted nor deduplicated.
    std::vector<std::string> codes;
    // Lines 32 onwards, joined with "\n"; empty when there are none.
    std::string notes;
};

inline constexpr int ListFileCodeLines = 31;

// Lines end at CR LF, LF or CR. A file shorter than 31 lines reads as if the
// missing lines were empty.
ListFileContents ParseListText(std::string_view text);
// The first 31 codes, empty lines up to line 31, then one line per line of
// the notes (none when the notes are empty).
std::string FormatListText(const std::vector<std::string>& codes, const std::string& notes);

// Raise FileError: "Cannot open file %s" / "Cannot create file %s" with the
// path. A write goes through a temporary file, so a failure leaves the old file.
ListFileContents ReadListFile(const std::string& path);
void WriteListFile(const std::string& path, const std::vector<std::string>& codes, const std::string& notes);

} // namespace kr
