#include "platform/ui/SelectPortDialog.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kr {

std::optional<int> runSelectPortDialog(const QList<PortChoice>& ports)
{
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(QStringLiteral("Select Port"));
    dialog.setObjectName(QStringLiteral("dlgSelectPort"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("The configured serial port is not valid."), &dialog));
    layout->addWidget(new QLabel(QStringLiteral("Please choose another port."), &dialog));
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("lbPorts"));
    for (const auto& p : ports) {
        QString text = QStringLiteral("COM%1").arg(p.number);
        if (!p.device.isEmpty())
            text += QStringLiteral("   (%1)").arg(p.device);
        auto* item = new QListWidgetItem(text, list);
        item->setData(Qt::UserRole, p.number);
    }
    if (list->count() > 0)
        list->setCurrentRow(0);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted || !list->currentItem())
        return std::nullopt;
    return list->currentItem()->data(Qt::UserRole).toInt();
}

} // namespace kr
