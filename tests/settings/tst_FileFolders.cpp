#include <QTemporaryDir>
#include <QtTest>

#include "settings/Appglob.h"
#include "settings/FileFolders.h"

using namespace kr;

// Where the open and save dialogs start.
class TestFileFolders : public QObject {
    Q_OBJECT
    QTemporaryDir home, user, docs;

private slots:
    void initTestCase()
    {
        qputenv("KR_HOME", home.path().toUtf8());
        InitAppglob();
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral("sub")));
    }

    void startFolderRule_data()
    {
        QTest::addColumn<QString>("remembered");
        QTest::addColumn<QString>("documents");
        QTest::addColumn<QString>("expected");
        QTest::newRow("remembered") << "user" << "docs" << "user";
        QTest::newRow("first time") << "" << "docs" << "docs";
        QTest::newRow("remembered folder gone") << "user/gone" << "docs" << "docs";
        QTest::newRow("program folder") << "home" << "docs" << "docs";
        QTest::newRow("inside the program folder") << "home/sub" << "docs" << "docs";
        QTest::newRow("no documents folder") << "" << "user/gone" << "/fallback";
        QTest::newRow("documents in the program folder") << "" << "home" << "/fallback";
    }
    void startFolderRule()
    {
        QFETCH(QString, remembered);
        QFETCH(QString, documents);
        QFETCH(QString, expected);
        const auto real = [this](QString name) {
            return name.replace("home", home.path()).replace("user", user.path()).replace("docs", docs.path());
        };
        QCOMPARE(startFolderFrom(real(remembered), real(documents), "/fallback", home.path() + "/"), real(expected));
    }
};

QTEST_GUILESS_MAIN(TestFileFolders)
#include "tst_FileFolders.moc"
