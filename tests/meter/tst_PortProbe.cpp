#include <QSignalSpy>
#include <QtTest>
#include <memory>

#include "meter/PortProbe.h"
#include "platform/SerialTransport.h"
#include "tests/meter/PtyPeer.h"
#include "tests/support/SimMeter.h"

using namespace kr;
using kr::test::PtyPeer;
using kr::test::SimMeter;
using Outcome = TPortAnswer::Outcome;

namespace {

constexpr int Quiet = 150;
// Ports the test points at its own devices.
constexpr int SilentPort = 41, MeterA = 42, MeterB = 43;

void mapPort(int number, const QString& device)
{
    qputenv(QStringLiteral("KR_PORT_%1").arg(number).toLatin1().constData(), device.toLocal8Bit());
}

} // namespace

class TestPortProbe : public QObject {
    Q_OBJECT
    SimMeter simA;
    std::unique_ptr<SimMeter> simB;
    PtyPeer silent;

    std::unique_ptr<TPortProbe> probe()
    {
        auto p = std::make_unique<TPortProbe>();
        p->setQuietInterval(Quiet);
        return p;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(simA.start(), qPrintable(simA.errorString()));
        QByteArray state = simA.readState();
        QVERIFY(state.contains("serial KR-417263"));
        state.replace("serial KR-417263", "serial KR-000002");
        simB = std::make_unique<SimMeter>(SimMeter::Options().state(state));
        QVERIFY2(simB->start(), qPrintable(simB->errorString()));
        QVERIFY(silent.ok());
        mapPort(SilentPort, silent.path);
        mapPort(MeterA, simA.devicePath());
        mapPort(MeterB, simB->devicePath());
    }

    // The simulator keeps its own end of the pseudo-terminal open, as any
    // device's driver does: that is no reason to pass a port over. A port
    // our own link holds is, and it hears nothing from the probe.
    void everyPortSaysWhatItIs()
    {
        QtSerialTransport link;
        QVERIFY2(link.open(MeterB), qPrintable(link.errorString()));
        const qsizetype heardByB = simB->commands().size();

        const auto p = probe();
        p->startEvery({SilentPort, MeterA, MeterB});
        p->WaitForEnd();

        const QList<TPortAnswer>& got = p->Answers();
        QCOMPARE(got.size(), 3);
        QCOMPARE(got[0].outcome, Outcome::NoAnswer);
        QCOMPARE(got[1].outcome, Outcome::Meter);
        QCOMPARE(got[1].serialNumber, std::string("KR-417263"));
        QCOMPARE(got[2].outcome, Outcome::InUse);
        QVERIFY2(got[2].reason.contains("another program"), qPrintable(got[2].reason));
        QCOMPARE(silent.got, QByteArray("$5"));
        QCOMPARE(simB->commands().size(), heardByB);
    }

    void firstKrEndsTheSearch()
    {
        const qsizetype heardByB = simB->commands().size();
        const auto p = probe();
        QSignalSpy asked(p.get(), &PortSearch::asking);
        QSignalSpy finished(p.get(), &PortSearch::finished);
        p->start({SilentPort, MeterA, MeterB});
        p->WaitForEnd();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toInt(), MeterA);
        QCOMPARE(asked.size(), 2);
        QCOMPARE(simB->commands().size(), heardByB);
    }

    void cancelStopsAskingAtOnce()
    {
        const qsizetype heardByA = simA.commands().size();
        const auto p = probe();
        QSignalSpy finished(p.get(), &PortSearch::finished);
        p->start({SilentPort, MeterA});
        QTimer::singleShot(Quiet / 2, p.get(), &TPortProbe::cancel);
        p->WaitForEnd();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toInt(), 0);
        QVERIFY(p->Answers().isEmpty());
        QCOMPARE(simA.commands().size(), heardByA);
    }
};

QTEST_GUILESS_MAIN(TestPortProbe)
#include "tst_PortProbe.moc"
