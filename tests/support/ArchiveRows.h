#pragma once
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace kr::test {

// The sources an archive file holds, oldest first, each as
// "kind|meter|port|completeness|file name|size"; none when there is no archive.
// Link Qt6::Sql (kr_archive brings it).
inline QStringList archiveSources(const QString& path)
{
    const QString connection = QStringLiteral("archive-rows");
    QStringList rows;
    if (QFileInfo::exists(path)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery q(QStringLiteral("SELECT kind, meter, port, completeness, path, size FROM sources ORDER BY id"), db);
            while (q.next())
                rows << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                    q.value(3).toString(), QFileInfo(q.value(4).toString()).fileName(),
                                    q.value(5).toString()}
                            .join(QLatin1Char('|'));
        }
        db = QSqlDatabase();
    }
    QSqlDatabase::removeDatabase(connection);
    return rows;
}

} // namespace kr::test
