#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace kr {

// The four print margins as the setup dialog edits them: whole millimetres,
// whatever unit its boxes show.
struct TMargins {
    int Top = 10;
    int Right = 10;
    int Bottom = 10;
    int Left = 10;

    bool operator==(const TMargins&) const = default;
};

// The margins the setup dialog offers: 0 to 50 mm (2.00 inches, brought
// back to 50 mm), room for a letterhead or a binding edge. Margins that then
// leave the printout's columns no room are refused when printing.
inline constexpr int MaxMargin = 50;

// What a margin box shows for a margin of whole millimetres (ShowMargins):
// Round(margin / factor * 10) tenths, factor 1 in millimetres and 25.4 in
// inches, Round being to the nearest with halves to the even neighbour. In
// millimetres the whole number ("10"); in inches the tenths written with two
// decimals ("0.40" for 10 mm, "0.50" for 12 mm).
std::string ShowMargin(int millimetres, bool metric, char decimalSeparator);
// The same as a number, for a spin box: 10, or 0.4 in inches.
double ShowMarginValue(int millimetres, bool metric);

// Whole millimetres from a margin box's text (ReadMargins): Round(value *
// factor), halves to even, as exact decimal arithmetic for texts of up to two
// decimals. A text that does not read as a number of the box's kind counts as
// 0: in millimetres only whole numbers read; in inches decimals with the given
// separator. Results beyond the range of int are brought to its nearest limit.
int ReadMargin(std::string_view text, bool metric, char decimalSeparator);
// The same, with nothing for a text that does not read.
std::optional<int> TryReadMargin(std::string_view text, bool metric, char decimalSeparator);

} // namespace kr
