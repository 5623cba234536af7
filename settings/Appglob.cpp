#include "settings/Appglob.h"

#include <QCoreApplication>
#include <QDir>

namespace kr {

namespace {

struct Paths {
    bool ready = false;
    bool guessed = false; // worked out before the application object existed
    QString folder, ini, help, factors;
};

Paths& paths()
{
    static Paths p;
    return p;
}

const Paths& readyPaths()
{
    // Paths guessed before the application object existed are worked out
    // again once it does, so kr.ini never lands in the current folder.
    if (!paths().ready || (paths().guessed && QCoreApplication::instance()))
        InitAppglob();
    return paths();
}

} // namespace

QString programFolderFrom(const QString& krHome, const QString& executableFolder)
{
    QString folder = krHome;
    if (folder.isEmpty())
        folder = executableFolder;
    if (folder.isEmpty())
        folder = QDir::currentPath();
    folder = QDir::cleanPath(QDir(folder).absolutePath());
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return QDir::toNativeSeparators(folder);
}

void InitAppglob()
{
    const QString home = qEnvironmentVariable("KR_HOME");
    // applicationDirPath() needs the application object; without one (a
    // plain tool) the current folder stands in.
    const QString exeFolder = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    Paths& p = paths();
    p.folder = programFolderFrom(home, exeFolder);
    p.ini = p.folder + QStringLiteral("kr.ini");
    p.help = p.folder + QStringLiteral("kr.hlp");
    p.factors = p.folder + QStringLiteral("Factors.dat");
    p.ready = true;
    p.guessed = home.isEmpty() && exeFolder.isEmpty();
}

const QString& ProgramFolder() { return readyPaths().folder; }
const QString& IniFilePath() { return readyPaths().ini; }
const QString& HelpFilePath() { return readyPaths().help; }
const QString& FactorsFilePath() { return readyPaths().factors; }

} // namespace kr
