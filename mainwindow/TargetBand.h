#pragma once
#include "core/Statistics.h"

class QAreaSeries;

namespace kr {

// The target range as a green band from x `from` to `to`, for a chart to
// draw behind its readings; named for the legend ("Target range 6 to 9 %").
// Not attached to any axis yet.
QAreaSeries* TargetBand(const MoistureRange& range, double from, double to);

} // namespace kr
