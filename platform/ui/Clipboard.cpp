#include "platform/ui/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace kr {

void setClipboardText(const QString& text)
{
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

QString clipboardText() { return QGuiApplication::clipboard()->text(QClipboard::Clipboard); }

} // namespace kr
