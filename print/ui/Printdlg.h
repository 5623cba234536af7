#pragma once
#include <QDialog>
#include <functional>

class QPushButton;
class QRadioButton;

namespace kr {

class TPrinterBox;

// "Print": the printer, and all meter files or the one shown. Made once; it
// keeps its choices between uses.
class TfmPrintDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfmPrintDlg(QWidget* parent = nullptr);

    bool AllFiles() const;
    // Shows the preview of what the current choices would print.
    std::function<void()> onPreview;

    int exec() override;

    TPrinterBox* Printer = nullptr;
    QRadioButton* rbAll = nullptr;
    QRadioButton* rbCurrent = nullptr;
    QPushButton* btnPrint = nullptr;
    QPushButton* btnPreview = nullptr;
    QPushButton* btnCancel = nullptr;
};

} // namespace kr
