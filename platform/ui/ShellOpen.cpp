#include "platform/ui/ShellOpen.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace kr {

namespace {

// A path that exists is a file, even when it looks like an address.
bool desktopOpen(const QString& target)
{
    const QUrl url = QFileInfo::exists(target) ? QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath())
                                               : QUrl::fromUserInput(target);
    return QDesktopServices::openUrl(url);
}

std::function<bool(const QString&)>& opener()
{
    static std::function<bool(const QString&)> open = desktopOpen;
    return open;
}

std::function<void()>& beeper()
{
    static std::function<void()> beep = [] { QApplication::beep(); };
    return beep;
}

} // namespace

bool shellOpen(const QString& target)
{
    if (opener()(target))
        return true;
    beeper()();
    return false;
}

void setShellOpener(std::function<bool(const QString&)> open) { opener() = open ? std::move(open) : desktopOpen; }

void setShellBeeper(std::function<void()> beep)
{
    beeper() = beep ? std::move(beep) : [] { QApplication::beep(); };
}

} // namespace kr
