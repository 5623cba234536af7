#pragma once
#include <QString>
#include <string>

namespace kr {

// Core texts are Windows-1252 bytes; widgets, the clipboard and file names
// speak QString.
QString fromCp1252(const std::string& bytes);
std::string toCp1252(const QString& text);
// The characters of `text` that Windows-1252 cannot hold, each once, in order.
QString refusedByCp1252(const QString& text);

// File names: core takes native (UTF-8) paths.
std::string toNativePath(const QString& path);
QString fromNativePath(const std::string& path);

} // namespace kr
