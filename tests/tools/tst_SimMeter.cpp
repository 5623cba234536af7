// kr-meter-sim as a program: driven over its pseudo-terminal the way the KR companion
// drives a meter, with its state file, log and faults checked from outside.
#include <QtTest>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "tests/support/SimMeter.h"
#include "tests/tools/PtyClient.h"

using kr::test::PtyClient;
using kr::test::SimMeter;

namespace {

const QStringList MonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Sends a command and collects the reply until it has been quiet for `quietMs`.
QList<QByteArray> exchange(PtyClient& pty, const QByteArray& command, int quietMs = 300, int maxMs = 20000)
{
    pty.clear();
    pty.send(command);
    pty.waitQuiet(quietMs, maxMs);
    return pty.lines();
}

int summaryTotal(const QList<QByteArray>& lines)
{
    int total = 0;
    for (qsizetype i = 1; i < lines.size(); ++i)
        total += lines[i].mid(3, 2).trimmed().toInt();
    return total;
}

int storedReadings(const QByteArray& state)
{
    int n = 0;
    for (const QByteArray& line : state.split('\n'))
        n += line.startsWith("reading ");
    return n;
}

QByteArray upload608()
{
    QByteArray text;
    for (int i = 1; i <= 31; ++i)
        text += QStringLiteral("Test wood %1").arg(i, 2, 10, QLatin1Char('0')).leftJustified(13).toLatin1() + " "
                + QByteArray::number(30 + i);
    const char* materials[] = {"Set User SG   45", "Lime plaster  30", "Clay brick    28", "Gypsum board  26",
                               "Vinyl         20", "Felt          40", "Tar           55"};
    for (const char* m : materials)
        text += m;
    return text;
}

// Milliseconds between the end of line `a` and the start of line `b` (0-based) as received.
double pauseBetween(const PtyClient& pty, int a, int b)
{
    const QList<QByteArray> lines = pty.lines();
    qsizetype endA = 0;
    for (int i = 0; i <= a; ++i)
        endA += lines[i].size();
    qsizetype startB = 0;
    for (int i = 0; i < b; ++i)
        startB += lines[i].size();
    return pty.arrivalMs(startB) - pty.arrivalMs(endA - 1);
}

} // namespace

class TestSimMeter : public QObject {
    Q_OBJECT

private:
    // Starts the simulator and opens its terminal.
    static bool connectTo(SimMeter& sim, PtyClient& pty)
    {
        if (!sim.start()) {
            qWarning("%s", qPrintable(sim.errorString()));
            return false;
        }
        return pty.open(sim.devicePath());
    }

private slots:
    void summaryCountsTheRecordLines();
    void recordLinesFollowTheMeterLayout();
    void serialAndLibraryReplies();
    void strayBytesAreIgnored();
    void commandsDuringAReplyAreAnsweredInOrder();
    void realPaceIsAboutTwoMillisecondsACharacter();
    void logTimesEveryByteAndNamesCommands();
    void missingStateFileIsCreated();
    void eraseClearsReadingsAndRewritesState();
    void uploadReplacesTheLibrary();
    void halfUploadIsAbandoned();
    void stateSurvivesARestart();
    void badStateFileIsRefusedAndKept();
    void linkIsMadeAndRemoved();
    void linkNeverReplacesAFile();
    void endsWhenItsLauncherGoes();

    void silentMeterSendsNothing();
    void noCrReplyNeverEndsALine();
    void gapOutlastsTheQuietTime();
    void trickleStaysUnderTheQuietTime();
    void latencyDelaysTheWholeReply();
    void crlfPutsLineFeedFirst();
    void nulSitsInsideALine();
    void garbleSpoilsOneRecordLine();
    void shortLibraryStopsEarly();
    void moreAndFewerLinesThanAnnounced();
    void serialRefusedChangesTheEcho();
    void dropClosesTheTerminalMidReply();
};

void TestSimMeter::summaryCountsTheRecordLines()
{
    SimMeter sim;
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    const auto summary = exchange(pty, "$3");
    QCOMPARE(summary.value(0), QByteArray("$3\r"));
    QCOMPARE(summary.size(), 26);
    for (const QByteArray& line : summary)
        QVERIFY(line.endsWith('\r'));
    const auto records = exchange(pty, "$4");
    QCOMPARE(records.value(0), QByteArray("$4\r"));
    QVERIFY(records.size() > 20);
    QCOMPARE(summaryTotal(summary), records.size() - 1);
    QCOMPARE(storedReadings(sim.readState()), records.size() - 1);
}

void TestSimMeter::recordLinesFollowTheMeterLayout()
{
    SimMeter sim;
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    const auto records = exchange(pty, "$4");
    QVERIFY(records.size() > 1);
    int withPoint = 0;
    for (qsizetype i = 1; i < records.size(); ++i) {
        const QByteArray& line = records[i];
        QVERIFY2(line.size() >= 46 && line.endsWith('\r'), line.constData());
        bool ok = false;
        const int file = line.mid(0, 2).toInt(&ok);
        QVERIFY(ok && file >= 1 && file <= 25);
        const int record = line.mid(3, 2).toInt(&ok);
        QVERIFY(ok && record >= 1 && record <= 25);
        QVERIFY(line.mid(6, 2).toInt(&ok) >= 1 && ok);
        QVERIFY2(MonthNames.contains(QString::fromLatin1(line.mid(9, 3))), line.constData());
        line.mid(13, 2).toInt(&ok);
        QVERIFY(ok);
        QVERIFY(line.mid(16, 2).toInt(&ok) < 24 && ok);
        QVERIFY(line.mid(19, 2).toInt(&ok) < 60 && ok);
        line.mid(22, 2).trimmed().toInt(&ok);
        QVERIFY(ok);
        QVERIFY(line.mid(25, 13).trimmed().size() > 0);
        QVERIFY(line.mid(40, 2).toInt(&ok) > 0 && ok);
        const QByteArray moisture = line.mid(43, line.size() - 44);
        QVERIFY(moisture.toDouble(&ok) > 0 && ok);
        withPoint += moisture.contains('.');
    }
    // Both kinds of moisture text occur: wood (with a point) and the reference scale.
    QVERIFY(withPoint > 0 && withPoint < records.size() - 1);
}

void TestSimMeter::serialAndLibraryReplies()
{
    SimMeter sim;
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    QCOMPARE(exchange(pty, "$5"), (QList<QByteArray>{"$5\r", "KR-417263\r"}));
    const auto library = exchange(pty, "$2");
    QCOMPARE(library.size(), 39);
    QCOMPARE(library[0], QByteArray("$2\r"));
    for (qsizetype i = 1; i < library.size(); ++i) {
        QCOMPARE(library[i].size(), 17);
        QVERIFY(library[i].mid(14, 2).toInt() > 0);
    }
    QCOMPARE(library[1], QByteArray("Red Oak       63\r"));
    QCOMPARE(library[32], QByteArray("Set User SG   50\r"));
    QCOMPARE(library[38], QByteArray("BUR           50\r"));
}

void TestSimMeter::strayBytesAreIgnored()
{
    SimMeter sim;
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    QVERIFY(exchange(pty, "hello\r\n#*", 400).isEmpty());
    QCOMPARE(exchange(pty, "xx$$5yy").value(0), QByteArray("$5\r"));
    QCOMPARE(sim.commands(), QStringList{"$5"});
}

void TestSimMeter::commandsDuringAReplyAreAnsweredInOrder()
{
    SimMeter sim(SimMeter::Options().realPace());
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    pty.send("$3");
    QVERIFY(pty.waitForBytes(10, 5000));
    pty.send("$5");
    pty.waitQuiet(300, 10000);
    const auto lines = pty.lines();
    QCOMPARE(lines.size(), 28);
    QCOMPARE(lines[0], QByteArray("$3\r"));
    QCOMPARE(lines[25], QByteArray("25:00\r"));
    QCOMPARE(lines[26], QByteArray("$5\r"));
}

void TestSimMeter::realPaceIsAboutTwoMillisecondsACharacter()
{
    SimMeter sim(SimMeter::Options().realPace());
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    pty.clear();
    const double sent = pty.nowMs();
    pty.send("$3");
    QVERIFY(pty.waitForBytes(153, 5000));
    // 100 characters at 4800 baud take 208 ms; the first cannot arrive before it is sent.
    QVERIFY2(pty.arrivalMs(99) - sent >= 200.0, qPrintable(QString::number(pty.arrivalMs(99) - sent)));
    QVERIFY(pty.arrivalMs(152) - pty.arrivalMs(0) >= 150 * 2.0);
    // It comes in pieces, as from a real line, not as one block.
    QVERIFY2(pty.chunks() >= 10, qPrintable(QString::number(pty.chunks())));

    SimMeter fast;
    PtyClient fastPty;
    QVERIFY(connectTo(fast, fastPty));
    QCOMPARE(exchange(fastPty, "$3").size(), 26);
}

void TestSimMeter::logTimesEveryByteAndNamesCommands()
{
    SimMeter sim;
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    pty.send("$");
    pty.waitQuiet(60, 60);
    pty.send("5");
    QVERIFY(pty.waitForBytes(13, 5000));
    QVERIFY(sim.waitForLog("sent $5"));
    const auto bytes = sim.received();
    QCOMPARE(bytes.size(), 2);
    QCOMPARE(bytes[0].byte, '$');
    QCOMPARE(bytes[1].byte, '5');
    QVERIFY2(bytes[1].ms - bytes[0].ms >= 50.0, qPrintable(QString::number(bytes[1].ms - bytes[0].ms)));
    QCOMPARE(sim.commands(), QStringList{"$5"});
    const QString log = sim.readLog();
    QVERIFY(log.contains(QLatin1String(" start device=") + sim.devicePath()));
    QVERIFY(log.contains(QLatin1String(" reply $5 lines=2 bytes=13")));
}

void TestSimMeter::missingStateFileIsCreated()
{
    SimMeter sim;
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    const QByteArray state = sim.readState();
    QVERIFY(state.startsWith("# kr-meter-sim state"));
    QVERIFY(state.contains("\nserial KR-417263\n"));
    QCOMPARE(state.count("\nspecies |"), 31);
    QCOMPARE(state.count("\nwallroof |"), 7);
    QVERIFY(storedReadings(state) > 20);

    SimMeter empty(SimMeter::Options().empty());
    PtyClient emptyPty;
    QVERIFY(connectTo(empty, emptyPty));
    QCOMPARE(storedReadings(empty.readState()), 0);
    QCOMPARE(empty.readState().count("\nspecies |"), 31);
    QCOMPARE(summaryTotal(exchange(emptyPty, "$3")), 0);
    QCOMPARE(exchange(emptyPty, "$4"), QList<QByteArray>{"$4\r"});
}

void TestSimMeter::eraseClearsReadingsAndRewritesState()
{
    SimMeter sim;
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    const QByteArray before = sim.readState();
    QVERIFY(storedReadings(before) > 0);
    QCOMPARE(exchange(pty, "$*#"), QList<QByteArray>{"$*#\r"});
    QVERIFY(sim.waitForLog("state saved"));
    const QByteArray after = sim.readState();
    QCOMPARE(storedReadings(after), 0);
    // Only the readings went: library and serial number stay.
    QCOMPARE(after.count("\nspecies |"), 31);
    QVERIFY(after.contains("\nserial KR-417263\n"));
    QCOMPARE(summaryTotal(exchange(pty, "$3")), 0);
    QCOMPARE(exchange(pty, "$4"), QList<QByteArray>{"$4\r"});
    // The rewrite went through a temporary file that is gone again.
    const QStringList left = QFileInfo(sim.statePath()).dir().entryList(QDir::Files);
    QCOMPARE(left, (QStringList{"meter-state.txt", "meter.log"}));
}

void TestSimMeter::uploadReplacesTheLibrary()
{
    SimMeter sim;
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    const QByteArray text = upload608();
    QCOMPARE(text.size(), 608);
    // One character a write, the way the program sends an upload.
    pty.send("$6");
    for (char c : text)
        pty.send(QByteArray(1, c));
    QVERIFY(sim.waitForLog("state saved"));
    QVERIFY(pty.waitForBytes(3, 2000));
    QCOMPARE(pty.lines().value(0), QByteArray("$6\r"));
    const auto library = exchange(pty, "$2");
    QCOMPARE(library.size(), 39);
    QCOMPARE(library[1], QByteArray("Test wood 01  31\r"));
    QCOMPARE(library[31], QByteArray("Test wood 31  61\r"));
    QCOMPARE(library[32], QByteArray("Set User SG   45\r"));
    QCOMPARE(library[38], QByteArray("Tar           55\r"));
    const QByteArray state = sim.readState();
    QVERIFY(state.contains("\nspecies |Test wood 17  47|\n"));
    QVERIFY(state.contains("\nwallroof |Gypsum board  26|\n"));
    QVERIFY(storedReadings(state) > 0);  // an upload alone does not erase
    QCOMPARE(sim.commands(), (QStringList{"$6", "$2"}));
}

void TestSimMeter::halfUploadIsAbandoned()
{
    SimMeter sim;
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    const QByteArray before = sim.readState();
    pty.send("$6" + upload608().left(100));
    QVERIFY(sim.waitForLog("upload abandoned after 100 of 608", 6000));
    QCOMPARE(sim.readState(), before);
    QCOMPARE(exchange(pty, "$2").value(1), QByteArray("Red Oak       63\r"));
    QCOMPARE(exchange(pty, "$5").value(1), QByteArray("KR-417263\r"));
}

void TestSimMeter::stateSurvivesARestart()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("kept.txt");
    {
        SimMeter sim(SimMeter::Options().stateFile(path));
        PtyClient pty;
        QVERIFY(connectTo(sim, pty));
        exchange(pty, "$*#");
        QVERIFY(sim.waitForLog("state saved"));
        QVERIFY(sim.stop());
    }
    SimMeter again(SimMeter::Options().stateFile(path));
    PtyClient pty;
    QVERIFY(connectTo(again, pty));
    QCOMPARE(summaryTotal(exchange(pty, "$3")), 0);
}

void TestSimMeter::badStateFileIsRefusedAndKept()
{
    const QByteArray bad = "serial 7\nspecies |Oak|\n";
    SimMeter sim(SimMeter::Options().state(bad));
    QVERIFY(!sim.start());
    QVERIFY(sim.waitForExit());
    QCOMPARE(sim.exitCode(), 2);
    const QString message = QString::fromLocal8Bit(sim.errorOutput());
    QVERIFY2(message.contains(QLatin1String("line 2:")) && message.contains(QLatin1String("16")),
             qPrintable(message));
    QCOMPARE(sim.readState(), bad);
}

void TestSimMeter::linkIsMadeAndRemoved()
{
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyKR");
    SimMeter sim(SimMeter::Options().linkAt(link));
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.devicePath());
    PtyClient viaLink;
    QVERIFY(viaLink.open(link));
    QCOMPARE(exchange(viaLink, "$5").value(0), QByteArray("$5\r"));
    QVERIFY(sim.stop());
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
}

void TestSimMeter::linkNeverReplacesAFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("notes.txt");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("keep me");
    f.close();
    SimMeter sim(SimMeter::Options().linkAt(path));
    QVERIFY(!sim.start());
    QVERIFY(sim.waitForExit());
    QCOMPARE(sim.exitCode(), 1);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("keep me"));
}

void TestSimMeter::endsWhenItsLauncherGoes()
{
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyKR");
    QProcess sim;
    sim.start(SimMeter::executable(), {"--watch-stdin", "--fast", "--state", dir.filePath("s.txt"), "--link", link});
    QVERIFY(sim.waitForStarted());
    QEventLoop loop;
    QObject::connect(&sim, &QProcess::readyReadStandardOutput, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    QVERIFY(sim.canReadLine());
    sim.closeWriteChannel();
    QObject::connect(&sim, &QProcess::finished, &loop, &QEventLoop::quit);
    if (sim.state() != QProcess::NotRunning)
        loop.exec();
    QCOMPARE(sim.state(), QProcess::NotRunning);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestSimMeter::silentMeterSendsNothing()
{
    SimMeter sim(SimMeter::Options().fault("silent"));
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    QVERIFY(exchange(pty, "$3", 700).isEmpty());
    QVERIFY(exchange(pty, "$*#", 300).isEmpty());
    QCOMPARE(sim.commands(), (QStringList{"$3", "$*#"}));
    // It still hears: the erase took effect.
    QVERIFY(sim.waitForLog("state saved"));
    QCOMPARE(storedReadings(sim.readState()), 0);
}

void TestSimMeter::noCrReplyNeverEndsALine()
{
    SimMeter sim(SimMeter::Options().fault("no-cr"));
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    pty.send("$5");
    pty.waitQuiet(300, 5000);
    QCOMPARE(pty.data(), QByteArray("$5KR-417263"));
}

void TestSimMeter::gapOutlastsTheQuietTime()
{
    SimMeter sim(SimMeter::Options().fault("gap@3"));
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    // A listener with the program's 500 ms quiet time hears the echo alone...
    QCOMPARE(exchange(pty, "$3", 500), QList<QByteArray>{"$3\r"});
    // ...and the rest only after the pause.
    pty.waitQuiet(300, 5000);
    QCOMPARE(pty.lines().size(), 26);
    QVERIFY2(pauseBetween(pty, 0, 1) >= 580, qPrintable(QString::number(pauseBetween(pty, 0, 1))));
    // Other replies are untouched.
    QCOMPARE(exchange(pty, "$5", 500).size(), 2);
}

void TestSimMeter::trickleStaysUnderTheQuietTime()
{
    SimMeter sim(SimMeter::Options().realPace().fault("trickle=450@5"));
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    // A listener with the program's 500 ms quiet time hears the whole reply...
    const auto lines = exchange(pty, "$5", 500);
    QCOMPARE(lines, (QList<QByteArray>{"$5\r", "KR-417263\r"}));
    // ...whose line ends come 450 ms apart, the pause shortened by the line's characters.
    const double apart = pty.arrivalMs(pty.data().size() - 1) - pty.arrivalMs(2);
    QVERIFY2(apart >= 440, qPrintable(QString::number(apart)));
}

void TestSimMeter::latencyDelaysTheWholeReply()
{
    SimMeter sim(SimMeter::Options().fault("gap=650:0@5"));
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    pty.clear();
    const double sent = pty.nowMs();
    QVERIFY(exchange(pty, "$5", 500).isEmpty());
    QVERIFY(pty.waitForBytes(13, 3000));
    QVERIFY(pty.arrivalMs(0) - sent >= 630);
}

void TestSimMeter::crlfPutsLineFeedFirst()
{
    SimMeter sim(SimMeter::Options().fault("crlf"));
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    QCOMPARE(exchange(pty, "$5"), (QList<QByteArray>{"$5\r", "\nKR-417263\r", "\n"}));
}

void TestSimMeter::nulSitsInsideALine()
{
    SimMeter sim(SimMeter::Options().fault("nul"));
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    const auto lines = exchange(pty, "$5");
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[1], QByteArray("KR-4\0" "17263\r", 11));
}

void TestSimMeter::garbleSpoilsOneRecordLine()
{
    SimMeter sim(SimMeter::Options().fault("garble"));
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    const auto records = exchange(pty, "$4");
    QVERIFY(records.size() > 3);
    QVERIFY(records[1].startsWith("#\xB0"));
    bool ok = true;
    records[1].mid(0, 2).toInt(&ok);
    QVERIFY(!ok);
    QVERIFY(!MonthNames.contains(QString::fromLatin1(records[1].mid(9, 3))));
    QVERIFY(records[2].startsWith("01 02 "));
    QCOMPARE(exchange(pty, "$3").value(1), QByteArray("01:12\r"));
}

void TestSimMeter::shortLibraryStopsEarly()
{
    SimMeter sim(SimMeter::Options().fault("short-library"));
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    const auto library = exchange(pty, "$2");
    QCOMPARE(library.size(), 20);
    QCOMPARE(library[0], QByteArray("$2\r"));
}

void TestSimMeter::moreAndFewerLinesThanAnnounced()
{
    SimMeter more(SimMeter::Options().fault("more-lines=2"));
    PtyClient morePty;
    QVERIFY(connectTo(more, morePty));
    const int announced = summaryTotal(exchange(morePty, "$3"));
    QCOMPARE(exchange(morePty, "$4").size() - 1, announced + 2);

    SimMeter fewer(SimMeter::Options().fault("fewer-lines=4"));
    PtyClient fewerPty;
    QVERIFY(connectTo(fewer, fewerPty));
    QCOMPARE(summaryTotal(exchange(fewerPty, "$3")), announced);
    QCOMPARE(exchange(fewerPty, "$4").size() - 1, announced - 4);
}

void TestSimMeter::serialRefusedChangesTheEcho()
{
    SimMeter sim(SimMeter::Options().fault("serial-refused"));
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    QCOMPARE(exchange(pty, "$5"), (QList<QByteArray>{"ERR\r", "KR-417263\r"}));
    QCOMPARE(exchange(pty, "$3").value(0), QByteArray("$3\r"));
}

void TestSimMeter::dropClosesTheTerminalMidReply()
{
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyKR");
    SimMeter sim(SimMeter::Options().realPace().fault("drop-after=120").linkAt(link));
    PtyClient pty;
    QVERIFY(connectTo(sim, pty));
    // Replies shorter than the drop point go out whole.
    QCOMPARE(exchange(pty, "$5").size(), 2);
    pty.clear();
    pty.send("$4");
    QVERIFY(pty.waitForHangup(10000));
    QCOMPARE(pty.data().size(), 120);
    QVERIFY(pty.data().startsWith("$4\r01 01 "));
    QVERIFY(sim.waitForExit());
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(sim.readLog().contains(QLatin1String("drop after 120 bytes of the $4 reply")));
    QVERIFY(!QFileInfo(link).isSymLink());
}

QTEST_GUILESS_MAIN(TestSimMeter)
#include "tst_SimMeter.moc"
