#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "platform/Text.h"
#include "shell/Progress.h"

using namespace kr;

namespace {

enum class Gesture { Button, Escape, CloseByHand };

void perform(TfmProgress& p, Gesture gesture)
{
    switch (gesture) {
    case Gesture::Button: QTest::mouseClick(p.btnCancel, Qt::LeftButton); break;
    case Gesture::Escape: QTest::keyClick(&p, Qt::Key_Escape); break;
    case Gesture::CloseByHand: p.close(); break;
    }
}

// Every shown part lies inside the window, as high as its width needs.
void verifyNothingClipped(const QWidget& window)
{
    for (const QWidget* w : window.findChildren<QWidget*>()) {
        const int needed = w->hasHeightForWidth() ? w->heightForWidth(w->width()) : w->minimumSizeHint().height();
        QVERIFY2(!w->isVisible() || (window.rect().contains(QRect(w->mapTo(&window, QPoint()), w->size()))
                                     && w->height() >= needed),
                 qPrintable(w->objectName()));
    }
}

} // namespace

class TestProgressWindow : public QObject {
    Q_OBJECT

private slots:
    void looksAsDesigned();
    void setUpSetsCaptionAndClearsGauge();
    void stepsWhileHidden();
    void showModalReturnsOnlyAfterClose();
    void stepsReachGaugeDuringModalShow();
    void showModelessDoesNotBlock();
    void cancelAsksTheHandlerInForceOnce_data();
    void cancelAsksTheHandlerInForceOnce();
    void withoutHandlerCancelIsDisabledAndSaysWhy_data();
    void withoutHandlerCancelIsDisabledAndSaysWhy();
    void rendersForALook();
};

void TestProgressWindow::looksAsDesigned()
{
    TfmProgress p;
    QCOMPARE(p.objectName(), QString("fmProgress"));
    QCOMPARE(p.width(), 374);
    QCOMPARE(p.minimumSize(), p.maximumSize());
    QVERIFY(p.windowFlags() & Qt::WindowStaysOnTopHint);
    auto* group = p.findChild<QGroupBox*>();
    QVERIFY(group);
    QCOMPARE(group->title(), QString(" Progress "));
    auto* gauge = p.findChild<QProgressBar*>("guProgress");
    QVERIFY(gauge);
    QCOMPARE(gauge->minimum(), 0);
    QCOMPARE(gauge->maximum(), 100);
    QCOMPARE(gauge->orientation(), Qt::Horizontal);
    QVERIFY(gauge->isTextVisible());
    QCOMPARE(p.btnCancel->objectName(), QString("btnCancel"));
    QCOMPARE(p.btnCancel->text(), QString("Cancel"));
    QVERIFY2(!p.btnCancel->isEnabled(), "nothing to cancel until an exchange says how");

    p.ShowModeless();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
    QCOMPARE(gauge->size(), QSize(341, 20));
    QVERIFY(group->geometry().contains(gauge->geometry().translated(group->pos())));
    verifyNothingClipped(p);
    const QPoint centre = p.frameGeometry().center();
    const QPoint screenCentre = p.screen()->availableGeometry().center();
    QVERIFY2((centre - screenCentre).manhattanLength() <= 2, "the window opens centred on the screen");
    p.Close();
}

void TestProgressWindow::setUpSetsCaptionAndClearsGauge()
{
    TfmProgress p;
    p.SetUpProgress(4, 1, "Downloading Data from KR");
    p.StepProgress();
    QCOMPARE(p.guProgress->value(), 25);
    p.SetUpProgress(38, 1, "Backing up Data from KR before deleting \xe9");
    QCOMPARE(p.windowTitle(), QString::fromUtf8("Backing up Data from KR before deleting \xc3\xa9"));
    QCOMPARE(p.guProgress->value(), 0);
    QCOMPARE(p.state().ProgressTotal, 0);
    QCOMPARE(p.state().ProgressMax, 38);
}

void TestProgressWindow::stepsWhileHidden()
{
    TfmProgress p;
    p.SetUpProgress(38, 1, "Downloading library from KR");
    p.StepProgress();
    QVERIFY(!p.isVisible());
    QCOMPARE(p.guProgress->value(), 3);
    QCOMPARE(p.guProgress->text(), QString("3%"));
    for (int i = 1; i < 38; ++i)
        p.StepProgress();
    QCOMPARE(p.guProgress->value(), 100);
    p.StepProgress();
    QCOMPARE(p.guProgress->value(), 100);

    p.SetUpProgress(0, 1, "Downloading Data from KR");
    for (int i = 0; i < 5; ++i)
        p.StepProgress();
    QCOMPARE(p.guProgress->value(), 0);
}

void TestProgressWindow::showModalReturnsOnlyAfterClose()
{
    TfmProgress p;
    p.SetUpProgress(38, 1, "Downloading library from KR");
    bool visibleInside = false, modalInside = false;
    QTimer::singleShot(20, &p, [&] {
        visibleInside = p.isVisible();
        modalInside = p.isShownModally() && QApplication::activeModalWidget() == &p;
    });
    QTimer::singleShot(120, &p, [&] { p.Close(); });
    QElapsedTimer clock;
    clock.start();
    p.ShowModal();
    QVERIFY(clock.elapsed() >= 100);
    QVERIFY(visibleInside);
    QVERIFY(modalInside);
    QVERIFY(!p.isVisible());
    QVERIFY(!p.isShownModally());
    p.Close();
    QVERIFY(!p.isVisible());
}

void TestProgressWindow::stepsReachGaugeDuringModalShow()
{
    TfmProgress p;
    p.SetUpProgress(4, 1, "Downloading Data from KR");
    QList<int> seen;
    QTimer ticker;
    ticker.setInterval(5);
    connect(&ticker, &QTimer::timeout, &p, [&] {
        p.StepProgress();
        seen << p.guProgress->value();
        if (seen.size() == 4)
            p.Close();
    });
    ticker.start();
    p.ShowModal();
    ticker.stop();
    QCOMPARE(seen, (QList<int>{25, 50, 75, 100}));
}

void TestProgressWindow::showModelessDoesNotBlock()
{
    TfmProgress p;
    p.SetUpProgress(608, 1, "Uploading Library to KR");
    p.ShowModeless();
    QVERIFY(p.isVisible());
    QVERIFY(!p.isShownModally());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    for (int i = 0; i < 304; ++i)
        p.StepProgress();
    QCOMPARE(p.guProgress->value(), 50);
    p.Close();
    QVERIFY(!p.isVisible());
}

void TestProgressWindow::cancelAsksTheHandlerInForceOnce_data()
{
    QTest::addColumn<Gesture>("gesture");
    QTest::newRow("button") << Gesture::Button;
    QTest::newRow("Escape") << Gesture::Escape;
    QTest::newRow("closing by hand") << Gesture::CloseByHand;
}

void TestProgressWindow::cancelAsksTheHandlerInForceOnce()
{
    QFETCH(Gesture, gesture);
    TfmProgress p;
    int stale = 0;
    int asked = 0;
    bool stayedUntilTheEnd = false;
    p.SetCancel([&] { ++stale; });
    QTimer::singleShot(20, &p, [&] {
        // As an exchange does while the window runs modally: a new handler,
        // which takes itself away and ends the exchange a little later.
        p.SetCancel([&] {
            ++asked;
            p.SetCancel({});
            QTimer::singleShot(30, &p, [&] {
                stayedUntilTheEnd = p.isVisible();
                p.Close();
            });
        });
        perform(p, gesture);
        perform(p, gesture);
    });
    p.ShowModal();
    QCOMPARE(stale, 0);
    QCOMPARE(asked, 1);
    QVERIFY(stayedUntilTheEnd);
    QVERIFY(!p.isVisible());
}

void TestProgressWindow::withoutHandlerCancelIsDisabledAndSaysWhy_data()
{
    QTest::addColumn<QByteArray>("whyNot");
    QTest::newRow("no reason") << QByteArray();
    QTest::newRow("short") << QByteArray("The library is on its way to the KR.");
    QTest::newRow("long, Windows-1252") << QByteArray(
        "The KR is erasing its readings now (\x93$*#\x94 is on the wire); stopping here would leave it "
        "half-erased. The backup is complete and safe. Wait until the KR has finished, then carry on.");
}

void TestProgressWindow::withoutHandlerCancelIsDisabledAndSaysWhy()
{
    QFETCH(QByteArray, whyNot);
    TfmProgress p;
    int asked = 0;
    p.SetCancel([&] { ++asked; });
    p.SetCancel({}, whyNot.toStdString());
    p.ShowModeless();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
    QVERIFY(!p.btnCancel->isEnabled());
    QCOMPARE(p.lblCannotCancel->isVisible(), !whyNot.isEmpty());
    QCOMPARE(p.lblCannotCancel->text(), fromCp1252(whyNot.toStdString()));
    verifyNothingClipped(p);
    for (const Gesture gesture : {Gesture::Button, Gesture::Escape, Gesture::CloseByHand})
        perform(p, gesture);
    QVERIFY2(p.isVisible(), "the window stays while the exchange cannot stop");
    QCOMPARE(asked, 0);

    p.SetCancel([&] { ++asked; });
    QVERIFY(p.btnCancel->isEnabled());
    QVERIFY(!p.lblCannotCancel->isVisible());
    p.Close();
}

void TestProgressWindow::rendersForALook()
{
    TfmProgress p;
    p.SetUpProgress(38, 1, "Downloading library from KR");
    for (int i = 0; i < 19; ++i)
        p.StepProgress();
    p.ShowModeless();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
    const QImage image = p.grab().toImage();
    QCOMPARE(image.size() / image.devicePixelRatio(), p.size());
    // Black fill on the left of the gauge, white on the right.
    const QRect g(p.guProgress->mapTo(&p, QPoint(0, 0)), p.guProgress->size());
    QCOMPARE(QColor(image.pixel(g.left() + 5, g.top() + 3)), QColor(Qt::black));
    QCOMPARE(QColor(image.pixel(g.right() - 5, g.top() + 3)), QColor(Qt::white));
    const QString dir = qEnvironmentVariable("KR_BUILD_DIR", QDir::tempPath()) + "/screenshots";
    QDir().mkpath(dir);
    QVERIFY(image.save(dir + "/progress.png"));
    p.Close();
}

QTEST_MAIN(TestProgressWindow)
#include "tst_progress_window.moc"
