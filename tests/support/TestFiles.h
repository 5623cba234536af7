#pragma once
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <string>
#include <string_view>

namespace kr::test {

// Points the program's folder (kr.ini, dialogs) at a fresh temporary folder.
// Must run before anything asks for the program's paths.
inline QTemporaryDir& programHome()
{
    static QTemporaryDir dir;
    static const bool set = [] {
        qputenv("KR_HOME", QDir(dir.path()).absolutePath().toUtf8());
        return true;
    }();
    (void)set;
    return dir;
}

// Peak memory says nothing under the address sanitizer (its shadow memory
// and quarantine dwarf what the code takes): bounds are checked without it.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool PeakMemoryMeaningful = false;
#else
inline constexpr bool PeakMemoryMeaningful = true;
#endif

// A file's bytes; "<missing>" when it cannot be read, so a comparison shows why.
inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline std::string readFileString(const QString& path) { return readFile(path).toStdString(); }

// Replaces the file with exactly these bytes; false when that failed.
inline bool writeFile(const QString& path, std::string_view bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && f.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

inline bool writeFile(const QString& path, const char* bytes) { return writeFile(path, std::string_view(bytes)); }

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    return writeFile(path, std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

// A byte text of the core, for comparisons that print readably.
inline QByteArray bytes(std::string_view s) { return QByteArray(s.data(), qsizetype(s.size())); }

} // namespace kr::test
