#pragma once
#include <QString>
#include <functional>

namespace kr {

// The program's general error report. A handler that fails throws; the
// exception ends that handler only, its text is shown in an error box and the
// program goes on waiting for the user. Every event handler runs through here
// because an exception must never unwind through Qt's event loop.
//
// Returns true when the handler ran to its end, false when it threw.
bool runHandler(const std::function<void()>& handler);

// The text the report shows for the exception being handled (call only
// inside a catch block). KrError texts are Windows-1252 bytes.
QString currentExceptionText();

// Shows a message in the error report's box ("KR" title, error icon, OK).
void showErrorReport(const QString& text);

} // namespace kr
