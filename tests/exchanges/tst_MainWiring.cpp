#include <QApplication>
#include <QMenuBar>
#include <QToolButton>
#include <QtTest>

#include "mainwindow/Main.h"
#include "settings/Appglob.h"
#include "shell/About.h"
#include "shell/Progress.h"
#include "shell/Startup.h"
#include "tests/exchanges/ExchangeRig.h"

using namespace kr;
using namespace kr::test;

// The main window's buttons and menu reach the exchanges: the whole program
// as started, with the simulated meter on port 7 and the program's folder in
// a temporary one.
class TestMainWiring : public QObject {
    Q_OBJECT
private slots:
    void buttonsAndMenuRunTheExchanges()
    {
        ScriptedPrompts prompts;
        QTemporaryDir home;
        qputenv("KR_HOME", home.path().toLocal8Bit());
        SimMeter sim;
        QVERIFY(sim.start());
        qputenv("KR_PORT_7", sim.devicePath().toLocal8Bit());

        StartupOptions options;
        options.splashMs = 0;
        options.openPort = false;
        TProgram program(options);
        TfmMain& main = *program.fmMain();
        main.Link().PortNumber = 7;
        main.Link().setQuietInterval(100);

        // "Load data from meter", clicked twice: one command on the wire.
        QSignalSpy ended(&main.Exchanges(), &TMeterExchanges::DownloadEnded);
        QTest::mouseClick(main.btnDownload, Qt::LeftButton);
        QTest::mouseClick(main.btnDownload, Qt::LeftButton);
        QVERIFY(ended.wait(10000));
        QVERIFY(sim.waitForLog(QStringLiteral("cmd $4")));
        QCOMPARE(sim.commands().count(QStringLiteral("$3")), 1);
        QCOMPARE(ended.size(), 1);
        QVERIFY(prompts.messages().isEmpty());
        QCOMPARE(usedReadings(main.Document()), 40);
        QVERIFY(main.windowTitle().endsWith(QStringLiteral("[None]")));
        QCOMPARE(program.fmProgress()->windowTitle(), QStringLiteral("Downloading Data from KR"));
        QVERIFY(main.btnDownload->isEnabled());

        // "&About..." in the "&Help" menu: the serial number arrives while the box is open.
        QCOMPARE(main.Help1->title(), QStringLiteral("&Help"));
        QCOMPARE(main.About1->text(), QStringLiteral("&About..."));
        QString shownWhileOpen;
        QObject::connect(&main.Exchanges(), &TMeterExchanges::SerialNoChanged, program.fmAbout(), [&] {
            if (QApplication::activeModalWidget() == program.fmAbout()) {
                shownWhileOpen = program.fmAbout()->lblSerialNo->text();
                QTimer::singleShot(0, program.fmAbout(), &QDialog::accept);
            }
        });
        main.About1->trigger();
        QCOMPARE(shownWhileOpen, QStringLiteral("KR-417263\r"));

        // "Erase Data": the backup lands in the program's folder.
        prompts.answer(mbOK);
        QTest::mouseClick(main.btnClearKRM, Qt::LeftButton);
        QCOMPARE(main.Exchanges().LastEraseOutcome(), TEraseOutcome::Erased);
        QVERIFY(QFile::exists(home.filePath(QStringLiteral("data1.bak"))));
        QCOMPARE(usedReadings(main.Document()), 40);
        QCOMPARE(prompts.messages().size(), 1);

        qunsetenv("KR_PORT_7");
        qunsetenv("KR_HOME");
    }

    void shortDownloadSaysHowManyArrived()
    {
        ScriptedPrompts prompts;
        QTemporaryDir home;
        qputenv("KR_HOME", home.path().toLocal8Bit());
        SimMeter sim(SimMeter::Options().fault(QStringLiteral("fewer-lines=26")));
        QVERIFY(sim.start());
        qputenv("KR_PORT_7", sim.devicePath().toLocal8Bit());
        StartupOptions options;
        options.splashMs = 0;
        options.openPort = false;
        TProgram program(options);
        TfmMain& main = *program.fmMain();
        main.Link().PortNumber = 7;
        main.Link().setQuietInterval(100);

        QSignalSpy ended(&main.Exchanges(), &TMeterExchanges::DownloadEnded);
        QTest::mouseClick(main.btnDownload, Qt::LeftButton);
        QVERIFY(ended.wait(10000));
        QCOMPARE(usedReadings(main.Document()), 14);
        QCOMPARE(prompts.messages().size(), 1);
        QCOMPARE(prompts.messages().last().kind, MsgKind::Warning);
        QCOMPARE(prompts.messageTexts().last(),
                 QStringLiteral("Only 14 of the 40 readings the KR announced arrived.\r\n") +
                     QLatin1String(exchange_text::RepeatDownload));

        qunsetenv("KR_PORT_7");
        qunsetenv("KR_HOME");
    }
};

QTEST_MAIN(TestMainWiring)
#include "tst_MainWiring.moc"
