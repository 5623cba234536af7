#include "shell/Progress.h"

#include "platform/Text.h"
#include "platform/ui/Glyphs.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

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
    p.fillRect(outer, Qt::white);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(outer.adjusted(0, 0, -1, -1));

    const QRect inner = outer.adjusted(1, 1, -1, -1);
    const int span = maximum() - minimum();
    const int filled = span > 0 ? int(qint64(inner.width()) * (value() - minimum()) / span) : 0;
    const QRect bar(inner.left(), inner.top(), filled, inner.height());
    p.fillRect(bar, Qt::black);

    const QString label = text();
    p.setFont(font());
    p.save();
    p.setClipRect(inner.adjusted(filled, 0, 0, 0));
    p.setPen(Qt::black);
    p.drawText(inner, Qt::AlignCenter, label);
    p.restore();
    p.setClipRect(bar);
    p.setPen(Qt::white);
    p.drawText(inner, Qt::AlignCenter, label);
}

TfmProgress::TfmProgress(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint
                          | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("fmProgress"));
    setFixedSize(374, 63);

    gbProgress = new QGroupBox(QStringLiteral(" Progress "), this);
    gbProgress->setObjectName(QStringLiteral("gbProgress"));
    gbProgress->setGeometry(8, 2, 358, 55);

    guProgress = new TGauge(gbProgress);
    guProgress->setObjectName(QStringLiteral("guProgress"));
    guProgress->setGeometry(8, 24, 341, 20);
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

void TfmProgress::showEvent(QShowEvent* event)
{
    centreOverParent(this);
    QDialog::showEvent(event);
}

void TfmProgress::keyPressEvent(QKeyEvent* event)
{
    // Without buttons of its own the window has nothing for Escape to cancel.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace kr
