// The tests' PostgreSQL server answers through Qt's driver, as the archive
// will reach it.
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include "tests/support/PgServer.h"

class TestPgServer : public QObject {
    Q_OBJECT
private slots:
    void answersThroughQtsDriver()
    {
        QSqlDatabase db = kr::test::pgDatabase(QStringLiteral("smoke"));
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        QVERIFY2(q.exec(QStringLiteral("SHOW server_version_num")) && q.next(), qPrintable(q.lastError().text()));
        QVERIFY(q.value(0).toInt() >= 150000);
    }
};

QTEST_GUILESS_MAIN(TestPgServer)
#include "tst_PgServer.moc"
