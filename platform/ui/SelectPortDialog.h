#pragma once
#include <QDialog>
#include <QList>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Prompts.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace kr {

class PortSearch;

// "Select Port": asked when the configured port number is 0. Lists the ports
// that exist with their devices and what the system says of them, follows
// adapters plugged in or out while it is open, and can look for the meter.
class SelectPortDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int RefreshMs = 1000;

    explicit SelectPortDialog(const QList<PortChoice>& ports, QWidget* parent = nullptr);
    ~SelectPortDialog() override;

    // The chosen port's number; nothing when the list is empty.
    std::optional<int> Chosen() const;
    // Reads the ports again, keeping the chosen one where it still exists.
    void Refresh();
    // "Find meter", or "Stop" while a search runs.
    void btnFindMeterClick();

    // Where the list comes from (tests give their own).
    std::function<QList<PortChoice>()> listPorts;

    QTreeWidget* lbPorts = nullptr;
    QPushButton* btnFindMeter = nullptr;
    QLabel* lblFindStatus = nullptr;

protected:
    void done(int result) override;

private:
    void fill(const QList<PortChoice>& ports);
    void select(int number);
    void searchEnded(int number);

    QList<PortChoice> shown;
    QTimer refreshTimer;
    std::unique_ptr<PortSearch> search;
};

std::optional<int> runSelectPortDialog(const QList<PortChoice>& ports);

// Asks every port that exists for the meter, showing which one is being
// asked, until a KR answers or the user cancels. The port where a KR
// answered; nothing otherwise, and nothing when the program installed no
// search (setPortSearchFactory).
std::optional<int> runFindMeterDialog(QWidget* parent);

} // namespace kr
