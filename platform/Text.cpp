#include "platform/Text.h"

#include "core/Cp1252.h"

namespace kr {

QString fromCp1252(const std::string& bytes) { return QString::fromStdString(cp1252ToUtf8(bytes)); }

std::string toCp1252(const QString& text) { return utf8ToCp1252(text.toStdString()); }

std::string toNativePath(const QString& path) { return path.toStdString(); }

QString fromNativePath(const std::string& path) { return QString::fromStdString(path); }

} // namespace kr
