// kr-cli's argument parser: arguments are the input's pieces between zero
// bytes. A command line either parses or says what is wrong; a parsed one
// names a command that has a usage text.
#include <QString>
#include <QStringList>

#include "tests/fuzz/FuzzSupport.h"
#include "tools/cli/CliArgs.h"

using namespace kr;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QStringList args;
    for (std::string piece : fuzz::splitAfter(fuzz::bytes(data, size), '\0')) {
        if (!piece.empty() && piece.back() == '\0')
            piece.pop_back();
        args << QString::fromUtf8(piece.data(), qsizetype(piece.size()));
    }
    const cli::ParseResult result = cli::parseArguments(args);
    if (!result.ok())
        return 0;
    const cli::Command command = result.invocation.command;
    FUZZ_CHECK(command == cli::Command::None || !cli::commandName(command).isEmpty());
    FUZZ_CHECK(cli::usageText(command).endsWith(QLatin1Char('\n')));
    return 0;
}
