#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "shell/Progress.h"

using namespace kr;

class TestProgressWindow : public QObject {
    Q_OBJECT

private slots:
    void looksAsDesigned();
    void setUpSetsCaptionAndClearsGauge();
    void stepsWhileHidden();
    void showModalReturnsOnlyAfterClose();
    void stepsReachGaugeDuringModalShow();
    void closingByHandOnlyHides();
    void showModelessDoesNotBlock();
    void escapeDoesNotClose();
    void rendersForALook();
};

void TestProgressWindow::looksAsDesigned()
{
    TfmProgress p;
    QCOMPARE(p.objectName(), QString("fmProgress"));
    QCOMPARE(p.size(), QSize(374, 63));
    QCOMPARE(p.minimumSize(), p.maximumSize());
    QVERIFY(p.windowFlags() & Qt::WindowStaysOnTopHint);
    auto* group = p.findChild<QGroupBox*>();
    QVERIFY(group);
    QCOMPARE(group->title(), QString(" Progress "));
    auto* gauge = p.findChild<QProgressBar*>("guProgress");
    QVERIFY(gauge);
    QCOMPARE(gauge->size(), QSize(341, 20));
    QCOMPARE(gauge->minimum(), 0);
    QCOMPARE(gauge->maximum(), 100);
    QCOMPARE(gauge->orientation(), Qt::Horizontal);
    QVERIFY(gauge->isTextVisible());
    QVERIFY(group->geometry().contains(gauge->geometry().translated(group->pos())));
    QVERIFY(p.rect().contains(group->geometry()));

    p.ShowModeless();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
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

void TestProgressWindow::closingByHandOnlyHides()
{
    TfmProgress p;
    p.SetUpProgress(10, 1, "Downloading Data from KR");
    bool closedByTimerLater = false;
    QTimer::singleShot(20, &p, [&] { p.close(); });
    QTimer::singleShot(60, &p, [&] {
        p.StepProgress();
        p.Close();
        closedByTimerLater = true;
    });
    p.ShowModal();
    QVERIFY(!p.isVisible());
    QVERIFY(!p.isShownModally());
    // The exchange's timer still runs and closes the hidden window: no effect.
    QTRY_VERIFY(closedByTimerLater);
    QVERIFY(!p.isVisible());
    QCOMPARE(p.guProgress->value(), 10);

    p.ShowModeless();
    QVERIFY(p.isVisible());
    p.close();
    QVERIFY(!p.isVisible());
    p.ShowModeless();
    QVERIFY2(p.isVisible(), "the window is reused after a close by hand");
    p.Close();
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

void TestProgressWindow::escapeDoesNotClose()
{
    TfmProgress p;
    p.ShowModeless();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
    QTest::keyClick(&p, Qt::Key_Escape);
    QVERIFY(p.isVisible());
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
    QCOMPARE(image.size() / image.devicePixelRatio(), QSize(374, 63));
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
