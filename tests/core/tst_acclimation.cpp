// A room's target, locations over several downloads, when their wood has settled, and day comparisons.
#include <QTest>
#include <cmath>

#include "CoreTestUtil.h"
#include "core/Acclimation.h"
#include "core/Emc.h"
#include "tests/support/MoistureSample.h"

using namespace kr;
using kr::test::at;
using kr::test::putMoistures;
using S = std::string;

// A visit in March 2026 of one reading.
static TLocationVisit visit(int day, int hour, long double mean)
{
    return {at(2026, 3, day, hour), MoistureStatistics{0, 1, 0, 0, 0, 0, mean, mean, mean, 0}};
}

class TestAcclimation : public QObject {
    Q_OBJECT
private slots:
    void targetFromRoomStopsAtZero()
    {
        QCOMPARE(TargetFromRoom(10, {0, 1.5}), (MoistureRange{10, 11.5L}));
        QCOMPARE(TargetFromRoom(1.5, {2, 3}), (MoistureRange{0, 4.5L}));
    }

    void roomTargetText_data()
    {
        QTest::addColumn<double>("celsius");
        QTest::addColumn<double>("rh");
        QTest::addColumn<bool>("centigrade");
        QTest::addColumn<char>("sep");
        QTest::addColumn<S>("text");
        QTest::newRow("C") << 21.0 << 50.0 << true << '.' << S("Target 7.2-11.2 % from 21 \xB0" "C, 50 % RH (EMC 9.2 %)");
        QTest::newRow("typed in F") << CelsiusOf(70) << 50.0 << false << '.' << S("Target 7.2-11.2 % from 70 \xB0" "F, 50 % RH (EMC 9.2 %)");
        QTest::newRow("F, a decimal") << 21.0 << 50.0 << false << '.' << S("Target 7.2-11.2 % from 69.8 \xB0" "F, 50 % RH (EMC 9.2 %)");
        QTest::newRow("comma") << 21.5 << 50.5 << true << ',' << S("Target 7,2-11,2 % from 21,5 \xB0" "C, 50,5 % RH (EMC 9,2 %)");
        QTest::newRow("rounds to whole") << 20.96 << 49.96 << true << ',' << S("Target 7,2-11,2 % from 21 \xB0" "C, 50 % RH (EMC 9,2 %)");
    }
    void roomTargetText()
    {
        QFETCH(double, celsius);
        QFETCH(double, rh);
        QFETCH(bool, centigrade);
        QFETCH(char, sep);
        setRegional(test::withDecimal(sep));
        const S text = RoomTargetText(TargetFromRoom(9.2, {}), {0, celsius, rh, {}}, 9.2, centigrade);
        setRegional(RegionalSettings{});
        QTEST(text, "text");
    }

    void locationsByTrimmedComment()
    {
        TKRFile older, newer;
        older.SetComment(2, "  Subfloor ");
        putMoistures(older, 2, {11, 12});  // 5 March, 09:01 and 09:02
        older.SetComment(5, "   ");
        putMoistures(older, 5, {8});
        putMoistures(older, 7, {0, 0});
        test::putReference(older, 9, "Drywall", {20});
        newer.SetComment(1, "Subfloor");
        putMoistures(newer, 1, {10, 0});
        test::putReference(newer, 1, "Drywall", {20}, 3);
        for (int rec = 1; rec <= 3; ++rec)  // the zero and the drywall are later, but in no figure
            newer.GetReading(1, rec).SetDateTime(at(2026, 3, 6, 7 + rec));
        putMoistures(newer, 3, {9});  // not listed

        const std::vector<TLocationSeries> locations = LocationSeries({{&newer, {1}}, {&older, {}}}, MoistureRange{});
        QStringList names;
        for (const TLocationSeries& l : locations)
            names << QString::fromStdString(l.name) + ' ' + QString::number(l.visits.size());
        QCOMPARE(names, QStringList({"Subfloor 2", "Meter file 5 1"}));
        const std::vector<TLocationVisit>& subfloor = locations[0].visits;
        QCOMPARE(subfloor[0].when, at(2026, 3, 5, 9, 2));
        QCOMPARE(subfloor[1].when, at(2026, 3, 6, 8));
    }

    // Visits as {day of March, hour, mean}; target 8..10.
    void stability_data()
    {
        QTest::addColumn<QList<QList<double>>>("visits");
        QTest::addColumn<bool>("stable");
        QTest::addColumn<S>("reason");
        using V = QList<QList<double>>;
        const S stable = "Stable: 9.0 % on 05/03/2026 and 9.3 % on 06/03/2026, in the target.";
        QTest::newRow("once") << V{{5, 10, 9}} << false << S("Not yet stable: measured once.");
        QTest::newRow("23 hours") << V{{5, 10, 9}, {6, 9, 9.1}} << false << S("Not yet stable: no visit a day or more before the last.");
        QTest::newRow("exactly 24 hours") << V{{5, 10, 9}, {6, 10, 9.25}} << true << stable;
        // 12 is too recent, 5 not the newest a day before.
        QTest::newRow("newest a day before") << V{{4, 10, 5}, {5, 10, 9}, {5, 20, 12}, {6, 10, 9.25}} << true << stable;
        QTest::newRow("half a point") << V{{5, 10, 9}, {6, 10, 9.5}} << false << S("Not yet stable: moved 0.5 points between 05/03/2026 and 06/03/2026.");
        QTest::newRow("move before band") << V{{5, 10, 11.8}, {7, 10, 11}} << false << S("Not yet stable: moved 0.8 points between 05/03/2026 and 07/03/2026.");
        QTest::newRow("both outside") << V{{5, 10, 10.25}, {6, 12, 10.5}} << false << S("Not yet stable: 10.3 % on 05/03/2026 lies outside the target.");
        QTest::newRow("last outside") << V{{5, 10, 9.75}, {6, 12, 10.125}} << false << S("Not yet stable: 10.1 % on 06/03/2026 lies outside the target.");
    }
    void stability()
    {
        QFETCH(QList<QList<double>>, visits);
        TLocationSeries location{"Subfloor", {}};
        for (const QList<double>& v : visits)
            location.visits.push_back(visit(int(v[0]), int(v[1]), v[2]));
        const TStability s = Stability(location, MoistureRange{8, 10});
        QTEST(s.stable, "stable");
        QTEST(s.reason, "reason");
    }

    void compareByDayPoolsTheDaysBothHave()
    {
        // 5 March: 7, 9 (and a zero) and later 11, against 6; the other days one side only.
        const TLocationVisit twoReadings{at(2026, 3, 5, 10), {0, 2, 1, 0, 1, 0, 8, 7, 9, std::sqrt(2.0L)}};
        const TLocationSeries subfloor{"Subfloor", {twoReadings, visit(5, 15, 11), visit(7, 10, 9)}};
        const std::vector<TDayComparison> days =
            CompareByDay(subfloor, TLocationSeries{"Boards", {visit(5, 12, 6), visit(6, 10, 8)}}, 4);
        QCOMPARE(int(days.size()), 1);
        QCOMPARE(QList<int>({days[0].year, days[0].month, days[0].day}), QList<int>({2026, 3, 5}));
        const MoistureComparison& c = days[0].comparison;
        QCOMPARE(QList<int>({c.first.count, c.first.zeros, c.first.inRange, c.second.count}), QList<int>({3, 1, 1, 1}));
        QCOMPARE(QList<long double>({c.first.min, c.first.max, c.limit}), QList<long double>({7, 11, 4}));
        QVERIFY(std::fabs(c.first.mean - 9) < 1e-12L);
        QVERIFY(std::fabs(c.first.sd - 2) < 1e-12L);  // of 7, 9 and 11
        QVERIFY(std::fabs(c.difference - 3) < 1e-12L);
    }

    void comparedPairsEveryPairUpToFour()
    {
        using P = std::vector<std::pair<int, int>>;
        QVERIFY(ComparedPairs(1).empty());
        QCOMPARE(ComparedPairs(3), (P{{0, 1}, {0, 2}, {1, 2}}));
        QCOMPARE(ComparedPairs(5), (P{{0, 1}, {0, 2}, {0, 3}, {0, 4}}));
    }
};

QTEST_GUILESS_MAIN(TestAcclimation)
#include "tst_acclimation.moc"
