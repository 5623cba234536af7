// The soak's judgements: how backups may move, what the simulator's log says,
// and which exit statuses an outcome allows.
#include <QTest>

#include "tools/soak/SoakChecks.h"

using namespace kr::soak;

class TestSoakChecks : public QObject {
    Q_OBJECT
private slots:
    void backupTakesLowestFreeSlotOrRotates()
    {
        QCOMPARE(slotsAfterBackup({{1, "a"}, {3, "c"}}, "n"), (Slots{{1, "a"}, {2, "n"}, {3, "c"}}));
        // With slot 9 in use every used slot moves down one; a gap moves with them.
        const Slots full{{1, "a"}, {2, "b"}, {4, "d"}, {5, "e"}, {6, "f"}, {7, "g"}, {8, "h"}, {9, "i"}};
        QCOMPARE(slotsAfterBackup(full, "n"),
                 (Slots{{1, "b"}, {3, "d"}, {4, "e"}, {5, "f"}, {6, "g"}, {7, "h"}, {8, "i"}, {9, "n"}}));
    }

    void slotChangesOutOfTurnAreFindings()
    {
        const Slots before{{1, "a"}, {2, "b"}};
        QVERIFY(judgeSlots(before, before).finding.empty());
        QVERIFY(!judgeSlots(before, before).newest);
        const SlotJudgement made = judgeSlots(before, {{1, "a"}, {2, "b"}, {3, "n"}});
        QVERIFY(made.finding.empty());
        QCOMPARE(made.newest.value_or(""), std::string("n"));
        QCOMPARE(made.slot, 3);
        QVERIFY(!judgeSlots(before, {{1, "x"}, {2, "b"}, {3, "n"}}).finding.empty());   // overwritten
        QVERIFY(!judgeSlots(before, {{2, "b"}, {3, "n"}}).finding.empty());             // lost
        QVERIFY(!judgeSlots(before, {{1, "a"}, {2, "b"}, {4, "n"}}).finding.empty());   // wrong slot
        QVERIFY(!judgeSlots(before, {{1, "a"}}).finding.empty());                       // gone, nothing new
    }

    void logTellsCommandsDamageAndUpload()
    {
        std::string log = "# kr-meter-sim log\n"
                          "0.5 start device=/dev/pts/1\n"
                          "1.0 cmd $3\n"
                          "1.1 reply $3 lines=26 bytes=153 faults=trickle=100@3\n"
                          "2.0 cmd $4\n"
                          "2.1 reply $4 lines=41 bytes=1901 faults=cut=4@4\n"
                          "3.0 cmd $5\n"
                          "3.1 drop after 5 bytes of the $5 reply: closing the terminal\n"
                          "5.25 cmd $*#\n"
                          "6.0 cmd $*#\n";
        for (char c : std::string("$6AB"))
            log += "4.0 rx " + QByteArray(1, c).toHex().toStdString() + " " + c + "\n";
        const SimEvents events = parseSimLog(log);
        QCOMPARE(events.commands, (std::vector<std::string>{"$3", "$4", "$5", "$*#", "$*#"}));
        QCOMPARE(events.startMs, 0.5);
        QCOMPARE(events.firstEraseMs, 5.25);
        QCOMPARE(events.damaged, (std::set<std::string>{"$4", "$5"}));
        QCOMPARE(events.uploaded, std::string("AB"));
        QVERIFY(events.received("$4") && !events.received("$2"));
    }

    void statusesFollowTheOutcome_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("damaged");
        QTest::addColumn<bool>("held");
        QTest::addColumn<QList<int>>("allowed");
        QTest::newRow("sound download") << int(Kind::Download) << int(FaultType::None) << "" << true << QList<int>{0};
        QTest::newRow("silent erase") << int(Kind::Erase) << int(FaultType::Silence) << "" << true << QList<int>{2};
        QTest::newRow("cut summary") << int(Kind::Download) << int(FaultType::Cut) << "$3" << false << QList<int>{2};
        QTest::newRow("garbled backup") << int(Kind::Erase) << int(FaultType::Garble) << "$4" << true << QList<int>{2, 4};
        QTest::newRow("cut erase echo") << int(Kind::Erase) << int(FaultType::Cut) << "$*#" << true << QList<int>{0, 2};
        QTest::newRow("fault never reached") << int(Kind::Serial) << int(FaultType::Cut) << "" << true << QList<int>{0};
        QTest::newRow("full disk, download") << int(Kind::Download) << int(FaultType::DiskFull) << "" << true
                                             << QList<int>{0, 3};
        QTest::newRow("full disk, put") << int(Kind::LibraryPut) << int(FaultType::DiskFull) << "" << true
                                        << QList<int>{0, 4};
        QTest::newRow("full disk, empty meter") << int(Kind::Erase) << int(FaultType::DiskFull) << "" << false
                                                << QList<int>{0};
    }
    void statusesFollowTheOutcome()
    {
        QFETCH(int, kind);
        QFETCH(int, fault);
        QFETCH(QString, damaged);
        QFETCH(bool, held);
        QFETCH(QList<int>, allowed);
        SimEvents events;
        if (!damaged.isEmpty())
            events.damaged.insert(damaged.toStdString());
        const std::vector<int> got = allowedStatuses(Kind(kind), FaultType(fault), events, held);
        QCOMPARE(QList<int>(got.begin(), got.end()), allowed);
    }

    void twoProgramsTakeTurnsOnTheMeter_data()
    {
        QTest::addColumn<QString>("commands");   // as the meter heard them, space-separated
        QTest::addColumn<bool>("rivalServed");
        QTest::addColumn<bool>("mainRefused");
        QTest::addColumn<bool>("sound");
        QTest::newRow("rival first") << "$5 $3 $4 $*#" << true << false << true;
        QTest::newRow("rival last") << "$3 $4 $5" << true << false << true;
        QTest::newRow("rival in between") << "$3 $5 $4" << true << false << false;
        QTest::newRow("rival refused") << "$3 $4" << false << false << true;
        QTest::newRow("refused, yet heard") << "$5 $3" << true << true << false;
        QTest::newRow("refused, rival alone") << "$5" << true << true << true;
    }
    void twoProgramsTakeTurnsOnTheMeter()
    {
        QFETCH(QString, commands);
        QFETCH(bool, rivalServed);
        QFETCH(bool, mainRefused);
        QFETCH(bool, sound);
        std::vector<std::string> heard;
        for (const QString& c : commands.split(QLatin1Char(' ')))
            heard.push_back(c.toStdString());
        QCOMPARE(judgeTurns(heard, rivalServed, mainRefused).empty(), sound);
    }
};

QTEST_GUILESS_MAIN(TestSoakChecks)
#include "tst_SoakChecks.moc"
