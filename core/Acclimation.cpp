#include "core/Acclimation.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "core/Readings.h"
#include "core/Regional.h"

namespace kr {

namespace {

// A temperature or humidity as typed: one decimal at most, "21" not "21.0".
std::string airFigureText(double value)
{
    const char separator = regional().decimalSeparator;
    std::string text = FormatFixed4(value, 1, separator);
    if (text.size() >= 2 && text[text.size() - 2] == separator && text.back() == '0')
        text.resize(text.size() - 2);
    return text == "-0" ? std::string("0") : text;
}

// The day of a visit as dates are shown elsewhere: the system's short date.
std::string visitDateText(TDateTime when) { return DateTimeToSystemText(std::trunc(when)); }

// "9.1 % on 05/03/2026"
std::string meanOnText(const TLocationVisit& visit)
{
    return MoistureFigureText(visit.figures.mean) + " % on " + visitDateText(visit.when);
}

// Meter times are whole seconds; two readings a day apart to the second must
// count as a day apart whatever the rounding of their fractions.
constexpr TDateTime HalfSecond = 0.5 / 86400;

// The newest reading's time among those in the meter file's figures: the same
// readings the chart shows.
TDateTime newestFigureTime(const TFile& doc, int fileNo)
{
    TDateTime newest = 0;
    bool any = false;
    for (const ReadingPoint& point : ReadingPoints(doc, fileNo, MoistureRange{})) {
        const TDateTime t = doc.GetDateTime(fileNo, point.record);
        if (!any || t > newest)
            newest = t;
        any = true;
    }
    return newest;
}

// The readings of several visits as if they were one meter file's.
MoistureStatistics pooled(const std::vector<const TLocationVisit*>& visits)
{
    MoistureStatistics s;
    long double sum = 0;
    for (const TLocationVisit* v : visits) {
        const MoistureStatistics& f = v->figures;
        s.zeros += f.zeros;
        s.leftOut += f.leftOut;
        s.reference += f.reference;
        if (!f.hasFigures())
            continue;
        s.min = s.count == 0 ? f.min : std::min(s.min, f.min);
        s.max = s.count == 0 ? f.max : std::max(s.max, f.max);
        s.count += f.count;
        s.inRange += f.inRange;
        sum += f.mean * f.count;
    }
    if (s.count == 0)
        return s;
    s.mean = sum / s.count;
    if (s.count > 1) {
        // Each visit's squares about its own mean, plus its shift from the pooled mean.
        long double squares = 0;
        for (const TLocationVisit* v : visits) {
            const MoistureStatistics& f = v->figures;
            if (!f.hasFigures())
                continue;
            squares += (f.count - 1) * f.sd * f.sd + f.count * (f.mean - s.mean) * (f.mean - s.mean);
        }
        s.sd = std::sqrt(squares / (s.count - 1));
    }
    return s;
}

using Day = std::tuple<int, int, int>;

std::map<Day, std::vector<const TLocationVisit*>> visitsByDay(const TLocationSeries& location)
{
    std::map<Day, std::vector<const TLocationVisit*>> days;
    for (const TLocationVisit& visit : location.visits) {
        int year = 0, month = 0, day = 0;
        DecodeDate(visit.when, year, month, day);
        days[{year, month, day}].push_back(&visit);
    }
    return days;
}

} // namespace

std::string StabilityText::stable(const TLocationVisit& earlier, const TLocationVisit& last)
{
    return "Stable: " + meanOnText(earlier) + " and " + meanOnText(last) + ", in the target.";
}

std::string StabilityText::moved(long double points, const TLocationVisit& earlier, const TLocationVisit& last)
{
    return "Not yet stable: moved " + MoistureFigureText(points) + " points between " + visitDateText(earlier.when) +
           " and " + visitDateText(last.when) + ".";
}

std::string StabilityText::outside(const TLocationVisit& visit)
{
    return "Not yet stable: " + meanOnText(visit) + " lies outside the target.";
}

MoistureRange TargetFromRoom(double emcPercent, const TRoomMargins& margins)
{
    return {std::max<long double>(0, emcPercent - margins.below), static_cast<long double>(emcPercent) + margins.above};
}

std::string RoomTargetText(const MoistureRange& target, const TSiteConditions& room, double emcPercent,
                           bool centigrade)
{
    const double temperature = centigrade ? room.celsius : room.celsius * 9 / 5 + 32;
    // "\xB0" stands apart: a hex escape would swallow the C or F after it.
    return "Target " + MoistureFigureText(target.low) + "-" + MoistureFigureText(target.high) + " % from " +
           airFigureText(temperature) + " \xB0" + (centigrade ? "C" : "F") + ", " + airFigureText(room.humidity) +
           " % RH (EMC " + MoistureFigureText(emcPercent) + " %)";
}

std::vector<TLocationSeries> LocationSeries(const std::vector<TVisitSource>& sources, const MoistureRange& range)
{
    std::vector<TLocationSeries> locations;
    for (const TVisitSource& source : sources) {
        if (!source.doc)
            continue;
        const TFile& doc = *source.doc;
        std::vector<int> files = source.files;
        if (files.empty())
            for (int f = 1; f <= TFile::FileCount; ++f)
                files.push_back(f);
        for (int f : files) {
            if (f < 1 || f > TFile::FileCount)
                continue;
            const MoistureStatistics figures = FileStatistics(doc, f, range);
            if (!figures.hasFigures())
                continue;
            std::string name = Trim(doc.GetComment(f));
            if (name.empty())
                name = "Meter file " + std::to_string(f);
            auto it = std::find_if(locations.begin(), locations.end(),
                                   [&](const TLocationSeries& l) { return l.name == name; });
            if (it == locations.end())
                it = locations.insert(locations.end(), TLocationSeries{name, {}});
            it->visits.push_back({newestFigureTime(doc, f), figures});
        }
    }
    for (TLocationSeries& location : locations)
        std::stable_sort(location.visits.begin(), location.visits.end(),
                         [](const TLocationVisit& a, const TLocationVisit& b) { return a.when < b.when; });
    return locations;
}

TStability Stability(const TLocationSeries& location, const MoistureRange& target)
{
    const std::vector<TLocationVisit>& visits = location.visits;
    if (visits.empty())
        return {false, StabilityText::NotMeasured};
    if (visits.size() == 1)
        return {false, StabilityText::MeasuredOnce};
    // The series is oldest first when LocationSeries made it; a caller's own may not be.
    const auto byTime = [](const TLocationVisit& a, const TLocationVisit& b) { return a.when < b.when; };
    const TLocationVisit& last = *std::max_element(visits.begin(), visits.end(), byTime);
    const TLocationVisit* earlier = nullptr;
    for (const TLocationVisit& v : visits)
        if (v.when <= last.when - StableGapDays + HalfSecond && (!earlier || v.when > earlier->when))
            earlier = &v;
    if (!earlier)
        return {false, StabilityText::NoEarlierVisit};
    const long double move = std::fabs(last.figures.mean - earlier->figures.mean);
    if (move >= StableDrift)
        return {false, StabilityText::moved(move, *earlier, last)};
    for (const TLocationVisit* v : {earlier, &last})
        if (!target.contains(v->figures.mean))
            return {false, StabilityText::outside(*v)};
    return {true, StabilityText::stable(*earlier, last)};
}

std::vector<TDayComparison> CompareByDay(const TLocationSeries& first, const TLocationSeries& second,
                                         long double limit)
{
    const auto firstDays = visitsByDay(first);
    const auto secondDays = visitsByDay(second);
    std::vector<TDayComparison> days;
    for (const auto& [day, visits] : firstDays) {
        const auto other = secondDays.find(day);
        if (other == secondDays.end())
            continue;
        TDayComparison d;
        std::tie(d.year, d.month, d.day) = day;
        d.comparison.first = pooled(visits);
        d.comparison.second = pooled(other->second);
        d.comparison.limit = limit;
        if (d.comparison.comparable())
            d.comparison.difference = d.comparison.first.mean - d.comparison.second.mean;
        days.push_back(d);
    }
    return days;
}

std::vector<std::pair<int, int>> ComparedPairs(int locations)
{
    std::vector<std::pair<int, int>> pairs;
    // Beyond four, every pair would be too many to read; the first location
    // (the reference, as the user listed it) against each of the others.
    const int firsts = locations <= 4 ? locations - 1 : 1;
    for (int i = 0; i < firsts; ++i)
        for (int j = i + 1; j < locations; ++j)
            pairs.emplace_back(i, j);
    return pairs;
}

} // namespace kr
