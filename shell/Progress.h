#pragma once
#include <QDialog>
#include <QProgressBar>
#include <string>

#include "meter/ProgressSink.h"

class QGroupBox;

namespace kr {

// The gauge of the progress window: fills from left to right in black on
// white and shows the percentage, in white where it lies over the filled part.
class TGauge : public QProgressBar {
    Q_OBJECT
public:
    explicit TGauge(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The small always-on-top window that shows how far a meter exchange has got.
// Created once and reused; stepping goes on while it is hidden. Closing it by
// hand only hides it: the exchange's own timers close it again later, which
// then does nothing.
class TfmProgress : public QDialog, public ProgressSink {
    Q_OBJECT
public:
    explicit TfmProgress(QWidget* parent = nullptr);

    void SetUpProgress(int maximum, int step, const std::string& caption) override;
    void StepProgress() override;
    // Runs a modal loop until Close() is called or the user closes the window.
    void ShowModal() override;
    void ShowModeless() override;
    void Close() override;

    const ProgressState& state() const { return progress; }
    int percent() const { return progress.percent; }
    bool isShownModally() const { return inModalLoop; }

    QGroupBox* gbProgress = nullptr;
    TGauge* guProgress = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    ProgressState progress;
    bool inModalLoop = false;
};

} // namespace kr
