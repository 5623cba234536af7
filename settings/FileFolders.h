#pragma once
#include <QString>
#include <optional>
#include <string>

#include "platform/Prompts.h"

namespace kr {

// Every open and save dialog of the program goes through these two: they
// start in the folder where the user last chose a file, kept in kr.ini for
// the next run, and the first time (or once that folder is gone) in the
// user's documents folder. The program's own folder is never a start: the
// settings and backups there are not the user's documents.
std::optional<FileDialogResult> askOpenFile(FileDialogRequest request);
std::optional<FileDialogResult> askSaveFile(FileDialogRequest request);

// Where the next dialog starts.
QString startFolder();
// Keeps the folder of a chosen file for the next dialog. A file in the
// program's folder leaves the kept folder as it was.
void rememberFolderOf(const QString& chosenPath);

// The rule behind startFolder(): the remembered folder when it exists and
// lies outside the program folder, else the documents folder when it exists,
// else the home folder.
QString startFolderFrom(const QString& remembered, const QString& documents, const QString& home,
                        const QString& programFolder);
// Whether `folder` is `programFolder` or lies inside it.
bool isWithinFolder(const QString& folder, const QString& programFolder);

// A path as kr.ini keeps it: Windows-1252 bytes when the path has a
// Windows-1252 form; otherwise a UTF-8 byte-order mark followed by the path
// in UTF-8, so no name comes back as '?'. pathFromStored reads both back.
std::string storedPath(const QString& path);
QString pathFromStored(const std::string& stored);

} // namespace kr
