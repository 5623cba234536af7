#include "print/Printing.h"

#include <algorithm>
#include <cmath>


#include "platform/Text.h"

namespace kr {

namespace {

constexpr int MinHeaderHeight = 150;

// Sets the report font's name and size, keeping its style and colour; puts
// the font back and the alignment to left/top when it goes.
class FontScope {
public:
    FontScope(TPrintSurface& s, int points) : surface(s), font(s.Font())
    {
        TPrintFont f = font;
        f.name = QStringLiteral("Arial");
        f.points = points;
        surface.SetFont(f);
    }
    ~FontScope()
    {
        surface.SetAlign(TTextAlign::LeftTop);
        surface.SetFont(font);
    }
    FontScope(const FontScope&) = delete;
    FontScope& operator=(const FontScope&) = delete;

private:
    TPrintSurface& surface;
    TPrintFont font;
};

} // namespace

TPageGeometry PageGeometry(const TPrintSurface& s, const TPageSetup& o)
{
    TPageGeometry p;
    p.left = MarginToDevice(o.leftMargin, s.DpiX());
    p.top = MarginToDevice(o.topMargin, s.DpiY());
    p.bottom = MarginToDevice(o.bottomMargin, s.DpiY());
    p.width = s.PageWidth() - MarginToDevice(o.leftMargin + o.rightMargin, s.DpiX());
    p.pageWidth = s.PageWidth();
    p.pageHeight = s.PageHeight();
    return p;
}

int MarginToDevice(int millimetres, int dpi)
{
    return int(std::nearbyint(double(dpi) * double(millimetres) / 25.4));
}

// Our own mark (a growth-ring disc and a water drop beside the maker's
// name), kept as a resource so every page shows the same pixels.
QImage Logo()
{
    static const QImage logo(QStringLiteral(":/print/logo.png"));
    return logo;
}

int PrintPageHeader(TPrintSurface& surface, int width, int left, int top, const QString& title)
{
    int height = MinHeaderHeight;
    const QImage logo = Logo();
    if (!logo.isNull() && surface.DrawImage(left, top, logo))
        height = std::max(MinHeaderHeight, logo.height());
    const FontScope scope(surface, 15);
    surface.SetAlign(TTextAlign::CenterTop);
    surface.TextOut(left + width / 2, top, title);
    return height;
}

void PrintPageFooter(TPrintSurface& surface, int right, int left, int y, const QString& text, int pageNumber,
                     TDateTime now)
{
    const FontScope scope(surface, 8);
    surface.SetAlign(TTextAlign::LeftTop);
    if (!text.isEmpty())
        surface.TextOut(left, y, text);
    const QString stamp =
        fromCp1252(DateTimeToSystemText(now)) + QStringLiteral("     Page:") + QString::number(pageNumber);
    surface.SetAlign(TTextAlign::RightTop);
    surface.TextOut(right - surface.TextWidth(QStringLiteral("XXX")), y, stamp);
}

} // namespace kr
