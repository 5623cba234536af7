#include "print/InspectionReport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <set>

#include "archive/Archive.h"
#include "core/Emc.h"
#include "core/Readings.h"
#include "core/Regional.h"
#include "platform/Text.h"
#include "print/AcclimationChart.h"

namespace kr {

TReportBrand ReadReportBrand(const QString& path, QStringList* problems)
{
    TReportBrand brand;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return brand;
    auto problem = [&](const QString& text) {
        if (problems)
            *problems << text;
    };
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    int lineNo = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        ++lineNo;
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        const QString key = line.left(colon).trimmed().toLower();
        const QString value = colon < 0 ? QString() : line.mid(colon + 1).trimmed();
        if (colon < 0) {
            problem(QStringLiteral("%1, line %2: not \"Key: value\"").arg(QDir::toNativeSeparators(path)).arg(lineNo));
            continue;
        }
        if (value.isEmpty())
            continue;
        if (key == QLatin1String("title")) {
            brand.title = value;
        } else if (key == QLatin1String("company")) {
            brand.company = value;
        } else if (key == QLatin1String("address")) {
            brand.address = value;
        } else if (key == QLatin1String("footer")) {
            brand.footer = value;
        } else if (key == QLatin1String("logo")) {
            const QString logoPath = QFileInfo(value).isAbsolute() ? value : QFileInfo(path).dir().filePath(value);
            if (!brand.logo.load(logoPath))
                problem(QStringLiteral("the logo %1 could not be read").arg(QDir::toNativeSeparators(logoPath)));
        } else {
            problem(QStringLiteral("%1, line %2: no key \"%3\"")
                        .arg(QDir::toNativeSeparators(path))
                        .arg(lineNo)
                        .arg(line.left(colon).trimmed()));
        }
    }
    return brand;
}

TReportData ReportOfJob(const TArchive& archive, const QString& jobName)
{
    const std::optional<TArchive::Job> job = archive.FindJob(jobName);
    if (!job)
        throw ArchiveError(QStringLiteral("There is no job \"%1\" in the archive.").arg(jobName).toStdString());
    TReportData data;
    data.name = job->name;
    data.site = job->site;
    data.client = job->client;
    data.jobNotes = job->notes;
    for (const TArchive::SiteConditions& c : archive.Conditions(job->name)) {
        const QDate d = c.when.date();
        const QTime t = c.when.time();
        data.conditions.push_back({EncodeDate(d.year(), d.month(), d.day()) + EncodeTime(t.hour(), t.minute(), 0, 0),
                                   c.celsius, c.humidity, toCp1252(c.note)});
    }
    for (const TArchive::JobSource& source : archive.SourcesOf(job->name)) {
        auto doc = std::make_unique<TKRFile>();
        archive.Export(source.sourceId, *doc);
        data.sources.push_back({doc.get(), source.files});
        data.docs.push_back(std::move(doc));
        if (!source.meter.isEmpty() && !data.meters.contains(source.meter))
            data.meters << source.meter;
    }
    return data;
}

TReportData ReportOfFile(std::unique_ptr<TFile> doc, const QString& name)
{
    TReportData data;
    data.name = name;
    data.sources.push_back({doc.get(), {}});
    data.docs.push_back(std::move(doc));
    return data;
}

TReportFindings FindingsOf(const TReportData& data, const TReportOptions& options)
{
    TReportFindings f;
    f.target = options.range;
    f.targetText = QStringLiteral("Target %1-%2 % (the target range of the settings)")
                       .arg(fromCp1252(MoistureFigureText(options.range.low)),
                            fromCp1252(MoistureFigureText(options.range.high)));
    if (!data.conditions.empty()) {
        const TSiteConditions& room = data.conditions.back();
        const TEmc emc = EquilibriumMoisture(room.celsius, room.humidity);
        if (emc.Known()) {
            f.target = TargetFromRoom(emc.percent, options.room);
            f.targetText = fromCp1252(RoomTargetText(f.target, room, emc.percent, options.centigrade));
        }
    }
    f.locations = LocationSeries(data.sources, f.target);
    for (const TLocationSeries& location : f.locations)
        f.stability.push_back(Stability(location, f.target));
    for (const auto& [a, b] : ComparedPairs(int(f.locations.size()))) {
        std::vector<TDayComparison> days = CompareByDay(f.locations[std::size_t(a)], f.locations[std::size_t(b)],
                                                        options.limit);
        if (!days.empty())
            f.comparisons.push_back({a, b, std::move(days)});
    }
    for (const TVisitSource& source : data.sources)
        for (int file = 1; file <= TFile::FileCount; ++file)
            for (int rec = 1; rec <= TSubFile::RecordCount; ++rec) {
                const TReading& r = source.doc->GetReading(file, rec);
                if (!r.IsUsed())
                    continue;
                const TDateTime t = r.GetDateTime();
                f.firstReading = f.firstReading == 0 ? t : std::min(f.firstReading, t);
                f.lastReading = std::max(f.lastReading, t);
            }
    return f;
}

TAcclimationChart ChartOf(const TReportFindings& findings, int location, const TReportData& data)
{
    TAcclimationChart chart;
    const TLocationSeries& series = findings.locations[std::size_t(location)];
    chart.title = fromCp1252(series.name);
    chart.visits = series.visits;
    chart.target = findings.target;
    chart.stable = findings.stability[std::size_t(location)].stable;
    for (const TSiteConditions& c : data.conditions) {
        const TEmc emc = EquilibriumMoisture(c.celsius, c.humidity);
        if (emc.Known())
            chart.emc.emplace_back(c.when, emc.percent);
    }
    // Every location on the same time axis, so their charts read side by side.
    for (const TLocationSeries& other : findings.locations)
        for (const TLocationVisit& visit : other.visits) {
            chart.from = chart.from == 0 ? visit.when : std::min(chart.from, visit.when);
            chart.to = std::max(chart.to, visit.when);
        }
    if (chart.to - chart.from < 1) {
        chart.from = 0;  // one day or less: the chart picks its own margins
        chart.to = 0;
    } else {
        const TDateTime margin = std::max(0.5, (chart.to - chart.from) * 0.03);
        chart.from -= margin;
        chart.to += margin;
    }
    return chart;
}

namespace {

QString cp(const std::string& text) { return fromCp1252(text); }

// "21", "21.5": a temperature or humidity, at most one decimal.
QString airText(double value)
{
    std::string text = FormatFixed4(value, 1, regional().decimalSeparator);
    if (text.size() > 2 && text[text.size() - 2] == regional().decimalSeparator && text.back() == '0')
        text.resize(text.size() - 2);
    return cp(text);
}

QString temperatureText(double celsius, bool centigrade)
{
    return airText(centigrade ? celsius : celsius * 9 / 5 + 32) + (centigrade ? QStringLiteral(" \u00b0C")
                                                                              : QStringLiteral(" \u00b0F"));
}

QString dateText(TDateTime when) { return cp(DateTimeToSystemText(std::trunc(when))); }
QString dateTimeText(TDateTime when) { return cp(DateTimeToSystemText(when)); }

// A surface that measures like another and draws nothing: the first pass
// that counts the pages for "Page N of M".
class TMeasuringSurface final : public TPrintSurface {
public:
    explicit TMeasuringSurface(TPrintSurface& real) : real(real) {}
    TPrintFont Font() const override { return real.Font(); }
    void SetFont(const TPrintFont& font) override { real.SetFont(font); }
    TTextAlign Align() const override { return real.Align(); }
    void SetAlign(TTextAlign align) override { real.SetAlign(align); }
    int TextWidth(const QString& text) const override { return real.TextWidth(text); }
    int TextHeight(const QString& text) const override { return real.TextHeight(text); }
    void TextOut(int, int, const QString&) override {}
    bool DrawImage(int, int, const QImage&) override { return true; }
    void DrawWith(const QRect&, const PaintArea&) override {}
    void NewPage() override {}
    int PageWidth() const override { return real.PageWidth(); }
    int PageHeight() const override { return real.PageHeight(); }
    int DpiX() const override { return real.DpiX(); }
    int DpiY() const override { return real.DpiY(); }

private:
    TPrintSurface& real;
};

struct Column {
    QString title;
    int width = 0;       // device pixels
    bool right = false;  // figures stand right-aligned
};

// Lays the report out from top to bottom, page after page.
class ReportWriter {
public:
    ReportWriter(TPrintSurface& s, const TReportData& data, const TReportOptions& options,
                 const TReportFindings& findings, int pages)
        : s(s), data(data), o(options), f(findings), pages(pages), g(PageGeometry(s, options))
    {
        base = options.font;
        base.bold = base.italic = base.underline = base.strikeOut = false;
        base.points = std::max(base.points, 8);
        s.SetFont(base);
        line = s.TextHeight(QStringLiteral("Xg"));
        mm = double(s.DpiY()) / 25.4;
        bottom = g.pageHeight - g.bottom - 2 * line;  // room for the footer
        y = g.top;
    }

    int Write()
    {
        firstPage();
        conditions();
        summary();
        for (std::size_t i = 0; i < f.locations.size(); ++i)
            location(int(i));
        comparisons();
        readings();
        notes();
        footer();
        return page;
    }

private:
    void font(int extraPoints, bool bold, bool italic = false)
    {
        TPrintFont font = base;
        font.points += extraPoints;
        font.bold = bold;
        font.italic = italic;
        s.SetFont(font);
    }
    int px(double millimetres) const { return int(std::lround(millimetres * mm)); }

    void footer()
    {
        s.SetFont(base);
        const int at = g.pageHeight - g.bottom - line;
        s.SetAlign(TTextAlign::LeftTop);
        s.TextOut(g.left, at, o.brand.footer.isEmpty() ? o.brand.title + QStringLiteral(": ") + data.name
                                                      : o.brand.footer);
        s.SetAlign(TTextAlign::RightTop);
        s.TextOut(g.left + g.width, at, QStringLiteral("Page %1 of %2").arg(page).arg(std::max(pages, page)));
        s.SetAlign(TTextAlign::LeftTop);
    }
    void newPage()
    {
        footer();
        s.NewPage();
        ++page;
        y = g.top;
        font(0, false, true);
        s.TextOut(g.left, y, o.brand.title + QStringLiteral(": ") + data.name);
        s.SetFont(base);
        y += line * 2;
    }
    // Starts a new page unless `height` fits below.
    void room(int height)
    {
        if (y + height > bottom && y > g.top + line * 2)
            newPage();
    }
    void heading(const QString& text, int keepWith)
    {
        font(3, true);
        const int h = s.TextHeight(text);
        room(h + line / 2 + keepWith);
        font(3, true);  // a new page's running title took the font
        y += line / 2;
        s.TextOut(g.left, y, text);
        y += h + line / 3;
        s.SetFont(base);
    }
    // The words of `text` in lines no wider than `width`.
    QStringList wrapped(const QString& text, int width) const
    {
        QStringList lines;
        for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
            QString current;
            for (const QString& word : paragraph.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                const QString tried = current.isEmpty() ? word : current + QLatin1Char(' ') + word;
                if (!current.isEmpty() && s.TextWidth(tried) > width) {
                    lines << current;
                    current = word;
                } else {
                    current = tried;
                }
            }
            lines << current;
        }
        return lines;
    }
    void paragraph(const QString& text, int indent = 0)
    {
        for (const QString& l : wrapped(text, g.width - indent)) {
            room(line);
            s.TextOut(g.left + indent, y, l);
            y += line;
        }
    }
    void labelled(const QString& label, const QString& value, int valueAt)
    {
        if (value.isEmpty())
            return;
        room(line);
        font(0, true);
        s.TextOut(g.left, y, label);
        s.SetFont(base);
        const QStringList lines = wrapped(value, g.width - valueAt);
        for (const QString& l : lines) {
            room(line);
            s.TextOut(g.left + valueAt, y, l);
            y += line;
        }
    }
    // A table whose heading comes again on each new page.
    void table(const std::vector<Column>& columns, const std::vector<QStringList>& rows)
    {
        const int gap = px(3);
        auto row = [&](const QStringList& cells, bool bold) {
            font(0, bold);
            int x = g.left;
            for (std::size_t c = 0; c < columns.size() && c < std::size_t(cells.size()); ++c) {
                // A last column of text takes what room is left.
                const bool last = c + 1 == columns.size() && !columns[c].right;
                const int width = last ? g.left + g.width - x : columns[c].width;
                s.SetAlign(columns[c].right ? TTextAlign::RightTop : TTextAlign::LeftTop);
                s.TextOut(columns[c].right ? x + width : x, y, cells[int(c)]);
                x += width + gap;
            }
            s.SetAlign(TTextAlign::LeftTop);
            s.SetFont(base);
            y += line;
        };
        QStringList titles;
        for (const Column& c : columns)
            titles << c.title;
        room(line * 2);
        row(titles, true);
        for (const QStringList& cells : rows) {
            if (y + line > bottom) {
                newPage();
                row(titles, true);
            }
            row(cells, false);
        }
    }
    int width(const QString& sample) const { return s.TextWidth(sample); }

    void firstPage()
    {
        int logoBottom = y;
        if (!o.brand.logo.isNull()) {
            // At most 25 mm high and a third of the width, drawn at the page's resolution.
            const QImage logo = o.brand.logo.scaled(g.width / 3, px(25), Qt::KeepAspectRatio, Qt::SmoothTransformation);
            s.DrawImage(g.left + g.width - logo.width(), y, logo);
            logoBottom = y + logo.height();
        }
        if (!o.brand.company.isEmpty()) {
            font(4, true);
            s.TextOut(g.left, y, o.brand.company);
            y += s.TextHeight(o.brand.company);
            s.SetFont(base);
            for (const QString& l : o.brand.address.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
                s.TextOut(g.left, y, l.trimmed());
                y += line;
            }
        }
        y = std::max(y, logoBottom) + line;
        font(8, true);
        s.TextOut(g.left, y, o.brand.title);
        y += s.TextHeight(o.brand.title) + line / 2;
        s.SetFont(base);

        const int valueAt = width(QStringLiteral("Readings taken:")) + px(4);
        labelled(data.sources.size() == 1 && data.site.isEmpty() && data.meters.isEmpty() ? QStringLiteral("File:")
                                                                                          : QStringLiteral("Job:"),
                 data.name, valueAt);
        labelled(QStringLiteral("Site:"), data.site, valueAt);
        labelled(QStringLiteral("Client:"), data.client, valueAt);
        labelled(QStringLiteral("Inspector:"), o.inspector, valueAt);
        labelled(data.meters.size() > 1 ? QStringLiteral("Meters:") : QStringLiteral("Meter:"),
                 data.meters.join(QStringLiteral(", ")), valueAt);
        if (f.firstReading != 0)
            labelled(QStringLiteral("Readings taken:"),
                     dateText(f.firstReading) == dateText(f.lastReading)
                         ? dateText(f.firstReading)
                         : dateText(f.firstReading) + QStringLiteral(" to ") + dateText(f.lastReading),
                     valueAt);
        labelled(QStringLiteral("Report made:"), dateTimeText(o.now), valueAt);
        labelled(QStringLiteral("Job notes:"), data.jobNotes, valueAt);
        y += line / 2;
        font(1, true);
        paragraph(f.targetText);
        s.SetFont(base);
    }

    void conditions()
    {
        heading(QStringLiteral("Site conditions"), line * 2);
        if (data.conditions.empty()) {
            paragraph(QStringLiteral("No site conditions were recorded."));
            return;
        }
        std::vector<QStringList> rows;
        for (const TSiteConditions& c : data.conditions) {
            const TEmc emc = EquilibriumMoisture(c.celsius, c.humidity);
            rows.push_back({dateTimeText(c.when), temperatureText(c.celsius, o.centigrade),
                            airText(c.humidity) + QStringLiteral(" %"),
                            emc.Known() ? cp(MoistureFigureText(emc.percent)) + QStringLiteral(" %")
                                        : QStringLiteral("-"),
                            cp(c.note)});
        }
        const int date = width(QStringLiteral("00/00/0000 00:00:00 "));
        const int figure = width(QStringLiteral("Temperature "));
        table({{QStringLiteral("Measured"), date, false},
               {QStringLiteral("Temperature"), figure, true},
               {QStringLiteral("RH"), figure, true},
               {QStringLiteral("EMC"), figure, true},
               {QStringLiteral("Note"), 0, false}},
              rows);
    }

    void summary()
    {
        heading(QStringLiteral("Locations"), line * 2);
        if (f.locations.empty()) {
            paragraph(QStringLiteral("No wood readings."));
            return;
        }
        const int name = width(QStringLiteral("Subfloor, hall by the door"));
        const int figure = width(QStringLiteral("Last mean "));
        std::vector<QStringList> rows;
        for (std::size_t i = 0; i < f.locations.size(); ++i) {
            const TLocationSeries& l = f.locations[i];
            rows.push_back({cp(l.name), QString::number(l.visits.size()),
                            cp(MoistureFigureText(l.visits.back().figures.mean)) + QStringLiteral(" %"),
                            f.stability[i].stable ? QStringLiteral("stable") : QStringLiteral("not yet stable")});
        }
        table({{QStringLiteral("Location"), name, false},
               {QStringLiteral("Visits"), figure, true},
               {QStringLiteral("Last mean"), figure, true},
               {QStringLiteral("Acclimation"), 0, false}},
              rows);
    }

    void location(int index)
    {
        const TLocationSeries& l = f.locations[std::size_t(index)];
        const int chartHeight = px(62);
        heading(cp(l.name), line * 3);
        std::vector<QStringList> rows;
        for (const TLocationVisit& v : l.visits) {
            const MoistureStatistics& m = v.figures;
            rows.push_back({dateTimeText(v.when), QString::number(m.count), cp(MoistureFigureText(m.mean)),
                            cp(MoistureFigureText(m.min)), cp(MoistureFigureText(m.max)), cp(SdText(m)),
                            cp(InRangePercentText(m)) + QStringLiteral(" %")});
        }
        const int date = width(QStringLiteral("00/00/0000 00:00:00 "));
        const int figure = width(QStringLiteral("In target "));
        table({{QStringLiteral("Visit"), date, false},
               {QStringLiteral("Readings"), figure, true},
               {QStringLiteral("Mean"), figure, true},
               {QStringLiteral("Lowest"), figure, true},
               {QStringLiteral("Highest"), figure, true},
               {QStringLiteral("SD"), figure, true},
               {QStringLiteral("In target"), figure, true}},
              rows);
        y += line / 3;
        paragraph(cp(f.stability[std::size_t(index)].reason));
        room(chartHeight + line);
        y += line / 2;
        const TAcclimationChart chart = ChartOf(f, index, data);
        s.DrawWith(QRect(g.left, y, g.width, chartHeight), [&](QPainter& p, const QRectF& area, const QFont& font) {
            DrawAcclimationChart(p, area, chart, font);
        });
        y += chartHeight + line;
    }

    void comparisons()
    {
        if (f.comparisons.empty())
            return;
        heading(QStringLiteral("Comparisons"), line * 3);
        paragraph(QStringLiteral("Each day both locations were measured, their means against the limit of %1 points "
                                 "set in Readings at a glance.")
                      .arg(cp(MoistureFigureText(o.limit))));
        const int date = width(QStringLiteral("00/00/0000 "));
        const int figure = width(QStringLiteral("Subfloor, hall "));
        for (const TReportFindings::Pair& pair : f.comparisons) {
            const QString a = cp(f.locations[std::size_t(pair.first)].name);
            const QString b = cp(f.locations[std::size_t(pair.second)].name);
            room(line * 4);
            y += line / 2;
            font(1, true);
            paragraph(a + QStringLiteral(" and ") + b);
            s.SetFont(base);
            std::vector<QStringList> rows;
            for (const TDayComparison& d : pair.days) {
                const MoistureComparison& c = d.comparison;
                rows.push_back({dateText(EncodeDate(d.year, d.month, d.day)),
                                cp(MoistureFigureText(c.first.mean)) + QStringLiteral(" %"),
                                cp(MoistureFigureText(c.second.mean)) + QStringLiteral(" %"),
                                cp(ComparisonVerdict(c))});
            }
            table({{QStringLiteral("Day"), date, false},
                   {a, figure, true},
                   {b, figure, true},
                   {QStringLiteral("Verdict"), 0, false}},
                  rows);
        }
    }

    // Every wood and reference reading, compact: three columns a page.
    void readings()
    {
        struct Entry {
            QString text;
            bool heading = false;
        };
        std::vector<Entry> entries;
        for (const TVisitSource& source : data.sources)
            for (int file = 1; file <= TFile::FileCount; ++file) {
                if (!source.files.empty() && std::find(source.files.begin(), source.files.end(), file) == source.files.end())
                    continue;
                if (source.doc->CountUsed(file) == 0)
                    continue;
                const QString name = cp(Trim(source.doc->GetComment(file)));
                entries.push_back({(name.isEmpty() ? QStringLiteral("Meter file %1").arg(file) : name), true});
                for (int rec = 1; rec <= TSubFile::RecordCount; ++rec) {
                    const TReading& r = source.doc->GetReading(file, rec);
                    if (!r.IsUsed())
                        continue;
                    entries.push_back({QStringLiteral("%1  %2  %3  %4").arg(rec, 2).arg(dateTimeText(r.GetDateTime()),
                                                                                   cp(TrimTrailingSpaces(r.GetSpecies())),
                                                                                   cp(r.GetMoistureText())),
                                       false});
                }
            }
        if (entries.empty())
            return;
        heading(QStringLiteral("Readings"), line * 3);
        const int gap = px(5);
        const int columnWidth = (g.width - 2 * gap) / 3;
        const int top = y;
        int column = 0;
        int columnTop = top;
        TPrintFont small = base;
        small.points = std::max(6, base.points - 1);
        for (const Entry& e : entries) {
            if (y + line > bottom) {
                if (++column == 3) {
                    s.SetFont(base);
                    newPage();
                    column = 0;
                    columnTop = y;
                }
                y = columnTop;
            }
            TPrintFont font = small;
            font.bold = e.heading;
            s.SetFont(font);
            QString text = e.text;
            while (text.size() > 4 && s.TextWidth(text) > columnWidth)
                text.chop(1);
            s.TextOut(g.left + column * (columnWidth + gap), y, text);
            y += s.TextHeight(text);
        }
        s.SetFont(base);
        y = column == 0 ? y : bottom;  // a later section starts below the columns
    }

    void notes()
    {
        std::vector<QString> lines;
        for (const TVisitSource& source : data.sources) {
            const QString text = cp(source.doc->GetNotesText()).trimmed();
            if (!text.isEmpty())
                lines.push_back(text);
            for (int file = 1; file <= TFile::FileCount; ++file) {
                if (!source.files.empty() && std::find(source.files.begin(), source.files.end(), file) == source.files.end())
                    continue;
                for (int rec = 1; rec <= TSubFile::RecordCount; ++rec) {
                    const TReading& r = source.doc->GetReading(file, rec);
                    if (r.IsUsed() && !Trim(r.GetNote()).empty()) {
                        const QString name = cp(Trim(source.doc->GetComment(file)));
                        lines.push_back(QStringLiteral("%1, reading %2 (%3): %4")
                                            .arg(name.isEmpty() ? QStringLiteral("Meter file %1").arg(file) : name)
                                            .arg(rec)
                                            .arg(dateTimeText(r.GetDateTime()), cp(Trim(r.GetNote()))));
                    }
                }
            }
        }
        if (lines.empty())
            return;
        heading(QStringLiteral("Notes"), line * 2);
        for (const QString& l : lines) {
            paragraph(QString(l).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
            y += line / 3;
        }
    }

    TPrintSurface& s;
    const TReportData& data;
    const TReportOptions& o;
    const TReportFindings& f;
    int pages = 0;
    TPageGeometry g;
    TPrintFont base;
    int line = 0;
    double mm = 1;
    int bottom = 0;
    int y = 0;
    int page = 1;
};

} // namespace

TPrintJob InspectionReportJob(const TReportData& data, const TReportOptions& options)
{
    TPrintJob job;
    job.refusal = [options](TPrintSurface& surface) {
        return MarginRefusal(surface, options, {QStringLiteral("the report"), 0, 0});
    };
    job.draw = [&data, options](TPrintSurface& surface) {
        const TReportFindings findings = FindingsOf(data, options);
        const TPrintFont font = surface.Font();
        TMeasuringSurface measuring(surface);
        const int pages = ReportWriter(measuring, data, options, findings, 0).Write();
        surface.SetFont(font);
        ReportWriter(surface, data, options, findings, pages).Write();
    };
    return job;
}

} // namespace kr
