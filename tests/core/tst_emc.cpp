// The equilibrium moisture against the Wood Handbook's table of EMC by
// temperature and relative humidity (5 % to 90 %, each printed to 0.1).
#include <QtTest>
#include <cmath>

#include "core/Emc.h"

using namespace kr;

class TestEmc : public QObject {
    Q_OBJECT
private slots:
    void agreesWithTheHandbooksTable_data()
    {
        QTest::addColumn<double>("fahrenheit");
        QTest::addColumn<QList<double>>("printed");  // at 5, 10, ... % RH
        QTest::newRow("40 F") << 40.0
                              << QList<double>{1.4, 2.6, 3.7, 4.6, 5.5, 6.3, 7.1, 7.9, 8.7, 9.5, 10.4, 11.3, 12.3, 13.5, 14.9,
                                               16.5, 18.5, 21.0};
        QTest::newRow("70 F") << 70.0
                              << QList<double>{1.3, 2.5, 3.5, 4.5, 5.4, 6.2, 6.9, 7.7, 8.5, 9.2, 10.1, 11.0, 12.0, 13.1, 14.4,
                                               16.0, 17.9, 20.5};
        QTest::newRow("100 F") << 100.0
                               << QList<double>{1.2, 2.3, 3.3, 4.2, 5.0, 5.8, 6.5, 7.2, 7.9, 8.7, 9.5, 10.3, 11.2, 12.3, 13.6,
                                                15.1, 17.0};
    }
    void agreesWithTheHandbooksTable()
    {
        QFETCH(double, fahrenheit);
        QFETCH(QList<double>, printed);
        for (int i = 0; i < printed.size(); ++i) {
            const double rh = 5.0 * (i + 1);
            // Given in degrees Fahrenheit, and in Celsius as a user would type it.
            for (const double celsius : {CelsiusOf(fahrenheit), std::round(CelsiusOf(fahrenheit) * 10) / 10}) {
                const TEmc emc = EquilibriumMoisture(celsius, rh);
                QVERIFY2(emc.Known() && std::fabs(emc.percent - printed[i]) <= 0.3,
                         qPrintable(QStringLiteral("%1 C, %2 %: %3, printed %4").arg(celsius).arg(rh).arg(emc.percent).arg(printed[i])));
            }
        }
    }

    // Outside the equation's range there is no value, and a reason naming it.
    void refusesWhatItDoesNotCover_data()
    {
        QTest::addColumn<double>("celsius");
        QTest::addColumn<double>("rh");
        QTest::addColumn<QString>("why");  // empty: a value
        QTest::newRow("coldest") << -1.0 << 50.0 << QString();
        QTest::newRow("hottest, dry air") << 100.0 << 0.0 << QString();
        QTest::newRow("most humid") << 21.0 << 98.0 << QString();
        QTest::newRow("frost") << -1.5 << 50.0 << "from -1 to 100 \u00b0C (30 to 212 \u00b0F); -1.5 \u00b0C is outside";
        QTest::newRow("boiling") << 101.0 << 50.0 << "101 \u00b0C is outside";
        QTest::newRow("saturated") << 21.0 << 99.0 << "from 0 to 98 %; 99 % is outside";
        QTest::newRow("negative humidity") << 21.0 << -1.0 << "-1 % is outside";
        QTest::newRow("no temperature") << double(NAN) << 50.0 << "no temperature was given";
    }
    void refusesWhatItDoesNotCover()
    {
        QFETCH(double, celsius);
        QFETCH(double, rh);
        QFETCH(QString, why);
        const TEmc emc = EquilibriumMoisture(celsius, rh);
        QCOMPARE(emc.Known(), why.isEmpty());
        if (emc.Known())
            QVERIFY(emc.percent >= 0 && emc.percent < 30);
        else
            QVERIFY2(QString::fromStdString(emc.refusal).contains(why), emc.refusal.c_str());
    }
};

QTEST_GUILESS_MAIN(TestEmc)
#include "tst_emc.moc"
