#include "mainwindow/Main.h"

#include <QAction>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "archive/ArchiveQueue.h"
#include "mainwindow/ArchiveKeeper.h"
#include "mainwindow/DataGrid.h"
#include "mainwindow/SubFileList.h"
#include "platform/ErrorReport.h"
#include "platform/ui/Cp1252Guard.h"
#include "platform/ui/Glyphs.h"
#include "settings/Appglob.h"
#include "settings/FormStorage.h"
#include "settings/ui/WindowLayout.h"

namespace kr {

namespace {

constexpr int ToolbarHeight = 45;
constexpr int NotesPanelHeight = 72;
constexpr int FileListPanelHeight = 101;

} // namespace

// The toolbar, a rule, and below them the notes over the file list and the grid.
void TfmMain::buildWindow()
{
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
    // Tab leaves the grid; the arrow keys move within it.
    dgData->setTabKeyNavigation(false);
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
    // Menus and entries carry the object names the tests and the rest of the program know.
    const auto menu = [this](const char* name, const QString& title) {
        QMenu* m = menuBar()->addMenu(title);
        m->setObjectName(QLatin1String(name));
        return m;
    };
    const auto entry = [this](QMenu* m, const char* name, const QString& text, void (TfmMain::*slot)(),
                              const QKeySequence& keys = {}) {
        QAction* a = m->addAction(text, this, slot);
        a->setObjectName(QLatin1String(name));
        if (!keys.isEmpty())
            a->setShortcut(keys);
        return a;
    };
    File1 = menu("File1", QStringLiteral("&File"));
    Open1 = entry(File1, "Open1", QStringLiteral("&Open..."), &TfmMain::btnOpenClick, QKeySequence::Open);
    Save1 = entry(File1, "Save1", QStringLiteral("&Save"), &TfmMain::Save1Click, QKeySequence::Save);
    SaveAs1 = entry(File1, "SaveAs1", QStringLiteral("Save &As..."), &TfmMain::SaveAs1Click,
                    QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    Export1 = entry(File1, "Export1", QStringLiteral("&Export..."), &TfmMain::Export1Click);
    ImportFiles1 = entry(File1, "ImportFiles1", QStringLiteral("&Import data files..."), &TfmMain::ImportFiles1Click);
    ImportFolder1 = entry(File1, "ImportFolder1", QStringLiteral("Import a fol&der of data files..."),
                          &TfmMain::ImportFolder1Click);
    Archive1 = entry(File1, "Archive1", QStringLiteral("Arc&hive..."), &TfmMain::Archive1Click,
                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    InspectionReport1 = entry(File1, "InspectionReport1", QStringLiteral("I&nspection report..."),
                              &TfmMain::InspectionReport1Click);
    SendWaiting1 = entry(File1, "SendWaiting1", QStringLiteral("Send &waiting readings to the team archive"),
                         &TfmMain::SendWaiting1Click);
    SendWaiting1->setVisible(false);
    // Only a team archive has a queue, and only while something waits.
    connect(File1, &QMenu::aboutToShow, this, [this] {
        SendWaiting1->setVisible(archiveKeeper && archiveKeeper->Location().engine == ArchiveLocation::PostgreSQL);
        SendWaiting1->setEnabled(!archiveSend && ArchiveQueueWaits());
    });
    // Ctrl+C alone copies the cells chosen in the grid.
    Clipboard1 = entry(File1, "Clipboard1", QStringLiteral("&Copy to clipboard"), &TfmMain::btnClipboardClick,
                       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    Clipboard1->setEnabled(btnClipboard->isEnabled());
    File1->addSeparator();
    Print1 = entry(File1, "Print1", QStringLiteral("&Print..."), &TfmMain::btnPrintClick, QKeySequence::Print);
    PrintSetup1 = entry(File1, "PrintSetup1", QStringLiteral("P&rint Setup..."), &TfmMain::PrintSetup1Click);
    File1->addSeparator();
    RecentFiles1 = File1->addMenu(QStringLiteral("Recent &Files"));
    RecentFiles1->setObjectName(QStringLiteral("RecentFiles1"));
    Exit1 = entry(File1, "Exit1", QStringLiteral("E&xit"), &TfmMain::Exit1Click, QKeySequence(Qt::CTRL | Qt::Key_Q));
    Meter1 = menu("Meter1", QStringLiteral("&Meter"));
    Download1 = entry(Meter1, "Download1", QStringLiteral("&Load data from meter"), &TfmMain::btnDownloadClick);
    Erase1 = entry(Meter1, "Erase1", QStringLiteral("&Erase data"), &TfmMain::btnClearKRMClick);
    Meter1->addSeparator();
    MeterList1 = entry(Meter1, "MeterList1", QStringLiteral("Li&brary edit"), &TfmMain::MeterList1Click);
    Meter1->addSeparator();
    SerialNo1 = entry(Meter1, "SerialNo1", QStringLiteral("&Serial number"), &TfmMain::SerialNo1Click);
    TestPort1 = entry(Meter1, "TestPort1", QStringLiteral("&Test port"), &TfmMain::TestPort1Click);
    Options1 = menu("Options1", QStringLiteral("&Options"));
    System1 = entry(Options1, "System1", QStringLiteral("&System Setup"), &TfmMain::System1Click);
    Glance1 = entry(Options1, "Glance1", QStringLiteral("Readings at a &glance"), &TfmMain::Glance1Click);
    Help1 = menu("Help1", QStringLiteral("&Help"));
    Contents1 = entry(Help1, "Contents1", QStringLiteral("&Contents"), &TfmMain::Contents1Click,
                      QKeySequence::HelpContents);
    HelpManual1 = entry(Help1, "HelpManual1", QStringLiteral("KR  &User's Guide"), &TfmMain::HelpManual1Click);
    WorkingwithyourKR1 = entry(Help1, "WorkingwithyourKR1", QStringLiteral("&Working with your KR"),
                               &TfmMain::WorkingwithyourKR1Click);
    About1 = entry(Help1, "About1", QStringLiteral("&About..."), &TfmMain::About1Click);
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

} // namespace kr
