#include "platform/ui/Glyphs.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScreen>
#include <QToolButton>

namespace kr {

namespace {

const QColor Ink(55, 65, 81);

void folder(QPainter& p)
{
    p.setPen(QPen(QColor(180, 120, 20), 1.2));
    p.setBrush(QColor(240, 180, 60));
    QPainterPath back;
    back.moveTo(2, 6);
    back.lineTo(9, 6);
    back.lineTo(11, 8);
    back.lineTo(20, 8);
    back.lineTo(20, 19);
    back.lineTo(2, 19);
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(QColor(252, 206, 100));
    QPainterPath front;
    front.moveTo(4, 11);
    front.lineTo(22.5, 11);
    front.lineTo(20, 19);
    front.lineTo(2, 19);
    front.closeSubpath();
    p.drawPath(front);
}

void floppy(QPainter& p)
{
    p.setPen(QPen(QColor(30, 64, 140), 1.2));
    p.setBrush(QColor(59, 110, 210));
    QPainterPath body;
    body.moveTo(3, 3);
    body.lineTo(18, 3);
    body.lineTo(21, 6);
    body.lineTo(21, 21);
    body.lineTo(3, 21);
    body.closeSubpath();
    p.drawPath(body);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(6, 13, 12, 8));
    p.setBrush(QColor(200, 215, 240));
    p.drawRect(QRectF(7, 3, 9, 6));
    p.setBrush(QColor(30, 64, 140));
    p.drawRect(QRectF(13, 4, 2, 4));
}

void clipboard(QPainter& p)
{
    p.setPen(QPen(QColor(120, 80, 40), 1.2));
    p.setBrush(QColor(190, 140, 80));
    p.drawRoundedRect(QRectF(4, 4, 16, 18), 2, 2);
    p.setPen(QPen(QColor(150, 150, 150), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(6.5, 7, 11, 13));
    p.setPen(QPen(QColor(140, 150, 165), 1));
    for (int y = 10; y <= 17; y += 2)
        p.drawLine(QPointF(8.5, y), QPointF(15.5, y));
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(QColor(170, 170, 175));
    p.drawRoundedRect(QRectF(8.5, 2.5, 7, 3.5), 1, 1);
}

void meter(QPainter& p, const QColor& screen)
{
    p.setPen(QPen(Ink, 1.2));
    p.setBrush(QColor(225, 228, 233));
    p.drawRoundedRect(QRectF(2.5, 4, 12, 17), 2.5, 2.5);
    p.setBrush(screen);
    p.drawRect(QRectF(4.5, 6.5, 8, 5));
    p.setBrush(Ink);
    p.drawEllipse(QPointF(6.5, 15.5), 1, 1);
    p.drawEllipse(QPointF(10.5, 15.5), 1, 1);
    p.setPen(QPen(Ink, 1.4));
    p.drawLine(QPointF(6, 4), QPointF(6, 1.5));
    p.drawLine(QPointF(11, 4), QPointF(11, 1.5));
}

void download(QPainter& p)
{
    meter(p, QColor(170, 210, 170));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(22, 150, 80));
    QPainterPath arrow;
    arrow.moveTo(17, 9);
    arrow.lineTo(21, 9);
    arrow.lineTo(21, 15);
    arrow.lineTo(23.5, 15);
    arrow.lineTo(19, 21);
    arrow.lineTo(14.5, 15);
    arrow.lineTo(17, 15);
    arrow.closeSubpath();
    p.drawPath(arrow);
}

void upload(QPainter& p)
{
    meter(p, QColor(200, 215, 240));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 90, 190));
    QPainterPath arrow;
    arrow.moveTo(17, 21);
    arrow.lineTo(21, 21);
    arrow.lineTo(21, 15);
    arrow.lineTo(23.5, 15);
    arrow.lineTo(19, 9);
    arrow.lineTo(14.5, 15);
    arrow.lineTo(17, 15);
    arrow.closeSubpath();
    p.drawPath(arrow);
}

// A door left ajar.
void exitDoor(QPainter& p)
{
    p.setPen(QPen(Ink, 1.2));
    p.setBrush(QColor(225, 225, 225));
    p.drawRect(QRectF(5, 3, 13, 18));
    p.setBrush(QColor(150, 100, 60));
    QPainterPath door;
    door.moveTo(5, 3);
    door.lineTo(13, 5.5);
    door.lineTo(13, 23);
    door.lineTo(5, 21);
    door.closeSubpath();
    p.drawPath(door);
    p.setBrush(QColor(240, 200, 80));
    p.drawEllipse(QRectF(10.2, 12, 1.8, 1.8));
}

void erase(QPainter& p)
{
    meter(p, QColor(230, 200, 200));
    p.setPen(QPen(QColor(205, 40, 40), 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(15.5, 12), QPointF(22, 19.5));
    p.drawLine(QPointF(22, 12), QPointF(15.5, 19.5));
}

void library(QPainter& p)
{
    const QColor spines[] = {QColor(200, 70, 60), QColor(50, 130, 90), QColor(60, 100, 180)};
    for (int i = 0; i < 3; ++i) {
        p.setPen(QPen(spines[i].darker(140), 1));
        p.setBrush(spines[i]);
        p.drawRect(QRectF(3 + i * 5, 4 + (i == 1 ? 2 : 0), 4.5, 17 - (i == 1 ? 2 : 0)));
    }
    p.save();
    p.translate(19, 12);
    p.rotate(-15);
    p.setPen(QPen(QColor(120, 90, 40), 1));
    p.setBrush(QColor(230, 190, 90));
    p.drawRect(QRectF(-2, -8, 4, 16));
    p.restore();
    p.setPen(QPen(Ink, 1.2));
    p.drawLine(QPointF(2, 21.5), QPointF(22, 21.5));
}

void printer(QPainter& p)
{
    p.setPen(QPen(Ink, 1.2));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7, 2.5, 10, 7));
    p.setBrush(QColor(120, 130, 145));
    p.drawRoundedRect(QRectF(2.5, 9, 19, 9), 2, 2);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7, 14, 10, 8));
    p.setPen(QPen(QColor(150, 160, 175), 1));
    p.drawLine(QPointF(9, 17), QPointF(15, 17));
    p.drawLine(QPointF(9, 19.5), QPointF(15, 19.5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(80, 220, 120));
    p.drawEllipse(QPointF(18.5, 11.5), 1, 1);
}

void help(QPainter& p)
{
    p.setPen(QPen(QColor(30, 80, 170), 1.2));
    p.setBrush(QColor(60, 120, 220));
    p.drawEllipse(QRectF(2.5, 2.5, 19, 19));
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(15);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(2.5, 2.5, 19, 19), Qt::AlignCenter, QStringLiteral("?"));
}

void chevron(QPainter& p, bool left, const QColor& ink)
{
    p.setPen(QPen(ink, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath path;
    if (left) {
        path.moveTo(15, 5);
        path.lineTo(8, 12);
        path.lineTo(15, 19);
    } else {
        path.moveTo(9, 5);
        path.lineTo(16, 12);
        path.lineTo(9, 19);
    }
    p.drawPath(path);
}

// Readings at a glance: bars of moisture crossing a green target band.
void chart(QPainter& p, const QColor& ink)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(170, 225, 170));
    p.drawRect(QRectF(2.5, 9, 19, 5));
    p.setPen(QPen(ink, 1.2));
    p.drawLine(QPointF(2.5, 2.5), QPointF(2.5, 21.5));
    p.drawLine(QPointF(2.5, 21.5), QPointF(21.5, 21.5));
    p.setPen(QPen(QColor(30, 64, 140), 1));
    p.setBrush(QColor(59, 110, 210));
    p.drawRect(QRectF(5, 11, 3, 10.5));
    p.drawRect(QRectF(14, 10, 3, 11.5));
    p.setPen(QPen(QColor(150, 40, 30), 1));
    p.setBrush(QColor(215, 75, 55));
    p.drawRect(QRectF(9.5, 5, 3, 16.5));
    p.drawRect(QRectF(18.5, 15.5, 2.5, 6));
}

void draw(QPainter& p, Glyph g, const QColor& ink)
{
    switch (g) {
    case Glyph::Open: folder(p); break;
    case Glyph::Save: floppy(p); break;
    case Glyph::Clipboard: clipboard(p); break;
    case Glyph::Download: download(p); break;
    case Glyph::Upload: upload(p); break;
    case Glyph::Library: library(p); break;
    case Glyph::Erase: erase(p); break;
    case Glyph::Print: printer(p); break;
    case Glyph::Help: help(p); break;
    case Glyph::Previous: chevron(p, true, ink); break;
    case Glyph::Next: chevron(p, false, ink); break;
    case Glyph::Exit: exitDoor(p); break;
    case Glyph::Chart: chart(p, ink); break;
    }
}

void render(QPainter& p, Glyph g, const QRect& rect, bool disabled, const QColor& ink)
{
    const int size = std::min(rect.width(), rect.height());
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(rect.left() + (rect.width() - size) / 2.0, rect.top() + (rect.height() - size) / 2.0);
    p.scale(size / 24.0, size / 24.0);
    if (disabled)
        p.setOpacity(0.35);
    draw(p, g, ink);
    p.restore();
}

// Draws at each request, so the ink follows a palette changed while the
// program runs.
class GlyphEngine final : public QIconEngine {
public:
    GlyphEngine(Glyph g, const QColor& fixedInk) : glyph(g), fixed(fixedInk) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        render(*painter, glyph, rect, mode == QIcon::Disabled, ink());
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        paint(&p, pm.rect(), mode, state);
        return pm;
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new GlyphEngine(glyph, fixed); }
    QString key() const override { return QStringLiteral("kr-glyph"); }

private:
    QColor ink() const
    {
        return fixed.isValid() ? fixed : QGuiApplication::palette().color(QPalette::WindowText);
    }

    Glyph glyph;
    QColor fixed;
};

} // namespace

QFont windowFont()
{
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(11);
    return f;
}

void setHint(QWidget* w, const QString& hint)
{
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    w->setToolTip(bar < 0 ? hint : hint.left(bar));
    w->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

QToolButton* glyphButton(QWidget* parent, const char* name, Glyph glyph, const QString& hint, int buttonSize,
                         int iconSize)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setIcon(glyphIcon(glyph));
    b->setIconSize(QSize(iconSize, iconSize));
    b->setFixedSize(buttonSize, buttonSize);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    setHint(b, hint);
    return b;
}

QIcon glyphIcon(Glyph g, const QColor& ink) { return QIcon(new GlyphEngine(g, ink)); }

QColor paperInk() { return Ink; }

void centreOverParent(QWidget* dialog)
{
    QRect area;
    if (const QWidget* parent = dialog->parentWidget(); parent && parent->isVisible())
        area = parent->window()->frameGeometry();
    else if (const QScreen* s = dialog->screen() ? dialog->screen() : QGuiApplication::primaryScreen())
        area = s->availableGeometry();
    if (area.isEmpty())
        return;
    QRect frame = dialog->frameGeometry();
    frame.moveCenter(area.center());
    dialog->move(frame.topLeft());
}

} // namespace kr
