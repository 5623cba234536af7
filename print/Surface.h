#pragma once
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <functional>

class QPainter;

namespace kr {

// A report font: what the reports set and restore.
struct TPrintFont {
    QString name = QStringLiteral("Arial");
    int points = 8;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    unsigned rgb = 0;   // 0xRRGGBB
};

// Where a text's reference point lies: its top, at its left, centre or right.
enum class TTextAlign { LeftTop, CenterTop, RightTop };

// What the reports draw on: a printer, a PDF file, a preview, or a recording
// in tests. Coordinates are device pixels of the printable area, origin at its
// top-left corner; text is always drawn without filling its background.
class TPrintSurface {
public:
    virtual ~TPrintSurface() = default;

    virtual TPrintFont Font() const = 0;
    virtual void SetFont(const TPrintFont& font) = 0;
    virtual TTextAlign Align() const = 0;
    virtual void SetAlign(TTextAlign align) = 0;

    // The extent of a text in the current font.
    virtual int TextWidth(const QString& text) const = 0;
    virtual int TextHeight(const QString& text) const = 0;
    // Draws the text with its reference point (see Align()) at (x, y).
    virtual void TextOut(int x, int y, const QString& text) = 0;
    // Draws the image one image pixel per device pixel; false when it could not.
    virtual bool DrawImage(int x, int y, const QImage& image) = 0;
    // Lets `draw` paint the rectangle (a chart) with the surface's current
    // font: as vectors where the surface paints, else through an image of
    // the rectangle's size.
    using PaintArea = std::function<void(QPainter& painter, const QRectF& area, const QFont& font)>;
    virtual void DrawWith(const QRect& area, const PaintArea& draw);
    virtual void NewPage() = 0;

    virtual int PageWidth() const = 0;
    virtual int PageHeight() const = 0;
    virtual int DpiX() const = 0;
    virtual int DpiY() const = 0;
};

} // namespace kr
