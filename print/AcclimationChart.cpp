#include "print/AcclimationChart.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <limits>

#include "core/Regional.h"
#include "platform/Text.h"

namespace kr {

namespace {

// The window's other charts draw the target band in this green
// (mainwindow/TargetBand.cpp): the same range looks the same everywhere.
const QColor BandColour(120, 200, 130, 90);
const QColor Ink(40, 40, 40);
const QColor AxisInk(110, 110, 110);
const QColor GridInk(228, 228, 228);
const QColor VisitInk(31, 90, 170);
const QColor EmcInk(205, 110, 20);

bool hasBand(const MoistureRange& r) { return r.low < r.high; }

bool drawable(const TLocationVisit& v)
{
    return v.figures.hasFigures() && std::isfinite(v.when) && std::isfinite(double(v.figures.mean));
}

// Sizes all follow the base font's size on the device, so a 300 dpi page and
// a 96 dpi window image keep the same proportions.
struct TMetrics {
    double px = 12;   // the base font's pixel size
    QFont title;
    QFont axis;
    double line = 1;  // the thinnest line
    double pad = 5;
    double tick = 4;
};

TMetrics metrics(const QPaintDevice* device, const QRectF& area, const QFont& font)
{
    TMetrics m;
    const double dpi = device ? device->logicalDpiY() : 96;
    m.px = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * dpi / 72;
    // Title, date labels and legend take about five lines: in a small area
    // the text shrinks with it, so the plot keeps most of the height.
    m.px = std::max(1.0, std::min(m.px, area.height() / 14));
    m.title = font;
    m.title.setBold(true);
    m.title.setPixelSize(std::max(1, qRound(m.px * 1.1)));
    m.axis = font;
    m.axis.setPixelSize(std::max(1, qRound(m.px * 0.85)));
    m.line = m.px / 12;
    m.pad = m.px * 0.5;
    m.tick = m.px * 0.35;
    return m;
}

struct TMoistureScale {
    double low = 0, high = 20;
    int step = 5;
};

// From a bit below the lowest figure to a bit above the highest, whole
// points, labelled every 1, 2 or 5 (times ten) points with 4 to 8 labels.
TMoistureScale moistureScale(const TAcclimationChart& chart)
{
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    auto take = [&](double v) {
        if (std::isfinite(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    };
    for (const TLocationVisit& v : chart.visits)
        if (drawable(v)) {
            take(double(v.figures.min));
            take(double(v.figures.max));
            take(double(v.figures.mean));
        }
    if (hasBand(chart.target)) {
        take(double(chart.target.low));
        take(double(chart.target.high));
    }
    for (const auto& e : chart.emc)
        take(e.second);
    if (lo > hi) {  // nothing to show: the span of wood around a room
        lo = 5;
        hi = 15;
    }
    const double margin = std::max(0.5, (hi - lo) * 0.05);
    lo -= margin;
    hi += margin;

    // Moisture beyond 0..1000 % is no wood's: keep the arithmetic in range.
    lo = std::clamp(lo, 0.0, 1000.0);
    hi = std::clamp(hi, lo + 1, 1001.0);

    TMoistureScale s;
    long long l = 0, h = 0, n = 0;
    for (int step : {1, 2, 5, 10, 20, 50, 100, 200, 500}) {
        s.step = step;
        l = static_cast<long long>(std::floor(lo / step)) * step;
        h = static_cast<long long>(std::ceil(hi / step)) * step;
        n = (h - l) / step + 1;
        if (n <= 8)
            break;
    }
    // Too few labels: widen, downwards while that stays at 0 or above.
    for (bool down = true; n < 4; down = !down, ++n) {
        if (down && l - s.step >= 0)
            l -= s.step;
        else
            h += s.step;
    }
    s.low = double(l);
    s.high = double(h);
    return s;
}

bool hasTimes(const TAcclimationChart& chart)
{
    return chart.from < chart.to || std::any_of(chart.visits.begin(), chart.visits.end(), drawable) ||
           std::any_of(chart.emc.begin(), chart.emc.end(), [](const auto& e) { return std::isfinite(e.first); });
}

std::pair<TDateTime, TDateTime> timeAxis(const TAcclimationChart& chart)
{
    if (chart.from < chart.to)
        return {chart.from, chart.to};
    TDateTime lo = std::numeric_limits<double>::infinity();
    TDateTime hi = -lo;
    for (const TLocationVisit& v : chart.visits)
        if (drawable(v)) {
            lo = std::min(lo, v.when);
            hi = std::max(hi, v.when);
        }
    for (const auto& e : chart.emc)
        if (std::isfinite(e.first)) {
            lo = std::min(lo, e.first);
            hi = std::max(hi, e.first);
        }
    if (lo > hi)
        return {0, 1};
    // Half a day, or over weeks a little more, so no dot sits on an axis.
    const TDateTime margin = std::max(0.5, (hi - lo) * 0.03);
    return {lo - margin, hi + margin};
}

QString titleText(const TAcclimationChart& chart)
{
    const QString verdict = chart.stable ? QStringLiteral("stable") : QStringLiteral("not yet stable");
    if (chart.title.isEmpty())
        return verdict.left(1).toUpper() + verdict.mid(1);
    return chart.title + QStringLiteral(": ") + verdict;
}

QString moistureLabel(double value) { return QString::number(qRound64(value)); }

QString dateLabel(TDateTime when)
{
    int year = 0, month = 0, day = 0;
    DecodeDate(when, year, month, day);
    // Day first, as the program's short dates are.
    return QStringLiteral("%1%2%3")
        .arg(day, 2, 10, QLatin1Char('0'))
        .arg(QLatin1Char(regional().dateSeparator))
        .arg(month, 2, 10, QLatin1Char('0'));
}

enum class TLegendKind { Visits, Target, Emc };
struct TLegendEntry {
    TLegendKind kind;
    QString text;
};

std::vector<TLegendEntry> legendEntries(const TAcclimationChart& chart)
{
    std::vector<TLegendEntry> entries;
    if (std::any_of(chart.visits.begin(), chart.visits.end(), drawable))
        entries.push_back({TLegendKind::Visits, QStringLiteral("Mean and range")});
    if (hasBand(chart.target))
        entries.push_back({TLegendKind::Target, QStringLiteral("Target %1-%2 %")
                                                    .arg(fromCp1252(MoistureFigureText(chart.target.low)),
                                                         fromCp1252(MoistureFigureText(chart.target.high)))});
    if (!chart.emc.empty())
        entries.push_back({TLegendKind::Emc, QStringLiteral("EMC")});
    return entries;
}

// The legend's entries in rows no wider than `width`, each row a list of
// (entry, width).
std::vector<std::vector<std::pair<const TLegendEntry*, double>>> legendRows(const std::vector<TLegendEntry>& entries,
                                                                             const TMetrics& m,
                                                                             const QFontMetricsF& fm, double width)
{
    std::vector<std::vector<std::pair<const TLegendEntry*, double>>> rows;
    double used = 0;
    for (const TLegendEntry& e : entries) {
        const double w = m.px * 1.6 + m.px * 0.4 + fm.horizontalAdvance(e.text);
        if (rows.empty() || used + m.px * 1.5 + w > width) {
            rows.emplace_back();
            used = w;
        } else {
            used += m.px * 1.5 + w;
        }
        rows.back().emplace_back(&e, w);
    }
    return rows;
}

QPen pen(const QColor& colour, double width, Qt::PenStyle style = Qt::SolidLine)
{
    QPen p(colour, width, style);
    p.setCapStyle(Qt::FlatCap);
    return p;
}

void drawVisit(QPainter& painter, double x, double yMean, double yMin, double yMax, const TMetrics& m)
{
    const double cap = m.px * 0.25;
    painter.setPen(pen(VisitInk, m.line * 1.4));
    painter.drawLine(QPointF(x, yMin), QPointF(x, yMax));
    painter.drawLine(QPointF(x - cap, yMin), QPointF(x + cap, yMin));
    painter.drawLine(QPointF(x - cap, yMax), QPointF(x + cap, yMax));
    // A white rim keeps dots of visits close in time apart.
    painter.setPen(pen(Qt::white, m.line * 0.8));
    painter.setBrush(VisitInk);
    const double r = m.px * 0.3;
    painter.drawEllipse(QPointF(x, yMean), r, r);
    painter.setBrush(Qt::NoBrush);
}

void drawBand(QPainter& painter, const QRectF& band, const TMetrics& m)
{
    painter.fillRect(band, BandColour);
    painter.setPen(pen(BandColour.darker(130), m.line));
    painter.drawLine(band.topLeft(), band.topRight());
    painter.drawLine(band.bottomLeft(), band.bottomRight());
}

struct TDateTicks {
    std::vector<TDateTime> ticks;
    std::vector<TDateTime> labels;  // the label names the day it falls in
};

// Daily: a tick at each midnight and the date in the middle of its day, so a
// visit stands over its own date. Else a dated tick every 2, 3, 7 or 14 days,
// or on the first of every 1, 2, 3, 6, 12... months, whichever first leaves
// room for each label.
TDateTicks dateTicks(TDateTime from, TDateTime to, double pixelsPerDay, double labelWidth)
{
    TDateTicks t;
    int fromYear = 0, m0 = 0, d0 = 0, toYear = 0, m1 = 0, d1 = 0;
    DecodeDate(from, fromYear, m0, d0);
    DecodeDate(to, toYear, m1, d1);
    if (fromYear == 0 || toYear == 0 || pixelsPerDay <= 0)
        return t;
    if (pixelsPerDay >= labelWidth) {
        for (double d = std::floor(from); d <= to; d += 1) {
            if (d > from)
                t.ticks.push_back(d);
            if (d + 0.5 >= from && d + 0.5 <= to)
                t.labels.push_back(d + 0.5);
        }
        return t;
    }
    for (int step : {2, 3, 7, 14})
        if (step * pixelsPerDay >= labelWidth) {
            // Day 2 was a Monday: weeks start there.
            for (double d = std::ceil(from); d <= to; d += 1)
                if (((static_cast<long long>(d) - 2) % step + step) % step == 0)
                    t.ticks.push_back(d);
            t.labels = t.ticks;
            return t;
        }
    int step = 1;
    for (int s : {1, 2, 3, 6, 12, 24, 60, 120, 240, 600, 1200, 2400, 6000}) {
        step = s;
        if (s * 30.4 * pixelsPerDay >= labelWidth)
            break;
    }
    for (int months = fromYear * 12 + m0 - 1; months <= toYear * 12 + m1 - 1; ++months)
        if (months % step == 0) {
            const TDateTime first = EncodeDate(months / 12, months % 12 + 1, 1);
            if (first >= from && first <= to)
                t.ticks.push_back(first);
        }
    t.labels = t.ticks;
    return t;
}

} // namespace

TAcclimationChartLayout AcclimationChartLayout(const QPaintDevice* device, const QRectF& area,
                                               const TAcclimationChart& chart, const QFont& font)
{
    const TMetrics m = metrics(device, area, font);
    const QFontMetricsF axis(m.axis, device);
    const QFontMetricsF title(m.title, device);

    TAcclimationChartLayout l;
    const TMoistureScale s = moistureScale(chart);
    l.low = s.low;
    l.high = s.high;
    l.step = s.step;
    std::tie(l.from, l.to) = timeAxis(chart);

    double labels = 0;
    for (double v = s.low; v <= s.high + 0.5; v += s.step)
        labels = std::max(labels, axis.horizontalAdvance(moistureLabel(v)));
    // The rotated caption, the labels, then the ticks.
    const double left = area.left() + m.pad + axis.height() + m.pad + labels + m.pad * 0.5 + m.tick;
    // A date label centred on the plot's right edge still fits.
    const double right = area.right() - std::max(m.pad * 2, axis.horizontalAdvance(QStringLiteral("00/00")) / 2);
    // The top label stands half a line above the plot.
    const double top = area.top() + m.pad + title.height() + m.pad + axis.height() * 0.5;

    const auto rows = legendRows(legendEntries(chart), m, axis, std::max(1.0, right - left));
    const double legend = rows.empty() ? 0 : double(rows.size()) * axis.height() * 1.2 + m.pad;
    const double bottom = area.bottom() - m.pad - legend - axis.height() - m.tick - m.pad * 0.5;

    l.plot = QRectF(QPointF(left, top), QPointF(std::max(right, left + 1), std::max(bottom, top + 1)));
    return l;
}

void DrawAcclimationChart(QPainter& painter, const QRectF& area, const TAcclimationChart& chart, const QFont& font)
{
    QPaintDevice* device = painter.device();
    const TMetrics m = metrics(device, area, font);
    const QFontMetricsF axisFm(m.axis, device);
    const QFontMetricsF titleFm(m.title, device);
    const TAcclimationChartLayout l = AcclimationChartLayout(device, area, chart, font);
    const QRectF& plot = l.plot;

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    // Title.
    painter.setFont(m.title);
    painter.setPen(Ink);
    const QRectF titleBox(area.left() + m.pad, area.top() + m.pad, area.width() - 2 * m.pad, titleFm.height());
    painter.drawText(titleBox, Qt::AlignLeft | Qt::AlignVCenter,
                     titleFm.elidedText(titleText(chart), Qt::ElideRight, titleBox.width()));

    // Moisture grid, labels and caption.
    painter.setFont(m.axis);
    const double labelRight = plot.left() - m.tick - m.pad * 0.5;
    for (double v = l.low; v <= l.high + 0.5; v += l.step) {
        const double y = l.y(v);
        painter.setPen(pen(GridInk, m.line * 0.8));
        if (v > l.low)
            painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(pen(AxisInk, m.line));
        painter.drawLine(QPointF(plot.left() - m.tick, y), QPointF(plot.left(), y));
        painter.setPen(Ink);
        painter.drawText(QRectF(area.left(), y - axisFm.height() / 2, labelRight - area.left(), axisFm.height()),
                         Qt::AlignRight | Qt::AlignVCenter, moistureLabel(v));
    }
    painter.save();
    painter.translate(area.left() + m.pad + axisFm.height() / 2, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-plot.height() / 2, -axisFm.height() / 2, plot.height(), axisFm.height()),
                     Qt::AlignCenter, QStringLiteral("Moisture %"));
    painter.restore();

    // Dates, a label only where it does not run into the one before.
    if (hasTimes(chart)) {
        const double gap = m.px * 0.6;
        const double perDay = plot.width() / (l.to - l.from);
        const TDateTicks dates =
            dateTicks(l.from, l.to, perDay, axisFm.horizontalAdvance(QStringLiteral("00/00")) + gap);
        painter.setPen(pen(AxisInk, m.line));
        for (TDateTime t : dates.ticks)
            painter.drawLine(QPointF(l.x(t), plot.bottom()), QPointF(l.x(t), plot.bottom() + m.tick));
        painter.setPen(Ink);
        double lastRight = -std::numeric_limits<double>::infinity();
        for (TDateTime t : dates.labels) {
            const QString text = dateLabel(t);
            const double w = axisFm.horizontalAdvance(text);
            const double textLeft = std::clamp(l.x(t) - w / 2, area.left(), area.right() - w);
            if (textLeft < lastRight + gap)
                continue;
            lastRight = textLeft + w;
            painter.drawText(QRectF(textLeft, plot.bottom() + m.tick + m.pad * 0.3, w, axisFm.height()),
                             Qt::AlignCenter, text);
        }
    }

    // The data, kept inside the axes.
    painter.save();
    painter.setClipRect(plot.adjusted(0, -m.px * 0.3, 0, 0));
    if (hasBand(chart.target))
        drawBand(painter,
                 QRectF(QPointF(plot.left(), l.y(double(chart.target.high))),
                        QPointF(plot.right(), l.y(double(chart.target.low)))),
                 m);
    if (!chart.emc.empty()) {
        // The room's EMC holds from one site visit until the next.
        QPainterPath path(QPointF(l.x(chart.emc.front().first), l.y(chart.emc.front().second)));
        for (std::size_t i = 1; i < chart.emc.size(); ++i) {
            path.lineTo(l.x(chart.emc[i].first), l.y(chart.emc[i - 1].second));
            path.lineTo(l.x(chart.emc[i].first), l.y(chart.emc[i].second));
        }
        path.lineTo(plot.right(), l.y(chart.emc.back().second));
        painter.setPen(pen(EmcInk, m.line * 1.6, Qt::DashLine));
        painter.drawPath(path);
    }
    bool any = false;
    for (const TLocationVisit& v : chart.visits)
        if (drawable(v)) {
            any = true;
            drawVisit(painter, l.x(v.when), l.y(double(v.figures.mean)), l.y(double(v.figures.min)),
                      l.y(double(v.figures.max)), m);
        }
    painter.restore();
    if (!any) {
        painter.setFont(m.title);
        painter.setPen(AxisInk);
        painter.drawText(plot, Qt::AlignCenter, QStringLiteral("No readings"));
        painter.setFont(m.axis);
    }

    // Axes over the band's edges.
    painter.setPen(pen(AxisInk, m.line));
    painter.drawLine(plot.bottomLeft(), plot.topLeft());
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());

    // Legend, centred under the plot.
    const std::vector<TLegendEntry> entries = legendEntries(chart);
    const auto rows = legendRows(entries, m, axisFm, plot.width());
    double rowTop = area.bottom() - m.pad - double(rows.size()) * axisFm.height() * 1.2;
    for (const auto& row : rows) {
        double width = m.px * 1.5 * double(row.size() - 1);
        for (const auto& [e, w] : row)
            width += w;
        double x = std::max(area.left() + m.pad, plot.center().x() - width / 2);
        const double cy = rowTop + axisFm.height() * 0.6;
        for (const auto& [e, w] : row) {
            const double sw = m.px * 1.6;
            switch (e->kind) {
            case TLegendKind::Visits: {
                const double half = axisFm.height() * 0.55;
                drawVisit(painter, x + sw / 2, cy, cy + half, cy - half, m);
                break;
            }
            case TLegendKind::Target: {
                const double half = axisFm.height() * 0.3;
                drawBand(painter, QRectF(x, cy - half, sw, 2 * half), m);
                break;
            }
            case TLegendKind::Emc:
                painter.setPen(pen(EmcInk, m.line * 1.6, Qt::DashLine));
                painter.drawLine(QPointF(x, cy), QPointF(x + sw, cy));
                break;
            }
            painter.setPen(Ink);
            const double tx = x + sw + m.px * 0.4;
            painter.drawText(QRectF(tx, cy - axisFm.height() / 2, w - (tx - x), axisFm.height()),
                             Qt::AlignLeft | Qt::AlignVCenter, e->text);
            x += w + m.px * 1.5;
        }
        rowTop += axisFm.height() * 1.2;
    }
    painter.restore();
}

QImage AcclimationChartImage(const TAcclimationChart& chart, const QSize& size, const QFont& font)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (!image.isNull()) {
        QPainter painter(&image);
        DrawAcclimationChart(painter, QRectF(QPointF(0, 0), size), chart, font);
    }
    return image;
}

} // namespace kr
