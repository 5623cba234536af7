#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QComboBox>
#include <QFileInfo>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTableView>
#include <QToolButton>
#include <QtTest>

#include "core/AtomicFile.h"
#include "mainwindow/DataGrid.h"
#include "mainwindow/Main.h"
#include "mainwindow/Note.h"
#include "mainwindow/SubFileList.h"
#include "platform/DocumentExport.h"
#include "platform/Help.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/ShellOpen.h"
#include "print/ui/PrinterChoice.h"
#include "platform/Text.h"
#include "settings/Appglob.h"
#include "settings/IniFile.h"
#include "tests/mainwindow/MainWindowFixture.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestFiles.h"

using namespace kr;
using kr::test::ScriptedPrompts;
using kr::test::shownTitle;

namespace {

const QString Degree = QString(QChar(0xB0));

QString cell(TfmMain& w, int row, int position)
{
    QHeaderView* h = w.dgData->horizontalHeader();
    const int logical = h->logicalIndex(position);
    if (row == 0)
        return w.dgData->model()->headerData(logical, Qt::Horizontal).toString();
    return w.dgData->model()->index(row - 1, logical).data().toString();
}

QPoint cellCentre(TfmMain& w, int row, int position)
{
    const int logical = w.dgData->horizontalHeader()->logicalIndex(position);
    return w.dgData->visualRect(w.dgData->model()->index(row - 1, logical)).center();
}

// A double-click as the mouse makes it: press, release, double-click, release.
void doubleClick(QWidget* w, QPoint pos)
{
    QTest::mousePress(w, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(w, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(w, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(w, Qt::LeftButton, {}, pos);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void controlsCarryTheirNamesAndHints();
    void fileMenuHoldsOnlyTheDocumentCommands();
    void startsEmptyWithFileOneAndClipboardOff();
    void firstRunColumnWidths();
    void previousAndNextStopAtBothEnds();
    void listRowsBoldOnlyWithReadings();
    void listRowColumnsLineUp();
    void gridTextsAndAlignment();
    void emptyReadingShowsOnlyItsNote();
    void movedColumnTakesOnlyItsWidth();
    void temperatureScaleInHeaderAndCells();
    void noteDialogOnlyOnRowsWithMoisture();
    void noteDialogOkStoresCancelKeeps();
    void commentChangeMarksModifiedAndShowsInList();
    void printCurrentFileToPdf();
    void exportWritesWhatKrCliConvertWrites();
    void textBoxesKeepToWhatTheFileHolds();
    void opensTheCommandLineFileAndADroppedOne();
    void everyMenuEntryReachesItsHandler_data();
    void everyMenuEntryReachesItsHandler();
    void guideWithoutAPdfViewerSaysWhereItIs();
    void leavingAChangedCommentMarksModified();
    void notesChangeMarksModified();
    void notesRoundTripThroughRefresh();
    void captionInEachState();
    void failedOpenLeavesViewAndCaption();
    void clipboardGetsExportWithCrLf();
    void recentFilesMenuFollowsTheList();
    void closeAsksAboutChangesAndCancelKeepsOpen();
    void failedSaveInCloseKeepsWindowOpen();
    void layoutIsStoredAndRestored();

private:
    TfmMain& win() { return *window; }
    QString saveSample(const QString& name);

    std::unique_ptr<ScriptedPrompts> prompts;
    std::unique_ptr<TfmMain> window;
};

void TestMainWindow::initTestCase()
{
    test::programHome();
    QVERIFY(test::programHome().isValid());
}

void TestMainWindow::init()
{
    QFile::remove(IniFilePath());
    prompts = std::make_unique<ScriptedPrompts>();
    TfmMain::Options o;
    o.openPort = false;
    window = std::make_unique<TfmMain>(o);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestMainWindow::cleanup()
{
    failNextAtomicWrite(WriteResult::Ok);
    if (window) {
        window->Document().ClearModified();
        window->close();
    }
    window.reset();
    prompts.reset();
}

QString TestMainWindow::saveSample(const QString& name)
{
    TKRFile doc;
    test::fillSample(doc);
    QString path = test::programHome().filePath(name);
    doc.SaveToFile(toNativePath(path));
    return path;
}

void TestMainWindow::controlsCarryTheirNamesAndHints()
{
    struct Hint {
        const char* name;
        const char* tip;
        const char* status;
    };
    const Hint hints[] = {
        {"btnOpen", "Load file from disk", "Load file from disk"},
        {"btnSave", "Save data to disk", "Save data to disk"},
        {"btnClipboard", "Copy to clipboard", "Copy the loaded data into the clipboard"},
        {"btnDownload", "Load data from meter", "Load data from meter"},
        {"btnSetup", "Library Edit", "Library Edit"},
        {"btnClearKRM", "Erase Data", "Erase Data"},
        {"btnPrint", "Print", "Print"},
        {"btnHelp", "Help", "Help"},
        {"btnPrevious", "Previous File", "Previous File"},
        {"btnNext", "Next File", "Next File"},
        {"cbSubFiles", "Select file", "Select file"},
        {"edNote", "File Comment", "File Comment"},
    };
    for (const Hint& h : hints) {
        auto* w = win().findChild<QWidget*>(h.name);
        QVERIFY2(w, h.name);
        QCOMPARE(w->toolTip(), QString(h.tip));
        QCOMPARE(w->statusTip(), QString(h.status));
    }
    for (const char* name : {"paTop", "memMemo", "paFileList", "dgData", "RxSplitter1"})
        QVERIFY2(win().findChild<QWidget*>(name), name);
    QCOMPARE(win().edNote->maxLength(), 200);
    QCOMPARE(win().cbSubFiles->count(), 25);
    QCOMPARE(win().cbSubFiles->itemText(0), QStringLiteral("1"));
    QCOMPARE(win().cbSubFiles->itemText(24), QStringLiteral("25"));
    QCOMPARE(win().cbSubFiles->maxVisibleItems(), 25);
    QVERIFY(!win().cbSubFiles->isEditable());
    QCOMPARE(win().findChild<QLabel*>("lblUserNotes")->text(), QStringLiteral("User Notes:"));
    QCOMPARE(win().findChild<QLabel*>("lblFiles")->text(), QStringLiteral("Moisture meter files:"));
    QCOMPARE(win().findChild<QLabel*>("lblComment")->text(), QStringLiteral("Comment:"));
    QCOMPARE(win().dgData->model()->columnCount(), 7);
    QCOMPARE(win().dgData->model()->rowCount(), 25);
    QCOMPARE(win().dgData->verticalHeader()->defaultSectionSize(), 16);
    QVERIFY(win().dgData->horizontalHeader()->sectionsMovable());
    QCOMPARE(win().dgData->selectionMode(), QAbstractItemView::ContiguousSelection);
    QCOMPARE(win().size(), QSize(664, 541));
}

void TestMainWindow::fileMenuHoldsOnlyTheDocumentCommands()
{
    const auto menus = win().menuBar()->actions();
    QCOMPARE(menus.first()->text(), QStringLiteral("&File"));
    QStringList texts;
    // What a single user's archive shows: sending waiting readings is for a team's.
    emit win().File1->aboutToShow();
    for (QAction* a : win().File1->actions())
        if (a->isVisible())
            texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(texts, QStringList({"&Open...", "&Save", "Save &As...", "&Export...", "&Import data files...",
                                 "Import a fol&der of data files...", "Arc&hive...", "I&nspection report...",
                                 "&Copy to clipboard", "-",
                                 "&Print...", "P&rint Setup...", "-", "Recent &Files", "E&xit"}));
    QVERIFY(!win().RecentFiles1->menuAction()->isEnabled());
}

// "Current file" prints only the meter file shown; with no printer the
// pages go to the PDF file the user names. Not replacing a file that exists
// asks for the name again, from the one chosen.
void TestMainWindow::printCurrentFileToPdf()
{
    test::fillSample(win().Document());
    win().RefreshDocumentView();
    win().cbSubFiles->setCurrentIndex(2);
    win().cbSubFilesChange();
    const QString old = test::programHome().filePath("old.pdf");
    QVERIFY(test::writeFile(old, "old"));
    const QString pdf = test::programHome().filePath("current.pdf");
    prompts->answerSave(old);
    prompts->answer(mbNo);
    prompts->answerSave(pdf);
    bool seen = false;
    test::onNextModal([](QWidget* dialog) {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Print"));
        dialog->findChild<QComboBox*>("cbPrinter")->setCurrentText(TPrinterChoice::PdfEntry);
        printerChoice().Choose(TPrinterChoice::PdfEntry);
        dialog->findChild<QRadioButton*>("rbCurrent")->setChecked(true);
        dialog->findChild<QPushButton*>("btnPrint")->click();
    }, &seen);
    win().btnPrint->click();
    QVERIFY(seen);
    QProcess text;
    text.start("pdftotext", {pdf, "-"});
    QVERIFY(text.waitForFinished());
    const QString out = QString::fromUtf8(text.readAllStandardOutput());
    QVERIFY2(out.contains("Beech") && !out.contains("Radiata Pine"), qPrintable(out));
    QCOMPARE(prompts->unexpected(), 0);
    QCOMPARE(prompts->asked().last().file.fileName, old);
    QCOMPARE(test::readFile(old), QByteArray("old"));
}

void TestMainWindow::exportWritesWhatKrCliConvertWrites()
{
    test::fillSample(win().Document());
    for (const char* name : {"sample.csv", "sample.json"}) {
        const QString path = test::programHome().filePath(name);
        prompts->answerSave(path);
        win().Export1Click();
        const QByteArray expected = QByteArray(name).endsWith(".csv") ? test::bytes(csvText(win().Document()))
                                                                      : jsonText(win().Document());
        QCOMPARE(test::readFile(path), expected);
    }
    win().Document().ClearModified();
}

void TestMainWindow::opensTheCommandLineFileAndADroppedOne()
{
    QCOMPARE(startFileFrom({"kr", "a.krx"}), QStringLiteral("a.krx"));
    QCOMPARE(startFileFrom({"kr", "nd", "a.krx"}), QStringLiteral("a.krx"));
    QCOMPARE(startFileFrom({"kr", "ND"}), QString());
    const QString path = saveSample("started.krx");
    TfmMain::Options o;
    o.openPort = false;
    o.startFile = path;
    TfmMain started(o);
    started.show();
    QVERIFY(QTest::qWaitForWindowExposed(&started));
    QCOMPARE(fromNativePath(started.Document().GetFileName()), path);

    // A drop asks about unsaved changes first (Cancel keeps the document).
    win().Document().SetModified();
    prompts->answer(mbCancel);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    static_cast<QObject&>(win()).event(&drop);   // straight to the window, as a drag ends there
    QCOMPARE(win().Document().GetFileName(), std::string(TFile::NoFileName));
    win().Document().ClearModified();
    static_cast<QObject&>(win()).event(&drop);   // straight to the window, as a drag ends there
    QCOMPARE(fromNativePath(win().Document().GetFileName()), path);
    started.Document().ClearModified();
}

// Characters Windows-1252 lacks are refused as they are typed or pasted
// (the file would get "?"); the note box stops at the 128 characters kept.
void TestMainWindow::textBoxesKeepToWhatTheFileHolds()
{
    win().edNote->insert(QStringView(u"Caf\u00E9 \u2603 \u20AC5").toString());
    QCOMPARE(win().edNote->text(), QStringView(u"Caf\u00E9  \u20AC5").toString());
    win().memMemo->insertPlainText(QStringView(u"line \U0001F332 one\n\u2116 2").toString());
    QCOMPARE(win().memMemo->toPlainText(), QStringLiteral("line  one\n 2"));
    QCOMPARE(win().NoteDialog()->edNote->maxLength(), 128);
    QCOMPARE(refusedByCp1252(QStringView(u"a\u2603b\u2603?").toString()), QStringView(u"\u2603").toString());
}

// Each entry, by its caption in its menu, does its command: a file dialog, a
// modal window with its caption, the help window, or a guide opened by the desktop.
void TestMainWindow::everyMenuEntryReachesItsHandler_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("effect");
    QTest::newRow("open") << "&File" << "&Open..." << "open dialog";
    QTest::newRow("save") << "&File" << "&Save" << "save dialog";
    QTest::newRow("save as") << "&File" << "Save &As..." << "save dialog";
    QTest::newRow("export") << "&File" << "&Export..." << "save dialog";
    QTest::newRow("print") << "&File" << "&Print..." << "window Print";
    QTest::newRow("print setup") << "&File" << "P&rint Setup..." << "window";
    QTest::newRow("inspection report") << "&File" << "I&nspection report..." << "window Inspection report";
    QTest::newRow("library") << "&Meter" << "Li&brary edit" << "window Library Edit";
    QTest::newRow("setup") << "&Options" << "&System Setup" << "window KR System Setup";
    QTest::newRow("contents") << "&Help" << "&Contents" << "help 0";
    QTest::newRow("guide") << "&Help" << "KR  &User's Guide" << "open kr user guide.pdf";
    QTest::newRow("working") << "&Help" << "&Working with your KR" << "open Working with your KR.pdf";
}

void TestMainWindow::everyMenuEntryReachesItsHandler()
{
    QFETCH(QString, menu);
    QFETCH(QString, entry);
    QFETCH(QString, effect);
    QAction* action = nullptr;
    for (QAction* m : win().menuBar()->actions())
        if (m->text() == menu)
            for (QAction* a : m->menu()->actions())
                if (a->text() == entry)
                    action = a;
    QVERIFY(action);

    QString seen;
    setHelpHandler([&](int topic) { seen = QStringLiteral("help %1").arg(topic); });
    setShellOpener([&](const QString& path) {
        seen = QStringLiteral("open ") + QFileInfo(path).fileName();
        return true;
    });
    bool modal = false;
    QObject waiting;
    test::onNextModal([&](QWidget* w) {
        // The printer setup dialog is the platform's, its caption too.
        seen = effect == "window" ? QStringLiteral("window") : QStringLiteral("window ") + shownTitle(*w);
        // The library editor asks the meter as it opens, and stays while it asks.
        auto* closer = new QTimer(w);
        connect(closer, &QTimer::timeout, w, [this, w, closer] {
            if (!win().Exchanges().Busy()) {
                closer->stop();
                w->close();
            }
        });
        closer->start(10);
    }, &modal, 200, &waiting);
    action->trigger();
    for (const auto& asked : prompts->asked())
        if (seen.isEmpty() && asked.what != test::ScriptedPrompts::Asked::Message)
            seen = asked.what == test::ScriptedPrompts::Asked::Open ? "open dialog" : "save dialog";
    // A window that is not modal stays open beside the main window.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (seen.isEmpty() && w != &win() && w->isVisible() && !w->isModal() && w->parentWidget() == &win()) {
            seen = QStringLiteral("window ") + w->windowTitle();
            w->close();
        }
    setHelpHandler({});
    setShellOpener({});
    QCOMPARE(seen, effect);
}

// With nothing to show PDF files, the guide's menu entry names the file instead.
void TestMainWindow::guideWithoutAPdfViewerSaysWhereItIs()
{
    setShellOpener([](const QString&) { return false; });
    setShellBeeper([] {});
    prompts->answer(mbOK);
    win().HelpManual1->trigger();
    setShellOpener({});
    setShellBeeper({});
    QCOMPARE(prompts->messageTexts(),
             QStringList(QStringLiteral("No program to show PDF files was found.\r\nThe guide is %1")
                             .arg(QDir::toNativeSeparators(DataFilePath(QStringLiteral("kr user guide.pdf"))))));
}

void TestMainWindow::startsEmptyWithFileOneAndClipboardOff()
{
    QCOMPARE(shownTitle(win()), QStringLiteral("Varnel Kestrune    Version :1.0.9"));
    QCOMPARE(win().CurrentFile(), 1);
    QVERIFY(win().edNote->text().isEmpty());
    QVERIFY(!win().btnClipboard->isEnabled());
    for (auto* b : {win().btnOpen, win().btnSave, win().btnDownload, win().btnSetup, win().btnClearKRM,
                    win().btnPrint, win().btnHelp, win().btnPrevious, win().btnNext})
        QVERIFY(b->isEnabled());
    for (int row = 1; row <= 25; ++row)
        for (int pos = 0; pos < 7; ++pos)
            QVERIFY(cell(win(), row, pos).isEmpty());
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("KR"));
    QVERIFY(!win().Document().IsModified());
}

// With no widths stored, every column shows its header and its longest text
// whole, the Notes column takes the rest; fitting a column by its divider
// also shows the whole text.
void TestMainWindow::firstRunColumnWidths()
{
    test::fillSample(win().Document());
    win().RefreshDocumentView();
    QHeaderView* h = win().dgData->horizontalHeader();
    const QFontMetrics fm = win().dgData->fontMetrics();
    for (int pos = 0; pos < 7; ++pos) {
        const int logical = h->logicalIndex(pos);
        for (int file = 1; file <= 25; ++file)
            for (int row = 1; row <= 25; ++row) {
                const QString text = grid::cellText(win().Document(), file, row, pos, true);
                QVERIFY2(h->sectionSize(logical) >= grid::fittedWidth(fm, text), qPrintable(text));
            }
    }
    QVERIFY(h->sectionSize(h->logicalIndex(2)) < 60);   // temperature: narrow, as its texts
    QCOMPARE(h->sectionViewportPosition(h->logicalIndex(6)) + h->sectionSize(h->logicalIndex(6)),
             win().dgData->viewport()->width());
    const int species = h->logicalIndex(3);
    win().dgData->resizeColumnToContents(species);
    for (int row = 1; row <= 25; ++row)
        QVERIFY(h->sectionSize(species) >= grid::fittedWidth(fm, cell(win(), row, 3)));
}

void TestMainWindow::previousAndNextStopAtBothEnds()
{
    test::fillSample(win().Document());
    win().RefreshDocumentView();
    QCOMPARE(win().edNote->text(), QStringLiteral("Ground floor, north room"));
    QTest::mouseClick(win().btnPrevious, Qt::LeftButton);
    QCOMPARE(win().CurrentFile(), 1);
    QCOMPARE(win().edNote->text(), QStringLiteral("Ground floor, north room"));

    QTest::mouseClick(win().btnNext, Qt::LeftButton);
    QCOMPARE(win().CurrentFile(), 2);
    QCOMPARE(win().edNote->text(), QStringLiteral("Spare"));
    QTest::mouseClick(win().btnNext, Qt::LeftButton);
    QCOMPARE(cell(win(), 1, 3), QStringLiteral("Beech"));
    for (int i = 0; i < 30; ++i)
        QTest::mouseClick(win().btnNext, Qt::LeftButton);
    QCOMPARE(win().CurrentFile(), 25);
    win().edNote->setText("typed but not stored");
    QTest::mouseClick(win().btnNext, Qt::LeftButton);
    QCOMPARE(win().CurrentFile(), 25);
    QCOMPARE(win().edNote->text(), QStringLiteral("typed but not stored"));
    QTest::mouseClick(win().btnPrevious, Qt::LeftButton);
    QCOMPARE(win().CurrentFile(), 24);
    QVERIFY(!win().Document().IsModified());
}

void TestMainWindow::listRowsBoldOnlyWithReadings()
{
    TFile& doc = win().Document();
    test::fillSample(doc);
    const SubFileRow one = subFileRow(doc, 1);
    QVERIFY(one.bold);
    QCOMPARE(one.fileText, QStringLiteral("File :1"));
    QCOMPARE(one.recordsText, QStringLiteral("Records :3"));
    QCOMPARE(one.comment, QStringLiteral("Ground floor, north room"));
    const SubFileRow two = subFileRow(doc, 2);
    QVERIFY(!two.bold);
    QCOMPARE(two.recordsText, QStringLiteral("Records :0"));
    QCOMPARE(subFileRow(doc, 25).fileText, QStringLiteral("File :25"));
    // A species of blanks is no reading for the list.
    doc.GetReading(4, 1).SetSpecies("   ");
    QVERIFY(!subFileRow(doc, 4).bold);

    // Bold rows are drawn bolder: more dark pixels than the same texts regular.
    auto inkOf = [&](int fileNo) {
        QImage img(300, TSubFileList::RowHeight, QImage::Format_RGB32);
        QPainter p(&img);
        paintSubFileRow(&p, img.rect(), doc, fileNo, win().cbSubFiles->font(), win().cbSubFiles->palette(), false);
        p.end();
        int dark = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                dark += qGray(img.pixel(x, y)) < 128;
        return dark;
    };
    doc.SetComment(3, "Spare"); // file 3 holds one reading, file 2 none; same comment
    doc.GetReading(3, 1).SetSpecies("Oak");
    QVERIFY(inkOf(3) > inkOf(2));
}

void TestMainWindow::listRowColumnsLineUp()
{
    QFont regular = win().cbSubFiles->font();
    QFont bold = regular;
    bold.setBold(true);
    const SubFileColumns r = subFileColumns(QFontMetrics(regular));
    const SubFileColumns b = subFileColumns(QFontMetrics(bold));
    QCOMPARE(r.file, 5);
    QCOMPARE(r.records, 5 + QFontMetrics(regular).horizontalAdvance("File 88XX"));
    QVERIFY(r.comment >= 5 + QFontMetrics(regular).horizontalAdvance("File 88XXItems :88XX"));
    QVERIFY(b.records >= r.records);
    // The widest count, bold or not, ends before the comment starts.
    QVERIFY(r.records + QFontMetrics(regular).horizontalAdvance("Records :25") < r.comment);
    QVERIFY(b.records + QFontMetrics(bold).horizontalAdvance("Records :25") < b.comment);
}

void TestMainWindow::gridTextsAndAlignment()
{
    test::fillSample(win().Document());
    win().RefreshDocumentView();
    const QStringList header = {"Rec.", "Date/Time", Degree + "C", "Species", "SG", "MC", "Notes"};
    for (int pos = 0; pos < 7; ++pos)
        QCOMPARE(cell(win(), 0, pos), header.at(pos));
    QCOMPARE(cell(win(), 1, 0), QStringLiteral("1"));
    QCOMPARE(cell(win(), 1, 1), QStringLiteral("04/03/2001 10:15:00"));
    QCOMPARE(cell(win(), 1, 2), QStringLiteral("21"));
    QCOMPARE(cell(win(), 1, 3), QStringLiteral("Oak"));
    QCOMPARE(cell(win(), 1, 4), QStringLiteral("0.65"));
    QCOMPARE(cell(win(), 1, 5), QStringLiteral("12.3"));
    QCOMPARE(cell(win(), 2, 6), QStringLiteral("Near the window"));
    QCOMPARE(cell(win(), 3, 4), QString()); // SG does not apply to this one
    QCOMPARE(cell(win(), 3, 5), QStringLiteral("0.0"));
    for (int pos : {0, 2, 4, 5})
        QCOMPARE(grid::cellAlignment(pos) & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    for (int pos : {1, 3, 6})
        QCOMPARE(grid::cellAlignment(pos) & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    const QModelIndex first = win().dgData->model()->index(0, 0);
    QCOMPARE(first.data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignRight | Qt::AlignTop);
}

void TestMainWindow::emptyReadingShowsOnlyItsNote()
{
    test::fillSample(win().Document());
    win().RefreshDocumentView();
    for (int pos = 0; pos < 6; ++pos)
        QVERIFY2(cell(win(), 5, pos).isEmpty(), qPrintable(QString::number(pos)));
    QCOMPARE(cell(win(), 5, 6), QStringLiteral("Slot kept free"));
}

void TestMainWindow::movedColumnTakesOnlyItsWidth()
{
    test::fillSample(win().Document());
    win().RefreshDocumentView();
    QHeaderView* h = win().dgData->horizontalHeader();
    // Drag the Species column behind MC (the last one stretches to the window).
    const int speciesWidth = h->sectionSize(3);
    h->moveSection(3, 5);
    QCOMPARE(h->visualIndex(3), 5);
    // The texts stay at their positions; only the width went along.
    QCOMPARE(cell(win(), 0, 3), QStringLiteral("Species"));
    QCOMPARE(cell(win(), 0, 5), QStringLiteral("MC"));
    QCOMPARE(cell(win(), 1, 3), QStringLiteral("Oak"));
    QCOMPARE(h->sectionSize(h->logicalIndex(5)), speciesWidth);
}

void TestMainWindow::temperatureScaleInHeaderAndCells()
{
    TFile& doc = win().Document();
    test::setReading(doc, 1, 1, "Oak", 12.3L, 20, 4);
    win().RefreshDocumentView();
    QCOMPARE(cell(win(), 0, 2), Degree + "C");
    QCOMPARE(cell(win(), 1, 2), QStringLiteral("20"));
    win().settings.Centigrade = false;
    win().RepaintGrid();
    QCOMPARE(cell(win(), 0, 2), Degree + "F");
    QCOMPARE(cell(win(), 1, 2), QStringLiteral("68"));
    // What is painted follows too: the header as the grid draws it.
    QCOMPARE(win().dgData->horizontalHeader()->model()->headerData(2, Qt::Horizontal).toString(), Degree + "F");
}

void TestMainWindow::noteDialogOnlyOnRowsWithMoisture()
{
    test::fillSample(win().Document());
    win().RefreshDocumentView();
    QHeaderView* h = win().dgData->horizontalHeader();
    // Header row.
    doubleClick(h->viewport(), QPoint(h->sectionViewportPosition(3) + 10, 5));
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(!win().NoteDialog()->isVisible());
    // A reading with a moisture of 0, and an empty slot.
    for (int row : {3, 5}) {
        doubleClick(win().dgData->viewport(), cellCentre(win(), row, 3));
        QCOMPARE(win().dgData->currentIndex().row(), row - 1);
        QVERIFY(!win().NoteDialog()->isVisible());
    }
    QVERIFY(!win().Document().IsModified());
    // The keyboard: Enter and F2 open a reading's note; Tab leaves the notes box.
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_F2}) {
        win().dgData->setCurrentIndex(win().dgData->model()->index(0, 3));
        bool seen = false;
        test::onNextModal([](QWidget* note) { note->close(); }, &seen);
        QTest::keyClick(win().dgData, key);
        QVERIFY(seen);
    }
    win().memMemo->setFocus();
    QTest::keyClick(win().memMemo, Qt::Key_Tab);
    QVERIFY(!win().memMemo->toPlainText().contains('\t'));
}

void TestMainWindow::noteDialogOkStoresCancelKeeps()
{
    test::fillSample(win().Document());
    win().RefreshDocumentView();
    bool seen = false;
    QString item, reading, noteBefore, title;
    test::onNextModal(
        [&](QWidget* modal) {
            auto* note = qobject_cast<TfmNote*>(modal);
            QVERIFY(note);
            title = note->windowTitle();
            item = note->lblItem->text();
            reading = note->lblReading->text();
            noteBefore = note->edNote->text();
            QCOMPARE(note->focusWidget(), note->edNote);
            note->edNote->clear();
            QTest::keyClicks(note->edNote, QString(140, QLatin1Char('n')));
            QTest::keyClick(note->edNote, Qt::Key_Return);
        },
        &seen);
    doubleClick(win().dgData->viewport(), cellCentre(win(), 1, 5));
    QVERIFY(seen);
    QCOMPARE(title, QStringLiteral("Note"));
    QCOMPARE(item, QStringLiteral("Oak"));
    QCOMPARE(reading, "Moisture Content 12.3   recorded on 04/03/2001 10:15:00  at 21" + Degree + "C");
    QVERIFY(noteBefore.isEmpty());
    QCOMPARE(win().Document().GetNote(1, 1), std::string(128, 'n'));
    QCOMPARE(cell(win(), 1, 6), QString(128, QLatin1Char('n')));
    QVERIFY(win().Document().IsModified());

    win().Document().ClearModified();
    seen = false;
    test::onNextModal(
        [&](QWidget* modal) {
            auto* note = qobject_cast<TfmNote*>(modal);
            noteBefore = note->edNote->text();
            note->edNote->setText("thrown away");
            QTest::keyClick(note->edNote, Qt::Key_Escape);
        },
        &seen);
    doubleClick(win().dgData->viewport(), cellCentre(win(), 2, 1));
    QVERIFY(seen);
    QCOMPARE(noteBefore, QStringLiteral("Near the window"));
    QCOMPARE(win().Document().GetNote(1, 2), std::string("Near the window"));
    QVERIFY(!win().Document().IsModified());
}

void TestMainWindow::commentChangeMarksModifiedAndShowsInList()
{
    test::fillSample(win().Document());
    win().RefreshDocumentView();
    QTest::mouseClick(win().btnNext, Qt::LeftButton);
    QVERIFY(!win().Document().IsModified());
    QTest::keyClick(win().edNote, 'X');
    QVERIFY(win().Document().IsModified());
    QCOMPARE(win().Document().GetComment(2), std::string("SpareX"));
    QCOMPARE(subFileRow(win().Document(), 2).comment, QStringLiteral("SpareX"));
    // A key that changes nothing, like the release of the Enter that closed
    // a dialog, does not mark the document; nor in the notes box.
    win().Document().ClearModified();
    for (QWidget* box : {static_cast<QWidget*>(win().edNote), static_cast<QWidget*>(win().memMemo)}) {
        QTest::keyRelease(box, Qt::Key_Return);
        QTest::keyClick(box, Qt::Key_Left);
    }
    QVERIFY(!win().Document().IsModified());
}

void TestMainWindow::leavingAChangedCommentMarksModified()
{
    win().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&win()));
    win().edNote->setFocus();
    QVERIFY(win().edNote->hasFocus());
    // Passing through the box unchanged is no edit.
    win().memMemo->setFocus();
    QVERIFY(!win().Document().IsModified());
    // A text set while the box has the focus is taken when it is left.
    win().edNote->setFocus();
    win().edNote->setText(QStringLiteral("set"));

    // A menu opening or another window coming to the front is no leaving.
    for (Qt::FocusReason reason : {Qt::PopupFocusReason, Qt::ActiveWindowFocusReason}) {
        QFocusEvent out(QEvent::FocusOut, reason);
        QApplication::sendEvent(win().edNote, &out);
    }
    QVERIFY(!win().Document().IsModified());
    QFocusEvent tabbed(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(win().edNote, &tabbed);
    QVERIFY(win().Document().IsModified());
    QCOMPARE(win().Document().GetComment(1), std::string("set"));
}

void TestMainWindow::notesChangeMarksModified()
{
    // Text pasted with the mouse is an edit too.
    win().memMemo->setPlainText("pasted\nsecond");
    QCOMPARE(win().Document().GetNotes(), (std::vector<std::string>{"pasted", "second"}));
    QVERIFY(win().Document().IsModified());
    win().Document().ClearModified();
    win().memMemo->moveCursor(QTextCursor::End);
    QTest::keyClick(win().memMemo, Qt::Key_Return);
    QTest::keyClicks(win().memMemo, "third");
    QVERIFY(win().Document().IsModified());
    QCOMPARE(win().Document().GetNotes(), (std::vector<std::string>{"pasted", "second", "third"}));
}

void TestMainWindow::notesRoundTripThroughRefresh()
{
    TFile& doc = win().Document();
    doc.SetNotes({"one", "", "three", ""});
    win().RefreshDocumentView();
    QCOMPARE(win().memMemo->toPlainText(), QStringLiteral("one\n\nthree\n"));
    // Filling the box gave the document the same lines back, not one more.
    QCOMPARE(doc.GetNotes(), (std::vector<std::string>{"one", "", "three", ""}));
    doc.SetNotes({});
    win().RefreshDocumentView();
    QVERIFY(doc.GetNotes().empty());
}

void TestMainWindow::captionInEachState()
{
    QCOMPARE(shownTitle(win()), QStringLiteral("Varnel Kestrune    Version :1.0.9"));
    // Unnamed, as after a download.
    win().RefreshDocumentView();
    QCOMPARE(shownTitle(win()), QStringLiteral("Varnel Kestrune   Version :1.0.9  [None]"));
    QVERIFY(win().btnClipboard->isEnabled());
    const QString file = saveSample("caption.krx");
    prompts->answerOpen(file);
    QTest::mouseClick(win().btnOpen, Qt::LeftButton);
    QCOMPARE(shownTitle(win()), "Varnel Kestrune   Version :1.0.9  [" + file + "]");
    QVERIFY(!win().Document().IsModified());
    QCOMPARE(win().edNote->text(), QStringLiteral("Ground floor, north room"));
    QCOMPARE(win().memMemo->toPlainText(), QStringLiteral("Site: 12 Mill Road\nBoards delivered Monday"));
    // Modified: the name waits for the next refresh, the mark shows at once.
    QTest::keyClick(win().edNote, Qt::Key_Z);
    QCOMPARE(shownTitle(win()), "Varnel Kestrune   Version :1.0.9  [" + file + "]*");
    // Save As under a new name.
    const QString other = test::programHome().filePath("renamed.krx");
    prompts->answerSave(other);
    QTest::mouseClick(win().btnSave, Qt::LeftButton);
    QCOMPARE(shownTitle(win()), "Varnel Kestrune   Version :1.0.9  [" + other + "]");
    QCOMPARE(prompts->unexpected(), 0);
}

void TestMainWindow::failedOpenLeavesViewAndCaption()
{
    const QString good = saveSample("good.krx");
    prompts->answerOpen(good);
    QTest::mouseClick(win().btnOpen, Qt::LeftButton);
    const QString title = win().windowTitle();
    QFile bad(test::programHome().filePath("short.krx"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("10:15:00 04/03/2001\r\nF01  x\r\n");
    bad.close();
    prompts->answerOpen(bad.fileName());
    prompts->answer(mbOK);
    QTest::mouseClick(win().btnOpen, Qt::LeftButton);
    QCOMPARE(prompts->unexpected(), 0);
    QCOMPARE(prompts->messages().last().kind, MsgKind::Error);
    QCOMPARE(prompts->messageTexts().last(), QStringLiteral("List index out of bounds (2)"));
    QCOMPARE(win().windowTitle(), title);
    QCOMPARE(win().edNote->text(), QStringLiteral("Ground floor, north room"));
    QCOMPARE(win().RecentFiles().Items(), QStringList{good});
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    // The document is the one on screen, untouched: a later Save writes it
    // back where it came from.
    QVERIFY(!win().Document().IsModified());
    QCOMPARE(QString::fromStdString(win().Document().GetFileName()), good);
    QCOMPARE(win().Document().GetComment(1), std::string("Ground floor, north room"));
}

void TestMainWindow::clipboardGetsExportWithCrLf()
{
    TFile& doc = win().Document();
    test::fillSample(doc);
    win().RefreshDocumentView();
    setClipboardText("old content");
    QTest::mouseClick(win().btnClipboard, Qt::LeftButton);
    const QString text = clipboardText();
    QVERIFY(text.endsWith("\r\n"));
    QVERIFY(!text.contains(QRegularExpression("[^\r]\n")));
    const QStringList lines = text.split("\r\n");
    QCOMPARE(lines.at(1), QStringLiteral("01\tGround floor, north room"));
    QCOMPARE(lines.at(2), "File\tRecord\tDate/Time\t" + Degree + "C\tSpecies\tSG\tMoisture\tNotes");
    QVERIFY(lines.contains(QStringLiteral("Boards delivered Monday")));
    QCOMPARE(text, clipboardExportText(doc, true));
    win().settings.Centigrade = false;
    QTest::mouseClick(win().btnClipboard, Qt::LeftButton);
    QVERIFY(clipboardText().contains("Date/Time\t" + Degree + "F\t"));
}

void TestMainWindow::recentFilesMenuFollowsTheList()
{
    QStringList files;
    for (int i = 0; i < 11; ++i)
        files << saveSample(QStringLiteral("r%1.krx").arg(i));
    for (const QString& f : files) {
        prompts->answerOpen(f);
        QTest::mouseClick(win().btnOpen, Qt::LeftButton);
    }
    const auto actions = win().RecentFiles1->actions();
    QCOMPARE(actions.size(), 10);
    QVERIFY(win().RecentFiles1->menuAction()->isEnabled());
    QCOMPARE(actions.first()->text(), "&1 " + files.at(10));
    QCOMPARE(actions.at(9)->text(), "&A " + files.at(1));
    // Opening a listed file again moves its one entry to the top.
    prompts->answerOpen(files.at(5));
    QTest::mouseClick(win().btnOpen, Qt::LeftButton);
    QCOMPARE(win().RecentFiles().Items().first(), files.at(5));
    QCOMPARE(win().RecentFiles().Count(), 10);
    // Choosing an entry opens it and leaves the order alone.
    win().RecentFiles1->actions().at(3)->trigger();
    QCOMPARE(QString::fromStdString(win().Document().GetFileName()), win().RecentFiles().Items().at(3));
    QCOMPARE(win().RecentFiles().Items().first(), files.at(5));
}

void TestMainWindow::closeAsksAboutChangesAndCancelKeepsOpen()
{
    QTest::keyClick(win().edNote, Qt::Key_A);
    prompts->answer(mbCancel);
    QVERIFY(!win().close());
    QVERIFY(win().isVisible());
    QCOMPARE(prompts->messageTexts(), QStringList{"Do you wish to save these changes?"});
    prompts->answer(mbNo);
    QVERIFY(win().close());
    QVERIFY(!win().isVisible());
}

void TestMainWindow::failedSaveInCloseKeepsWindowOpen()
{
    const QString file = saveSample("closing.krx");
    prompts->answerOpen(file);
    QTest::mouseClick(win().btnOpen, Qt::LeftButton);
    QTest::keyClick(win().edNote, Qt::Key_A);
    prompts->answer(mbYes);
    prompts->answer(mbOK);
    failNextAtomicWrite(WriteResult::WriteFailed);
    QVERIFY(!win().close());
    QVERIFY(win().isVisible());
    QCOMPARE(prompts->messages().last().kind, MsgKind::Error);
    QCOMPARE(prompts->messageTexts().last(), QStringLiteral("Stream write error"));
    QVERIFY(win().Document().IsModified());
}

void TestMainWindow::layoutIsStoredAndRestored()
{
    const QString file = saveSample("remember.krx");
    prompts->answerOpen(file);
    QTest::mouseClick(win().btnOpen, Qt::LeftButton);
    win().dgData->horizontalHeader()->resizeSection(5, 222);
    const int firstWidth = win().dgData->horizontalHeader()->sectionSize(0);
    QVERIFY(win().close());
    IniFile ini(IniFilePath());
    QCOMPARE(fromCp1252(ini.readString("setup\\TfmMain.MRUManager1", "Item_0", "")), file);
    QCOMPARE(ini.readString("setup\\TfmMain.MRUManager1", "User_0", ""), std::string("1"));
    QCOMPARE(ini.readInteger("setup\\TfmMaindgData", "Item5", 0), 222);
    QCOMPARE(ini.readInteger("setup\\TfmMaindgData", "Item0", 0), firstWidth);
    QVERIFY(ini.readInteger("setup", "paTop_Height", -1) > 0);
    window.reset();

    TfmMain::Options o;
    o.openPort = false;
    window = std::make_unique<TfmMain>(o);
    QVERIFY(win().RecentFiles().IsEmpty()); // applied as the window shows
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(win().RecentFiles().Items(), QStringList{file});
    QCOMPARE(win().dgData->horizontalHeader()->sectionSize(5), 222);
}

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
