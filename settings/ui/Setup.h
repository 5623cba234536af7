#pragma once
#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "settings/ArchiveLocation.h"
#include "settings/FormStorage.h"
#include "settings/Margins.h"
#include "settings/Settings.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QToolButton;

namespace kr {

class WindowLayout;

// What the setup dialog asks of the rest of the program. Each may be left
// empty; the dialog then does nothing for it.
struct TSetupHooks {
    // Close the serial port, give it this number and open it again. Raises
    // KrError with the port's message when the open fails; the dialog says it
    // in the line under the port.
    std::function<void(int number)> reopenPort;
    // "Test serial port" on this number; it tells the user itself.
    std::function<void(int number)> testPort;
    // "Find meter": closes the program's port, asks every free port for the
    // KR (showing progress, with Cancel) and returns the port where one
    // answered. The dialog opens its port again afterwards.
    std::function<std::optional<int>()> findMeter;
    std::function<void(int topic)> help;
    // The single user's archive file, named beside its choice.
    QString archivePath;
    // "Test connection": what the archive at that location holds, or why it
    // cannot be used (it may ask for a password).
    std::function<QString(const ArchiveLocation&)> testArchive;
};


// The system setup dialog: serial port, print margins, print font,
// temperature scale, the unit the margins are shown in, whether the
// readings archive keeps what comes in and where it is (the file, or a
// team's PostgreSQL server, kept in kr.ini without its password), and the
// inspector's name that inspection reports carry.
//
// The print font is the font of lblPrinterFont. Until the dialog has been
// shown in the run it is the design value StoredFont{} (Arial 8, black,
// regular), whatever kr.ini holds; from the first showing on it is the font
// the dialog's form storage restored from section "TfmSetup", or the one
// chosen since. The storage saves it whenever the dialog closes.
class TfmSetup : public QDialog {
    Q_OBJECT
public:
    // FormCreate: the form storage uses IniFilePath().
    explicit TfmSetup(TSetupHooks hooks = {}, QWidget* parent = nullptr);
    ~TfmSetup() override;

    // Shows the dialog modally on the main window's settings. The port list
    // changes settings.PortNumber at once; the save button copies the rest
    // into settings and writes them to kr.ini. True when the dialog was left
    // with the save button. Afterwards the caller reopens the port with
    // settings.PortNumber and repaints.
    bool Execute(Settings& settings);
    // The same without waiting: shows the dialog and returns (tests).
    void Open(Settings& settings);

    const StoredFont& PrintFont() const { return printFont; }

    // Picks this port in the list, as the user would (the port is reopened);
    // a number the list lacks is added to it.
    void choosePort(int number);
    // The number of the port picked in the list.
    int chosenPort() const;

    QToolButton* btnOK = nullptr;
    QToolButton* RxSpeedButton2 = nullptr;
    QToolButton* RxSpeedButton3 = nullptr;
    QTabWidget* nbSetup = nullptr;
    QComboBox* cbPort = nullptr;
    // Why the chosen port could not be opened; empty once it opens.
    QLabel* lblPortStatus = nullptr;
    QPushButton* btnTest = nullptr;
    QPushButton* btnFindMeter = nullptr;
    QDoubleSpinBox* seTopMargin = nullptr;
    QDoubleSpinBox* seRightMargin = nullptr;
    QDoubleSpinBox* seBottomMargin = nullptr;
    QDoubleSpinBox* seLeftMargin = nullptr;
    QLabel* lblTopUnit = nullptr;
    QLabel* lblRightUnit = nullptr;
    QLabel* lblBottomUnit = nullptr;
    QLabel* lblLeftUnit = nullptr;
    QLabel* lblPrinterFont = nullptr;
    QPushButton* btnPrinterFont = nullptr;
    QRadioButton* rbFahrenheit = nullptr;
    QRadioButton* rbCentigrade = nullptr;
    QRadioButton* rbImperial = nullptr;
    QRadioButton* rbMetric = nullptr;
    QCheckBox* chkArchive = nullptr;
    QRadioButton* rbArchiveFile = nullptr;
    QRadioButton* rbArchiveServer = nullptr;
    QPushButton* btnArchiveServer = nullptr;
    // The server's address as chosen, under its button.
    QLabel* lblArchiveServer = nullptr;
    // "Team Archive": the server's fields and "Test connection".
    QDialog* dlgArchiveServer = nullptr;
    QLineEdit* edArchiveHost = nullptr;
    QSpinBox* seArchivePort = nullptr;
    QLineEdit* edArchiveDatabase = nullptr;
    QLineEdit* edArchiveUser = nullptr;
    QComboBox* cbArchiveSsl = nullptr;
    QPushButton* btnTestArchive = nullptr;
    QLabel* lblArchiveTest = nullptr;
    QLineEdit* edInspector = nullptr;

public slots:
    void btnOKClick();
    void RxSpeedButton2Click();
    void RxSpeedButton3Click();
    void btnTestClick();
    void btnFindMeterClick();
    void rbMetricClick();
    void rbImperialClick();
    void lblPrinterFontDblClick();
    void btnTestArchiveClick();
    // Opens "Team Archive"; OK chooses the server, Cancel puts its fields back.
    void btnArchiveServerClick();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* buildCommunications();
    QWidget* buildPrinting();
    QWidget* buildGeneral();
    QWidget* buildArchive();
    void FormShow();
    void ApplyUnits();
    void ShowMargins();
    void ReadMargins();
    int readMargin(const QDoubleSpinBox* box) const;
    // Lists the ports that exist, and `keep` whether it exists or not.
    void fillPorts(int keep);
    void cbPortChange();
    // Closes, renumbers and opens the port; the line under the port says
    // why when it failed, and clears when it opened.
    void reopenPort(int number);
    void showPortProblem(int number, const QString& error);
    // What Save would keep, to tell whether leaving loses anything.
    struct Values {
        int port = 1;
        TMargins margins;
        bool centigrade = true;
        bool metric = true;
        bool archive = true;
        QString inspector;
        ArchiveLocation archiveAt;
        bool operator==(const Values&) const = default;
    };
    Values shownValues() const;
    // Puts the port back as it was at show and closes.
    void leaveWithoutSaving();
    void setPrintFont(const StoredFont& font);
    // Where the page says the archive is; the file beside kr.ini for the file.
    ArchiveLocation shownArchive() const;
    void showArchive(const ArchiveLocation& at);
    ArchiveLocation serverFields() const;
    void showServerFields(const ArchiveLocation& at);
    void showServerLine();
    void buildArchiveServer();

    TSetupHooks hooks;
    std::unique_ptr<WindowLayout> layout;
    Settings standIn;
    Settings* target = &standIn;
    bool saved = false;
    // The port test is the one exchange with the meter the dialog runs.
    bool testingPort = false;

    bool Ready = false;
    TMargins margins;
    bool DialogMetric = true;
    int PortAtShow = 1;
    Values atShow;
    StoredFont printFont;
};

} // namespace kr
