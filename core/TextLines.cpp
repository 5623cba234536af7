#include "core/TextLines.h"

#include <algorithm>
#include <cstring>

namespace kr {

namespace {

// Where the line from `from` ends: its CR or LF, or the text's end. Searched
// in blocks, so that a text with only one kind of line end is not searched
// to its end for the other kind on every line.
std::size_t lineEnd(std::string_view text, std::size_t from)
{
    constexpr std::size_t Block = 256;
    for (std::size_t at = from; at < text.size(); at += Block) {
        const char* block = text.data() + at;
        const std::size_t length = std::min(Block, text.size() - at);
        const auto* lf = static_cast<const char*>(std::memchr(block, '\n', length));
        const auto* cr = static_cast<const char*>(std::memchr(block, '\r', lf ? std::size_t(lf - block) : length));
        if (cr || lf)
            return at + std::size_t((cr ? cr : lf) - block);
    }
    return text.size();
}

} // namespace

TextLine nextLine(std::string_view text, std::size_t& pos)
{
    const std::size_t start = pos;
    const std::size_t stop = lineEnd(text, start);
    std::size_t endLength = stop < text.size() ? 1 : 0;
    if (endLength == 1 && text[stop] == '\r' && stop + 1 < text.size() && text[stop + 1] == '\n')
        endLength = 2;
    pos = stop + endLength;
    return {text.substr(start, stop - start), text.substr(stop, endLength)};
}

std::size_t countLines(std::string_view text, std::size_t limit)
{
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size() && count <= limit; ++count)
        nextLine(text, pos);
    return count;
}

} // namespace kr
