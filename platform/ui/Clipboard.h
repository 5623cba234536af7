#pragma once
#include <QString>

namespace kr {

// The system clipboard, text only. Setting replaces whatever it held.
void setClipboardText(const QString& text);
QString clipboardText();

} // namespace kr
