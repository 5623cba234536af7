#pragma once
#include <QPointer>
#include <QString>
#include <memory>

class QApplication;

namespace kr {

class TfmMain;
class TfmNote;
class TfmSplash;
class TfmProgress;
class TfmAbout;

struct StartupOptions {
    // How long the splash stays after the main window was created.
    int splashMs = 3000;
    // Tests keep the serial port shut.
    bool openPort = true;
    // A data file to open at start (the command line's).
    QString startFile;
};

// The program from launch to its end: the splash first, then every window
// once, main window first, for the whole run.
class TProgram {
public:
    explicit TProgram(const StartupOptions& options = {});
    ~TProgram();
    TProgram(const TProgram&) = delete;
    TProgram& operator=(const TProgram&) = delete;

    // Shows the main window (its stored layout is applied as it shows).
    void Show();

    TfmMain* fmMain() const { return main.get(); }
    TfmNote* fmNote() const { return note; }
    TfmProgress* fmProgress() const { return progress; }
    TfmAbout* fmAbout() const { return about; }
    // The splash, until the main window's splash timer has released it.
    TfmSplash* fmSplash() const;

private:
    QPointer<TfmSplash> splash;
    std::unique_ptr<TfmMain> main;
    TfmNote* note = nullptr;
    TfmProgress* progress = nullptr;
    TfmAbout* about = nullptr;
};

// Runs the program, answering its prompts with widgets, until its main window
// closes; returns the exit code.
int runProgram(QApplication& app, const StartupOptions& options = {});

} // namespace kr
