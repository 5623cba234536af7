#include "mainwindow/ArchiveWindow.h"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QHorizontalBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QShortcut>
#include <QShowEvent>
#include <QSplitter>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <optional>
#include <set>

#include "core/Readings.h"
#include "mainwindow/ArchiveKeeper.h"
#include "mainwindow/ArchiveModels.h"
#include "mainwindow/TargetBand.h"
#include "platform/ErrorReport.h"
#include "platform/Help.h"
#include "platform/Prompts.h"
#include "platform/Text.h"
#include "platform/ui/Glyphs.h"
#include "settings/Appglob.h"
#include "settings/GlanceSettings.h"

namespace kr {

namespace {

const QString Title = QStringLiteral("Archive");
// Typing searches once the user pauses this long, not at every key.
constexpr int SearchPauseMs = 250;
// The chart shows the species read most; more bars would not be read.
constexpr int ChartSpecies = 12;
const QColor MeanColour(30, 64, 140);
const QColor RangeColour(90, 90, 90);

QString count(qint64 n) { return QLocale(QLocale::English).toString(n); }

QString readingsText(qint64 n) { return n == 1 ? QStringLiteral("1 reading") : count(n) + QStringLiteral(" readings"); }

// An archive that fails a change says why; the window stays as it was.
void archiveHandler(const std::function<void()>& handler)
{
    runHandler([&handler] {
        try {
            handler();
        } catch (const ArchiveError& e) {
            showMessage(MsgKind::Error, QString::fromUtf8(e.what()));
        }
    });
}

QDoubleSpinBox* moistureBox(QWidget* parent, const char* name, const QString& tip)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setDecimals(1);
    // One step below 0 is "any": no bound at this end.
    box->setRange(-0.5, 100);
    box->setSingleStep(0.5);
    box->setSuffix(QStringLiteral(" %"));
    box->setSpecialValueText(QStringLiteral("any"));
    box->setValue(box->minimum());
    box->setToolTip(tip);
    return box;
}

QDateEdit* dateBox(QWidget* parent, const char* name)
{
    auto* box = new QDateEdit(QDate::currentDate(), parent);
    box->setObjectName(QLatin1String(name));
    box->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    box->setCalendarPopup(true);
    box->setEnabled(false);
    return box;
}

QTableView* listView(QWidget* parent, const char* name)
{
    auto* view = new QTableView(parent);
    view->setObjectName(QLatin1String(name));
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(20);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setWordWrap(false);
    view->setAlternatingRowColors(true);
    view->horizontalHeader()->setStretchLastSection(true);
    view->horizontalHeader()->setHighlightSections(false);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return view;
}

// A new query for the list. The first one sets the columns up: the ids
// hidden, the widths fitting the texts a column usually holds; later ones
// leave them as the user made them.
void requery(QTableView* view, const std::function<void()>& setQuery, const std::function<bool(int)>& hidden,
             const std::vector<std::pair<int, QString>>& samples)
{
    const bool first = view->model()->columnCount() == 0;
    setQuery();
    if (!first)
        return;
    for (int c = 0; c < view->model()->columnCount(); ++c)
        view->setColumnHidden(c, hidden(c));
    const QFontMetrics metrics(view->font());
    for (const auto& [column, sample] : samples)
        view->setColumnWidth(column, metrics.horizontalAdvance(sample) + 16);
}

// A scale that ends on a whole number of steps above everything shown.
double axisTop(double highest)
{
    const double step = highest > 40 ? 10 : highest > 20 ? 5 : 2;
    return std::ceil((highest + step / 2) / step) * step;
}

} // namespace

TfmArchive* TfmArchive::Open(ArchiveWindowHooks hooks, QWidget* parent)
{
    std::unique_ptr<TArchive> archive;
    try {
        archive = OpenArchiveAsking(hooks.archive);
    } catch (const ArchiveError& e) {
        showMessage(MsgKind::Error, QString::fromUtf8(e.what()));
        return nullptr;
    }
    return new TfmArchive(std::move(archive), std::move(hooks), parent);
}

TfmArchive::TfmArchive(std::unique_ptr<TArchive> a, ArchiveWindowHooks h, QWidget* parent)
    : QWidget(parent, Qt::Window), archive(std::move(a)), hooks(std::move(h))
{
    setObjectName(QStringLiteral("fmArchive"));
    setWindowTitle(Title);
    setFont(windowFont());
    if (!hooks.centigrade)
        hooks.centigrade = [] { return true; };

    tiSearch.setObjectName(QStringLiteral("tiSearch"));
    tiSearch.setSingleShot(true);
    tiSearch.setInterval(SearchPauseMs);
    connect(&tiSearch, &QTimer::timeout, this, [this] { archiveHandler([this] { Search(); }); });

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(buildSources());
    tabs = new QTabWidget(splitter);
    tabs->setObjectName(QStringLiteral("tabs"));
    tabs->addTab(buildReadings(), QStringLiteral("Rea&dings"));
    tabs->addTab(buildFigures(), QStringLiteral("Stat&istics"));
    splitter->addWidget(tabs);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);
    // A few downloads show at once; the readings and figures get the room.
    splitter->setSizes({190, 420});
    // The figures are worked out when they are looked at, not at every search.
    connect(tabs, &QTabWidget::currentChanged, this, [this] {
        archiveHandler([this] {
            ArchiveFilter shown = searched;
            shown.sourceId = SelectedSource();
            fillFigures(shown);
        });
    });

    btnHelp = new QPushButton(QStringLiteral("&Help"), this);
    btnHelp->setObjectName(QStringLiteral("btnHelp"));
    btnClose = new QPushButton(QStringLiteral("&Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    connect(btnHelp, &QPushButton::clicked, this, [] { showHelp(help_topic::Archive); });
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(btnHelp);
    bottom->addWidget(btnClose);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(6);
    column->addWidget(buildSearch());
    column->addWidget(splitter, 1);
    column->addLayout(bottom);

    resize(980, 680);
    archiveHandler([this] { Refresh(); });
}

TfmArchive::~TfmArchive()
{
    // The models' queries go before the archive's connection does.
    releaseQueries();
}

QWidget* TfmArchive::buildSearch()
{
    auto* box = new QWidget(this);
    edSearch = new QLineEdit(box);
    edSearch->setObjectName(QStringLiteral("edSearch"));
    edSearch->setPlaceholderText(QStringLiteral("job, site, client, comment, note or species"));
    edSearch->setClearButtonEnabled(true);
    edSearch->setToolTip(QStringLiteral("Finds readings whose job, site, client, job notes, meter file comment, "
                                        "reading note, document notes or species holds this text"));
    cbJob = new QComboBox(box);
    cbJob->setObjectName(QStringLiteral("cbJob"));
    cbJob->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbJob->setMinimumContentsLength(16);
    cbMeter = new QComboBox(box);
    cbMeter->setObjectName(QStringLiteral("cbMeter"));
    cbMeter->setEditable(true);
    cbMeter->setInsertPolicy(QComboBox::NoInsert);
    cbMeter->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbMeter->setMinimumContentsLength(10);
    cbMeter->lineEdit()->setPlaceholderText(QStringLiteral("any"));
    cbMeter->setToolTip(QStringLiteral("The meter's serial number"));
    edSpecies = new QLineEdit(box);
    edSpecies->setObjectName(QStringLiteral("edSpecies"));
    edSpecies->setPlaceholderText(QStringLiteral("any"));
    edSpecies->setToolTip(QStringLiteral("Part of the species name"));
    edSpecies->setMaximumWidth(150);
    chkSince = new QCheckBox(QStringLiteral("&From"), box);
    chkSince->setObjectName(QStringLiteral("chkSince"));
    edSince = dateBox(box, "edSince");
    chkUntil = new QCheckBox(QStringLiteral("&to"), box);
    chkUntil->setObjectName(QStringLiteral("chkUntil"));
    edUntil = dateBox(box, "edUntil");
    chkSince->setToolTip(QStringLiteral("Readings taken on or after this day"));
    chkUntil->setToolTip(QStringLiteral("Readings taken on or before this day"));
    spnLow = moistureBox(box, "spnLow", QStringLiteral("Lowest moisture content, included"));
    spnHigh = moistureBox(box, "spnHigh", QStringLiteral("Highest moisture content, included"));
    btnClear = new QPushButton(QStringLiteral("Cl&ear"), box);
    btnClear->setObjectName(QStringLiteral("btnClear"));
    btnClear->setToolTip(QStringLiteral("Search for everything again"));

    const auto label = [box](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, box);
        l->setBuddy(buddy);
        return l;
    };
    auto* first = new QHBoxLayout;
    first->addWidget(label(QStringLiteral("&Search:"), edSearch));
    first->addWidget(edSearch, 1);
    first->addSpacing(8);
    first->addWidget(label(QStringLiteral("&Job:"), cbJob));
    first->addWidget(cbJob);
    first->addSpacing(8);
    first->addWidget(label(QStringLiteral("&Meter:"), cbMeter));
    first->addWidget(cbMeter);
    auto* second = new QHBoxLayout;
    second->addWidget(label(QStringLiteral("S&pecies:"), edSpecies));
    second->addWidget(edSpecies);
    second->addSpacing(8);
    second->addWidget(chkSince);
    second->addWidget(edSince);
    second->addWidget(chkUntil);
    second->addWidget(edUntil);
    second->addSpacing(8);
    second->addWidget(label(QStringLiteral("Moist&ure:"), spnLow));
    second->addWidget(spnLow);
    second->addWidget(new QLabel(QStringLiteral("to"), box));
    second->addWidget(spnHigh);
    second->addStretch(1);
    second->addWidget(btnClear);
    auto* rows = new QVBoxLayout(box);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(4);
    rows->addLayout(first);
    rows->addLayout(second);

    const auto soon = [this] { searchSoon(); };
    connect(edSearch, &QLineEdit::textChanged, this, soon);
    connect(edSpecies, &QLineEdit::textChanged, this, soon);
    connect(cbMeter, &QComboBox::editTextChanged, this, soon);
    connect(cbJob, &QComboBox::currentIndexChanged, this, soon);
    for (QDateEdit* date : {edSince, edUntil})
        connect(date, &QDateEdit::dateChanged, this, soon);
    for (QDoubleSpinBox* spin : {spnLow, spnHigh})
        connect(spin, &QDoubleSpinBox::valueChanged, this, soon);
    connect(chkSince, &QCheckBox::toggled, this, [this](bool on) {
        edSince->setEnabled(on);
        searchSoon();
    });
    connect(chkUntil, &QCheckBox::toggled, this, [this](bool on) {
        edUntil->setEnabled(on);
        searchSoon();
    });
    connect(btnClear, &QPushButton::clicked, this, [this] {
        filling = true;
        edSearch->clear();
        edSpecies->clear();
        cbMeter->setCurrentIndex(-1);
        cbMeter->clearEditText();
        cbJob->setCurrentIndex(0);
        chkSince->setChecked(false);
        chkUntil->setChecked(false);
        spnLow->setValue(spnLow->minimum());
        spnHigh->setValue(spnHigh->minimum());
        filling = false;
        archiveHandler([this] { Search(); });
    });
    return box;
}

QWidget* TfmArchive::buildSources()
{
    auto* box = new QWidget(this);
    lblSources = new QLabel(box);
    lblSources->setObjectName(QStringLiteral("lblSources"));
    tvSources = listView(box, "tvSources");
    tvSources->setSelectionMode(QAbstractItemView::SingleSelection);
    // A path keeps its file name in view when it is cut.
    tvSources->setTextElideMode(Qt::ElideMiddle);
    tvSources->setToolTip(QStringLiteral("Choose one to see only its readings; double-click to open it as a document"));
    sourcesModel = new TArchiveSourcesModel(this);
    tvSources->setModel(sourcesModel);
    connect(tvSources->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { archiveHandler([this] { sourceChosen(); }); });
    connect(tvSources, &QTableView::doubleClicked, this, [this] { btnOpenDocumentClick(); });

    btnAllSources = new QPushButton(QStringLiteral("Show a&ll"), box);
    btnAllSources->setObjectName(QStringLiteral("btnAllSources"));
    btnAllSources->setToolTip(QStringLiteral("The readings of every download and file again"));
    btnOpenDocument = new QPushButton(QStringLiteral("&Open as document"), box);
    btnOpenDocument->setObjectName(QStringLiteral("btnOpenDocument"));
    btnOpenDocument->setToolTip(QStringLiteral("Show the chosen download in the main window as a new, unsaved document"));
    btnAssign = new QPushButton(QStringLiteral("&Assign to job..."), box);
    btnAssign->setObjectName(QStringLiteral("btnAssign"));
    btnAssign->setToolTip(QStringLiteral("Put the chosen download, or one of its meter files, in a job"));
    btnRemove = new QPushButton(QStringLiteral("&Remove..."), box);
    btnRemove->setObjectName(QStringLiteral("btnRemove"));
    btnRemove->setToolTip(QStringLiteral("Remove the chosen download and the readings only it holds from the archive"));
    connect(btnAllSources, &QPushButton::clicked, this, [this] { SelectSource(-1); });
    connect(btnOpenDocument, &QPushButton::clicked, this, &TfmArchive::btnOpenDocumentClick);
    connect(btnAssign, &QPushButton::clicked, this, &TfmArchive::btnAssignClick);
    connect(btnRemove, &QPushButton::clicked, this, &TfmArchive::btnRemoveClick);

    auto* heading = new QHBoxLayout;
    heading->addWidget(lblSources, 1);
    heading->addWidget(btnAllSources);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnOpenDocument);
    buttons->addWidget(btnAssign);
    buttons->addWidget(btnRemove);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(4);
    layout->addLayout(heading);
    layout->addWidget(tvSources, 1);
    layout->addLayout(buttons);
    return box;
}

QWidget* TfmArchive::buildReadings()
{
    auto* page = new QWidget(this);
    tvReadings = listView(page, "tvReadings");
    tvReadings->setSelectionMode(QAbstractItemView::ExtendedSelection);
    readingsModel = new TArchiveReadingsModel(hooks.centigrade, this);
    tvReadings->setModel(readingsModel);
    lblCount = new QLabel(page);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(tvReadings, 1);
    layout->addWidget(lblCount);
    return page;
}

QWidget* TfmArchive::buildFigures()
{
    auto* page = new QWidget(this);
    figuresModel = new TArchiveFiguresModel(this);
    tvFigures = listView(page, "tvFigures");
    tvFigures->setModel(figuresModel);
    tvFigures->setSelectionMode(QAbstractItemView::NoSelection);
    tvFigures->setFocusPolicy(Qt::NoFocus);
    tvFigures->setAlternatingRowColors(false);
    tvFigures->horizontalHeader()->setStretchLastSection(false);
    tvFigures->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tvFigures->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    lblFigures = new QLabel(page);
    lblFigures->setObjectName(QStringLiteral("lblFigures"));
    lblFigures->setWordWrap(true);
    buildChart();
    auto* figures = new QWidget(page);
    auto* left = new QVBoxLayout(figures);
    left->setContentsMargins(0, 0, 0, 0);
    left->addWidget(tvFigures, 1);
    left->addWidget(lblFigures);
    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(figures);
    layout->addWidget(chartView, 1);
    return page;
}

void TfmArchive::buildChart()
{
    chart = NewMoistureChart(QStringLiteral("chSpecies"), windowFont());
    // The bars lie, so that every species' name is read whole beside its bar.
    axisSpecies = new QBarCategoryAxis;
    axisSpecies->setGridLineVisible(false);
    axisMoisture = new QValueAxis;
    axisMoisture->setTitleText(QStringLiteral("Moisture content (%)"));
    axisMoisture->setLabelFormat(QStringLiteral("%.0f"));
    axisMoisture->setTickType(QValueAxis::TicksDynamic);
    axisMoisture->setTickAnchor(0);
    chart->addAxis(axisSpecies, Qt::AlignLeft);
    chart->addAxis(axisMoisture, Qt::AlignBottom);
    chartView = new QChartView(chart, this);
    chartView->setObjectName(QStringLiteral("chartView"));
    chartView->setRenderHint(QPainter::Antialiasing);
    chartView->setMinimumSize(300, 220);
}

void TfmArchive::showEvent(QShowEvent* event)
{
    // At first it opens over the middle of the main window's screen, whole.
    if (!event->spontaneous() && !property("placed").toBool()) {
        setProperty("placed", true);
        edSearch->setFocus();
        const QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            const QRect room = screen->availableGeometry();
            resize(std::min(width(), room.width() - 16), std::min(height(), room.height() - 48));
            move(room.center() - QPoint(width() / 2, height() / 2));
        }
    }
    QWidget::showEvent(event);
}

void TfmArchive::fillChoices()
{
    filling = true;
    const QString job = cbJob->currentData().toString();
    cbJob->clear();
    cbJob->addItem(QStringLiteral("any"), QString());
    for (const TArchive::Job& j : archive->Jobs())
        cbJob->addItem(j.name, j.name);
    cbJob->setCurrentIndex(std::max(0, cbJob->findData(job)));

    const QString meter = cbMeter->currentText();
    std::set<QString> meters;
    ArchiveCursor sources = archive->Sources({});
    while (sources.next())
        if (const QString serial = sources.value(TArchive::SMeter).toString(); !serial.isEmpty())
            meters.insert(serial);
    cbMeter->clear();
    for (const QString& serial : meters)
        cbMeter->addItem(serial);
    cbMeter->setCurrentIndex(-1);
    cbMeter->setEditText(meter);
    filling = false;
}

void TfmArchive::Refresh()
{
    fillChoices();
    Search();
}

void TfmArchive::searchSoon()
{
    if (!filling)
        tiSearch.start();
}

ArchiveFilter TfmArchive::Filter() const
{
    ArchiveFilter f;
    f.text = edSearch->text().trimmed();
    f.species = edSpecies->text().trimmed();
    f.meter = cbMeter->currentText().trimmed();
    f.job = cbJob->currentData().toString();
    if (chkSince->isChecked())
        f.since = edSince->date();
    if (chkUntil->isChecked())
        f.until = edUntil->date();
    if (spnLow->value() > spnLow->minimum())
        f.moistureLow = spnLow->value();
    if (spnHigh->value() > spnHigh->minimum())
        f.moistureHigh = spnHigh->value();
    return f;
}

int TfmArchive::selectedRow() const
{
    const QModelIndexList chosen = tvSources->selectionModel()->selectedIndexes();
    return chosen.isEmpty() ? -1 : chosen.front().row();
}

qint64 TfmArchive::SelectedSource() const
{
    const int row = selectedRow();
    return row < 0 ? 0 : sourcesModel->SourceId(row);
}

void TfmArchive::SelectSource(int row)
{
    if (row < 0) {
        tvSources->selectionModel()->clearSelection();
        tvSources->selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
        archiveHandler([this] { sourceChosen(); });
        return;
    }
    tvSources->selectRow(row);
}

void TfmArchive::Search()
{
    tiSearch.stop();
    const qint64 chosen = SelectedSource();
    searched = Filter();
    filling = true;
    requery(
        tvSources, [this] { sourcesModel->SetQuery(archive->Sources(searched)); }, &TArchiveSourcesModel::Hidden,
        {{TArchive::SKind, QStringLiteral("Data file  ")},
         {TArchive::SHappened, QStringLiteral("00/00/0000 00:00:00")},
         {TArchive::SMeter, QStringLiteral("KR-0000000")},
         {TArchive::SPath, QStringLiteral("/home/user/jobs/mill road/data1.bak")},
         {TArchive::SReadings, QStringLiteral("Readings")},
         {TArchive::SComments, QStringLiteral("Subfloor, living room; Oak boards")}});
    // The download chosen stays chosen while the search still finds it.
    int row = -1;
    for (int r = 0; chosen != 0 && r < sourcesModel->rowCount() && row < 0; ++r)
        if (sourcesModel->SourceId(r) == chosen)
            row = r;
    if (row >= 0)
        tvSources->selectRow(row);
    filling = false;
    lblSources->setText(sourcesModel->rowCount() == 0
                            ? QStringLiteral("No download or file holds readings the search finds.")
                            : QStringLiteral("Downloads and files holding readings the search finds. Choose one to "
                                             "see only its readings."));
    showReadings();
}

void TfmArchive::sourceChosen()
{
    if (!filling)
        showReadings();
}

void TfmArchive::showReadings()
{
    ArchiveFilter shown = searched;
    shown.sourceId = SelectedSource();
    requery(
        tvReadings, [this, &shown] { readingsModel->SetQuery(archive->Readings(shown)); },
        &TArchiveReadingsModel::Hidden,
        {{TArchive::RTaken, QStringLiteral("00/00/0000 00:00:00")},
         {TArchive::RFileNo, QStringLiteral("File")},
         {TArchive::RSlot, QStringLiteral("Rec.")},
         {TArchive::RSpecies, QStringLiteral("Tasmanian Oak  ")},
         {TArchive::RSG, QStringLiteral("0.00")},
         {TArchive::RMoisture, QStringLiteral("00.0")},
         {TArchive::RTemperature, QStringLiteral("\u00B0C.")},
         {TArchive::RMeter, QStringLiteral("KR-0000000")},
         {TArchive::RComment, QStringLiteral("Subfloor, living room")},
         {TArchive::RJob, QStringLiteral("Mill Road job")}});
    const qint64 n = archive->CountReadings(shown);
    lblCount->setText(shown.sourceId == 0
                          ? readingsText(n)
                          : readingsText(n) + QStringLiteral(" in the chosen ") + sourcesModel->KindName(selectedRow()));
    btnAllSources->setEnabled(shown.sourceId != 0);
    updateButtons();
    fillFigures(shown);
}

void TfmArchive::updateButtons()
{
    const bool chosen = SelectedSource() != 0;
    for (QPushButton* b : {btnOpenDocument, btnAssign, btnRemove})
        b->setEnabled(chosen);
}

void TfmArchive::fillFigures(const ArchiveFilter& filter)
{
    if (tabs->currentWidget() == tvReadings->parentWidget())
        return;
    const MoistureRange range = ReadGlanceSettings().range;
    figuresModel->SetFigures(archive->Statistics(filter, double(range.low), double(range.high)));
    tvFigures->clearSpans();
    if (const int heading = figuresModel->ReferenceHeadingRow(); heading >= 0)
        tvFigures->setSpan(heading, 0, 1, TArchiveFiguresModel::ColumnCount);
    tvFigures->resizeColumnsToContents();
    // The table as wide as its columns; the chart takes the rest.
    const int width = tvFigures->horizontalHeader()->length() + 2 * tvFigures->frameWidth()
        + tvFigures->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, tvFigures) + 2;
    tvFigures->parentWidget()->setFixedWidth(std::max(width, 300));
    QString note = QStringLiteral("Moisture in %, of the readings found%1. Target range %2 to %3 % (as in "
                                  "Readings at a glance). Readings of 0 % are counted apart as zeros.")
                       .arg(filter.sourceId != 0 ? QStringLiteral(" in the chosen download or file") : QString(),
                            ArchiveFigureText(double(range.low)), ArchiveFigureText(double(range.high)));
    if (!figuresModel->Reference().empty())
        note += QStringLiteral(" Readings without an SG were taken on a reference scale: they are no wood moisture, "
                               "so they are listed under \"Reference scales\", in no line above and not on the chart.");
    lblFigures->setText(note);
    fillChart();
}

void TfmArchive::fillChart()
{
    chart->removeAllSeries();
    std::vector<TArchive::Figures> shown;
    for (const TArchive::Figures& f : figuresModel->Wood())
        if (!f.species.isEmpty() && f.count > f.zeros)
            shown.push_back(f);
    const std::size_t species = shown.size();
    if (shown.size() > std::size_t(ChartSpecies)) {
        std::stable_sort(shown.begin(), shown.end(),
                         [](const TArchive::Figures& a, const TArchive::Figures& b) { return a.count > b.count; });
        shown.resize(ChartSpecies);
        std::stable_sort(shown.begin(), shown.end(), [](const TArchive::Figures& a, const TArchive::Figures& b) {
            return QString::localeAwareCompare(a.species, b.species) < 0;
        });
    }
    QString title = QStringLiteral("Mean moisture by species");
    if (shown.empty())
        title += QStringLiteral(" (no wood readings above 0 %)");
    else if (species > shown.size())
        title += QStringLiteral(" (the %1 of %2 species with the most readings)").arg(shown.size()).arg(species);
    chart->setTitle(title);

    // The first name at the top: categories count from the bottom.
    std::reverse(shown.begin(), shown.end());
    const MoistureRange range = ReadGlanceSettings().range;
    const double last = double(std::max<std::size_t>(shown.size(), 1)) - 0.5;
    QAreaSeries* band = TargetBand(range, -0.5, last, Qt::Vertical);
    chart->addSeries(band);
    QList<QAbstractSeries*> series{band};
    QStringList names;
    auto* means = new QBarSet(QStringLiteral("Mean"));
    means->setColor(MeanColour);
    means->setBorderColor(MeanColour.darker(140));
    double highest = double(range.high);
    for (const TArchive::Figures& f : shown) {
        names << f.species;
        *means << f.mean;
        highest = std::max(highest, f.high);
    }
    auto* bars = new QHorizontalBarSeries;
    bars->append(means);
    bars->setBarWidth(0.5);
    chart->addSeries(bars);
    series << bars;
    // Each species' lowest to highest reading, as a line with ends across its bar.
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const double y = double(i);
        auto* spread = new QLineSeries;
        spread->setName(QStringLiteral("Lowest to highest"));
        spread->setPen(QPen(RangeColour, 2));
        const double low = shown[i].low;
        const double high = shown[i].high;
        spread->append({QPointF(low, y - 0.15), QPointF(low, y + 0.15), QPointF(low, y), QPointF(high, y),
                        QPointF(high, y - 0.15), QPointF(high, y + 0.15)});
        chart->addSeries(spread);
        series << spread;
        if (i > 0)
            for (QLegendMarker* marker : chart->legend()->markers(spread))
                marker->setVisible(false);
    }
    axisSpecies->setCategories(names.isEmpty() ? QStringList{QString()} : names);
    for (QAbstractSeries* one : series) {
        one->attachAxis(axisSpecies);
        one->attachAxis(axisMoisture);
    }
    const double top = axisTop(highest);
    axisMoisture->setRange(0, top);
    axisMoisture->setTickInterval(top > 40 ? 10 : top > 20 ? 5 : 2);
}

void TfmArchive::releaseQueries()
{
    if (readingsModel)
        readingsModel->Clear();
    if (sourcesModel)
        sourcesModel->Clear();
}

void TfmArchive::btnOpenDocumentClick()
{
    const qint64 id = SelectedSource();
    if (id == 0 || !hooks.openDocument)
        return;
    archiveHandler([this, id] {
        TKRFile doc;
        archive->Export(id, doc);
        hooks.openDocument(doc);
    });
}

void TfmArchive::changeArchive(const std::function<void()>& change)
{
    // The emptied lists must not search again before the change is made.
    filling = true;
    releaseQueries();
    archiveHandler(change);
    filling = false;
    // Whatever became of the change, the lists come back.
    archiveHandler([this] { Refresh(); });
}

void TfmArchive::btnAssignClick()
{
    const qint64 id = SelectedSource();
    if (id == 0)
        return;
    std::optional<TArchive::Job> job;
    bool newJob = false;
    int fileNo = 0;
    archiveHandler([&] {
        TKRFile doc;
        archive->Export(id, doc);
        std::vector<std::pair<int, QString>> files;
        for (int f = 1; f <= TFile::FileCount; ++f) {
            const QString comment = fromCp1252(doc.GetComment(f)).trimmed();
            if (doc.CountUsed(f) > 0 || !comment.isEmpty())
                files.emplace_back(f, comment);
        }
        TfmAssignJob dialog(archive->Jobs(), files, this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        job = dialog.Job();
        newJob = dialog.IsNewJob();
        fileNo = dialog.FileNo();
    });
    if (!job)
        return;
    changeArchive([&] {
        if (newJob)
            archive->SaveJob(*job);
        archive->Assign(id, fileNo, job->name);
    });
}

void TfmArchive::btnRemoveClick()
{
    const qint64 id = SelectedSource();
    if (id == 0)
        return;
    bool agreed = false;
    archiveHandler([&] {
        const QString kind = sourcesModel->KindName(selectedRow());
        const qint64 only = archive->ReadingsOnlyIn(id);
        MessageRequest ask;
        ask.kind = MsgKind::Confirmation;
        ask.buttons = mbYes | mbNo;
        ask.defaultButton = mbNo;
        ask.text = only == 0 ? QStringLiteral("Remove this %1 from the archive? Each of its readings is also held by "
                                              "another download or file, so they stay.")
                                   .arg(kind)
                             : QStringLiteral("Remove this %1 and the %2 only it holds from the archive?")
                                   .arg(kind, readingsText(only));
        agreed = prompts().message(ask) == mbYes;
    });
    if (agreed)
        changeArchive([&] { archive->Remove(id); });
}

// ---- assign to job ----------------------------------------------------------

TfmAssignJob::TfmAssignJob(const std::vector<TArchive::Job>& existing,
                           const std::vector<std::pair<int, QString>>& files, QWidget* parent)
    : QDialog(parent), jobs(existing)
{
    setObjectName(QStringLiteral("fmAssignJob"));
    setWindowTitle(QStringLiteral("Assign to job"));
    setFont(windowFont());

    cbFiles = new QComboBox(this);
    cbFiles->setObjectName(QStringLiteral("cbFiles"));
    cbFiles->addItem(QStringLiteral("The whole download (every meter file)"), 0);
    for (const auto& [fileNo, comment] : files)
        cbFiles->addItem(comment.isEmpty() ? QStringLiteral("Meter file %1").arg(fileNo)
                                           : QStringLiteral("Meter file %1: %2").arg(fileNo).arg(comment),
                         fileNo);
    rbExisting = new QRadioButton(QStringLiteral("A job in the &archive:"), this);
    rbExisting->setObjectName(QStringLiteral("rbExisting"));
    cbJobs = new QComboBox(this);
    cbJobs->setObjectName(QStringLiteral("cbJobs"));
    for (const TArchive::Job& j : jobs)
        cbJobs->addItem(j.site.isEmpty() ? j.name : QStringLiteral("%1 (%2)").arg(j.name, j.site), j.name);
    rbNew = new QRadioButton(QStringLiteral("A &new job:"), this);
    rbNew->setObjectName(QStringLiteral("rbNew"));
    const auto field = [this](const char* name, const QString& tip) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        edit->setToolTip(tip);
        edit->setMinimumWidth(260);
        connect(edit, &QLineEdit::textChanged, this, [this] { update(); });
        return edit;
    };
    edName = field("edName", QStringLiteral("The job's name, as the search's job list shows it"));
    edSite = field("edSite", QStringLiteral("The site's address"));
    edClient = field("edClient", QStringLiteral("Who the job is for"));
    edNotes = field("edNotes", QStringLiteral("Anything else worth finding the job by"));
    (jobs.empty() ? rbNew : rbExisting)->setChecked(true);
    rbExisting->setEnabled(!jobs.empty());
    connect(rbExisting, &QRadioButton::toggled, this, [this] { update(); });
    connect(cbJobs, &QComboBox::currentIndexChanged, this, [this] { update(); });

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Put:"), cbFiles);
    form->addRow(rbExisting, cbJobs);
    form->addRow(rbNew, new QWidget(this));
    form->addRow(QStringLiteral("Na&me:"), edName);
    form->addRow(QStringLiteral("&Site:"), edSite);
    form->addRow(QStringLiteral("&Client:"), edClient);
    form->addRow(QStringLiteral("N&otes:"), edNotes);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    btnOK = buttons->button(QDialogButtonBox::Ok);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(buttons);
    update();
}

void TfmAssignJob::update()
{
    const bool existing = rbExisting->isChecked();
    cbJobs->setEnabled(existing);
    for (QLineEdit* edit : {edName, edSite, edClient, edNotes})
        edit->setEnabled(!existing);
    btnOK->setEnabled(existing ? cbJobs->currentIndex() >= 0 : !edName->text().trimmed().isEmpty());
}

int TfmAssignJob::FileNo() const { return cbFiles->currentData().toInt(); }

bool TfmAssignJob::IsNewJob() const { return rbNew->isChecked(); }

TArchive::Job TfmAssignJob::Job() const
{
    TArchive::Job job;
    if (!IsNewJob()) {
        job.name = cbJobs->currentData().toString();
        return job;
    }
    job.name = edName->text().trimmed();
    job.site = edSite->text().trimmed();
    job.client = edClient->text().trimmed();
    job.notes = edNotes->text().trimmed();
    return job;
}

} // namespace kr
