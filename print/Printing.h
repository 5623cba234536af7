#pragma once
#include <QString>
#include <cstdint>
#include <optional>

#include "core/Mtlutils.h"
#include "print/Surface.h"

namespace kr {

// What every printout takes from the settings: the report font, the margins
// in whole millimetres, and the time its footers show.
struct TPageSetup {
    TPrintFont font;
    int topMargin = 10;
    int rightMargin = 10;
    int bottomMargin = 10;
    int leftMargin = 10;
    TDateTime now = Now();
};

// The page geometry in device pixels that a printout's frame needs.
struct TPageGeometry {
    int left = 0;        // px(left margin)
    int top = 0;         // px(top margin)
    int bottom = 0;      // px(bottom margin)
    int width = 0;       // between the side margins, converted as one value
    int pageWidth = 0;
    int pageHeight = 0;
};
TPageGeometry PageGeometry(const TPrintSurface& surface, const TPageSetup& setup);

// What a report must find room for between the margins, in its own font:
// the width from the left margin to the end of its last column, and the
// height of the lines that must fit between the header and the bottom margin.
struct TReportRoom {
    QString what;          // "the readings", said in the refusal
    int columnsWidth = 0;
    int linesHeight = 0;
};

// Why the margins leave the report no room on the page, or nothing when a
// line of it fits: a negative margin, side margins whose room between them
// (as the header's Width) is narrower than the columns, or a top and bottom
// margin that leave less than linesHeight below the header. Worked in 64
// bits, so no stored margin overflows into a pass.
std::optional<QString> MarginRefusal(const TPrintSurface& surface, const TPageSetup& setup, const TReportRoom& room);

// The height PrintPageHeader() takes with the logo it draws.
int PageHeaderHeight();

// The frame every printed page carries: the logo and a centred title at the
// top margin, a footer line with a text and the print date, time and page
// number at the bottom margin.

// A margin in whole millimetres as device pixels at `dpi` (10 mm at 600 dpi
// is 236), brought to the nearest limit of int where it does not fit.
int MarginToDevice(int millimetres, int dpi);
// The same for any margin or sum of two margins, without a limit to meet.
std::int64_t MarginToDevice64(std::int64_t millimetres, int dpi);

// Draws the logo at (left, top) and the title centred on left + width / 2;
// returns the height the header takes (the logo's height, at least 150).
// The surface's font and alignment are left as they were found.
int PrintPageHeader(TPrintSurface& surface, int width, int left, int top, const QString& title);

// Draws `text` at (left, y) and "<date> <time>     Page:<n>" ending at
// right minus the width of "XXX", in Arial 8; the font and alignment are left
// as they were found.
void PrintPageFooter(TPrintSurface& surface, int right, int left, int y, const QString& text, int pageNumber,
                     TDateTime now = Now());

// The logo every page header shows (323 x 73); a null image when it cannot be loaded.
QImage Logo();

} // namespace kr
