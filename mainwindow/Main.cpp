#include "mainwindow/Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSplitter>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/Readings.h"
#include "core/Regional.h"
#include "library/ItemObj.h"
#include "library/LibraryExchanges.h"
#include "library/List.h"
#include "library/ui/MeterSetup.h"
#include "mainwindow/DataGrid.h"
#include "mainwindow/Glance.h"
#include "platform/ui/Glyphs.h"
#include "mainwindow/Note.h"
#include "mainwindow/SubFileList.h"
#include "meter/MeterLink.h"
#include "meter/Wait.h"
#include "core/AtomicFile.h"
#include "platform/DocumentExport.h"
#include "platform/Help.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/Cp1252Guard.h"
#include "platform/ui/SelectPortDialog.h"
#include "platform/ui/ShellOpen.h"
#include "platform/ErrorReport.h"
#include "platform/Text.h"
#include "settings/Appglob.h"
#include "settings/FormStorage.h"
#include "settings/IniFile.h"
#include "settings/ui/Setup.h"
#include "settings/ui/WindowLayout.h"
#include "print/DataPrint.h"
#include "print/LibraryPrint.h"
#include "print/ReportSetup.h"
#include "print/ui/Libpnt.h"
#include "print/ui/PrinterChoice.h"
#include "print/ui/Printdlg.h"

namespace kr {

namespace {

constexpr int ToolbarHeight = 45;
constexpr int NotesPanelHeight = 72;
constexpr int FileListPanelHeight = 101;

QStringList memoLines(const QString& text)
{
    // As many lines as the box shows: "a\nb" is two lines, and so is "a\n".
    if (text.isEmpty())
        return {};
    return text.split(QLatin1Char('\n'));
}

// Leaving the comment box for another control counts; a menu or popup
// opening, or another window coming to the front, does not.
bool movesFocusWithinWindow(const QFocusEvent* event)
{
    return event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason;
}

std::vector<std::string> memoLinesToCp1252(const QStringList& lines)
{
    std::vector<std::string> out;
    out.reserve(std::size_t(lines.size()));
    for (const QString& line : lines)
        out.push_back(toCp1252(line));
    return out;
}

} // namespace

QString clipboardExportText(const TFile& doc, bool centigrade)
{
    return fromCp1252(ExportClipboardText(doc, centigrade));
}

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
    workflow = std::make_unique<TDocumentWorkflow>(*document, MRUManager1, static_cast<DocumentView&>(*this),
                                                   [] { return ProgramFolder(); });
    MRUManager1.onChanged = [this] { rebuildRecentMenu(); };

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("paClient"));
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* toolbar = new QWidget(central);
    buildToolbar(toolbar);
    column->addWidget(toolbar);
    auto* rule = new QFrame(central);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    column->addWidget(rule);

    RxSplitter1 = new QSplitter(Qt::Vertical, central);
    RxSplitter1->setObjectName(QStringLiteral("RxSplitter1"));
    RxSplitter1->setChildrenCollapsible(false);
    RxSplitter1->setHandleWidth(5);
    RxSplitter1->addWidget(buildNotesPanel());
    auto* lower = new QWidget(RxSplitter1);
    auto* lowerColumn = new QVBoxLayout(lower);
    lowerColumn->setContentsMargins(0, 0, 0, 0);
    lowerColumn->setSpacing(0);
    lowerColumn->addWidget(buildFileListPanel());
    buildGrid();
    lowerColumn->addWidget(dgData, 1);
    RxSplitter1->addWidget(lower);
    RxSplitter1->setStretchFactor(0, 0);
    RxSplitter1->setStretchFactor(1, 1);
    RxSplitter1->setSizes({NotesPanelHeight, 400});
    column->addWidget(RxSplitter1, 1);
    setCentralWidget(central);
    buildMenu();

    cbSubFiles->setCurrentIndex(0);
    ShowCurrentFile();

    setWindowTitle(main_text::InitialCaption);
    QCoreApplication::setApplicationName(main_text::ApplicationTitle);
    attachLayout();

    settings = ReadSettings();
    link = std::make_unique<TMeterLink>(settings.PortNumber);
    exchanges = std::make_unique<TMeterExchanges>(*link, static_cast<TDocumentHost&>(*this));
    connect(exchanges.get(), &TMeterExchanges::DownloadEnded, this, [this] { DownloadEnded(); });
    catalogue = std::make_unique<TFactorCatalogue>();
    libraryExchanges = std::make_unique<TLibraryExchanges>(*exchanges, *catalogue);
    libraryExchanges->SetNoExtraErase(NdArgumentGiven(QCoreApplication::arguments()));
    if (options.openPort)
        link->OpenSilently();

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
    if (link)
        link->Close();
    // The views read the document and the settings while they go: take them
    // down while both still exist.
    delete fmMeterSetup;
    delete fmGlance;
    dgData->setModel(nullptr);
    delete gridModel;
    delete takeCentralWidget();
}

void TfmMain::attachLayout()
{
    layout = std::make_unique<WindowLayout>(this, IniFilePath(), MainLayoutSection);
    layout->attachColumnWidths(dgData, MainGridSection);
    layout->attachRecentFiles(
        RecentFilesSection,
        [this] {
            std::vector<RecentEntry> entries;
            for (const QString& name : MRUManager1.Items())
                entries.push_back({TRecentFiles::StoredName(name), 1});
            return entries;
        },
        [this](const std::vector<RecentEntry>& entries) {
            QStringList names;
            for (const RecentEntry& e : entries)
                names << TRecentFiles::NameFromStored(e.name);
            MRUManager1.Assign(names);
        });
    layout->storeInteger(
        "paTop", "Height", [this] { return RxSplitter1->sizes().value(0, paTop->height()); },
        [this](int height) {
            QList<int> sizes = RxSplitter1->sizes();
            if (sizes.size() < 2 || height < paTop->minimumHeight())
                return;
            const int total = sizes[0] + sizes[1];
            sizes[0] = height;
            sizes[1] = std::max(1, total - height);
            RxSplitter1->setSizes(sizes);
        });
}

void TfmMain::buildToolbar(QWidget* bar)
{
    bar->setObjectName(QStringLiteral("paToolbar"));
    bar->setFixedHeight(ToolbarHeight);
    bar->setAutoFillBackground(true);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(4, 4, 4, 4);
    row->setSpacing(2);
    btnOpen = glyphButton(bar, "btnOpen", Glyph::Open, QStringLiteral("Load file from disk"));
    btnSave = glyphButton(bar, "btnSave", Glyph::Save, QStringLiteral("Save data to disk"));
    btnClipboard = glyphButton(bar, "btnClipboard", Glyph::Clipboard,
                              QStringLiteral("Copy to clipboard|Copy the loaded data into the clipboard"));
    btnDownload = glyphButton(bar, "btnDownload", Glyph::Download, QStringLiteral("Load data from meter"));
    btnSetup = glyphButton(bar, "btnSetup", Glyph::Library, QStringLiteral("Library Edit"));
    btnClearKRM = glyphButton(bar, "btnClearKRM", Glyph::Erase, QStringLiteral("Erase Data"));
    btnPrint = glyphButton(bar, "btnPrint", Glyph::Print, QStringLiteral("Print"));
    btnGlance = glyphButton(bar, "btnGlance", Glyph::Chart,
                            QStringLiteral("Readings at a glance|Statistics and a chart of the readings"));
    btnHelp = glyphButton(bar, "btnHelp", Glyph::Help, QStringLiteral("Help"));
    btnClipboard->setEnabled(false);

    auto separator = [bar] {
        auto* line = new QFrame(bar);
        line->setFrameShape(QFrame::VLine);
        line->setFrameShadow(QFrame::Sunken);
        line->setFixedHeight(26);
        return line;
    };
    row->addWidget(btnOpen);
    row->addWidget(btnSave);
    row->addWidget(btnClipboard);
    row->addSpacing(4);
    row->addWidget(separator());
    row->addSpacing(4);
    row->addWidget(btnDownload);
    row->addWidget(btnSetup);
    row->addWidget(btnClearKRM);
    row->addSpacing(4);
    row->addWidget(separator());
    row->addSpacing(4);
    row->addWidget(btnPrint);
    row->addWidget(btnGlance);
    row->addStretch(1);
    row->addWidget(btnHelp);

    connect(btnOpen, &QToolButton::clicked, this, &TfmMain::btnOpenClick);
    connect(btnSave, &QToolButton::clicked, this, &TfmMain::SaveAs1Click);
    connect(btnClipboard, &QToolButton::clicked, this, &TfmMain::btnClipboardClick);
    connect(btnDownload, &QToolButton::clicked, this, &TfmMain::btnDownloadClick);
    connect(btnSetup, &QToolButton::clicked, this, &TfmMain::btnSetupClick);
    connect(btnClearKRM, &QToolButton::clicked, this, &TfmMain::btnClearKRMClick);
    connect(btnPrint, &QToolButton::clicked, this, &TfmMain::btnPrintClick);
    connect(btnGlance, &QToolButton::clicked, this, &TfmMain::Glance1Click);
    connect(btnHelp, &QToolButton::clicked, this, &TfmMain::Contents1Click);
}

QWidget* TfmMain::buildNotesPanel()
{
    paTop = new QWidget;
    paTop->setObjectName(QStringLiteral("paTop"));
    paTop->setMinimumHeight(40);
    auto* col = new QVBoxLayout(paTop);
    col->setContentsMargins(6, 3, 6, 0);
    col->setSpacing(2);
    auto* heading = new QLabel(QStringLiteral("User Notes:"), paTop);
    heading->setObjectName(QStringLiteral("lblUserNotes"));
    memMemo = new QPlainTextEdit(paTop);
    memMemo->setObjectName(QStringLiteral("memMemo"));
    memMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // A tab inside a notes line would split it into columns in the export.
    memMemo->setTabChangesFocus(true);
    guardCp1252(memMemo);
    heading->setBuddy(memMemo);
    col->addWidget(heading);
    col->addWidget(memMemo, 1);
    connect(memMemo, &QPlainTextEdit::textChanged, this, [this] { memMemoChange(); });
    return paTop;
}

QWidget* TfmMain::buildFileListPanel()
{
    paFileList = new QWidget;
    paFileList->setObjectName(QStringLiteral("paFileList"));
    paFileList->setFixedHeight(FileListPanelHeight);

    btnPrevious = glyphButton(paFileList, "btnPrevious", Glyph::Previous, QStringLiteral("Previous File"));
    btnNext = glyphButton(paFileList, "btnNext", Glyph::Next, QStringLiteral("Next File"));
    connect(btnPrevious, &QToolButton::clicked, this, &TfmMain::btnPreviousClick);
    connect(btnNext, &QToolButton::clicked, this, &TfmMain::btnNextClick);

    cbSubFiles = new TSubFileList(*document, paFileList);
    cbSubFiles->setObjectName(QStringLiteral("cbSubFiles"));
    cbSubFiles->setToolTip(QStringLiteral("Select file"));
    cbSubFiles->setStatusTip(QStringLiteral("Select file"));
    cbSubFiles->setFixedHeight(22);
    connect(cbSubFiles, &QComboBox::activated, this, [this] { cbSubFilesChange(); });
    auto* filesLabel = new QLabel(QStringLiteral("Moisture meter files:"), paFileList);
    filesLabel->setObjectName(QStringLiteral("lblFiles"));
    filesLabel->setBuddy(cbSubFiles);

    edNote = new QLineEdit(paFileList);
    edNote->setObjectName(QStringLiteral("edNote"));
    edNote->setMaxLength(int(TSubFile::CommentCapacity));
    guardCp1252(edNote);
    edNote->setFixedHeight(22);
    setHint(edNote, QStringLiteral("File Comment"));
    edNote->installEventFilter(this);
    connect(edNote, &QLineEdit::textEdited, this, [this] { runHandler([this] { edNoteChange(); }); });
    auto* commentLabel = new QLabel(QStringLiteral("Comment:"), paFileList);
    commentLabel->setObjectName(QStringLiteral("lblComment"));
    commentLabel->setBuddy(edNote);

    auto* arrows = new QHBoxLayout;
    arrows->setSpacing(4);
    arrows->addWidget(btnPrevious);
    arrows->addWidget(btnNext);

    auto* fields = new QVBoxLayout;
    fields->setSpacing(2);
    fields->addWidget(filesLabel);
    fields->addWidget(cbSubFiles);
    fields->addSpacing(4);
    fields->addWidget(commentLabel);
    fields->addWidget(edNote);

    auto* row = new QHBoxLayout(paFileList);
    row->setContentsMargins(8, 4, 8, 6);
    row->setSpacing(12);
    row->addLayout(arrows);
    row->addLayout(fields, 1);
    return paFileList;
}

void TfmMain::buildGrid()
{
    dgData = new QTableView;
    dgData->setObjectName(QStringLiteral("dgData"));
    gridModel = new TDataGridModel(*document, [this] { return CurrentFile(); }, [this] { return settings.Centigrade; },
                                   dgData);
    dgData->setModel(gridModel);
    dgData->setItemDelegate(new TDataGridDelegate(dgData));
    dgData->setShowGrid(true);
    dgData->setSelectionMode(QAbstractItemView::ContiguousSelection);
    dgData->setSelectionBehavior(QAbstractItemView::SelectItems);
    dgData->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dgData->setWordWrap(false);
    dgData->setCornerButtonEnabled(false);
    dgData->verticalHeader()->hide();
    dgData->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // The minimum first: the default is bounded by it.
    dgData->verticalHeader()->setMinimumSectionSize(grid::RowHeight);
    dgData->verticalHeader()->setDefaultSectionSize(grid::RowHeight);
    QHeaderView* header = dgData->horizontalHeader();
    header->setFixedHeight(grid::RowHeight + 3);
    header->setSectionsMovable(true);
    header->setSectionResizeMode(QHeaderView::Interactive);
    // The last column (Notes) takes whatever width the window has to spare.
    header->setStretchLastSection(true);
    header->setHighlightSections(false);
    header->setMinimumSectionSize(4);
    for (int c = 0; c < grid::ColumnCount; ++c)
        header->resizeSection(c, grid::DesignWidths[c]);
    gridModel->setPositionOf([header](int column) { return header->visualIndex(column); });
    connect(header, &QHeaderView::sectionMoved, this, [this] { RepaintGrid(); });
    connect(header, &QHeaderView::sectionResized, this, [this] {
        if (!fittingColumns && QGuiApplication::mouseButtons() != Qt::NoButton)
            fitColumnsToTexts = false;
    });
    connect(dgData, &QTableView::doubleClicked, this, [this] { dgDataDblClick(); });
    dgData->installEventFilter(this);
}

void TfmMain::buildMenu()
{
    File1 = menuBar()->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    Open1 = File1->addAction(QStringLiteral("&Open..."), this, &TfmMain::btnOpenClick);
    Open1->setObjectName(QStringLiteral("Open1"));
    Open1->setShortcut(QKeySequence::Open);
    Save1 = File1->addAction(QStringLiteral("&Save"), this, &TfmMain::Save1Click);
    Save1->setObjectName(QStringLiteral("Save1"));
    Save1->setShortcut(QKeySequence::Save);
    SaveAs1 = File1->addAction(QStringLiteral("Save &As..."), this, &TfmMain::SaveAs1Click);
    SaveAs1->setObjectName(QStringLiteral("SaveAs1"));
    SaveAs1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    Export1 = File1->addAction(QStringLiteral("&Export..."), this, &TfmMain::Export1Click);
    Export1->setObjectName(QStringLiteral("Export1"));
    File1->addSeparator();
    Print1 = File1->addAction(QStringLiteral("&Print..."), this, &TfmMain::btnPrintClick);
    Print1->setObjectName(QStringLiteral("Print1"));
    Print1->setShortcut(QKeySequence::Print);
    PrintSetup1 = File1->addAction(QStringLiteral("P&rint Setup..."), this, &TfmMain::PrintSetup1Click);
    PrintSetup1->setObjectName(QStringLiteral("PrintSetup1"));
    File1->addSeparator();
    RecentFiles1 = File1->addMenu(QStringLiteral("Recent Files"));
    RecentFiles1->setObjectName(QStringLiteral("RecentFiles1"));
    Exit1 = File1->addAction(QStringLiteral("E&xit"), this, &TfmMain::Exit1Click);
    Exit1->setObjectName(QStringLiteral("Exit1"));
    Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    Options1 = menuBar()->addMenu(QStringLiteral("Options"));
    Options1->setObjectName(QStringLiteral("Options1"));
    MeterList1 = Options1->addAction(QStringLiteral("Library Edit"), this, &TfmMain::MeterList1Click);
    MeterList1->setObjectName(QStringLiteral("MeterList1"));
    System1 = Options1->addAction(QStringLiteral("System Setup"), this, &TfmMain::System1Click);
    System1->setObjectName(QStringLiteral("System1"));
    Glance1 = Options1->addAction(QStringLiteral("Readings at a glance"), this, &TfmMain::Glance1Click);
    Glance1->setObjectName(QStringLiteral("Glance1"));
    Help1 = menuBar()->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Contents1 = Help1->addAction(QStringLiteral("&Contents"), this, &TfmMain::Contents1Click);
    Contents1->setObjectName(QStringLiteral("Contents1"));
    Contents1->setShortcut(QKeySequence::HelpContents);
    HelpManual1 = Help1->addAction(QStringLiteral("KR  User's Guide"), this, &TfmMain::HelpManual1Click);
    HelpManual1->setObjectName(QStringLiteral("HelpManual1"));
    WorkingwithyourKR1 = Help1->addAction(QStringLiteral("Working with your KR"), this, &TfmMain::WorkingwithyourKR1Click);
    WorkingwithyourKR1->setObjectName(QStringLiteral("WorkingwithyourKR1"));
    About1 = Help1->addAction(QStringLiteral("&About..."), this, &TfmMain::About1Click);
    About1->setObjectName(QStringLiteral("About1"));
    rebuildRecentMenu();
}

void TfmMain::rebuildRecentMenu()
{
    if (!RecentFiles1)
        return;
    RecentFiles1->clear();
    const QStringList& items = MRUManager1.Items();
    for (int i = 0; i < items.size(); ++i) {
        const QString name = items.at(i);
        QAction* a = RecentFiles1->addAction(TRecentFiles::MenuCaption(i, name));
        connect(a, &QAction::triggered, this, [this, name] { MRUManager1Click(name); });
    }
    RecentFiles1->menuAction()->setEnabled(!items.isEmpty());
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
    QString notes = fromCp1252(document->GetNotesText());
    notes.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    // The last line's end would show as one more, empty line in the box.
    if (notes.endsWith(QLatin1Char('\n')))
        notes.chop(1);
    fillingView = true;
    memMemo->setPlainText(notes);
    fillingView = false;
    cbSubFiles->Repaint();
    FitColumns();
    RepaintGrid();
    document->ClearModified();
    setWindowTitle(main_text::CaptionPrefix + fromNativePath(document->GetFileName()) + QLatin1Char(']'));
    btnClipboard->setEnabled(true);
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

// The document as CSV or JSON for other tools, the bytes kr-cli convert writes.
void TfmMain::Export1Click()
{
    FileDialogRequest r;
    r.title = QStringLiteral("Export");
    r.filters = {QStringLiteral("CSV files (*.csv)"), QStringLiteral("JSON files (*.json)")};
    r.defaultSuffix = QStringLiteral("csv");
    if (document->GetFileName() != TFile::NoFileName)
        r.fileName = QFileInfo(fromNativePath(document->GetFileName())).completeBaseName();
    const std::optional<FileDialogResult> chosen = prompts().saveFile(r);
    if (!chosen || chosen->path.isEmpty())
        return;
    const QString path = chosen->path;
    if (const QString why = WriteRefusal(path); !why.isEmpty()) {
        showMessage(MsgKind::Warning, why);
        return;
    }
    if (!mayReplace(path))
        return;
    const bool json = path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive)
        || (chosen->filterIndex == 1 && !path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive));
    const std::string bytes = json ? jsonText(*document).toStdString() : csvText(*document);
    if (writeFileAtomically(toNativePath(path), bytes) != WriteResult::Ok)
        showMessage(MsgKind::Error, QStringLiteral("Cannot create file %1").arg(QDir::toNativeSeparators(path)));
}

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
    document->SetNotes(memoLinesToCp1252(memoLines(memMemo->toPlainText())));
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
        const bool c = settings.Centigrade;
        const std::string line = "Moisture Content " + reading.GetMoistureText() + "   recorded on " +
                                 reading.GetDateTimeText() + "  at " + reading.GetTemperatureText(c) + "\xB0" +
                                 (c ? "C" : "F");
        note->lblItem->setText(fromCp1252(reading.GetSpecies()));
        note->lblReading->setText(fromCp1252(line));
        note->edNote->setText(fromCp1252(reading.GetNote()));
        if (note->exec() != QDialog::Accepted)
            return;
        document->SetNote(fileNo, r, toCp1252(note->edNote->text()));
        RepaintGrid();
    });
}

// The meter commands run their exchanges; the library editor, printing and
// help have no window yet, so their commands do nothing for now.
void TfmMain::btnDownloadClick()
{
    runHandler([this] { exchanges->btnDownloadClick(); });
}

// The readings that arrived are kept and shown, but a download cut short
// must not pass for the whole of the meter's memory.
void TfmMain::DownloadEnded()
{
    if (link->BackingUp || link->CommState != csFinished)
        return;
    const std::string shortfall = exchanges->DownloadShortfall();
    if (!shortfall.empty())
        showMessage(exchanges->DataComplete() ? MsgKind::Warning : MsgKind::Error,
                    fromCp1252(shortfall + "\r\n" + exchange_text::RepeatDownload));
}

void TfmMain::SetDownloadEnabled(bool enabled) { btnDownload->setEnabled(enabled); }
void TfmMain::btnSetupClick() { MeterList1Click(); }

// The serial-number query goes first: the editor waits for its answer and
// reads the meter's library at once when a meter answered.
void TfmMain::MeterList1Click()
{
    if (exchanges->Busy())
        return;
    TfmMeterSetup* editor = MeterSetup();
    runHandler([this] { exchanges->RequestSerialNo(); });
    editor->exec();
}

TfmMeterSetup* TfmMain::MeterSetup()
{
    if (fmMeterSetup)
        return fmMeterSetup;
    // A missing catalogue is reported; the editor then works with none. The
    // species added from meters follow, from the user catalogue.
    runHandler([this] { catalogue->LoadCatalogue(toNativePath(FactorsFilePath())); });
    runHandler([this] { catalogue->LoadAdded(toNativePath(AddedFilePath())); });
    libraryList = std::make_unique<TLibraryList>(*catalogue);
    libraryList->SetWallRoofHolder(libraryExchanges.get());
    TMeterSetupHooks hooks;
    hooks.resetWallRoof = [this] { libraryExchanges->ResetWallRoofEntries(); };
    hooks.meterAnswered = [this] {
        // The serial-number request always ends on its quiet timer; the limit
        // only guards against an editor shown without one.
        WaitUntil([this] { return link->SerialState != ssWaiting; }, 10000);
        return link->SerialState == ssFound;
    };
    hooks.receive = [this]() -> std::optional<std::vector<std::string>> {
        TLibraryDownload got = libraryExchanges->BtnReceiveClick();
        if (got.outcome != TLibraryDownloadOutcome::Received)
            return std::nullopt;
        return got.codes;
    };
    hooks.send = [this](const std::vector<std::string>& codes) { libraryExchanges->BtnSendClick(codes); };
    hooks.print = [this] { LibraryPrint(); };
    hooks.help = [](int topic) { showHelp(topic); };
    hooks.printSetup = [this] { PrintSetup1Click(); };
    hooks.busy = [this] { return exchanges->Busy(); };
    fmMeterSetup = new TfmMeterSetup(*libraryList, std::move(hooks), this);
    return fmMeterSetup;
}
void TfmMain::btnClearKRMClick()
{
    runHandler([this] { exchanges->btnClearKRMClick(); });
}
TfmPrintDlg* TfmMain::PrintDlg()
{
    if (!fmPrintDlg) {
        fmPrintDlg = new TfmPrintDlg(this);
        fmPrintDlg->onPreview = [this] { printerChoice().Preview(fmPrintDlg, DataPrintJobNow()); };
    }
    return fmPrintDlg;
}

TPageSetup TfmMain::ReportPageSetup() const { return PageSetupFrom(settings, setupPrintFont.value_or(StoredFont{})); }

// The file marks from the dialog's choice, then the job on the document.
TPrintJob TfmMain::DataPrintJobNow()
{
    FileMarks.fill(false);
    if (fmPrintDlg->AllFiles())
        FileMarks.fill(true);
    else
        FileMarks[std::size_t(CurrentFile() - 1)] = true;
    TDataPrintOptions options;
    static_cast<TPageSetup&>(options) = ReportPageSetup();
    options.marks = FileMarks;
    options.centigrade = settings.Centigrade;
    return DataPrintJob(*document, options);
}

// A PDF is offered the document's name with ".pdf", beside it.
static QString pdfNameFor(const std::string& fileName, const char* untitled)
{
    if (fileName == TFile::NoFileName)
        return QString::fromLatin1(untitled);
    const QFileInfo file(fromNativePath(fileName));
    return file.dir().filePath(file.completeBaseName() + QStringLiteral(".pdf"));
}

void TfmMain::btnPrintClick()
{
    if (PrintDlg()->exec() != QDialog::Accepted)
        return;
    runHandler([this] { printerChoice().Print(DataPrintJobNow(), pdfNameFor(document->GetFileName(), "readings.pdf")); });
}

void TfmMain::PrintSetup1Click()
{
    printerChoice().Setup(this);
}

void TfmMain::LibraryPrint()
{
    if (!fmLibPrintDlg) {
        fmLibPrintDlg = new TfmLibPrintDlg(fmMeterSetup);
        fmLibPrintDlg->onPreview = [this] {
            printerChoice().Preview(fmLibPrintDlg, LibraryPrintJob(libraryList->Selected(), *catalogue,
                                                                   libraryList->FileName(), ReportPageSetup()));
        };
    }
    if (fmLibPrintDlg->exec() != QDialog::Accepted)
        return;
    printerChoice().Print(LibraryPrintJob(libraryList->Selected(), *catalogue, libraryList->FileName(), ReportPageSetup()),
                          pdfNameFor(libraryList->FileName(), "library.pdf"));
}
void TfmMain::Contents1Click() { showHelp(help_topic::Contents); }
TfmSetup* TfmMain::Setup()
{
    if (!fmSetup) {
        TSetupHooks hooks;
        hooks.reopenPort = [this](int number) { link->Reopen(number); };
        hooks.testPort = [this](int number) { exchanges->btnTestClick(number); };
        hooks.help = [](int topic) { showHelp(topic); };
        // Our own open port would count as in use and never be asked.
        hooks.findMeter = [this] {
            link->Close();
            return runFindMeterDialog(this);
        };
        fmSetup = new TfmSetup(std::move(hooks), this);
    }
    return fmSetup;
}

// Whatever the outcome, the port is opened anew on the settings' number and
// the grid repainted, so a changed temperature scale shows at once.
void TfmMain::System1Click()
{
    if (exchanges->Busy())
        return;
    TfmSetup* dialog = Setup();
    runHandler([this, dialog] { dialog->Execute(settings); });
    setupPrintFont = dialog->PrintFont();
    try {
        link->Reopen(settings.PortNumber);
    } catch (...) {
    }
    RepaintGrid();
}

// The guides open in the desktop's own viewer; the program only beeps when it cannot.
void TfmMain::HelpManual1Click() { shellOpen(DataFilePath(QStringLiteral("kr user guide.pdf"))); }
void TfmMain::WorkingwithyourKR1Click() { shellOpen(DataFilePath(QStringLiteral("Working with your KR.pdf"))); }

TfmGlance* TfmMain::Glance()
{
    if (!fmGlance) {
        fmGlance = new TfmGlance(*document, [this] { return CurrentFile(); }, this);
        connect(this, &TfmMain::ViewChanged, fmGlance, &TfmGlance::Refresh);
    }
    return fmGlance;
}

// Not modal: it stays open beside the main window and follows it.
void TfmMain::Glance1Click()
{
    TfmGlance* glance = Glance();
    glance->show();
    glance->raise();
    glance->activateWindow();
}

void TfmMain::About1Click()
{
    // The serial number arrives while the box is open.
    runHandler([this] { exchanges->RequestSerialNo(); });
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
    if (refuseCloseWhileBusy(exchanges->Busy()) || !FormCloseQuery()) {
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
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F2) {
            dgDataDblClick();
            return true;
        }
    }
    if (watched == edNote && event->type() == QEvent::FocusOut &&
        movesFocusWithinWindow(static_cast<QFocusEvent*>(event)))
        runHandler([this] { edNoteExit(); });
    return QMainWindow::eventFilter(watched, event);
}

namespace {

// The one local file of a drag, if it brings exactly one.
QString droppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls().constFirst().isLocalFile())
        return {};
    return data->urls().constFirst().toLocalFile();
}

} // namespace

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

QString startFileFrom(const QStringList& arguments)
{
    const int at = arguments.size() > 1 && arguments.at(1).toUpper() == QLatin1String("ND") ? 2 : 1;
    return at < arguments.size() ? arguments.at(at) : QString();
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
}

} // namespace kr
