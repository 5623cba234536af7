#pragma once
#include <QColor>

namespace kr {

// The contrast ratio of two colours as the web's accessibility guidelines
// measure it: 1 for the same colour, 21 for black on white.
double contrastRatio(const QColor& a, const QColor& b);

// `ink`, lightened or darkened just enough to reach `ratio` against
// `background`; unchanged where it reads already. Fixed signal colours (a
// green "inside", a red "outside") stay recognisable on a dark palette.
QColor readableOn(const QColor& ink, const QColor& background, double ratio = 4.5);

// `base` with `share` (0 to 1) of `tint` mixed in.
QColor mixed(const QColor& base, const QColor& tint, double share);

} // namespace kr
