#include "mainwindow/Note.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Readings.h"
#include "platform/ui/Cp1252Guard.h"
#include "platform/ui/Glyphs.h"

namespace kr {

TfmNote::TfmNote(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmNote"));
    setWindowTitle(QStringLiteral("Note"));
    setModal(true);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(11);
    setFont(f);

    lblItem = new QLabel(this);
    lblItem->setObjectName(QStringLiteral("lblItem"));
    QFont bold = f;
    bold.setBold(true);
    lblItem->setFont(bold);
    lblReading = new QLabel(this);
    lblReading->setObjectName(QStringLiteral("lblReading"));
    edNote = new QLineEdit(this);
    edNote->setObjectName(QStringLiteral("edNote"));
    edNote->setMinimumWidth(341);
    // The data file keeps 128 characters of a note: typing stops there.
    edNote->setMaxLength(int(TReading::NoteCapacity));
    guardCp1252(edNote);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnOK->setAutoDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(13, 10, 13, 10);
    layout->setSpacing(6);
    layout->addWidget(lblItem);
    layout->addWidget(lblReading);
    layout->addWidget(edNote);
    layout->addStretch(1);
    layout->addLayout(buttons);

    resize(367, 139);
}

void TfmNote::showEvent(QShowEvent* event)
{
    centreOverParent(this);
    QDialog::showEvent(event);
    edNote->setFocus(Qt::OtherFocusReason);
    edNote->selectAll();
}

} // namespace kr
