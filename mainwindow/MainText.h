#pragma once
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "KrVersion.h"

class QMimeData;

namespace kr {

class TFile;
class TReading;

// The program's identity as the window shows it.
namespace main_text {
inline const QString InitialCaption = QStringLiteral("Varnel Kestrune    Version :") + QLatin1String(Version);
inline const QString CaptionPrefix =
    QStringLiteral("Varnel Kestrune   Version :") + QLatin1String(Version) + QStringLiteral("  [");
inline const QString ApplicationTitle = QStringLiteral("KR");
} // namespace main_text

// The caption once a document is shown: its file name in brackets.
QString WindowCaption(const std::string& fileName);

// The document's notes as the notes box shows them: LF line ends, and no
// empty line after the last one.
QString NotesBoxText(const std::string& notesText);
// The notes box's text as the document's lines: as many as the box shows,
// so "a\nb" is two lines and so is "a\n"; an empty box has none.
std::vector<std::string> NotesFromBox(const QString& text);

// The note dialog's line about a reading: moisture, when, and temperature.
std::string ReadingNoteLine(const TReading& reading, bool centigrade);

// Export writes JSON for a ".json" name, or for the JSON filter and a name
// that does not end in ".csv"; CSV otherwise.
bool ExportsJson(const QString& path, int filterIndex);

// The tab-separated export as the clipboard gets it: every line followed by
// CR LF, Windows-1252 turned into Unicode.
QString clipboardExportText(const TFile& doc, bool centigrade);

// The data file named on the command line: the first argument, or the second
// when the first is "ND"; empty when there is none.
QString startFileFrom(const QStringList& arguments);

// The one local file of a drag, if it brings exactly one; empty otherwise.
QString droppedFile(const QMimeData* data);

} // namespace kr
