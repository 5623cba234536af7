#include "print/ui/PrinterChoice.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinterInfo>
#include <QPushButton>

#include "platform/Prompts.h"
#include "print/PainterSurface.h"
#include "settings/Appglob.h"
#include "settings/FileFolders.h"
#include "settings/ui/WindowLayout.h"

namespace kr {

TPrinterChoice::TPrinterChoice()
{
    const QString system = QPrinterInfo::defaultPrinterName();
    Choose(system.isEmpty() ? PdfEntry : system);
}

QStringList TPrinterChoice::Names()
{
    QStringList names = QPrinterInfo::availablePrinterNames();
    names << PdfEntry;
    return names;
}

void TPrinterChoice::Choose(const QString& name)
{
    current = Names().contains(name) ? name : PdfEntry;
    if (ToPdf()) {
        // The same pages as a PDF file written directly: A4 at PdfResolution.
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setResolution(PdfResolution);
        printer.setPageLayout(PdfPageLayout());
    } else {
        printer.setOutputFormat(QPrinter::NativeFormat);
        printer.setPrinterName(current);
    }
}

void TPrinterChoice::Setup(QWidget* parent)
{
    if (ToPdf()) {
        QPageSetupDialog dialog(&printer, parent);
        dialog.exec();
        return;
    }
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.exec();
}

void TPrinterChoice::Print(const TPrintJob& job, const QString& pdfName)
{
    if (std::optional<QString> why = JobRefusal(job, printer)) {
        showMessage(MsgKind::Warning, *why);
        return;
    }
    if (!ToPdf()) {
        if (!RenderJob(job, printer))
            showMessage(MsgKind::Error, QStringLiteral("The printer %1 could not start the printout.").arg(current));
        return;
    }
    FileDialogRequest ask;
    ask.title = QStringLiteral("Print to PDF file");
    ask.filters = {QStringLiteral("PDF files (*.pdf)")};
    ask.defaultSuffix = QStringLiteral("pdf");
    ask.fileName = pdfName;
    std::optional<FileDialogResult> chosen;
    // Not replacing a file asks for another name; only Cancel in the dialog gives up.
    for (;;) {
        chosen = askSaveFile(ask);
        if (!chosen)
            return;
        if (const QString why = WriteRefusal(chosen->path); !why.isEmpty()) {
            showMessage(MsgKind::Warning, why);
            return;
        }
        if (mayReplace(chosen->path))
            break;
        ask.fileName = chosen->path;
    }
    const TPdfResult result = WritePdf(job, chosen->path, printer.pageLayout());
    if (result.outcome == TPdfResult::Refused)
        showMessage(MsgKind::Warning, result.message);
    else if (result.outcome == TPdfResult::Failed)
        showMessage(MsgKind::Error, result.message);
}

void TPrinterChoice::Preview(QWidget* parent, const TPrintJob& job)
{
    if (std::optional<QString> why = JobRefusal(job, printer)) {
        showMessage(MsgKind::Warning, *why);
        return;
    }
    PreviewDialog(parent, job)->exec();
}

std::unique_ptr<QPrintPreviewDialog> TPrinterChoice::PreviewDialog(QWidget* parent, const TPrintJob& job)
{
    auto preview = std::make_unique<QPrintPreviewDialog>(&printer, parent);
    preview->setWindowTitle(QStringLiteral("Print Preview"));
    QObject::connect(preview.get(), &QPrintPreviewDialog::paintRequested, preview.get(),
                     [&job](QPrinter* p) { RenderJob(job, *p); });
    // A whole page at a readable size where the screen allows it.
    resizeToFit(preview.get(), QSize(900, 1000));
    return preview;
}

TPrinterChoice& printerChoice()
{
    static TPrinterChoice choice;
    return choice;
}

TPrinterBox::TPrinterBox(QWidget* parent) : QGroupBox(QStringLiteral(" Printer "), parent)
{
    setObjectName(QStringLiteral("gbPrinter"));
    cbPrinter = new QComboBox(this);
    cbPrinter->setObjectName(QStringLiteral("cbPrinter"));
    cbPrinter->setMinimumWidth(220);
    auto* setup = new QPushButton(QStringLiteral("Setup..."), this);
    setup->setObjectName(QStringLiteral("btnPrinterSetup"));
    auto* row = new QHBoxLayout(this);
    row->addWidget(cbPrinter, 1);
    row->addWidget(setup);
    connect(cbPrinter, &QComboBox::activated, this,
            [this](int index) { printerChoice().Choose(cbPrinter->itemText(index)); });
    connect(setup, &QPushButton::clicked, this, [this] { printerChoice().Setup(window()); });
    Refresh();
}

void TPrinterBox::Refresh()
{
    cbPrinter->clear();
    cbPrinter->addItems(TPrinterChoice::Names());
    printerChoice().Choose(printerChoice().Current());
    cbPrinter->setCurrentText(printerChoice().Current());
}

} // namespace kr
