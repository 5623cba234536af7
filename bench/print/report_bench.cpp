// Times the inspection report of a large job: 50 downloads over 25 days, 10
// locations of 6 readings each per download, site conditions every other day,
// kept in an archive on disk as the program keeps them.
//
//   kr-report-bench [--runs N] [--pdf FILE]   (--pdf: keep the report to look at)
//
// "report" is the whole report as kr-cli makes it: the job read from the
// archive, its findings worked out, the pages drawn and the PDF written.
// "chart" is one location's acclimation chart drawn as the window shows it.
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPageLayout>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "archive/Archive.h"
#include "core/Readings.h"
#include "core/Regional.h"
#include "print/AcclimationChart.h"
#include "print/InspectionReport.h"
#include "print/PainterSurface.h"

using namespace kr;

namespace {

void report(const char* what, QList<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-7s median %7.1f ms   min %7.1f ms   max %7.1f ms   (%lld runs)\n", what, ms[ms.size() / 2],
                ms.first(), ms.last(), static_cast<long long>(ms.size()));
}

constexpr int Downloads = 50;
constexpr int Locations = 10;
constexpr int PerLocation = 6;

void makeJob(TArchive& archive)
{
    archive.SaveJob({0, QStringLiteral("Bench"), QStringLiteral("1 Long Road"), QStringLiteral("A. Client"), {}, 0, 0});
    for (int d = 0; d < Downloads; ++d) {
        TKRFile doc;
        const TDateTime when = EncodeDate(2026, 3, 1) + std::floor(d / 2.0) + (d % 2 ? 0.6 : 0.4);
        for (int l = 1; l <= Locations; ++l) {
            doc.SetComment(l, "Room " + std::to_string(l));
            for (int r = 1; r <= PerLocation; ++r) {
                TReading& reading = doc.GetReading(l, r);
                reading.SetSpecies("Red Oak");
                reading.SetSG(0.63L);
                reading.SetSGApplies(1);
                reading.SetMoisture(8 + 6.0L / (1 + d) + 0.1L * r + 0.05L * l);
                reading.SetTemperature(20);
                reading.SetDateTime(when + r / 1440.0);
            }
        }
        TArchive::Source source;
        source.kind = TArchive::Source::Download;
        source.meter = QStringLiteral("KR-100200");
        const qint64 id = archive.Keep(doc, source).sourceId;
        archive.Assign(id, 0, QStringLiteral("Bench"));
        if (d % 4 == 0)
            archive.AddConditions(QStringLiteral("Bench"),
                                  {0, QDateTime(QDate(2026, 3, 1 + d / 2), QTime(9, 0)), 18.0 + d * 0.1, 60.0 - d * 0.3, {}});
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    int runs = 10;
    QString keep;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--runs")
            runs = std::max(1, args[i + 1].toInt());
        else if (args[i] == "--pdf")
            keep = args[i + 1];
    }

    QTemporaryDir dir;
    TArchive archive(dir.filePath(QLatin1String(TArchive::FileName)));
    makeJob(archive);
    TReportOptions options;

    QList<double> whole, chart;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        const TReportData data = ReportOfJob(archive, QStringLiteral("Bench"));
        if (WritePdf(InspectionReportJob(data, options), dir.filePath("report.pdf"), PdfPageLayout()).outcome
            != TPdfResult::Written)
            return 1;
        whole << double(t.nsecsElapsed()) / 1e6;

        const TReportFindings findings = FindingsOf(data, options);
        t.restart();
        const QImage image = AcclimationChartImage(ChartOf(findings, 0, data), QSize(900, 420), QFont());
        chart << double(t.nsecsElapsed()) / 1e6;
        if (image.isNull())
            return 1;
    }
    std::printf("job: %d downloads, %d locations, %d readings, PDF %lld bytes\n", Downloads, Locations,
                Downloads * Locations * PerLocation, static_cast<long long>(QFileInfo(dir.filePath("report.pdf")).size()));
    if (!keep.isEmpty()) {
        QFile::remove(keep);
        QFile::copy(dir.filePath("report.pdf"), keep);
    }
    report("report", whole);
    report("chart", chart);
    return 0;
}
