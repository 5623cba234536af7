#pragma once
#include <Qt>

#include "core/Statistics.h"

class QAreaSeries;

namespace kr {

// The target range as a green band for a chart to draw behind its readings,
// named for the legend ("Target range 6.0 to 9.0 %"). Moisture runs up the
// chart (the band is horizontal, from x `from` to `to`) or, for
// Qt::Vertical, across it (the band stands from y `from` to `to`). Not
// attached to any axis yet.
QAreaSeries* TargetBand(const MoistureRange& range, double from, double to,
                        Qt::Orientation direction = Qt::Horizontal);

} // namespace kr
