#include "settings/FileFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>
#include <string_view>

#include "core/Errors.h"
#include "platform/Text.h"
#include "settings/Appglob.h"
#include "settings/IniFile.h"

namespace kr {

namespace {

constexpr const char* FoldersSection = "Folders";
constexpr const char* LastKey = "Last";
constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";

#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
constexpr Qt::CaseSensitivity PathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity PathCase = Qt::CaseSensitive;
#endif

bool isFolder(const QString& path) { return !path.isEmpty() && QFileInfo(path).isDir(); }

QString withSlash(const QString& path)
{
    QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
    if (!clean.endsWith(QLatin1Char('/')))
        clean += QLatin1Char('/');
    return clean;
}

QString rememberedFolder()
{
    const auto stored = IniFile(IniFilePath()).read(FoldersSection, LastKey);
    return stored ? pathFromStored(*stored) : QString();
}

std::optional<FileDialogResult> remembered(std::optional<FileDialogResult> chosen)
{
    if (chosen && !chosen->path.isEmpty())
        rememberFolderOf(chosen->path);
    return chosen;
}

} // namespace

bool isWithinFolder(const QString& folder, const QString& programFolder)
{
    return !programFolder.isEmpty() && withSlash(folder).startsWith(withSlash(programFolder), PathCase);
}

QString startFolderFrom(const QString& remembered, const QString& documents, const QString& home,
                        const QString& programFolder)
{
    if (isFolder(remembered) && !isWithinFolder(remembered, programFolder))
        return remembered;
    if (isFolder(documents) && !isWithinFolder(documents, programFolder))
        return documents;
    return home;
}

QString startFolder()
{
    return startFolderFrom(rememberedFolder(), QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                           QDir::homePath(), ProgramFolder());
}

void rememberFolderOf(const QString& chosenPath)
{
    const QString folder = QFileInfo(chosenPath).absolutePath();
    if (isWithinFolder(folder, ProgramFolder()))
        return;
    // Only a convenience: a kr.ini that cannot be written must not spoil the
    // open or save the user asked for.
    try {
        IniFile ini(IniFilePath());
        const std::string stored = storedPath(QDir::toNativeSeparators(folder));
        if (ini.read(FoldersSection, LastKey) != stored)
            ini.writeString(FoldersSection, LastKey, stored);
    } catch (const KrError&) {
    }
}

std::optional<FileDialogResult> askOpenFile(FileDialogRequest request)
{
    request.directory = startFolder();
    return remembered(prompts().openFile(request));
}

std::optional<FileDialogResult> askSaveFile(FileDialogRequest request)
{
    request.directory = startFolder();
    return remembered(prompts().saveFile(request));
}

std::string storedPath(const QString& path)
{
    std::string cp1252 = toCp1252(path);
    // A Windows-1252 name that happens to begin with the mark's three bytes
    // takes the UTF-8 form too, so the mark always means UTF-8.
    if (fromCp1252(cp1252) == path && !std::string_view(cp1252).starts_with(Utf8Mark))
        return cp1252;
    return std::string(Utf8Mark) + path.toStdString();
}

QString pathFromStored(const std::string& stored)
{
    if (std::string_view(stored).starts_with(Utf8Mark)) {
        // A mark of our own is dropped; one that belongs to the name is kept.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
        const QByteArray rest = QByteArray::fromStdString(stored.substr(Utf8Mark.size()));
        QString name = utf8(rest);
        if (!utf8.hasError())
            return name;
    }
    return fromCp1252(stored);
}

} // namespace kr
