#include "mainwindow/Main.h"

#include <QAction>
#include <QFileDialog>
#include <QLocale>
#include <QProgressDialog>

#include "archive/ArchiveQueue.h"
#include "mainwindow/ArchiveKeeper.h"
#include "platform/Prompts.h"
#include "settings/FileFolders.h"

namespace kr {

namespace {

const QString ImportingText = QStringLiteral("Importing data files into the readings archive...");

} // namespace

TArchiveImport* TfmMain::RunningImport() const { return archiveImport; }

void TfmMain::ImportFiles1Click()
{
    const QStringList files = QFileDialog::getOpenFileNames(
        this, QStringLiteral("Import Data Files"), startFolder(),
        QStringLiteral("KR data files and backups (*.krx data*.bak);;All files (*)"));
    if (files.isEmpty())
        return;
    rememberFolderOf(files.constFirst());
    ImportIntoArchive(files);
}

void TfmMain::ImportFolder1Click()
{
    const QString folder =
        QFileDialog::getExistingDirectory(this, QStringLiteral("Import a Folder of Data Files"), startFolder());
    if (folder.isEmpty())
        return;
    rememberFolderOf(folder + QStringLiteral("/."));
    ImportIntoArchive({folder});
}

// The window stays in use while the files are read: the progress is not
// modal, and its Cancel stops the import before the next file.
void TfmMain::ImportIntoArchive(const QStringList& paths)
{
    if (archiveImport)
        return;
    archiveImport = new TArchiveImport(archiveKeeper->Location(), paths, this);
    auto* progress = new QProgressDialog(ImportingText, QStringLiteral("Cancel"), 0, 0, this);
    progress->setObjectName(QStringLiteral("fmImportProgress"));
    progress->setWindowTitle(QStringLiteral("Import"));
    progress->setWindowModality(Qt::NonModal);
    progress->setAutoReset(false);
    progress->setAutoClose(false);
    progress->setMinimumDuration(400);
    importProgress = progress;
    connect(progress, &QProgressDialog::canceled, archiveImport, [this] {
        if (archiveImport)
            archiveImport->Cancel();
    });
    connect(archiveImport, &TArchiveImport::Progress, progress, [progress](int done, int total) {
        progress->setMaximum(total);
        progress->setValue(done);
        // Numbers written as the summary writes them.
        const QLocale english(QLocale::English);
        progress->setLabelText(ImportingText
                               + QStringLiteral("\n%1 of %2 files").arg(english.toString(done), english.toString(total)));
    });
    connect(archiveImport, &TArchiveImport::Finished, this, &TfmMain::importFinished);
    ImportFiles1->setEnabled(false);
    ImportFolder1->setEnabled(false);
    archiveImport->Start();
}

void TfmMain::SendWaiting1Click()
{
    const ArchiveLocation team = archiveKeeper->Location();
    if (archiveSend || team.engine != ArchiveLocation::PostgreSQL || !ArchiveQueueWaits())
        return;
    archiveSend = new TArchiveSend(team, this);
    connect(archiveSend, &TArchiveSend::Finished, this, [this] {
        TArchiveSend* sent = archiveSend;
        archiveSend = nullptr;
        if (!sent)
            return;
        sent->deleteLater();
        showMessage(sent->Error().isEmpty() ? MsgKind::Information : MsgKind::Warning, sent->Sentence());
    });
    archiveSend->Start();
}

void TfmMain::importFinished()
{
    ImportFiles1->setEnabled(true);
    ImportFolder1->setEnabled(true);
    // Gone now, timer and all: the summary's own loop would keep it on
    // screen, or show it, until a later delete.
    delete importProgress.data();
    TArchiveImport* import = archiveImport;
    archiveImport = nullptr;
    if (!import)
        return;
    import->deleteLater();
    MessageRequest told;
    if (!import->Error().isEmpty()) {
        told.kind = MsgKind::Error;
        told.text = import->Error();
    } else {
        const TArchive::ImportSummary& summary = import->Summary();
        told.kind = summary.unreadable.isEmpty() ? MsgKind::Information : MsgKind::Warning;
        told.text = summary.Sentence();
        if (import->WasCancelled())
            told.text = QStringLiteral("The import was stopped.\r\n") + told.text;
        told.details = summary.unreadable.join(QLatin1Char('\n'));
    }
    prompts().message(told);
}

} // namespace kr
