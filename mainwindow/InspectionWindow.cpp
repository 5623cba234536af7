#include "mainwindow/InspectionWindow.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSplitter>
#include <QVBoxLayout>
#include <cmath>

#include "archive/Archive.h"
#include "core/Readings.h"
#include "mainwindow/ArchiveKeeper.h"
#include "mainwindow/ConditionsDialog.h"
#include "platform/ErrorReport.h"
#include "platform/Help.h"
#include "platform/Text.h"
#include "platform/ui/Contrast.h"
#include "platform/ui/Glyphs.h"
#include "print/AcclimationChart.h"
#include "print/ui/PrinterChoice.h"
#include "settings/GlanceSettings.h"
#include "settings/IniFile.h"
#include "settings/ReportSettings.h"

namespace kr {

namespace {

const QString Title = QStringLiteral("Inspection report");
const QColor StableColour(34, 139, 84);
const QColor UnsettledColour(196, 122, 0);

QString cp(const std::string& text) { return fromCp1252(text); }
QString percent(long double value) { return cp(MoistureFigureText(value)) + QStringLiteral(" %"); }

} // namespace

TReportOptions InspectionReportOptions(const TPageSetup& page, bool centigrade, const QString& iniPath,
                                       QStringList* brandProblems)
{
    TReportOptions options;
    static_cast<TPageSetup&>(options) = page;
    const IniFile ini(iniPath);
    const GlanceSettings glance = ReadGlanceSettings(ini);
    options.range = glance.range;
    options.limit = glance.limit;
    options.room = glance.room;
    options.inspector = ReadInspector(ini);
    options.centigrade = centigrade;
    const QString home = QFileInfo(iniPath).absolutePath();
    options.brand = ReadReportBrand(QDir(home).filePath(QLatin1String(ReportTemplateName)), brandProblems);
    return options;
}

std::unique_ptr<TKRFile> CopyOfDocument(const TFile& doc)
{
    auto copy = std::make_unique<TKRFile>();
    for (int f = 1; f <= TFile::FileCount; ++f) {
        copy->SetComment(f, doc.GetComment(f));
        for (int r = 1; r <= TSubFile::RecordCount; ++r) {
            const TReading& from = doc.GetReading(f, r);
            TReading& to = copy->GetReading(f, r);
            to.SetSpecies(from.GetSpecies());
            if (from.IsMoistureUnread())
                to.SetMoistureUnread();
            else
                to.SetMoisture(from.GetMoisture());
            to.SetNote(from.GetNote());
            to.SetDateTime(from.GetDateTime());
            to.SetTemperature(from.GetTemperature());
            to.SetSG(from.GetSG());
            to.SetSGApplies(from.GetSGApplies());
        }
    }
    copy->SetNotes(doc.GetNotes());
    copy->SetDateStamp(doc.GetDateStamp());
    copy->SetFileName(doc.GetFileName());
    copy->ClearModified();
    return copy;
}

QString DocumentReportName(const TFile& doc)
{
    if (doc.GetFileName() == TFile::NoFileName)
        return QStringLiteral("Untitled");
    return QFileInfo(fromNativePath(doc.GetFileName())).fileName();
}

TReportJobs ReportJobsIn(const ArchiveLocation& at, bool gaveUp)
{
    TReportJobs jobs;
    if (gaveUp) {
        jobs.unavailable = QStringLiteral("The readings archive could not be used in this run of the program.");
        return jobs;
    }
    if (at.engine == ArchiveLocation::SQLite && (at.path.isEmpty() || !QFileInfo(at.path).isFile())) {
        jobs.unavailable = QStringLiteral("There is no readings archive yet: downloads and data files go into it as "
                                          "they come in.");
        return jobs;
    }
    try {
        const std::unique_ptr<TArchive> archive = OpenArchiveAsking(at);
        for (const TArchive::Job& job : archive->Jobs())
            jobs.names << job.name;
    } catch (const ArchiveError& e) {
        jobs.unavailable = QString::fromUtf8(e.what());
        return jobs;
    }
    if (jobs.names.isEmpty())
        jobs.unavailable = QStringLiteral("The archive has no jobs yet: put downloads in a job in File > Archive.");
    return jobs;
}

QString ComparisonsText(const TReportFindings& findings)
{
    if (findings.comparisons.empty())
        return QLatin1String(NoComparisonsText);
    QStringList lines;
    for (const TReportFindings::Pair& pair : findings.comparisons) {
        const QString a = cp(findings.locations[std::size_t(pair.first)].name);
        const QString b = cp(findings.locations[std::size_t(pair.second)].name);
        if (!lines.isEmpty())
            lines << QString();
        lines << a + QStringLiteral(" and ") + b;
        for (const TDayComparison& d : pair.days) {
            const MoistureComparison& c = d.comparison;
            lines << QStringLiteral("  %1:  %2 and %3.  %4")
                         .arg(cp(DateTimeToSystemText(EncodeDate(d.year, d.month, d.day))),
                              percent(c.first.mean), percent(c.second.mean), cp(ComparisonVerdict(c)));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString ReportPdfName(const QString& name)
{
    QString safe = name.trimmed();
    for (QChar& c : safe)
        if (QStringLiteral("/\\:*?\"<>|").contains(c))
            c = QLatin1Char('-');
    return safe + QStringLiteral(" report.pdf");
}

TfmInspection::TfmInspection(InspectionWindowHooks h, QWidget* parent)
    : QWidget(parent, Qt::Window), hooks(std::move(h))
{
    setObjectName(QStringLiteral("fmInspection"));
    setWindowTitle(Title);
    setFont(windowFont());

    rbDocument = new QRadioButton(QStringLiteral("The &document in the window"), this);
    rbDocument->setObjectName(QStringLiteral("rbDocument"));
    lbDocument = new QLabel(this);
    lbDocument->setObjectName(QStringLiteral("lbDocument"));
    rbJob = new QRadioButton(QStringLiteral("&Job:"), this);
    rbJob->setObjectName(QStringLiteral("rbJob"));
    cbJob = new QComboBox(this);
    cbJob->setObjectName(QStringLiteral("cbJob"));
    cbJob->setMinimumContentsLength(28);
    cbJob->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    auto* choice = new QButtonGroup(this);
    choice->addButton(rbDocument);
    choice->addButton(rbJob);
    // Each choice with what it names right beside it.
    auto* documentRow = new QHBoxLayout;
    documentRow->addWidget(rbDocument);
    documentRow->addWidget(lbDocument, 1);
    auto* jobRow = new QHBoxLayout;
    jobRow->addWidget(rbJob);
    jobRow->addWidget(cbJob);
    btnConditions = new QPushButton(QStringLiteral("&Site conditions..."), this);
    btnConditions->setObjectName(QStringLiteral("btnConditions"));
    btnConditions->setToolTip(QStringLiteral("The air of each visit to the job's site, with the wood's EMC; add the "
                                             "air you measured"));
    connect(btnConditions, &QPushButton::clicked, this, &TfmInspection::btnConditionsClick);
    jobRow->addWidget(btnConditions);
    jobRow->addStretch(1);
    auto* chooser = new QVBoxLayout;
    chooser->setSpacing(4);
    chooser->addLayout(documentRow);
    chooser->addLayout(jobRow);
    connect(rbJob, &QRadioButton::toggled, this, [this] {
        if (!filling)
            runHandler([this] { rebuild(); });
    });
    connect(cbJob, &QComboBox::currentIndexChanged, this, [this] {
        if (filling)
            return;
        if (!rbJob->isChecked())
            rbJob->setChecked(true);  // rebuilds
        else
            runHandler([this] { rebuild(); });
    });

    lbTarget = new QLabel(this);
    lbTarget->setObjectName(QStringLiteral("lbTarget"));
    lbTarget->setWordWrap(true);
    lbTarget->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = lbTarget->font();
    bold.setBold(true);
    lbTarget->setFont(bold);

    lstLocations = new QListWidget(this);
    lstLocations->setObjectName(QStringLiteral("lstLocations"));
    lstLocations->setMinimumWidth(200);
    connect(lstLocations, &QListWidget::currentRowChanged, this, [this] { showLocation(); });
    lbReason = new QLabel(this);
    lbReason->setObjectName(QStringLiteral("lbReason"));
    lbReason->setWordWrap(true);
    auto* left = new QWidget(this);
    auto* leftColumn = new QVBoxLayout(left);
    leftColumn->setContentsMargins(0, 0, 0, 0);
    auto* locationsCaption = new QLabel(QStringLiteral("&Locations"), left);
    locationsCaption->setBuddy(lstLocations);
    leftColumn->addWidget(locationsCaption);
    leftColumn->addWidget(lstLocations, 1);
    leftColumn->addWidget(lbReason);

    lbChart = new QLabel(this);
    lbChart->setObjectName(QStringLiteral("lbChart"));
    lbChart->setAlignment(Qt::AlignCenter);
    lbChart->setWordWrap(true);
    // The picture follows the label's size, never the other way round.
    lbChart->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    lbChart->setMinimumSize(360, 240);
    lbChart->installEventFilter(this);

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setChildrenCollapsible(false);
    split->addWidget(left);
    split->addWidget(lbChart);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({240, 600});

    txtComparisons = new QPlainTextEdit(this);
    txtComparisons->setObjectName(QStringLiteral("txtComparisons"));
    txtComparisons->setReadOnly(true);
    txtComparisons->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtComparisons->setMinimumHeight(90);
    auto* comparisonsCaption = new QLabel(QStringLiteral("Locations measured on the same day"), this);

    btnPreview = new QPushButton(QStringLiteral("Pre&view..."), this);
    btnPreview->setObjectName(QStringLiteral("btnPreview"));
    btnPrint = new QPushButton(QStringLiteral("&Print..."), this);
    btnPrint->setObjectName(QStringLiteral("btnPrint"));
    btnHelp = new QPushButton(QStringLiteral("&Help"), this);
    btnHelp->setObjectName(QStringLiteral("btnHelp"));
    btnClose = new QPushButton(QStringLiteral("&Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    connect(btnPreview, &QPushButton::clicked, this, &TfmInspection::btnPreviewClick);
    connect(btnPrint, &QPushButton::clicked, this, &TfmInspection::btnPrintClick);
    connect(btnHelp, &QPushButton::clicked, this, [] { showHelp(help_topic::Inspection); });
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnPreview);
    buttons->addWidget(btnPrint);
    buttons->addStretch(1);
    buttons->addWidget(btnHelp);
    buttons->addWidget(btnClose);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(6);
    column->addLayout(chooser);
    column->addSpacing(4);
    column->addWidget(lbTarget);
    column->addWidget(split, 4);
    column->addWidget(comparisonsCaption);
    column->addWidget(txtComparisons, 1);
    column->addLayout(buttons);

    resize(900, 640);
    fillJobs();
    // A job when the archive has one: that is what reports are for.
    {
        const QSignalBlocker block(rbJob);
        (rbJob->isEnabled() ? rbJob : rbDocument)->setChecked(true);
    }
    rebuild();
}

TfmInspection::~TfmInspection() = default;

int TfmInspection::CurrentLocation() const { return lstLocations->currentRow(); }

void TfmInspection::fillJobs()
{
    filling = true;
    const QString chosen = cbJob->currentText();
    const TReportJobs jobs = ReportJobsIn(hooks.archive(), hooks.archiveGaveUp && hooks.archiveGaveUp());
    cbJob->clear();
    cbJob->addItems(jobs.names);
    cbJob->setCurrentIndex(std::max(0, int(jobs.names.indexOf(chosen))));
    const bool usable = jobs.unavailable.isEmpty();
    rbJob->setEnabled(usable);
    cbJob->setEnabled(usable);
    rbJob->setToolTip(jobs.unavailable);
    cbJob->setToolTip(jobs.unavailable);
    if (!usable && rbJob->isChecked())
        rbDocument->setChecked(true);
    filling = false;
}

void TfmInspection::Refresh()
{
    fillJobs();
    rebuild();
}

void TfmInspection::DocumentChanged()
{
    if (!isVisible() || !rbDocument->isChecked())
        return;
    if (busy)
        documentChangedMeanwhile = true;
    else
        rebuild();
}

void TfmInspection::rebuild()
{
    const TFile& doc = hooks.document();
    lbDocument->setText(QStringLiteral("(%1)").arg(DocumentReportName(doc)));
    data.reset();
    QString failure;
    if (rbJob->isChecked()) {
        try {
            const TArchive archive(hooks.archive());
            data = std::make_unique<TReportData>(ReportOfJob(archive, cbJob->currentText()));
        } catch (const ArchiveError& e) {
            failure = QString::fromUtf8(e.what());
        }
    } else {
        data = std::make_unique<TReportData>(ReportOfFile(CopyOfDocument(doc), DocumentReportName(doc)));
    }
    findings = data ? FindingsOf(*data, hooks.options()) : TReportFindings{};
    showFindings();
    if (!failure.isEmpty())
        lbTarget->setText(failure);
}

void TfmInspection::showFindings()
{
    lbTarget->setText(findings.targetText);
    const QSignalBlocker block(lstLocations);
    lstLocations->clear();
    for (std::size_t i = 0; i < findings.locations.size(); ++i) {
        const TStability& s = findings.stability[i];
        auto* item = new QListWidgetItem(cp(findings.locations[i].name) +
                                         (s.stable ? QStringLiteral(": stable") : QStringLiteral(": not yet stable")));
        item->setToolTip(cp(s.reason));
        lstLocations->addItem(item);
    }
    colourLocations();
    if (lstLocations->count() > 0)
        lstLocations->setCurrentRow(0);
    txtComparisons->setPlainText(ComparisonsText(findings));
    btnPreview->setEnabled(data != nullptr);
    btnPrint->setEnabled(data != nullptr);
    btnConditions->setEnabled(rbJob->isChecked() && cbJob->count() > 0);
    showLocation();
}

// Green and amber, made dark or light enough to read on the list's background.
void TfmInspection::colourLocations()
{
    if (!lstLocations)
        return;  // a palette change while the window is being made
    const QColor base = lstLocations->palette().color(QPalette::Base);
    for (int i = 0; i < lstLocations->count() && i < int(findings.stability.size()); ++i)
        lstLocations->item(i)->setForeground(
            readableOn(findings.stability[std::size_t(i)].stable ? StableColour : UnsettledColour, base));
}

void TfmInspection::showLocation()
{
    const int i = CurrentLocation();
    lbReason->setText(i < 0 ? QString() : cp(findings.stability[std::size_t(i)].reason));
    drawChart();
}

void TfmInspection::drawChart()
{
    const int i = CurrentLocation();
    if (!data || i < 0) {
        lbChart->setPixmap({});
        lbChart->setText(data ? QStringLiteral("No meter file here holds wood readings.") : QString());
        return;
    }
    const QImage image = AcclimationChartImage(ChartOf(findings, i, *data), lbChart->size(), font());
    lbChart->setPixmap(QPixmap::fromImage(image));
}

bool TfmInspection::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lbChart && event->type() == QEvent::Resize)
        drawChart();
    return QWidget::eventFilter(watched, event);
}

void TfmInspection::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        colourLocations();
    QWidget::changeEvent(event);
}

void TfmInspection::printing(const std::function<void()>& run)
{
    if (!data)
        return;
    busy = true;
    documentChangedMeanwhile = false;
    runHandler(run);
    busy = false;
    if (documentChangedMeanwhile)
        runHandler([this] { rebuild(); });
}

void TfmInspection::btnConditionsClick()
{
    if (!rbJob->isChecked() || cbJob->currentText().isEmpty())
        return;
    TfmConditions dialog(hooks.archive(), cbJob->currentText(), hooks.options().centigrade, this);
    connect(&dialog, &TfmConditions::Changed, this, [this] { runHandler([this] { rebuild(); }); });
    dialog.exec();
}

void TfmInspection::btnPreviewClick()
{
    printing([this] { printerChoice().Preview(this, InspectionReportJob(*data, hooks.options())); });
}

void TfmInspection::btnPrintClick()
{
    printing([this] {
        // A document's report is named without the data file's extension.
        const QString name = rbJob->isChecked() ? data->name : QFileInfo(data->name).completeBaseName();
        printerChoice().Print(InspectionReportJob(*data, hooks.options()), ReportPdfName(name));
    });
}

} // namespace kr
