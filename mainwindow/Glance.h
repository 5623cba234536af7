#pragma once
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "mainwindow/RoomTarget.h"
#include "settings/GlanceSettings.h"

class QChart;
class QChartView;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTableView;
class QValueAxis;

namespace kr {

class TFile;
class TGlanceTableModel;

// Where a target from the room comes from: the archive's jobs with site
// conditions (none while the archive is not kept), and the user's
// temperature scale for saying the room's air.
struct TGlanceRoom {
    std::function<std::optional<std::vector<TRoomJob>>()> jobs;  // nullopt: no archive kept
    std::function<bool()> centigrade;
};

// "Readings at a glance": the moisture statistics of the document, a chart of
// the meter file the main window shows against the target range, and a
// comparison of two meter files. Not modal; the main window calls Refresh()
// whenever its document or its meter file changes.
class TfmGlance : public QWidget {
    Q_OBJECT
public:
    TfmGlance(const TFile& doc, std::function<int()> currentFile, QWidget* parent = nullptr);
    ~TfmGlance() override;

    void Refresh();
    // Asks for the jobs now and whenever the window is shown again.
    void SetRoom(TGlanceRoom room);
    const GlanceSettings& Values() const { return values; }
    // The range the table, the chart and the copy measure against: the
    // room's while "Target from the room" gives one, else the stored one.
    MoistureRange TargetRange() const { return roomRange.value_or(values.range); }
    TGlanceTableModel& Table() { return *model; }
    QChart* Chart() const { return chart; }
    // The chart as the window shows it, as PNG bytes (twice the screen's
    // pixels) or as a one-page landscape A4 PDF.
    QByteArray ChartPng() const;
    QByteArray ChartPdf() const;

    QDoubleSpinBox* spnLow = nullptr;
    QDoubleSpinBox* spnHigh = nullptr;
    QDoubleSpinBox* spnLimit = nullptr;
    QCheckBox* chkFromRoom = nullptr;
    QComboBox* cbRoomJob = nullptr;
    QDoubleSpinBox* edRoomBelow = nullptr;
    QDoubleSpinBox* edRoomAbove = nullptr;
    QLabel* lbRoomTarget = nullptr;
    QTableView* tblStats = nullptr;
    QLabel* lblZeros = nullptr;
    QChartView* chartView = nullptr;
    QComboBox* cbFirst = nullptr;
    QComboBox* cbSecond = nullptr;
    QLabel* lblMeans = nullptr;
    QLabel* lblVerdict = nullptr;
    QPushButton* btnSaveChart = nullptr;
    QPushButton* btnCopy = nullptr;
    QPushButton* btnHelp = nullptr;
    QPushButton* btnClose = nullptr;

public slots:
    void btnSaveChartClick();
    void btnCopyClick();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QWidget* buildSettingsRow();
    QWidget* buildRoomRow();
    void loadRoomJobs();
    // Works out the room's target and shows it, or the stored range.
    void updateRoom();
    void showRange(const MoistureRange& range);
    void roomEdited();
    QWidget* buildComparisonRow();
    void buildChart();
    void fillChart();
    void fillFileChoices();
    void updateComparison();
    void valuesEdited();

    const TFile& doc;
    std::function<int()> currentFile;
    GlanceSettings values;
    TGlanceRoom room;
    std::vector<TRoomJob> roomJobs;
    std::optional<MoistureRange> roomRange;
    TGlanceTableModel* model = nullptr;
    QChart* chart = nullptr;
    QValueAxis* axisX = nullptr;
    QValueAxis* axisY = nullptr;
    // Until the user picks files to compare, the first two that hold readings are.
    bool comparisonChosen = false;
    bool filling = false;
};

} // namespace kr
