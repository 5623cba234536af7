#pragma once
#include <QIcon>

namespace kr {

// The toolbar's pictures, drawn in code so they stay crisp at any scale.
enum class Glyph { Open, Save, Clipboard, Download, Upload, Library, Erase, Print, Help, Previous, Next, Exit };

QIcon glyphIcon(Glyph glyph);

} // namespace kr
