#include "print/ui/Printdlg.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/ui/Glyphs.h"
#include "print/ui/Libpnt.h"
#include "print/ui/PrinterChoice.h"

namespace kr {

namespace {

// Print, Preview and Cancel, as both print dialogs show them.
QDialogButtonBox* printButtons(QDialog* dialog, QPushButton*& print, QPushButton*& preview, QPushButton*& cancel,
                               const std::function<void()>& previewNow)
{
    auto* box = new QDialogButtonBox(dialog);
    print = box->addButton(QStringLiteral("Print"), QDialogButtonBox::AcceptRole);
    print->setObjectName(QStringLiteral("btnPrint"));
    print->setDefault(true);
    preview = box->addButton(QStringLiteral("Preview"), QDialogButtonBox::ActionRole);
    preview->setObjectName(QStringLiteral("btnPreview"));
    cancel = box->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    QObject::connect(preview, &QPushButton::clicked, dialog, previewNow);
    return box;
}

} // namespace

TfmPrintDlg::TfmPrintDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmPrintDlg"));
    setWindowTitle(QStringLiteral("Print"));
    setFont(windowFont());
    Printer = new TPrinterBox(this);
    auto* files = new QGroupBox(QStringLiteral(" File to print "), this);
    rbAll = new QRadioButton(QStringLiteral("All"), files);
    rbAll->setObjectName(QStringLiteral("rbAll"));
    rbAll->setChecked(true);
    rbCurrent = new QRadioButton(QStringLiteral("Current file"), files);
    rbCurrent->setObjectName(QStringLiteral("rbCurrent"));
    auto* fileRow = new QHBoxLayout(files);
    fileRow->addWidget(rbAll);
    fileRow->addWidget(rbCurrent);
    fileRow->addStretch();
    auto* column = new QVBoxLayout(this);
    column->addWidget(Printer);
    column->addWidget(files);
    column->addWidget(printButtons(this, btnPrint, btnPreview, btnCancel, [this] {
        if (onPreview)
            onPreview();
    }));
}

bool TfmPrintDlg::AllFiles() const { return rbAll->isChecked(); }

int TfmPrintDlg::exec()
{
    Printer->Refresh();
    return QDialog::exec();
}

TfmLibPrintDlg::TfmLibPrintDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmLibPrintDlg"));
    setWindowTitle(QStringLiteral("Print Library"));
    setFont(windowFont());
    Printer = new TPrinterBox(this);
    auto* column = new QVBoxLayout(this);
    column->addWidget(Printer);
    column->addWidget(printButtons(this, btnPrint, btnPreview, btnCancel, [this] {
        if (onPreview)
            onPreview();
    }));
}

int TfmLibPrintDlg::exec()
{
    Printer->Refresh();
    return QDialog::exec();
}

} // namespace kr
