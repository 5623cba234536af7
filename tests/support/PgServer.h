#pragma once
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "settings/ArchiveLocation.h"

namespace kr::test {

// The connection string of the tests' private PostgreSQL server
// ("host=DIR port=5432 user=kr dbname=postgres"), empty when it is not
// running: a test that needs it then fails, never skips.
inline QString pgConnection()
{
    QFile file(qEnvironmentVariable("KR_TEST_PG_DIR") + QStringLiteral("/connection"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

// A Qt connection to the server's database `dbname` (default "postgres").
inline QSqlDatabase pgDatabase(const QString& name, const QString& dbname = QStringLiteral("postgres"))
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    for (const QString& part : pgConnection().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString key = part.section(QLatin1Char('='), 0, 0);
        const QString value = part.section(QLatin1Char('='), 1);
        if (key == QLatin1String("host"))
            db.setHostName(value);
        else if (key == QLatin1String("port"))
            db.setPort(value.toInt());
        else if (key == QLatin1String("user"))
            db.setUserName(value);
    }
    db.setDatabaseName(dbname);
    return db;
}

// Runs statements on the server's "postgres" database (CREATE DATABASE and
// the like); false after a warning when one fails.
inline bool pgCommand(const QStringList& statements)
{
    bool ok = true;
    {
        QSqlDatabase db = pgDatabase(QStringLiteral("kr-test-admin"));
        ok = db.open() && QSqlQuery(db).exec(QStringLiteral("SET client_min_messages = warning"));
        for (const QString& statement : statements) {
            QSqlQuery q(db);
            if (ok && !q.exec(statement)) {
                qWarning("%s: %s", qPrintable(statement), qPrintable(q.lastError().text()));
                ok = false;
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("kr-test-admin"));
    return ok;
}

// The archive's location for database `name` on the tests' server.
inline ArchiveLocation pgLocation(const QString& name)
{
    ArchiveLocation location;
    location.engine = ArchiveLocation::PostgreSQL;
    for (const QString& part : pgConnection().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString key = part.section(QLatin1Char('='), 0, 0);
        const QString value = part.section(QLatin1Char('='), 1);
        if (key == QLatin1String("host"))
            location.host = value;
        else if (key == QLatin1String("port"))
            location.port = value.toInt();
        else if (key == QLatin1String("user"))
            location.user = value;
    }
    location.database = name;
    return location;
}

} // namespace kr::test
