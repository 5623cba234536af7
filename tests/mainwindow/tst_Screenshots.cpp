#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrintPreviewDialog>
#include <QScreen>
#include <QToolButton>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

#include "archive/Archive.h"
#include "core/Readings.h"
#include "library/List.h"
#include "library/ui/MeterSetup.h"
#include "mainwindow/ArchiveWindow.h"
#include "mainwindow/Glance.h"
#include "mainwindow/GlanceModel.h"
#include "mainwindow/InspectionWindow.h"
#include "mainwindow/Main.h"
#include "mainwindow/Note.h"
#include "mainwindow/SubFileList.h"
#include "platform/Text.h"
#include "platform/ui/Contrast.h"
#include "print/DataPrint.h"
#include "print/ui/PrinterChoice.h"
#include "print/ui/Printdlg.h"
#include "shell/Krsplash.h"
#include "shell/Startup.h"
#include "tests/mainwindow/MainWindowFixture.h"
#include "tests/support/ScriptedPrompts.h"

using namespace kr;

namespace {

// What the desktop looks like here: the screen the windows are checked on.
constexpr QSize ScreenSize(1024, 768);

QPalette darkPalette()
{
    QPalette dark(QColor(230, 230, 230), QColor(53, 53, 53), QColor(80, 80, 80), QColor(20, 20, 20),
                  QColor(40, 40, 40), QColor(230, 230, 230), QColor(30, 30, 30));
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    // As a desktop's dark palette has them: hints and disabled texts dimmed, not black.
    dark.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        dark.setColor(QPalette::Disabled, role, QColor(125, 125, 125));
    return dark;
}

// The strongest contrast any pixel of a button makes with its corner, which
// shows the button's background: a glyph in the background's own tone is lost.
double strongestContrast(QWidget* button)
{
    const QImage image = button->grab().toImage();
    const QColor background = image.pixelColor(0, 0);
    double best = 1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            best = std::max(best, contrastRatio(image.pixelColor(x, y), background));
    return best;
}

bool within(const QRect& inner, const QRect& outer) { return outer.contains(inner, false); }

// An archive of a few downloads and files, of several species, one in a job.
void fillArchive(const TFile& sample)
{
    TArchive archive(ArchivePathIn(test::programHome().path()));
    TArchive::Source download;
    download.kind = TArchive::Source::Download;
    download.meter = QStringLiteral("KR-00417");
    download.port = QStringLiteral("/dev/ttyUSB0");
    download.completeness = QStringLiteral("complete");
    download.when = QDateTime(QDate(2001, 3, 20), QTime(16, 5));
    const qint64 first = archive.Keep(sample, download).sourceId;
    TKRFile other;
    for (int r = 1; r <= 14; ++r)
        test::setReading(other, 2, r, r % 3 ? "Jarrah" : "Blackbutt", 9.0L + r * 0.45L, 17 + r % 4, 22);
    test::setReading(other, 4, 1, "Drywall", 0.8L, 19, 23);
    other.GetReading(4, 1).SetSGApplies(0);
    other.SetComment(2, "Deck boards, west side");
    TArchive::Source file;
    file.path = test::programHome().filePath("jobs/deck.krx");
    file.content = "deck";
    file.when = QDateTime(QDate(2001, 3, 24), QTime(11, 40));
    archive.Keep(other, file);
    TArchive::Job job;
    job.name = QStringLiteral("Mill Road");
    job.site = QStringLiteral("12 Mill Road");
    archive.SaveJob(job);
    archive.Assign(first, 0, job.name);
    // A second visit to the job a week on, with the site's air, so the
    // inspection report has visits to chart and days to compare.
    TKRFile later;
    for (int r = 1; r <= 6; ++r) {
        test::setReading(later, 1, r, "Tasmanian Oak", 10.2L + r * 0.15L, 20, 27);
        test::setReading(later, 3, r, "Spotted Gum", 9.6L + r * 0.05L, 20, 27);
    }
    later.SetComment(1, sample.GetComment(1));
    later.SetComment(3, "Upstairs hallway");
    TArchive::Source again = download;
    again.when = QDateTime(QDate(2001, 3, 27), QTime(15, 30));
    archive.Assign(archive.Keep(later, again).sourceId, 0, job.name);
    archive.AddConditions(job.name,
                          {0, QDateTime(QDate(2001, 3, 27), QTime(10, 0)), 21, 55, QStringLiteral("heating on")});
}

} // namespace

// Renders the main window with a sample document, "Readings at a glance" and
// the library editor in a light and a dark palette, the meter-file list
// dropped down, the note dialog, the print preview and the splash to PNG files
// in <build>/screenshots on a 1024 x 768 screen, for looking at without a
// display; checks on the way that texts and arrows stand out and that the
// windows fit the screen.
class TestScreenshots : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void renderWindows();

private:
    void save(QWidget* w, const QString& name);
    void renderInPalette(TfmMain* main, const QString& name);
    QString outDir;
};

void TestScreenshots::initTestCase()
{
    QVERIFY(test::programHome().isValid());
    const QString build = qEnvironmentVariable("KR_BUILD_DIR", QDir::currentPath());
    outDir = build + "/screenshots";
    QVERIFY(QDir().mkpath(outDir));
    QCOMPARE(QGuiApplication::primaryScreen()->size(), ScreenSize);
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

    fillArchive(sample);
    program.Show();
    TfmMain* main = program.fmMain();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    prompts.answerOpen(file);
    main->btnOpenClick();
    main->dgData->setCurrentIndex(main->dgData->model()->index(1, 3));
    QCoreApplication::processEvents();

    QVERIFY(QFile::copy(qEnvironmentVariable("KR_BUILD_DIR") + "/shell/Factors.dat",
                        test::programHome().filePath("Factors.dat")));
    const QPalette light = QApplication::palette();
    for (const auto& [name, palette] : {std::pair{"light", light}, std::pair{"dark", darkPalette()}}) {
        QApplication::setPalette(palette);
        QCoreApplication::processEvents();
        renderInPalette(main, QString::fromLatin1(name));
        if (QTest::currentTestFailed())
            return;
    }
    QApplication::setPalette(light);
    QCoreApplication::processEvents();

    // The inspection report on the job, its first location chosen.
    main->InspectionReport1Click();
    auto* inspection = main->findChild<TfmInspection*>();
    QVERIFY(inspection);
    QVERIFY(QTest::qWaitForWindowExposed(inspection));
    QVERIFY(within(inspection->frameGeometry(), QGuiApplication::primaryScreen()->availableGeometry()));
    QCoreApplication::processEvents();
    save(inspection, "inspection.png");
    inspection->close();

    // The same after the user has dragged the columns to fit their texts.
    const int fitted[] = {30, 118, 40, 110, 40, 44, 228};
    for (int c = 0; c < 7; ++c)
        main->dgData->horizontalHeader()->resizeSection(c, fitted[c]);
    QCoreApplication::processEvents();
    save(main, "main-window-fitted-columns.png");

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
    const std::unique_ptr<QPrintPreviewDialog> preview = printerChoice().PreviewDialog(main, job);
    preview->show();
    QVERIFY(QTest::qWaitForWindowExposed(preview.get()));
    QVERIFY(within(preview->frameGeometry(), QGuiApplication::primaryScreen()->availableGeometry()));
    QCoreApplication::processEvents();
    save(preview.get(), "print-preview.png");
}

// The main window, the glance and the library editor in the palette set now.
void TestScreenshots::renderInPalette(TfmMain* main, const QString& name)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    save(main, "main-window-" + name + ".png");
    for (QToolButton* arrow : {main->btnPrevious, main->btnNext})
        QVERIFY2(strongestContrast(arrow) >= 3, qPrintable(arrow->objectName()));

    main->Glance1Click();
    TfmGlance* glance = main->Glance();
    QVERIFY(QTest::qWaitForWindowExposed(glance));
    QVERIFY(within(glance->frameGeometry(), screen));
    QCoreApplication::processEvents();
    save(glance, "glance-" + name + ".png");
    const QModelIndexList all = glance->Table().match(glance->Table().index(0, 0), Qt::DisplayRole,
                                                       QStringLiteral("All"), 1, Qt::MatchExactly);
    QCOMPARE(all.size(), 1);
    QVERIFY(contrastRatio(glance->tblStats->palette().color(QPalette::Text),
                          all.front().data(Qt::BackgroundRole).value<QBrush>().color())
            >= 4.5);
    QVERIFY(contrastRatio(glance->lblVerdict->palette().color(QPalette::WindowText),
                          glance->palette().color(QPalette::Window))
            >= 4.5);
    glance->close();

    // The archive window with a download chosen, then its statistics.
    main->Archive1Click();
    auto* archive = main->findChild<TfmArchive*>();
    QVERIFY(archive);
    QVERIFY(QTest::qWaitForWindowExposed(archive));
    QVERIFY(within(archive->frameGeometry(), screen));
    archive->tabs->setCurrentIndex(0);
    archive->SelectSource(0);
    QCoreApplication::processEvents();
    save(archive, "archive-" + name + ".png");
    archive->SelectSource(-1);
    archive->tabs->setCurrentIndex(1);
    QCoreApplication::processEvents();
    save(archive, "archive-statistics-" + name + ".png");
    archive->close();

    // The library editor with the shipped catalogue and a full selection.
    TfmMeterSetup* editor = main->MeterSetup();
    editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(editor));
    QVERIFY(within(editor->frameGeometry(), screen));
    std::vector<std::string> codes;
    for (int i = 0; i < 31; ++i)
        codes.push_back(editor->List().Available()[std::size_t(i * 7)]);
    editor->List().ReplaceSelected(codes);
    editor->List().SetNotes("Species for the Mill Road job.\nCheck the spotted gum SG with the supplier.");
    editor->Refresh();
    editor->lbSelected->setCurrentRow(4);
    editor->lbAvailable->setCurrentRow(2);
    QCoreApplication::processEvents();
    save(editor, "library-editor-" + name + ".png");
    for (QToolButton* arrow : {editor->btnAddItem, editor->btnRemoveItem})
        QVERIFY2(strongestContrast(arrow) >= 3, qPrintable(arrow->objectName()));
    editor->List().New1Click();
    editor->hide();
}

// The windows are seen on a 1024 x 768 screen, not the offscreen platform's
// own 800 x 600.
int main(int argc, char** argv)
{
    QTemporaryDir config;
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("offscreen"));
    if (platform == QLatin1String("offscreen") && config.isValid()) {
        QFile json(config.filePath("screen.json"));
        if (json.open(QIODevice::WriteOnly))
            json.write(QStringLiteral(R"({"screens": [{"name": "kr", "x": 0, "y": 0, "width": %1, "height": %2,
                                          "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                           .arg(ScreenSize.width())
                           .arg(ScreenSize.height())
                           .toUtf8());
        json.close();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + json.fileName().toLocal8Bit());
    }
    QApplication app(argc, argv);
    TestScreenshots test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_Screenshots.moc"
