#pragma once
#include <cmath>
#include <functional>
#include <string>

namespace kr {

// How far an exchange has got: the arithmetic of the progress display,
// kept apart from any window so it runs headless.
struct ProgressState {
    int ProgressMax = 0;
    int ProgressStep = 1;
    int ProgressTotal = 0;
    int percent = 0;

    void setUp(int maximum, int step)
    {
        ProgressMax = maximum;
        ProgressStep = step;
        ProgressTotal = 0;
        percent = 0;
    }
    void stepOnce()
    {
        ProgressTotal += ProgressStep;
        if (ProgressMax == 0) {
            percent = 0;
            return;
        }
        const double p = std::round(double(ProgressTotal) / double(ProgressMax) * 100.0);
        percent = p < 0 ? 0 : p > 100 ? 100 : int(p);
    }
};

// The progress display as the link and the exchanges see it. The window
// program shows a small dialog; the command line prints a line; tests record.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // caption is Windows-1252 text.
    virtual void SetUpProgress(int maximum, int step, const std::string& caption) = 0;
    virtual void StepProgress() = 0;
    // Shows the display and returns only once Close() has been called (by the
    // exchange, as it ends or is cancelled), letting events run meanwhile.
    virtual void ShowModal() = 0;
    // Shows the display and returns at once.
    virtual void ShowModeless() = 0;
    // Hides the display and ends a running ShowModal(); harmless when hidden.
    virtual void Close() = 0;
    // What the display's Cancel does (its button, Esc, closing it by hand):
    // calls onCancel while one is set. Without one Cancel is disabled, and
    // whyNot (Windows-1252; may be empty) tells the user why it cannot stop.
    virtual void SetCancel(const std::function<void()>& /*onCancel*/, const std::string& /*whyNot*/ = {}) {}
};

// A progress display that shows nothing (for headless callers and tests).
class NullProgress : public ProgressSink {
public:
    ProgressState state;
    void SetUpProgress(int maximum, int step, const std::string&) override { state.setUp(maximum, step); }
    void StepProgress() override { state.stepOnce(); }
    void ShowModal() override {}
    void ShowModeless() override {}
    void Close() override {}
};

} // namespace kr
