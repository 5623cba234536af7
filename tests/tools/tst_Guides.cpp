#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTableView>
#include <QToolButton>
#include <QtTest>

#include "library/List.h"
#include "library/ui/MeterSetup.h"
#include "mainwindow/Main.h"
#include "mainwindow/Note.h"
#include "platform/ui/WidgetPrompts.h"
#include "shell/About.h"
#include "shell/Progress.h"
#include "shell/Startup.h"
#include "tests/mainwindow/MainWindowFixture.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/SimMeter.h"
#include "tests/support/WiredProgram.h"

using namespace kr;
using namespace kr::test;

namespace {

const QString UserGuide = QStringLiteral("kr user guide");
const QString WorkingGuide = QStringLiteral("Working with your KR");

QString guideText(const QString& file)
{
    QFile f(QStringLiteral(KR_GUIDE_SOURCE "/") + file);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// Runs a poppler tool; its standard output, or nothing when it failed.
std::optional<QString> poppler(const QString& tool, const QStringList& args)
{
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

// The two user guides: the pictures in them come from the real windows, they
// name the program's real buttons, and the build leaves them as PDF files in
// the program's folder with a sensible number of pages.
class TestGuides : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void picturesComeFromTheRealWindows();
    void guideNamesEveryButtonAndMenuEntry();
    void everyPictureIsUsed();
    void guidesLieInTheProgramFolder_data();
    void guidesLieInTheProgramFolder();

private:
    void save(QWidget* w, const QString& name);
    QString shotDir;
    QString imageDir;
};

void TestGuides::initTestCase()
{
    const QString build = qEnvironmentVariable("KR_BUILD_DIR", QDir::currentPath());
    shotDir = build + QStringLiteral("/screenshots");
    QVERIFY(QDir().mkpath(shotDir + QStringLiteral("/guide")));
    // KR_GUIDE_IMAGES=<source>/docs/guide/images refreshes the committed pictures.
    imageDir = qEnvironmentVariable("KR_GUIDE_IMAGES");
}

void TestGuides::save(QWidget* w, const QString& name)
{
    QCoreApplication::processEvents();
    const QImage shot = w->grab().toImage().convertToFormat(QImage::Format_RGB888);
    QVERIFY(!shot.isNull());
    QVERIFY(shot.save(shotDir + QStringLiteral("/guide/") + name, "PNG", 0));
    if (!imageDir.isEmpty())
        QVERIFY(shot.save(QDir(imageDir).filePath(name), "PNG", 0));
}

void TestGuides::picturesComeFromTheRealWindows()
{
    WiredProgram run(SimMeter::Options().realPace().withoutLog());
    run.withShippedCatalogue();
    if (!run.start(TMeterLink::DefaultQuietInterval))
        QSKIP(qPrintable(QStringLiteral("the simulated meter did not start: ") + run.sim.errorString()));
    TProgram& program = *run.program;
    TfmMain& main = *program.fmMain();
    program.Show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));

    // "Load data from meter", with the progress window caught half-way.
    bool progressShot = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        TfmProgress* progress = program.fmProgress();
        if (!progressShot && progress->isVisible() && progress->percent() >= 45) {
            progressShot = true;
            save(progress, QStringLiteral("progress.png"));
        }
    });
    watch.start(20);
    QSignalSpy ended(&main.Exchanges(), &TMeterExchanges::DownloadEnded);
    QTest::mouseClick(main.btnDownload, Qt::LeftButton);
    QVERIFY(ended.wait(30000));
    watch.stop();
    QVERIFY(progressShot);
    QCOMPARE(run.prompts.unexpected(), 0);

    // Annotated as a user would: notes, a comment, a reading's note.
    QTest::keyClicks(main.memMemo, QStringLiteral("Job 2611: 14 Alder Street, hall floor"));
    QTest::keyClick(main.memMemo, Qt::Key_Return);
    QTest::keyClicks(main.memMemo, QStringLiteral("Boards stacked indoors since Monday"));
    QTest::keyClicks(main.edNote, QStringLiteral("Hall, red oak strip floor before sanding"));
    const int fitted[] = {30, 118, 34, 104, 40, 44, 228};
    for (int c = 0; c < 7; ++c)
        main.dgData->horizontalHeader()->resizeSection(c, fitted[c]);
    const QModelIndex third = main.dgData->model()->index(2, 3);
    main.dgData->setCurrentIndex(third);
    bool noteSeen = false;
    onNextModal(
        [&](QWidget* modal) {
            auto* note = qobject_cast<TfmNote*>(modal);
            if (!note)
                return;
            note->edNote->setText(QStringLiteral("By the radiator"));
            save(note, QStringLiteral("note-dialog.png"));
            QTest::mouseClick(note->btnOK, Qt::LeftButton);
        },
        &noteSeen);
    const QRect cell = main.dgData->visualRect(third);
    // A double-click as the mouse makes it: press, release, double-click, release.
    QTest::mousePress(main.dgData->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseRelease(main.dgData->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(main.dgData->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseRelease(main.dgData->viewport(), Qt::LeftButton, {}, cell.center());
    QVERIFY(noteSeen);
    main.dgData->setCurrentIndex(main.dgData->model()->index(6, 5));
    save(&main, QStringLiteral("main-window.png"));

    // "Erase Data": the question as its message box shows it, answered Cancel.
    WidgetPrompts widgets;
    setPrompts(&widgets);
    bool questionSeen = false;
    onNextModal(
        [&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box)
                return;
            save(box, QStringLiteral("erase-question.png"));
            box->button(QMessageBox::Cancel)->click();
        },
        &questionSeen);
    QTest::mouseClick(main.btnClearKRM, Qt::LeftButton);
    setPrompts(&run.prompts);
    QVERIFY(questionSeen);
    QVERIFY(!run.sim.commands().contains(QStringLiteral("$*#")));

    // "About...": the serial number arrives while the box is open.
    TfmAbout* about = program.fmAbout();
    QString serial;
    auto answered = connect(&main.Exchanges(), &TMeterExchanges::SerialNoChanged, about, [&](const QString& text) {
        serial = text;
        QTimer::singleShot(50, about, [&] {
            save(about, QStringLiteral("about.png"));
            about->accept();
        });
    });
    main.About1->trigger();
    disconnect(answered);
    QVERIFY(serial.startsWith(QStringLiteral("KR-")));

    // "Library Edit": the editor reads the meter's library as it opens.
    TfmMeterSetup* editor = main.MeterSetup();
    bool editorShot = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, editor, [&] {
        if (editorShot || !editor->isVisible() || editor->lbSelected->count() != 31)
            return;
        editorShot = true;
        // A group chosen from the chooser's list, as a user picks it.
        const int europe = editor->cbGroups->findText(QStringLiteral("Europe"), Qt::MatchStartsWith);
        QVERIFY(europe > 0);
        editor->cbGroups->setCurrentIndex(europe);
        editor->lbSelected->setCurrentRow(19);
        editor->lbAvailable->setCurrentRow(3);
        editor->memNotes->setPlainText(QStringLiteral("Flooring jobs, spring 2026"));
        save(editor, QStringLiteral("library-editor.png"));
        // Nothing is left to save, so the editor closes without a question.
        editor->memNotes->clear();
        editor->List().New1Click();
        editor->close();
    });
    poll.start(20);
    const qsizetype before = run.prompts.messages().size();
    QTest::mouseClick(main.btnSetup, Qt::LeftButton);
    poll.stop();
    QVERIFY(editorShot);
    // At most one box, saying which of the meter's species the shipped catalogue lists with other SGs.
    const QStringList told = run.prompts.messageTexts().mid(before);
    QVERIFY2(told.size() <= 1 && told.join(QString()).count(QStringLiteral("differs from the catalogue")) == told.size(),
             qPrintable(told.join(QLatin1Char('\n'))));
    QCOMPARE(run.prompts.unexpected(), int(told.size()));

    // "Print..." in the File menu: the print dialog, left with Cancel.
    QAction* print = main.findChild<QAction*>(QStringLiteral("Print1"));
    QVERIFY(print);
    bool printSeen = false;
    onNextModal(
        [&](QWidget* modal) {
            save(modal, QStringLiteral("print-dialog.png"));
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
        },
        &printSeen);
    print->trigger();
    QVERIFY(printSeen);

    // "System Setup" in the Options menu, on the number of a USB adapter's port.
    QAction* setup = main.findChild<QAction*>(QStringLiteral("System1"));
    QVERIFY(setup);
    main.Link().PortNumber = 5;
    bool setupSeen = false;
    onNextModal(
        [&](QWidget* modal) {
            save(modal, QStringLiteral("setup-dialog.png"));
            modal->close();
        },
        &setupSeen);
    setup->trigger();
    QVERIFY(setupSeen);
    main.Document().ClearModified();
}

// Every toolbar hint and menu entry of the two windows appears in the full
// guide with its exact text, so a renamed button shows up here.
void TestGuides::guideNamesEveryButtonAndMenuEntry()
{
    ScriptedPrompts prompts;
    QTemporaryDir home;
    qputenv("KR_HOME", home.path().toLocal8Bit());
    StartupOptions options;
    options.splashMs = 0;
    options.openPort = false;
    {
        TProgram program(options);
        TfmMain& main = *program.fmMain();
        QStringList captions;
        const QList<QWidget*> windows{&main, main.MeterSetup()};
        for (QWidget* window : windows) {
            for (QToolButton* b : window->findChildren<QToolButton*>())
                if (!b->toolTip().isEmpty())
                    captions << b->toolTip();
            for (QMenuBar* bar : window->findChildren<QMenuBar*>())
                for (QAction* menu : bar->actions()) {
                    captions << menu->text();
                    if (menu->menu())
                        for (QAction* entry : menu->menu()->actions())
                            if (!entry->isSeparator())
                                captions << entry->text();
                }
        }
        captions.removeDuplicates();
        const QString guide = guideText(QStringLiteral("kr-user-guide.txt")).remove(QLatin1Char('*'));
        QVERIFY(!guide.isEmpty());
        for (QString caption : captions) {
            caption.remove(QRegularExpression(QStringLiteral("&(?!&)")));
            const QRegularExpression named(QStringLiteral("(?<!\\w)") + QRegularExpression::escape(caption) +
                                           QStringLiteral("(?!\\w)"));
            QVERIFY2(guide.contains(named),
                     qPrintable(QStringLiteral("docs/guide/kr-user-guide.txt does not name \"%1\"").arg(caption)));
        }
    }
    qunsetenv("KR_HOME");
}

void TestGuides::everyPictureIsUsed()
{
    const QString texts = guideText(QStringLiteral("kr-user-guide.txt")) + guideText(QStringLiteral("working-with-your-kr.txt"));
    const QDir images(QStringLiteral(KR_GUIDE_SOURCE "/images"));
    const QStringList pictures = images.entryList({QStringLiteral("*.png")}, QDir::Files);
    QVERIFY(!pictures.isEmpty());
    for (const QString& name : pictures) {
        QVERIFY2(texts.contains(QStringLiteral("(images/") + name + QLatin1Char(')')),
                 qPrintable(name + QStringLiteral(" is in docs/guide/images but no guide shows it")));
        QVERIFY2(QFileInfo(images.filePath(name)).size() <= 120 * 1024, qPrintable(name + QStringLiteral(" is over 120 KB")));
    }
}

void TestGuides::guidesLieInTheProgramFolder_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("fewest");
    QTest::addColumn<int>("most");
    QTest::addColumn<QString>("phrase");
    QTest::newRow("user guide") << UserGuide << 14 << 32 << QStringLiteral("Load data from meter");
    QTest::newRow("working") << WorkingGuide << 4 << 12 << QStringLiteral("Erase Data");
}

void TestGuides::guidesLieInTheProgramFolder()
{
    QFETCH(QString, name);
    QFETCH(int, fewest);
    QFETCH(int, most);
    QFETCH(QString, phrase);
    const QString pdf = QStringLiteral(KR_GUIDE_DIR "/") + name + QStringLiteral(".pdf");
    QVERIFY2(QFileInfo::exists(pdf), qPrintable(pdf));
    if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
        QSKIP("poppler-utils (pdfinfo, pdftotext, pdftoppm) is not installed");

    const auto info = poppler(QStringLiteral("pdfinfo"), {pdf});
    QVERIFY(info);
    const auto pages = QRegularExpression(QStringLiteral(R"(Pages:\s+(\d+))")).match(*info);
    QVERIFY(pages.hasMatch());
    const int count = pages.captured(1).toInt();
    QVERIFY2(count >= fewest && count <= most, qPrintable(QStringLiteral("%1 pages").arg(count)));
    QVERIFY(info->contains(QStringLiteral("A4")));

    // Real text, with the page number in every footer.
    const auto text = poppler(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QVERIFY(text);
    QVERIFY2(text->contains(phrase), qPrintable(phrase));
    QVERIFY(text->contains(QStringLiteral("Page %1 of %1").arg(count)));
    const auto fonts = poppler(QStringLiteral("pdffonts"), {pdf});
    QVERIFY(fonts);
    QVERIFY2(fonts->contains(QStringLiteral(" yes ")), qPrintable(*fonts));
    if (QFontDatabase::families().contains(QStringLiteral("Liberation Sans")))
        QVERIFY2(fonts->contains(QStringLiteral("LiberationSans")), qPrintable(*fonts));

    // The first page as a picture, for looking at.
    const QString picture = shotDir + QStringLiteral("/guide-") + name.toLower().replace(QLatin1Char(' '), QLatin1Char('-'));
    QVERIFY(poppler(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("70"),
                                                QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                                QStringLiteral("1"), QStringLiteral("-singlefile"), pdf, picture}));
    QVERIFY(QFileInfo::exists(picture + QStringLiteral(".png")));
}

QTEST_MAIN(TestGuides)
#include "tst_Guides.moc"
