#include "mainwindow/ConditionsDialog.h"

#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "archive/Archive.h"
#include "core/Emc.h"
#include "platform/Prompts.h"
#include "platform/ui/Glyphs.h"

namespace kr {

namespace {

QString figure(double value, int decimals) { return QLocale().toString(value, 'f', decimals); }

QString degrees(double celsius, bool centigrade)
{
    return figure(centigrade ? celsius : celsius * 9 / 5 + 32, 1) + (centigrade ? QStringLiteral(" \u00b0C")
                                                                                : QStringLiteral(" \u00b0F"));
}

QString emcText(const TEmc& emc)
{
    return emc.Known() ? QStringLiteral("EMC %1 %").arg(figure(emc.percent, 1))
                       : QString::fromUtf8(emc.refusal.c_str());
}

} // namespace

TfmConditions::TfmConditions(ArchiveLocation at, QString jobName, bool celsiusScale, QWidget* parent)
    : QDialog(parent), archiveAt(std::move(at)), job(std::move(jobName)), centigrade(celsiusScale)
{
    setObjectName(QStringLiteral("fmConditions"));
    setWindowTitle(QStringLiteral("Site conditions: %1").arg(job));
    setFont(windowFont());

    grid = new QTableWidget(0, 5, this);
    grid->setObjectName(QStringLiteral("grdConditions"));
    grid->setHorizontalHeaderLabels({QStringLiteral("Measured"), QStringLiteral("Temperature"),
                                     QStringLiteral("RH"), QStringLiteral("EMC"), QStringLiteral("Note")});
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->verticalHeader()->hide();
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::NoSelection);

    edWhen = new QDateTimeEdit(QDateTime::currentDateTime(), this);
    edWhen->setObjectName(QStringLiteral("edWhen"));
    edWhen->setCalendarPopup(true);
    edWhen->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat) + QStringLiteral(" HH:mm"));
    edTemp = new QDoubleSpinBox(this);
    edTemp->setObjectName(QStringLiteral("edTemp"));
    edTemp->setDecimals(1);
    edTemp->setSingleStep(0.5);
    // The range the EMC equation holds for, in the user's scale.
    edTemp->setRange(centigrade ? EmcLowestCelsius : 30.2, centigrade ? EmcHighestCelsius : 212);
    edTemp->setValue(centigrade ? 20 : 68);
    edTemp->setSuffix(centigrade ? QStringLiteral(" \u00b0C") : QStringLiteral(" \u00b0F"));
    edRh = new QDoubleSpinBox(this);
    edRh->setObjectName(QStringLiteral("edRh"));
    edRh->setDecimals(0);
    edRh->setRange(0, EmcHighestHumidity);
    edRh->setValue(50);
    edRh->setSuffix(QStringLiteral(" % RH"));
    edNote = new QLineEdit(this);
    edNote->setObjectName(QStringLiteral("edNote"));
    edNote->setPlaceholderText(QStringLiteral("heating on, windows shut..."));
    lbEmc = new QLabel(this);
    lbEmc->setObjectName(QStringLiteral("lbEmc"));
    btnAdd = new QPushButton(QStringLiteral("&Add"), this);
    btnAdd->setObjectName(QStringLiteral("btnAdd"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Measured:"), edWhen);
    auto* air = new QHBoxLayout;
    air->addWidget(edTemp);
    air->addWidget(edRh);
    air->addWidget(lbEmc, 1);
    // A row of several fields takes its shortcut to the first of them.
    auto* airLabel = new QLabel(QStringLiteral("&Air:"), this);
    airLabel->setBuddy(edTemp);
    form->addRow(airLabel, air);
    form->addRow(QStringLiteral("N&ote:"), edNote);
    auto* addRow = new QHBoxLayout;
    addRow->addStretch();
    addRow->addWidget(btnAdd);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid, 1);
    layout->addLayout(form);
    layout->addLayout(addRow);
    layout->addWidget(buttons);

    connect(edTemp, &QDoubleSpinBox::valueChanged, this, &TfmConditions::showEmc);
    connect(edRh, &QDoubleSpinBox::valueChanged, this, &TfmConditions::showEmc);
    connect(btnAdd, &QPushButton::clicked, this, &TfmConditions::add);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    showEmc();
    reload();
    resize(620, 380);
}

double TfmConditions::celsius() const { return centigrade ? edTemp->value() : CelsiusOf(edTemp->value()); }

void TfmConditions::showEmc()
{
    const TEmc emc = EquilibriumMoisture(celsius(), edRh->value());
    lbEmc->setText(emcText(emc));
    btnAdd->setEnabled(emc.Known());
}

void TfmConditions::reload()
{
    std::vector<TArchive::SiteConditions> all;
    try {
        all = TArchive(archiveAt).Conditions(job);
    } catch (const ArchiveError& e) {
        showMessage(MsgKind::Error, QString::fromUtf8(e.what()));
    }
    grid->setRowCount(int(all.size()));
    for (int row = 0; row < int(all.size()); ++row) {
        const TArchive::SiteConditions& c = all[std::size_t(row)];
        const QStringList cells{QLocale().toString(c.when, QLocale::ShortFormat), degrees(c.celsius, centigrade),
                                figure(c.humidity, std::fmod(c.humidity, 1) == 0 ? 0 : 1) + QStringLiteral(" %"),
                                emcText(EquilibriumMoisture(c.celsius, c.humidity)), c.note};
        for (int column = 0; column < cells.size(); ++column)
            grid->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    grid->resizeColumnsToContents();
}

void TfmConditions::add()
{
    TArchive::SiteConditions c;
    const QDateTime when = edWhen->dateTime();
    c.when = QDateTime(when.date(), QTime(when.time().hour(), when.time().minute()));
    c.celsius = celsius();
    c.humidity = edRh->value();
    c.note = edNote->text().trimmed();
    try {
        TArchive(archiveAt).AddConditions(job, c);
    } catch (const ArchiveError& e) {
        showMessage(MsgKind::Error, QString::fromUtf8(e.what()));
        return;
    }
    edNote->clear();
    reload();
    emit Changed();
}

} // namespace kr
