#include <QAction>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableView>
#include <QtTest>

#include "core/Regional.h"
#include "mainwindow/Main.h"
#include "mainwindow/Note.h"
#include "meter/MeterLink.h"
#include "platform/ui/WidgetPrompts.h"
#include "settings/Appglob.h"
#include "settings/IniFile.h"
#include "shell/About.h"
#include "shell/Krsplash.h"
#include "shell/Progress.h"
#include "shell/Startup.h"
#include "tests/mainwindow/MainWindowFixture.h"
#include "tests/support/ScriptedPrompts.h"

using namespace kr;
using kr::test::shownTitle;

namespace {

// Waits (in an event loop) until the object is destroyed or the time is up.
bool waitDestroyed(QObject* object, int limitMs)
{
    if (!object)
        return true;
    QPointer<QObject> watched(object);
    QEventLoop loop;
    QObject::connect(object, &QObject::destroyed, &loop, &QEventLoop::quit);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    loop.exec();
    return watched.isNull();
}

StartupOptions quiet(int splashMs = 100)
{
    StartupOptions o;
    o.splashMs = splashMs;
    o.openPort = false;
    return o;
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void splashComesFirstAndStaysItsTime();
    void splashStaysThreeSecondsUnlessTold();
    void windowsCreatedOnceAndWired();
    void firstStartWithoutSettingsFile();
    void settingsAreReadAtCreation();
    void dateFormatSetAtCreation();
    void portFailureAtStartIsSilent();
    void exitWithChangesCancelKeepsRunning();
    void windowProgramAsksWithWidgetsWhileItRuns();
};

void TestStartup::initTestCase() { QVERIFY(test::programHome().isValid()); }

void TestStartup::init() { QFile::remove(IniFilePath()); }

void TestStartup::splashComesFirstAndStaysItsTime()
{
    QElapsedTimer clock;
    clock.start();
    TProgram program(quiet(200));
    TfmSplash* splash = program.fmSplash();
    QVERIFY(splash);
    QVERIFY(splash->isVisible());
    QCOMPARE(splash->size(), QSize(401, 301));
    QVERIFY(splash->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(splash->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(splash->lblVersion->text(), QStringLiteral("Version 1.0.9"));
    QCOMPARE(splash->lblVersion->pos(), QPoint(12, 272));
    QCOMPARE(splash->lblVersion->font().pixelSize(), 13);
    program.Show();
    QVERIFY(program.fmMain()->isVisible());
    QVERIFY(program.fmSplash());
    QVERIFY(waitDestroyed(splash, 5000));
    QVERIFY(clock.elapsed() >= 200);
    QVERIFY(!program.fmSplash());
    QVERIFY(program.fmMain()->isVisible());
}

void TestStartup::splashStaysThreeSecondsUnlessTold()
{
    QCOMPARE(StartupOptions{}.splashMs, 3000);
    QCOMPARE(TfmMain::Options{}.splashMs, 3000);
    TProgram program(quiet(3000));
    QCOMPARE(program.fmMain()->tiSplash.interval(), 3000);
    QVERIFY(program.fmMain()->tiSplash.isActive());
    QVERIFY(program.fmMain()->tiSplash.isSingleShot());
}

void TestStartup::windowsCreatedOnceAndWired()
{
    TProgram program(quiet());
    TfmMain* main = program.fmMain();
    QVERIFY(program.fmNote());
    QVERIFY(program.fmProgress());
    QCOMPARE(main->NoteDialog(), program.fmNote());
    QCOMPARE(main->NoteDialog(), program.fmNote()); // asked twice, still the same one
    QCOMPARE(&main->Link().progress(), static_cast<ProgressSink*>(program.fmProgress()));
    QCOMPARE(main->findChildren<TfmNote*>().size(), 1);
    // Created in a fixed order after the main window: note, about box, progress.
    QList<QObject*> dialogs;
    for (QObject* child : main->children())
        if (child == program.fmNote() || child == program.fmAbout() || child == program.fmProgress())
            dialogs << child;
    QCOMPARE(dialogs, (QList<QObject*>{program.fmNote(), program.fmAbout(), program.fmProgress()}));
}

void TestStartup::firstStartWithoutSettingsFile()
{
    QVERIFY(!QFile::exists(IniFilePath()));
    TProgram program(quiet());
    program.Show();
    TfmMain* main = program.fmMain();
    QCOMPARE(shownTitle(*main), QStringLiteral("Varnel Kestrune    Version :1.0.9"));
    QCOMPARE(main->settings, Settings{});
    QCOMPARE(main->CurrentFile(), 1);
    QVERIFY(main->dgData->horizontalHeader()->sectionSize(0) >= 30);
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("KR"));
    // Reading the settings wrote nothing.
    QVERIFY(!QFile::exists(IniFilePath()));
}

void TestStartup::settingsAreReadAtCreation()
{
    IniFile ini(IniFilePath());
    ini.writeString("General", "Centigrade", "0");
    ini.writeString("Communications", "Port", "0x3");
    ini.writeString("setup\\TfmMaindgData", "Item0", "12");
    ini.writeString("setup\\TfmMaindgData", "Item3", "90");
    TProgram program(quiet());
    TfmMain* main = program.fmMain();
    QVERIFY(!main->settings.Centigrade);
    QCOMPARE(main->settings.PortNumber, 3);
    QCOMPARE(main->Link().PortNumber, 3);
    const QString header = main->dgData->model()->headerData(2, Qt::Horizontal).toString();
    QCOMPARE(header, QString(QChar(0xB0)) + "F");
    program.Show();
    // The stored widths came in as the window showed, and column 0 was widened.
    QCOMPARE(main->dgData->horizontalHeader()->sectionSize(3), 90);
    QCOMPARE(main->dgData->horizontalHeader()->sectionSize(0), 30);
}

void TestStartup::dateFormatSetAtCreation()
{
    RegionalSettings r = regional();
    r.shortDateFormat = "yyyy-mm-dd";
    r.dateSeparator = '.';
    setRegional(r);
    TProgram program(quiet());
    QCOMPARE(regional().shortDateFormat, std::string("dd/mm/yyyy"));
    QCOMPARE(regional().dateSeparator, '.');
    test::setReading(program.fmMain()->Document(), 1, 1, "Oak", 12.3L, 21, 4);
    QCOMPARE(program.fmMain()->dgData->model()->index(0, 1).data().toString(), QStringLiteral("04.03.2001 10:15:00"));
    r.dateSeparator = '/';
    setRegional(r);
}

void TestStartup::portFailureAtStartIsSilent()
{
    qputenv("KR_PORT_1", "/nonexistent/kr-test-tty");
    test::ScriptedPrompts prompts;
    StartupOptions o = quiet();
    o.openPort = true;
    TProgram program(o);
    QVERIFY(!program.fmMain()->Link().IsOpen());
    QVERIFY(prompts.asked().isEmpty());
    qunsetenv("KR_PORT_1");
}

void TestStartup::exitWithChangesCancelKeepsRunning()
{
    test::ScriptedPrompts prompts;
    TProgram program(quiet());
    program.Show();
    TfmMain* main = program.fmMain();
    QTest::keyClick(main->memMemo, 'a');
    prompts.answer(mbCancel);
    main->Exit1->trigger();
    QVERIFY(main->isVisible());
    QCOMPARE(prompts.messageTexts(), QStringList{"Do you wish to save these changes?"});
    // Closing for good stores the layout.
    prompts.answer(mbNo);
    const int width = main->dgData->horizontalHeader()->sectionSize(2);
    main->Exit1->trigger();
    QVERIFY(!main->isVisible());
    IniFile ini(IniFilePath());
    QCOMPARE(ini.readInteger("setup\\TfmMaindgData", "Item2", 0), width);
    QVERIFY(ini.read("setup", "NormPos").has_value());
}

void TestStartup::windowProgramAsksWithWidgetsWhileItRuns()
{
    bool widgets = false;
    // Repeated: start-up runs pending events before the program's loop, and
    // exit() ends only a running loop.
    QTimer ender;
    connect(&ender, &QTimer::timeout, [&] {
        widgets = dynamic_cast<WidgetPrompts*>(&prompts()) != nullptr;
        QCoreApplication::exit(7);
    });
    ender.start(10);
    QCOMPARE(runProgram(*qApp, quiet(0)), 7);
    QVERIFY(widgets);
    QVERIFY(!dynamic_cast<WidgetPrompts*>(&prompts()));
}

QTEST_MAIN(TestStartup)
#include "tst_Startup.moc"
