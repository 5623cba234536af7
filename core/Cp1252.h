#pragma once
#include <string>
#include <string_view>

namespace kr {

// Texts in core are Windows-1252 bytes, as in the files and on the meter line.
// These convert to and from UTF-8 (for file names, the clipboard and widgets).
std::string cp1252ToUtf8(std::string_view cp1252);
// Characters with no Windows-1252 form become '?'.
std::string utf8ToCp1252(std::string_view utf8);

} // namespace kr
