#include "print/Printing.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

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

int clampToInt(std::int64_t value) { return int(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX)); }

} // namespace

TPageGeometry PageGeometry(const TPrintSurface& s, const TPageSetup& o)
{
    TPageGeometry p;
    p.left = MarginToDevice(o.leftMargin, s.DpiX());
    p.top = MarginToDevice(o.topMargin, s.DpiY());
    p.bottom = MarginToDevice(o.bottomMargin, s.DpiY());
    p.width = clampToInt(s.PageWidth() - MarginToDevice64(std::int64_t(o.leftMargin) + o.rightMargin, s.DpiX()));
    p.pageWidth = s.PageWidth();
    p.pageHeight = s.PageHeight();
    return p;
}

std::int64_t MarginToDevice64(std::int64_t millimetres, int dpi)
{
    // Tenths over 254 rather than over 25.4, which has no exact binary form.
    const long double pixels = std::nearbyint(static_cast<long double>(dpi) * static_cast<long double>(millimetres)
                                              * 10 / 254);
    constexpr long double Limit = static_cast<long double>(INT64_MAX / 2);
    return std::int64_t(std::clamp(pixels, -Limit, Limit));
}

int MarginToDevice(int millimetres, int dpi) { return clampToInt(MarginToDevice64(millimetres, dpi)); }

int PageHeaderHeight() { return std::max(MinHeaderHeight, Logo().height()); }

std::optional<QString> MarginRefusal(const TPrintSurface& s, const TPageSetup& o, const TReportRoom& room)
{
    const std::pair<const char*, int> margins[] = {
        {"top", o.topMargin}, {"right", o.rightMargin}, {"bottom", o.bottomMargin}, {"left", o.leftMargin}};
    for (const auto& [name, mm] : margins)
        if (mm < 0)
            return QStringLiteral("A %1 margin of %2 mm cannot be printed: margins are 0 mm or more. Change it in "
                                  "the setup and print again.")
                .arg(QLatin1String(name))
                .arg(mm);

    const std::int64_t sides = MarginToDevice64(std::int64_t(o.leftMargin) + o.rightMargin, s.DpiX());
    const std::int64_t ends = MarginToDevice64(o.topMargin, s.DpiY()) + MarginToDevice64(o.bottomMargin, s.DpiY());
    const std::int64_t frame = PageHeaderHeight() + std::int64_t(room.linesHeight);
    // With no margins at all the font alone is too large: the margins are not the cause then.
    if (room.columnsWidth > s.PageWidth() || frame >= s.PageHeight())
        return QStringLiteral("The print font (%1, %2 points) is too large for %3 to fit on the page. Choose a "
                              "smaller print font in the setup and print again.")
            .arg(o.font.name, QString::number(o.font.points), room.what);
    if (s.PageWidth() - sides < room.columnsWidth)
        return QStringLiteral("The page has no room for %1 with a left margin of %2 mm and a right margin of %3 mm. "
                              "Make the margins smaller in the setup and print again.")
            .arg(room.what)
            .arg(o.leftMargin)
            .arg(o.rightMargin);
    // The first line goes where the header ends and must end above the bottom margin.
    if (ends + frame >= s.PageHeight())
        return QStringLiteral("The page has no room for %1 with a top margin of %2 mm and a bottom margin of %3 mm. "
                              "Make the margins smaller in the setup and print again.")
            .arg(room.what)
            .arg(o.topMargin)
            .arg(o.bottomMargin);
    return std::nullopt;
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
