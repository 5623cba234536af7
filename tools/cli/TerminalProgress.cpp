#include "tools/cli/TerminalProgress.h"

#include "core/Cp1252.h"

#include <utility>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kr::cli {

bool TerminalProgress::isTerminal(std::FILE* stream)
{
#if defined(_WIN32)
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

void TerminalProgress::SetUpProgress(int maximum, int step, const std::string& caption)
{
    progress.setUp(maximum, step);
    this->caption = cp1252ToUtf8(caption);
}

void TerminalProgress::StepProgress()
{
    progress.stepOnce();
    if (shown)
        draw();
}

void TerminalProgress::ShowModal()
{
    ShowModeless();
    QEventLoop wait;
    loop = &wait;
    wait.exec();
    loop = nullptr;
}

void TerminalProgress::ShowModeless()
{
    shown = true;
    draw();
}

void TerminalProgress::Close()
{
    if (shown && drawn && visible) {
        std::fputc('\n', out);
        std::fflush(out);
    }
    shown = false;
    drawn = false;
    if (loop)
        loop->quit();
}

void TerminalProgress::SetCancel(const std::function<void()>& onCancel, const std::string& why)
{
    cancel = onCancel;
    whyNot = cp1252ToUtf8(why);
}

bool TerminalProgress::Cancel()
{
    if (cancel) {
        std::exchange(cancel, nullptr)();
        return true;
    }
    if (!whyNot.empty()) {
        std::fprintf(out, "%s%s\n", drawn ? "\n" : "", whyNot.c_str());
        std::fflush(out);
        drawn = false;
    }
    return false;
}

void TerminalProgress::draw()
{
    if (!visible)
        return;
    // \x1b[K clears what a longer earlier line left behind. Before the first
    // reply there is nothing to count yet.
    if (progress.ProgressMax == 0)
        std::fprintf(out, "\r%s...\x1b[K", caption.c_str());
    else
        std::fprintf(out, "\r%s: %d of %d (%d%%)\x1b[K", caption.c_str(), progress.ProgressTotal,
                     progress.ProgressMax, progress.percent);
    std::fflush(out);
    drawn = true;
}

} // namespace kr::cli
