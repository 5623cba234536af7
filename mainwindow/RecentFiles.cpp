#include "mainwindow/RecentFiles.h"

#include "settings/FileFolders.h"

namespace kr {

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

std::string TRecentFiles::StoredName(const QString& fileName) { return storedPath(fileName); }

QString TRecentFiles::NameFromStored(const std::string& stored) { return pathFromStored(stored); }

void TRecentFiles::changed()
{
    if (onChanged)
        onChanged();
}

} // namespace kr
