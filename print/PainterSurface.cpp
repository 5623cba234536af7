#include "print/PainterSurface.h"

#include <QFontMetrics>
#include <QPageLayout>
#include <QPagedPaintDevice>

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

TPainterSurface::TPainterSurface(QPainter& p, QPagedPaintDevice& d) : painter(p), device(d)
{
    SetFont(font);
    painter.setBackgroundMode(Qt::TransparentMode);
}

void TPainterSurface::SetFont(const TPrintFont& f)
{
    font = f;
    painter.setFont(QtFont(f, &device));
    painter.setPen(QColor::fromRgb(QRgb(0xFF000000u | (f.rgb & 0xFFFFFFu))));
}

int TPainterSurface::TextWidth(const QString& text) const
{
    return painter.fontMetrics().horizontalAdvance(text);
}

int TPainterSurface::TextHeight(const QString&) const
{
    return painter.fontMetrics().height();
}

void TPainterSurface::TextOut(int x, int y, const QString& text)
{
    int left = x;
    if (align == TTextAlign::CenterTop)
        left = x - TextWidth(text) / 2;
    else if (align == TTextAlign::RightTop)
        left = x - TextWidth(text);
    painter.drawText(QPoint(left, y + painter.fontMetrics().ascent()), text);
}

bool TPainterSurface::DrawImage(int x, int y, const QImage& image)
{
    if (image.isNull())
        return false;
    painter.drawImage(QRect(x, y, image.width(), image.height()), image);
    return true;
}

void TPainterSurface::NewPage()
{
    device.newPage();
}

int TPainterSurface::PageWidth() const { return device.width(); }
int TPainterSurface::PageHeight() const { return device.height(); }
int TPainterSurface::DpiX() const { return device.logicalDpiX(); }
int TPainterSurface::DpiY() const { return device.logicalDpiY(); }

void SetPdfLayout(QPagedPaintDevice& d)
{
    d.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
}

} // namespace kr
