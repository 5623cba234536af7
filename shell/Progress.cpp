#include "shell/Progress.h"

#include "platform/ErrorReport.h"
#include "platform/Text.h"
#include "platform/ui/Glyphs.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <utility>

namespace kr {

TGauge::TGauge(QWidget* parent) : QProgressBar(parent)
{
    setRange(0, 100);
    setValue(0);
    setTextVisible(true);
    setFormat(QStringLiteral("%p%"));
}

void TGauge::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect outer = rect();
    // The bar is the text colour on the field's: black on white in a light
    // palette, and still a strong contrast in a dark one.
    const QColor field = palette().color(QPalette::Base);
    const QColor ink = palette().color(QPalette::Text);
    p.fillRect(outer, field);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(outer.adjusted(0, 0, -1, -1));

    const QRect inner = outer.adjusted(1, 1, -1, -1);
    const int span = maximum() - minimum();
    const int filled = span > 0 ? int(qint64(inner.width()) * (value() - minimum()) / span) : 0;
    const QRect bar(inner.left(), inner.top(), filled, inner.height());
    p.fillRect(bar, ink);

    const QString label = text();
    p.setFont(font());
    p.save();
    p.setClipRect(inner.adjusted(filled, 0, 0, 0));
    p.setPen(ink);
    p.drawText(inner, Qt::AlignCenter, label);
    p.restore();
    p.setClipRect(bar);
    p.setPen(field);
    p.drawText(inner, Qt::AlignCenter, label);
}

TfmProgress::TfmProgress(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint
                          | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("fmProgress"));

    gbProgress = new QGroupBox(QStringLiteral(" Progress "), this);
    gbProgress->setObjectName(QStringLiteral("gbProgress"));
    guProgress = new TGauge(gbProgress);
    guProgress->setObjectName(QStringLiteral("guProgress"));
    // 20 pixels high, or more where a large font needs it for the percentage.
    guProgress->setFixedHeight(qMax(20, guProgress->fontMetrics().height() + 4));
    auto* inGroup = new QVBoxLayout(gbProgress);
    inGroup->setContentsMargins(5, 4, 6, 8);
    inGroup->addWidget(guProgress);

    lblCannotCancel = new QLabel(this);
    lblCannotCancel->setObjectName(QStringLiteral("lblCannotCancel"));
    lblCannotCancel->setTextFormat(Qt::PlainText);
    lblCannotCancel->setWordWrap(true);
    lblCannotCancel->hide();
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    // Enter must not stop an exchange by habit.
    btnCancel->setAutoDefault(false);
    btnCancel->setEnabled(false);
    connect(btnCancel, &QPushButton::clicked, this, &TfmProgress::requestCancel);
    auto* cancelRow = new QHBoxLayout;
    cancelRow->addWidget(lblCannotCancel, 1);
    cancelRow->addWidget(btnCancel, 0, Qt::AlignRight | Qt::AlignTop);

    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(8, 2, 8, 8);
    box->addWidget(gbProgress);
    box->addLayout(cancelRow);
    setFixedWidth(qMax(374, box->totalMinimumSize().width()));
    fitHeight();
}

void TfmProgress::SetUpProgress(int maximum, int step, const std::string& caption)
{
    progress.setUp(maximum, step);
    setWindowTitle(fromCp1252(caption));
    guProgress->setValue(progress.percent);
}

void TfmProgress::StepProgress()
{
    progress.stepOnce();
    guProgress->setValue(progress.percent);
}

void TfmProgress::ShowModal()
{
    // A second modal show while the first still runs would only warn and
    // return at once; the window is on screen already.
    if (inModalLoop)
        return;
    // Shown without a loop while the exchange waited for its first reply: a
    // window takes its modality as it is shown.
    if (isVisible())
        hide();
    inModalLoop = true;
    exec();
    inModalLoop = false;
}

void TfmProgress::ShowModeless()
{
    show();
    raise();
}

void TfmProgress::Close()
{
    // done() hides the window and ends a running modal loop; when hidden
    // already it changes nothing.
    if (isVisible() || inModalLoop)
        done(QDialog::Rejected);
}

void TfmProgress::SetCancel(const std::function<void()>& handler, const std::string& whyNot)
{
    onCancel = handler;
    btnCancel->setEnabled(bool(onCancel));
    lblCannotCancel->setText(onCancel ? QString() : fromCp1252(whyNot));
    lblCannotCancel->setVisible(!lblCannotCancel->text().isEmpty());
    fitHeight();
}

void TfmProgress::requestCancel()
{
    if (!onCancel)
        return;
    // Taken out before the call: the handler may set the next one or close
    // the window, and one exchange is asked to stop once.
    const std::function<void()> handler = std::exchange(onCancel, nullptr);
    btnCancel->setEnabled(false);
    runHandler(handler);
}

// The width stays; the height follows the reason's wrapped lines.
void TfmProgress::fitHeight()
{
    QLayout* box = layout();
    box->activate();
    setFixedHeight(box->hasHeightForWidth() ? box->totalHeightForWidth(width()) : box->totalSizeHint().height());
}

void TfmProgress::showEvent(QShowEvent* event)
{
    fitHeight();
    centreOverParent(this);
    QDialog::showEvent(event);
}

void TfmProgress::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        requestCancel();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfmProgress::closeEvent(QCloseEvent* event)
{
    // Close() hides the window without coming here; closing it by hand is
    // Cancel, and the exchange closes the window as it ends.
    if (!isVisible()) {
        event->accept();
        return;
    }
    event->ignore();
    requestCancel();
}

} // namespace kr
