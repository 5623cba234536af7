#pragma once
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

#include "print/InspectionReport.h"
#include "settings/ArchiveLocation.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace kr {

class TFile;
class TKRFile;

// What the report takes from kr.ini and from report.txt in the program
// folder (the folder of `iniPath`), as kr-cli report takes it. Problems with
// report.txt go to `brandProblems`; the report leaves those parts out.
TReportOptions InspectionReportOptions(const TPageSetup& page, bool centigrade, const QString& iniPath,
                                       QStringList* brandProblems = nullptr);

// A copy of the document as it is now: the report must not change under a
// preview while the user goes on editing, downloading or opening files.
std::unique_ptr<TKRFile> CopyOfDocument(const TFile& doc);
// The document's file name, "Untitled" before it was saved.
QString DocumentReportName(const TFile& doc);

// The archive's jobs on offer, or why there are none to choose.
struct TReportJobs {
    QStringList names;   // every job, in the archive's order
    QString unavailable; // empty when a job may be chosen
};
// Reads the archive at `path` only when the file exists and the program has
// not given up on it this run: a report never creates one.
TReportJobs ReportJobsIn(const ArchiveLocation& at, bool gaveUp);

// The findings' comparisons as the window lists them: each pair, then each
// day with both means and the verdict.
QString ComparisonsText(const TReportFindings& findings);
inline constexpr const char* NoComparisonsText = "No two locations were measured on the same day.";

// "<name> report.pdf"; characters a file name cannot hold become "-".
QString ReportPdfName(const QString& name);

// What the window needs of the main window.
struct InspectionWindowHooks {
    std::function<const TFile&()> document;
    // Asked at each use: the setup dialog may move the archive.
    std::function<ArchiveLocation()> archive;
    std::function<bool()> archiveGaveUp;
    // Taken anew for each build and each printout: the settings may change.
    std::function<TReportOptions()> options;
};

// "Inspection report": a job of the archive, or the document, with its
// findings (the target, each location's stability and chart, the same-day
// comparisons), and the report's preview and printout. Not modal; one per
// main window.
class TfmInspection : public QWidget {
    Q_OBJECT
public:
    explicit TfmInspection(InspectionWindowHooks hooks, QWidget* parent = nullptr);
    ~TfmInspection() override;

    // What is reported on now; null when the chosen job could not be read.
    const TReportData* Data() const { return data.get(); }
    const TReportFindings& Findings() const { return findings; }
    // The chosen location, -1 for none.
    int CurrentLocation() const;

    QRadioButton* rbDocument = nullptr;
    QLabel* lbDocument = nullptr;
    QRadioButton* rbJob = nullptr;
    QComboBox* cbJob = nullptr;
    QLabel* lbTarget = nullptr;
    QListWidget* lstLocations = nullptr;
    QLabel* lbReason = nullptr;
    QLabel* lbChart = nullptr;
    QPlainTextEdit* txtComparisons = nullptr;
    QPushButton* btnConditions = nullptr;
    QPushButton* btnPreview = nullptr;
    QPushButton* btnPrint = nullptr;
    QPushButton* btnHelp = nullptr;
    QPushButton* btnClose = nullptr;

public slots:
    // The jobs offered anew, then the report built again from the choice.
    void Refresh();
    // The main window's document changed: a report on it is built again.
    void DocumentChanged();
    void btnConditionsClick();
    void btnPreviewClick();
    void btnPrintClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fillJobs();
    void rebuild();
    void showFindings();
    void showLocation();
    void drawChart();
    void colourLocations();
    // Runs a printout or a preview of `data`, which is not replaced meanwhile.
    void printing(const std::function<void()>& run);

    InspectionWindowHooks hooks;
    // Print jobs and previews read it: it is replaced only between them.
    std::unique_ptr<TReportData> data;
    TReportFindings findings;
    bool filling = false;
    bool busy = false;
    bool documentChangedMeanwhile = false;
};

} // namespace kr
