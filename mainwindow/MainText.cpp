#include "mainwindow/MainText.h"

#include <QMimeData>
#include <QUrl>

#include "core/Readings.h"
#include "platform/Text.h"

namespace kr {

QString WindowCaption(const std::string& fileName)
{
    return main_text::CaptionPrefix + fromNativePath(fileName) + QLatin1Char(']');
}

QString NotesBoxText(const std::string& notesText)
{
    QString notes = fromCp1252(notesText);
    notes.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    // The last line's end would show as one more, empty line in the box.
    if (notes.endsWith(QLatin1Char('\n')))
        notes.chop(1);
    return notes;
}

std::vector<std::string> NotesFromBox(const QString& text)
{
    std::vector<std::string> lines;
    if (text.isEmpty())
        return lines;
    for (const QString& line : text.split(QLatin1Char('\n')))
        lines.push_back(toCp1252(line));
    return lines;
}

std::string ReadingNoteLine(const TReading& reading, bool centigrade)
{
    return "Moisture Content " + reading.GetMoistureText() + "   recorded on " + reading.GetDateTimeText() +
           "  at " + reading.GetTemperatureText(centigrade) + "\xB0" + (centigrade ? "C" : "F");
}

bool ExportsJson(const QString& path, int filterIndex)
{
    return path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive)
        || (filterIndex == 1 && !path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive));
}

QString clipboardExportText(const TFile& doc, bool centigrade)
{
    return fromCp1252(ExportClipboardText(doc, centigrade));
}

QString startFileFrom(const QStringList& arguments)
{
    const int at = arguments.size() > 1 && arguments.at(1).toUpper() == QLatin1String("ND") ? 2 : 1;
    return at < arguments.size() ? arguments.at(at) : QString();
}

QString droppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls().constFirst().isLocalFile())
        return {};
    return data->urls().constFirst().toLocalFile();
}

} // namespace kr
