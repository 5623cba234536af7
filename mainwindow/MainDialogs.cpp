#include "mainwindow/Main.h"

#include <QFileInfo>

#include "library/List.h"
#include "library/ui/MeterSetup.h"
#include "mainwindow/ArchiveKeeper.h"
#include "mainwindow/Glance.h"
#include "mainwindow/InspectionWindow.h"
#include "meter/MeterLink.h"
#include "platform/ErrorReport.h"
#include "platform/Help.h"
#include "platform/ui/SelectPortDialog.h"
#include "print/LibraryPrint.h"
#include "print/PrintJobs.h"
#include "print/ReportSetup.h"
#include "print/ui/Libpnt.h"
#include "print/ui/PrinterChoice.h"
#include "print/ui/Printdlg.h"
#include "settings/Appglob.h"
#include "settings/ui/Setup.h"

namespace kr {

TPageSetup TfmMain::ReportPageSetup() const { return PageSetupFrom(settings, setupPrintFont.value_or(StoredFont{})); }

// The Print dialog's choice of files, taken anew for each job.
TPrintJob TfmMain::DataPrintJobNow()
{
    return DataPrintJob(*document, DataPrintOptionsFor(ReportPageSetup(), fmPrintDlg->AllFiles(), CurrentFile(),
                                                       settings.Centigrade));
}

void TfmMain::btnPrintClick()
{
    if (PrintDlg()->exec() != QDialog::Accepted)
        return;
    runHandler([this] {
        printerChoice().Print(DataPrintJobNow(), PdfNameFor(document->GetFileName(), QStringLiteral("readings.pdf")));
    });
}

void TfmMain::PrintSetup1Click()
{
    printerChoice().Setup(this);
}

void TfmMain::LibraryPrint()
{
    const auto job = [this] {
        return LibraryPrintJob(libraryList->Selected(), meter->Catalogue(), libraryList->FileName(), ReportPageSetup());
    };
    if (!fmLibPrintDlg) {
        fmLibPrintDlg = new TfmLibPrintDlg(fmMeterSetup);
        fmLibPrintDlg->onPreview = [this, job] { printerChoice().Preview(fmLibPrintDlg, job()); };
    }
    if (fmLibPrintDlg->exec() != QDialog::Accepted)
        return;
    printerChoice().Print(job(), PdfNameFor(libraryList->FileName(), QStringLiteral("library.pdf")));
}

TfmSetup* TfmMain::Setup()
{
    if (!fmSetup) {
        TSetupHooks hooks;
        hooks.reopenPort = [this](int number) { meter->Link().Reopen(number); };
        hooks.testPort = [this](int number) { meter->Exchanges().btnTestClick(number); };
        hooks.help = [](int topic) { showHelp(topic); };
        hooks.archivePath = ArchivePathIn(QFileInfo(IniFilePath()).absolutePath());
        hooks.testArchive = [](const ArchiveLocation& at) { return DescribeArchive(at); };
        // Our own open port would count as in use and never be asked.
        hooks.findMeter = [this] {
            meter->Link().Close();
            return runFindMeterDialog(this);
        };
        fmSetup = new TfmSetup(std::move(hooks), this);
    }
    return fmSetup;
}

// Whatever the outcome, the port is opened anew on the settings' number and
// the grid repainted, so a changed temperature scale shows at once.
void TfmMain::System1Click()
{
    if (meter->Busy())
        return;
    TfmSetup* dialog = Setup();
    runHandler([this, dialog] { dialog->Execute(settings); });
    setupPrintFont = dialog->PrintFont();
    try {
        meter->Link().Reopen(settings.PortNumber);
    } catch (...) {
    }
    RepaintGrid();
}

TfmGlance* TfmMain::Glance()
{
    if (!fmGlance) {
        fmGlance = new TfmGlance(*document, [this] { return CurrentFile(); }, this);
        // The archive is read only while it is kept and has not failed this run.
        fmGlance->SetRoom({[this]() -> std::optional<std::vector<TRoomJob>> {
                               if (!settings.Archive || archiveKeeper->GaveUp())
                                   return std::nullopt;
                               return RoomJobsIn(archiveKeeper->Location());
                           },
                           [this] { return settings.Centigrade; }});
        connect(this, &TfmMain::ViewChanged, fmGlance, &TfmGlance::Refresh);
    }
    return fmGlance;
}

// Not modal, as the archive window; the report is built again on each
// showing, as downloads and jobs may have come since.
void TfmMain::InspectionReport1Click()
{
    if (!fmInspection) {
        InspectionWindowHooks hooks;
        hooks.document = [this]() -> const TFile& { return *document; };
        hooks.archive = [this] { return archiveKeeper->Location(); };
        hooks.archiveGaveUp = [this] { return archiveKeeper->GaveUp(); };
        hooks.options = [this] {
            return InspectionReportOptions(ReportPageSetup(), settings.Centigrade, IniFilePath());
        };
        runHandler([this, &hooks] { fmInspection = new TfmInspection(std::move(hooks), this); });
        if (!fmInspection)
            return;
        connect(this, &TfmMain::ViewChanged, fmInspection,
                [this] { runHandler([this] { fmInspection->DocumentChanged(); }); });
    } else {
        runHandler([this] { fmInspection->Refresh(); });
    }
    fmInspection->show();
    fmInspection->raise();
    fmInspection->activateWindow();
}

} // namespace kr
