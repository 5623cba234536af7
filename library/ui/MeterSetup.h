#pragma once
#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "meter/Outcomes.h"

class QComboBox;
class QKeySequence;
class QLabel;
class QListWidget;
class QMenu;
class QAction;
class QPlainTextEdit;
class QToolButton;

namespace kr {

class TLibraryList;

// What the editor asks of the rest of the program: the meter, printing, help.
// Each may be left empty; the editor then does nothing for that command.
struct TMeterSetupHooks {
    // Puts the seven wall-and-roof entries back to their defaults.
    std::function<void()> resetWallRoof;
    // Waits for the serial-number answer the "Library Edit" command asked
    // for; how that request ended.
    std::function<TSerialOutcome::Kind()> meterAnswer;
    // Reads the meter's library: the 31 codes, or nothing when it failed
    // (the user has been told why).
    std::function<std::optional<std::vector<std::string>>()> receive;
    // Sends the selected list to the meter.
    std::function<void(const std::vector<std::string>&)> send;
    std::function<void()> print;
    std::function<void()> printSetup;
    std::function<void(int topic)> help;
    // True while an exchange with the meter runs; the window then stays open.
    std::function<bool()> busy;
};

// The library list editor: the selected list with its notes on the left, the
// catalogue filtered by group on the right.
class TfmMeterSetup : public QDialog {
    Q_OBJECT
public:
    TfmMeterSetup(TLibraryList& list, TMeterSetupHooks hooks, QWidget* parent = nullptr);

    TLibraryList& List() { return list; }
    TMeterSetupHooks& Hooks() { return hooks; }

    // Shows the list, its notes, count and caption as the model holds them.
    void Refresh();
    void RefreshAvailable();

    QToolButton* BtnLoad = nullptr;
    QToolButton* BtnSave = nullptr;
    QToolButton* BtnReceive = nullptr;
    QToolButton* BtnSend = nullptr;
    QToolButton* BtnPrint = nullptr;
    QToolButton* BtnExit = nullptr;
    QToolButton* BtnHelp = nullptr;
    QComboBox* cbGroups = nullptr;
    QLabel* lblItemCount = nullptr;
    QListWidget* lbSelected = nullptr;
    QListWidget* lbAvailable = nullptr;
    QToolButton* btnAddItem = nullptr;
    QToolButton* btnRemoveItem = nullptr;
    QPlainTextEdit* memNotes = nullptr;
    QMenu* File1 = nullptr;
    QAction* New1 = nullptr;
    QAction* Open1 = nullptr;
    QAction* Save1 = nullptr;
    QAction* SaveAs1 = nullptr;
    QAction* Print1 = nullptr;
    QAction* PrintSetup1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* Edit1 = nullptr;
    QAction* Add1 = nullptr;
    QAction* Remove1 = nullptr;
    QMenu* Meter1 = nullptr;
    QAction* Receive1 = nullptr;
    QAction* Send1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* Contents1 = nullptr;

public slots:
    void BtnReceiveClick();
    void BtnSendClick();
    void AddSelectedItem();
    void RemoveSelectedItem();
    void New1Click();
    void Open1Click();
    void Save1Click();
    void SaveAs1Click();
    void PrintClick();
    void HelpClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void FormShow();
    void buildToolbar(QWidget* bar);
    void setMeterButtonsEnabled(bool enabled);
    void fillList(QListWidget* box, const std::vector<std::string>& codes);
    void runCommand(const std::function<void()>& command);
    void listKey(QListWidget* box, const QKeySequence& keys, void (TfmMeterSetup::*slot)());

    TLibraryList& list;
    TMeterSetupHooks hooks;
    bool fillingNotes = false;
};

} // namespace kr
