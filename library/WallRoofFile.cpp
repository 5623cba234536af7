#include "library/WallRoofFile.h"

#include <QFileInfo>

#include "core/AtomicFile.h"
#include "core/Errors.h"
#include "core/FileReading.h"
#include "platform/Text.h"
#include "settings/Appglob.h"
#include "settings/IniFile.h"

namespace kr {

namespace {

constexpr std::size_t EntryLength = 16;
constexpr const char* Suffix = "wallroof";
// Seven short lines; anything much larger is not such a file.
constexpr std::size_t MaxWallRoofBytes = 64u * 1024u;

std::string cannotUse(const std::string& path, const std::string& reason)
{
    return "The wall and roof entries in " + path + " cannot be used" + reason;
}

// A value as a key's line holds it: blanks at its ends and an enclosing pair
// of quotes would be dropped on reading, so such a value goes in quotes; a
// line break would end the line.
std::string storedValue(std::string value)
{
    for (char& c : value)
        if (c == '\r' || c == '\n' || c == '\0')
            c = ' ';
    const bool blankEnd = !value.empty() && (value.front() == ' ' || value.front() == '\t' || value.back() == ' ' ||
                                             value.back() == '\t');
    if (blankEnd || profile::quoteIfEnclosed(value) != value)
        return '"' + value + '"';
    return value;
}

} // namespace

std::string WallRoofPathFor(const std::string& listPath)
{
    const QString path = fromNativePath(listPath);
    const QFileInfo file(path);
    if (file.suffix() == QLatin1String(Suffix))
        return {};
    const QString folder = path.left(path.size() - file.fileName().size());
    return toNativePath(folder + file.completeBaseName() + QLatin1Char('.') + QLatin1String(Suffix));
}

QString WallRoofWriteRefusal(const std::string& listPath)
{
    const std::string companion = WallRoofPathFor(listPath);
    if (companion.empty() || sameFile(companion, listPath))
        return QStringLiteral("%1: a library list's name may not end in .%2, the ending of the wall and roof "
                              "entries kept beside it; nothing was written.")
            .arg(fromNativePath(listPath), QLatin1String(Suffix));
    return WriteRefusal(fromNativePath(companion));
}

std::string FormatWallRoofText(const TWallRoofEntries& entries)
{
    std::string text;
    const char* section = nullptr;
    for (int i = 0; i < WallRoofCount; ++i) {
        const TWallRoofKey& k = WallRoofKeys[std::size_t(i)];
        if (!section || std::string_view(section) != k.section) {
            if (section)
                text += "\r\n";
            section = k.section;
            text += '[' + std::string(section) + "]\r\n";
        }
        text += std::string(k.key) + '=' + storedValue(entries[std::size_t(i)]) + "\r\n";
    }
    return text;
}

TWallRoofEntries ParseWallRoofText(std::string_view text, const std::string& path)
{
    TWallRoofEntries entries;
    for (int i = 0; i < WallRoofCount; ++i) {
        const TWallRoofKey& k = WallRoofKeys[std::size_t(i)];
        std::optional<std::string> value = profile::read(text, k.section, k.key);
        if (!value)
            throw FileError(cannotUse(path, ": " + std::string(k.key) + " in section [" + k.section + "] is missing."));
        if (value->size() > EntryLength)
            throw FileError(cannotUse(path, ": " + std::string(k.key) + " is longer than 16 characters."));
        value->resize(EntryLength, ' ');
        entries[std::size_t(i)] = *value;
    }
    return entries;
}

std::optional<TWallRoofEntries> ReadWallRoofFile(const std::string& path)
{
    std::string bytes;
    const ReadResult read = readRegularFile(path, bytes, MaxWallRoofBytes);
    if (read == ReadResult::Missing)
        return std::nullopt;
    if (read != ReadResult::Ok)
        throw FileError(cannotUse(path, cannotOpenReason(read)));
    return ParseWallRoofText(bytes, path);
}

void WriteWallRoofFile(const std::string& path, const TWallRoofEntries& entries)
{
    if (const WriteResult written = writeFileAtomically(path, FormatWallRoofText(entries)); written != WriteResult::Ok)
        throw FileError("Cannot create file " + path + cannotCreateReason(written));
}

} // namespace kr
