#include <QCoreApplication>
#include <QGuiApplication>
#include <memory>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <exception>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "core/Regional.h"
#include "platform/Prompts.h"
#include "platform/SystemRegional.h"
#include "settings/Appglob.h"
#include "tools/cli/CliArgs.h"
#include "tools/cli/CliPrompts.h"
#include "tools/cli/Commands.h"

namespace {

void put(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char** argv)
{
    using namespace kr::cli;
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const ParseResult parsed = parseArguments(args);
    const bool prints = parsed.ok() && !parsed.invocation.help
        && (parsed.invocation.command == Command::Print || parsed.invocation.command == Command::PrintLibrary
            || parsed.invocation.command == Command::Report);
    // The link's timers need an event loop; printing needs fonts, which come
    // with a GUI application, but never a display.
    if (prints && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app =
        prints ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kr-cli"));
#if defined(_WIN32)
    // The export is exact bytes: no CR may be added in front of its LFs.
    _setmode(_fileno(stdout), _O_BINARY);
#endif

    if (!parsed.ok()) {
        put(stderr, QStringLiteral("kr-cli: %1\nTry 'kr-cli --help'.\n").arg(parsed.error));
        return ExitUsage;
    }
    const Invocation& inv = parsed.invocation;
    if (inv.help) {
        put(stdout, usageText(inv.command));
        return ExitOk;
    }

    if (!inv.home.isEmpty()) {
        if (!QFileInfo(inv.home).isDir()) {
            put(stderr, QStringLiteral("The folder %1 does not exist.\n").arg(inv.home));
            return ExitFile;
        }
        qputenv("KR_HOME", QDir(inv.home).absolutePath().toLocal8Bit());
    }
    kr::InitAppglob();

    // As the window program does at start: the system's separators and time
    // format, and the short date format it always shows.
    kr::RegionalSettings regional = kr::readSystemRegional();
    regional.shortDateFormat = "dd/mm/yyyy";
    kr::setRegional(regional);

    CliPrompts prompts(inv.yes);
    kr::setPrompts(&prompts);
    int status = ExitFile;
    try {
        status = runCommand(inv, prompts);
    } catch (const std::exception& e) {
        // Nothing should get here; if it does, say what and fail rather than abort.
        prompts.print(QString::fromLocal8Bit(e.what()));
    }
    kr::setPrompts(nullptr);
    return status;
}
