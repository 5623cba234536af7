#pragma once
#include <QFont>

#include "print/Surface.h"

class QPageLayout;
class QPagedPaintDevice;
class QPainter;

namespace kr {

// The reports' surface on a real paged device: a printer, a PDF file or a
// preview. The painter must be active on `device`; without a painter the
// surface only measures, so a printout can be refused before its job starts.
class TPainterSurface : public TPrintSurface {
public:
    TPainterSurface(QPainter* painter, QPagedPaintDevice& device);

    TPrintFont Font() const override { return font; }
    void SetFont(const TPrintFont& f) override;
    TTextAlign Align() const override { return align; }
    void SetAlign(TTextAlign a) override { align = a; }
    int TextWidth(const QString& text) const override;
    int TextHeight(const QString& text) const override;
    void TextOut(int x, int y, const QString& text) override;
    bool DrawImage(int x, int y, const QImage& image) override;
    void DrawWith(const QRect& area, const PaintArea& draw) override;
    void NewPage() override;
    int PageWidth() const override;
    int PageHeight() const override;
    int DpiX() const override;
    int DpiY() const override;

private:
    QPainter* painter;
    QPagedPaintDevice& device;
    TPrintFont font;
    QFont qfont;
    TTextAlign align = TTextAlign::LeftTop;
};

// The Qt font for a report font on `device` (points at the device's resolution).
QFont QtFont(const TPrintFont& font, QPaintDevice* device);

// PDF pages as every PDF of ours is made: A4 portrait at 300 dots per inch,
// so the logo, drawn one pixel per dot, keeps a readable size. The page
// margins stand for a printer's unprintable edge (a quarter inch), so the
// footer, which spans the printable width, does not touch the paper's edge.
inline constexpr int PdfResolution = 300;
QPageLayout PdfPageLayout();

} // namespace kr
