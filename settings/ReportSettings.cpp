#include "settings/ReportSettings.h"

#include "settings/Appglob.h"
#include "settings/FileFolders.h"
#include "settings/IniFile.h"

namespace kr {

namespace {
constexpr const char* InspectorKey = "Inspector";
} // namespace

QString ReadInspector(const IniFile& ini)
{
    const auto stored = ini.read(ReportSection, InspectorKey);
    return stored ? pathFromStored(*stored).trimmed() : QString();
}

QString ReadInspector() { return ReadInspector(IniFile(IniFilePath())); }

void WriteInspector(IniFile& ini, const QString& name)
{
    // Blanks around a value are lost on reading, and a name in quotes would
    // lose them: both are settled here, so what is written reads back.
    ini.writeString(ReportSection, InspectorKey, profile::quoteIfEnclosed(storedPath(name.trimmed())));
}

void WriteInspector(const QString& name)
{
    IniFile ini(IniFilePath());
    WriteInspector(ini, name);
}

} // namespace kr
