#pragma once
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "mainwindow/Main.h"
#include "meter/MeterLink.h"
#include "shell/Startup.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/SimMeter.h"

namespace kr::test {

// The whole program as started, with the simulated meter on port 7 and the
// program's folder in a temporary one. Link with kr_shell.
struct WiredProgram {
    ScriptedPrompts prompts;
    QTemporaryDir home;
    SimMeter sim;
    std::unique_ptr<TProgram> program;

    explicit WiredProgram(SimMeter::Options meter = {}) : sim(std::move(meter))
    {
        qputenv("KR_HOME", home.path().toLocal8Bit());
    }
    ~WiredProgram()
    {
        program.reset();
        qunsetenv("KR_PORT_7");
        qunsetenv("KR_HOME");
    }
    WiredProgram(const WiredProgram&) = delete;
    WiredProgram& operator=(const WiredProgram&) = delete;

    // The shipped catalogue in the program's folder, as an installed program has it.
    bool withShippedCatalogue() const
    {
        return QFile::copy(qEnvironmentVariable("KR_BUILD_DIR") + QStringLiteral("/shell/Factors.dat"),
                           home.filePath(QStringLiteral("Factors.dat")));
    }

    // Replies end after quietMs of silence (the program's own is 500 ms).
    bool start(int quietMs = 100)
    {
        if (!sim.start())
            return false;
        qputenv("KR_PORT_7", sim.devicePath().toLocal8Bit());
        StartupOptions options;
        options.splashMs = 0;
        options.openPort = false;
        program = std::make_unique<TProgram>(options);
        program->fmMain()->Link().PortNumber = 7;
        program->fmMain()->Link().setQuietInterval(quietMs);
        return true;
    }
};

} // namespace kr::test
