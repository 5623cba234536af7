#pragma once
#include <QGroupBox>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "print/PageOutput.h"

class QComboBox;

namespace kr {

// The printer every printout of the run goes to: an installed printer (CUPS
// printers on Linux), or a PDF file the user names. Chosen in either print
// dialog, kept for the rest of the run.
class TPrinterChoice {
public:
    static inline const QString PdfEntry = QStringLiteral("PDF file");

    TPrinterChoice();

    // The installed printers, then PdfEntry.
    static QStringList Names();
    QString Current() const { return current; }
    void Choose(const QString& name);
    bool ToPdf() const { return current == PdfEntry; }
    // The printer set up for the choice; a preview draws on it too, so it
    // shows exactly the pages that would print.
    QPrinter& Printer() { return printer; }

    // The printer setup dialog (paper, orientation; for a printer its own options).
    void Setup(QWidget* parent);
    // Runs the job on the chosen printer, or asks for a file name and writes a
    // PDF file. A refusal or a failure is told through the prompts; nothing
    // starts then. `pdfName` is the file name proposed.
    void Print(const TPrintJob& job, const QString& pdfName);
    // A preview window of the job's pages.
    void Preview(QWidget* parent, const TPrintJob& job);
    // That window, not yet shown, sized to fit the screen; `job` must outlive it.
    std::unique_ptr<QPrintPreviewDialog> PreviewDialog(QWidget* parent, const TPrintJob& job);

private:
    QPrinter printer{QPrinter::HighResolution};
    QString current;
};

TPrinterChoice& printerChoice();

// The " Printer " group both print dialogs show: the chooser, and the button
// that opens the printer setup dialog.
class TPrinterBox : public QGroupBox {
    Q_OBJECT
public:
    explicit TPrinterBox(QWidget* parent = nullptr);
    // Fills the chooser anew (printers come and go) with the current choice selected.
    void Refresh();

    QComboBox* cbPrinter = nullptr;
};

} // namespace kr
