#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kr {

// The reading note dialog: what the reading is, and its note to edit.
// Created once and shown modally by the main window.
class TfmNote : public QDialog {
    Q_OBJECT
public:
    explicit TfmNote(QWidget* parent = nullptr);

    QLabel* lblItem = nullptr;
    QLabel* lblReading = nullptr;
    QLineEdit* edNote = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace kr
