#include "mainwindow/Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTableView>
#include <QToolButton>

#include "core/Readings.h"
#include "core/Regional.h"
#include "library/ItemObj.h"
#include "library/LibraryExchanges.h"
#include "library/List.h"
#include "library/ui/MeterSetup.h"
#include "archive/ArchiveQueue.h"
#include "mainwindow/ArchiveKeeper.h"
#include "mainwindow/ArchiveWindow.h"
#include "mainwindow/DataGrid.h"
#include "mainwindow/Glance.h"
#include "mainwindow/InspectionWindow.h"

#include "platform/ui/Glyphs.h"
#include "mainwindow/Note.h"
#include "mainwindow/SubFileList.h"
#include "meter/MeterLink.h"
#include "platform/Help.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/ShellOpen.h"
#include "platform/ErrorReport.h"
#include "platform/Text.h"
#include "settings/Appglob.h"
#include "settings/FormStorage.h"
#include "settings/IniFile.h"
#include "settings/ui/WindowLayout.h"
#include "print/ui/PrinterChoice.h"
#include "print/ui/Printdlg.h"

namespace kr {

namespace {

// Leaving the comment box for another control counts; a menu or popup
// opening, or another window coming to the front, does not.
bool movesFocusWithinWindow(const QFocusEvent* event)
{
    return event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason;
}

} // namespace

TfmMain::TfmMain(QWidget* parent) : TfmMain(Options{}, parent) {}

TfmMain::TfmMain(const Options& opts, QWidget* parent) : QMainWindow(parent), options(opts)
{
    setObjectName(QStringLiteral("fmMain"));
    setFont(windowFont());

    // Every date the program shows: two-digit day and month, four-digit year.
    RegionalSettings regionalNow = regional();
    regionalNow.shortDateFormat = "dd/mm/yyyy";
    setRegional(regionalNow);

    document = std::make_unique<TKRFile>();
    workflow = std::make_unique<TDocumentWorkflow>(*document, MRUManager1, static_cast<DocumentView&>(*this));
    MRUManager1.onChanged = [this] { rebuildRecentMenu(); };

    buildWindow();

    cbSubFiles->setCurrentIndex(0);
    ShowCurrentFile();

    setCaption(main_text::InitialCaption);
    document->SetModifiedObserver([this](bool modified) { setWindowModified(modified); });
    QCoreApplication::setApplicationName(main_text::ApplicationTitle);
    attachLayout();

    settings = ReadSettings();
    archiveKeeper = std::make_unique<TArchiveKeeper>([] { return ReadArchiveLocation(IniFile(IniFilePath())); },
                                                     [this] { return settings.Archive; });
    workflow->fileDone = [this](const QString& fileName) { archiveKeeper->KeepFile(*document, fileName); };
    meter = std::make_unique<TMeterCommands>(settings.PortNumber, static_cast<TDocumentHost&>(*this),
                                             archiveKeeper.get());
    if (options.openPort)
        meter->Link().OpenSilently();

    setAcceptDrops(true);
    resize(664, 541);
    // Centred until a stored placement says otherwise (applied on the first show).
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

    tiSplash.setObjectName(QStringLiteral("tiSplash"));
    tiSplash.setSingleShot(true);
    tiSplash.setInterval(options.splashMs);
    connect(&tiSplash, &QTimer::timeout, this, [this] { tiSplashTimer(); });
    tiSplash.start();
}

TfmMain::~TfmMain()
{
    // A window that went without a close still stores its layout once.
    if (layout)
        layout->SaveOnDestroy();
    if (meter)
        meter->Link().Close();
    document->SetModifiedObserver({});
    // An import stops at its next file and is waited for.
    delete archiveImport;
    delete archiveSend;
    // The views read the document and the settings while they go: take them
    // down while both still exist.
    delete fmMeterSetup;
    delete fmGlance;
    delete fmArchive;
    delete fmInspection;
    dgData->setModel(nullptr);
    delete gridModel;
    delete takeCentralWidget();
}

int TfmMain::CurrentFile() const { return cbSubFiles->CurrentFile(); }

void TfmMain::ShowCurrentFile()
{
    edNote->setText(fromCp1252(document->GetComment(CurrentFile())));
    RepaintGrid();
}

void TfmMain::FitColumns()
{
    if (!fitColumnsToTexts)
        return;
    QHeaderView* header = dgData->horizontalHeader();
    const auto widths = grid::contentWidths(*document, settings.Centigrade, dgData->fontMetrics(), header->fontMetrics());
    fittingColumns = true;
    for (int pos = 0; pos < grid::ColumnCount; ++pos) {
        const int logical = header->logicalIndex(pos);
        header->resizeSection(logical, std::max(widths[std::size_t(pos)], header->sectionSizeHint(logical)));
    }
    fittingColumns = false;
}

void TfmMain::RepaintGrid()
{
    gridModel->refresh();
    dgData->viewport()->update();
    dgData->horizontalHeader()->viewport()->update();
    emit ViewChanged();
}

void TfmMain::RefreshDocumentView()
{
    cbSubFiles->setCurrentIndex(0);
    edNote->setText(fromCp1252(document->GetComment(1)));
    fillingView = true;
    memMemo->setPlainText(NotesBoxText(document->GetNotesText()));
    fillingView = false;
    cbSubFiles->Repaint();
    FitColumns();
    RepaintGrid();
    document->ClearModified();
    setCaption(WindowCaption(document->GetFileName()));
    btnClipboard->setEnabled(true);
    Clipboard1->setEnabled(true);
}

void TfmMain::setCaption(const QString& caption)
{
    setWindowTitle(caption + QStringLiteral("[*]"));
    setWindowModified(document->IsModified());
}

bool TfmMain::QuerySaveChanges() { return workflow->QuerySaveChanges(); }

void TfmMain::SetSplash(QWidget* s) { splash = s; }

void TfmMain::SetNoteDialog(TfmNote* note) { fmNote = note; }

void TfmMain::SetAboutDialog(QDialog* about) { fmAbout = about; }

TfmNote* TfmMain::NoteDialog()
{
    if (!fmNote)
        fmNote = new TfmNote(this);
    return fmNote;
}

void TfmMain::SetBusy(bool busy)
{
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        QCoreApplication::processEvents();
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void TfmMain::btnOpenClick()
{
    runHandler([this] { workflow->btnOpenClick(); });
}

void TfmMain::Save1Click()
{
    runHandler([this] { workflow->Save1Click(); });
}

void TfmMain::SaveAs1Click()
{
    runHandler([this] { workflow->SaveAs1Click(); });
}

void TfmMain::MRUManager1Click(const QString& fileName)
{
    runHandler([this, &fileName] { workflow->MRUManager1Click(fileName); });
}

void TfmMain::Exit1Click() { close(); }

void TfmMain::Export1Click() { workflow->Export1Click(); }

void TfmMain::btnClipboardClick()
{
    runHandler([this] { setClipboardText(clipboardExportText(*document, settings.Centigrade)); });
}

void TfmMain::btnPreviousClick()
{
    if (CurrentFile() <= 1)
        return;
    cbSubFiles->setCurrentIndex(cbSubFiles->currentIndex() - 1);
    ShowCurrentFile();
}

void TfmMain::btnNextClick()
{
    if (CurrentFile() >= TFile::FileCount)
        return;
    cbSubFiles->setCurrentIndex(cbSubFiles->currentIndex() + 1);
    ShowCurrentFile();
}

void TfmMain::cbSubFilesChange() { ShowCurrentFile(); }

void TfmMain::storeComment()
{
    document->SetComment(CurrentFile(), toCp1252(edNote->text()));
    cbSubFiles->Repaint();
}

// Only a change of the text marks the document: a key released in the box
// without changing it (the Enter that closed a dialog, an arrow) does not.
void TfmMain::edNoteChange() { storeComment(); }

void TfmMain::edNoteExit()
{
    if (toCp1252(edNote->text()) != document->GetComment(CurrentFile()))
        storeComment();
}

void TfmMain::memMemoChange()
{
    document->SetNotes(NotesFromBox(memMemo->toPlainText()));
    if (!fillingView)
        document->SetModified();
}

void TfmMain::dgDataDblClick()
{
    runHandler([this] {
        const QModelIndex current = dgData->currentIndex();
        if (!current.isValid())
            return;
        const int fileNo = CurrentFile();
        const int r = current.row() + 1;
        const TReading& reading = document->GetReading(fileNo, r);
        if (!(reading.GetMoisture() > 0))
            return;
        TfmNote* note = NoteDialog();
        note->lblItem->setText(fromCp1252(reading.GetSpecies()));
        note->lblReading->setText(fromCp1252(ReadingNoteLine(reading, settings.Centigrade)));
        note->edNote->setText(fromCp1252(reading.GetNote()));
        if (note->exec() != QDialog::Accepted)
            return;
        document->SetNote(fileNo, r, toCp1252(note->edNote->text()));
        RepaintGrid();
    });
}

// The meter commands run their exchanges, which tell their own outcomes.
void TfmMain::btnDownloadClick() { meter->Download(); }

void TfmMain::SetDownloadEnabled(bool enabled)
{
    btnDownload->setEnabled(enabled);
    Download1->setEnabled(enabled);
}
void TfmMain::btnSetupClick() { MeterList1Click(); }

// The serial-number query goes first: the editor waits for its answer and
// reads the meter's library at once when a meter answered.
void TfmMain::MeterList1Click()
{
    if (meter->Busy())
        return;
    TfmMeterSetup* editor = MeterSetup();
    meter->RequestSerialNo();
    editor->exec();
}

TfmMeterSetup* TfmMain::MeterSetup()
{
    if (fmMeterSetup)
        return fmMeterSetup;
    meter->LoadCatalogues();
    libraryList = std::make_unique<TLibraryList>(meter->Catalogue());
    libraryList->SetWallRoofHolder(&meter->Library());
    TMeterSetupHooks hooks;
    hooks.resetWallRoof = [this] { meter->Library().ResetWallRoofEntries(); };
    hooks.meterAnswer = [this] { return meter->WaitForSerialNo(); };
    hooks.receive = [this] { return meter->ReceiveLibrary(); };
    hooks.send = [this](const std::vector<std::string>& codes) { meter->SendLibrary(codes); };
    hooks.print = [this] { LibraryPrint(); };
    hooks.help = [](int topic) { showHelp(topic); };
    hooks.printSetup = [this] { PrintSetup1Click(); };
    hooks.busy = [this] { return meter->Running(); };
    fmMeterSetup = new TfmMeterSetup(*libraryList, std::move(hooks), this);
    return fmMeterSetup;
}

void TfmMain::btnClearKRMClick() { meter->Erase(); }

void TfmMain::SerialNo1Click() { meter->ShowSerialNo(); }

// The port the settings name; the setup dialog's Test asks the one chosen there.
void TfmMain::TestPort1Click() { meter->TestPort(settings.PortNumber); }

void TfmMain::CopyGridCells()
{
    const QHeaderView* header = dgData->horizontalHeader();
    std::vector<grid::CellAt> cells;
    for (const QModelIndex& index : dgData->selectionModel()->selectedIndexes())
        cells.push_back({index.row() + 1, header->visualIndex(index.column())});
    if (cells.empty())
        return;
    const int fileNo = CurrentFile();
    setClipboardText(grid::cellsText(cells, [this, fileNo](int row, int position) {
        return grid::cellText(*document, fileNo, row, position, settings.Centigrade);
    }));
}

TfmPrintDlg* TfmMain::PrintDlg()
{
    if (!fmPrintDlg) {
        fmPrintDlg = new TfmPrintDlg(this);
        fmPrintDlg->onPreview = [this] { printerChoice().Preview(fmPrintDlg, DataPrintJobNow()); };
    }
    return fmPrintDlg;
}

void TfmMain::Contents1Click() { showHelp(help_topic::Contents); }

// The guides open in the desktop's own viewer; without one, the user is told
// where the file is to open it some other way.
namespace {
void openGuide(const QString& name)
{
    const QString path = DataFilePath(name);
    if (!shellOpen(path))
        showMessage(MsgKind::Warning, QStringLiteral("No program to show PDF files was found.\r\nThe guide is %1")
                                          .arg(QDir::toNativeSeparators(path)));
}
} // namespace

void TfmMain::HelpManual1Click() { openGuide(QStringLiteral("kr user guide.pdf")); }
void TfmMain::WorkingwithyourKR1Click() { openGuide(QStringLiteral("Working with your KR.pdf")); }

// Not modal: it stays open beside the main window and follows it.
void TfmMain::Glance1Click()
{
    TfmGlance* glance = Glance();
    glance->show();
    glance->raise();
    glance->activateWindow();
}

void TfmMain::Archive1Click()
{
    if (!fmArchive) {
        ArchiveWindowHooks hooks;
        hooks.archive = archiveKeeper->Location();
        hooks.centigrade = [this] { return settings.Centigrade; };
        hooks.openDocument = [this](TFile& exported) { OpenExportedDocument(exported); };
        fmArchive = TfmArchive::Open(std::move(hooks), this);
        if (!fmArchive)
            return;
    } else {
        // A download kept since it was last shown is found too.
        runHandler([this] { fmArchive->Refresh(); });
    }
    fmArchive->show();
    fmArchive->raise();
    fmArchive->activateWindow();
}

void TfmMain::OpenExportedDocument(TFile& exported)
{
    runHandler([this, &exported] { workflow->OpenUnsaved(exported); });
}

void TfmMain::About1Click()
{
    // The serial number arrives while the box is open.
    meter->RequestSerialNo();
    if (fmAbout)
        fmAbout->exec();
}

void TfmMain::showEvent(QShowEvent* event)
{
    if (!shownOnce) {
        shownOnce = true;
        runHandler([this] { layout->Restore(); });
        fitColumnsToTexts = !IniFile(IniFilePath()).sectionExists(MainGridSection);
        FormShow();
        FitColumns();
        if (!options.startFile.isEmpty())
            MRUManager1Click(options.startFile);
    }
    QMainWindow::showEvent(event);
}

void TfmMain::FormShow()
{
    QHeaderView* header = dgData->horizontalHeader();
    if (header->sectionSize(0) < grid::MinFirstColumnWidth)
        header->resizeSection(0, grid::MinFirstColumnWidth);
}

bool TfmMain::FormCloseQuery()
{
    bool mayClose = false;
    if (!runHandler([this, &mayClose] { mayClose = workflow->FormCloseQuery(); }))
        return false;
    return mayClose;
}

void TfmMain::closeEvent(QCloseEvent* event)
{
    if (refuseCloseWhileBusy(meter->Running()) || !FormCloseQuery()) {
        event->ignore();
        return;
    }
    // A layout that cannot be stored is reported; the window closes all the same.
    if (const auto failure = layout->Save())
        showErrorReport(fromCp1252(*failure));
    event->accept();
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event)
{
    // Enter or F2 on a reading opens its note, as a double click does.
    if (watched == dgData && event->type() == QEvent::KeyPress) {
        const auto* keyEvent = static_cast<QKeyEvent*>(event);
        const int key = keyEvent->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F2) {
            dgDataDblClick();
            return true;
        }
        // The view alone would copy the current cell only.
        if (keyEvent->matches(QKeySequence::Copy)) {
            runHandler([this] { CopyGridCells(); });
            return true;
        }
    }
    if (watched == edNote && event->type() == QEvent::FocusOut &&
        movesFocusWithinWindow(static_cast<QFocusEvent*>(event)))
        runHandler([this] { edNoteExit(); });
    return QMainWindow::eventFilter(watched, event);
}

void TfmMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

// A dropped data file opens as one chosen in the Open dialog would, after
// the question about unsaved changes.
void TfmMain::dropEvent(QDropEvent* event)
{
    const QString file = droppedFile(event->mimeData());
    if (file.isEmpty())
        return;
    event->acceptProposedAction();
    MRUManager1Click(file);
}

void TfmMain::tiSplashTimer()
{
    tiSplash.stop();
    // The splash may already be gone; nothing about it is worth a message.
    try {
        if (splash)
            splash->deleteLater();
        splash = nullptr;
    } catch (...) {
    }
    if (settings.Archive && ArchiveQueueWaits())
        SendWaiting1Click();
}

} // namespace kr
