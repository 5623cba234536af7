#include "shell/Startup.h"

#include <QApplication>

#include "mainwindow/Main.h"
#include "mainwindow/Note.h"
#include "meter/MeterLink.h"
#include "meter/PortProbe.h"
#include "platform/PortSearch.h"
#include "platform/ui/HelpViewer.h"
#include "platform/ui/WidgetPrompts.h"
#include "settings/Appglob.h"
#include "shell/Krsplash.h"
#include "shell/About.h"
#include "shell/Progress.h"

namespace kr {

TProgram::TProgram(const StartupOptions& options)
{
    InitAppglob();
    splash = new TfmSplash;
    splash->show();
    splash->repaint();
    QCoreApplication::processEvents();

    TfmMain::Options mainOptions;
    mainOptions.splashMs = options.splashMs;
    mainOptions.openPort = options.openPort;
    mainOptions.startFile = options.startFile;
    main = std::make_unique<TfmMain>(mainOptions);
    main->SetSplash(splash);
    // The other windows, each once, in a fixed order after the main window.
    note = new TfmNote(main.get());
    main->SetNoteDialog(note);
    about = new TfmAbout(main.get());
    main->SetAboutDialog(about);
    progress = new TfmProgress(main.get());
    main->Link().setProgress(progress);
    QObject::connect(&main->Exchanges(), &TMeterExchanges::SerialNoChanged, about, &TfmAbout::SetSerialNo);
}

TProgram::~TProgram()
{
    if (main)
        main->Link().setProgress(nullptr);
    main.reset();
    delete splash.data();
}

void TProgram::Show() { main->show(); }

TfmSplash* TProgram::fmSplash() const { return splash.data(); }

int runProgram(QApplication& app, const StartupOptions& options)
{
    // The window program asks with message boxes and dialogs, from its first
    // window to the last one's destruction.
    WidgetPrompts widgets;
    setPrompts(&widgets);
    // "Find meter" in the port dialogs asks the ports through the meter layer.
    setPortSearchFactory([] { return std::make_unique<TPortProbe>(); });
    installHelpViewer();
    int code = 0;
    {
        TProgram program(options);
        program.Show();
        code = app.exec();
    }
    setPortSearchFactory({});
    setPrompts(nullptr);
    return code;
}

} // namespace kr
