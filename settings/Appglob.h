#pragma once
#include <QString>
#include <functional>

namespace kr {

// Where the program keeps its own files: the settings file, the help file and
// the erase backups lie in one writable folder, the program folder. That
// folder is the executable's folder, as on Windows, unless the environment
// variable KR_HOME names another (tests use it), or the program is an
// installed copy (its folder is not writable, or it lies in <prefix>/bin with
// the data in <prefix>/share/kr): then it is a folder of the user's own.
//
// Files the program only reads (the catalogue, the user guides) are looked
// up in the program folder first, so a user's copy wins, then in the
// installed data folder.
//
// The paths are worked out once, by InitAppglob() at start (after the
// application object exists) or on first use.
void InitAppglob();

// The program's folder, absolute, with a trailing separator.
const QString& ProgramFolder();
// ProgramFolder() + "kr.ini".
const QString& IniFilePath();
// ProgramFolder() + "kr.hlp".
const QString& HelpFilePath();
// ProgramFolder() + "Added.dat", the user catalogue: the species library
// downloads added to the factor catalogue, kept beside kr.ini.
const QString& AddedFilePath();
// DataFilePath("Factors.dat"), the factor catalogue.
const QString& FactorsFilePath();
// The installed data folder, <prefix>/share/kr/ beside <prefix>/bin, with a
// trailing separator.
const QString& DataFolder();
// A read-only file: the program folder's copy when it exists, else the data
// folder's, else the program folder's path, so a message names where the
// file was expected.
QString DataFilePath(const QString& name);

// Why nothing may be written at path, as a message for the user: something
// other than a regular file is there (a folder, a device, a FIFO), or it is
// one of the program's own files (the catalogues, kr.ini, wallroof.ini, the
// backups data1.bak .. data9.bak) under any name or link. Empty when the
// path may be written.
QString WriteRefusal(const QString& path);

// What decides the program folder, gathered by InitAppglob.
struct ProgramFolderFacts {
    QString krHome;               // KR_HOME, empty when unset
    QString executableFolder;     // empty before the application object exists
    bool executableFolderWritable = true;
    bool installedLayout = false; // the data folder holds the catalogue, the executable's folder does not
    QString userFolder;           // the per-user folder of an installed copy
};

// The rule behind InitAppglob, open for tests.
QString programFolderFrom(const ProgramFolderFacts& facts);
QString programFolderFrom(const QString& krHome, const QString& executableFolder);
// <executableFolder>/../share/kr/, cleaned.
QString dataFolderFrom(const QString& executableFolder);
// The lookup behind DataFilePath, with the file test as a parameter.
QString dataFilePathFrom(const QString& name, const QString& programFolder, const QString& dataFolder,
                         const std::function<bool(const QString&)>& exists);

} // namespace kr
