#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFontDialog>
#include <QFontInfo>
#include <QKeySequence>
#include <QMap>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "core/Errors.h"
#include "platform/PortMap.h"
#include "settings/Appglob.h"
#include "settings/IniFile.h"
#include "settings/Margins.h"
#include "settings/ReportSettings.h"
#include "settings/ui/Setup.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestFiles.h"

using namespace kr;
using kr::test::programHome;

namespace {

// The "key=value" lines of kr.ini, in file order.
QStringList keyLines()
{
    QStringList out;
    for (const QByteArray& line : test::readFile(IniFilePath()).split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.contains('='))
            out << QString::fromLatin1(trimmed);
    }
    return out;
}

// Runs `handle` on the next modal dialog of the wanted kind once the event
// loop reaches it.
void showPage(TfmSetup& dlg, int page)
{
    dlg.nbSetup->setCurrentIndex(page);
    // Lets the page lay itself out before it is clicked.
    QCoreApplication::processEvents();
}

// A radio button takes clicks on its circle and caption only.
void clickRadio(QRadioButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

template <typename Dialog> void onModal(std::function<void(Dialog*)> handle, int attempts = 50)
{
    QTimer::singleShot(10, [handle, attempts] {
        if (auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget()))
            handle(d);
        else if (attempts > 0)
            onModal<Dialog>(handle, attempts - 1);
    });
}

enum class Change { None, Temperature, Margin, Archive, Inspector };

struct Calls {
    QList<int> reopened, tested, help;
};

TSetupHooks recordingHooks(Calls& calls)
{
    TSetupHooks h;
    h.reopenPort = [&calls](int n) { calls.reopened << n; };
    h.testPort = [&calls](int n) { calls.tested << n; };
    h.help = [&calls](int topic) { calls.help << topic; };
    return h;
}

} // namespace

class TestSetup : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void marginsConvertBetweenUnits_data();
    void marginsConvertBetweenUnits();
    void opensWithDefaultsOnFirstPage();
    void unitButtonsConvertShownMargins();
    void inchesSaveQuantisesUntouchedMargins();
    void marginBoxesKeepMarginsInRange();
    void portBoxReopensAndExitPutsPortBack();
    void portListKeepsTheStoredPortAndSaysWhyItWillNotOpen_data();
    void portListKeepsTheStoredPortAndSaysWhyItWillNotOpen();
    void failedWriteIsReportedAndDialogStays();
    void keysSaveOrLeaveAskingAboutChanges_data();
    void keysSaveOrLeaveAskingAboutChanges();
    void everyButtonHasItsOwnAccessLetter();
    void printFontIsStoredWhicheverWayTheDialogCloses();
    void archiveServerIsKeptWithoutItsPassword();
    void screenshotsOfEachPage();
};

void TestSetup::initTestCase()
{
    QVERIFY(programHome().isValid());
    QCOMPARE(QDir(ProgramFolder()).absolutePath(), QDir(programHome().path()).absolutePath());
}

void TestSetup::init()
{
    QFile::remove(IniFilePath());
}

void TestSetup::marginsConvertBetweenUnits_data()
{
    QTest::addColumn<bool>("metric");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<int>("millimetres"); // shown as `text`; -1: only the reading is checked
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("readBack");

    QTest::newRow("10 mm in mm") << true << "." << 10 << "10" << 10;
    QTest::newRow("10 mm in inches") << false << "." << 10 << "0.40" << 10;
    QTest::newRow("12 mm in inches saves as 13") << false << "." << 12 << "0.50" << 13;
    QTest::newRow("25 mm in inches") << false << "." << 25 << "1.00" << 25;
    QTest::newRow("0 mm in inches") << false << "." << 0 << "0.00" << 0;
    QTest::newRow("negative in inches") << false << "." << -10 << "-0.40" << -10;
    QTest::newRow("comma separator") << false << "," << 10 << "0,40" << 10;
    QTest::newRow("large in mm") << true << "." << 123456 << "123456" << 123456;
    QTest::newRow("2.50 in is 63.5 mm, half to even") << false << "." << -1 << "2.50" << 64;
    QTest::newRow("7.50 in is 190.5 mm, half to even") << false << "." << -1 << "7.50" << 190;
    QTest::newRow("just below a half") << false << "." << -1 << "2.4999999" << 63;
    QTest::newRow("more decimals") << false << "." << -1 << "0.123" << 3;
    QTest::newRow("empty inches counts 0") << false << "." << -1 << "" << 0;
    QTest::newRow("letters count 0") << false << "." << -1 << "abc" << 0;
    QTest::newRow("decimals in mm count 0") << true << "." << -1 << "10.5" << 0;
    QTest::newRow("empty mm counts 0") << true << "." << -1 << "" << 0;
    QTest::newRow("huge inches clamp") << false << "." << -1 << "1e30" << INT_MAX;
}

void TestSetup::marginsConvertBetweenUnits()
{
    QFETCH(bool, metric);
    QFETCH(QString, separator);
    QFETCH(int, millimetres);
    QFETCH(QString, text);
    QFETCH(int, readBack);
    const char sep = separator.toLatin1().at(0);
    if (millimetres != -1)
        QCOMPARE(QString::fromStdString(ShowMargin(millimetres, metric, sep)), text);
    QCOMPARE(ReadMargin(text.toStdString(), metric, sep), readBack);
}

void TestSetup::opensWithDefaultsOnFirstPage()
{
    Calls calls;
    TfmSetup dlg(recordingHooks(calls));
    // Before the first showing the print font is the design value.
    QVERIFY(dlg.PrintFont() == StoredFont{});

    Settings settings;
    dlg.nbSetup->setCurrentIndex(2);
    dlg.Open(settings);
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("KR System Setup"));
    QCOMPARE(dlg.size(), QSize(455, 264));
    QCOMPARE(dlg.nbSetup->currentIndex(), 0);
    QCOMPARE(dlg.nbSetup->tabText(0), QStringLiteral("Communications"));
    QCOMPARE(dlg.chosenPort(), 1);
    QVERIFY(dlg.cbPort->currentText().startsWith(PortMap::describe(1)));
    for (QDoubleSpinBox* box : {dlg.seTopMargin, dlg.seRightMargin, dlg.seBottomMargin, dlg.seLeftMargin})
        QCOMPARE(box->cleanText(), QStringLiteral("10"));
    for (QLabel* unit : {dlg.lblTopUnit, dlg.lblRightUnit, dlg.lblBottomUnit, dlg.lblLeftUnit})
        QCOMPARE(unit->text(), QStringLiteral("mm"));
    QVERIFY(dlg.rbCentigrade->isChecked() && !dlg.rbFahrenheit->isChecked());
    QVERIFY(dlg.rbMetric->isChecked() && !dlg.rbImperial->isChecked());
    QCOMPARE(dlg.btnOK->toolTip(), QStringLiteral("Save settings and exit"));
    QCOMPARE(dlg.RxSpeedButton2->toolTip(), QStringLiteral("Exit without saving"));
    QCOMPARE(dlg.RxSpeedButton3->toolTip(), QStringLiteral("Help"));
    QCOMPARE(dlg.btnTest->toolTip(), QStringLiteral("Test serial port"));
    QCOMPARE(dlg.cbPort->toolTip(), QStringLiteral("Serial port number"));
    QCOMPARE(dlg.lblPrinterFont->text(), QStringLiteral("Font for printing"));
    QVERIFY(calls.reopened.isEmpty());

    QTest::mouseClick(dlg.RxSpeedButton3, Qt::LeftButton);
    QCOMPARE(calls.help, QList<int>{1200});
    QTest::mouseClick(dlg.btnTest, Qt::LeftButton);
    QCOMPARE(calls.tested, QList<int>{1});
}

void TestSetup::unitButtonsConvertShownMargins()
{
    TfmSetup dlg;
    Settings settings;
    dlg.Open(settings);
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    showPage(dlg, 2);

    clickRadio(dlg.rbImperial);
    QCOMPARE(dlg.seTopMargin->cleanText(), QStringLiteral("0.40"));
    QCOMPARE(dlg.lblLeftUnit->text(), QStringLiteral("inches"));
    QCOMPARE(dlg.seTopMargin->singleStep(), 0.1);
    dlg.seTopMargin->stepBy(1);
    QCOMPARE(dlg.seTopMargin->cleanText(), QStringLiteral("0.50"));

    // Leaving the box reads it: 0.50 inches is 13 mm.
    dlg.nbSetup->setCurrentIndex(1);
    dlg.seTopMargin->setFocus();
    dlg.seRightMargin->setFocus();
    showPage(dlg, 2);
    clickRadio(dlg.rbMetric);
    QCOMPARE(dlg.seTopMargin->cleanText(), QStringLiteral("13"));
    QCOMPARE(dlg.seLeftMargin->cleanText(), QStringLiteral("10"));
    QCOMPARE(dlg.lblTopUnit->text(), QStringLiteral("mm"));
    QCOMPARE(dlg.seTopMargin->singleStep(), 1.0);
}

void TestSetup::inchesSaveQuantisesUntouchedMargins()
{
    Calls calls;
    TfmSetup dlg(recordingHooks(calls));
    Settings settings;
    settings.PortNumber = 3;
    settings.Metric = false;
    settings.TopMargin = 12;
    settings.Centigrade = false;
    bool seen = false;
    onModal<TfmSetup>([&seen](TfmSetup* d) {
        seen = true;
        QCOMPARE(d->seTopMargin->cleanText(), QStringLiteral("0.50"));
        QTest::mouseClick(d->btnOK, Qt::LeftButton);
    });
    QVERIFY(dlg.Execute(settings));
    QVERIFY(seen);
    QCOMPARE(calls.reopened, QList<int>{3});
    QCOMPARE(settings.TopMargin, 13);
    QCOMPARE(settings.LeftMargin, 10);

    const QStringList lines = keyLines();
    QVERIFY(lines.size() >= 8);
    QCOMPARE(lines.mid(0, 8), (QStringList{"Port=3", "HeartBeat=0", "TopMargin=13", "RightMargin=10",
                                           "BottomMargin=10", "LeftMargin=10", "Centigrade=0", "Metric=0"}));
}

// Stored margins outside 0..50 mm are brought to the nearest end, in
// either unit, and saved so.
void TestSetup::marginBoxesKeepMarginsInRange()
{
    TfmSetup dlg;
    Settings settings;
    settings.TopMargin = -1000;
    settings.LeftMargin = 500;
    settings.RightMargin = 25;
    dlg.Open(settings);
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(dlg.seTopMargin->cleanText(), QStringLiteral("0"));
    QCOMPARE(dlg.seLeftMargin->cleanText(), QStringLiteral("50"));
    QCOMPARE(dlg.seRightMargin->cleanText(), QStringLiteral("25"));
    showPage(dlg, 2);
    clickRadio(dlg.rbImperial);
    QCOMPARE(dlg.seLeftMargin->maximum(), 2.0);
    QCOMPARE(dlg.seLeftMargin->cleanText(), QStringLiteral("2.00"));
    QTest::mouseClick(dlg.btnOK, Qt::LeftButton);
    QCOMPARE(settings.TopMargin, 0);
    QCOMPARE(settings.LeftMargin, 50);
}

void TestSetup::portBoxReopensAndExitPutsPortBack()
{
    Calls calls;
    TfmSetup dlg(recordingHooks(calls));
    Settings settings;
    dlg.Open(settings);
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    dlg.choosePort(2);
    QCOMPARE(calls.reopened, QList<int>{2});
    QCOMPARE(settings.PortNumber, 2);
    QVERIFY(dlg.cbPort->currentText().startsWith(PortMap::describe(2)));
    showPage(dlg, 2);
    clickRadio(dlg.rbFahrenheit);

    QTest::mouseClick(dlg.RxSpeedButton2, Qt::LeftButton);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(calls.reopened, (QList<int>{2, 1}));
    QCOMPARE(settings.PortNumber, 1);
    QVERIFY(settings.Centigrade);
    IniFile ini(IniFilePath());
    QVERIFY(!ini.sectionExists("Communications"));
    QVERIFY(!ini.sectionExists("General"));
}

void TestSetup::portListKeepsTheStoredPortAndSaysWhyItWillNotOpen_data()
{
    QTest::addColumn<QString>("entry"); // naming the <device>
    QTest::addColumn<QString>("lineAtShow"); // empty: the device is there
    QTest::addColumn<QString>("lineWhenChosen");

    const QString notThere = "<device> is not there: is the adapter plugged in?";
    QTest::newRow("adapter unplugged") << "COM23 (<device>) - not present" << notThere << notThere;
    QTest::newRow("port held elsewhere") << "COM23 (<device>)" << ""
                                         << "Cannot open serial port COM23: in use. Close that program.";
}

// Port 23 is above what the old box offered; Save keeps it and the rest even
// though it will not open, and says so in the line under the port only.
void TestSetup::portListKeepsTheStoredPortAndSaysWhyItWillNotOpen()
{
    QFETCH(QString, entry);
    QFETCH(QString, lineAtShow);
    QFETCH(QString, lineWhenChosen);
    test::ScriptedPrompts prompts;
    QTemporaryDir devices;
    const QString device = devices.filePath("ttyUSB9");
    QVERIFY(!lineAtShow.isEmpty() || test::writeFile(device, ""));
    qputenv("KR_PORT_23", device.toLocal8Bit());
    const auto unset = qScopeGuard([] { qunsetenv("KR_PORT_23"); });
    Calls calls;
    TSetupHooks hooks = recordingHooks(calls);
    hooks.reopenPort = [&calls](int n) {
        calls.reopened << n;
        if (n == 23)
            throw KrError("Cannot open serial port COM23: in use.\r\nClose that program.");
    };
    TfmSetup dlg(hooks);
    Settings settings;
    settings.PortNumber = 23;
    dlg.Open(settings);
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QList<int> listed, expected{23};
    for (int i = 0; i < dlg.cbPort->count(); ++i)
        listed << dlg.cbPort->itemData(i).toInt();
    for (const PortChoice& port : PortMap::existingPorts())
        expected << port.number;
    std::sort(expected.begin(), expected.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    QCOMPARE(listed, expected);
    QCOMPARE(dlg.cbPort->currentText(), entry.replace("<device>", device));
    QCOMPARE(dlg.lblPortStatus->text(), lineAtShow.replace("<device>", device));

    dlg.choosePort(1);
    QCOMPARE(dlg.lblPortStatus->text(), QString());
    dlg.choosePort(23);
    QCOMPARE(dlg.lblPortStatus->text(), lineWhenChosen.replace("<device>", device));
    showPage(dlg, 2);
    clickRadio(dlg.rbFahrenheit);
    QTest::mouseClick(dlg.btnOK, Qt::LeftButton);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(prompts.messageTexts(), QStringList{});
    QCOMPARE(calls.reopened, (QList<int>{1, 23, 23}));
    QCOMPARE(keyLines().mid(0, 1), QStringList{"Port=23"});
    QVERIFY(keyLines().contains("Centigrade=0"));
}

void TestSetup::failedWriteIsReportedAndDialogStays()
{
    test::ScriptedPrompts prompts;
    // A folder where kr.ini should be: every write of the file fails.
    QVERIFY(QDir().mkpath(IniFilePath()));
    struct Remove {
        ~Remove() { QDir(IniFilePath()).removeRecursively(); }
    } remove;

    TfmSetup dlg;
    Settings settings;
    dlg.Open(settings);
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    showPage(dlg, 2);
    clickRadio(dlg.rbFahrenheit);
    QTest::mouseClick(dlg.btnOK, Qt::LeftButton);

    QVERIFY(dlg.isVisible());
    const QString message = "Unable to write to " + IniFilePath();
    QCOMPARE(prompts.messageTexts(), QStringList{message});
    QCOMPARE(prompts.messages().at(0).kind, MsgKind::Error);
    // What reached the settings before the write stays for the run.
    QVERIFY(!settings.Centigrade);

    // Closing stores the print font, which fails the same way and is reported.
    QTest::mouseClick(dlg.RxSpeedButton2, Qt::LeftButton);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(prompts.messageTexts(), (QStringList{message, message}));
}

void TestSetup::keysSaveOrLeaveAskingAboutChanges_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Change>("change");
    QTest::addColumn<int>("answer"); // to "save changes?"; mbNone: not asked; Cancel stays
    QTest::addColumn<bool>("saved");

    const int esc = Qt::Key_Escape;
    QTest::newRow("Return saves") << int(Qt::Key_Return) << Change::None << int(mbNone) << true;
    QTest::newRow("Enter saves a change") << int(Qt::Key_Enter) << Change::Temperature << int(mbNone) << true;
    // Inch margins are shown rounded; leaving them untouched is no change.
    QTest::newRow("Esc without changes") << esc << Change::None << int(mbNone) << false;
    QTest::newRow("Esc, change, Yes") << esc << Change::Temperature << int(mbYes) << true;
    QTest::newRow("Esc, change, No") << esc << Change::Temperature << int(mbNo) << false;
    QTest::newRow("Esc, margin, No") << esc << Change::Margin << int(mbNo) << false;
    QTest::newRow("Esc, change, Cancel") << esc << Change::Temperature << int(mbCancel) << false;
    QTest::newRow("Esc, archive off, Yes") << esc << Change::Archive << int(mbYes) << true;
    QTest::newRow("Esc, archive off, No") << esc << Change::Archive << int(mbNo) << false;
    QTest::newRow("Esc, inspector, Yes") << esc << Change::Inspector << int(mbYes) << true;
    QTest::newRow("Esc, inspector, No") << esc << Change::Inspector << int(mbNo) << false;
}

void TestSetup::keysSaveOrLeaveAskingAboutChanges()
{
    QFETCH(int, key);
    QFETCH(Change, change);
    QFETCH(int, answer);
    QFETCH(bool, saved);
    test::ScriptedPrompts prompts;
    if (answer != mbNone)
        prompts.answer(MsgButton(answer));
    TfmSetup dlg;
    Settings settings;
    settings.Metric = false;
    settings.TopMargin = 12;
    const QString before = QStringLiteral("Ann Lee"), typed = QStringLiteral("Zo\u00eb \u00c5ngstr\u00f6m");
    WriteInspector(before);
    dlg.Open(settings);
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(dlg.edInspector->text(), before);
    if (change == Change::Temperature) {
        showPage(dlg, 2);
        clickRadio(dlg.rbFahrenheit);
    } else if (change == Change::Margin) {
        showPage(dlg, 1);
        dlg.seLeftMargin->setFocus();
        dlg.seLeftMargin->stepBy(1);
    } else if (change == Change::Archive) {
        showPage(dlg, 3);
        QVERIFY(dlg.chkArchive->isChecked());
        dlg.chkArchive->click();
    } else if (change == Change::Inspector) {
        showPage(dlg, 3);
        dlg.edInspector->setFocus();
        // As pasted: key clicks carry Latin-1 letters only.
        dlg.edInspector->selectAll();
        dlg.edInspector->insert(typed);
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));

    QCOMPARE(prompts.messageTexts(),
             answer == mbNone ? QStringList{} : QStringList{"Do you wish to save these changes?"});
    QVERIFY(prompts.allAnswered());
    const bool staysOpen = answer == mbCancel;
    QCOMPARE(dlg.isVisible(), staysOpen);
    QCOMPARE(IniFile(IniFilePath()).sectionExists("Communications"), saved);
    QCOMPARE(settings.Centigrade, !(saved && change == Change::Temperature));
    QCOMPARE(settings.Archive, !(saved && change == Change::Archive));
    QCOMPARE(IniFile(IniFilePath()).readBool("Archive", "Keep", true), settings.Archive);
    QCOMPARE(ReadInspector(), saved && change == Change::Inspector ? typed : before);
    if (staysOpen)
        dlg.RxSpeedButton2Click();
}

// A letter works for what shows: the buttons around the pages and the page
// in front. Each page's letters differ from each other and from those.
void TestSetup::everyButtonHasItsOwnAccessLetter()
{
    TSetupHooks hooks;
    hooks.findMeter = [] { return std::optional<int>(); };
    hooks.testArchive = [](const ArchiveLocation&) { return QString(); };
    TfmSetup dlg(hooks);
    // What shows in `in`'s own window; OK and Cancel go by Enter and Escape.
    auto texts = [](const QWidget* in) {
        QStringList found;
        for (QAbstractButton* b : in->findChildren<QAbstractButton*>())
            if (b->window() == in->window() && !qobject_cast<QTabBar*>(b->parentWidget()) // its scroll arrows
                && !qobject_cast<QDialogButtonBox*>(b->parentWidget()))
                found << b->text();
        for (QLabel* l : in->findChildren<QLabel*>())
            if (l->buddy() && l->window() == in->window())
                found << l->text();
        return found;
    };
    QStringList around = texts(&dlg);
    for (const QString& text : texts(dlg.nbSetup))
        around.removeOne(text);
    QList<QStringList> shownTogether{texts(dlg.dlgArchiveServer)};
    for (int page = 0; page < dlg.nbSetup->count(); ++page)
        shownTogether << around + texts(dlg.nbSetup->widget(page));
    for (const QStringList& shown : shownTogether) {
        QMap<QString, QString> taken; // letter -> whose
        for (const QString& text : shown) {
            const QString letter = QKeySequence::mnemonic(text).toString().toUpper();
            QVERIFY2(!letter.isEmpty(), qPrintable(text + " has no access letter"));
            QVERIFY2(!taken.contains(letter), qPrintable(text + " and " + taken.value(letter) + " share " + letter));
            taken.insert(letter, text);
        }
    }
}

void TestSetup::printFontIsStoredWhicheverWayTheDialogCloses()
{
    {
        TfmSetup dlg;
        Settings settings;
        dlg.Open(settings);
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        bool seen = false;
        onModal<QFontDialog>([&seen](QFontDialog* d) {
            seen = true;
            // The dialog shows Arial as the family it stands for here.
            QFont f(QFontInfo(QFont(QStringLiteral("Arial"))).family());
            f.setPointSize(12);
            f.setBold(true);
            d->setCurrentFont(f);
            auto* colours = d->findChild<QComboBox*>(QStringLiteral("cbFontColour"));
            QVERIFY(colours);
            colours->setCurrentIndex(colours->findText(QStringLiteral("Red")));
            d->accept();
        });
        QTest::mouseClick(dlg.btnPrinterFont, Qt::LeftButton);
        QVERIFY(seen);
        QVERIFY(dlg.lblPrinterFont->font().bold());
        QCOMPARE(dlg.lblPrinterFont->font().pointSize(), 12);
        QCOMPARE(dlg.PrintFont().Size, 12);
        QVERIFY(dlg.PrintFont().Style.bold);
        QCOMPARE(dlg.PrintFont().Color, 0x0000FF);

        QTest::mouseClick(dlg.RxSpeedButton2, Qt::LeftButton);
    }
    IniFile ini(IniFilePath());
    QCOMPARE(ini.readString(SetupLayoutSection, "lblPrinterFont_FontName", ""), std::string("Arial"));
    QCOMPARE(ini.readString(SetupLayoutSection, "lblPrinterFont_FontSize", ""), std::string("12"));
    QCOMPARE(ini.readString(SetupLayoutSection, "lblPrinterFont_FontStyle", ""), std::string("[fsBold]"));
    QCOMPARE(ini.readString(SetupLayoutSection, "lblPrinterFont_FontColor", ""), std::string("255"));
    QVERIFY(!ini.sectionExists("Communications"));

    // A new run: Arial 8 until the dialog is shown, then the stored font.
    TfmSetup again;
    QCOMPARE(again.PrintFont().Size, 8);
    Settings settings;
    again.Open(settings);
    QCOMPARE(again.PrintFont().Size, 12);
    QVERIFY(again.PrintFont().Style.bold);
    again.close();
}

// The team archive's address is typed in "Team Archive", tested and saved
// as typed; it needs a database, and its password never reaches kr.ini.
void TestSetup::archiveServerIsKeptWithoutItsPassword()
{
    test::ScriptedPrompts prompts;
    TSetupHooks hooks;
    ArchiveLocation tested;
    hooks.testArchive = [&tested](const ArchiveLocation& at) {
        tested = at;
        KeepPasswordForRun(at, QStringLiteral("typed when asked"));
        return QStringLiteral("Found PostgreSQL 15.10, archive layout 4, 12 readings.");
    };
    TfmSetup dlg(hooks);
    Settings settings;
    dlg.Open(settings);
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    showPage(dlg, 3);
    QVERIFY(dlg.rbArchiveFile->isChecked());
    bool seen = false;
    onModal<QDialog>([&](QDialog* server) {
        seen = server == dlg.dlgArchiveServer;
        QPushButton* ok = server->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        dlg.edArchiveHost->setText(QStringLiteral("db.example.org"));
        dlg.seArchivePort->setValue(5433);
        dlg.edArchiveUser->setText(QStringLiteral("ann"));
        dlg.cbArchiveSsl->setCurrentIndex(dlg.cbArchiveSsl->findText(QStringLiteral("require")));
        dlg.btnTestArchive->click();
        QCOMPARE(dlg.lblArchiveTest->text(), QStringLiteral("Give the database's name first."));
        ok->click();
        QVERIFY(server->isVisible());
        dlg.edArchiveDatabase->setText(QStringLiteral("team"));
        dlg.btnTestArchive->click();
        QCOMPARE(dlg.lblArchiveTest->text(), QStringLiteral("Found PostgreSQL 15.10, archive layout 4, 12 readings."));
        ok->click();
    });
    QTest::mouseClick(dlg.btnArchiveServer, Qt::LeftButton);
    QVERIFY(seen);
    QVERIFY(dlg.rbArchiveServer->isChecked());
    QCOMPARE(dlg.lblArchiveServer->text(), QStringLiteral("ann@db.example.org:5433/team"));
    QCOMPARE(tested.Url(), QStringLiteral("postgresql://ann@db.example.org:5433/team?sslmode=require"));
    QTest::mouseClick(dlg.btnOK, Qt::LeftButton);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(ReadArchiveLocation(IniFile(IniFilePath())), tested);
    QVERIFY(!test::readFile(IniFilePath()).contains("typed when asked"));

    // Shown as saved; choosing the file keeps the server's keys for later.
    TfmSetup again(hooks);
    again.Open(settings);
    showPage(again, 3);
    QVERIFY(again.rbArchiveServer->isChecked());
    QCOMPARE(again.lblArchiveServer->text(), QStringLiteral("ann@db.example.org:5433/team"));
    clickRadio(again.rbArchiveFile);
    QTest::mouseClick(again.btnOK, Qt::LeftButton);
    QCOMPARE(ReadArchiveLocation(IniFile(IniFilePath())).engine, ArchiveLocation::SQLite);
    QCOMPARE(ReadArchiveServer(IniFile(IniFilePath())), tested);
    QVERIFY(prompts.asked().isEmpty());
}

void TestSetup::screenshotsOfEachPage()
{
    const QString outDir = qEnvironmentVariable("KR_BUILD_DIR", QDir::currentPath()) + "/screenshots";
    QVERIFY(QDir().mkpath(outDir));
    TSetupHooks hooks;
    hooks.archivePath = QDir(ProgramFolder()).filePath(QStringLiteral("archive.sqlite"));
    hooks.testArchive = [](const ArchiveLocation&) { return QString(); };
    TfmSetup dlg(hooks);
    Settings settings;
    settings.PortNumber = 5; // its adapter is seldom plugged in here: the line under the port shows
    settings.Metric = false; // the wider unit labels
    settings.TopMargin = 125;
    dlg.Open(settings);
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const char* pages[] = {"communications", "printing", "general", "archive"};
    for (int i = 0; i < 4; ++i) {
        dlg.nbSetup->setCurrentIndex(i);
        QCoreApplication::processEvents();
        const QString path = outDir + "/setup-" + pages[i] + ".png";
        QVERIFY(dlg.grab().save(path));
        qInfo("wrote %s", qPrintable(path));
    }
    dlg.edArchiveHost->setText(QStringLiteral("db.example.org"));
    dlg.edArchiveDatabase->setText(QStringLiteral("readings"));
    dlg.edArchiveUser->setText(QStringLiteral("ann"));
    dlg.lblArchiveTest->setText(QStringLiteral("Found PostgreSQL 15.10, archive layout 4, 1,204 readings."));
    dlg.dlgArchiveServer->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.dlgArchiveServer));
    QVERIFY(dlg.dlgArchiveServer->grab().save(outDir + "/setup-team-archive.png"));
    dlg.dlgArchiveServer->hide();
    bool seen = false;
    onModal<QFontDialog>([&seen, outDir](QFontDialog* d) {
        seen = true;
        QCoreApplication::processEvents();
        QVERIFY(d->grab().save(outDir + "/setup-font-dialog.png"));
        d->reject();
    });
    dlg.lblPrinterFontDblClick();
    QVERIFY(seen);
    dlg.close();
}

QTEST_MAIN(TestSetup)
#include "tst_Setup.moc"
