#pragma once
#include <Qt>

#include "core/Statistics.h"

class QAreaSeries;
class QChart;
class QFont;
class QString;

namespace kr {

// The target range as a green band for a chart to draw behind its readings,
// named for the legend ("Target range 6.0 to 9.0 %"). Moisture runs up the
// chart (the band is horizontal, from x `from` to `to`) or, for
// Qt::Vertical, across it (the band stands from y `from` to `to`). Not
// attached to any axis yet.
QAreaSeries* TargetBand(const MoistureRange& range, double from, double to,
                        Qt::Orientation direction = Qt::Horizontal);

// A chart as the moisture windows draw theirs: legend below, narrow
// margins, a bold title in the window's font.
QChart* NewMoistureChart(const QString& objectName, const QFont& windowFont);

} // namespace kr
