#include "mainwindow/RecentFiles.h"

#include <QStringDecoder>
#include <string_view>

#include "platform/Text.h"

namespace kr {

namespace {
constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
} // namespace

void TRecentFiles::Add(const QString& fileName)
{
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (items.at(i).compare(fileName, Qt::CaseInsensitive) == 0) {
            // The entry keeps the spelling it was first stored with.
            items.move(i, 0);
            changed();
            return;
        }
    }
    items.prepend(fileName);
    while (items.size() > Capacity)
        items.removeLast();
    changed();
}

void TRecentFiles::Clear()
{
    items.clear();
    changed();
}

QString TRecentFiles::MenuCaption(int index, const QString& fileName)
{
    const QChar accel = index < 9 ? QChar(u'1' + index) : QChar(u'A' + (index - 9));
    QString path = fileName;
    path.replace(QLatin1Char('&'), QLatin1String("&&"));
    return QLatin1Char('&') + accel + QLatin1Char(' ') + path;
}

void TRecentFiles::Assign(const QStringList& names)
{
    items = names.mid(0, Capacity);
    changed();
}

std::string TRecentFiles::StoredName(const QString& fileName)
{
    std::string cp1252 = toCp1252(fileName);
    // A Windows-1252 name that happens to begin with the mark's three bytes
    // takes the UTF-8 form too, so the mark always means UTF-8.
    if (fromCp1252(cp1252) == fileName && !std::string_view(cp1252).starts_with(Utf8Mark))
        return cp1252;
    return std::string(Utf8Mark) + fileName.toStdString();
}

QString TRecentFiles::NameFromStored(const std::string& stored)
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

void TRecentFiles::changed()
{
    if (onChanged)
        onChanged();
}

} // namespace kr
