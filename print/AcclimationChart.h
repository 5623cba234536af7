#pragma once
#include <QFont>
#include <QImage>
#include <QRectF>
#include <QString>
#include <utility>
#include <vector>

#include "core/Acclimation.h"

class QPaintDevice;
class QPainter;

namespace kr {

// One location's moisture over its visits, drawn with a painter so a window's
// image and a PDF page (as vectors) come from the same code.
struct TAcclimationChart {
    QString title;                        // the location's name
    std::vector<TLocationVisit> visits;   // oldest first
    MoistureRange target;                 // drawn as a band behind; skipped when low >= high
    std::vector<std::pair<TDateTime, double>> emc;  // the room's EMC at each site visit, oldest first; may be empty
    // The time axis; when from >= to, taken from the visits (and emc) with a
    // half-day margin, 3 % of the span when that is more.
    TDateTime from = 0, to = 0;
    bool stable = false;                  // shown in the title: "Subfloor: stable" / "Subfloor: not yet stable"
};

// Draws the chart filling `area` (device pixels of the painter), with `font`
// as the base font (title bold, axis labels a bit smaller).
void DrawAcclimationChart(QPainter& painter, const QRectF& area, const TAcclimationChart& chart, const QFont& font);

// The chart as an image (white background) for a window, at the given size.
QImage AcclimationChartImage(const TAcclimationChart& chart, const QSize& size, const QFont& font);

// Where DrawAcclimationChart puts the plot and how it maps moisture and time
// into it, for hit-testing a tooltip and for tests.
struct TAcclimationChartLayout {
    QRectF plot;                 // inside the axes
    double low = 0, high = 0;    // moisture at the plot's bottom and top
    TDateTime from = 0, to = 1;  // time at the plot's left and right
    int step = 1;                // points between moisture labels

    double y(double moisture) const { return plot.bottom() - (moisture - low) / (high - low) * plot.height(); }
    double x(TDateTime when) const { return plot.left() + (when - from) / (to - from) * plot.width(); }
};
TAcclimationChartLayout AcclimationChartLayout(const QPaintDevice* device, const QRectF& area,
                                               const TAcclimationChart& chart, const QFont& font);

} // namespace kr
