#pragma once
#include <string>
#include <utility>
#include <vector>

#include "core/Mtlutils.h"
#include "core/Statistics.h"

namespace kr {

class TFile;

// The air of a site at one visit, as the inspector measured it.
struct TSiteConditions {
    TDateTime when = 0;     // local time on the inspector's clock
    double celsius = 0;
    double humidity = 0;    // % RH
    std::string note;       // Windows-1252
};

// How far the target may lie below and above the room's EMC, in points of
// moisture content.
struct TRoomMargins {
    double below = 2;
    double above = 2;
    bool operator==(const TRoomMargins&) const = default;
};

// The target range for wood in a room whose air gives `emcPercent`: EMC less
// `below` to EMC plus `above`, never below 0.
MoistureRange TargetFromRoom(double emcPercent, const TRoomMargins& margins);

// "Target 7.2-11.2 % from 21 °C, 50 % RH (EMC 9.2 %)": the temperature in the
// user's scale, at most one decimal; regional decimals; Windows-1252.
std::string RoomTargetText(const MoistureRange& target, const TSiteConditions& room, double emcPercent,
                           bool centigrade);

// One download's wood readings of one location.
struct TLocationVisit {
    TDateTime when = 0;  // the newest reading's time
    MoistureStatistics figures;
};

// A location (a meter file's comment as the user named it) over the visits
// that measured it, oldest first.
struct TLocationSeries {
    std::string name;  // Windows-1252
    std::vector<TLocationVisit> visits;
};

// Where the readings of a report come from: a document, and which of its
// meter files belong (empty: every meter file holding readings).
struct TVisitSource {
    const TFile* doc = nullptr;
    std::vector<int> files;
};

// The locations of the documents, by name (the comment, trimmed; "Meter file
// 3" for one without a comment), in the order first met. A meter file without
// a wood reading with a moisture is no visit.
std::vector<TLocationSeries> LocationSeries(const std::vector<TVisitSource>& sources, const MoistureRange& range);

// Stable: the last two means at least a day apart (the newest visit, and the
// newest one a day or more before it) differ by less than half a point and
// both lie in the target.
inline constexpr TDateTime StableGapDays = 1.0;
inline constexpr long double StableDrift = 0.5;
struct TStability {
    bool stable = false;
    std::string reason;  // a sentence either way, Windows-1252, regional decimals
};
TStability Stability(const TLocationSeries& location, const MoistureRange& target);

// Stability's sentences, in one place for the report and its tests: "9.1 %
// on 05/03/2026", the date the system's short date.
struct StabilityText {
    static constexpr const char* NotMeasured = "Not yet stable: not measured.";
    static constexpr const char* MeasuredOnce = "Not yet stable: measured once.";
    static constexpr const char* NoEarlierVisit = "Not yet stable: no visit a day or more before the last.";
    static std::string stable(const TLocationVisit& earlier, const TLocationVisit& last);
    // |points|, the move between the two means.
    static std::string moved(long double points, const TLocationVisit& earlier, const TLocationVisit& last);
    static std::string outside(const TLocationVisit& visit);
};

// Two locations measured on the same day, against the limit of "Readings at a
// glance". A day's figures pool its visits' readings.
struct TDayComparison {
    int year = 0, month = 0, day = 0;
    MoistureComparison comparison;  // first: the first location
};
std::vector<TDayComparison> CompareByDay(const TLocationSeries& first, const TLocationSeries& second,
                                         long double limit);

// Which pairs of locations a report compares: every pair when there are at
// most four, else the first with each of the others.
std::vector<std::pair<int, int>> ComparedPairs(int locations);

} // namespace kr
