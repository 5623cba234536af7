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

    // Interrupts raised before the loop runs come as one delivery; a later one as another.
    void interruptArrivesInTheEventLoopOncePerDelivery()
    {
        InterruptWatch watch;
        QSignalSpy spy(&watch, &InterruptWatch::interrupted);
        QVERIFY(!watch.wasInterrupted());
        std::raise(SIGINT);
        std::raise(SIGINT);
        QCOMPARE(spy.count(), 0);
        QVERIFY(spy.wait(5000));
        QVERIFY(watch.wasInterrupted());
        QVERIFY(!spy.wait(100));
        std::raise(SIGINT);
        QVERIFY(spy.wait(5000));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(int(ownHandlerCalls), 0);
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
