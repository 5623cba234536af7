#include "shell/Krsplash.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

namespace kr {

TfmSplash::TfmSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("fmSplash"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedSize(Width, Height);

    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(13);
    lblVersion->setFont(f);
    lblVersion->setAttribute(Qt::WA_TranslucentBackground);
    lblVersion->setStyleSheet(QStringLiteral("color: black; background: transparent;"));
    lblVersion->move(12, 272);
    lblVersion->setText(SplashVersionText);
    lblVersion->adjustSize();

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfmSplash::showEvent(QShowEvent* event)
{
    lblVersion->setText(SplashVersionText);
    lblVersion->adjustSize();
    QWidget::showEvent(event);
}

void TfmSplash::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area = rect();

    QLinearGradient sky(area.topLeft(), area.bottomLeft());
    sky.setColorAt(0, QColor(236, 242, 236));
    sky.setColorAt(1, QColor(214, 226, 210));
    p.fillRect(area, sky);

    // Grain of a timber board across the lower half.
    QLinearGradient wood(0, 170, 0, 301);
    wood.setColorAt(0, QColor(222, 184, 135));
    wood.setColorAt(1, QColor(190, 140, 90));
    QPainterPath board;
    board.moveTo(0, 190);
    board.cubicTo(120, 170, 260, 215, 401, 180);
    board.lineTo(401, 301);
    board.lineTo(0, 301);
    board.closeSubpath();
    p.fillPath(board, wood);
    p.setPen(QPen(QColor(160, 115, 70, 120), 1.4));
    for (int i = 0; i < 6; ++i) {
        QPainterPath grain;
        const double y = 210 + i * 14;
        grain.moveTo(0, y);
        grain.cubicTo(110, y - 14 + i * 2, 270, y + 20 - i * 3, 401, y - 6);
        p.drawPath(grain);
    }

    // The meter itself, drawn plainly.
    p.setPen(QPen(QColor(40, 50, 60), 2));
    p.setBrush(QColor(245, 246, 248));
    p.drawRoundedRect(QRectF(290, 40, 78, 130), 12, 12);
    p.setBrush(QColor(190, 225, 190));
    p.drawRect(QRectF(302, 56, 54, 34));
    p.setPen(QColor(30, 70, 40));
    QFont lcd(QStringLiteral("Arial"));
    lcd.setPixelSize(18);
    lcd.setBold(true);
    p.setFont(lcd);
    p.drawText(QRectF(302, 56, 54, 34), Qt::AlignCenter, QStringLiteral("12.3"));
    p.setPen(QPen(QColor(40, 50, 60), 2));
    p.setBrush(QColor(60, 120, 200));
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QPointF(309 + i * 20, 112), 6, 6);
    p.setBrush(QColor(40, 50, 60));
    p.drawRect(QRectF(312, 170, 6, 24));
    p.drawRect(QRectF(340, 170, 6, 24));

    QFont title(QStringLiteral("Arial"));
    title.setPixelSize(44);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(30, 60, 40));
    p.drawText(QPointF(24, 88), QStringLiteral("Kestrune"));
    QFont sub(QStringLiteral("Arial"));
    sub.setPixelSize(16);
    p.setFont(sub);
    p.setPen(QColor(60, 80, 65));
    p.drawText(QPointF(26, 116), QStringLiteral("KR wood moisture meter"));
    sub.setPixelSize(13);
    p.setFont(sub);
    p.drawText(QPointF(26, 138), QStringLiteral("Varnel"));

    p.setPen(QPen(QColor(40, 50, 60), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(area.adjusted(0.5, 0.5, -0.5, -0.5));
}

} // namespace kr
