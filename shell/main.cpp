#include <QApplication>

#include "platform/SystemRegional.h"
#include "mainwindow/Main.h"
#include "shell/Startup.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KR"));
    // The user's decimal and date separators and time format, read once.
    kr::applySystemRegional();
    kr::StartupOptions options;
    // For trying the program quickly; the splash stays three seconds otherwise.
    bool ok = false;
    const int splashMs = qEnvironmentVariableIntValue("KR_SPLASH_MS", &ok);
    if (ok && splashMs >= 0)
        options.splashMs = splashMs;
    options.startFile = kr::startFileFrom(app.arguments());
    return kr::runProgram(app, options);
}
