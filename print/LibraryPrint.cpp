#include "print/LibraryPrint.h"

#include "library/ItemObj.h"
#include "platform/Text.h"

namespace kr {

void PrintLibrary(TPrintSurface& s, const std::vector<std::string>& codes, const TFactorCatalogue& catalogue,
                  const std::string& fileName, const TPageSetup& o)
{
    s.SetFont(o.font);
    s.SetAlign(TTextAlign::LeftTop);
    const TPageGeometry p = PageGeometry(s, o);
    const int h = s.TextHeight(QStringLiteral("X"));
    const int xName = p.left + s.TextWidth(QStringLiteral("  XX"));
    const int xSG = xName + s.TextWidth(QStringLiteral("XXXXXXXXXXXXX  XXX"));

    int y = p.top + PrintPageHeader(s, p.width, p.left, p.top, QString::fromLatin1(LibraryPrintTitle));
    for (const std::string& code : codes) {
        if (const TItem* item = catalogue.FindByCode(code)) {
            s.TextOut(xName, y, fromCp1252(item->GetName()));
            s.TextOut(xSG, y, fromCp1252(item->FormatSG()));
        }
        y += h;
    }
    PrintPageFooter(s, p.pageWidth, 0, p.pageHeight - p.bottom, fromNativePath(fileName), 1, o.now);
}

TPrintJob LibraryPrintJob(std::vector<std::string> codes, const TFactorCatalogue& catalogue, std::string fileName,
                          const TPageSetup& setup)
{
    TPrintJob job;
    job.draw = [codes = std::move(codes), &catalogue, fileName = std::move(fileName), setup](TPrintSurface& s) {
        PrintLibrary(s, codes, catalogue, fileName, setup);
    };
    return job;
}

} // namespace kr
