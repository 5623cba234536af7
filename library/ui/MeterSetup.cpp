#include "library/ui/MeterSetup.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "library/LibraryExchanges.h"
#include "library/List.h"
#include "platform/ErrorReport.h"
#include "platform/Help.h"
#include "platform/Prompts.h"
#include "platform/Text.h"
#include "platform/ui/Glyphs.h"

namespace kr {

namespace {

constexpr int CodeRole = Qt::UserRole;
constexpr int SelectedRowHeight = 16;
constexpr int AvailableRowHeight = 14;

// Each row: its background outlined in the list's own colour, the name at 5 pixels, the SG
// text 18 letter widths further on; a code the catalogue lacks is shown
// dimmed with a word of explanation.
class RowDelegate : public QStyledItemDelegate {
public:
    RowDelegate(const TLibraryList& l, int height, QObject* parent)
        : QStyledItemDelegate(parent), list(l), rowHeight(height)
    {
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return {100, rowHeight}; }
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const bool chosen = option.state & QStyle::State_Selected;
        const QPalette& pal = option.palette;
        p->save();
        p->fillRect(option.rect, chosen ? pal.highlight() : pal.base());
        p->setPen(pal.color(QPalette::Base));
        p->drawRect(option.rect.adjusted(0, 0, -1, -1));
        const TLibraryList::Row row = list.RowFor(toCp1252(index.data(CodeRole).toString()));
        QColor ink = chosen ? pal.highlightedText().color() : pal.text().color();
        if (!row.known)
            ink = chosen ? ink : pal.color(QPalette::Disabled, QPalette::Text);
        p->setPen(ink);
        p->setFont(option.font);
        const QFontMetrics fm(option.font);
        const int left = option.rect.left() + 5;
        const QRect text(left, option.rect.top(), option.rect.width() - 5, option.rect.height());
        p->drawText(text, Qt::AlignLeft | Qt::AlignTop, row.name);
        if (row.known)
            p->drawText(text.adjusted(18 * fm.horizontalAdvance(QLatin1Char('X')), 0, 0, 0),
                        Qt::AlignLeft | Qt::AlignTop, row.sg);
        p->restore();
    }

private:
    const TLibraryList& list;
    int rowHeight;
};

QToolButton* toolButton(QWidget* parent, const char* name, Glyph glyph, const QString& hint)
{
    return glyphButton(parent, name, glyph, hint, 34, 24);
}

QListWidget* listBox(QWidget* parent, const char* name, const TLibraryList& list, int rowHeight)
{
    auto* box = new QListWidget(parent);
    box->setObjectName(QLatin1String(name));
    box->setItemDelegate(new RowDelegate(list, rowHeight, box));
    box->setUniformItemSizes(true);
    box->setSelectionMode(QAbstractItemView::SingleSelection);
    return box;
}

std::optional<int> chosenRow(const QListWidget* box)
{
    const int row = box->currentRow();
    if (row < 0 || !box->currentItem() || !box->currentItem()->isSelected())
        return std::nullopt;
    return row;
}

} // namespace

TfmMeterSetup::TfmMeterSetup(TLibraryList& l, TMeterSetupHooks h, QWidget* parent)
    : QDialog(parent), list(l), hooks(std::move(h))
{
    setObjectName(QStringLiteral("fmMeterSetup"));
    setFont(windowFont());
    setModal(true);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 8);
    column->setSpacing(6);
    auto* menus = new QMenuBar(this);
    File1 = menus->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    auto add = [this](const char* name, const QString& text, void (TfmMeterSetup::*slot)()) {
        QAction* a = File1->addAction(text, this, slot);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    New1 = add("New1", QStringLiteral("&New"), &TfmMeterSetup::New1Click);
    Open1 = add("Open1", QStringLiteral("&Open..."), &TfmMeterSetup::Open1Click);
    Save1 = add("Save1", QStringLiteral("&Save"), &TfmMeterSetup::Save1Click);
    SaveAs1 = add("SaveAs1", QStringLiteral("Save &As..."), &TfmMeterSetup::SaveAs1Click);
    File1->addSeparator();
    Print1 = add("Print1", QStringLiteral("&Print..."), &TfmMeterSetup::PrintClick);
    PrintSetup1 = File1->addAction(QStringLiteral("P&rint Setup..."), this, [this] {
        if (hooks.printSetup)
            runHandler(hooks.printSetup);
    });
    PrintSetup1->setObjectName(QStringLiteral("PrintSetup1"));
    File1->addSeparator();
    Exit1 = File1->addAction(QStringLiteral("E&xit"), this, &QDialog::close);
    Exit1->setObjectName(QStringLiteral("Exit1"));
    // The toolbar's and the arrows' commands, for the keyboard.
    auto entry = [this](QMenu* menu, const char* name, const QString& text, void (TfmMeterSetup::*slot)()) {
        QAction* a = menu->addAction(text, this, slot);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    Edit1 = menus->addMenu(QStringLiteral("&Edit"));
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Add1 = entry(Edit1, "Add1", QStringLiteral("&Add to list"), &TfmMeterSetup::AddSelectedItem);
    Remove1 = entry(Edit1, "Remove1", QStringLiteral("&Remove from list"), &TfmMeterSetup::RemoveSelectedItem);
    Meter1 = menus->addMenu(QStringLiteral("&Meter"));
    Meter1->setObjectName(QStringLiteral("Meter1"));
    Receive1 = entry(Meter1, "Receive1", QStringLiteral("&Load library from meter"), &TfmMeterSetup::BtnReceiveClick);
    Send1 = entry(Meter1, "Send1", QStringLiteral("&Save library to meter"), &TfmMeterSetup::BtnSendClick);
    Help1 = menus->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Contents1 = entry(Help1, "Contents1", QStringLiteral("&Contents"), &TfmMeterSetup::HelpClick);
    Contents1->setShortcut(QKeySequence::HelpContents);
    column->setMenuBar(menus);

    auto* bar = new QWidget(this);
    buildToolbar(bar);
    column->addWidget(bar);

    auto* body = new QGridLayout;
    body->setContentsMargins(8, 0, 8, 0);
    body->setHorizontalSpacing(8);
    body->setVerticalSpacing(3);
    auto* selectedHeading = new QLabel(QStringLiteral("Selected list"), this);
    lblItemCount = new QLabel(QStringLiteral("xxx"), this);
    lblItemCount->setObjectName(QStringLiteral("lblItemCount"));
    auto* selectedRow = new QHBoxLayout;
    selectedRow->addWidget(selectedHeading);
    selectedRow->addStretch(1);
    selectedRow->addWidget(lblItemCount);
    body->addLayout(selectedRow, 0, 0);
    body->addWidget(new QLabel(QStringLiteral("Available Factors"), this), 0, 2);
    lbSelected = listBox(this, "lbSelected", list, SelectedRowHeight);
    lbAvailable = listBox(this, "lbAvailable", list, AvailableRowHeight);
    body->addWidget(lbSelected, 1, 0);
    body->addWidget(lbAvailable, 1, 2);

    btnAddItem = toolButton(this, "btnAddItem", Glyph::Previous, QStringLiteral("Copy selected item to list"));
    btnRemoveItem = toolButton(this, "btnRemoveItem", Glyph::Next, QStringLiteral("Remove selected item from list"));
    auto* arrows = new QVBoxLayout;
    arrows->addStretch(1);
    arrows->addWidget(btnAddItem);
    arrows->addWidget(btnRemoveItem);
    arrows->addStretch(1);
    body->addLayout(arrows, 1, 1);

    auto* notesHeading = new QLabel(QStringLiteral("Notes"), this);
    memNotes = new QPlainTextEdit(this);
    memNotes->setObjectName(QStringLiteral("memNotes"));
    memNotes->setFixedHeight(64);
    memNotes->setTabChangesFocus(true);
    notesHeading->setBuddy(memNotes);
    body->addWidget(notesHeading, 2, 0, 1, 3);
    body->addWidget(memNotes, 3, 0, 1, 3);
    column->addLayout(body, 1);

    connect(btnAddItem, &QToolButton::clicked, this, &TfmMeterSetup::AddSelectedItem);
    connect(btnRemoveItem, &QToolButton::clicked, this, &TfmMeterSetup::RemoveSelectedItem);
    connect(lbAvailable, &QListWidget::itemDoubleClicked, this, &TfmMeterSetup::AddSelectedItem);
    connect(lbSelected, &QListWidget::itemDoubleClicked, this, &TfmMeterSetup::RemoveSelectedItem);
    connect(memNotes, &QPlainTextEdit::textChanged, this, [this] {
        if (fillingNotes)
            return;
        list.SetNotes(toCp1252(memNotes->toPlainText()));
        setWindowModified(list.IsChanged());
    });
    // Enter on a catalogue row adds it, Delete on a list row removes it.
    listKey(lbAvailable, QKeySequence(Qt::Key_Return), &TfmMeterSetup::AddSelectedItem);
    listKey(lbAvailable, QKeySequence(Qt::Key_Enter), &TfmMeterSetup::AddSelectedItem);
    listKey(lbSelected, QKeySequence::Delete, &TfmMeterSetup::RemoveSelectedItem);

    setFixedSize(600, 470);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

    // The catalogue is in place: its groups and the available list.
    list.FormCreate();
    for (const std::string& group : list.Groups())
        cbGroups->addItem(fromCp1252(group));
    cbGroups->setEditText(fromCp1252(list.GroupText()));
    connect(cbGroups, &QComboBox::editTextChanged, this, [this](const QString& text) {
        list.cbGroupsChange(toCp1252(text));
        RefreshAvailable();
    });
    RefreshAvailable();
    Refresh();
}

void TfmMeterSetup::buildToolbar(QWidget* bar)
{
    bar->setObjectName(QStringLiteral("paToolbar"));
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(6, 4, 6, 4);
    row->setSpacing(2);
    BtnLoad = toolButton(bar, "BtnLoad", Glyph::Open, QStringLiteral("Load library from disk"));
    BtnSave = toolButton(bar, "BtnSave", Glyph::Save, QStringLiteral("Save library to disk"));
    BtnReceive = toolButton(bar, "BtnReceive", Glyph::Download, QStringLiteral("Load library from meter"));
    BtnSend = toolButton(bar, "BtnSend", Glyph::Upload, QStringLiteral("Save library to meter"));
    BtnPrint = toolButton(bar, "BtnPrint", Glyph::Print, QStringLiteral("Print Library"));
    BtnExit = toolButton(bar, "BtnExit", Glyph::Exit, QStringLiteral("Exit"));
    BtnHelp = toolButton(bar, "BtnHelp", Glyph::Help, QStringLiteral("Help"));
    cbGroups = new QComboBox(bar);
    cbGroups->setObjectName(QStringLiteral("cbGroups"));
    cbGroups->setEditable(true);
    cbGroups->setInsertPolicy(QComboBox::NoInsert);
    cbGroups->setMinimumWidth(150);
    cbGroups->setToolTip(QStringLiteral("Group"));
    auto* groupLabel = new QLabel(QStringLiteral("&Group:"), bar);
    groupLabel->setBuddy(cbGroups);
    for (QToolButton* b : {BtnLoad, BtnSave, BtnReceive, BtnSend, BtnPrint, BtnExit, BtnHelp})
        row->addWidget(b);
    row->addStretch(1);
    row->addWidget(groupLabel);
    row->addWidget(cbGroups);

    connect(BtnLoad, &QToolButton::clicked, this, &TfmMeterSetup::Open1Click);
    connect(BtnSave, &QToolButton::clicked, this, &TfmMeterSetup::SaveAs1Click);
    connect(BtnReceive, &QToolButton::clicked, this, &TfmMeterSetup::BtnReceiveClick);
    connect(BtnSend, &QToolButton::clicked, this, &TfmMeterSetup::BtnSendClick);
    connect(BtnPrint, &QToolButton::clicked, this, &TfmMeterSetup::PrintClick);
    connect(BtnExit, &QToolButton::clicked, this, &QDialog::close);
    connect(BtnHelp, &QToolButton::clicked, this, &TfmMeterSetup::HelpClick);
}

void TfmMeterSetup::listKey(QListWidget* box, const QKeySequence& keys, void (TfmMeterSetup::*slot)())
{
    auto* key = new QAction(box);
    key->setShortcut(keys);
    key->setShortcutContext(Qt::WidgetShortcut);
    box->addAction(key);
    connect(key, &QAction::triggered, this, slot);
}

void TfmMeterSetup::HelpClick()
{
    if (hooks.help)
        runHandler([this] { hooks.help(help_topic::LibraryEdit); });
}

void TfmMeterSetup::fillList(QListWidget* box, const std::vector<std::string>& codes)
{
    const int row = box->currentRow();
    box->clear();
    for (const std::string& code : codes) {
        auto* item = new QListWidgetItem(box);
        item->setData(CodeRole, fromCp1252(code));
        const TLibraryList::Row text = list.RowFor(code);
        item->setText(text.name);
        item->setToolTip(text.name);
    }
    if (box == lbSelected && row >= 0 && row < box->count())
        box->setCurrentRow(row, QItemSelectionModel::NoUpdate);
}

void TfmMeterSetup::RefreshAvailable() { fillList(lbAvailable, list.Available()); }

void TfmMeterSetup::Refresh()
{
    fillList(lbSelected, list.Selected());
    const QString notes = fromCp1252(list.Notes());
    if (memNotes->toPlainText() != notes) {
        fillingNotes = true;
        memNotes->setPlainText(notes);
        fillingNotes = false;
    }
    lblItemCount->setText(list.CountText());
    setWindowTitle(list.Caption() + QStringLiteral("[*]"));
    setWindowModified(list.IsChanged());
}

void TfmMeterSetup::runCommand(const std::function<void()>& command)
{
    runHandler(command);
    Refresh();
}

void TfmMeterSetup::AddSelectedItem()
{
    runCommand([this] { list.AddSelectedItem(chosenRow(lbAvailable)); });
}

void TfmMeterSetup::RemoveSelectedItem()
{
    runCommand([this] { list.RemoveSelectedItem(chosenRow(lbSelected)); });
}

void TfmMeterSetup::New1Click()
{
    runCommand([this] { list.New1Click(); });
}

void TfmMeterSetup::Open1Click()
{
    runCommand([this] { list.Open1Click(); });
}

void TfmMeterSetup::Save1Click()
{
    runCommand([this] { list.Save1Click(); });
}

void TfmMeterSetup::SaveAs1Click()
{
    runCommand([this] { list.SaveAs1Click(); });
}

void TfmMeterSetup::PrintClick()
{
    if (hooks.print)
        runHandler(hooks.print);
}

void TfmMeterSetup::setMeterButtonsEnabled(bool enabled)
{
    BtnReceive->setEnabled(enabled);
    BtnSend->setEnabled(enabled);
    Receive1->setEnabled(enabled);
    Send1->setEnabled(enabled);
}

void TfmMeterSetup::BtnReceiveClick()
{
    if (!hooks.receive)
        return;
    setMeterButtonsEnabled(false);
    runHandler([this] {
        if (const auto codes = hooks.receive())
            list.ReplaceSelected(*codes);
    });
    setMeterButtonsEnabled(true);
    // The download may have added species to the catalogue.
    RefreshAvailable();
    Refresh();
}

void TfmMeterSetup::BtnSendClick()
{
    if (!hooks.send)
        return;
    setMeterButtonsEnabled(false);
    runHandler([this] { hooks.send(list.Selected()); });
    setMeterButtonsEnabled(true);
}

void TfmMeterSetup::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The wait for the meter runs once the window is on the screen.
    QTimer::singleShot(0, this, [this] { FormShow(); });
}

void TfmMeterSetup::FormShow()
{
    list.FormShow();
    if (hooks.resetWallRoof)
        hooks.resetWallRoof();
    Refresh();
    TSerialOutcome::Kind serial = TSerialOutcome::None;
    if (hooks.meterAnswer)
        runHandler([this, &serial] { serial = hooks.meterAnswer(); });
    if (!isVisible())
        return;
    if (serial == TSerialOutcome::Found)
        BtnReceiveClick();
    else
        Tell(EditorOpeningMessage(serial));
}

void TfmMeterSetup::closeEvent(QCloseEvent* event)
{
    if (refuseCloseWhileBusy(hooks.busy && hooks.busy())) {
        event->ignore();
        return;
    }
    bool mayClose = false;
    runHandler([this, &mayClose] { mayClose = list.FormCloseQuery(); });
    Refresh();
    if (mayClose)
        event->accept();
    else
        event->ignore();
}

// Escape closes the window the same way, through the save question.
void TfmMeterSetup::reject()
{
    close();
}

} // namespace kr
