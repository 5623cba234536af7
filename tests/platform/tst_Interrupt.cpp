#include <QSignalSpy>
#include <QtTest>
#include <csignal>

#include "platform/Interrupt.h"

using namespace kr;

namespace {

volatile std::sig_atomic_t ownHandlerCalls = 0;

// Stands for whatever handled Ctrl+C before a watch (the default would end
// the test).
void ownHandler(int)
{
    ownHandlerCalls = ownHandlerCalls + 1;
}

} // namespace

class TestInterrupt : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        std::signal(SIGINT, ownHandler);
        ownHandlerCalls = 0;
    }

    void interruptArrivesInTheEventLoop()
    {
        InterruptWatch watch;
        QSignalSpy spy(&watch, &InterruptWatch::interrupted);
        QVERIFY(!watch.wasInterrupted());
        std::raise(SIGINT);
        QCOMPARE(spy.count(), 0);
        QVERIFY(spy.wait(5000));
        QVERIFY(watch.wasInterrupted());
        QCOMPARE(int(ownHandlerCalls), 0);
    }

    void interruptsBeforeTheDeliveryComeAsOne()
    {
        InterruptWatch watch;
        QSignalSpy spy(&watch, &InterruptWatch::interrupted);
        std::raise(SIGINT);
        std::raise(SIGINT);
        QVERIFY(spy.wait(5000));
        QVERIFY(!spy.wait(100));
        QCOMPARE(spy.count(), 1);
        std::raise(SIGINT);
        QVERIFY2(spy.wait(5000), "a later interrupt is delivered again");
        QCOMPARE(spy.count(), 2);
    }

    void nestedWatchesHandBackInTurn()
    {
        {
            InterruptWatch outer;
            QSignalSpy outerSpy(&outer, &InterruptWatch::interrupted);
            {
                InterruptWatch inner;
                QSignalSpy innerSpy(&inner, &InterruptWatch::interrupted);
                std::raise(SIGINT);
                QVERIFY(innerSpy.wait(5000));
                QCOMPARE(outerSpy.count(), 0);
            }
            std::raise(SIGINT);
            QVERIFY(outerSpy.wait(5000));
        }
        QCOMPARE(int(ownHandlerCalls), 0);
        const auto restored = std::signal(SIGINT, ownHandler);
        QVERIFY2(restored == &ownHandler, "the handler from before the watches is back");
        std::raise(SIGINT);
        QCOMPARE(int(ownHandlerCalls), 1);
    }
};

QTEST_GUILESS_MAIN(TestInterrupt)
#include "tst_Interrupt.moc"
