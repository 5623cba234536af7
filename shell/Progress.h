#pragma once
#include <QDialog>
#include <QProgressBar>
#include <functional>
#include <string>

#include "meter/ProgressSink.h"

class QGroupBox;
class QLabel;
class QPushButton;

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
// Created once and reused; stepping goes on while it is hidden. Its Cancel
// button, Escape and closing it by hand all ask the exchange to stop (the
// handler of SetCancel); the exchange then closes the window as it ends.
// While the exchange cannot be stopped, Cancel is disabled, the window says
// why and stays.
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
    void SetCancel(const std::function<void()>& onCancel, const std::string& whyNot = {}) override;

    const ProgressState& state() const { return progress; }
    int percent() const { return progress.percent; }
    bool isShownModally() const { return inModalLoop; }

    QGroupBox* gbProgress = nullptr;
    TGauge* guProgress = nullptr;
    QLabel* lblCannotCancel = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void requestCancel();
    void fitHeight();

    ProgressState progress;
    bool inModalLoop = false;
    std::function<void()> onCancel;
};

} // namespace kr
