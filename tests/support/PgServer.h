#pragma once
#include <QFile>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QtGlobal>

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

} // namespace kr::test
