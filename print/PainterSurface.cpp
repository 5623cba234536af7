#include "print/PainterSurface.h"

#include <QFontMetrics>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <cmath>

namespace kr {

QFont QtFont(const TPrintFont& f, QPaintDevice* device)
{
    QFont q(f.name);
    q.setPointSize(std::max(1, f.points));
    q.setBold(f.bold);
    q.setItalic(f.italic);
    q.setUnderline(f.underline);
    q.setStrikeOut(f.strikeOut);
    // Metrics are those of the device, not of a screen.
    q.setHintingPreference(QFont::PreferNoHinting);
    return device ? QFont(q, device) : q;
}

TPainterSurface::TPainterSurface(QPainter* p, QPagedPaintDevice& d) : painter(p), device(d)
{
    SetFont(font);
    if (painter)
        painter->setBackgroundMode(Qt::TransparentMode);
}

void TPainterSurface::SetFont(const TPrintFont& f)
{
    font = f;
    qfont = QtFont(f, &device);
    if (painter) {
        painter->setFont(qfont);
        painter->setPen(QColor::fromRgb(QRgb(0xFF000000u | (f.rgb & 0xFFFFFFu))));
    }
}

int TPainterSurface::TextWidth(const QString& text) const
{
    return QFontMetrics(qfont, &device).horizontalAdvance(text);
}

int TPainterSurface::TextHeight(const QString&) const
{
    return QFontMetrics(qfont, &device).height();
}

void TPainterSurface::TextOut(int x, int y, const QString& text)
{
    int left = x;
    if (align == TTextAlign::CenterTop)
        left = x - TextWidth(text) / 2;
    else if (align == TTextAlign::RightTop)
        left = x - TextWidth(text);
    if (painter)
        painter->drawText(QPoint(left, y + QFontMetrics(qfont, &device).ascent()), text);
}

bool TPainterSurface::DrawImage(int x, int y, const QImage& image)
{
    if (image.isNull() || !painter)
        return false;
    painter->drawImage(QRect(x, y, image.width(), image.height()), image);
    return true;
}

void TPainterSurface::DrawWith(const QRect& area, const PaintArea& draw)
{
    if (!painter)
        return;
    painter->save();
    draw(*painter, QRectF(area), qfont);
    painter->restore();
}

void TPrintSurface::DrawWith(const QRect& area, const PaintArea& draw)
{
    if (area.isEmpty())
        return;
    QImage image(area.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    const int dotsPerMetre = int(std::lround(DpiX() / 0.0254));
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    {
        QPainter p(&image);
        draw(p, QRectF(QPointF(0, 0), QSizeF(area.size())), QtFont(Font(), &image));
    }
    DrawImage(area.x(), area.y(), image);
}

void TPainterSurface::NewPage()
{
    device.newPage();
}

int TPainterSurface::PageWidth() const { return device.width(); }
int TPainterSurface::PageHeight() const { return device.height(); }
int TPainterSurface::DpiX() const { return device.logicalDpiX(); }
int TPainterSurface::DpiY() const { return device.logicalDpiY(); }

QPageLayout PdfPageLayout()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(6.35, 6.35, 6.35, 6.35),
                       QPageLayout::Millimeter);
}

} // namespace kr
