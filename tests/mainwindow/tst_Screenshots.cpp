#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrintPreviewDialog>
#include <QTableView>
#include <QtTest>

#include "core/Readings.h"
#include "library/List.h"
#include "library/ui/MeterSetup.h"
#include "mainwindow/Main.h"
#include "mainwindow/Note.h"
#include "mainwindow/SubFileList.h"
#include "platform/Text.h"
#include "print/DataPrint.h"
#include "print/ui/PrinterChoice.h"
#include "print/ui/Printdlg.h"
#include "shell/Krsplash.h"
#include "shell/Startup.h"
#include "tests/mainwindow/MainWindowFixture.h"
#include "tests/support/ScriptedPrompts.h"

using namespace kr;

// Renders the main window with a sample document, the meter-file list
// dropped down, the note dialog and the splash to PNG files in
// <build>/screenshots, for looking at without a display.
class TestScreenshots : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void renderWindows();

private:
    void save(QWidget* w, const QString& name);
    QString outDir;
};

void TestScreenshots::initTestCase()
{
    QVERIFY(test::programHome().isValid());
    const QString build = qEnvironmentVariable("KR_BUILD_DIR", QDir::currentPath());
    outDir = build + "/screenshots";
    QVERIFY(QDir().mkpath(outDir));
}

void TestScreenshots::save(QWidget* w, const QString& name)
{
    const QPixmap shot = w->grab();
    QVERIFY(!shot.isNull());
    const QString path = outDir + "/" + name;
    QVERIFY(shot.save(path));
    qInfo("wrote %s (%dx%d)", qPrintable(path), shot.width(), shot.height());
}

void TestScreenshots::renderWindows()
{
    test::ScriptedPrompts prompts;
    StartupOptions o;
    o.splashMs = 60000;
    o.openPort = false;
    TProgram program(o);
    save(program.fmSplash(), "splash.png");

    TKRFile sample;
    test::fillSample(sample);
    for (int r = 4; r <= 12; ++r)
        test::setReading(sample, 1, r, r % 2 ? "Tasmanian Oak" : "Spotted Gum", 8.0L + r * 0.7L, 18 + r % 5, 8 + r);
    test::setReading(sample, 7, 1, "Cypress", 14.1L, 23, 9);
    sample.SetComment(3, "Upstairs hallway");
    const QString file = test::programHome().filePath("Mill Road survey.krx");
    sample.SaveToFile(toNativePath(file));

    program.Show();
    TfmMain* main = program.fmMain();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    prompts.answerOpen(file);
    main->btnOpenClick();
    main->dgData->setCurrentIndex(main->dgData->model()->index(1, 3));
    QCoreApplication::processEvents();
    save(main, "main-window.png");

    // The same after the user has dragged the columns to fit their texts.
    const int fitted[] = {30, 118, 40, 110, 40, 44, 228};
    for (int c = 0; c < 7; ++c)
        main->dgData->horizontalHeader()->resizeSection(c, fitted[c]);
    QCoreApplication::processEvents();
    save(main, "main-window-fitted-columns.png");

    // The same under a dark desktop palette: every colour comes from the palette.
    const QPalette light = QApplication::palette();
    QPalette dark(QColor(53, 53, 53));
    dark.setColor(QPalette::Base, QColor(35, 35, 35));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    QApplication::setPalette(dark);
    QCoreApplication::processEvents();
    save(main, "main-window-dark.png");
    QApplication::setPalette(light);
    QCoreApplication::processEvents();

    main->cbSubFiles->showPopup();
    QCoreApplication::processEvents();
    if (QWidget* popup = main->cbSubFiles->view()->window(); popup && popup->isVisible())
        save(popup, "meter-file-list.png");
    main->cbSubFiles->hidePopup();

    TfmNote* note = program.fmNote();
    const TReading& reading = main->Document().GetReading(1, 2);
    note->lblItem->setText(fromCp1252(reading.GetSpecies()));
    note->lblReading->setText(fromCp1252("Moisture Content " + reading.GetMoistureText() + "   recorded on " +
                                         reading.GetDateTimeText() + "  at " + reading.GetTemperatureText(true) +
                                         "\xB0" "C"));
    note->edNote->setText(fromCp1252(reading.GetNote()));
    note->show();
    QVERIFY(QTest::qWaitForWindowExposed(note));
    save(note, "note-dialog.png");
    note->hide();
    main->Document().ClearModified();

    // The library editor with the shipped catalogue and a full selection.
    QVERIFY(QFile::copy(qEnvironmentVariable("KR_BUILD_DIR") + "/shell/Factors.dat",
                        test::programHome().filePath("Factors.dat")));
    TfmMeterSetup* editor = main->MeterSetup();
    editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(editor));
    QCoreApplication::processEvents();
    std::vector<std::string> codes;
    for (int i = 0; i < 31; ++i)
        codes.push_back(editor->List().Available()[std::size_t(i * 7)]);
    editor->List().ReplaceSelected(codes);
    editor->List().SetNotes("Species for the Mill Road job.\nCheck the spotted gum SG with the supplier.");
    editor->Refresh();
    editor->lbSelected->setCurrentRow(4);
    editor->lbAvailable->setCurrentRow(2);
    QCoreApplication::processEvents();
    save(editor, "library-editor.png");
    editor->List().New1Click();
    editor->hide();

    // The print dialog, and the preview of what it would print.
    TfmPrintDlg dialog(main);
    dialog.Printer->Refresh();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    save(&dialog, "print-dialog.png");
    dialog.hide();
    TDataPrintOptions options;
    options.marks.fill(true);
    const TPrintJob job = DataPrintJob(main->Document(), options);
    QPrintPreviewDialog preview(&printerChoice().Printer(), main);
    connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, [&job](QPrinter* p) { RenderJob(job, *p); });
    preview.resize(900, 1000);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    QCoreApplication::processEvents();
    save(&preview, "print-preview.png");
}

QTEST_MAIN(TestScreenshots)
#include "tst_Screenshots.moc"
