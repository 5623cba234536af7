#include "mainwindow/DocumentWorkflow.h"

#include <QDir>
#include <QFileInfo>

#include "core/AtomicFile.h"
#include "core/Readings.h"
#include "mainwindow/MainText.h"
#include "platform/DocumentExport.h"
#include "platform/Prompts.h"
#include "platform/Text.h"
#include "settings/Appglob.h"
#include "settings/FileFolders.h"

namespace kr {

namespace {

// Restores the cursor however the load ends.
class BusyScope {
public:
    explicit BusyScope(DocumentView& v) : view(v) { view.SetBusy(true); }
    ~BusyScope() { view.SetBusy(false); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    DocumentView& view;
};

MsgButton askWarning(const QString& text, MsgButtons buttons)
{
    return showMessage(MsgKind::Warning, text, buttons);
}

// A file that cannot be read in full leaves the document as it was: it is
// read into a document of its own and taken only when the whole file has been read.
void loadWhole(TFile& doc, const QString& fileName)
{
    TKRFile loaded;
    loaded.LoadFromFile(toNativePath(fileName));
    doc.Swap(loaded);
}

bool isBackupName(const QString& fileName)
{
    return QFileInfo(fileName).suffix().compare(QLatin1String("bak"), Qt::CaseInsensitive) == 0;
}

} // namespace

TDocumentWorkflow::TDocumentWorkflow(TFile& document, TRecentFiles& recentFiles, DocumentView& v)
    : doc(document), recent(recentFiles), view(v)
{
}

bool TDocumentWorkflow::NameIsNone() const { return doc.GetFileName() == TFile::NoFileName; }

QString TDocumentWorkflow::AskSaveName()
{
    FileDialogRequest r;
    r.title = workflow_text::SaveTitle;
    r.filters = {QStringLiteral("KR data files (*.krx)")};
    r.defaultSuffix = QStringLiteral("krx");
    const auto chosen = askSaveFile(r);
    if (!chosen || chosen->path.isEmpty())
        return {};
    if (const QString why = WriteRefusal(chosen->path); !why.isEmpty()) {
        showMessage(MsgKind::Warning, why);
        return {};
    }
    if (QFileInfo::exists(chosen->path) && askWarning(workflow_text::Overwrite, mbYes | mbCancel) != mbYes)
        return {};
    return chosen->path;
}

void TDocumentWorkflow::FileDone(const QString& fileName)
{
    if (fileDone)
        fileDone(fileName);
}

void TDocumentWorkflow::SaveAndRemember(const QString& fileName)
{
    doc.SaveToFile(toNativePath(fileName));
    recent.Add(fileName);
}

bool TDocumentWorkflow::QuerySaveChanges()
{
    if (!NameIsNone()) {
        const QString name = fromNativePath(doc.GetFileName());
        const MsgButton answer = askWarning(workflow_text::SaveChangesNamed + name + QLatin1Char('?'),
                                            mbYes | mbNo | mbCancel);
        if (answer == mbYes) {
            // Under the current name whatever it is, a backup included.
            doc.SaveToFile(doc.GetFileName());
            FileDone(name);
            return true;
        }
        return answer == mbNo;
    }
    const MsgButton answer = askWarning(workflow_text::SaveChangesUnnamed, mbYes | mbNo | mbCancel);
    if (answer == mbNo)
        return true;
    if (answer != mbYes)
        return false;
    const QString name = AskSaveName();
    if (name.isEmpty())
        return false;
    SaveAndRemember(name);
    FileDone(name);
    return true;
}

void TDocumentWorkflow::btnOpenClick()
{
    if (doc.IsModified() && !QuerySaveChanges())
        return;
    FileDialogRequest r;
    r.title = workflow_text::OpenTitle;
    r.filters = {QStringLiteral("KR Data Files (*.krx)"), QStringLiteral("KR Backup Files (*.bak)")};
    r.defaultSuffix = QStringLiteral("krx");
    const auto chosen = askOpenFile(r);
    if (!chosen || chosen->path.isEmpty())
        return;
    {
        BusyScope busy(view);
        loadWhole(doc, chosen->path);
    }
    recent.Add(chosen->path);
    view.RefreshDocumentView();
    FileDone(chosen->path);
}

void TDocumentWorkflow::Save1Click()
{
    if (!NameIsNone() && !isBackupName(fromNativePath(doc.GetFileName()))) {
        const QString name = fromNativePath(doc.GetFileName());
        SaveAndRemember(name);
        view.RefreshDocumentView();
        FileDone(name);
        return;
    }
    // No name yet, or a backup, which Save never writes over.
    const QString name = AskSaveName();
    if (name.isEmpty())
        return;
    SaveAndRemember(name);
    view.RefreshDocumentView();
    FileDone(name);
}

void TDocumentWorkflow::SaveAs1Click()
{
    const QString name = AskSaveName();
    if (name.isEmpty())
        return;
    SaveAndRemember(name);
    view.RefreshDocumentView();
    FileDone(name);
}

void TDocumentWorkflow::MRUManager1Click(const QString& fileName)
{
    if (doc.IsModified() && !QuerySaveChanges())
        return;
    loadWhole(doc, fileName);
    view.RefreshDocumentView();
    FileDone(fileName);
}

void TDocumentWorkflow::Export1Click()
{
    FileDialogRequest r;
    r.title = QStringLiteral("Export");
    r.filters = {QStringLiteral("CSV files (*.csv)"), QStringLiteral("JSON files (*.json)")};
    r.defaultSuffix = QStringLiteral("csv");
    if (!NameIsNone())
        r.fileName = QFileInfo(fromNativePath(doc.GetFileName())).completeBaseName();
    const std::optional<FileDialogResult> chosen = askSaveFile(r);
    if (!chosen || chosen->path.isEmpty())
        return;
    const QString path = chosen->path;
    if (const QString why = WriteRefusal(path); !why.isEmpty()) {
        showMessage(MsgKind::Warning, why);
        return;
    }
    if (!mayReplace(path))
        return;
    const std::string bytes = ExportsJson(path, chosen->filterIndex) ? jsonText(doc).toStdString() : csvText(doc);
    if (writeFileAtomically(toNativePath(path), bytes) != WriteResult::Ok)
        showMessage(MsgKind::Error, QStringLiteral("Cannot create file %1").arg(QDir::toNativeSeparators(path)));
}

bool TDocumentWorkflow::FormCloseQuery()
{
    return !doc.IsModified() || QuerySaveChanges();
}

} // namespace kr
