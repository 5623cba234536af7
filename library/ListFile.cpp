#include "library/ListFile.h"

#include <algorithm>

#include "core/AtomicFile.h"
#include "core/Errors.h"
#include "core/FileReading.h"
#include "core/TextLines.h"

namespace kr {

namespace {

constexpr std::size_t CodeLength = 8;
// Far beyond 31 codes and any notes a person types; a bigger file is not a list.
constexpr std::size_t MaxListFileBytes = 16u * 1024u * 1024u;

} // namespace

ListFileContents ParseListText(std::string_view text)
{
    ListFileContents contents;
    const std::size_t codeLines = ListFileCodeLines;
    std::size_t index = 0;
    // Lines are taken one at a time: a file of bare line ends must not cost
    // a stored view per line.
    for (std::size_t pos = 0; pos < text.size(); ++index) {
        const std::string_view line = nextLine(text, pos).text;
        if (index < codeLines) {
            if (line.size() == CodeLength)
                contents.codes.emplace_back(line);
        } else {
            if (index > codeLines)
                contents.notes += '\n';
            contents.notes += line;
        }
    }
    return contents;
}

std::string FormatListText(const std::vector<std::string>& codes, const std::string& notes)
{
    std::string text;
    for (int i = 0; i < ListFileCodeLines; ++i) {
        if (std::size_t(i) < codes.size())
            text += codes[std::size_t(i)];
        text += "\r\n";
    }
    if (notes.empty())
        return text;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = notes.find('\n', start);
        text.append(notes, start, end == std::string::npos ? std::string::npos : end - start);
        text += "\r\n";
        if (end == std::string::npos)
            return text;
        start = end + 1;
    }
}

ListFileContents ReadListFile(const std::string& path)
{
    std::string bytes;
    if (const ReadResult read = readRegularFile(path, bytes, MaxListFileBytes); read != ReadResult::Ok) {
        std::string message = "Cannot open file ";
        message += path;
        message += cannotOpenReason(read);
        throw FileError(message);
    }
    return ParseListText(bytes);
}

void WriteListFile(const std::string& path, const std::vector<std::string>& codes, const std::string& notes)
{
    if (const WriteResult written = writeFileAtomically(path, FormatListText(codes, notes));
        written != WriteResult::Ok) {
        std::string message = "Cannot create file ";
        message += path;
        message += cannotCreateReason(written);
        throw FileError(message);
    }
}

} // namespace kr
