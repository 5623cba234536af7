#include "print/LibraryPrint.h"

#include <utility>

#include "library/ItemObj.h"
#include "platform/Text.h"

namespace kr {

namespace {

// The x of the name and of the SG column.
std::pair<int, int> libraryColumns(const TPrintSurface& s, int left)
{
    const int xName = left + s.TextWidth(QStringLiteral("  XX"));
    return {xName, xName + s.TextWidth(QStringLiteral("XXXXXXXXXXXXX  XXX"))};
}

} // namespace

std::optional<QString> LibraryPrintRefusal(TPrintSurface& s, const TPageSetup& o)
{
    const TPrintFont before = s.Font();
    s.SetFont(o.font);
    // A line ends with its SG; one line must fit below the header.
    const int sgEnd = libraryColumns(s, 0).second + s.TextWidth(QStringLiteral("0.00"));
    const TReportRoom room{QStringLiteral("the species"), sgEnd, s.TextHeight(QStringLiteral("X"))};
    s.SetFont(before);
    return MarginRefusal(s, o, room);
}

bool PrintLibrary(TPrintSurface& s, const std::vector<std::string>& codes, const TFactorCatalogue& catalogue,
                  const std::string& fileName, const TPageSetup& o)
{
    if (LibraryPrintRefusal(s, o))
        return false;
    s.SetFont(o.font);
    s.SetAlign(TTextAlign::LeftTop);
    const TPageGeometry p = PageGeometry(s, o);
    const int h = s.TextHeight(QStringLiteral("X"));
    const auto [xName, xSG] = libraryColumns(s, p.left);

    int y = p.top + PrintPageHeader(s, p.width, p.left, p.top, QString::fromLatin1(LibraryPrintTitle));
    for (const std::string& code : codes) {
        if (const TItem* item = catalogue.FindByCode(code)) {
            s.TextOut(xName, y, fromCp1252(item->GetName()));
            s.TextOut(xSG, y, fromCp1252(item->DisplaySG()));
        }
        y += h;
    }
    PrintPageFooter(s, p.pageWidth, 0, p.pageHeight - p.bottom, fromNativePath(fileName), 1, o.now);
    return true;
}

TPrintJob LibraryPrintJob(std::vector<std::string> codes, const TFactorCatalogue& catalogue, std::string fileName,
                          const TPageSetup& setup)
{
    TPrintJob job;
    job.refusal = [setup](TPrintSurface& s) { return LibraryPrintRefusal(s, setup); };
    job.draw = [codes = std::move(codes), &catalogue, fileName = std::move(fileName), setup](TPrintSurface& s) {
        PrintLibrary(s, codes, catalogue, fileName, setup);
    };
    return job;
}

} // namespace kr
