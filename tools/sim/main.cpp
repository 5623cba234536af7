#include <cstdio>
#include <string>
#include <vector>

#include "KrVersion.h"
#include "tools/sim/SimOptions.h"
#include "tools/sim/Simulator.h"

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    auto options = kr::sim::parseOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "kr-meter-sim: %s\n", error.c_str());
        return 1;
    }
    if (options->help) {
        std::fputs(kr::sim::helpText().c_str(), stdout);
        return 0;
    }
    if (options->version) {
        std::printf("kr-meter-sim %s\n", kr::Version);
        return 0;
    }
    kr::sim::Simulator simulator(*options);
    return simulator.run();
}
