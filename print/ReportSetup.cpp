#include "print/ReportSetup.h"

#include "platform/Text.h"
#include "settings/IniFile.h"

namespace kr {

TPrintFont ReportFont(const StoredFont& f)
{
    TPrintFont font;
    font.name = fromCp1252(f.Name);
    font.points = f.Size;
    font.bold = f.Style.bold;
    font.italic = f.Style.italic;
    font.underline = f.Style.underline;
    font.strikeOut = f.Style.strikeOut;
    if (f.Color >= 0) {
        const unsigned bgr = unsigned(f.Color);
        font.rgb = ((bgr & 0xFFu) << 16) | (bgr & 0xFF00u) | ((bgr >> 16) & 0xFFu);
    }
    return font;
}

StoredFont StoredPrintFont(const IniFile& ini)
{
    StoredFont font;
    readFont(ini, SetupLayoutSection, PrintFontPrefix, font, 96);
    return font;
}

TPageSetup PageSetupFrom(const Settings& s, const StoredFont& font)
{
    TPageSetup setup;
    setup.font = ReportFont(font);
    setup.topMargin = s.TopMargin;
    setup.rightMargin = s.RightMargin;
    setup.bottomMargin = s.BottomMargin;
    setup.leftMargin = s.LeftMargin;
    return setup;
}

} // namespace kr
