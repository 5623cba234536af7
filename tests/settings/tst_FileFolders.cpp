#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "settings/Appglob.h"
#include "settings/FileFolders.h"
#include "settings/IniFile.h"
#include "tests/support/ScriptedPrompts.h"

using namespace kr;
using kr::test::ScriptedPrompts;

// Where the open and save dialogs start, and what a chosen file leaves behind.
class TestFileFolders : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QVERIFY(home.isValid() && user.isValid());
        qputenv("KR_HOME", home.path().toUtf8());
        InitAppglob();
        QFile::remove(IniFilePath());
    }
    void cleanupTestCase()
    {
        qunsetenv("KR_HOME");
        InitAppglob();
    }

    void startFolderRule_data()
    {
        QTest::addColumn<QString>("remembered");
        QTest::addColumn<QString>("documents");
        QTest::addColumn<QString>("expected");
        QTest::newRow("remembered") << "user" << "docs" << "user";
        QTest::newRow("first time") << "" << "docs" << "docs";
        QTest::newRow("remembered folder gone") << "user/gone" << "docs" << "docs";
        QTest::newRow("remembered program folder") << "home" << "docs" << "docs";
        QTest::newRow("inside the program folder") << "home/sub" << "docs" << "docs";
        QTest::newRow("no documents folder") << "" << "user/gone" << "fallback";
        QTest::newRow("documents in the program folder") << "" << "home" << "fallback";
    }

    void startFolderRule()
    {
        QFETCH(QString, remembered);
        QFETCH(QString, documents);
        QFETCH(QString, expected);
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral("sub")));
        QTemporaryDir docs;
        const auto real = [&](QString name) {
            name.replace(QStringLiteral("home"), home.path()).replace(QStringLiteral("user"), user.path());
            return name.replace(QStringLiteral("docs"), docs.path());
        };
        QCOMPARE(startFolderFrom(real(remembered), real(documents), QStringLiteral("/fallback"),
                                 QDir::toNativeSeparators(home.path() + "/")),
                 expected == "fallback" ? QStringLiteral("/fallback") : real(expected));
    }

    // A file chosen in a save or open dialog points the next dialog of
    // either kind at its folder, in this run and the next; one in the
    // program's folder changes nothing.
    void chosenFolderIsKeptForTheNextDialog()
    {
        ScriptedPrompts prompts;
        const QString first = startFolder();
        QVERIFY(!isWithinFolder(first, ProgramFolder()));
        prompts.answerSave(user.filePath(QStringLiteral("a.krx")));
        QVERIFY(askSaveFile({}));
        QCOMPARE(prompts.asked().last().file.directory, first);
        prompts.answerOpen(home.filePath(QStringLiteral("data1.bak")));
        QVERIFY(askOpenFile({}));
        prompts.answerOpen(std::nullopt);
        QVERIFY(!askOpenFile({}));
        QCOMPARE(QDir(prompts.asked().last().file.directory), QDir(user.path()));
        QVERIFY(IniFile(IniFilePath()).read("Folders", "Last").has_value());
    }

private:
    QTemporaryDir home;
    QTemporaryDir user;
};

QTEST_GUILESS_MAIN(TestFileFolders)
#include "tst_FileFolders.moc"
