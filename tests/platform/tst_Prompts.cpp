#include <QtTest>

#include "platform/Prompts.h"

using namespace kr;

// The prompts a program gets when it installed none (a tool, a benchmark):
// nobody can answer, so nothing may wait for an answer.
class TestPrompts : public QObject {
    Q_OBJECT
private slots:
    void init() { setPrompts(nullptr); }
    void uninstalledMessageIsLoggedAndAnsweredAsClosed_data();
    void uninstalledMessageIsLoggedAndAnsweredAsClosed();
    void uninstalledDialogsAreCancelled();
};

void TestPrompts::uninstalledMessageIsLoggedAndAnsweredAsClosed_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("answer");
    QTest::newRow("OK") << int(mbOK) << int(mbOK);
    QTest::newRow("OK, Cancel") << int(mbOK | mbCancel) << int(mbCancel);
    QTest::newRow("Yes, No") << int(mbYes | mbNo) << int(mbNo);
    QTest::newRow("Yes, No, Cancel") << int(mbYes | mbNo | mbCancel) << int(mbCancel);
}

void TestPrompts::uninstalledMessageIsLoggedAndAnsweredAsClosed()
{
    QFETCH(int, buttons);
    QFETCH(int, answer);
    QTest::ignoreMessage(QtWarningMsg, "Warning: Erase the meter?");
    QCOMPARE(int(showMessage(MsgKind::Warning, QStringLiteral("Erase the meter?"), buttons)), answer);
}

void TestPrompts::uninstalledDialogsAreCancelled()
{
    QVERIFY(!prompts().openFile({}));
    QVERIFY(!prompts().saveFile({}));
    QVERIFY(!prompts().selectPort({PortChoice{1, QStringLiteral("/dev/ttyS0")}}));
}

QTEST_GUILESS_MAIN(TestPrompts)
#include "tst_Prompts.moc"
