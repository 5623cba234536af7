#pragma once
#include <QString>
#include <functional>

#include "mainwindow/RecentFiles.h"

namespace kr {

class TFile;

// What the document commands need from the window that shows the document.
class DocumentView {
public:
    virtual ~DocumentView() = default;
    // Brings the view in line with the document after a load, save or download.
    virtual void RefreshDocumentView() = 0;
    // Hourglass on (and let pending events run so it shows) or back to normal.
    virtual void SetBusy(bool busy) = 0;
};

// Opening, saving and the save-changes question for the one data document,
// without any widget: dialogs and boxes go through kr::prompts(). Failures of
// the document's load and save are thrown on to the caller's error report.
class TDocumentWorkflow {
public:
    // The dialogs start where the user last chose a file (settings/FileFolders.h).
    TDocumentWorkflow(TFile& document, TRecentFiles& recentFiles, DocumentView& view);

    // True: the caller may go on and discard the document's state.
    // False: the user cancelled. A failed save throws.
    bool QuerySaveChanges();

    void btnOpenClick();
    void Save1Click();
    void SaveAs1Click();
    void MRUManager1Click(const QString& fileName);
    // The document as CSV or JSON for other tools, the bytes kr-cli convert writes.
    void Export1Click();
    // True when the window may close.
    bool FormCloseQuery();

    // Runs after a data file was opened or saved, with its name, once the
    // command has done its own work (the archive keeps the file).
    std::function<void(const QString& fileName)> fileDone;

private:
    void FileDone(const QString& fileName);
    // Shows the save dialog and asks before overwriting; the chosen name, or empty when the user backed out.
    QString AskSaveName();
    void SaveAndRemember(const QString& fileName);
    bool NameIsNone() const;

    TFile& doc;
    TRecentFiles& recent;
    DocumentView& view;
};

// Texts of the document commands.
namespace workflow_text {
inline const QString SaveChangesNamed = QStringLiteral("Do you wish to save the changes to \n\r");
inline const QString SaveChangesUnnamed = QStringLiteral("Do you wish to save these changes?");
inline const QString Overwrite = QStringLiteral("This file already exists, do you wish to overwrite?");
inline const QString OpenTitle = QStringLiteral("Open Data File");
inline const QString SaveTitle = QStringLiteral("Save Data File");
} // namespace workflow_text

} // namespace kr
