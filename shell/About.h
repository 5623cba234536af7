#pragma once
#include <QDialog>
#include <QLabel>
#include <functional>

class QPushButton;

namespace kr {

// A web address shown underlined in blue, red while the mouse is over it; a
// click asks the desktop to open it, and the program only beeps if it cannot.
class TLinkLabel : public QLabel {
    Q_OBJECT
public:
    TLinkLabel(const QString& address, QWidget* parent = nullptr);

    const QString& Address() const { return address; }
    bool IsHot() const { return hot; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void setHot(bool on);

    QString address;
    bool hot = false;
};

// The about box: product picture, the maker's notice and web site, the
// software version, the meter's serial number and the author's credit.
// Created once; the serial number label keeps its text between showings and
// changes whenever a serial-number request ends, also while the box is open.
class TfmAbout : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* MakerAddress = "https://www.kestrune.example";
    static constexpr const char* AuthorAddress = "https://software.kestrune.example";

    explicit TfmAbout(QWidget* parent = nullptr);

    QLabel* imgProduct = nullptr;
    QLabel* lblCopyright = nullptr;
    TLinkLabel* lblMakerLink = nullptr;
    QLabel* lblVersionCaption = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblSerialCaption = nullptr;
    QLabel* lblSerialNo = nullptr;
    QLabel* lblCredit = nullptr;
    TLinkLabel* lblAuthorLink = nullptr;
    QPushButton* btnOK = nullptr;

public slots:
    // The serial number as the meter sent it, or the failure text.
    void SetSerialNo(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;
};

// The product picture, drawn rather than loaded so the program needs no image file.
QPixmap productPicture(const QSize& size);

} // namespace kr
