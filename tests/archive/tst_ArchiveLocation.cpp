// The team archive's address: what kr-cli --archive-db and the setup take.
#include <QTemporaryDir>
#include <QTest>

#include "settings/ArchiveLocation.h"
#include "settings/IniFile.h"
#include "tests/support/TestFiles.h"

using namespace kr;

class TestArchiveLocation : public QObject {
    Q_OBJECT
private slots:
    void readsAnAddress_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("sslMode");
        QTest::addColumn<QString>("written");  // Url() again
        QTest::newRow("all") << "postgresql://ann@db.example.org:5433/readings?sslmode=require" << "db.example.org"
                             << 5433 << "ann" << "readings" << "require"
                             << "postgresql://ann@db.example.org:5433/readings?sslmode=require";
        QTest::newRow("short scheme, default port") << "postgres://bob@server/kr" << "server" << 5432 << "bob" << "kr"
                                                    << "" << "postgresql://bob@server/kr";
        QTest::newRow("no user") << "postgresql://server/kr" << "server" << 5432 << "" << "kr" << ""
                                 << "postgresql://server/kr";
        QTest::newRow("socket folder") << "postgresql://kr@%2Frun%2Fpostgresql/team" << "/run/postgresql" << 5432
                                       << "kr" << "team" << "" << "postgresql://kr@%2Frun%2Fpostgresql/team";
        QTest::newRow("name with a space") << "postgresql://ann@h/our%20readings" << "h" << 5432 << "ann"
                                           << "our readings" << "" << "postgresql://ann@h/our%20readings";
    }
    void readsAnAddress()
    {
        QFETCH(QString, url);
        QString why;
        const std::optional<ArchiveLocation> l = ArchiveLocation::FromUrl(url, &why);
        QVERIFY2(l, qPrintable(why));
        QCOMPARE(l->engine, ArchiveLocation::PostgreSQL);
        QTEST(l->host, "host");
        QTEST(l->port, "port");
        QTEST(l->user, "user");
        QTEST(l->database, "database");
        QTEST(l->sslMode, "sslMode");
        QTEST(l->Url(), "written");
        QCOMPARE(ArchiveLocation::FromUrl(l->Url()), l);
    }

    void refusesWhatIsNoAddress_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("why");
        QTest::newRow("a file") << "archive.sqlite" << "is not a PostgreSQL address";
        QTest::newRow("other scheme") << "mysql://a@b/c" << "is not a PostgreSQL address";
        QTest::newRow("password") << "postgresql://ann:secret@h/kr" << "a password does not go in the address";
        QTest::newRow("no database") << "postgresql://ann@h" << "names no database";
        QTest::newRow("bad port") << "postgresql://ann@h:99999/kr" << "is not a port number";
        QTest::newRow("unknown option") << "postgresql://ann@h/kr?user=x" << "'user' is not an option";
    }
    void refusesWhatIsNoAddress()
    {
        QFETCH(QString, url);
        QFETCH(QString, why);
        QString said;
        QVERIFY(!ArchiveLocation::FromUrl(url, &said));
        QVERIFY2(said.contains(why), qPrintable(said));
    }

    // kr.ini keeps where the archive is, never a password; what it cannot
    // read gives the file beside it.
    void keptInTheProfile_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("url");  // read back; "FILE" for the file beside kr.ini
        QTest::newRow("nothing") << QByteArray() << "FILE";
        QTest::newRow("file") << QByteArray("[Archive]\r\nEngine=SQLite\r\nHost=h\r\n") << "FILE";
        QTest::newRow("unknown engine") << QByteArray("[Archive]\r\nEngine=Oracle\r\n") << "FILE";
        QTest::newRow("server") << QByteArray("[Archive]\r\nEngine=postgresql\r\nHost=db\r\nPort=5433\r\n"
                                              "Database=team\r\nUser=ann\r\nSSLMode=require\r\n")
                                << "postgresql://ann@db:5433/team?sslmode=require";
        QTest::newRow("odd port") << QByteArray("[Archive]\r\nEngine=PostgreSQL\r\nPort=99999\r\nDatabase=t\r\n")
                                  << "postgresql:///t";
    }
    void keptInTheProfile()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, url);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("kr.ini"));
        QVERIFY(test::writeFile(path, ini));
        IniFile file(path);
        const ArchiveLocation read = ReadArchiveLocation(file);
        QCOMPARE(read.Url(), url == QLatin1String("FILE") ? dir.filePath(QStringLiteral("archive.sqlite")) : url);

        ArchiveLocation typed = read;
        typed.password = QStringLiteral("secret");
        KeepPasswordForRun(read, QStringLiteral("kept"));
        WriteArchiveLocation(file, typed);
        QCOMPARE(ReadArchiveLocation(file), read);
        QVERIFY(!test::readFile(path).contains("secret"));
        QVERIFY(!test::readFile(path).contains("kept"));
        QCOMPARE(PasswordForRun(read), QStringLiteral("kept"));
        QCOMPARE(PasswordForRun(typed), QStringLiteral("secret"));
    }
};

QTEST_APPLESS_MAIN(TestArchiveLocation)
#include "tst_ArchiveLocation.moc"
