#pragma once

class QLineEdit;
class QPlainTextEdit;
class QString;
class QWidget;

namespace kr {

// Keeps a text box to what a data file can hold (Windows-1252): a character
// it cannot hold is taken out as it is typed or pasted, and a note beside the
// box says why, rather than the file getting "?" for it on saving.
void guardCp1252(QLineEdit* edit);
void guardCp1252(QPlainTextEdit* edit);

// The note shown when characters are refused.
QString cp1252RefusalText(const QString& refused);

} // namespace kr
