#include <QTest>

#include "meter/ProgressSink.h"

using namespace kr;

class TestProgressState : public QObject {
    Q_OBJECT

private slots:
    void percentAfterSteps_data();
    void percentAfterSteps();
    void setUpStartsAgainFromZero();
    void nullProgressCounts();
};

void TestProgressState::percentAfterSteps_data()
{
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("percent");
    QTest::newRow("library 1 of 38") << 38 << 1 << 1 << 3;
    QTest::newRow("library 19 of 38") << 38 << 1 << 19 << 50;
    QTest::newRow("library 37 of 38") << 38 << 1 << 37 << 97;
    QTest::newRow("library 38 of 38") << 38 << 1 << 38 << 100;
    QTest::newRow("library one past") << 38 << 1 << 39 << 100;
    QTest::newRow("library far past") << 38 << 1 << 500 << 100;
    QTest::newRow("set up, no step") << 38 << 1 << 0 << 0;
    QTest::newRow("maximum 0") << 0 << 1 << 1 << 0;
    QTest::newRow("maximum 0, many steps") << 0 << 1 << 100 << 0;
    QTest::newRow("upload 1 of 608 rounds down") << 608 << 1 << 1 << 0;
    QTest::newRow("upload 4 of 608 rounds up") << 608 << 1 << 4 << 1;
    QTest::newRow("upload 607 of 608") << 608 << 1 << 607 << 100;
    QTest::newRow("upload 604 of 608") << 608 << 1 << 604 << 99;
    QTest::newRow("step of 5") << 100 << 5 << 3 << 15;
    QTest::newRow("negative step stays 0") << 10 << -1 << 3 << 0;
    QTest::newRow("negative maximum stays 0") << -10 << 1 << 3 << 0;
    QTest::newRow("one record") << 1 << 1 << 1 << 100;
    QTest::newRow("625 records, 1 step") << 625 << 1 << 1 << 0;
    QTest::newRow("625 records, 313 steps") << 625 << 1 << 313 << 50;
}

void TestProgressState::percentAfterSteps()
{
    QFETCH(int, maximum);
    QFETCH(int, step);
    QFETCH(int, steps);
    QFETCH(int, percent);
    ProgressState s;
    s.setUp(maximum, step);
    for (int i = 0; i < steps; ++i)
        s.stepOnce();
    QCOMPARE(s.percent, percent);
    QCOMPARE(s.ProgressTotal, steps * step);
}

void TestProgressState::setUpStartsAgainFromZero()
{
    ProgressState s;
    s.setUp(10, 1);
    for (int i = 0; i < 7; ++i)
        s.stepOnce();
    QCOMPARE(s.percent, 70);
    s.setUp(38, 1);
    QCOMPARE(s.ProgressTotal, 0);
    QCOMPARE(s.percent, 0);
    QCOMPARE(s.ProgressMax, 38);
    s.stepOnce();
    QCOMPARE(s.percent, 3);
}

void TestProgressState::nullProgressCounts()
{
    NullProgress p;
    p.SetUpProgress(38, 1, "Downloading library from KR");
    p.ShowModal();
    p.StepProgress();
    p.Close();
    QCOMPARE(p.state.percent, 3);
}

QTEST_GUILESS_MAIN(TestProgressState)
#include "tst_progress_state.moc"
