#include "mainwindow/Glance.h"

#include <QAreaSeries>
#include <QBuffer>
#include <QCheckBox>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QScatterSeries>
#include <QShortcut>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTableView>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "core/AtomicFile.h"
#include "core/Readings.h"
#include "mainwindow/GlanceModel.h"
#include "mainwindow/TargetBand.h"
#include "platform/ErrorReport.h"
#include "platform/Help.h"
#include "platform/Prompts.h"
#include "platform/Text.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/Contrast.h"
#include "platform/ui/Glyphs.h"
#include "settings/Appglob.h"
#include "settings/FileFolders.h"
#include "settings/ui/WindowLayout.h"

namespace kr {

namespace {

const QString Title = QStringLiteral("Readings at a glance");
const QColor InsideColour(34, 139, 84);
const QColor OutsideColour(200, 55, 40);
const QColor MeanColour(30, 64, 140);
// The chart spans every slot of a meter file, so files compare by eye.
constexpr double FirstSlot = 0.5;
constexpr double LastSlot = TSubFile::RecordCount + 0.5;

QString figure(long double value) { return fromCp1252(MoistureFigureText(value)); }

QDoubleSpinBox* moistureBox(QWidget* parent, const char* name, const QString& suffix, const QString& tip)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setDecimals(1);
    box->setRange(0, double(MaxGlanceMoisture));
    box->setSingleStep(0.5);
    box->setSuffix(suffix);
    // A value counts once the user has finished typing it, not at each digit.
    box->setKeyboardTracking(false);
    box->setToolTip(tip);
    return box;
}

QLineSeries* level(double y, const QColor& colour, Qt::PenStyle style, double width)
{
    auto* line = new QLineSeries;
    line->append(FirstSlot, y);
    line->append(LastSlot, y);
    QPen pen(colour, width, style);
    line->setPen(pen);
    return line;
}

QScatterSeries* dots(const QString& name, const QColor& colour, QScatterSeries::MarkerShape shape)
{
    auto* series = new QScatterSeries;
    series->setName(name);
    series->setMarkerShape(shape);
    series->setMarkerSize(11);
    series->setColor(colour);
    series->setBorderColor(colour.darker(140));
    return series;
}

// A scale that ends on a whole number of steps above everything shown.
double axisTop(double highest)
{
    const double step = highest > 40 ? 10 : highest > 20 ? 5 : 2;
    return std::ceil((highest + step / 2) / step) * step;
}

} // namespace

TfmGlance::TfmGlance(const TFile& document, std::function<int()> current, QWidget* parent)
    : QWidget(parent, Qt::Window), doc(document), currentFile(std::move(current)), values(ReadGlanceSettings())
{
    setObjectName(QStringLiteral("fmGlance"));
    setWindowTitle(Title);
    setFont(windowFont());

    model = new TGlanceTableModel(doc, this);
    tblStats = new QTableView(this);
    tblStats->setObjectName(QStringLiteral("tblStats"));
    tblStats->setModel(model);
    tblStats->verticalHeader()->hide();
    tblStats->verticalHeader()->setDefaultSectionSize(20);
    tblStats->setSelectionMode(QAbstractItemView::NoSelection);
    tblStats->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblStats->setWordWrap(false);
    tblStats->setFocusPolicy(Qt::NoFocus);
    tblStats->horizontalHeader()->setStretchLastSection(true);
    tblStats->horizontalHeader()->setHighlightSections(false);

    lblZeros = new QLabel(this);
    lblZeros->setObjectName(QStringLiteral("lblZeros"));
    lblZeros->setWordWrap(true);

    buildChart();

    btnSaveChart = new QPushButton(QStringLiteral("Save chart..."), this);
    btnSaveChart->setObjectName(QStringLiteral("btnSaveChart"));
    btnSaveChart->setToolTip(QStringLiteral("Save the chart as a PNG picture or a PDF file"));
    btnCopy = new QPushButton(QStringLiteral("Copy statistics"), this);
    btnCopy->setObjectName(QStringLiteral("btnCopy"));
    btnCopy->setToolTip(QStringLiteral("Copy the table to the clipboard for a spreadsheet"));
    btnHelp = new QPushButton(QStringLiteral("Help"), this);
    btnHelp->setObjectName(QStringLiteral("btnHelp"));
    btnClose = new QPushButton(QStringLiteral("Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    connect(btnSaveChart, &QPushButton::clicked, this, &TfmGlance::btnSaveChartClick);
    connect(btnCopy, &QPushButton::clicked, this, &TfmGlance::btnCopyClick);
    connect(btnHelp, &QPushButton::clicked, this, [] { showHelp(help_topic::Glance); });
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    // Escape closes it, as it would a dialog.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnSaveChart);
    buttons->addWidget(btnCopy);
    buttons->addStretch(1);
    buttons->addWidget(btnHelp);
    buttons->addWidget(btnClose);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(6);
    column->addWidget(buildSettingsRow());
    column->addWidget(buildRoomRow());
    column->addWidget(tblStats);
    column->addWidget(lblZeros);
    column->addWidget(chartView, 1);
    column->addWidget(buildComparisonRow());
    column->addLayout(buttons);

    resize(880, 680);
    Refresh();
}

TfmGlance::~TfmGlance() = default;

QWidget* TfmGlance::buildSettingsRow()
{
    auto* row = new QWidget(this);
    spnLow = moistureBox(row, "spnLow", QStringLiteral(" %"), QStringLiteral("Lowest moisture of the target range"));
    spnHigh = moistureBox(row, "spnHigh", QStringLiteral(" %"), QStringLiteral("Highest moisture of the target range"));
    spnLimit = moistureBox(row, "spnLimit", QStringLiteral(" points"),
                           QStringLiteral("How far apart the means of the two compared meter files may lie"));
    spnLow->setValue(double(values.range.low));
    spnHigh->setValue(double(values.range.high));
    spnLimit->setValue(double(values.limit));
    // The range cannot turn inside out: each end bounds the other.
    spnLow->setMaximum(spnHigh->value());
    spnHigh->setMinimum(spnLow->value());
    for (QDoubleSpinBox* box : {spnLow, spnHigh, spnLimit})
        connect(box, &QDoubleSpinBox::valueChanged, this, [this] { valuesEdited(); });

    auto* rangeLabel = new QLabel(QStringLiteral("Target range:"), row);
    rangeLabel->setBuddy(spnLow);
    auto* limitLabel = new QLabel(QStringLiteral("Comparison limit:"), row);
    limitLabel->setBuddy(spnLimit);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(rangeLabel);
    layout->addWidget(spnLow);
    layout->addWidget(new QLabel(QStringLiteral("to"), row));
    layout->addWidget(spnHigh);
    layout->addSpacing(24);
    layout->addWidget(limitLabel);
    layout->addWidget(spnLimit);
    layout->addStretch(1);
    return row;
}

QWidget* TfmGlance::buildRoomRow()
{
    auto* row = new QWidget(this);
    chkFromRoom = new QCheckBox(QStringLiteral("Target from the room"), row);
    chkFromRoom->setObjectName(QStringLiteral("chkFromRoom"));
    cbRoomJob = new QComboBox(row);
    cbRoomJob->setObjectName(QStringLiteral("cbRoomJob"));
    cbRoomJob->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cbRoomJob->setMinimumContentsLength(16);
    cbRoomJob->setToolTip(QStringLiteral("The job whose latest site conditions give the target"));
    const QString marginTip = QStringLiteral("How far the target reaches %1 the room's equilibrium moisture content");
    edRoomBelow = moistureBox(row, "edRoomBelow", QStringLiteral(" points"), marginTip.arg(QStringLiteral("below")));
    edRoomAbove = moistureBox(row, "edRoomAbove", QStringLiteral(" points"), marginTip.arg(QStringLiteral("above")));
    for (QDoubleSpinBox* box : {edRoomBelow, edRoomAbove})
        box->setRange(0, 10);
    // What the boxes hold is what the window uses, also for a value out of their range.
    edRoomBelow->setValue(values.room.below);
    edRoomAbove->setValue(values.room.above);
    values.room = {edRoomBelow->value(), edRoomAbove->value()};
    lbRoomTarget = new QLabel(this);
    lbRoomTarget->setObjectName(QStringLiteral("lbRoomTarget"));
    lbRoomTarget->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbRoomTarget->hide();

    connect(chkFromRoom, &QCheckBox::toggled, this, [this] { Refresh(); });
    connect(cbRoomJob, &QComboBox::currentIndexChanged, this, [this] {
        if (!filling)
            Refresh();
    });
    for (QDoubleSpinBox* box : {edRoomBelow, edRoomAbove})
        connect(box, &QDoubleSpinBox::valueChanged, this, [this] { roomEdited(); });

    auto* line = new QHBoxLayout;
    line->addWidget(chkFromRoom);
    line->addWidget(new QLabel(QStringLiteral("of job"), row));
    line->addWidget(cbRoomJob);
    line->addSpacing(12);
    line->addWidget(new QLabel(QStringLiteral("from"), row));
    line->addWidget(edRoomBelow);
    line->addWidget(new QLabel(QStringLiteral("below to"), row));
    line->addWidget(edRoomAbove);
    line->addWidget(new QLabel(QStringLiteral("above its EMC"), row));
    line->addStretch(1);
    auto* layout = new QVBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addLayout(line);
    layout->addWidget(lbRoomTarget);
    loadRoomJobs();
    return row;
}

void TfmGlance::SetRoom(TGlanceRoom r)
{
    room = std::move(r);
    loadRoomJobs();
    Refresh();
}

void TfmGlance::loadRoomJobs()
{
    const std::optional<std::vector<TRoomJob>> jobs = room.jobs ? room.jobs() : std::nullopt;
    roomJobs.clear();
    if (jobs)
        for (const TRoomJob& job : *jobs)
            if (!job.conditions.empty())
                roomJobs.push_back(job);
    // The job chosen before stays chosen while it is there; else the first.
    const QString chosen = cbRoomJob->currentText();
    {
        const QSignalBlocker quiet(cbRoomJob);
        cbRoomJob->clear();
        for (const TRoomJob& job : roomJobs)
            cbRoomJob->addItem(job.name);
        cbRoomJob->setCurrentIndex(std::max(cbRoomJob->findText(chosen), 0));
    }
    const bool offered = !roomJobs.empty();
    if (!offered) {
        const QSignalBlocker quiet(chkFromRoom);
        chkFromRoom->setChecked(false);
    }
    chkFromRoom->setEnabled(offered);
    chkFromRoom->setToolTip(
        offered ? QStringLiteral("Take the target range from the equilibrium moisture content (EMC) of the air the "
                                 "chosen job's latest site conditions record")
        : jobs ? QStringLiteral("No job in the archive has site conditions yet: add them under File › "
                                "Inspection report..., Site conditions...")
               : QStringLiteral("The readings archive is not kept: switch it on in System Setup, page Archive, to "
                                "take the target from a job's site conditions."));
}

void TfmGlance::updateRoom()
{
    const bool fromRoom = chkFromRoom->isEnabled() && chkFromRoom->isChecked();
    const int job = cbRoomJob->currentIndex();
    cbRoomJob->setEnabled(fromRoom);
    edRoomBelow->setEnabled(fromRoom);
    edRoomAbove->setEnabled(fromRoom);
    roomRange.reset();
    if (fromRoom && job >= 0 && job < int(roomJobs.size())) {
        const bool centigrade = room.centigrade ? room.centigrade() : true;
        const TRoomTarget target = RoomTarget(roomJobs[std::size_t(job)], values.room, centigrade);
        roomRange = target.range;
        lbRoomTarget->setText(target.text);
    }
    lbRoomTarget->setVisible(fromRoom);
    spnLow->setEnabled(!roomRange);
    spnHigh->setEnabled(!roomRange);
    showRange(TargetRange());
}

void TfmGlance::showRange(const MoistureRange& range)
{
    const QSignalBlocker quietLow(spnLow);
    const QSignalBlocker quietHigh(spnHigh);
    spnLow->setRange(0, double(MaxGlanceMoisture));
    spnHigh->setRange(0, double(MaxGlanceMoisture));
    spnLow->setValue(double(range.low));
    spnHigh->setValue(double(range.high));
    spnLow->setMaximum(spnHigh->value());
    spnHigh->setMinimum(spnLow->value());
}

void TfmGlance::roomEdited()
{
    if (filling)
        return;
    values.room = {edRoomBelow->value(), edRoomAbove->value()};
    runHandler([this] { WriteGlanceSettings(values); });
    Refresh();
}

QWidget* TfmGlance::buildComparisonRow()
{
    auto* row = new QWidget(this);
    cbFirst = new QComboBox(row);
    cbFirst->setObjectName(QStringLiteral("cbFirst"));
    cbSecond = new QComboBox(row);
    cbSecond->setObjectName(QStringLiteral("cbSecond"));
    for (QComboBox* box : {cbFirst, cbSecond}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        box->setMinimumContentsLength(18);
        connect(box, &QComboBox::activated, this, [this] {
            comparisonChosen = true;
            updateComparison();
        });
    }
    lblMeans = new QLabel(row);
    lblMeans->setObjectName(QStringLiteral("lblMeans"));
    lblVerdict = new QLabel(row);
    lblVerdict->setObjectName(QStringLiteral("lblVerdict"));
    QFont bold = lblVerdict->font();
    bold.setBold(true);
    lblVerdict->setFont(bold);

    auto* compareLabel = new QLabel(QStringLiteral("Compare meter file"), row);
    compareLabel->setBuddy(cbFirst);
    auto* choices = new QHBoxLayout;
    choices->addWidget(compareLabel);
    choices->addWidget(cbFirst);
    choices->addWidget(new QLabel(QStringLiteral("with meter file"), row));
    choices->addWidget(cbSecond);
    choices->addStretch(1);
    auto* layout = new QVBoxLayout(row);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(3);
    layout->addLayout(choices);
    layout->addWidget(lblMeans);
    layout->addWidget(lblVerdict);
    return row;
}

void TfmGlance::buildChart()
{
    chart = NewMoistureChart(QStringLiteral("chReadings"), windowFont());

    axisX = new QValueAxis;
    axisX->setTitleText(QStringLiteral("Reading number (slot of the meter file)"));
    axisX->setRange(FirstSlot, LastSlot);
    axisX->setTickType(QValueAxis::TicksDynamic);
    axisX->setTickAnchor(1);
    axisX->setTickInterval(1);
    axisX->setLabelFormat(QStringLiteral("%d"));
    axisX->setGridLineVisible(false);
    axisY = new QValueAxis;
    axisY->setTitleText(QStringLiteral("Moisture content (%)"));
    axisY->setLabelFormat(QStringLiteral("%.0f"));
    axisY->setTickType(QValueAxis::TicksDynamic);
    axisY->setTickAnchor(0);
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);

    chartView = new QChartView(chart, this);
    chartView->setObjectName(QStringLiteral("chartView"));
    chartView->setRenderHint(QPainter::Antialiasing);
    chartView->setMinimumHeight(260);
}

void TfmGlance::fillChart()
{
    chart->removeAllSeries();
    const int fileNo = currentFile();
    const MoistureRange range = TargetRange();
    const std::vector<ReadingPoint> points = ReadingPoints(doc, fileNo, range);
    const MoistureStatistics s = FileStatistics(doc, fileNo, range);

    QString title = QStringLiteral("Meter file %1").arg(fileNo);
    const QString comment = fromCp1252(doc.GetComment(fileNo)).trimmed();
    if (!comment.isEmpty())
        title += QStringLiteral(": ") + comment;
    QStringList notes;
    if (!s.hasFigures())
        notes << (s.reference > 0 ? QStringLiteral("no wood readings above 0 %") : QStringLiteral("no readings above 0 %"));
    else if (s.zeros > 0)
        notes << (s.zeros == 1 ? QStringLiteral("1 reading of 0 % not shown")
                               : QStringLiteral("%1 readings of 0 % not shown").arg(s.zeros));
    if (s.reference > 0)
        notes << (s.reference == 1 ? QStringLiteral("1 reference-scale reading not shown")
                                   : QStringLiteral("%1 reference-scale readings not shown").arg(s.reference));
    if (!notes.isEmpty())
        title += QStringLiteral(" (") + notes.join(QStringLiteral("; ")) + QLatin1Char(')');
    chart->setTitle(title);

    const double high = double(range.high);
    QAreaSeries* band = TargetBand(range, FirstSlot, LastSlot);
    chart->addSeries(band);

    auto* inside = dots(QStringLiteral("Inside the range"), InsideColour, QScatterSeries::MarkerShapeCircle);
    auto* outside = dots(QStringLiteral("Outside the range"), OutsideColour, QScatterSeries::MarkerShapeRectangle);
    double highest = high;
    for (const ReadingPoint& p : points) {
        (p.inRange ? inside : outside)->append(p.record, double(p.moisture));
        highest = std::max(highest, double(p.moisture));
    }
    QList<QAbstractSeries*> series{band};
    if (s.hasFigures()) {
        QLineSeries* mean = level(double(s.mean), MeanColour, Qt::DashLine, 2);
        mean->setName(QStringLiteral("Mean %1 %").arg(figure(s.mean)));
        chart->addSeries(mean);
        series << mean;
    }
    chart->addSeries(inside);
    chart->addSeries(outside);
    series << inside << outside;
    for (QAbstractSeries* one : series) {
        one->attachAxis(axisX);
        one->attachAxis(axisY);
    }
    const double top = axisTop(highest);
    axisY->setRange(0, top);
    axisY->setTickInterval(top > 40 ? 10 : top > 20 ? 5 : 2);
}

void TfmGlance::fillFileChoices()
{
    std::vector<int> holding;
    for (const MoistureStatistics& s : model->lines())
        if (s.number != 0 && s.hasFigures())
            holding.push_back(s.number);
    for (QComboBox* box : {cbFirst, cbSecond}) {
        const int chosen = box->currentIndex();
        box->clear();
        for (int f = 1; f <= TFile::FileCount; ++f) {
            const QString comment = fromCp1252(doc.GetComment(f)).trimmed();
            box->addItem(comment.isEmpty() ? QString::number(f) : QStringLiteral("%1  %2").arg(f).arg(comment));
        }
        box->setCurrentIndex(std::max(chosen, 0));
    }
    if (!comparisonChosen) {
        cbFirst->setCurrentIndex(!holding.empty() ? holding[0] - 1 : 0);
        cbSecond->setCurrentIndex(holding.size() > 1 ? holding[1] - 1 : 1);
    }
}

void TfmGlance::updateComparison()
{
    const MoistureComparison c =
        CompareFiles(doc, cbFirst->currentIndex() + 1, cbSecond->currentIndex() + 1, values.limit);
    auto mean = [](const MoistureStatistics& s) {
        return s.hasFigures() ? figure(s.mean) + QStringLiteral(" %") : QStringLiteral("none");
    };
    lblMeans->setText(QStringLiteral("Mean of meter file %1: %2    Mean of meter file %3: %4")
                          .arg(c.first.number)
                          .arg(mean(c.first))
                          .arg(c.second.number)
                          .arg(mean(c.second)));
    lblVerdict->setText(fromCp1252(ComparisonVerdict(c)));
    const QColor colour = !c.comparable()
        ? palette().color(QPalette::WindowText)
        : readableOn(c.withinLimit() ? InsideColour : OutsideColour, palette().color(QPalette::Window));
    QPalette p = lblVerdict->palette();
    p.setColor(QPalette::WindowText, colour);
    lblVerdict->setPalette(p);
}

// It opens beside the main window, not over the readings it sums up.
void TfmGlance::showEvent(QShowEvent* event)
{
    if (!event->spontaneous() && parentWidget() && parentWidget()->isVisible())
        placeBeside(this, parentWidget()->window());
    // Conditions added, or the archive switched off, since it was last open.
    if (!event->spontaneous() && room.jobs) {
        loadRoomJobs();
        Refresh();
    }
    QWidget::showEvent(event);
}

// The verdict's colour is chosen against the window's.
void TfmGlance::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange && lblVerdict)
        updateComparison();
    QWidget::changeEvent(event);
}

void TfmGlance::Refresh()
{
    filling = true;
    updateRoom();
    model->refresh(TargetRange());
    tblStats->clearSpans();
    if (const int heading = model->referenceHeadingRow(); heading >= 0)
        tblStats->setSpan(heading, 0, 1, TGlanceTableModel::ColumnCount);
    tblStats->resizeColumnsToContents();
    // No empty rows below the last line: the chart takes what the table does
    // not need. Past ten lines the table scrolls.
    const int rows = std::clamp(model->rowCount(), 3, 10);
    tblStats->setFixedHeight(tblStats->horizontalHeader()->sizeHint().height()
                               + rows * tblStats->verticalHeader()->defaultSectionSize() + 2 * tblStats->frameWidth());
    QString note = QStringLiteral("Moisture in %. Readings of 0 % (the meter measured nothing) are counted apart as "
                                  "zeros and left out of the figures. SD is the sample standard deviation (n - 1). "
                                  "In range: share of the readings inside the target range, both ends included.");
    if (model->referenceHeadingRow() >= 0)
        note += QStringLiteral(" Readings without an SG were taken on a reference scale: they are no wood moisture, "
                               "so they are listed by scale under \"Reference scales\" and left out of every line "
                               "above, the chart and the comparison.");
    // Values no meter measures are in no column: the note counts them.
    const std::string leftOut = LeftOutSentence(doc);
    if (!leftOut.empty())
        note += QLatin1Char(' ') + QString::fromLatin1(leftOut);
    lblZeros->setText(note);
    fillFileChoices();
    updateComparison();
    fillChart();
    filling = false;
}

// Each change is kept at once, as the other settings are.
void TfmGlance::valuesEdited()
{
    if (filling)
        return;
    // While the room sets the range, the boxes show its range, not the user's.
    if (!roomRange) {
        spnLow->setMaximum(spnHigh->value());
        spnHigh->setMinimum(spnLow->value());
        values.range = {spnLow->value(), spnHigh->value()};
    }
    values.limit = spnLimit->value();
    runHandler([this] { WriteGlanceSettings(values); });
    Refresh();
}

QByteArray TfmGlance::ChartPng() const
{
    constexpr int Scale = 2;
    QImage image(chartView->size() * Scale, QImage::Format_ARGB32);
    image.fill(Qt::white);
    // The scene drawn into the whole image: the view's own render() on an
    // image at twice the pixel density applied the scale twice.
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF shown = chartView->mapToScene(chartView->viewport()->rect()).boundingRect();
    chartView->scene()->render(&painter, QRectF(image.rect()), shown);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray TfmGlance::ChartPdf() const
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageOrientation(QPageLayout::Landscape);
    writer.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
    writer.setTitle(chart->title());
    writer.setCreator(QStringLiteral("KR"));
    // The chart's fonts are sized in points: at the screen's resolution they
    // keep their size against the lines, which are drawn as vectors anyway.
    writer.setResolution(chartView->logicalDpiY());
    QPainter painter(&writer);
    painter.setRenderHint(QPainter::Antialiasing);
    chartView->scene()->render(&painter, QRectF(0, 0, writer.width(), writer.height()), chart->geometry(),
                               Qt::KeepAspectRatio);
    painter.end();
    return bytes;
}

void TfmGlance::btnSaveChartClick()
{
    FileDialogRequest r;
    r.title = QStringLiteral("Save chart");
    r.filters = {QStringLiteral("PNG pictures (*.png)"), QStringLiteral("PDF files (*.pdf)")};
    r.defaultSuffix = QStringLiteral("png");
    r.fileName = QStringLiteral("meter-file-%1").arg(currentFile());
    const std::optional<FileDialogResult> chosen = askSaveFile(r);
    if (!chosen || chosen->path.isEmpty())
        return;
    if (const QString why = WriteRefusal(chosen->path); !why.isEmpty()) {
        showMessage(MsgKind::Warning, why);
        return;
    }
    if (!mayReplace(chosen->path))
        return;
    const QString& path = chosen->path;
    const bool pdf = path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)
        || (chosen->filterIndex == 1 && !path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive));
    const QByteArray bytes = pdf ? ChartPdf() : ChartPng();
    if (writeFileAtomically(toNativePath(path), std::string_view(bytes.constData(), std::size_t(bytes.size())))
        != WriteResult::Ok)
        showMessage(MsgKind::Error, QStringLiteral("Cannot create file %1").arg(QDir::toNativeSeparators(path)));
}

void TfmGlance::btnCopyClick()
{
    setClipboardText(fromCp1252(StatisticsTabText(model->lines(), TargetRange(), model->referenceLines())));
}

} // namespace kr
