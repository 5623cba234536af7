#pragma once
#include <QString>

namespace kr {

// Where the program keeps its own files: the settings file, the help file,
// the catalogue and the erase backups all lie in one folder. That folder is
// the executable's folder unless the environment variable KR_HOME names
// another (tests and installed copies use it).
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
// ProgramFolder() + "Factors.dat", the factor catalogue.
const QString& FactorsFilePath();

// Computes the folder from an explicit KR_HOME value and executable folder
// (either may be empty); the rule behind InitAppglob, open for tests.
QString programFolderFrom(const QString& krHome, const QString& executableFolder);

} // namespace kr
