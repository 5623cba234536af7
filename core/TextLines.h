#pragma once
#include <cstddef>
#include <string_view>

namespace kr {

// One line of a text and the line end that closes it.
struct TextLine {
    std::string_view text;
    std::string_view end;   // "\r\n", "\n", "\r", or empty for a last line without an end
};

// The one rule by which every file, list and meter text is cut into lines:
// CR LF, a lone LF and a lone CR each end a line (so CR CR LF ends two). A
// last line without an end still counts; an end at the very end of the text
// starts no empty line after it. Every other byte, NUL included, belongs to
// its line, so the lines joined with their ends give the text back byte for
// byte: where a format stops at a NUL, its reader cuts the text first.
//
// Returns the line that starts at `pos` and moves `pos` past its end. Call it
// while pos < text.size(); the views point into `text`.
TextLine nextLine(std::string_view text, std::size_t& pos);

// The number of lines of `text` by that rule, or `limit + 1` as soon as it
// passes `limit`, so a huge text is not counted to its end.
std::size_t countLines(std::string_view text, std::size_t limit);

} // namespace kr
