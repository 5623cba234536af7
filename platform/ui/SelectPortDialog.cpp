#include "platform/ui/SelectPortDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/PortMap.h"
#include "platform/PortSearch.h"

namespace kr {

namespace {

bool sameList(const QList<PortChoice>& a, const QList<PortChoice>& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i].number != b[i].number || a[i].device != b[i].device || PortMap::details(a[i]) != PortMap::details(b[i]))
            return false;
    return true;
}

QList<int> numbersOf(const QList<PortChoice>& ports)
{
    QList<int> numbers;
    for (const PortChoice& p : ports)
        numbers << p.number;
    return numbers;
}

QString askingText(int number)
{
    return QStringLiteral("Asking %1 for the KR's serial number...").arg(PortMap::describe(number));
}

} // namespace

SelectPortDialog::SelectPortDialog(const QList<PortChoice>& ports, QWidget* parent)
    : QDialog(parent), listPorts(&PortMap::existingPorts), search(makePortSearch())
{
    setWindowTitle(QStringLiteral("Select Port"));
    setObjectName(QStringLiteral("dlgSelectPort"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("The configured serial port is not valid."), this));
    layout->addWidget(new QLabel(QStringLiteral("Please choose another port."), this));

    lbPorts = new QTreeWidget(this);
    lbPorts->setObjectName(QStringLiteral("lbPorts"));
    lbPorts->setHeaderLabels({QStringLiteral("Port"), QStringLiteral("Device"), QStringLiteral("Description")});
    lbPorts->setRootIsDecorated(false);
    lbPorts->setAllColumnsShowFocus(true);
    lbPorts->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lbPorts->setMinimumWidth(420);
    layout->addWidget(lbPorts);

    lblFindStatus = new QLabel(this);
    lblFindStatus->setObjectName(QStringLiteral("lblFindStatus"));
    layout->addWidget(lblFindStatus);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    btnFindMeter = buttons->addButton(QStringLiteral("&Find meter"), QDialogButtonBox::ActionRole);
    btnFindMeter->setObjectName(QStringLiteral("btnFindMeter"));
    btnFindMeter->setToolTip(QStringLiteral("Ask each free port for the KR's serial number"));
    btnFindMeter->setVisible(search != nullptr);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(btnFindMeter, &QPushButton::clicked, this, &SelectPortDialog::btnFindMeterClick);
    connect(lbPorts, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    layout->addWidget(buttons);

    if (search) {
        connect(search.get(), &PortSearch::asking, this, [this](int n) { lblFindStatus->setText(askingText(n)); });
        connect(search.get(), &PortSearch::finished, this, &SelectPortDialog::searchEnded);
    }

    fill(ports);
    if (lbPorts->topLevelItemCount() > 0)
        lbPorts->setCurrentItem(lbPorts->topLevelItem(0));
    // Polling is cheap and sees adapters on every system; it is a timer, not a wait.
    refreshTimer.setInterval(RefreshMs);
    connect(&refreshTimer, &QTimer::timeout, this, &SelectPortDialog::Refresh);
    refreshTimer.start();
}

SelectPortDialog::~SelectPortDialog() = default;

std::optional<int> SelectPortDialog::Chosen() const
{
    const QTreeWidgetItem* item = lbPorts->currentItem();
    if (!item)
        return std::nullopt;
    return item->data(0, Qt::UserRole).toInt();
}

void SelectPortDialog::fill(const QList<PortChoice>& ports)
{
    shown = ports;
    lbPorts->clear();
    for (const PortChoice& p : ports) {
        const QString details = PortMap::details(p);
        auto* item = new QTreeWidgetItem(lbPorts, {PortMap::displayName(p.number), p.device,
                                                   details.isEmpty() ? QStringLiteral("-") : details});
        item->setData(0, Qt::UserRole, p.number);
    }
}

void SelectPortDialog::select(int number)
{
    for (int i = 0; i < lbPorts->topLevelItemCount(); ++i)
        if (lbPorts->topLevelItem(i)->data(0, Qt::UserRole).toInt() == number) {
            lbPorts->setCurrentItem(lbPorts->topLevelItem(i));
            return;
        }
    if (lbPorts->topLevelItemCount() > 0)
        lbPorts->setCurrentItem(lbPorts->topLevelItem(0));
}

void SelectPortDialog::Refresh()
{
    const QList<PortChoice> ports = listPorts();
    if (sameList(ports, shown))
        return;
    const std::optional<int> before = Chosen();
    fill(ports);
    select(before.value_or(0));
}

void SelectPortDialog::btnFindMeterClick()
{
    if (!search)
        return;
    if (btnFindMeter->text() == QStringLiteral("&Stop")) {
        search->cancel();
        return;
    }
    btnFindMeter->setText(QStringLiteral("&Stop"));
    search->start(numbersOf(shown));
}

void SelectPortDialog::searchEnded(int number)
{
    btnFindMeter->setText(QStringLiteral("&Find meter"));
    if (number == 0) {
        lblFindStatus->setText(QStringLiteral("No KR answered on a free port."));
        return;
    }
    select(number);
    lblFindStatus->setText(QStringLiteral("Found a KR on %1.").arg(PortMap::describe(number)));
}

void SelectPortDialog::done(int result)
{
    refreshTimer.stop();
    // A search must not go on asking ports behind the port the user chose.
    if (search) {
        search->disconnect(this);
        search->cancel();
    }
    QDialog::done(result);
}

std::optional<int> runSelectPortDialog(const QList<PortChoice>& ports)
{
    SelectPortDialog dialog(ports, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Chosen();
}

std::optional<int> runFindMeterDialog(QWidget* parent)
{
    const std::unique_ptr<PortSearch> search = makePortSearch();
    if (!search)
        return std::nullopt;
    const QList<PortChoice> ports = PortMap::existingPorts();
    QProgressDialog progress(QStringLiteral("Looking for the KR..."), QStringLiteral("Cancel"), 0, int(ports.size()), parent);
    progress.setObjectName(QStringLiteral("dlgFindMeter"));
    progress.setWindowTitle(QStringLiteral("Find meter"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);

    int asked = 0;
    int found = 0;
    bool ended = false;
    QEventLoop loop;
    QObject::connect(search.get(), &PortSearch::asking, &progress, [&](int n) {
        progress.setLabelText(askingText(n));
        progress.setValue(asked++);
    });
    QObject::connect(search.get(), &PortSearch::finished, &loop, [&](int n) {
        found = n;
        ended = true;
        loop.quit();
    });
    QObject::connect(&progress, &QProgressDialog::canceled, search.get(), &PortSearch::cancel);
    progress.show();
    search->start(numbersOf(ports));
    // With no ports at all it has ended already.
    if (!ended)
        loop.exec();
    progress.close();
    if (found == 0)
        return std::nullopt;
    return found;
}

} // namespace kr
