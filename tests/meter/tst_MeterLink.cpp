#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/resource.h>

#include "core/Errors.h"
#include "meter/MeterLink.h"
#include "meter/Wait.h"
#include "platform/PortMap.h"
#include "tests/meter/FakeTransport.h"
#include "tests/support/ScriptedPrompts.h"

using namespace kr;
using kr::test::FakeTransport;

namespace {

// A progress display that counts what it is asked to do.
struct CountingProgress final : ProgressSink {
    int setUps = 0, steps = 0, closes = 0;
    void SetUpProgress(int, int, const std::string&) override { ++setUps; }
    void StepProgress() override { ++steps; }
    void ShowModal() override {}
    void ShowModeless() override {}
    void Close() override { ++closes; }
};

struct Rig {
    FakeTransport* port;
    TMeterLink link;
    CountingProgress progress;
    Rig() : Rig(new FakeTransport) {}
    explicit Rig(FakeTransport* p) : port(p), link(std::unique_ptr<SerialTransport>(p))
    {
        link.PortNumber = 2;
        link.setProgress(&progress);
    }
};

double cpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

} // namespace

class TestMeterLink : public QObject {
    Q_OBJECT
private slots:
    void startsQuietWithPreciseHalfSecondTimers()
    {
        Rig r;
        QCOMPARE(r.link.CommState, csIdle);
        QCOMPARE(r.link.SerialState, ssWaiting);
        QVERIFY(!r.link.GotData && !r.link.BackingUp && !r.link.NoData);
        QVERIFY(!r.link.PckLibrary.Enabled());
        for (QTimer* t : {&r.link.TimGotSummaryData, &r.link.TimGotDataRecords, &r.link.TimGotLibraryData,
                          &r.link.timGotSerialNo}) {
            QVERIFY(!t->isActive());
            QCOMPARE(t->interval(), 500);
            QCOMPARE(t->timerType(), Qt::PreciseTimer);
        }
        QCOMPARE(int(csNoResponse), 3);
        QCOMPARE(int(ssFound), 2);
    }

    void sendQueuesTheTextAsItIsOpeningTheClosedPort()
    {
        Rig r;
        QVERIFY(!r.link.IsOpen());
        r.link.Send("$*#");
        QCOMPARE(r.port->opened, QList<int>{2});
        QCOMPARE(r.port->written, QByteArray("$*#"));
        r.link.Send("A");
        r.link.Send(std::string("\0", 1));
        QCOMPARE(r.port->written, QByteArray("$*#A\0", 5));
        QCOMPARE(r.port->opened.size(), 1);
    }

    void sendFailsWithThePortsErrorText()
    {
        Rig r;
        r.port->refuseOpen = true;
        r.port->openError = QStringLiteral("Cannot open serial port COM2 (/dev/ttyS1): Permission denied");
        try {
            r.link.Send("$3");
            QFAIL("Send succeeded on a port that cannot open");
        } catch (const KrError& e) {
            QCOMPARE(QString::fromLatin1(e.what()), r.port->openError);
        }
        QVERIFY(r.port->written.isEmpty());

        Rig full;
        full.link.Open();
        full.port->pendingOutput = SerialTransport::BufferSize - 2;
        full.link.Send("$3");
        QVERIFY_THROWS_EXCEPTION(KrError, full.link.Send("$3"));
        QCOMPARE(full.port->written, QByteArray("$3"));
    }

    void exchangeStartsArmedEmptyAndTimed()
    {
        Rig r;
        r.link.ReplyLines = {"old\r"};
        r.link.GotData = true;
        int afterSendCalls = 0;
        r.link.StartExchange(r.link.TimGotDataRecords, "$4", [&] {
            ++afterSendCalls;
            QCOMPARE(r.port->written, QByteArray("$4"));
            QVERIFY(!r.link.TimGotDataRecords.isActive());
        });
        QCOMPARE(afterSendCalls, 1);
        QVERIFY(r.link.PckLibrary.Enabled());
        QVERIFY(r.link.ReplyLines.empty());
        QVERIFY(!r.link.GotData);
        QVERIFY(r.link.TimGotDataRecords.isActive());
        QVERIFY(!r.link.TimGotSummaryData.isActive());
    }

    void failedSendStartsNoTimerAndLeavesNothingArmed()
    {
        Rig r;
        r.port->refuseOpen = true;
        bool afterSend = false;
        QVERIFY_THROWS_EXCEPTION(
            KrError, r.link.StartExchange(r.link.TimGotSummaryData, "$3", [&] { afterSend = true; }));
        QVERIFY(!afterSend);
        QVERIFY(!r.link.TimGotSummaryData.isActive());
        QVERIFY(!r.link.PckLibrary.Enabled());
    }

    void ignoredSendFailureStillEndsByTimer()
    {
        Rig r;
        r.port->refuseOpen = true;
        r.link.setQuietInterval(20);
        r.link.StartExchange(r.link.timGotSerialNo, "$5", {}, TMeterLink::SendFailure::Ignore);
        QVERIFY(r.link.timGotSerialNo.isActive());
        QSignalSpy fired(&r.link.timGotSerialNo, &QTimer::timeout);
        QVERIFY(fired.wait(2000));
        QVERIFY(!r.link.BeginQuietTimer(r.link.timGotSerialNo));
    }

    void eachLineRestartsOnlyRunningTimersAndSteps()
    {
        Rig r;
        r.link.setQuietInterval(10000);
        r.link.StartExchange(r.link.TimGotLibraryData, "$2");
        r.port->deliver("$2\rSPRUCE       4");
        r.port->deliver("2\r");
        QCOMPARE(r.link.ReplyLines, (std::vector<std::string>{"$2\r", "SPRUCE       42\r"}));
        QVERIFY(r.link.GotData);
        QCOMPARE(r.progress.steps, 2);
        QVERIFY(r.link.TimGotLibraryData.isActive());
        for (QTimer* t : {&r.link.TimGotSummaryData, &r.link.TimGotDataRecords, &r.link.timGotSerialNo})
            QVERIFY(!t->isActive());
    }

    void aLineWithoutARunningTimerStillCounts()
    {
        Rig r;
        r.link.Arm();
        r.port->deliver("stray\r");
        QCOMPARE(r.link.ReplyLines, std::vector<std::string>{"stray\r"});
        QVERIFY(r.link.GotData);
        QCOMPARE(r.progress.steps, 1);
    }

    void quietTimerFiresOnlyAfterTheLastLine()
    {
        Rig r;
        r.link.setQuietInterval(150);
        QElapsedTimer clock;
        qint64 lastLine = -1, fired = -1;
        connect(&r.link.TimGotSummaryData, &QTimer::timeout, this, [&] { fired = clock.elapsed(); });
        clock.start();
        r.link.StartExchange(r.link.TimGotSummaryData, "$3");
        // Lines 100 ms apart: each keeps the 150 ms timer from firing.
        int sent = 0;
        QTimer feeder;
        feeder.setTimerType(Qt::PreciseTimer);
        connect(&feeder, &QTimer::timeout, this, [&] {
            r.port->deliver(sent == 0 ? "$3\r" : " 1 05\r");
            lastLine = clock.elapsed();
            if (++sent == 4)
                feeder.stop();
        });
        feeder.start(100);
        QVERIFY(WaitUntil([&] { return fired >= 0; }, 5000));
        QCOMPARE(sent, 4);
        QCOMPARE(r.link.ReplyLines.size(), size_t(4));
        QVERIFY2(fired - lastLine >= 150, qPrintable(QString::number(fired - lastLine)));
    }

    void timerHandlerStartDisarmsAndClosesProgress()
    {
        Rig r;
        r.link.StartExchange(r.link.TimGotDataRecords, "$4");
        r.port->deliver("$4\rpart");
        QVERIFY(r.link.BeginQuietTimer(r.link.TimGotDataRecords));
        QVERIFY(!r.link.TimGotDataRecords.isActive());
        QVERIFY(!r.link.PckLibrary.Enabled());
        QCOMPARE(r.progress.closes, 1);
        // The rest of a late line is thrown away.
        r.port->deliver("ial\r");
        QCOMPARE(r.link.ReplyLines.size(), size_t(1));

        r.link.StartExchange(r.link.timGotSerialNo, "$5");
        QVERIFY(!r.link.BeginQuietTimer(r.link.timGotSerialNo));
        QCOMPARE(r.progress.closes, 1);
    }

    void timerHandlerStartLetsPendingEventsRunOnce()
    {
        Rig r;
        r.link.StartExchange(r.link.TimGotSummaryData, "$3");
        bool ran = false;
        QMetaObject::invokeMethod(this, [&] { ran = true; }, Qt::QueuedConnection);
        r.link.BeginQuietTimer(r.link.TimGotSummaryData);
        QVERIFY(ran);
    }

    void portZeroAsksForAPort()
    {
        QTemporaryDir dir;
        const QString device = dir.filePath(QStringLiteral("meter-cable"));
        QFile f(device);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        qputenv("KR_PORT_7", device.toLocal8Bit());

        test::ScriptedPrompts prompts;
        Rig r;
        r.link.PortNumber = 0;
        prompts.answerPort(7);
        r.link.Open();
        QCOMPARE(r.port->opened, QList<int>{7});
        QCOMPARE(r.link.PortNumber, 0);
        QCOMPARE(prompts.asked().size(), 1);
        bool listed = false;
        for (const PortChoice& p : prompts.asked().constFirst().ports)
            if (p.number == 7) {
                listed = true;
                QCOMPARE(p.device, device);
            }
        QVERIFY(listed);

        r.link.Close();
        prompts.answerPort(std::nullopt);
        QVERIFY_THROWS_EXCEPTION(KrError, r.link.Send("$5"));
        QVERIFY(!r.link.IsOpen());
        QCOMPARE(r.port->opened.size(), 1);
        QVERIFY(r.port->written.isEmpty());
        qunsetenv("KR_PORT_7");
    }

    void silentOpenAndReopen()
    {
        Rig r;
        r.port->refuseOpen = true;
        QVERIFY(!r.link.OpenSilently());
        QVERIFY(!r.link.IsOpen());
        r.port->refuseOpen = false;
        r.link.Reopen(5);
        QCOMPARE(r.link.PortNumber, 5);
        QCOMPARE(r.port->opened, (QList<int>{2, 5}));
        QVERIFY(r.link.IsOpen());
    }

    void aPulledLineIsPassedOn()
    {
        Rig r;
        r.link.Open();
        QSignalSpy lost(&r.link, &TMeterLink::LineLost);
        r.port->pull();
        QCOMPARE(lost.size(), 1);
        QVERIFY(!r.link.IsOpen());
        r.link.Send("$5");   // the next Send opens again
        QCOMPARE(r.port->opened.size(), 2);
    }

    void portNumbersMapToDevices_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("device");
#ifdef Q_OS_WIN
        QTest::newRow("1") << 1 << "COM1";
        QTest::newRow("50") << 50 << "COM50";
#else
        QTest::newRow("1") << 1 << "/dev/ttyS0";
        QTest::newRow("4") << 4 << "/dev/ttyS3";
        QTest::newRow("5") << 5 << "/dev/ttyUSB0";
        QTest::newRow("12") << 12 << "/dev/ttyUSB7";
        QTest::newRow("13") << 13 << "/dev/ttyACM0";
        QTest::newRow("20") << 20 << "/dev/ttyACM7";
        QTest::newRow("21") << 21 << "/dev/ttyS4";
        QTest::newRow("50") << 50 << "/dev/ttyS33";
#endif
        QTest::newRow("0") << 0 << "";
        QTest::newRow("51") << 51 << "";
    }
    void portNumbersMapToDevices()
    {
        QFETCH(int, number);
        QFETCH(QString, device);
        QCOMPARE(PortMap::deviceFor(number), device);
    }

    void environmentOverridesAPort()
    {
        qputenv("KR_PORT_3", "/tmp/no-such-meter");
        QVERIFY(PortMap::isOverridden(3));
        QCOMPARE(PortMap::deviceFor(3), QStringLiteral("/tmp/no-such-meter"));
        QCOMPARE(PortMap::describe(3), QStringLiteral("COM3 (/tmp/no-such-meter)"));
        QVERIFY(!PortMap::exists(3));
        qunsetenv("KR_PORT_3");
        QVERIFY(!PortMap::isOverridden(3));
        for (const PortChoice& p : PortMap::existingPorts())
            QVERIFY(p.number >= 1 && p.number <= 50);
    }

    void realPortReportsAMissingDevice()
    {
        qputenv("KR_PORT_9", "/tmp/no-such-meter-device");
        QtSerialTransport port;
        QVERIFY(!port.open(9));
        QVERIFY(!port.isOpen());
        QVERIFY2(port.errorString().startsWith(QStringLiteral("Cannot open serial port COM9 (/tmp/no-such-meter-device)")),
                 qPrintable(port.errorString()));
        QVERIFY(!port.write("$3"));
        qunsetenv("KR_PORT_9");
    }

    void waitUntilSleepsUntilTheStateChanges()
    {
        bool done = false;
        QTimer::singleShot(300, this, [&] { done = true; });
        QElapsedTimer clock;
        clock.start();
        const double cpu0 = cpuMs();
        QVERIFY(WaitUntil([&] { return done; }, 5000));
        const double cpu = cpuMs() - cpu0;
        QVERIFY(clock.elapsed() >= 299);
        // A spinning wait would burn about 300 ms of CPU here.
        QVERIFY2(cpu < 100, qPrintable(QString::number(cpu)));
    }

    void waitUntilGivesUpAtItsDeadline()
    {
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!WaitUntil([] { return false; }, 120));
        QVERIFY(clock.elapsed() >= 120);
        QVERIFY(WaitUntil([] { return true; }, 0));
    }

    void waitForPassesMoreThanItsTicks()
    {
        for (int i = 0; i < 20; ++i) {
            const auto start = TickCount();
            WaitFor(5);
            QVERIFY(TickCount() - start > 5);
        }
    }
};

QTEST_MAIN(TestMeterLink)
#include "tst_MeterLink.moc"
