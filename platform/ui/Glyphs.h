#pragma once
#include <QFont>
#include <QIcon>

class QToolButton;
class QWidget;

namespace kr {

// The toolbar's pictures, drawn in code so they stay crisp at any scale.
enum class Glyph { Open, Save, Clipboard, Download, Upload, Library, Erase, Print, Help, Previous, Next, Exit, Chart };

// Lines that are not part of a coloured shape (the arrows, the chart's axes)
// take the palette's text colour at each paint, so they read on a dark
// palette too; a valid `ink` fixes it instead, for pages that are always white.
QIcon glyphIcon(Glyph glyph, const QColor& ink = QColor());
// The ink of glyphs on white pages.
QColor paperInk();

// The program's window font: Arial at 11 pixels.
QFont windowFont();
// A hint "short|long" gives the tooltip before the bar and the status tip after it.
void setHint(QWidget* widget, const QString& hint);
// A flat toolbar button showing a glyph, named for tests, never taking the focus.
// Centres a dialog over its parent window, or on its screen without one:
// dialogs open where the user is looking, not at a fixed place.
void centreOverParent(QWidget* dialog);

QToolButton* glyphButton(QWidget* parent, const char* name, Glyph glyph, const QString& hint, int buttonSize = 37,
                         int iconSize = 26);

} // namespace kr
