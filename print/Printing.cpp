#include "print/Printing.h"

#include <algorithm>
#include <cmath>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

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

// Our own mark, drawn once: a growth-ring disc with a water drop beside the
// maker's name. Text needs a GUI application; without one the logo is empty.
QImage Logo()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return {};
    static const QImage logo = [] {
        QImage image(323, 73, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(47, 93, 58));
        p.drawRoundedRect(QRectF(2, 4, 66, 65), 10, 10);
        p.setBrush(QColor(233, 216, 166));
        p.drawEllipse(QPointF(35, 36.5), 23, 23);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(138, 106, 58), 1.6));
        for (double r : {17.0, 11.5, 6.0})
            p.drawEllipse(QPointF(35, 36.5), r, r);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(59, 130, 196));
        QPainterPath drop;
        drop.moveTo(57, 12);
        drop.cubicTo(52, 20, 49, 25, 49, 29);
        drop.arcTo(QRectF(49, 21, 16, 16), 180, 180);
        drop.cubicTo(65, 25, 62, 20, 57, 12);
        p.drawPath(drop);
        QFont name(QStringLiteral("Arial"));
        name.setPixelSize(34);
        name.setBold(true);
        p.setFont(name);
        p.setPen(QColor(47, 93, 58));
        p.drawText(QRectF(80, 4, 243, 42), Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("KESTRUNE"));
        QFont line(QStringLiteral("Arial"));
        line.setPixelSize(14);
        p.setFont(line);
        p.setPen(QColor(107, 114, 128));
        p.drawText(QRectF(82, 48, 241, 20), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("wood moisture meters"));
        return image;
    }();
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
