#include "settings/ArchiveLocation.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QUrl>

#include "settings/FileFolders.h"
#include "settings/IniFile.h"

namespace kr {

namespace {
constexpr const char* Section = "Archive";
constexpr const char* EngineKey = "Engine";
constexpr const char* PostgreSQLName = "PostgreSQL";

QString readText(const IniFile& ini, const char* key)
{
    const auto stored = ini.read(Section, key);
    return stored ? pathFromStored(*stored).trimmed() : QString();
}

void writeText(IniFile& ini, const char* key, const QString& value)
{
    ini.writeString(Section, key, profile::quoteIfEnclosed(storedPath(value.trimmed())));
}

// Only this process ever sees them.
QHash<QString, QString>& runPasswords()
{
    static QHash<QString, QString> passwords;
    return passwords;
}
} // namespace

QString ArchivePathIn(const QString& folder) { return folder + QLatin1Char('/') + QLatin1String(ArchiveFileName); }

ArchiveLocation ReadArchiveLocation(const IniFile& ini)
{
    if (readText(ini, EngineKey).compare(QLatin1String(PostgreSQLName), Qt::CaseInsensitive) != 0)
        return ArchiveLocation::File(ArchivePathIn(QFileInfo(ini.path()).absolutePath()));
    return ReadArchiveServer(ini);
}

ArchiveLocation ReadArchiveServer(const IniFile& ini)
{
    ArchiveLocation location;
    location.engine = ArchiveLocation::PostgreSQL;
    location.host = readText(ini, "Host");
    location.port = ini.readInteger(Section, "Port", 5432);
    if (location.port < 1 || location.port > 65535)
        location.port = 5432;
    location.database = readText(ini, "Database");
    location.user = readText(ini, "User");
    location.sslMode = readText(ini, "SSLMode");
    return location;
}

void WriteArchiveLocation(IniFile& ini, const ArchiveLocation& location)
{
    const bool server = location.engine == ArchiveLocation::PostgreSQL;
    ini.writeString(Section, EngineKey, server ? PostgreSQLName : "SQLite");
    // The server's keys stay when the file is chosen, so going back to the
    // server needs nothing typed again.
    if (!server)
        return;
    writeText(ini, "Host", location.host);
    ini.writeInteger(Section, "Port", location.port);
    writeText(ini, "Database", location.database);
    writeText(ini, "User", location.user);
    writeText(ini, "SSLMode", location.sslMode);
}

void KeepPasswordForRun(const ArchiveLocation& location, const QString& password)
{
    runPasswords().insert(location.Url(), password);
}

QString PasswordForRun(const ArchiveLocation& location)
{
    return location.password.isEmpty() ? runPasswords().value(location.Url()) : location.password;
}

ArchiveLocation ArchiveLocation::File(const QString& path)
{
    ArchiveLocation location;
    location.path = path;
    return location;
}

std::optional<ArchiveLocation> ArchiveLocation::FromUrl(const QString& text, QString* why)
{
    auto refuse = [&](const QString& reason) -> std::optional<ArchiveLocation> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    auto decoded = [](const QString& part) { return QUrl::fromPercentEncoding(part.toUtf8()); };
    // Read by hand, not by QUrl: a socket folder as host ("%2Frun%2Fpostgresql")
    // is no host QUrl takes, and libpq's own addresses allow it.
    QString rest;
    for (const char* scheme : {"postgresql://", "postgres://"})
        if (text.startsWith(QLatin1String(scheme)))
            rest = text.mid(qsizetype(qstrlen(scheme)));
    if (rest.isEmpty())
        return refuse(QStringLiteral("'%1' is not a PostgreSQL address such as postgresql://user@host:5432/database")
                          .arg(text));
    qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (slash < 0)
        slash = rest.size();
    ArchiveLocation location;
    location.engine = PostgreSQL;
    QString authority = rest.left(slash);
    const QString pathAndQuery = rest.mid(slash + 1);
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        if (userInfo.contains(QLatin1Char(':')))
            return refuse(QStringLiteral("a password does not go in the address: give it in ~/.pgpass or PGPASSWORD"));
        location.user = decoded(userInfo);
        authority = authority.mid(at + 1);
    }
    const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        bool ok = false;
        location.port = authority.mid(colon + 1).toInt(&ok);
        if (!ok || location.port < 1 || location.port > 65535)
            return refuse(QStringLiteral("the port in '%1' is not a port number").arg(text));
        authority.truncate(colon);
    }
    location.host = decoded(authority);
    const QString database = pathAndQuery.section(QLatin1Char('?'), 0, 0);
    location.database = decoded(database);
    if (location.database.isEmpty() || database.contains(QLatin1Char('/')))
        return refuse(QStringLiteral("'%1' names no database: postgresql://user@host:5432/database").arg(text));
    const QString query = pathAndQuery.section(QLatin1Char('?'), 1);
    for (const QString& item : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const QString key = decoded(item.section(QLatin1Char('='), 0, 0));
        if (key != QLatin1String("sslmode"))
            return refuse(QStringLiteral("'%1' is not an option of the archive's address (sslmode is)").arg(key));
        location.sslMode = decoded(item.section(QLatin1Char('='), 1));
    }
    return location;
}

QString ArchiveLocation::Url() const
{
    if (engine == SQLite)
        return path;
    QString text = QStringLiteral("postgresql://");
    if (!user.isEmpty())
        text += QString::fromUtf8(QUrl::toPercentEncoding(user)) + QLatin1Char('@');
    text += host.startsWith(QLatin1Char('/')) ? QString::fromUtf8(QUrl::toPercentEncoding(host)) : host;
    if (port != 5432)
        text += QLatin1Char(':') + QString::number(port);
    text += QLatin1Char('/') + QString::fromUtf8(QUrl::toPercentEncoding(database));
    if (!sslMode.isEmpty())
        text += QStringLiteral("?sslmode=") + sslMode;
    return text;
}

QString ArchiveLocation::Shown() const
{
    if (engine == SQLite)
        return QDir::toNativeSeparators(path);
    return (user.isEmpty() ? QString() : user + QLatin1Char('@')) + (host.isEmpty() ? QStringLiteral("localhost") : host)
        + QLatin1Char(':') + QString::number(port) + QLatin1Char('/') + database;
}

} // namespace kr
