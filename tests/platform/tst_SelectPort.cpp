#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include "meter/PortProbe.h"
#include "meter/Wait.h"
#include "platform/ui/SelectPortDialog.h"
#include "tests/meter/PtyPeer.h"
#include "tests/support/SimMeter.h"

using namespace kr;

class TestSelectPort : public QObject {
    Q_OBJECT
private slots:
    // The list follows adapters plugged in while the dialog is open, keeps
    // the user's choice, and "Find meter" chooses the port a KR answers on.
    void listFollowsThePortsAndFindChoosesTheKr()
    {
        kr::test::SimMeter sim;
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        kr::test::PtyPeer silent;
        QVERIFY(silent.ok());
        qputenv("KR_PORT_46", silent.path.toLocal8Bit());
        qputenv("KR_PORT_47", sim.devicePath().toLocal8Bit());
        setPortSearchFactory([] {
            auto probe = std::make_unique<TPortProbe>();
            probe->setQuietInterval(150);
            return probe;
        });

        QList<PortChoice> ports{{46, silent.path}};
        SelectPortDialog dialog(ports);
        dialog.listPorts = [&ports] { return ports; };
        QCOMPARE(dialog.lbPorts->topLevelItemCount(), 1);

        ports.append(PortChoice{47, sim.devicePath(), "FT232R USB UART", "FTDI", "A10K5S3B", 0x0403, 0x6001});
        dialog.Refresh();
        QCOMPARE(dialog.lbPorts->topLevelItemCount(), 2);
        QCOMPARE(dialog.Chosen(), 46);
        QCOMPARE(dialog.lbPorts->topLevelItem(1)->text(2), QStringLiteral("FT232R USB UART, FTDI, serial A10K5S3B, USB 0403:6001"));

        QVERIFY(!dialog.btnFindMeter->isHidden());
        QTest::mouseClick(dialog.btnFindMeter, Qt::LeftButton);
        QVERIFY(WaitUntil([&] { return dialog.lblFindStatus->text().startsWith("Found"); }, 5000));
        QCOMPARE(dialog.Chosen(), 47);
        QCOMPARE(silent.got, QByteArray("$5"));
        setPortSearchFactory({});
    }
};

QTEST_MAIN(TestSelectPort)
#include "tst_SelectPort.moc"
