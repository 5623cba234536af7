#pragma once
#include <QString>

namespace kr {

class IniFile;

// What inspection reports say of who wrote them, kept in kr.ini's section
// "Report".
inline constexpr const char* ReportSection = "Report";

// The inspector's name as the setup dialog saved it; empty when there is none.
// Kept as kr.ini keeps paths: Windows-1252 when the name has a Windows-1252
// form, else UTF-8 behind a byte-order mark, so no letter comes back as '?'.
QString ReadInspector(const IniFile& ini);
QString ReadInspector(); // from IniFilePath()

// A failing write raises FileError; the file stays as it was.
void WriteInspector(IniFile& ini, const QString& name);
void WriteInspector(const QString& name); // to IniFilePath()

} // namespace kr
