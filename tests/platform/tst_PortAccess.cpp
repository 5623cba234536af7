#include <QtTest>

#include "platform/PortAccess.h"

using namespace kr;

Q_DECLARE_METATYPE(kr::PortProblem)

class TestPortAccess : public QObject {
    Q_OBJECT
private slots:
    // Each failure says what to do about it; the fix for a refused device
    // names the group that owns it.
    void failureTextsSayWhatToDo_data()
    {
        QTest::addColumn<PortProblem>("problem");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QStringList>("says");
        QTest::addColumn<QString>("neverSays");
        QTest::newRow("permission, dialout")
            << PortProblem::NoPermission << "dialout"
            << QStringList{"Cannot open serial port COM5 (/dev/ttyUSB0): permission denied",
                           "\"dialout\"", "sudo usermod -aG dialout $USER", "log out and in again"}
            << "administrator";
        QTest::newRow("permission, uucp") << PortProblem::NoPermission << "uucp"
                                          << QStringList{"sudo usermod -aG uucp $USER"} << "dialout";
        QTest::newRow("permission, root's device")
            << PortProblem::NoPermission << "root" << QStringList{"permission denied", "administrator"} << "usermod";
        QTest::newRow("missing") << PortProblem::Missing << ""
                                 << QStringList{"/dev/ttyUSB0 is not there", "The serial adapter was unplugged"}
                                 << "permission";
        QTest::newRow("unplugged while open")
            << PortProblem::Unplugged << ""
            << QStringList{"The serial adapter was unplugged: serial port COM5 (/dev/ttyUSB0) has gone away"}
            << "Cannot open";
        QTest::newRow("in use") << PortProblem::InUse << "" << QStringList{"another program is using it"}
                                << "usermod";
        QTest::newRow("other") << PortProblem::Other << "" << QStringList{"Cannot open serial port COM5 (/dev/ttyUSB0): Boom"}
                               << "usermod";
    }
    void failureTextsSayWhatToDo()
    {
        QFETCH(PortProblem, problem);
        QFETCH(QString, group);
        QFETCH(QStringList, says);
        QFETCH(QString, neverSays);
        const QString text = portFailureText(
            {problem, QStringLiteral("COM5 (/dev/ttyUSB0)"), QStringLiteral("/dev/ttyUSB0"), group, QStringLiteral("Boom")});
        for (const QString& part : says)
            QVERIFY2(text.contains(part), qPrintable(text));
        QVERIFY2(!text.contains(neverSays), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestPortAccess)
#include "tst_PortAccess.moc"
