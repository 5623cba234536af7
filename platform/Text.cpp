#include "platform/Text.h"

#include <QList>

#include "core/Cp1252.h"

namespace kr {

QString fromCp1252(const std::string& bytes) { return QString::fromStdString(cp1252ToUtf8(bytes)); }

std::string toCp1252(const QString& text) { return utf8ToCp1252(text.toStdString()); }

QString refusedByCp1252(const QString& text)
{
    QString refused;
    for (const char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        if (c != U'?' && toCp1252(one) == "?" && !refused.contains(one))
            refused += one;
    }
    return refused;
}

std::string toNativePath(const QString& path) { return path.toStdString(); }

QString fromNativePath(const std::string& path) { return QString::fromStdString(path); }

} // namespace kr
