#pragma once
#include <QEventLoop>
#include <cstdio>
#include <functional>
#include <string>

#include "meter/ProgressSink.h"

namespace kr::cli {

// The progress display of the command line: one line on standard error,
// rewritten in place as records arrive, and only when standard error is a
// terminal (scripts and logs get no carriage-return noise). A modal display
// is an event loop that the exchange's Close() ends.
class TerminalProgress final : public ProgressSink {
public:
    // `visible` decides whether anything is printed; isTerminal() tells the usual choice.
    explicit TerminalProgress(bool visible, std::FILE* out = stderr) : visible(visible), out(out) {}

    static bool isTerminal(std::FILE* stream);

    void SetUpProgress(int maximum, int step, const std::string& caption) override;
    void StepProgress() override;
    void ShowModal() override;
    void ShowModeless() override;
    void Close() override;
    void SetCancel(const std::function<void()>& onCancel, const std::string& whyNot) override;
    // Ctrl+C: the running exchange's Cancel. False when it cannot stop now;
    // the reason, if there is one, has been printed.
    bool Cancel();

    const ProgressState& state() const { return progress; }

private:
    void draw();

    bool visible;
    std::FILE* out;
    ProgressState progress;
    std::string caption;     // UTF-8
    bool shown = false;
    bool drawn = false;
    QEventLoop* loop = nullptr;
    std::function<void()> cancel;
    std::string whyNot;      // UTF-8
};

} // namespace kr::cli
