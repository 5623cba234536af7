#pragma once
#include <QDialog>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "archive/Archive.h"
#include "settings/ArchiveLocation.h"

class QBarCategoryAxis;
class QChart;
class QChartView;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableView;
class QTabWidget;
class QValueAxis;

namespace kr {

class TFile;
class TArchiveReadingsModel;
class TArchiveSourcesModel;
class TArchiveFiguresModel;

// What the archive window needs of the main window.
struct ArchiveWindowHooks {
    // The archive to open.
    ArchiveLocation archive;
    // The user's temperature scale, as the main grid shows it.
    std::function<bool()> centigrade;
    // Takes a document made from the archive as the main window's new,
    // unsaved one (after asking about unsaved changes).
    std::function<void(TFile& exported)> openDocument;
};

// The readings archive: search it, see what was found and its figures, open
// a download as a document, put downloads in jobs and remove them. Not modal;
// one per main window.
class TfmArchive : public QWidget {
    Q_OBJECT
public:
    // The window on the archive beside kr.ini; nullptr, after telling the
    // user why, when the archive cannot be used.
    static TfmArchive* Open(ArchiveWindowHooks hooks, QWidget* parent);
    TfmArchive(std::unique_ptr<TArchive> archive, ArchiveWindowHooks hooks, QWidget* parent = nullptr);
    ~TfmArchive() override;

    TArchive& Archive() { return *archive; }
    // What the search boxes ask for, the chosen download left out.
    ArchiveFilter Filter() const;
    // Runs the search now; typing runs it once the user pauses.
    void Search();
    // The download or file chosen in the list, 0 for none.
    qint64 SelectedSource() const;
    void SelectSource(int row);
    TArchiveReadingsModel& Readings() { return *readingsModel; }
    TArchiveSourcesModel& Sources() { return *sourcesModel; }
    TArchiveFiguresModel& Figures() { return *figuresModel; }
    QChart* Chart() const { return chart; }

    QLineEdit* edSearch = nullptr;
    QCheckBox* chkSince = nullptr;
    QDateEdit* edSince = nullptr;
    QCheckBox* chkUntil = nullptr;
    QDateEdit* edUntil = nullptr;
    QComboBox* cbMeter = nullptr;
    QLineEdit* edSpecies = nullptr;
    QComboBox* cbJob = nullptr;
    QDoubleSpinBox* spnLow = nullptr;
    QDoubleSpinBox* spnHigh = nullptr;
    QPushButton* btnClear = nullptr;
    QTableView* tvSources = nullptr;
    QLabel* lblSources = nullptr;
    QPushButton* btnAllSources = nullptr;
    QPushButton* btnOpenDocument = nullptr;
    QPushButton* btnAssign = nullptr;
    QPushButton* btnRemove = nullptr;
    QTabWidget* tabs = nullptr;
    QTableView* tvReadings = nullptr;
    QLabel* lblCount = nullptr;
    QTableView* tvFigures = nullptr;
    QLabel* lblFigures = nullptr;
    QChartView* chartView = nullptr;
    QPushButton* btnHelp = nullptr;
    QPushButton* btnClose = nullptr;
    // Typing waits for a pause before it searches.
    QTimer tiSearch;

public slots:
    void btnOpenDocumentClick();
    void btnAssignClick();
    void btnRemoveClick();
    // Everything again: the jobs and meters offered, then the search.
    void Refresh();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildSearch();
    QWidget* buildSources();
    QWidget* buildReadings();
    QWidget* buildFigures();
    void buildChart();
    void fillChoices();
    void searchSoon();
    void showReadings();
    void fillFigures(const ArchiveFilter& filter);
    void fillChart();
    void sourceChosen();
    void updateButtons();
    int selectedRow() const;
    // Closes the live queries, which a change to the archive must not run under.
    void releaseQueries();
    // Makes a change with the queries closed, then searches again.
    void changeArchive(const std::function<void()>& change);

    std::unique_ptr<TArchive> archive;
    ArchiveWindowHooks hooks;
    TArchiveReadingsModel* readingsModel = nullptr;
    TArchiveSourcesModel* sourcesModel = nullptr;
    TArchiveFiguresModel* figuresModel = nullptr;
    QChart* chart = nullptr;
    QBarCategoryAxis* axisSpecies = nullptr;
    QValueAxis* axisMoisture = nullptr;
    ArchiveFilter searched;
    bool filling = false;
};

// "Assign to job": a job for a download, or for one of its meter files: one
// the archive has, or a new one with its site, client and notes.
class TfmAssignJob : public QDialog {
    Q_OBJECT
public:
    // `files`: the download's meter files as "number: comment" choices.
    TfmAssignJob(const std::vector<TArchive::Job>& jobs, const std::vector<std::pair<int, QString>>& files,
                 QWidget* parent = nullptr);

    // 0 for the whole download.
    int FileNo() const;
    bool IsNewJob() const;
    TArchive::Job Job() const;

    QComboBox* cbFiles = nullptr;
    QRadioButton* rbExisting = nullptr;
    QComboBox* cbJobs = nullptr;
    QRadioButton* rbNew = nullptr;
    QLineEdit* edName = nullptr;
    QLineEdit* edSite = nullptr;
    QLineEdit* edClient = nullptr;
    QLineEdit* edNotes = nullptr;
    QPushButton* btnOK = nullptr;

private:
    void update();
    const std::vector<TArchive::Job> jobs;
};

} // namespace kr
