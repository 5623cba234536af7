#include <QtTest>
#include <string>
#include <vector>

#include "meter/LineCollector.h"

using kr::TLineCollector;

namespace {

// A collector on a clock the test moves by hand, recording every line.
struct Rig {
    std::int64_t now = 1000;
    TLineCollector collector{[this] { return now; }};
    std::vector<std::string> lines;
    Rig()
    {
        collector.setOnLine([this](const std::string& l) { lines.push_back(l); });
    }
    void feed(const std::string& bytes) { collector.feed(bytes); }
};

using Lines = std::vector<std::string>;

QString show(const Lines& lines)
{
    QStringList out;
    for (const auto& l : lines)
        out << QString::fromLatin1(QByteArray(l.data(), qsizetype(l.size())).toPercentEncoding());
    return out.join(QLatin1Char('|'));
}

} // namespace

class TestLineCollector : public QObject {
    Q_OBJECT
private slots:
    void createdDisarmedAndDropsEverything()
    {
        Rig r;
        QVERIFY(!r.collector.Enabled());
        r.feed("$3\r 1 05\r");
        QVERIFY(r.lines.empty());
        QCOMPARE(r.collector.pending(), size_t(0));
    }

    void cutsAtCarriageReturnWhateverTheChunkSize_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QByteArray>("expected");   // lines joined by '|'
        QTest::addColumn<QByteArray>("leftOver");
        QTest::newRow("echo and records")
            << QByteArray("$4\r 1  1 12Mar24 09:15 20 Douglas Fir    45 12.4\r 1  2 12Mar24 09:16 21 Douglas Fir    45  9\r")
            << QByteArray("$4\r| 1  1 12Mar24 09:15 20 Douglas Fir    45 12.4\r| 1  2 12Mar24 09:16 21 Douglas Fir    45  9\r")
            << QByteArray();
        QTest::newRow("a line feed after the carriage return ends the line with it")
            << QByteArray("$3\r\n 1 05\r\n 2 07\r\n")
            << QByteArray("$3\r| 1 05\r| 2 07\r")
            << QByteArray();
        QTest::newRow("only the one line feed after a carriage return")
            << QByteArray("a\nb\r\n\nc\r\r\n") << QByteArray("a\nb\r|\nc\r|\r") << QByteArray();
        QTest::newRow("empty lines are lines")
            << QByteArray("\r\r\r") << QByteArray("\r|\r|\r") << QByteArray();
        QTest::newRow("tail without carriage return stays pending")
            << QByteArray("$5\r12345") << QByteArray("$5\r") << QByteArray("12345");
        QTest::newRow("control bytes are kept")
            << QByteArray("a\tb\x1b\x7f\xff\r") << QByteArray("a\tb\x1b\x7f\xff\r") << QByteArray();
    }
    void cutsAtCarriageReturnWhateverTheChunkSize()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QByteArray, expected);
        QFETCH(QByteArray, leftOver);
        const std::string bytes(stream.constData(), size_t(stream.size()));
        for (size_t chunk = 1; chunk <= bytes.size(); ++chunk) {
            Rig r;
            r.collector.Arm();
            for (size_t at = 0; at < bytes.size(); at += chunk)
                r.feed(bytes.substr(at, chunk));
            QStringList got;
            for (const auto& l : r.lines)
                got << QString::fromLatin1(l.data(), qsizetype(l.size()));
            QCOMPARE(got.join(QLatin1Char('|')).toLatin1(), expected);
            QCOMPARE(r.collector.pending(), size_t(leftOver.size()));
        }
    }

    void zeroByteEndsTheTextHandedOn_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("inside") << QByteArray("ab\0cd\rnext\r", 11) << QByteArray("ab|next\r");
        QTest::newRow("first byte") << QByteArray("\0abc\rx\r", 7) << QByteArray("|x\r");
        QTest::newRow("just before CR") << QByteArray("abc\0\r", 5) << QByteArray("abc");
        QTest::newRow("after the CR begins the next line") << QByteArray("abc\r\0z\r", 7) << QByteArray("abc\r|");
        QTest::newRow("two zeros") << QByteArray("a\0b\0c\r", 6) << QByteArray("a");
    }
    void zeroByteEndsTheTextHandedOn()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QByteArray, expected);
        const std::string bytes(stream.constData(), size_t(stream.size()));
        for (size_t chunk = 1; chunk <= bytes.size(); ++chunk) {
            Rig r;
            r.collector.Arm();
            for (size_t at = 0; at < bytes.size(); at += chunk)
                r.feed(bytes.substr(at, chunk));
            QStringList got;
            for (const auto& l : r.lines)
                got << QString::fromLatin1(l.data(), qsizetype(l.size()));
            QCOMPARE(got.join(QLatin1Char('|')).toLatin1(), expected);
        }
    }

    void disarmingThrowsAwayTheUnfinishedLineAndLaterBytes()
    {
        Rig r;
        r.feed("early\r");
        r.collector.Arm();
        r.feed("$3\r 1 0");
        r.collector.Disarm();
        QVERIFY(!r.collector.Enabled());
        r.feed("5\r late\r");
        r.collector.Arm();
        r.feed("$5\r");
        QCOMPARE(show(r.lines), show({"$3\r", "$5\r"}));
    }

    void armingAgainKeepsTheUnfinishedLine()
    {
        Rig r;
        r.collector.Arm();
        r.feed("ab");
        r.collector.Arm();
        r.feed("c\r");
        QCOMPARE(show(r.lines), show({"abc\r"}));
    }

    void hasNoLengthLimit()
    {
        Rig r;
        r.collector.Arm();
        const std::string big(1 << 20, 'x');
        for (size_t at = 0; at < big.size(); at += 1000)
            r.feed(big.substr(at, 1000));
        QCOMPARE(r.collector.pending(), big.size());
        r.feed("\rtail\r");
        QCOMPARE(r.lines.size(), size_t(2));
        QCOMPARE(r.lines[0].size(), big.size() + 1);
        QCOMPARE(r.lines[1], std::string("tail\r"));
    }

    void manyLinesInOneStreamKeepTheirOrder()
    {
        Rig r;
        r.collector.Arm();
        std::string stream;
        Lines expected;
        for (int i = 0; i < 5000; ++i) {
            expected.push_back("line " + std::to_string(i) + "\r");
            stream += expected.back();
        }
        for (size_t at = 0; at < stream.size(); at += 7)
            r.feed(stream.substr(at, 7));
        QCOMPARE(r.lines.size(), expected.size());
        QVERIFY(r.lines == expected);
    }

    void disarmsItselfAfter2184TicksWithoutALine()
    {
        QCOMPARE(TLineCollector::SelfDisarmMs, std::int64_t(2184 * 55));
        Rig r;
        r.collector.Arm();
        r.now += TLineCollector::SelfDisarmMs - 1;
        QVERIFY(r.collector.Enabled());
        r.feed("a\r");   // a line restarts the count
        r.now += TLineCollector::SelfDisarmMs - 1;
        r.feed("b");     // bytes without a line do not
        QVERIFY(r.collector.Enabled());
        r.now += 1;
        QVERIFY(!r.collector.Enabled());
        r.feed("\rc\r");
        QCOMPARE(show(r.lines), show({"a\r"}));
        // Once run out, it stays disarmed until armed again.
        r.now += 10;
        r.feed("d\r");
        QCOMPARE(r.lines.size(), size_t(1));
        r.collector.Arm();
        r.feed("e\r");
        QCOMPARE(show(r.lines), show({"a\r", "e\r"}));
    }

    void armingRestartsTheSelfDisarmCount()
    {
        Rig r;
        r.collector.Arm();
        r.now += TLineCollector::SelfDisarmMs - 10;
        r.collector.Arm();
        r.now += 100;
        QVERIFY(r.collector.Enabled());
    }

    void handlerThatDisarmsDropsTheRest()
    {
        Rig r;
        r.collector.setOnLine([&](const std::string& l) {
            r.lines.push_back(l);
            r.collector.Disarm();
        });
        r.collector.Arm();
        r.feed("a\rb\rc");
        QCOMPARE(show(r.lines), show({"a\r"}));
        QCOMPARE(r.collector.pending(), size_t(0));
        r.collector.Arm();
        r.feed("d\r");
        QCOMPARE(show(r.lines), show({"a\r", "d\r"}));
    }

    void bytesArrivingInsideAHandlerFollowInOrder()
    {
        Rig r;
        bool fed = false;
        r.collector.setOnLine([&](const std::string& l) {
            r.lines.push_back(l);
            if (!fed) {
                fed = true;
                r.collector.feed("y\rz\r");
            }
        });
        r.collector.Arm();
        r.feed("a\rx");
        QCOMPARE(show(r.lines), show({"a\r", "xy\r", "z\r"}));
    }
};

QTEST_APPLESS_MAIN(TestLineCollector)
#include "tst_LineCollector.moc"
