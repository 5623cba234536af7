#pragma once
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "tools/sim/CommandReader.h"
#include "tools/sim/MeterState.h"
#include "tools/sim/Replies.h"
#include "tools/sim/SimLog.h"
#include "tools/sim/SimOptions.h"

namespace kr::sim {

// The running meter. The main thread reads the pseudo-terminal, logs and recognises
// commands, so received bytes get their true arrival times even while a reply goes out;
// a second thread answers the commands in order and paces the output.
class Simulator {
public:
    explicit Simulator(SimOptions options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Runs until stopped; returns the process exit status.
    int run();

private:
    enum class Sent { Done, Stopped, Dropped, Failed };

    bool prepareState();
    bool openTerminal();
    bool makeLink();
    void removeLink();
    void readerLoop();
    void responderLoop();
    void answer(const CommandReader::Received& received);
    Sent transmit(const Transmission& t);
    bool writeBytes(const char* bytes, std::size_t count);
    bool sleepUntil(long long deadlineNs);
    void letLineDrain();
    bool stopRequested();
    void wakeMain(char why);

    SimOptions options;
    SimLog log;
    MeterState state;
    std::string device;
    int master = -1;
    int slave = -1;
    int responderWake[2] = {-1, -1};
    bool linkMade = false;

    std::mutex lock;
    std::condition_variable pending;
    std::deque<CommandReader::Received> queue;
    bool stopping = false;
    std::thread responder;
    std::atomic<int> exitStatus{0};
};

} // namespace kr::sim
