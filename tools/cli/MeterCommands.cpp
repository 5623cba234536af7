#include "tools/cli/MeterCommands.h"

#include "tools/cli/CliPrompts.h"

namespace kr::cli {

namespace {

int notYet(CliPrompts& prompts, Command command)
{
    prompts.print(QStringLiteral("%1 is not available in this build.").arg(commandName(command)));
    return ExitMeter;
}

} // namespace

int runDownload(const Invocation&, CliPrompts& prompts) { return notYet(prompts, Command::Download); }
int runErase(const Invocation&, CliPrompts& prompts) { return notYet(prompts, Command::Erase); }
int runSerial(const Invocation&, CliPrompts& prompts) { return notYet(prompts, Command::Serial); }

} // namespace kr::cli
