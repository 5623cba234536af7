#include "shell/About.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFrame>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

#include "KrVersion.h"
#include "platform/ui/Contrast.h"
#include "platform/ui/Glyphs.h"
#include "platform/ui/ShellOpen.h"

namespace kr {

namespace {

QLabel* makeLabel(const QString& name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignHCenter);
    return label;
}

// Shows an address without its scheme, as people write it.
QString shownAddress(const QString& address)
{
    QString shown = address;
    shown.remove(QStringLiteral("https://"));
    shown.remove(QStringLiteral("http://"));
    return shown;
}

} // namespace

// ---- TLinkLabel ---------------------------------------------------------------

TLinkLabel::TLinkLabel(const QString& target, QWidget* parent) : QLabel(shownAddress(target), parent), address(target)
{
    setAlignment(Qt::AlignHCenter);
    setCursor(Qt::PointingHandCursor);
    setToolTip(address);
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setHot(false);
}

void TLinkLabel::setHot(bool on)
{
    hot = on;
    QPalette p = palette();
    // Blue, red under the mouse; lightened on a dark background. Underlined,
    // the link stands out at the lesser contrast the guidelines ask of marks.
    p.setColor(QPalette::WindowText, readableOn(on ? Qt::red : Qt::blue, p.color(QPalette::Window), 3));
    setPalette(p);
}

void TLinkLabel::enterEvent(QEnterEvent* event)
{
    setHot(true);
    QLabel::enterEvent(event);
}

void TLinkLabel::leaveEvent(QEvent* event)
{
    setHot(false);
    QLabel::leaveEvent(event);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()))
        return;
    shellOpen(address);
}

// ---- TfmAbout -------------------------------------------------------------------

QPixmap productPicture(const QSize& size)
{
    QPixmap pixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, size.width(), size.height());
    sky.setColorAt(0, QColor(0x2e, 0x4a, 0x2b));
    sky.setColorAt(1, QColor(0x7a, 0x5a, 0x2e));
    p.fillRect(pixmap.rect(), sky);

    // Growth rings of a log end, the meter's trade.
    const QPointF centre(size.height() * 0.55, size.height() * 0.5);
    p.setPen(QPen(QColor(0xe8, 0xd2, 0xa6), 1.2));
    for (int ring = 4; ring <= int(size.height() * 0.42); ring += 4)
        p.drawEllipse(centre, ring * 1.05, ring);

    QFont big(QStringLiteral("Arial"));
    big.setPixelSize(int(size.height() * 0.46));
    big.setBold(true);
    p.setFont(big);
    p.setPen(Qt::white);
    const QRectF text(size.height() * 1.2, 0, size.width() - size.height() * 1.3, size.height() * 0.68);
    p.drawText(text, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("Kestrune KR"));
    QFont small(QStringLiteral("Arial"));
    small.setPixelSize(int(size.height() * 0.2));
    p.setFont(small);
    p.setPen(QColor(0xf3, 0xe9, 0xd2));
    p.drawText(QRectF(text.left(), text.bottom(), text.width(), size.height() - text.bottom()),
               Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Wood moisture meter"));
    return pixmap;
}

TfmAbout::TfmAbout(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("fmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(298, 249);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("paAbout"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);

    imgProduct = makeLabel(QStringLiteral("imgProduct"), QString(), panel);
    imgProduct->setFixedSize(269, 57);
    imgProduct->setPixmap(productPicture(QSize(269, 57)));

    lblCopyright = makeLabel(QStringLiteral("lblCopyright"),
                             QStringLiteral("\u00A9 Kestrune Instruments. All rights reserved."), panel);
    lblCopyright->setWordWrap(true);
    lblMakerLink = new TLinkLabel(QString::fromLatin1(MakerAddress), panel);
    lblMakerLink->setObjectName(QStringLiteral("lblMakerLink"));
    lblVersionCaption = makeLabel(QStringLiteral("lblVersionCaption"), QStringLiteral("Software Version:"), panel);
    lblVersion = makeLabel(QStringLiteral("lblVersion"), QString::fromLatin1(Version), panel);
    lblSerialCaption = makeLabel(QStringLiteral("lblSerialCaption"), QStringLiteral("Serial Number of Meter:"), panel);
    lblSerialNo = makeLabel(QStringLiteral("lblSerialNo"), QStringLiteral("lblSerialNo"), panel);
    lblCredit = makeLabel(QStringLiteral("lblCredit"),
                          QStringLiteral("Companion software written by\nthe Kestrune software workshop"), panel);
    lblAuthorLink = new TLinkLabel(QString::fromLatin1(AuthorAddress), panel);
    lblAuthorLink->setObjectName(QStringLiteral("lblAuthorLink"));

    QFont bold = lblVersion->font();
    bold.setBold(true);
    lblVersion->setFont(bold);
    lblSerialNo->setFont(bold);

    auto* inside = new QVBoxLayout(panel);
    inside->setContentsMargins(6, 6, 6, 6);
    inside->setSpacing(1);
    inside->addWidget(imgProduct, 0, Qt::AlignHCenter);
    inside->addSpacing(3);
    for (QWidget* w : {static_cast<QWidget*>(lblCopyright), static_cast<QWidget*>(lblMakerLink)})
        inside->addWidget(w);
    inside->addSpacing(3);
    for (QLabel* l : {lblVersionCaption, lblVersion, lblSerialCaption, lblSerialNo})
        inside->addWidget(l);
    inside->addSpacing(3);
    inside->addWidget(lblCredit);
    inside->addWidget(lblAuthorLink);
    inside->addStretch(1);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    QFont okFont = btnOK->font();
    okFont.setBold(true);
    btnOK->setFont(okFont);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 6, 6, 6);
    outer->setSpacing(6);
    outer->addWidget(panel, 1);
    outer->addWidget(btnOK, 0, Qt::AlignHCenter);

    // The labels use a compact font so everything fits the fixed size.
    QFont small = font();
    small.setPointSizeF(qMin<qreal>(small.pointSizeF() > 0 ? small.pointSizeF() : 9, 8));
    for (QLabel* l : panel->findChildren<QLabel*>()) {
        QFont f = l->font();
        f.setPointSizeF(small.pointSizeF());
        l->setFont(f);
    }
}

void TfmAbout::SetSerialNo(const QString& text) { lblSerialNo->setText(text); }

void TfmAbout::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    lblVersion->setText(QString::fromLatin1(Version));
    // Centred over the main window each time, with the OK button ready for Enter.
    centreOverParent(this);
    btnOK->setFocus();
}

} // namespace kr
