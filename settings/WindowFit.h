#pragma once
#include <vector>

namespace kr {

// A rectangle in screen pixels; right and bottom lie just outside, as in a
// Windows RECT.
struct Area {
    int left = 0, top = 0, right = 0, bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const Area&) const = default;
};

// The rectangle moved and shrunk to lie wholly inside `available`: a side
// longer than the area's is cut to it, then the rectangle moves the least
// distance that brings it in. One that fits already is returned as it is.
Area fitToArea(const Area& rect, const Area& available);

// The work area a window at `rect` lands on: the one it overlaps most, or the
// first (the primary screen's) when it overlaps none.
Area landingArea(const Area& rect, const std::vector<Area>& areas);

// The rectangle fitted to the work area it lands on; unchanged without areas.
Area fitOnScreens(const Area& rect, const std::vector<Area>& areas);

// Where a window of the given size opens beside `anchor` without covering it:
// to its right when there is room, else to its left, else offset down and
// right from its top-left corner; always fitted to `available`. Tops align.
Area besideArea(const Area& anchor, int width, int height, const Area& available);

} // namespace kr
