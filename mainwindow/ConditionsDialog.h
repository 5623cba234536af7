#pragma once
#include <QDialog>
#include <QString>

#include "settings/ArchiveLocation.h"

class QDateTimeEdit;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace kr {

// A job's site conditions: the air at each visit, listed with the wood's EMC,
// and a row to add the air measured now (or at another time), its EMC worked
// out as it is typed. Each Add is kept in the archive at once.
class TfmConditions : public QDialog {
    Q_OBJECT
public:
    TfmConditions(ArchiveLocation archive, QString job, bool centigrade, QWidget* parent = nullptr);

    QDateTimeEdit* edWhen = nullptr;
    QDoubleSpinBox* edTemp = nullptr;
    QDoubleSpinBox* edRh = nullptr;
    QLineEdit* edNote = nullptr;
    QLabel* lbEmc = nullptr;
    QPushButton* btnAdd = nullptr;
    QTableWidget* grid = nullptr;

signals:
    // Conditions were added: what shows them should look again.
    void Changed();

private:
    void reload();
    void showEmc();
    void add();
    double celsius() const;

    ArchiveLocation archiveAt;
    QString job;
    bool centigrade = true;
};

} // namespace kr
