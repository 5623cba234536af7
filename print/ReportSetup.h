#pragma once
#include "print/Printing.h"
#include "settings/FormStorage.h"
#include "settings/Settings.h"

namespace kr {

class IniFile;

// The key prefix under which the setup dialog keeps the print font.
inline constexpr const char* PrintFontPrefix = "lblPrinterFont_Font";

// The report font of a stored font record: its name, size, style and colour
// (a system colour prints black).
TPrintFont ReportFont(const StoredFont& font);

// The print font kept in kr.ini, or Arial 8 when none is kept.
StoredFont StoredPrintFont(const IniFile& ini);

// What a printout takes from the settings and the print font.
TPageSetup PageSetupFrom(const Settings& settings, const StoredFont& font);

} // namespace kr
