// Every write path of the program on a failing disk: each low-level step of
// the write fails in turn, then a real file system runs full.
#include <QDir>
#include <QPageLayout>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <memory>

#include "core/AtomicFile.h"
#include "core/Errors.h"
#include "core/Readings.h"
#include "library/ListFile.h"
#include "mainwindow/Main.h"
#include "meter/BackupSlots.h"
#include "platform/Text.h"
#include "print/PageOutput.h"
#include "print/PainterSurface.h"
#include "settings/Appglob.h"
#include "settings/FileFolders.h"
#include "settings/FormStorage.h"
#include "settings/GlanceSettings.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "tests/exchanges/ExchangeRig.h"
#include "tests/mainwindow/MainWindowFixture.h"
#include "tests/support/DiskFaults.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestFiles.h"
#include "tools/cli/CliArgs.h"
#include "tools/cli/CliPrompts.h"
#include "tools/cli/Commands.h"

using namespace kr;
using namespace kr::test;

namespace {

const QByteArray OldBytes = "the old, good file\r\n";

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

// What a failed data file save says: the stream broke, or the file could not be made or put in place.
QString saveMessage(DiskOp op, const QString& path)
{
    if (op == DiskOp::Create || op == DiskOp::Rename)
        return QStringLiteral("Cannot create file ") + native(path);
    return QStringLiteral("Stream write error");
}

template <typename Write> QString messageOf(Write&& write)
{
    try {
        write();
    } catch (const KrError& e) {
        return fromCp1252(e.what());
    }
    return {};
}

void emptyFolder(const QString& path)
{
    QDir dir(path);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);
}

// The steps one atomic write of these bytes takes on a sound disk.
int stepsToWrite(const std::string& bytes)
{
    QTemporaryDir scratch;
    armDiskFault(0);
    writeFileAtomically(toNativePath(scratch.filePath(QStringLiteral("x"))), bytes);
    return diskOpsSinceArmed();
}

void fillDocument(TFile& doc)
{
    fillSample(doc);
    doc.SetComment(4, "after the fault");
}

// The main window without a port, holding a document, its prompts scripted.
struct MainWindowRig {
    ScriptedPrompts prompts;
    TfmMain window{withoutPort()};

    MainWindowRig() { fillDocument(window.Document()); }
    ~MainWindowRig() { window.Document().ClearModified(); }
    static TfmMain::Options withoutPort()
    {
        TfmMain::Options o;
        o.openPort = false;
        return o;
    }
    // The messages a handler showed, after the first `skip` (its questions).
    template <typename Handler> QString shownBy(Handler&& handler, int skip = 0)
    {
        const qsizetype before = prompts.messageTexts().size();
        handler();
        return prompts.messageTexts().mid(before + skip).join(QLatin1Char('\n'));
    }
};

} // namespace

class TestDiskFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(programHome().isValid()); }
    void cleanup() { armDiskFault(0); }

    void dataFileSaveInTheWindow();
    void exportInTheWindow();
    void cliOutputs_data();
    void cliOutputs();
    void libraryListFile();
    void settingsFile_data();
    void settingsFile();
    void windowLayoutFile();
    void programFolderIsMadeOrTheSaveSaysWhy();
    void backupKeepsEverySlot_data();
    void backupKeepsEverySlot();
    void eraseIsNeverSentAfterAFailedBackup();
    void fullFileSystemKeepsEveryOldFile();
};

void TestDiskFaults::dataFileSaveInTheWindow()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("keep.krx"));
    MainWindowRig rig;
    TKRFile& doc = rig.window.Document();
    sweepDiskFaults(
        dir.path(),
        [&] {
            QVERIFY(writeFile(file, OldBytes));
            doc.SetFileName(toNativePath(file));
            doc.SetModified();
        },
        [&] { return rig.shownBy([&] { rig.window.Save1Click(); }); },
        [&](const DiskFaultRun& run) {
            if (run.message.isEmpty())
                return;
            QCOMPARE(run.message, saveMessage(run.op, file));
            QVERIFY(doc.IsModified());
        });
}

void TestDiskFaults::exportInTheWindow()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("out.csv"));
    MainWindowRig rig;
    // Kept before the sweep, so every run makes the same writes.
    rememberFolderOf(file);
    sweepDiskFaults(
        dir.path(), [&] { QVERIFY(writeFile(file, OldBytes)); },
        [&] {
            rig.prompts.answerSave(file);
            rig.prompts.answer(mbYes); // replace the old file
            return rig.shownBy([&] { rig.window.Export1Click(); }, 1);
        },
        saysOnFailure(QStringLiteral("Cannot create file ") + native(file)));
}

void TestDiskFaults::cliOutputs_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("convert") << "convert";
    QTest::newRow("import-lines") << "import-lines";
}

void TestDiskFaults::cliOutputs()
{
    QFETCH(QString, command);
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out"));
    QTemporaryDir inputs;
    const QString input = inputs.filePath(QStringLiteral("in"));
    if (command == QLatin1String("convert")) {
        TKRFile doc;
        fillDocument(doc);
        doc.SaveToFile(toNativePath(input));
    } else {
        QVERIFY(writeFile(input, ""));
    }
    const QStringList args = command == QLatin1String("convert")
                                 ? QStringList{command, input, QStringLiteral("--to"), QStringLiteral("csv"),
                                               QStringLiteral("-o"), out}
                                 : QStringList{command, input, QStringLiteral("-o"), out};
    const cli::ParseResult parsed = cli::parseArguments(args);
    QVERIFY2(parsed.ok(), qPrintable(parsed.error));
    int status = 0;
    sweepDiskFaults(
        dir.path(), [&] { QVERIFY(writeFile(out, OldBytes)); },
        [&] {
            // What kr-cli prints on standard error.
            std::unique_ptr<std::FILE, int (*)(std::FILE*)> err(std::tmpfile(), std::fclose);
            cli::CliPrompts prompts(true, err.get());
            status = cli::runCommand(parsed.invocation, prompts);
            std::rewind(err.get());
            QByteArray printed;
            for (int c = std::fgetc(err.get()); c != EOF; c = std::fgetc(err.get()))
                printed += char(c);
            return QString::fromUtf8(printed).trimmed();
        },
        [&](const DiskFaultRun& run) {
            if (run.message.isEmpty())
                return;
            QCOMPARE(status, int(cli::ExitFile));
            // import-lines saves a data file; convert hands its bytes on as they are.
            QCOMPARE(run.message, command == QLatin1String("convert")
                                      ? QStringLiteral("Cannot create file ") + out
                                      : saveMessage(run.op, out));
        });
}

void TestDiskFaults::libraryListFile()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("mine.lst"));
    sweepDiskFaults(
        dir.path(), [&] { QVERIFY(writeFile(file, OldBytes)); },
        [&] { return messageOf([&] { WriteListFile(toNativePath(file), {"A0000001", "B0000002"}, "notes"); }); },
        saysOnFailure(QStringLiteral("Cannot create file ") + native(file)));
}

// The settings a dialog saves are one write: all of them, or none.
void TestDiskFaults::settingsFile_data()
{
    QTest::addColumn<int>("which");
    QTest::newRow("setup") << 0;
    QTest::newRow("statistics range") << 1;
}

void TestDiskFaults::settingsFile()
{
    QFETCH(int, which);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("kr.ini"));
    IniFile ini(file);
    Settings setup;
    setup.PortNumber = 4;
    setup.TopMargin = 25;
    setup.Metric = false;
    GlanceSettings glance;
    glance.range = {20, 25};
    glance.limit = 3;
    sweepDiskFaults(
        dir.path(),
        [&] { QVERIFY(writeFile(file, "[Communications]\r\nPort=3\r\n[Glance]\r\nLow=6\r\nHigh=12\r\n")); },
        [&] {
            return messageOf([&] {
                if (which == 0)
                    WriteSettings(ini, setup);
                else
                    WriteGlanceSettings(ini, glance);
            });
        },
        saysOnFailure(QStringLiteral("Unable to write to ") + native(file)));
}

// A window's layout, recent files among it, is one write too: a failing
// disk never leaves the recent files erased and not yet written back.
void TestDiskFaults::windowLayoutFile()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("kr.ini"));
    FormStorage layout(file, "TfmMain");
    layout.attach({[](IniFile& ini) { writeRecentFiles(ini, "TfmMain.MRU", {{"c.krx", 0}, {"d.krx", 0}}); }, {}});
    sweepDiskFaults(
        dir.path(),
        [&] {
            QVERIFY(writeFile(file, "[TfmMain]\r\nFormVersion=0\r\n[TfmMain.MRU]\r\nItem_0=a.krx\r\nItem_1=b.krx\r\n"));
            QVERIFY(layout.Restore());
        },
        [&] { return messageOf([&] { layout.Save(); }); },
        saysOnFailure(QStringLiteral("Unable to write to ") + native(file)));
}

// A program folder that does not exist yet is made at start; when that
// fails, the first settings save names the file it could not write.
void TestDiskFaults::programFolderIsMadeOrTheSaveSaysWhy()
{
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("new/kr"));
    const QByteArray previous = qgetenv("KR_HOME");
    qputenv("KR_HOME", home.toUtf8());
    sweepDiskFaults(
        home, [&] { QDir(dir.filePath(QStringLiteral("new"))).removeRecursively(); },
        [&] {
            InitAppglob();
            return messageOf([] { IniFile(IniFilePath()).writeString("Communications", "Port", "4"); });
        },
        [&](const DiskFaultRun& run) {
            saysOnFailure(QStringLiteral("Unable to write to ") + native(home + "/kr.ini"))(run);
            if (run.op == DiskOp::MakeFolder)
                QVERIFY(!QFileInfo::exists(home));
        });
    qputenv("KR_HOME", previous);
    InitAppglob();
}

void TestDiskFaults::backupKeepsEverySlot_data()
{
    QTest::addColumn<QList<int>>("used");
    QTest::newRow("free slot") << QList<int>{1, 2};
    QTest::newRow("nine slots, rotated") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9};
}

void TestDiskFaults::backupKeepsEverySlot()
{
    QFETCH(QList<int>, used);
    QTemporaryDir dir;
    TKRFile doc;
    fillDocument(doc);
    const int writeSteps = stepsToWrite(doc.SaveToText());
    const QString slot = native(dir.filePath(QStringLiteral("data%1.bak").arg(used.size() < 9 ? used.size() + 1 : 9)));
    sweepDiskFaults(
        dir.path(),
        [&] {
            emptyFolder(dir.path());
            QDir(dir.filePath(QString::fromLatin1(TBackupSlots::OlderFolderName))).removeRecursively();
            for (int n : used)
                QVERIFY(writeFile(dir.filePath(QStringLiteral("data%1.bak").arg(n)), QByteArray("slot ") + QByteArray::number(n)));
        },
        [&] { return messageOf([&] { TBackupSlots(toNativePath(dir.path())).Store(doc); }); },
        [&](const DiskFaultRun& run) {
            if (run.message.isEmpty())
                return;
            // The new backup is written first; then the oldest is moved into a
            // folder made for it; only then are the others renumbered.
            if (run.n <= writeSteps)
                QCOMPARE(run.message, QStringLiteral("the backup could not be written to ") + slot + '.');
            else if (run.n <= writeSteps + 2)
                QCOMPARE(run.message, QStringLiteral("the oldest backup, data1.bak, could not be moved into ") +
                                          native(dir.filePath(QStringLiteral("older backups/"))) + '.');
            else
                QCOMPARE(run.message, QStringLiteral("the older backups in ") + native(dir.path() + '/') +
                                          QStringLiteral(" could not be renumbered to make room for the new one."));
        });
}

void TestDiskFaults::eraseIsNeverSentAfterAFailedBackup()
{
    QTemporaryDir backups;
    std::unique_ptr<ExchangeRig> rig;
    QByteArray meter; // every run downloads the same readings
    sweepDiskFaults(
        backups.path(),
        [&] {
            emptyFolder(backups.path());
            // One set of prompts at a time: the old rig goes first.
            rig.reset();
            rig = std::make_unique<ExchangeRig>(SimMeter::Options().state(meter));
            QVERIFY(rig->start());
            if (meter.isEmpty())
                meter = rig->sim->readState();
            rig->exchanges.SetBackupFolder(toNativePath(backups.path()));
        },
        [&] {
            rig->prompts.answer(mbOK);
            if (rig->exchanges.EraseMeter().kind == TEraseOutcome::Erased)
                return QString();
            return rig->prompts.messageTexts().last();
        },
        [&](const DiskFaultRun& run) {
            if (run.message.isEmpty())
                return;
            QCOMPARE(run.message, QLatin1String(exchange_text::NotErased) +
                                      QStringLiteral("the backup could not be written to ") +
                                      native(backups.filePath(QStringLiteral("data1.bak"))) + '.');
            QVERIFY(!rig->commandsSeen().contains(QStringLiteral("$*#")));
            QCOMPARE(rig->readingsInMeter(), 40);
        });
}

// A real file system runs full: a data file, kr.ini, a backup and a PDF
// printout each fail to be saved, and every file already there stays as it was.
void TestDiskFaults::fullFileSystemKeepsEveryOldFile()
{
    SmallFileSystem fs(256);
    if (!fs.mounted())
        QSKIP(qPrintable(fs.whyNot()));
    TKRFile doc;
    fillDocument(doc);
    const QString data = fs.filePath(QStringLiteral("keep.krx"));
    doc.SaveToFile(toNativePath(data));
    IniFile ini(fs.filePath(QStringLiteral("kr.ini")));
    ini.writeString("Communications", "Port", "3");
    for (int n = 1; n <= TBackupSlots::SlotCount; ++n)
        QVERIFY(writeFile(fs.filePath(QStringLiteral("data%1.bak").arg(n)), QByteArray("slot ") + QByteArray::number(n)));
    const QString pdf = fs.filePath(QStringLiteral("print.pdf"));
    QVERIFY(writeFile(pdf, OldBytes));
    QVERIFY(fs.fill());
    const FolderFiles before = folderFiles(fs.path());

    doc.SetComment(2, "changed");
    QCOMPARE(messageOf([&] { doc.SaveToFile(toNativePath(data)); }), QStringLiteral("Stream write error"));
    QCOMPARE(messageOf([&] { ini.writeString("Communications", "Port", std::string(5000, '4')); }),
             QStringLiteral("Unable to write to ") + native(fs.filePath(QStringLiteral("kr.ini"))));
    QCOMPARE(messageOf([&] { TBackupSlots(toNativePath(fs.path())).Store(doc); }),
             QStringLiteral("the backup could not be written to ") + native(fs.filePath(QStringLiteral("data9.bak"))) +
                 '.');
    const TPdfResult printed = WritePdf(TPrintJob{}, pdf, PdfPageLayout());
    QCOMPARE(printed.outcome, TPdfResult::Failed);
    QVERIFY2(printed.message.startsWith(QStringLiteral("Cannot write the file ") + native(pdf)),
             qPrintable(printed.message));
    const FolderFiles after = folderFiles(fs.path());
    QVERIFY2(after == before, qPrintable(describe(after) + " instead of " + describe(before)));
}

QTEST_MAIN(TestDiskFaults)
#include "tst_DiskFaults.moc"
