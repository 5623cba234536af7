#pragma once
#include <QDialog>
#include <functional>

class QPushButton;

namespace kr {

class TPrinterBox;

// "Print Library": the printer for the library printout. Made once.
class TfmLibPrintDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfmLibPrintDlg(QWidget* parent = nullptr);

    std::function<void()> onPreview;

    int exec() override;

    TPrinterBox* Printer = nullptr;
    QPushButton* btnPrint = nullptr;
    QPushButton* btnPreview = nullptr;
    QPushButton* btnCancel = nullptr;
};

} // namespace kr
