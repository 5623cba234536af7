#include <QSignalSpy>
#include <QtTest>

#include "meter/Wait.h"
#include "platform/SerialTransport.h"
#include "tests/meter/PtyPeer.h"

using namespace kr;
using kr::test::PtyPeer;

namespace {

// One pseudo-terminal per test, reached as port 11 through the environment.
struct Rig {
    PtyPeer peer;
    QtSerialTransport port;
    QByteArray received;
    Rig()
    {
        qputenv("KR_PORT_11", peer.path.toLocal8Bit());
        QObject::connect(&port, &SerialTransport::received, [this](const QByteArray& b) { received += b; });
    }
    ~Rig() { qunsetenv("KR_PORT_11"); }
};

} // namespace

class TestSerialPty : public QObject {
    Q_OBJECT
private slots:
    void opensAPseudoTerminalDespiteRefusedModemLines()
    {
        Rig r;
        QVERIFY(r.peer.ok());
        QVERIFY2(r.port.open(11), qPrintable(r.port.errorString()));
        QVERIFY(r.port.isOpen());
        QCOMPARE(r.port.number(), 11);
        QVERIFY(r.port.errorString().isEmpty());
    }

    void dropsWhatArrivedBeforeTheOpen()
    {
        Rig r;
        r.peer.send("stale\r");
        QVERIFY(r.port.open(11));
        r.peer.send("fresh\r");
        QVERIFY(WaitUntil([&] { return r.received.size() >= 6; }, 5000));
        WaitFor(50);
        QCOMPARE(r.received, QByteArray("fresh\r"));
    }

    void deliversEveryByteInOrder()
    {
        Rig r;
        QVERIFY(r.port.open(11));
        QByteArray all;
        for (int i = 0; i < 20000; ++i)
            all.append(char(i * 7 % 256));
        for (qsizetype at = 0; at < all.size(); at += 1500) {
            r.peer.send(all.mid(at, 1500));
            WaitUntil([&] { return r.received.size() >= std::min(at + 1500, all.size()); }, 5000);
        }
        QCOMPARE(r.received.size(), all.size());
        QVERIFY(r.received == all);
    }

    void writesExactlyTheQueuedBytes()
    {
        Rig r;
        QVERIFY(r.port.open(11));
        QVERIFY(r.port.write("$3"));
        QVERIFY(r.port.write(QByteArray("\0x", 2)));
        QVERIFY(WaitUntil([&] { return r.peer.got.size() >= 4; }, 5000));
        QCOMPARE(r.peer.got, QByteArray("$3\0x", 4));
    }

    void refusesOutputBeyondTheBufferQueuingNothing()
    {
        Rig r;
        QVERIFY(r.port.open(11));
        const QByteArray block(int(SerialTransport::BufferSize) - 1, 'u');
        QVERIFY(r.port.write(block));
        QVERIFY(!r.port.write("ab"));
        QVERIFY(r.port.errorString().contains(QStringLiteral("output buffer")));
        QCOMPARE(r.port.pendingOutput(), SerialTransport::BufferSize - 1);
        QVERIFY(r.port.write("c"));
        QVERIFY(WaitUntil([&] { return r.peer.got.size() >= block.size() + 1; }, 5000));
        WaitFor(50);
        QCOMPARE(r.peer.got, block + "c");
        // Drained, the buffer takes more again.
        QVERIFY(r.port.write("ab"));
    }

    void aPulledLineClosesThePortAndIsReportedOnce()
    {
        Rig r;
        QVERIFY(r.port.open(11));
        QSignalSpy lost(&r.port, &SerialTransport::lineLost);
        r.peer.pull();
        QVERIFY(lost.wait(5000));
        QVERIFY(!r.port.isOpen());
        WaitFor(300);
        QCOMPARE(lost.size(), 1);
        QVERIFY(lost.constFirst().constFirst().toString().contains(QStringLiteral("COM11")));
        QVERIFY(!r.port.write("$3"));
    }

    // The lock is on the device, not on the name it was opened by. The
    // holder keeps its line; once it lets go, the link opens.
    void aSecondPortThroughALinkIsRefusedWhileTheFirstHoldsIt()
    {
        Rig r;
        QTemporaryDir dir;
        const QString link = dir.filePath("meter");
        QVERIFY(QFile::link(r.peer.path, link));
        qputenv("KR_PORT_12", link.toLocal8Bit());
        QVERIFY(r.port.open(11));

        QtSerialTransport second;
        QVERIFY(!second.open(12));
        QVERIFY(!second.isOpen());
        QCOMPARE(second.problem(), PortProblem::InUse);
        QVERIFY2(second.errorString().startsWith("Cannot open serial port COM12 (" + link +
                                                 "): another program is using it."),
                 qPrintable(second.errorString()));

        r.peer.send("still ours\r");
        QVERIFY(WaitUntil([&] { return r.received == "still ours\r"; }, 5000));
        r.port.close();
        QVERIFY2(second.open(12), qPrintable(second.errorString()));
        qunsetenv("KR_PORT_12");
    }

    void closedPortCanOpenAgain()
    {
        Rig r;
        QVERIFY(r.port.open(11));
        r.port.close();
        QVERIFY(!r.port.isOpen());
        QVERIFY(r.port.open(11));
        r.peer.send("again\r");
        QVERIFY(WaitUntil([&] { return r.received == "again\r"; }, 5000));
    }
};

QTEST_GUILESS_MAIN(TestSerialPty)
#include "tst_SerialPty.moc"
