#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include "library/ui/MeterSetup.h"
#include "settings/ui/Setup.h"
#include "tests/support/WiredProgram.h"

using namespace kr;
using namespace kr::test;

namespace {

enum class Window { Main, LibraryEditor, Setup };

const QString BusyText = QStringLiteral(
    "The KR is busy. Wait until the exchange has ended, or press Cancel in its progress window, before closing.");

// Starts the window's exchange the way the user does; returns once the
// exchange and any dialog it runs in have ended.
void runExchange(TfmMain& main, ScriptedPrompts& prompts, Window window)
{
    switch (window) {
    case Window::Main:
        prompts.answer(mbOK);
        QTest::mouseClick(main.btnClearKRM, Qt::LeftButton);
        break;
    case Window::LibraryEditor:
        QTest::mouseClick(main.btnSetup, Qt::LeftButton);
        break;
    case Window::Setup:
        QTimer::singleShot(0, main.Setup(), [&main] {
            main.Setup()->choosePort(7);
            QTest::mouseClick(main.Setup()->btnTest, Qt::LeftButton);
        });
        main.System1->trigger();
        break;
    }
}

} // namespace

// A window closed while an exchange with the meter runs stays and says why.
class TestBusyClose : public QObject {
    Q_OBJECT
private slots:
    void closingDuringAnExchangeIsRefused_data();
    void closingDuringAnExchangeIsRefused();
};

void TestBusyClose::closingDuringAnExchangeIsRefused_data()
{
    QTest::addColumn<Window>("window");
    QTest::addColumn<QString>("lastCommand");
    QTest::newRow("main window, backup before an erase") << Window::Main << "$*#";
    QTest::newRow("library editor, reading the meter's library") << Window::LibraryEditor << "$2";
    QTest::newRow("setup dialog, port test") << Window::Setup << "$5";
}

void TestBusyClose::closingDuringAnExchangeIsRefused()
{
    QFETCH(Window, window);
    QFETCH(QString, lastCommand);
    WiredProgram wired;
    QVERIFY2(wired.start(), qPrintable(wired.sim.errorString()));
    wired.program->Show();
    TfmMain& main = *wired.program->fmMain();
    const TMeterExchanges& exchanges = main.Exchanges();
    QWidget* const target = window == Window::Main            ? static_cast<QWidget*>(&main)
                            : window == Window::LibraryEditor ? static_cast<QWidget*>(main.MeterSetup())
                                                              : main.Setup();

    // Tries once while the exchange runs; a dialog is closed for good after it.
    bool tried = false;
    bool stayed = false;
    bool erasedThen = true;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, target, [&] {
        if (!tried && target->isVisible() && exchanges.Busy()) {
            tried = true;
            target->close();
            stayed = target->isVisible();
            erasedThen = wired.sim.commands().contains(QStringLiteral("$*#"));
        } else if (tried && target != &main && !exchanges.Busy() && wired.sim.commands().contains(lastCommand)) {
            target->close();
        }
    });
    poll.start(10);
    runExchange(main, wired.prompts, window);
    poll.stop();

    QVERIFY(tried);
    QVERIFY2(stayed, "the window stays while the exchange runs");
    QVERIFY2(!erasedThen, "the meter held its readings when the window was closed");
    QCOMPARE(wired.prompts.messageTexts().count(BusyText), 1);
    QVERIFY2(wired.sim.waitForLog(QStringLiteral("cmd ") + lastCommand), "the exchange ran to its end");
    QVERIFY2(main.close(), "once the exchange has ended the program closes");
}

QTEST_MAIN(TestBusyClose)
#include "tst_BusyClose.moc"
