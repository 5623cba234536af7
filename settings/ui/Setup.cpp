#include "settings/ui/Setup.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QFileInfo>
#include <QFontDialog>
#include <QFontInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShowEvent>
#include <QSpinBox>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "platform/ErrorReport.h"
#include "platform/Help.h"
#include "platform/PortMap.h"
#include "platform/Prompts.h"
#include "platform/Text.h"
#include "platform/ui/Glyphs.h"
#include "settings/Appglob.h"
#include "settings/IniFile.h"
#include "settings/ReportSettings.h"
#include "settings/ui/WindowLayout.h"

namespace kr {

namespace {

constexpr int DialogWidth = 455;
constexpr int DialogHeight = 264;
constexpr int ButtonBarHeight = 45;
char decimalSeparatorOf(const QWidget* box)
{
    const QString point = box->locale().decimalPoint();
    return point.size() == 1 && point[0].unicode() < 0x80 ? char(point[0].unicode()) : '.';
}

// The port list looks at the system again each time it drops down, so an
// adapter plugged in while the dialog is open can be picked.
class PortList : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> beforePopup;
    void showPopup() override
    {
        if (beforePopup)
            beforePopup();
        QComboBox::showPopup();
    }
};

// The port and its device, with what the system calls it; the rest of what it
// says (maker, serial number, USB ids) is the entry's tooltip.
QString portEntry(const PortChoice& port)
{
    const QString name = PortMap::describe(port.number);
    return port.description.isEmpty() ? name : QStringLiteral("%1 - %2").arg(name, port.description);
}

// A stored number the system does not list: shown, never silently changed.
QString absentEntry(int number)
{
    if (number == 0)
        return QStringLiteral("COM0: ask for a port when the meter is needed");
    if (PortMap::exists(number))
        return PortMap::describe(number);
    return QStringLiteral("%1 - not present").arg(PortMap::describe(number));
}

// Why a port may not open that needs no try: its device is not there.
QString missingDeviceText(int number)
{
    if (number == 0)
        return {};
    const QString device = PortMap::deviceFor(number);
    if (device.isEmpty())
        return QStringLiteral("%1 has no device on this computer.").arg(PortMap::displayName(number));
    if (PortMap::exists(number) || QFileInfo::exists(device))
        return {};
    return QStringLiteral("%1 is not there: is the adapter plugged in?").arg(device);
}

QDoubleSpinBox* marginBox(QWidget* parent, const char* name)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setAlignment(Qt::AlignRight);
    box->setFixedWidth(72);
    box->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    return box;
}

// The colours of the font dialog's colour list, as the Windows font dialog
// offers them (0x00BBGGRR).
struct NamedColour {
    const char* name;
    int value;
};
constexpr NamedColour FontColours[] = {
    {"Black", 0x000000},  {"Maroon", 0x000080}, {"Green", 0x008000},   {"Olive", 0x008080},
    {"Navy", 0x800000},   {"Purple", 0x800080}, {"Teal", 0x808000},    {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0x0000FF},    {"Lime", 0x00FF00},    {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00},   {"White", 0xFFFFFF},
};

// Qt's font dialog has underline and strike-out but no colour: a colour list
// joins its effects group. Without that group the colour stays as it was.
QComboBox* addColourList(QFontDialog& dialog, int current)
{
    // The strike-out and underline boxes are the dialog's only check boxes.
    const QList<QCheckBox*> checks = dialog.findChildren<QCheckBox*>();
    auto* effects = checks.isEmpty() ? nullptr : qobject_cast<QGroupBox*>(checks.front()->parentWidget());
    auto* column = effects ? qobject_cast<QVBoxLayout*>(effects->layout()) : nullptr;
    if (!column)
        return nullptr;
    auto* colours = new QComboBox(effects);
    colours->setObjectName(QStringLiteral("cbFontColour"));
    for (const NamedColour& c : FontColours) {
        QPixmap swatch(12, 12);
        swatch.fill(toQColor(c.value));
        colours->addItem(QIcon(swatch), QLatin1String(c.name), c.value);
    }
    int index = colours->findData(current);
    if (index < 0) {
        QPixmap swatch(12, 12);
        swatch.fill(toQColor(current));
        colours->addItem(QIcon(swatch), QStringLiteral("Custom"), current);
        index = colours->count() - 1;
    }
    colours->setCurrentIndex(index);
    auto* label = new QLabel(QStringLiteral("&Colour:"), effects);
    label->setBuddy(colours);
    column->addWidget(label);
    column->addWidget(colours);
    // Room for the list, so the font lists above keep their height.
    dialog.resize(dialog.width(), dialog.height() + label->sizeHint().height() + colours->sizeHint().height()
                                      + 2 * column->spacing());
    return colours;
}

// The font dialog: scalable (TrueType) fonts only, with the effects and no
// size limits. Nothing on Cancel.
std::optional<StoredFont> chooseFont(QWidget* parent, const StoredFont& current, int pixelsPerInch)
{
    // The dialog lists real families only: a name the system knows as an
    // alias (Arial is Liberation Sans on most Linux systems) is shown as the
    // family it stands for, and keeps its own name unless another is chosen.
    QFont start = toQFont(current);
    const QString resolved = QFontInfo(start).family();
    start.setFamily(resolved);
    QFontDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("FontDialog1"));
    dialog.setOptions(QFontDialog::DontUseNativeDialog | QFontDialog::ScalableFonts);
    dialog.setCurrentFont(start);
    QComboBox* colours = addColourList(dialog, current.Color);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QFont picked = dialog.selectedFont();
    StoredFont chosen = fromQFont(picked, current, pixelsPerInch);
    if (picked.family() == resolved)
        chosen.Name = current.Name;
    if (colours)
        chosen.Color = colours->currentData().toInt();
    return chosen;
}

} // namespace

TfmSetup::TfmSetup(TSetupHooks h, QWidget* parent) : QDialog(parent), hooks(std::move(h))
{
    setObjectName(QStringLiteral("fmSetup"));
    setFont(windowFont());
    setModal(true);
    setWindowTitle(QStringLiteral("KR System Setup"));

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("paToolbar"));
    bar->setFixedHeight(ButtonBarHeight);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(4, 4, 4, 4);
    row->setSpacing(2);
    btnOK = glyphButton(bar, "btnOK", Glyph::Save, QStringLiteral("Save settings and exit"));
    RxSpeedButton2 = glyphButton(bar, "RxSpeedButton2", Glyph::Exit, QStringLiteral("Exit without saving"));
    RxSpeedButton3 = glyphButton(bar, "RxSpeedButton3", Glyph::Help, QStringLiteral("Help"));
    // Captions beside the pictures show the access letters.
    for (auto [button, caption] : {std::pair{btnOK, "&Save"}, {RxSpeedButton2, "&Exit"}, {RxSpeedButton3, "&Help"}}) {
        button->setText(QLatin1String(caption));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setFixedWidth(button->sizeHint().width() + 4);
    }
    row->addWidget(btnOK);
    row->addWidget(RxSpeedButton2);
    row->addStretch(1);
    row->addWidget(RxSpeedButton3);
    column->addWidget(bar);

    nbSetup = new QTabWidget(this);
    nbSetup->setObjectName(QStringLiteral("nbSetup"));
    nbSetup->addTab(buildCommunications(), QStringLiteral("Communications"));
    nbSetup->addTab(buildPrinting(), QStringLiteral("Printing"));
    nbSetup->addTab(buildGeneral(), QStringLiteral("General"));
    nbSetup->addTab(buildArchive(), QStringLiteral("Archive"));
    auto* body = new QVBoxLayout;
    body->setContentsMargins(6, 0, 6, 6);
    body->addWidget(nbSetup);
    column->addLayout(body, 1);

    connect(btnOK, &QToolButton::clicked, this, &TfmSetup::btnOKClick);
    connect(RxSpeedButton2, &QToolButton::clicked, this, &TfmSetup::RxSpeedButton2Click);
    connect(RxSpeedButton3, &QToolButton::clicked, this, &TfmSetup::RxSpeedButton3Click);

    setFixedSize(DialogWidth, DialogHeight);

    layout = std::make_unique<WindowLayout>(this, IniFilePath(), SetupLayoutSection);
    layout->setPlacementApplied(false);
    layout->storeFont(
        "lblPrinterFont", "Font", [this] { return printFont; },
        [this](const StoredFont& font) { setPrintFont(font); });
    setPrintFont(printFont);
}

TfmSetup::~TfmSetup()
{
    // A dialog destroyed while open still stores the print font once.
    if (layout)
        layout->SaveOnDestroy();
}

QWidget* TfmSetup::buildCommunications()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsCommunications"));
    auto* pageColumn = new QVBoxLayout(page);
    auto* group = new QGroupBox(QStringLiteral(" Serial Communications "), page);
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(8);

    auto* label = new QLabel(QStringLiteral("Serial &Port"), group);
    auto* ports = new PortList(group);
    ports->beforePopup = [this] { fillPorts(chosenPort()); };
    cbPort = ports;
    cbPort->setObjectName(QStringLiteral("cbPort"));
    // The entries carry long descriptions; the list drops down wider.
    cbPort->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbPort->setMinimumContentsLength(12);
    cbPort->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setHint(cbPort, QStringLiteral("Serial port number"));
    label->setBuddy(cbPort);
    btnTest = new QPushButton(QStringLiteral("&Test"), group);
    btnTest->setObjectName(QStringLiteral("btnTest"));
    setHint(btnTest, QStringLiteral("Test serial port"));
    // Return saves the dialog; on a focused button keyPressEvent presses it.
    btnTest->setAutoDefault(false);
    btnFindMeter = new QPushButton(QStringLiteral("Fin&d"), group);
    btnFindMeter->setObjectName(QStringLiteral("btnFindMeter"));
    setHint(btnFindMeter, QStringLiteral("Find the port the meter is on"));
    btnFindMeter->setAutoDefault(false);
    btnFindMeter->setVisible(bool(hooks.findMeter));
    lblPortStatus = new QLabel(group);
    lblPortStatus->setObjectName(QStringLiteral("lblPortStatus"));
    lblPortStatus->setWordWrap(true);
    lblPortStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // The port has the width of the page, so its entry is read whole.
    grid->addWidget(label, 0, 0);
    grid->addWidget(cbPort, 0, 1);
    grid->addWidget(lblPortStatus, 1, 1);
    auto* actions = new QHBoxLayout;
    actions->setSpacing(6);
    actions->addStretch(1);
    actions->addWidget(btnTest);
    actions->addWidget(btnFindMeter);
    grid->addLayout(actions, 2, 1);
    grid->setColumnStretch(1, 1);
    pageColumn->addWidget(group);
    pageColumn->addStretch(1);

    connect(cbPort, &QComboBox::currentIndexChanged, this, &TfmSetup::cbPortChange);
    connect(btnTest, &QPushButton::clicked, this, &TfmSetup::btnTestClick);
    connect(btnFindMeter, &QPushButton::clicked, this, &TfmSetup::btnFindMeterClick);
    return page;
}

QWidget* TfmSetup::buildPrinting()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsPrinting"));
    auto* pageColumn = new QVBoxLayout(page);

    auto* margins = new QGroupBox(QStringLiteral(" Margins "), page);
    auto* grid = new QGridLayout(margins);
    grid->setHorizontalSpacing(6);
    auto addMargin = [this, margins, grid](const QString& caption, const char* name, const char* unitName, int row,
                                           int col, QDoubleSpinBox*& box, QLabel*& unit) {
        auto* label = new QLabel(caption, margins);
        box = marginBox(margins, name);
        label->setBuddy(box);
        unit = new QLabel(QStringLiteral("mm"), margins);
        unit->setObjectName(QLatin1String(unitName));
        unit->setMinimumWidth(unit->fontMetrics().horizontalAdvance(QStringLiteral("inches")));
        grid->addWidget(label, row, col);
        grid->addWidget(box, row, col + 1);
        grid->addWidget(unit, row, col + 2);
        box->installEventFilter(this);
    };
    addMargin(QStringLiteral("T&op"), "seTopMargin", "lblTopUnit", 0, 0, seTopMargin, lblTopUnit);
    addMargin(QStringLiteral("&Right"), "seRightMargin", "lblRightUnit", 0, 4, seRightMargin, lblRightUnit);
    addMargin(QStringLiteral("&Bottom"), "seBottomMargin", "lblBottomUnit", 1, 0, seBottomMargin, lblBottomUnit);
    addMargin(QStringLiteral("&Left"), "seLeftMargin", "lblLeftUnit", 1, 4, seLeftMargin, lblLeftUnit);
    grid->setColumnMinimumWidth(3, 16);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(7, 1);
    pageColumn->addWidget(margins);

    auto* fontGroup = new QGroupBox(QStringLiteral(" Print Font "), page);
    auto* fontRow = new QHBoxLayout(fontGroup);
    lblPrinterFont = new QLabel(QStringLiteral("Font for printing"), fontGroup);
    lblPrinterFont->setObjectName(QStringLiteral("lblPrinterFont"));
    lblPrinterFont->installEventFilter(this);
    btnPrinterFont = new QPushButton(QStringLiteral("Fo&nt..."), fontGroup);
    btnPrinterFont->setObjectName(QStringLiteral("btnPrinterFont"));
    btnPrinterFont->setAutoDefault(false);
    setHint(btnPrinterFont, QStringLiteral("Choose the font for printing"));
    fontRow->addWidget(lblPrinterFont, 1);
    fontRow->addWidget(btnPrinterFont, 0, Qt::AlignVCenter);
    pageColumn->addWidget(fontGroup);
    pageColumn->addStretch(1);

    connect(btnPrinterFont, &QPushButton::clicked, this, &TfmSetup::lblPrinterFontDblClick);
    return page;
}

QWidget* TfmSetup::buildGeneral()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsGeneral"));
    auto* pageRow = new QHBoxLayout(page);

    auto* temperature = new QGroupBox(QStringLiteral(" Temperature "), page);
    auto* tColumn = new QVBoxLayout(temperature);
    rbFahrenheit = new QRadioButton(QStringLiteral("&Fahrenheit"), temperature);
    rbFahrenheit->setObjectName(QStringLiteral("rbFahrenheit"));
    rbCentigrade = new QRadioButton(QStringLiteral("&Centigrade"), temperature);
    rbCentigrade->setObjectName(QStringLiteral("rbCentigrade"));
    tColumn->addWidget(rbFahrenheit);
    tColumn->addWidget(rbCentigrade);
    tColumn->addStretch(1);

    auto* units = new QGroupBox(QStringLiteral(" Measurement Units "), page);
    auto* uColumn = new QVBoxLayout(units);
    rbImperial = new QRadioButton(QStringLiteral("&Inches"), units);
    rbImperial->setObjectName(QStringLiteral("rbImperial"));
    rbMetric = new QRadioButton(QStringLiteral("&Millimetres"), units);
    rbMetric->setObjectName(QStringLiteral("rbMetric"));
    uColumn->addWidget(rbImperial);
    uColumn->addWidget(rbMetric);
    uColumn->addStretch(1);

    pageRow->addWidget(temperature, 1);
    pageRow->addWidget(units, 1);

    connect(rbMetric, &QRadioButton::clicked, this, &TfmSetup::rbMetricClick);
    connect(rbImperial, &QRadioButton::clicked, this, &TfmSetup::rbImperialClick);
    return page;
}

QWidget* TfmSetup::buildArchive()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsArchive"));
    auto* pageColumn = new QVBoxLayout(page);
    chkArchive = new QCheckBox(QStringLiteral("&Keep every download and data file in the readings archive"), page);
    chkArchive->setObjectName(QStringLiteral("chkArchive"));
    pageColumn->addWidget(chkArchive);

    // Where: the file for one user, or a server a team shares. The server's
    // address has a dialog of its own: the page is the dialog's size.
    auto* where = new QGroupBox(QStringLiteral(" Where the Archive Is "), page);
    auto* whereGrid = new QGridLayout(where);
    // The page is the dialog's fixed size: three lines and a button fit closely.
    whereGrid->setVerticalSpacing(1);
    whereGrid->setContentsMargins(9, 4, 9, 4);
    const QString file = hooks.archivePath.isEmpty() ? QStringLiteral("archive.sqlite")
                                                     : QDir::toNativeSeparators(hooks.archivePath);
    rbArchiveFile = new QRadioButton(QStringLiteral("On this &computer alone, in %1").arg(file), where);
    rbArchiveFile->setObjectName(QStringLiteral("rbArchiveFile"));
    rbArchiveFile->setToolTip(file);
    rbArchiveServer = new QRadioButton(QStringLiteral("In a &team archive on a PostgreSQL server"), where);
    rbArchiveServer->setObjectName(QStringLiteral("rbArchiveServer"));
    btnArchiveServer = new QPushButton(QStringLiteral("Ser&ver..."), where);
    btnArchiveServer->setObjectName(QStringLiteral("btnArchiveServer"));
    setHint(btnArchiveServer, QStringLiteral("The team archive's server, database and user"));
    lblArchiveServer = new QLabel(where);
    lblArchiveServer->setObjectName(QStringLiteral("lblArchiveServer"));
    const int indent = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth)
                       + style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
    lblArchiveServer->setContentsMargins(indent, 0, 0, 0);
    whereGrid->addWidget(rbArchiveFile, 0, 0, 1, 2);
    whereGrid->addWidget(rbArchiveServer, 1, 0);
    whereGrid->addWidget(btnArchiveServer, 1, 1, 2, 1, Qt::AlignVCenter);
    whereGrid->addWidget(lblArchiveServer, 2, 0);
    whereGrid->setColumnStretch(0, 1);
    pageColumn->addWidget(where);
    buildArchiveServer();
    connect(btnArchiveServer, &QPushButton::clicked, this, &TfmSetup::btnArchiveServerClick);
    connect(rbArchiveServer, &QRadioButton::toggled, this, [this] { showServerLine(); });

    // Inspection reports are made from the archive's jobs: who signs them
    // is asked beside it.
    auto* reports = new QGroupBox(QStringLiteral(" Inspection Reports "), page);
    auto* reportRow = new QFormLayout(reports);
    reportRow->setContentsMargins(9, 4, 9, 6);
    edInspector = new QLineEdit(reports);
    edInspector->setObjectName(QStringLiteral("edInspector"));
    edInspector->setMaxLength(100);
    setHint(edInspector, QStringLiteral("The name inspection reports give as the inspector's"));
    reportRow->addRow(QStringLiteral("Inspector's n&ame:"), edInspector);
    pageColumn->addWidget(reports);
    pageColumn->addStretch(1);
    return page;
}

void TfmSetup::buildArchiveServer()
{
    dlgArchiveServer = new QDialog(this);
    dlgArchiveServer->setObjectName(QStringLiteral("dlgArchiveServer"));
    dlgArchiveServer->setWindowTitle(QStringLiteral("Team Archive"));
    // A window of its own does not take its parent's font.
    dlgArchiveServer->setFont(windowFont());
    auto* column = new QVBoxLayout(dlgArchiveServer);
    auto* intro = new QLabel(QStringLiteral("The PostgreSQL server your firm's archive is on, as your administrator "
                                            "gives it. The password is asked when the server wants it and kept until "
                                            "the program closes, or read from ~/.pgpass or PGPASSWORD; it is never "
                                            "written to kr.ini."),
                             dlgArchiveServer);
    intro->setWordWrap(true);
    column->addWidget(intro);
    auto* server = new QFormLayout;
    column->addLayout(server);
    // The server and its port on one line, as they are one address.
    edArchiveHost = new QLineEdit(dlgArchiveServer);
    edArchiveHost->setObjectName(QStringLiteral("edArchiveHost"));
    edArchiveHost->setMaxLength(200);
    setHint(edArchiveHost, QStringLiteral("The server's name or address; empty for this computer's own server"));
    seArchivePort = new QSpinBox(dlgArchiveServer);
    seArchivePort->setObjectName(QStringLiteral("seArchivePort"));
    seArchivePort->setRange(1, 65535);
    seArchivePort->setValue(5432);
    setHint(seArchivePort, QStringLiteral("The server's port; 5432 unless the administrator says otherwise"));
    auto* portLabel = new QLabel(QStringLiteral("&Port:"), dlgArchiveServer);
    portLabel->setBuddy(seArchivePort);
    auto* address = new QHBoxLayout;
    address->addWidget(edArchiveHost, 1);
    address->addWidget(portLabel);
    address->addWidget(seArchivePort);
    server->addRow(QStringLiteral("&Server:"), address);
    qobject_cast<QLabel*>(server->labelForField(address))->setBuddy(edArchiveHost);
    auto field = [&](QLineEdit*& edit, const char* name, const QString& label, const QString& hint) {
        edit = new QLineEdit(dlgArchiveServer);
        edit->setObjectName(QLatin1String(name));
        edit->setMaxLength(200);
        setHint(edit, hint);
        server->addRow(label, edit);
    };
    field(edArchiveDatabase, "edArchiveDatabase", QStringLiteral("&Database:"),
          QStringLiteral("The database the administrator made for the archive"));
    field(edArchiveUser, "edArchiveUser", QStringLiteral("&User:"), QStringLiteral("Your user name on the server"));
    cbArchiveSsl = new QComboBox(dlgArchiveServer);
    cbArchiveSsl->setObjectName(QStringLiteral("cbArchiveSsl"));
    for (const char* mode : {"prefer", "require", "verify-ca", "verify-full", "disable"})
        cbArchiveSsl->addItem(QLatin1String(mode));
    setHint(cbArchiveSsl, QStringLiteral("Whether the connection is encrypted: \"require\" or stricter over a "
                                         "network; \"verify-full\" also checks the server's certificate"));
    server->addRow(QStringLiteral("&Encryption (SSL mode):"), cbArchiveSsl);
    btnTestArchive = new QPushButton(QStringLiteral("&Test connection"), dlgArchiveServer);
    btnTestArchive->setObjectName(QStringLiteral("btnTestArchive"));
    btnTestArchive->setVisible(bool(hooks.testArchive));
    lblArchiveTest = new QLabel(dlgArchiveServer);
    lblArchiveTest->setObjectName(QStringLiteral("lblArchiveTest"));
    lblArchiveTest->setWordWrap(true);
    lblArchiveTest->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblArchiveTest->setMinimumHeight(2 * lblArchiveTest->fontMetrics().height());
    server->addRow(btnTestArchive, lblArchiveTest);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dlgArchiveServer);
    column->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, dlgArchiveServer, [this] {
        if (edArchiveDatabase->text().trimmed().isEmpty()) {
            lblArchiveTest->setText(QStringLiteral("A team archive needs its database's name."));
            edArchiveDatabase->setFocus();
            return;
        }
        dlgArchiveServer->accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, dlgArchiveServer, &QDialog::reject);
    connect(btnTestArchive, &QPushButton::clicked, this, &TfmSetup::btnTestArchiveClick);
    // A test's answer is about what was typed then.
    for (QLineEdit* edit : {edArchiveHost, edArchiveDatabase, edArchiveUser})
        connect(edit, &QLineEdit::textEdited, lblArchiveTest, &QLabel::clear);
    dlgArchiveServer->resize(380, dlgArchiveServer->sizeHint().height());
}

void TfmSetup::btnArchiveServerClick()
{
    const ArchiveLocation before = serverFields();
    lblArchiveTest->clear();
    if (dlgArchiveServer->exec() == QDialog::Accepted)
        rbArchiveServer->setChecked(true);
    else
        showServerFields(before);
    showServerLine();
}

void TfmSetup::showServerLine()
{
    const ArchiveLocation at = serverFields();
    lblArchiveServer->setText(at.database.isEmpty() ? QStringLiteral("(no server given yet)") : at.Shown());
    lblArchiveServer->setEnabled(rbArchiveServer->isChecked());
}

bool TfmSetup::Execute(Settings& settings)
{
    target = &settings;
    saved = false;
    exec();
    target = &standIn;
    return saved;
}

void TfmSetup::Open(Settings& settings)
{
    target = &settings;
    saved = false;
    show();
}

void TfmSetup::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
        // The storage restores the print font just before the dialog fills.
        runHandler([this] { layout->Restore(); });
        FormShow();
    }
    QDialog::showEvent(event);
}

void TfmSetup::FormShow()
{
    Ready = false;
    setWindowTitle(QStringLiteral("KR System Setup"));
    fillPorts(target->PortNumber);
    PortAtShow = target->PortNumber;
    // The port is not tried here: the main window has just done so.
    lblPortStatus->setText(missingDeviceText(PortAtShow));
    margins = TMargins{target->TopMargin, target->RightMargin, target->BottomMargin, target->LeftMargin};
    rbCentigrade->setChecked(target->Centigrade);
    rbFahrenheit->setChecked(!target->Centigrade);
    rbImperial->setChecked(!target->Metric);
    rbMetric->setChecked(target->Metric);
    DialogMetric = target->Metric;
    ApplyUnits();
    chkArchive->setChecked(target->Archive);
    edInspector->setText(ReadInspector());
    showArchive(ReadArchiveLocation(IniFile(IniFilePath())));
    Ready = true;
    atShow = shownValues();
    nbSetup->setCurrentIndex(0);
}

void TfmSetup::ApplyUnits()
{
    const bool metric = rbMetric->isChecked();
    for (QDoubleSpinBox* box : {seTopMargin, seRightMargin, seBottomMargin, seLeftMargin}) {
        box->setDecimals(metric ? 0 : 2);
        box->setSingleStep(metric ? 1.0 : 0.1);
        box->setRange(0, ShowMarginValue(MaxMargin, metric));
    }
    for (QLabel* unit : {lblTopUnit, lblRightUnit, lblBottomUnit, lblLeftUnit})
        unit->setText(metric ? QStringLiteral("mm") : QStringLiteral("inches"));
    DialogMetric = metric;
    ShowMargins();
}

void TfmSetup::ShowMargins()
{
    seTopMargin->setValue(ShowMarginValue(margins.Top, DialogMetric));
    seRightMargin->setValue(ShowMarginValue(margins.Right, DialogMetric));
    seBottomMargin->setValue(ShowMarginValue(margins.Bottom, DialogMetric));
    seLeftMargin->setValue(ShowMarginValue(margins.Left, DialogMetric));
}

int TfmSetup::readMargin(const QDoubleSpinBox* box) const
{
    const std::optional<int> mm = TryReadMargin(box->cleanText().toStdString(), DialogMetric, decimalSeparatorOf(box));
    return std::clamp(mm.value_or(0), 0, MaxMargin);
}

void TfmSetup::ReadMargins()
{
    auto read = [this](QDoubleSpinBox* box) {
        // A text that does not read counts as 0, and the box says so.
        if (!TryReadMargin(box->cleanText().toStdString(), DialogMetric, decimalSeparatorOf(box)))
            box->setValue(0);
        return readMargin(box);
    };
    margins.Top = read(seTopMargin);
    margins.Right = read(seRightMargin);
    margins.Bottom = read(seBottomMargin);
    margins.Left = read(seLeftMargin);
}

TfmSetup::Values TfmSetup::shownValues() const
{
    return Values{chosenPort(),
                  TMargins{readMargin(seTopMargin), readMargin(seRightMargin), readMargin(seBottomMargin),
                           readMargin(seLeftMargin)},
                  rbCentigrade->isChecked(), DialogMetric, chkArchive->isChecked(), edInspector->text().trimmed(),
                  shownArchive()};
}

ArchiveLocation TfmSetup::serverFields() const
{
    ArchiveLocation at;
    at.engine = ArchiveLocation::PostgreSQL;
    at.host = edArchiveHost->text().trimmed();
    at.port = seArchivePort->value();
    at.database = edArchiveDatabase->text().trimmed();
    at.user = edArchiveUser->text().trimmed();
    at.sslMode = cbArchiveSsl->currentText();
    return at;
}

void TfmSetup::showServerFields(const ArchiveLocation& at)
{
    edArchiveHost->setText(at.host);
    seArchivePort->setValue(at.port);
    edArchiveDatabase->setText(at.database);
    edArchiveUser->setText(at.user);
    const int ssl = cbArchiveSsl->findText(at.sslMode.isEmpty() ? QStringLiteral("prefer") : at.sslMode);
    if (ssl < 0)
        cbArchiveSsl->addItem(at.sslMode);
    cbArchiveSsl->setCurrentIndex(ssl < 0 ? cbArchiveSsl->count() - 1 : ssl);
}

ArchiveLocation TfmSetup::shownArchive() const
{
    return rbArchiveServer->isChecked() ? serverFields() : ArchiveLocation::File(hooks.archivePath);
}

void TfmSetup::showArchive(const ArchiveLocation& at)
{
    const bool server = at.engine == ArchiveLocation::PostgreSQL;
    rbArchiveServer->setChecked(server);
    rbArchiveFile->setChecked(!server);
    // The file keeps the server's fields as kr.ini keeps them.
    showServerFields(server ? at : ReadArchiveServer(IniFile(IniFilePath())));
    lblArchiveTest->clear();
    showServerLine();
}

void TfmSetup::btnTestArchiveClick()
{
    const ArchiveLocation at = serverFields();
    if (at.database.isEmpty()) {
        lblArchiveTest->setText(QStringLiteral("Give the database's name first."));
        return;
    }
    lblArchiveTest->setText(QStringLiteral("Connecting to %1...").arg(at.Shown()));
    lblArchiveTest->repaint();
    runHandler([this, &at] { lblArchiveTest->setText(hooks.testArchive(at)); });
}

void TfmSetup::fillPorts(int keep)
{
    // Refilling the list is not a change of port.
    const QSignalBlocker quiet(cbPort);
    cbPort->clear();
    for (const PortChoice& port : PortMap::existingPorts()) {
        cbPort->addItem(portEntry(port), port.number);
        if (const QString details = PortMap::details(port); !details.isEmpty())
            cbPort->setItemData(cbPort->count() - 1, details, Qt::ToolTipRole);
    }
    if (cbPort->findData(keep) < 0) {
        int at = 0;
        while (at < cbPort->count() && cbPort->itemData(at).toInt() < keep)
            ++at;
        cbPort->insertItem(at, absentEntry(keep), keep);
    }
    cbPort->setCurrentIndex(cbPort->findData(keep));
    cbPort->view()->setMinimumWidth(cbPort->view()->sizeHintForColumn(0) + 2 * cbPort->view()->frameWidth());
}

int TfmSetup::chosenPort() const
{
    return cbPort->currentIndex() < 0 ? PortAtShow : cbPort->currentData().toInt();
}

void TfmSetup::choosePort(int number)
{
    {
        const QSignalBlocker quiet(cbPort);
        // The list may be older than the port.
        if (cbPort->findData(number) < 0)
            fillPorts(chosenPort());
        if (cbPort->findData(number) < 0)
            fillPorts(number);
        cbPort->setCurrentIndex(cbPort->findData(number));
    }
    // Once, also when it was chosen already: the port is opened anew.
    cbPortChange();
}

void TfmSetup::showPortProblem(int number, const QString& error)
{
    QString text = missingDeviceText(number);
    if (text.isEmpty())
        text = QString(error).replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    lblPortStatus->setText(text);
}

void TfmSetup::reopenPort(int number)
{
    if (!hooks.reopenPort)
        return;
    try {
        hooks.reopenPort(number);
        lblPortStatus->clear();
    } catch (...) {
        showPortProblem(number, currentExceptionText());
    }
}

void TfmSetup::cbPortChange()
{
    const int number = chosenPort();
    target->PortNumber = number;
    reopenPort(number);
}

void TfmSetup::btnTestClick()
{
    const int port = chosenPort();
    target->PortNumber = port;
    const QScopedValueRollback<bool> testing(testingPort, true);
    if (hooks.testPort)
        runHandler([this, port] { hooks.testPort(port); });
}

void TfmSetup::btnFindMeterClick()
{
    if (!hooks.findMeter)
        return;
    std::optional<int> found;
    runHandler([this, &found] { found = hooks.findMeter(); });
    if (found) {
        choosePort(*found);
        showMessage(MsgKind::Information, QStringLiteral("Found KR on Communications Port %1").arg(*found));
        return;
    }
    reopenPort(chosenPort());
    showMessage(MsgKind::Error, QStringLiteral("No KR answered on a free serial port.\r\n"
                                               "Check connections and ensure KR is switched on."));
}

// ApplyUnits shows the margins in the chosen unit: once.
void TfmSetup::rbMetricClick()
{
    if (Ready)
        ApplyUnits();
}

void TfmSetup::rbImperialClick() { rbMetricClick(); }

void TfmSetup::btnOKClick()
{
    if (refuseCloseWhileBusy(testingPort))
        return;
    // A team archive chosen without a database: its dialog says so.
    if (rbArchiveServer->isChecked() && edArchiveDatabase->text().trimmed().isEmpty()) {
        nbSetup->setCurrentWidget(nbSetup->findChild<QWidget*>(QStringLiteral("tsArchive")));
        btnArchiveServerClick();
        return;
    }
    ReadMargins();
    const int port = chosenPort();
    target->PortNumber = port;
    // A port that will not open is said under it; the settings are kept all
    // the same, so an unplugged adapter never holds up the rest.
    reopenPort(port);
    target->TopMargin = margins.Top;
    target->LeftMargin = margins.Left;
    target->BottomMargin = margins.Bottom;
    target->RightMargin = margins.Right;
    target->Centigrade = rbCentigrade->isChecked();
    target->Metric = DialogMetric;
    target->Archive = chkArchive->isChecked();
    // A failed write is reported and the dialog stays open; what reached the
    // settings above stays in effect for the run.
    if (!runHandler([this] {
            IniFile ini(IniFilePath());
            ini.writeTogether([&] {
                WriteSettings(ini, *target);
                WriteInspector(ini, edInspector->text());
                WriteArchiveLocation(ini, shownArchive());
            });
        }))
        return;
    saved = true;
    accept();
}

void TfmSetup::RxSpeedButton2Click()
{
    if (!refuseCloseWhileBusy(testingPort))
        leaveWithoutSaving();
}

void TfmSetup::leaveWithoutSaving()
{
    target->PortNumber = PortAtShow;
    reopenPort(PortAtShow);
    QDialog::reject();
}

void TfmSetup::RxSpeedButton3Click()
{
    if (hooks.help)
        runHandler([this] { hooks.help(help_topic::SystemSetup); });
}

void TfmSetup::lblPrinterFontDblClick()
{
    if (auto chosen = chooseFont(this, printFont, screenOf(this).pixelsPerInch))
        setPrintFont(*chosen);
}

void TfmSetup::setPrintFont(const StoredFont& font)
{
    printFont = font;
    lblPrinterFont->setFont(toQFont(font));
    QPalette palette = lblPrinterFont->palette();
    palette.setColor(QPalette::WindowText, toQColor(font.Color));
    lblPrinterFont->setPalette(palette);
}

void TfmSetup::done(int result)
{
    QDialog::done(result);
    target = &standIn;
    // Whichever way the dialog closed, the print font is stored; a failure is
    // reported and changes nothing else.
    if (const auto failure = layout->Save())
        showErrorReport(fromCp1252(*failure));
}

// Escape and the window's close control come here: they leave without
// saving, asking first when that would lose a change.
void TfmSetup::reject()
{
    if (refuseCloseWhileBusy(testingPort))
        return;
    if (shownValues() == atShow) {
        leaveWithoutSaving();
        return;
    }
    switch (showMessage(MsgKind::Warning, QStringLiteral("Do you wish to save these changes?"),
                        mbYes | mbNo | mbCancel)) {
    case mbYes:
        btnOKClick();
        break;
    case mbNo:
        leaveWithoutSaving();
        break;
    default:
        break;
    }
}

// Return saves from anywhere in the dialog; on a button it presses that button.
void TfmSetup::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QDialog::keyPressEvent(event);
        return;
    }
    if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled())
        button->click();
    else
        btnOKClick();
}

bool TfmSetup::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut
        && (watched == seTopMargin || watched == seRightMargin || watched == seBottomMargin
            || watched == seLeftMargin))
        runHandler([this] { ReadMargins(); });
    else if (watched == lblPrinterFont && event->type() == QEvent::MouseButtonDblClick)
        lblPrinterFontDblClick();
    return QDialog::eventFilter(watched, event);
}

} // namespace kr
