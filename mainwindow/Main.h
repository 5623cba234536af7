#pragma once
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <optional>

#include "mainwindow/DocumentWorkflow.h"
#include "mainwindow/MainText.h"
#include "mainwindow/RecentFiles.h"
#include "core/Readings.h"
#include "mainwindow/MeterCommands.h"
#include "meter/Exchanges.h"
#include "print/PageOutput.h"
#include "print/Printing.h"
#include "settings/FormStorage.h"
#include "settings/Settings.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressDialog;
class QSplitter;
class QTableView;
class QToolButton;

namespace kr {

class TKRFile;
class TMeterLink;
class WindowLayout;
class TfmNote;
class TDataGridModel;
class TFactorCatalogue;
class TLibraryList;
class TLibraryExchanges;
class TfmMeterSetup;
class TSubFileList;
class TfmPrintDlg;
class TfmSetup;
class TfmLibPrintDlg;
class TfmGlance;
class TArchiveKeeper;
class TArchiveImport;
class TArchiveSend;
class TfmArchive;
class TfmInspection;

// The main window: toolbar, the user's notes, the meter-file list with its
// comment, the readings grid, and the document commands. It owns the one data
// document, the settings and the link to the meter.
class TfmMain : public QMainWindow, private DocumentView, private TDocumentHost {
    Q_OBJECT
public:
    struct Options {
        // How long the splash stays after the window was created.
        int splashMs = 3000;
        // Tests keep the serial port shut.
        bool openPort = true;
        // A data file to open as the window first shows (the file manager's double click).
        QString startFile;
    };

    explicit TfmMain(QWidget* parent = nullptr);
    explicit TfmMain(const Options& options, QWidget* parent = nullptr);
    ~TfmMain() override;

    TKRFile& Document() override { return *document; }
    TMeterLink& Link() { return meter->Link(); }
    TRecentFiles& RecentFiles() { return MRUManager1; }
    TDocumentWorkflow& Workflow() { return *workflow; }

    // The user's settings, read once while the window is created.
    Settings settings;

    // The meter file shown, 1..25.
    int CurrentFile() const;
    void ShowCurrentFile();
    void RefreshDocumentView() override;
    bool QuerySaveChanges() override;
    // Repaints the grid (after the document or the temperature scale changed).
    void RepaintGrid();

    // The splash window the splash timer releases; the reading note dialog.
    void SetSplash(QWidget* splash);
    void SetNoteDialog(TfmNote* note);
    // The about box, created once at start.
    void SetAboutDialog(QDialog* about);
    TMeterExchanges& Exchanges() { return meter->Exchanges(); }
    TLibraryExchanges& LibraryExchanges() { return meter->Library(); }
    // The library list editor, made at its first use with the catalogue.
    TfmMeterSetup* MeterSetup();
    TfmNote* NoteDialog();
    // The setup dialog, made at its first use.
    TfmSetup* Setup();
    // "Readings at a glance", made at its first use.
    TfmGlance* Glance();
    // What comes in is kept in the readings archive while the setup says so.
    TArchiveKeeper& ArchiveKeeper() { return *archiveKeeper; }
    // Imports these data files and folders into the archive on a thread of
    // its own, showing progress, then the summary; ignored while one runs.
    void ImportIntoArchive(const QStringList& paths);
    // The import running, if any.
    TArchiveImport* RunningImport() const;

    // Controls, named as the rest of the program and the tests know them.
    QToolButton* btnOpen = nullptr;
    QToolButton* btnSave = nullptr;
    QToolButton* btnClipboard = nullptr;
    QToolButton* btnDownload = nullptr;
    QToolButton* btnSetup = nullptr;
    QToolButton* btnClearKRM = nullptr;
    QToolButton* btnPrint = nullptr;
    QToolButton* btnGlance = nullptr;
    QToolButton* btnHelp = nullptr;
    QWidget* paTop = nullptr;
    QPlainTextEdit* memMemo = nullptr;
    QSplitter* RxSplitter1 = nullptr;
    QWidget* paFileList = nullptr;
    QToolButton* btnPrevious = nullptr;
    QToolButton* btnNext = nullptr;
    TSubFileList* cbSubFiles = nullptr;
    QLineEdit* edNote = nullptr;
    QTableView* dgData = nullptr;
    QMenu* File1 = nullptr;
    QAction* Open1 = nullptr;
    QAction* Save1 = nullptr;
    QAction* SaveAs1 = nullptr;
    QAction* Export1 = nullptr;
    QAction* ImportFiles1 = nullptr;
    QAction* ImportFolder1 = nullptr;
    QAction* Clipboard1 = nullptr;
    QAction* Archive1 = nullptr;
    QAction* InspectionReport1 = nullptr;
    QAction* SendWaiting1 = nullptr;
    QAction* Print1 = nullptr;
    QAction* PrintSetup1 = nullptr;
    QMenu* RecentFiles1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* Meter1 = nullptr;
    QAction* Download1 = nullptr;
    QAction* Erase1 = nullptr;
    QAction* SerialNo1 = nullptr;
    QAction* MeterList1 = nullptr;
    QAction* TestPort1 = nullptr;
    QMenu* Options1 = nullptr;
    QAction* System1 = nullptr;
    QAction* Glance1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* Contents1 = nullptr;
    QAction* HelpManual1 = nullptr;
    QAction* WorkingwithyourKR1 = nullptr;
    QAction* About1 = nullptr;
    QTimer tiSplash;

public slots:
    void btnOpenClick();
    void Save1Click();
    void SaveAs1Click();
    void Export1Click();
    void ImportFiles1Click();
    void ImportFolder1Click();
    void MRUManager1Click(const QString& fileName);
    void Exit1Click();
    void btnClipboardClick();
    void btnPreviousClick();
    void btnNextClick();
    void cbSubFilesChange();
    void dgDataDblClick();
    // Ctrl+C in the grid: the chosen cells as tab-separated text.
    void CopyGridCells();
    // Toolbar commands whose exchanges and dialogs come with their own windows.
    void btnDownloadClick();
    void btnSetupClick();
    void MeterList1Click();
    void btnClearKRMClick();
    void SerialNo1Click();
    void TestPort1Click();
    void btnPrintClick();
    void PrintSetup1Click();
    void System1Click();
    void Contents1Click();
    void HelpManual1Click();
    void WorkingwithyourKR1Click();
    void About1Click();
    void Glance1Click();
    // The readings archive's window; asked again, it comes to the front.
    void Archive1Click();
    // The inspection report's window; asked again, it comes to the front
    // with the archive's jobs read anew.
    void InspectionReport1Click();
    // Sends what waits for the team archive, on a thread of its own; the
    // outcome is told when it ends. Also at each start, after the splash.
    void SendWaiting1Click();
    // A document the archive made: the new, unsaved document, after the
    // question about unsaved changes.
    void OpenExportedDocument(TFile& exported);

signals:
    // The grid was filled anew: another meter file, a changed reading, a
    // download or a file opened. Views of the document follow it.
    void ViewChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetBusy(bool busy) override;
    void SetDownloadEnabled(bool enabled) override;
    void buildToolbar(QWidget* host);
    QWidget* buildNotesPanel();
    QWidget* buildFileListPanel();
    void buildGrid();
    void buildMenu();
    void rebuildRecentMenu();
    // Sets the title with room for the mark of unsaved changes.
    void setCaption(const QString& caption);
    // The widgets and the menu; these and attachLayout() are in MainLayout.cpp.
    void buildWindow();
    void edNoteChange();
    void edNoteExit();
    void memMemoChange();
    void storeComment();
    void FormShow();
    bool FormCloseQuery();
    void tiSplashTimer();
    void attachLayout();
    void FitColumns();
    TfmPrintDlg* PrintDlg();
    TPrintJob DataPrintJobNow();
    TPageSetup ReportPageSetup() const;
    void LibraryPrint();
    void importFinished();

    Options options;
    std::unique_ptr<TKRFile> document;
    // Before the meter commands, which keep their downloads through it.
    std::unique_ptr<TArchiveKeeper> archiveKeeper;
    QPointer<TArchiveImport> archiveImport;
    QPointer<TArchiveSend> archiveSend;
    QPointer<QProgressDialog> importProgress;
    // Before the list, which reads its catalogue, so that it goes after it.
    std::unique_ptr<TMeterCommands> meter;
    std::unique_ptr<TLibraryList> libraryList;
    QPointer<TfmMeterSetup> fmMeterSetup;
    TRecentFiles MRUManager1;
    std::unique_ptr<TDocumentWorkflow> workflow;
    std::unique_ptr<WindowLayout> layout;
    TDataGridModel* gridModel = nullptr;
    QPointer<QWidget> splash;
    QPointer<TfmNote> fmNote;
    QPointer<QDialog> fmAbout;
    QPointer<TfmPrintDlg> fmPrintDlg;
    QPointer<TfmSetup> fmSetup;
    QPointer<TfmLibPrintDlg> fmLibPrintDlg;
    QPointer<TfmGlance> fmGlance;
    QPointer<TfmArchive> fmArchive;
    QPointer<TfmInspection> fmInspection;
    // The setup dialog's print font once it has been shown in this run;
    // until then the reports use Arial 8.
    std::optional<StoredFont> setupPrintFont;
    bool shownOnce = false;
    // A first run (no column widths stored) fits the columns to the texts
    // until the user sizes one by hand; stored widths win from then on.
    bool fitColumnsToTexts = false;
    bool fittingColumns = false;
    // The view is being filled from the document, which is no edit.
    bool fillingView = false;
};

} // namespace kr
