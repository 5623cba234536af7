#include "platform/ui/Contrast.h"

#include <algorithm>
#include <cmath>

namespace kr {

namespace {

double channel(double c)
{
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c)
{
    const QColor rgb = c.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

} // namespace

double contrastRatio(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor mixed(const QColor& base, const QColor& tint, double share)
{
    const QColor a = base.toRgb(), b = tint.toRgb();
    auto mix = [share](int x, int y) { return int(std::lround(x + (y - x) * share)); };
    return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()), mix(a.alpha(), b.alpha()));
}

QColor readableOn(const QColor& ink, const QColor& background, double ratio)
{
    // Towards white on a dark background, towards black on a light one; in
    // tenths, so the hue is kept as far as the contrast allows.
    const QColor far = contrastRatio(background, Qt::white) > contrastRatio(background, Qt::black) ? QColor(Qt::white)
                                                                                                    : QColor(Qt::black);
    QColor out = ink;
    for (int step = 1; step <= 10 && contrastRatio(out, background) < ratio; ++step)
        out = mixed(ink, far, step / 10.0);
    return out;
}

} // namespace kr
