#pragma once
#include <QObject>

#include "meter/Exchanges.h"
#include "meter/MeterLink.h"
#include "platform/Interrupt.h"
#include "tools/cli/CliArgs.h"
#include "tools/cli/TerminalProgress.h"

namespace kr::cli {

class CliPrompts;

// The link, the exchanges and a document host without a window: the same
// pieces the main window puts together.
struct MeterSession {
    TerminalProgress progress{TerminalProgress::isTerminal(stderr)};
    TMeterLink link;
    TStandaloneHost host;
    TMeterExchanges exchanges{link, host};
    // Ctrl+C is the running exchange's Cancel: nothing erased after it, no
    // file written.
    InterruptWatch interrupt;

    MeterSession()
    {
        link.setProgress(&progress);
        QObject::connect(&interrupt, &InterruptWatch::interrupted, &exchanges, [this] { progress.Cancel(); });
    }
    ~MeterSession() { link.setProgress(nullptr); }
    // Whether Ctrl+C came while the command ran.
    bool interrupted() const { return interrupt.wasInterrupted(); }
};

// The port the command line names (--device, --port) or kr.ini's.
int portNumberFor(const Invocation& inv);
// Opens that port; says why not.
bool open(MeterSession& s, const Invocation& inv, CliPrompts& prompts);
// Waits (sleeping) until the bytes queued for the meter have left.
bool drained(MeterSession& s);

} // namespace kr::cli
