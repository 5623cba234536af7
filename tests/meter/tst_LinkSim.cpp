#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "core/Errors.h"
#include "meter/MeterLink.h"
#include "meter/Wait.h"
#include "platform/SerialTransport.h"
#include "tests/support/SimMeter.h"

using namespace kr;
using kr::test::SimMeter;

namespace {

// A link on port 12, which the environment points at the simulator's link file.
struct Rig {
    QTemporaryDir dir;
    std::unique_ptr<SimMeter> sim;
    TMeterLink link;
    QString linkPath;
    QElapsedTimer clock;
    double lastByteMs = -1;   // arrival of the latest bytes
    double firedMs = -1;      // the quiet timer's firing
    qint64 bytesAfterFiring = 0;

    explicit Rig(SimMeter::Options options, int quietMs)
    {
        linkPath = options.link = dir.filePath(QStringLiteral("kr-port"));
        sim = std::make_unique<SimMeter>(options);
        link.setQuietInterval(quietMs);
        link.PortNumber = 12;
        QObject::connect(&link.transport(), &SerialTransport::received, [this](const QByteArray& b) {
            lastByteMs = now();
            if (firedMs >= 0)
                bytesAfterFiring += b.size();
        });
        clock.start();
    }
    ~Rig() { qunsetenv("KR_PORT_12"); }

    bool start()
    {
        if (!sim->start())
            return false;
        qputenv("KR_PORT_12", linkPath.toLocal8Bit());
        return true;
    }
    double now() const { return double(clock.nsecsElapsed()) / 1e6; }

    // Runs one exchange to its quiet timer, with the handler's common start.
    void exchange(QTimer& timer, const std::string& command)
    {
        firedMs = -1;
        auto c = QObject::connect(&timer, &QTimer::timeout, [&] {
            firedMs = now();
            link.BeginQuietTimer(timer);
        });
        link.StartExchange(timer, command);
        WaitUntil([&] { return firedMs >= 0; }, 30000);
        QObject::disconnect(c);
    }
};

SimMeter::Options fast(QStringList faults = {})
{
    SimMeter::Options o;
    o.faults = std::move(faults);
    return o;
}

// The sample state cut down to a few readings, so a paced reply stays short.
QByteArray stateWithReadings(int count)
{
    SimMeter::Options o;
    o.emptyMeter = true;
    SimMeter empty(o);
    if (!empty.start())
        return {};
    QByteArray text = empty.readState();
    empty.stop();
    for (int i = 1; i <= count; ++i)
        text += QStringLiteral("reading 01 %1 2026-03-05 09:%2 20 |Red Oak      | 63 1%3.5\n")
                    .arg(i, 2, 10, QLatin1Char('0'))
                    .arg(10 + i)
                    .arg(i)
                    .toLatin1();
    return text;
}

// The bytes the simulator's log says it received ("<ms> rx <hex> <char>" lines).
QByteArray bytesReceived(const QString& log)
{
    static const QRegularExpression rx(QStringLiteral("^[0-9.]+ rx ([0-9A-F]{2})"),
                                       QRegularExpression::MultilineOption);
    QByteArray bytes;
    for (auto it = rx.globalMatch(log); it.hasNext();)
        bytes += char(it.next().captured(1).toInt(nullptr, 16));
    return bytes;
}

QByteArray joined(const std::vector<std::string>& lines)
{
    QByteArray all;
    for (const auto& l : lines)
        all += QByteArray(l.data(), qsizetype(l.size()));
    return all;
}

} // namespace

class TestLinkSim : public QObject {
    Q_OBJECT
private slots:
    void realPaceReplyEndsHalfASecondAfterItsLastLine()
    {
        SimMeter::Options o;
        o.fast = false;
        Rig r(o, 500);
        QVERIFY2(r.start(), qPrintable(r.sim->errorString()));
        r.exchange(r.link.TimGotSummaryData, "$3");
        QVERIFY(r.link.GotData);
        QCOMPARE(r.link.ReplyLines.size(), size_t(26));
        QVERIFY(r.link.ReplyLines.front().starts_with("$3"));
        for (const auto& line : r.link.ReplyLines)
            QVERIFY(line.ends_with('\r'));
        QVERIFY2(r.firedMs - r.lastByteMs >= 500, qPrintable(QString::number(r.firedMs - r.lastByteMs)));
        // The command went out as its two characters, nothing after them.
        QVERIFY(r.sim->waitForLog(QStringLiteral("$3")));
        QCOMPARE(bytesReceived(r.sim->readLog()), QByteArray("$3"));
        QCOMPARE(r.sim->commands(), QStringList{QStringLiteral("$3")});
    }

    void silentMeterIsUnansweredAfterHalfASecond()
    {
        Rig r(fast({QStringLiteral("silent")}), 500);
        QVERIFY(r.start());
        const double sent = r.now();
        r.exchange(r.link.TimGotSummaryData, "$3");
        QVERIFY(!r.link.GotData);
        QVERIFY(r.link.ReplyLines.empty());
        QVERIFY(r.firedMs - sent >= 500);
    }

    void replyWithoutCarriageReturnIsUnanswered()
    {
        Rig r(fast({QStringLiteral("no-cr")}), 150);
        QVERIFY(r.start());
        r.exchange(r.link.timGotSerialNo, "$5");
        QVERIFY(r.lastByteMs >= 0);
        QVERIFY(!r.link.GotData);
        QVERIFY(r.link.ReplyLines.empty());
    }

    void lineAfterTheQuietTimerIsThrownAway()
    {
        Rig r(fast({QStringLiteral("gap=500:1")}), 200);
        QVERIFY(r.start());
        r.exchange(r.link.TimGotSummaryData, "$3");
        QCOMPARE(r.link.ReplyLines.size(), size_t(1));
        QVERIFY(WaitUntil([&] { return r.bytesAfterFiring > 0; }, 5000));
        WaitFor(100);
        QCOMPARE(r.link.ReplyLines.size(), size_t(1));
        QVERIFY(!r.link.PckLibrary.Enabled());
    }

    void trickleJustUnderTheIntervalKeepsTheReplyGoing()
    {
        SimMeter::Options o = fast({QStringLiteral("trickle=440")});
        o.stateText = stateWithReadings(4);
        QVERIFY(!o.stateText.isEmpty());
        Rig r(o, 500);
        QVERIFY(r.start());
        const double sent = r.now();
        r.exchange(r.link.TimGotDataRecords, "$4");
        QCOMPARE(r.link.ReplyLines.size(), size_t(5));
        QVERIFY(r.firedMs - sent >= 4 * 440 + 500);
        QVERIFY(r.firedMs - r.lastByteMs >= 500);
    }

    void lineEndsAndZeroBytesAsCollected()
    {
        Rig crlf(fast({QStringLiteral("crlf")}), 150);
        QVERIFY(crlf.start());
        crlf.exchange(crlf.link.timGotSerialNo, "$5");
        QCOMPARE(crlf.link.ReplyLines.size(), size_t(2));
        QCOMPARE(crlf.link.ReplyLines[0], std::string("$5\r"));
        QCOMPARE(crlf.link.ReplyLines[1], std::string("KR-417263\r"));
        QVERIFY(!crlf.link.ReplyCutShort());

        Rig nul(fast({QStringLiteral("nul=2")}), 150);
        QVERIFY(nul.start());
        nul.exchange(nul.link.TimGotSummaryData, "$3");
        QCOMPARE(nul.link.ReplyLines.size(), size_t(26));
        QVERIFY(!nul.link.ReplyLines[1].ends_with('\r'));
        QVERIFY(nul.link.ReplyLines[2].ends_with('\r'));
    }

    void pulledLineClosesThePortOnceAndTheExchangeStillEnds()
    {
        // At the real pace the bytes before the pull are on our side by then,
        // as on a real line; a fast reply could vanish with the terminal.
        SimMeter::Options o = fast({QStringLiteral("drop-after=60@4")});
        o.fast = false;
        Rig r(o, 200);
        QVERIFY(r.start());
        QSignalSpy lost(&r.link, &TMeterLink::LineLost);
        r.exchange(r.link.TimGotDataRecords, "$4");
        QVERIFY(r.link.GotData);
        QVERIFY(joined(r.link.ReplyLines).size() <= 60);
        QVERIFY(lost.size() == 1 || lost.wait(5000));
        QVERIFY(!r.link.IsOpen());
        WaitFor(200);
        QCOMPARE(lost.size(), 1);
        // The simulator is gone with its device: the next command cannot go out.
        QVERIFY(r.sim->waitForExit());
        QVERIFY_THROWS_EXCEPTION(KrError, r.link.StartExchange(r.link.TimGotSummaryData, "$3"));
        QVERIFY(!r.link.TimGotSummaryData.isActive());
    }

    void chainedExchangesReuseTheOpenPort()
    {
        Rig r(fast(), 100);
        QVERIFY(r.start());
        r.exchange(r.link.timGotSerialNo, "$5");
        QCOMPARE(r.link.ReplyLines.size(), size_t(2));
        r.exchange(r.link.TimGotLibraryData, "$2");
        QCOMPARE(r.link.ReplyLines.size(), size_t(39));
        QVERIFY(r.link.ReplyLines[0].starts_with("$2"));
        QCOMPARE(r.sim->commands(), (QStringList{QStringLiteral("$5"), QStringLiteral("$2")}));
    }
};

QTEST_GUILESS_MAIN(TestLinkSim)
#include "tst_LinkSim.moc"
