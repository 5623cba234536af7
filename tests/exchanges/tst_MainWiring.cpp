#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QProgressDialog>
#include <QToolButton>
#include <QtTest>

#include "archive/Archive.h"
#include "library/List.h"
#include "library/ui/MeterSetup.h"
#include "mainwindow/ArchiveKeeper.h"
#include "mainwindow/Main.h"
#include "platform/PortMap.h"
#include "settings/Appglob.h"
#include "shell/About.h"
#include "shell/Progress.h"
#include "shell/Startup.h"
#include "tests/exchanges/ExchangeRig.h"
#include "tests/mainwindow/MainWindowFixture.h"
#include "tests/support/ArchiveRows.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WiredProgram.h"

using namespace kr;
using namespace kr::test;

// The main window's buttons and menu reach the exchanges.
class TestMainWiring : public QObject {
    Q_OBJECT
private slots:
    void buttonsAndMenuRunTheExchanges()
    {
        WiredProgram wired;
        QVERIFY(wired.start());
        ScriptedPrompts& prompts = wired.prompts;
        SimMeter& sim = wired.sim;
        TProgram& program = *wired.program;
        TfmMain& main = *program.fmMain();

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
        // Downloaded readings are not saved anywhere yet.
        QVERIFY(shownTitle(main).endsWith(QStringLiteral("[None]*")));
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
        // "Serial number" and "Test port" in the Meter menu ask and tell.
        prompts.answer(mbOK);
        prompts.answer(mbOK);
        main.SerialNo1->trigger();
        main.TestPort1->trigger();
        QCOMPARE(prompts.messageTexts(), (QStringList{"Serial number of the KR: KR-417263",
                                                      "Found KR on Communications Port 7"}));
        prompts.clear();

        // "Erase Data": the backup lands in the program's folder.
        prompts.answer(mbOK);
        QTest::mouseClick(main.btnClearKRM, Qt::LeftButton);
        QCOMPARE(prompts.messageTexts().last(),
                 QStringLiteral("The readings were saved to ") +
                     QDir::toNativeSeparators(wired.home.filePath(QStringLiteral("data1.bak"))) +
                     QStringLiteral(", and the KR was told to erase them."));
        QVERIFY(QFile::exists(wired.home.filePath(QStringLiteral("data1.bak"))));
        QCOMPARE(usedReadings(main.Document()), 40);
        // The question, then the report naming the backup.
        QCOMPARE(prompts.messages().size(), 2);
    }

    void libraryEditReadsTheMetersLibraryAtOnce()
    {
        WiredProgram wired;
        QVERIFY(wired.start());
        QVERIFY(wired.withShippedCatalogue());
        TfmMain& main = *wired.program->fmMain();
        QCOMPARE(main.Meter1->title(), QStringLiteral("&Meter"));
        QCOMPARE(main.MeterList1->text(), QStringLiteral("Li&brary edit"));
        TfmMeterSetup* editor = main.MeterSetup();
        std::size_t shown = 0;
        QString caption;
        // The editor is modal: look at it once the download has filled it, then close it.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, editor, [&] {
            if (editor->isVisible() && editor->List().Selected().size() == 31) {
                shown = editor->List().Selected().size();
                caption = shownTitle(*editor);
                editor->close();
            }
        });
        poll.start(20);
        QTest::mouseClick(main.btnSetup, Qt::LeftButton);
        QCOMPARE(shown, std::size_t(31));
        QCOMPARE(caption, QStringLiteral("Library Edit"));
        QCOMPARE(wired.sim.commands(), (QStringList{QStringLiteral("$5"), QStringLiteral("$2")}));
        // At most one box, saying which of the meter's species the shipped catalogue lists with other SGs.
        const QStringList told = wired.prompts.messageTexts();
        QVERIFY2(told.size() <= 1 && told.join(QString()).count(QStringLiteral("differs from the catalogue")) == told.size(),
                 qPrintable(told.join(QLatin1Char('\n'))));
        QCOMPARE(wired.prompts.unexpected(), int(told.size()));
    }

    // The download as it arrived, and before the erase its backup as written,
    // with the meter's serial number once it has been asked.
    void downloadsAndEraseBackupsAreKeptInTheArchive()
    {
        WiredProgram wired;
        QVERIFY(wired.start());
        ScriptedPrompts& prompts = wired.prompts;
        TfmMain& main = *wired.program->fmMain();
        prompts.answer(mbOK);
        main.SerialNo1->trigger();
        QSignalSpy ended(&main.Exchanges(), &TMeterExchanges::DownloadEnded);
        QTest::mouseClick(main.btnDownload, Qt::LeftButton);
        QVERIFY(ended.wait(10000));
        prompts.answer(mbOK);
        QTest::mouseClick(main.btnClearKRM, Qt::LeftButton);

        const QString port = PortMap::describe(7);
        QCOMPARE(archiveSources(ArchivePathIn(wired.home.path())),
                 (QStringList{"download|KR-417263|" + port + "|complete||",
                              "backup|KR-417263|" + port + "||data1.bak|" +
                                  QString::number(QFileInfo(wired.home.filePath("data1.bak")).size())}));
        // The serial number, the erase question and its report: nothing about the archive.
        QCOMPARE(prompts.messages().size(), 3);
    }

    void brokenArchiveIsToldOnceAndLeftAsItIs()
    {
        WiredProgram wired;
        const QString archive = ArchivePathIn(wired.home.path());
        const QByteArray foreign("not an archive\n", 15);
        QVERIFY(writeFile(archive, foreign));
        QVERIFY(wired.start());
        ScriptedPrompts& prompts = wired.prompts;
        TfmMain& main = *wired.program->fmMain();
        QSignalSpy ended(&main.Exchanges(), &TMeterExchanges::DownloadEnded);
        QTest::mouseClick(main.btnDownload, Qt::LeftButton);
        QVERIFY(ended.wait(10000));
        // The second download replaces readings not saved: No, go on.
        prompts.answer(mbNo);
        QTest::mouseClick(main.btnDownload, Qt::LeftButton);
        QVERIFY(ended.wait(10000));

        QCOMPARE(usedReadings(main.Document()), 40);
        const QString told = ArchiveFailureText(QDir::toNativeSeparators(archive) +
                                                QStringLiteral(" is not a readings archive; it is left as it is."));
        QCOMPARE(prompts.messageTexts(), (QStringList{told, workflow_text::SaveChangesUnnamed}));
        QCOMPARE(readFile(archive), foreign);
    }

    void importSaysItsSummaryWithTheUnreadableFiles()
    {
        WiredProgram wired;
        QVERIFY(wired.start());
        QTemporaryDir folder;
        TKRFile doc;
        doc.SetComment(1, "one");
        doc.SaveToFile(toNativePath(folder.filePath("a.krx")));
        QVERIFY(writeFile(folder.filePath("data2.bak"), "no data file"));
        TfmMain& main = *wired.program->fmMain();
        // The progress has gone by the time the summary shows, timer and all.
        bool progressGone = false;
        wired.prompts.onMessage = [&](const MessageRequest&) { progressGone = !main.findChild<QProgressDialog*>(); };
        main.ImportIntoArchive({folder.path()});
        QVERIFY(main.RunningImport());
        QSignalSpy finished(main.RunningImport(), &TArchiveImport::Finished);
        QVERIFY(finished.wait(10000));

        QCOMPARE(wired.prompts.messages().size(), 1);
        const MessageRequest told = wired.prompts.messages().constFirst();
        QCOMPARE(told.kind, MsgKind::Warning);
        QCOMPARE(told.text, QStringLiteral("2 files: 1 imported, 0 already in the archive, 1 unreadable (listed)."));
        QVERIFY2(told.details.startsWith(QDir::toNativeSeparators(folder.filePath("data2.bak")) + QLatin1Char(':')),
                 qPrintable(told.details));
        QVERIFY(main.ImportFiles1->isEnabled());
        QVERIFY(progressGone);
    }

    void shortDownloadSaysHowManyArrived()
    {
        WiredProgram wired(SimMeter::Options().fault(QStringLiteral("fewer-lines=26")));
        QVERIFY(wired.start());
        const ScriptedPrompts& prompts = wired.prompts;
        TfmMain& main = *wired.program->fmMain();

        QSignalSpy ended(&main.Exchanges(), &TMeterExchanges::DownloadEnded);
        QTest::mouseClick(main.btnDownload, Qt::LeftButton);
        QVERIFY(ended.wait(10000));
        QCOMPARE(usedReadings(main.Document()), 14);
        QCOMPARE(prompts.messages().size(), 1);
        QCOMPARE(prompts.messages().last().kind, MsgKind::Warning);
        QCOMPARE(prompts.messageTexts().last(),
                 QStringLiteral("Only 14 of the 40 readings the KR announced arrived.\r\n") +
                     QLatin1String(exchange_text::RepeatDownload));
    }
};

QTEST_MAIN(TestMainWiring)
#include "tst_MainWiring.moc"
