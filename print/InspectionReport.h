#pragma once
#include <QImage>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "core/Acclimation.h"
#include "print/PageOutput.h"
#include "print/Printing.h"

namespace kr {

class TArchive;

// How a firm brands its inspection reports: "report.txt" in the program
// folder, "Key: value" lines. The program's own report carries no branding.
struct TReportBrand {
    QString title = QStringLiteral("Moisture inspection report");
    QString company;
    QString address;  // "|" starts a new line
    QString footer;   // left of "Page N of M" on every page
    QImage logo;      // drawn at the top right of the first page
};
// shell/report-template.txt, installed beside Factors.dat, explains each key.
inline constexpr const char* ReportTemplateName = "report.txt";
// Reads a template; a missing file gives the unbranded report. A logo that
// cannot be read, or an unknown key, is said in `problems` and left out.
TReportBrand ReadReportBrand(const QString& path, QStringList* problems = nullptr);

// What a report is made of: a job of the archive, or one data file.
struct TReportData {
    QString name;   // the job's name, or the data file's
    QString site, client, jobNotes;
    QStringList meters;  // serial numbers, each once
    std::vector<TSiteConditions> conditions;  // oldest first
    std::vector<std::unique_ptr<TFile>> docs;
    std::vector<TVisitSource> sources;        // into docs, oldest first
};
// Throws ArchiveError for a job the archive does not hold.
TReportData ReportOfJob(const TArchive& archive, const QString& jobName);
TReportData ReportOfFile(std::unique_ptr<TFile> doc, const QString& name);

// What the report takes from the settings.
struct TReportOptions : TPageSetup {
    QString inspector;
    bool centigrade = true;
    MoistureRange range;    // the target when the job has no site conditions
    TRoomMargins room;      // the target from the latest site conditions
    long double limit = DefaultComparisonLimit;
    TReportBrand brand;
};

// The report's findings, worked out once for its pages and for a window.
struct TReportFindings {
    MoistureRange target;
    QString targetText;   // "Target 7.2-11.2 % from 21 °C, 50 % RH (EMC 9.2 %)"
    std::vector<TLocationSeries> locations;
    std::vector<TStability> stability;  // one per location
    struct Pair {
        int first = 0, second = 0;  // into locations
        std::vector<TDayComparison> days;
    };
    std::vector<Pair> comparisons;    // only pairs measured on a same day
    TDateTime firstReading = 0, lastReading = 0;  // 0 without readings
};
TReportFindings FindingsOf(const TReportData& data, const TReportOptions& options);

// The chart of one location as the report and the window draw it.
struct TAcclimationChart;
TAcclimationChart ChartOf(const TReportFindings& findings, int location, const TReportData& data);

// The report's pages as a job for a printer, a preview or a PDF file; `data`
// must outlive the job.
TPrintJob InspectionReportJob(const TReportData& data, const TReportOptions& options);

} // namespace kr
