#pragma once
#include <QWidget>

namespace kr::test {

// The title as the window system shows it: Qt's "[*]" becomes "*" while the
// window is marked modified and goes otherwise.
inline QString shownTitle(const QWidget& window)
{
    QString title = window.windowTitle();
    return title.replace(QStringLiteral("[*]"), window.isWindowModified() ? QStringLiteral("*") : QString());
}

} // namespace kr::test
