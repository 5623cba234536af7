#include "settings/WindowFit.h"

#include <algorithm>

namespace kr {

namespace {

// Room between two windows side by side, and the step of the fallback offset.
constexpr int Gap = 8;
constexpr int Offset = 40;

long long overlap(const Area& a, const Area& b)
{
    const long long w = std::min(a.right, b.right) - std::max(a.left, b.left);
    const long long h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

// The left (or top) edge that keeps a span of `size` inside [low, high).
int clampStart(int start, int size, int low, int high) { return std::max(low, std::min(start, high - size)); }

} // namespace

Area fitToArea(const Area& rect, const Area& available)
{
    if (available.width() <= 0 || available.height() <= 0)
        return rect;
    const int w = std::clamp(rect.width(), 1, available.width());
    const int h = std::clamp(rect.height(), 1, available.height());
    const int left = clampStart(rect.left, w, available.left, available.right);
    const int top = clampStart(rect.top, h, available.top, available.bottom);
    return Area{left, top, left + w, top + h};
}

Area landingArea(const Area& rect, const std::vector<Area>& areas)
{
    if (areas.empty())
        return rect;
    const Area* best = &areas.front();
    long long most = 0;
    for (const Area& a : areas)
        if (const long long o = overlap(rect, a); o > most) {
            most = o;
            best = &a;
        }
    return *best;
}

Area fitOnScreens(const Area& rect, const std::vector<Area>& areas)
{
    return areas.empty() ? rect : fitToArea(rect, landingArea(rect, areas));
}

Area besideArea(const Area& anchor, int width, int height, const Area& available)
{
    const Area sized = fitToArea(Area{0, 0, width, height}, Area{0, 0, available.width(), available.height()});
    const int w = sized.width(), h = sized.height();
    int left = anchor.left + Offset;
    int top = anchor.top + Offset;
    if (anchor.right + Gap + w <= available.right) {
        left = anchor.right + Gap;
        top = anchor.top;
    } else if (anchor.left - Gap - w >= available.left) {
        left = anchor.left - Gap - w;
        top = anchor.top;
    }
    return fitToArea(Area{left, top, left + w, top + h}, available);
}

} // namespace kr
