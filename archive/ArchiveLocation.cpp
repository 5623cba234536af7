#include "archive/ArchiveLocation.h"

#include <QDir>
#include <QUrl>

namespace kr {

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
