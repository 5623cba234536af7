#include "tools/archivegen/ArchiveGen.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/Readings.h"
#include "library/ItemObj.h"
#include "library/LibraryExchanges.h"
#include "platform/Text.h"

namespace kr {

namespace {

// Our own generator and distributions: the standard library's are allowed to
// differ between implementations, and a seed must give the same files anywhere.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state(seed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    double Uniform() { return double(Next() >> 11) * 0x1.0p-53; }
    int Below(int n) { return int(Next() % std::uint64_t(n)); }
    bool Chance(double p) { return Uniform() < p; }
    double Normal()
    {
        const double u = 1.0 - Uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * std::numbers::pi * Uniform());
    }
    template <typename T, std::size_t N> const T& Pick(const T (&items)[N])
    {
        return items[std::size_t(Below(int(N)))];
    }

private:
    std::uint64_t state;
};

const char* const Inspectors[] = {"Avery", "Brooks", "Carter", "Dalton", "Ellis", "Fraser", "Grant", "Hughes",
                                  "Irwin", "Jensen", "Keller", "Lowe", "Morgan", "Nolan", "Owens", "Porter",
                                  "Quinn", "Reid", "Sutton", "Tate", "Upton", "Vance", "Walsh", "Young"};
const char* const Clients[] = {"Smith", "Jones", "Taylor", "Brown", "Wilson", "Evans", "Thomas", "Roberts",
                               "Walker", "Wright", "Hall", "Green", "Baker", "Harris", "Clarke", "Lewis",
                               "Turner", "Hill", "Cooper", "Ward", "King", "Parker", "Bell", "Murphy"};
const char* const Streets[] = {"Mill", "Station", "Church", "Harbour", "Orchard", "Victoria", "Park", "Bridge",
                               "Quarry", "Kings", "Elm", "Chapel", "Forest", "Market", "School", "Ridge",
                               "Meadow", "Cedar", "Beacon", "Hillside", "River", "Willow", "Manor", "Clifton"};
const char* const StreetKinds[] = {"Road", "Street", "Lane", "Avenue", "Close", "Drive", "Way"};
const char* const Estates[] = {"Harbour View", "Oak Park", "Riverside", "Green Hills", "Sunset Ridge"};

// Where on a site a meter file was taken, and the moisture wood there tends to hold.
struct Part {
    const char* name;
    double mean, spread;
};
const Part WoodParts[] = {{"subfloor", 14, 2.5},  {"boards", 9, 1.5},       {"joists", 13, 2},
                          {"bearers", 15, 2.5},   {"studs", 12, 2},         {"roof sheathing", 11, 2},
                          {"deck", 16, 3},        {"stair treads", 9, 1.2}, {"window frames", 12, 2},
                          {"skirting", 9, 1.2},   {"kitchen floor", 10, 1.5}, {"framing", 13, 2.5}};
const char* const ReferenceParts[] = {"bathroom wall", "laundry wall", "ceiling", "chimney breast", "flat roof"};
const char* const ReadingNotes[] = {"re-checked", "near window", "pins 20 mm deep", "wet patch", "under sink",
                                    "end grain", "after heater on", "sample kept"};

constexpr int DaysPerYear = 365;

// Where a data file of the set lies and when it was downloaded.
struct Placement {
    int inspector = 0;
    double firstDay = 0;  // of the meter files it holds
    double spacing = 0;   // days from one download of the inspector to the next
};

Placement placementOf(const ArchiveGenOptions& options, int index)
{
    Placement p;
    p.inspector = index % options.inspectors;
    const int perInspector = std::max(1, (options.files + options.inspectors - 1) / options.inspectors);
    // A small set keeps downloads weeks apart rather than spreading them over the years.
    p.spacing = std::min(30.0, double(options.years * DaysPerYear) / perInspector);
    const int download = index / options.inspectors;  // of this inspector
    p.firstDay = EncodeDate(options.firstYear, 1, 4) + download * p.spacing;
    return p;
}

std::uint64_t seedOf(std::uint64_t seed, int index)
{
    Rng mix(seed ^ (std::uint64_t(index) * 0xD1B54A32D192ED03ULL));
    return mix.Next();
}

// Popular species are met far more often than rare ones: a Zipf weight on a
// fixed, seed-independent order of the wood species.
class SpeciesPicker {
public:
    explicit SpeciesPicker(const std::vector<GenSpecies>& species)
    {
        for (std::size_t i = 0; i < species.size(); ++i)
            (species[i].reference ? reference : wood).push_back(int(i));
        std::stable_sort(wood.begin(), wood.end(), [&](int a, int b) {
            return hash(species[std::size_t(a)].name) < hash(species[std::size_t(b)].name);
        });
        double total = 0;
        for (std::size_t rank = 0; rank < wood.size(); ++rank)
            cumulative.push_back(total += 1.0 / double(rank + 1));
    }
    int Wood(Rng& rng) const
    {
        const double at = rng.Uniform() * cumulative.back();
        const auto it = std::upper_bound(cumulative.begin(), cumulative.end(), at);
        return wood[std::size_t(std::min<std::ptrdiff_t>(it - cumulative.begin(), std::ptrdiff_t(wood.size()) - 1))];
    }
    int Reference(Rng& rng) const
    {
        return reference.empty() ? Wood(rng) : reference[std::size_t(rng.Below(int(reference.size())))];
    }

private:
    static std::uint64_t hash(const std::string& text)
    {
        std::uint64_t h = 1469598103934665603ULL;
        for (const char c : text)
            h = (h ^ std::uint8_t(c)) * 1099511628211ULL;
        return h;
    }
    std::vector<int> wood, reference;
    std::vector<double> cumulative;
};

std::string siteName(Rng& rng)
{
    const double kind = rng.Uniform();
    if (kind < 0.6)
        return std::to_string(1 + rng.Below(199)) + ' ' + rng.Pick(Streets) + ' ' + rng.Pick(StreetKinds);
    if (kind < 0.9)
        return std::string(rng.Pick(Clients)) + " job";
    return "Lot " + std::to_string(1 + rng.Below(120)) + ' ' + rng.Pick(Estates);
}

double roundTenth(double value) { return std::round(value * 10.0) / 10.0; }

void fillMeterFile(TFile& doc, int f, double day, const std::string& site, const std::vector<GenSpecies>& species,
                   const SpeciesPicker& picker, int siteSpecies, Rng& rng)
{
    const bool reference = rng.Chance(0.06);
    const GenSpecies& kind = species[std::size_t(reference ? picker.Reference(rng)
                                                           : (rng.Chance(0.7) ? siteSpecies : picker.Wood(rng)))];
    const Part part = reference ? Part{rng.Pick(ReferenceParts), 18, 6} : rng.Pick(WoodParts);
    doc.SetComment(f, site + ", " + part.name);
    const double mean = part.mean + rng.Normal() * part.spread * 0.6;
    // Warm summers, cold winters: the day of the year drives the temperature.
    int year = 0, month = 0, dayOfMonth = 0;
    DecodeDate(day, year, month, dayOfMonth);
    const double season = std::cos(2.0 * std::numbers::pi * (day - EncodeDate(year, 7, 20)) / DaysPerYear);
    const double temperature = 14.0 + 10.0 * season + rng.Normal() * 3.0;
    double minutes = 7.5 * 60 + rng.Uniform() * 8 * 60;
    for (int r = 1; r <= TSubFile::RecordCount; ++r) {
        TReading& reading = doc.GetReading(f, r);
        reading.SetSpecies(kind.name);
        reading.SetSG(kind.reference ? 0.0L : (long double)kind.sg);
        reading.SetSGApplies(kind.reference ? 0 : 1);
        double moisture = mean + rng.Normal();
        if (rng.Chance(0.01))
            moisture = 0;  // the pins missed the wood
        else if (rng.Chance(0.004))
            moisture = 25 + rng.Uniform() * 20;  // a leak
        reading.SetMoisture(roundTenth(std::clamp(moisture, 0.0, 99.9)));
        reading.SetTemperature(int(std::lround(temperature + rng.Uniform() * 2 - 1)));
        const int m = int(minutes) % (24 * 60);
        reading.SetDateTime(ComposeDateTime(std::floor(day), EncodeTime(m / 60, m % 60, rng.Below(60), 0)));
        doc.SetNote(f, r, rng.Chance(0.02) ? rng.Pick(ReadingNotes) : "");
        minutes += 1 + rng.Below(5);
    }
}

std::string inspectorName(int inspector)
{
    const int count = int(std::size(Inspectors));
    std::string name = Inspectors[inspector % count];
    if (inspector >= count)
        name += ' ' + std::to_string(inspector / count + 1);
    return name;
}

QString folderOf(const ArchiveGenOptions& options, int inspector, double day)
{
    int year = 0, month = 0, dayOfMonth = 0;
    DecodeDate(day, year, month, dayOfMonth);
    return QStringLiteral("%1/%2/%3").arg(options.out, QString::fromStdString(inspectorName(inspector))).arg(year);
}

void saveDated(TFile& doc, const QString& path)
{
    doc.SaveToFile(toNativePath(path));
    // The file's time is the download's, as it would be on the inspector's disk.
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    DecodeDate(doc.GetDateStamp(), year, month, day);
    DecodeTime(doc.GetDateStamp(), hour, minute, second, msec);
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        file.setFileTime(QDateTime(QDate(year, month, day), QTime(hour, minute, second)),
                         QFileDevice::FileModificationTime);
}

} // namespace

std::vector<GenSpecies> SpeciesFromCatalogue(const std::string& catalogueText)
{
    TFactorCatalogue catalogue;
    catalogue.LoadFromText(catalogueText);
    std::vector<GenSpecies> species;
    for (int i = 0; i < catalogue.Count(); ++i) {
        const TItem& item = catalogue.Item(i);
        const std::string name = TrimTrailingSpaces(item.GetName().substr(0, TItem::MeterNameLength));
        if (!name.empty() && item.GetSG() > 0)
            species.push_back({name, item.GetSG(), false});
    }
    for (const std::string& entry : TLibraryExchanges::DefaultWallRoofEntries()) {
        const std::string name = TrimTrailingSpaces(entry.substr(0, TItem::MeterNameLength));
        // The user-SG entry is a setting, not a scale readings are taken on.
        if (name.find("SG") == std::string::npos)
            species.push_back({name, 0, true});
    }
    return species;
}

void FillGeneratedDocument(TFile& doc, const ArchiveGenOptions& options, const std::vector<GenSpecies>& species,
                           int index)
{
    const SpeciesPicker picker(species);
    const Placement at = placementOf(options, index);
    Rng rng(seedOf(options.seed, index));
    doc.Clear();
    // A download covers a handful of sites, a few meter files each.
    std::string site = siteName(rng);
    int siteSpecies = picker.Wood(rng);
    double day = at.firstDay;
    for (int f = 1; f <= TFile::FileCount; ++f) {
        if (f > 1 && rng.Chance(0.25)) {
            site = siteName(rng);
            siteSpecies = picker.Wood(rng);
        }
        day = at.firstDay + std::floor((f - 1) * at.spacing / TFile::FileCount);
        fillMeterFile(doc, f, day, site, species, picker, siteSpecies, rng);
    }
    doc.SetDateStamp(ComposeDateTime(std::floor(day), EncodeTime(17, rng.Below(60), 0, 0)));
    std::vector<std::string> notes{"Downloaded by " + inspectorName(at.inspector) + "."};
    if (rng.Chance(0.5))
        notes.push_back("Meter KR-" + std::to_string(41000 + at.inspector * 37) + ", pins checked.");
    if (rng.Chance(0.3))
        notes.push_back("Report sent to the client.");
    doc.SetNotes(notes);
    doc.ClearModified();
}

ArchiveGenSummary GenerateArchiveFiles(const ArchiveGenOptions& options, const std::vector<GenSpecies>& species)
{
    ArchiveGenSummary summary;
    TKRFile doc;
    for (int i = 0; i < options.files; ++i) {
        FillGeneratedDocument(doc, options, species, i);
        const Placement at = placementOf(options, i);
        const QString folder = folderOf(options, at.inspector, doc.GetDateStamp());
        QDir().mkpath(folder);
        int year = 0, month = 0, day = 0;
        DecodeDate(doc.GetDateStamp(), year, month, day);
        const QString name = QStringLiteral("%1-%2-%3 %4.krx")
                                 .arg(year)
                                 .arg(month, 2, 10, QLatin1Char('0'))
                                 .arg(day, 2, 10, QLatin1Char('0'))
                                 .arg(i, 5, 10, QLatin1Char('0'));
        saveDated(doc, folder + QLatin1Char('/') + name);
        ++summary.files;
        summary.readings += doc.CountReadings();
        // Now and then the erase's backup lies about too: the same readings
        // as they came from the meter, without the notes added since.
        if (i % 25 == 1) {
            const QString backupFolder = QStringLiteral("%1/backup %2").arg(folder).arg(i, 5, 10, QLatin1Char('0'));
            QDir().mkpath(backupFolder);
            doc.SetNotes({});
            for (int f = 1; f <= TFile::FileCount; ++f)
                for (int r = 1; r <= TSubFile::RecordCount; ++r)
                    doc.SetNote(f, r, "");
            saveDated(doc, backupFolder + QStringLiteral("/data1.bak"));
            ++summary.backups;
            summary.readings += doc.CountReadings();
        }
    }
    return summary;
}

} // namespace kr
