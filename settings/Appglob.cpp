#include "settings/Appglob.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "core/AtomicFile.h"

namespace kr {

namespace {

const QString FactorsName = QStringLiteral("Factors.dat");

struct Paths {
    bool ready = false;
    bool guessed = false; // worked out before the application object existed
    QString folder, ini, help, added, factors, data;
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

QString asFolder(const QString& path)
{
    QString folder = QDir::cleanPath(QDir(path).absolutePath());
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return QDir::toNativeSeparators(folder);
}

// kr and kr-cli share it, whatever their application names: ~/.local/share/kr on Linux.
QString userFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/kr");
}

bool fileExists(const QString& path) { return QFileInfo(path).isFile(); }

} // namespace

QString programFolderFrom(const ProgramFolderFacts& facts)
{
    QString folder = facts.krHome;
    if (folder.isEmpty()) {
        const bool installed = !facts.executableFolderWritable || facts.installedLayout;
        folder = installed && !facts.userFolder.isEmpty() ? facts.userFolder : facts.executableFolder;
    }
    if (folder.isEmpty())
        folder = QDir::currentPath();
    return asFolder(folder);
}

QString programFolderFrom(const QString& krHome, const QString& executableFolder)
{
    ProgramFolderFacts facts;
    facts.krHome = krHome;
    facts.executableFolder = executableFolder;
    return programFolderFrom(facts);
}

QString dataFolderFrom(const QString& executableFolder)
{
    return asFolder(executableFolder + QStringLiteral("/../share/kr"));
}

QString dataFilePathFrom(const QString& name, const QString& programFolder, const QString& dataFolder,
                         const std::function<bool(const QString&)>& exists)
{
    if (!exists(programFolder + name) && !dataFolder.isEmpty() && exists(dataFolder + name))
        return dataFolder + name;
    return programFolder + name;
}

void InitAppglob()
{
    ProgramFolderFacts facts;
    facts.krHome = qEnvironmentVariable("KR_HOME");
    // applicationDirPath() needs the application object; without one (a
    // plain tool) the current folder stands in.
    if (QCoreApplication::instance())
        facts.executableFolder = QCoreApplication::applicationDirPath();
    Paths& p = paths();
    p.data = facts.executableFolder.isEmpty() ? QString() : dataFolderFrom(facts.executableFolder);
    if (facts.krHome.isEmpty() && !facts.executableFolder.isEmpty()) {
        facts.executableFolderWritable = QFileInfo(facts.executableFolder).isWritable();
        // Root may write anywhere, and a prefix in the user's home is writable:
        // the layout tells an installed copy too.
        facts.installedLayout =
            fileExists(p.data + FactorsName) && !fileExists(facts.executableFolder + QLatin1Char('/') + FactorsName);
        facts.userFolder = userFolder();
    }
    p.folder = programFolderFrom(facts);
    // A per-user folder (or KR_HOME) may not exist yet. Should it fail to
    // appear, the first settings save says so.
    if (!facts.krHome.isEmpty() || (!facts.userFolder.isEmpty() && p.folder == asFolder(facts.userFolder)))
        makeFolders(QFile::encodeName(p.folder).toStdString());
    p.ini = p.folder + QStringLiteral("kr.ini");
    p.help = p.folder + QStringLiteral("kr.hlp");
    p.added = p.folder + QStringLiteral("Added.dat");
    p.factors = dataFilePathFrom(FactorsName, p.folder, p.data, fileExists);
    p.ready = true;
    p.guessed = facts.krHome.isEmpty() && facts.executableFolder.isEmpty();
}

const QString& ProgramFolder() { return readyPaths().folder; }
const QString& IniFilePath() { return readyPaths().ini; }
const QString& HelpFilePath() { return readyPaths().help; }
const QString& AddedFilePath() { return readyPaths().added; }
const QString& FactorsFilePath() { return readyPaths().factors; }
const QString& DataFolder() { return readyPaths().data; }

QString WriteRefusal(const QString& path)
{
    const std::string target = QFile::encodeName(path).toStdString();
    const QString shown = QDir::toNativeSeparators(path);
    if (isNonRegularFile(target))
        return QStringLiteral("%1 is not a regular file; nothing was written.").arg(shown);
    const Paths& p = readyPaths();
    // The read-only files may lie in either folder; a copy in the program
    // folder, even one not made yet, would take the installed one's place.
    QStringList own;
    for (const QString& folder : {p.folder, p.data}) {
        if (folder.isEmpty())
            continue;
        own << folder + FactorsName << folder + QStringLiteral("wallroof.ini");
    }
    own << p.ini << p.added;
    // The backup names of the meter erase (meter/BackupSlots).
    for (int n = 1; n <= 9; ++n)
        own << p.folder + QStringLiteral("data%1.bak").arg(n);
    for (const QString& file : own)
        if (sameFile(target, QFile::encodeName(file).toStdString()))
            return QStringLiteral("%1 is one of the program's own files (%2); nothing was written.")
                .arg(shown, QFileInfo(file).fileName());
    return {};
}

QString DataFilePath(const QString& name)
{
    const Paths& p = readyPaths();
    return dataFilePathFrom(name, p.folder, p.data, fileExists);
}

} // namespace kr
