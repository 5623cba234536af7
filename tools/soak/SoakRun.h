#pragma once
#include <QByteArray>
#include <QElapsedTimer>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "library/ItemObj.h"
#include "tools/sim/MeterState.h"
#include "tools/soak/SoakChecks.h"

namespace kr::soak {

struct SoakOptions {
    std::uint64_t seed = 1;
    int cycles = 100;          // 0: as many as the minutes allow
    double minutes = 0;        // 0: no time limit
    QString sim;               // kr-meter-sim
    QString cli;               // kr-cli
    QString catalogue;         // Factors.dat copied into the program folder
    bool verbose = false;
};

// One cycle's plan, drawn from the seed and the cycle number alone so that a
// finding can be replayed with the same two numbers.
struct CyclePlan {
    Kind kind = Kind::Download;
    FaultType fault = FaultType::None;
    QString faultSpec;          // the simulator's --fault, if any
    qint64 leaveFree = 0;       // disk full: bytes left free in the program folder
};

// What one cycle left behind, for the judgements.
struct CycleRecord {
    int cycle = 0;
    CyclePlan plan;
    sim::MeterState before;
    sim::MeterState after;
    Slots slotsBefore;
    Slots slotsAfter;
    SimEvents events;
    int status = -1;
    QByteArray out;
    QString said;               // kr-cli's messages on one line
    qint64 simReadyAtMs = 0;    // wall-clock time once the simulator had started
    bool portRefused = false;   // kr-cli found another program on the port

    bool held() const { return !before.readings.empty(); }
    bool erased() const { return events.received("$*#"); }
};

struct Finding {
    int cycle = 0;
    QString what;
};

// Randomised cycles of kr-cli against the simulated meter, each one checked
// against the meter's state file, the simulator's log and the backups.
class SoakRun {
public:
    explicit SoakRun(SoakOptions options);
    ~SoakRun();
    SoakRun(const SoakRun&) = delete;
    SoakRun& operator=(const SoakRun&) = delete;

    // Runs the cycles and prints the summary; the exit status (1 on findings).
    int run();

private:
    bool setUp();
    void mountProgramFolder();
    CyclePlan plan(int cycle, int readingsHeld) const;
    void prepare(std::mt19937_64& rng);
    void runCycle(int cycle);
    void judgeStatus(const CycleRecord& r);
    void judgeBackups(const CycleRecord& r);
    void judgeMeter(const CycleRecord& r);
    void judgeClaims(const CycleRecord& r);
    void judgeFolder(const CycleRecord& r);
    void judgeRival(const CycleRecord& r, bool ended, int status, const QString& told);
    std::string putSpecies() const;
    QStringList cliArguments(Kind kind) const;
    void finding(int cycle, const CyclePlan& plan, const QString& what);
    void printSummary(qint64 elapsedMs) const;

    QString home(const QString& name = {}) const;
    QString work(const QString& name) const;
    Slots readSlots() const;
    bool writeFiller(qint64 leaveFree);
    void writePutList(std::mt19937_64& rng);

    SoakOptions options;
    std::unique_ptr<QTemporaryDir> dir;
    QString homePath;
    bool homeMounted = false;
    QString diskFullNote;
    TFactorCatalogue catalogue;
    std::vector<std::string> sendableCodes;
    std::vector<std::string> putCodes;
    std::vector<FaultType> faults;

    int cyclesRun = 0;
    QMap<QString, int> perKind;
    QMap<QString, int> perFault;
    QMap<int, int> perStatus;
    std::vector<Finding> findings;
    QElapsedTimer clock;
};

} // namespace kr::soak
