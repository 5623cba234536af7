// kr-cli against the simulated meter: download, erase with backup, serial
// number, port choice, and the exit status of each way they can end.
#include <QDir>
#include <csignal>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "CliRunner.h"
#include "core/Readings.h"
#include "core/Regional.h"
#include "tests/meter/PtyPeer.h"
#include "tests/support/SimMeter.h"
#include "tests/support/TestFiles.h"

using namespace kr;
using kr::test::CliResult;
using kr::test::runCli;
using kr::test::SimMeter;

namespace {

// Four readings with known texts; \xC9 is a Windows-1252 capital E acute.
const QByteArray KnownState = "serial KR-TEST-42\n"
                              "reading 1 1 2026-03-05 14:07 20 |OAK| 55 12.5\n"
                              "reading 1 2 2026-03-05 14:09 21 |Douglas Fir| 48 9.8\n"
                              "reading 4 25 1998-01-01 00:00 -5 |Pine| 49 45\n"
                              "reading 25 1 2097-12-31 23:59 99 |\\xC9rable| 63 30.1\n";

// The export of that download after its first line (the date stamp of the download).
const QByteArray KnownExportBody =
    "01\t\r\n"
    "File\tRecord\tDate/Time\t\xC2\xB0" "C\tSpecies\tSG\tMoisture\tNotes\r\n"
    "01\t01\t05/03/2026 14:07:00\t20\tOAK\t0.55\t12.5\t\r\n"
    "01\t02\t05/03/2026 14:09:00\t21\tDouglas Fir\t0.48\t9.8\t\r\n"
    " \r\n"
    "04\t\r\n"
    "File\tRecord\tDate/Time\t\xC2\xB0" "C\tSpecies\tSG\tMoisture\tNotes\r\n"
    "04\t25\t01/01/1998\t-5\tPine\t\t45.0\t\r\n"
    " \r\n"
    "25\t\r\n"
    "File\tRecord\tDate/Time\t\xC2\xB0" "C\tSpecies\tSG\tMoisture\tNotes\r\n"
    "25\t01\t31/12/2097 23:59:00\t99\t\xC3\x89rable\t0.63\t30.1\t\r\n"
    " \r\n";

// The meter's library has to be there too: 31 species and 7 wall-and-roof entries.
QByteArray library()
{
    QByteArray text;
    for (int i = 1; i <= 31; ++i)
        text += "species |" + QByteArray("Wood " + QByteArray::number(i)).leftJustified(13) + " 50|\n";
    for (int i = 1; i <= 7; ++i)
        text += "wallroof |" + QByteArray("Wall " + QByteArray::number(i)).leftJustified(13) + " 40|\n";
    return text;
}

SimMeter::Options known(QStringList faults = {})
{
    SimMeter::Options o;
    o.stateText = KnownState + library();
    o.faults = std::move(faults);
    return o;
}

QByteArray afterFirstLine(const QByteArray& text) { return text.mid(text.indexOf('\n') + 1); }

int readingsInState(const QByteArray& state)
{
    int n = 0;
    for (const QByteArray& line : state.split('\n'))
        n += line.startsWith("reading ") ? 1 : 0;
    return n;
}

} // namespace

class TestCliMeter : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    // A program folder of its own for each erase.
    QString freshHome(const QString& name)
    {
        QString home = path(name);
        QDir().mkpath(home);
        return home;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY2(QFile::exists(kr::test::cliExecutable()), qPrintable(kr::test::cliExecutable()));
        setRegional(RegionalSettings{});
    }

    void downloadSavesEveryReading()
    {
        SimMeter sim(known());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const QString out = path("download.krx");
        const auto r = runCli({"--device", sim.devicePath(), "download", "-o", out});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.errText().contains("4 readings saved to"), qPrintable(r.errText()));
        QVERIFY(r.out.isEmpty());
        QCOMPARE(sim.commands(), (QStringList{"$3", "$4"}));
        // No progress line when standard error is not a terminal.
        QVERIFY(!r.errText().contains("Downloading Data from KR"));

        const auto exported = runCli({"export", out});
        QCOMPARE(exported.status, 0);
        QCOMPARE(afterFirstLine(exported.out), KnownExportBody);
    }

    void downloadOfAnEmptyMeterWritesNothing()
    {
        SimMeter::Options o;
        o.emptyMeter = true;
        SimMeter sim(o);
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const QString out = path("empty.krx");
        const auto r = runCli({"--device", sim.devicePath(), "download", "-o", out});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.errText().contains("There is no data to download."), qPrintable(r.errText()));
        QVERIFY(r.errText().contains("Nothing was written"));
        QVERIFY(!QFile::exists(out));
        QCOMPARE(sim.commands(), (QStringList{"$3", "$4"}));
    }

    // The simulator's sample meter announces 40 readings.
    void downloadThatFallsShortLeavesTheFileAsItWas_data()
    {
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<QString>("says");
        QTest::newRow("silent meter") << QStringList{"silent"} << "There has been no response from the KR.\n";
        QTest::newRow("silent data step") << QStringList{"silent@4"} << "no response from the KR";
        QTest::newRow("garbled record") << QStringList{"garble"} << "is not a valid integer value";
        QTest::newRow("line pulled") << QStringList{"drop-after=120@4"} << "Nothing was written";
        QTest::newRow("count cut before its first line") << QStringList{"cut=2@3"} << "no response from the KR";
        QTest::newRow("37 of 40") << QStringList{"fewer-lines=3@4"} << "Nothing was written";
        QTest::newRow("0 of 40") << QStringList{"fewer-lines=40@4"} << "Nothing was written";
    }
    void downloadThatFallsShortLeavesTheFileAsItWas()
    {
        QFETCH(QStringList, faults);
        QFETCH(QString, says);
        SimMeter::Options options;
        options.faults = faults;
        SimMeter sim(options);
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const QString out = path("kept.krx");
        QVERIFY(kr::test::writeFile(out, "the last good download\r\n"));
        const auto r = runCli({"--device", sim.devicePath(), "download", "-o", out});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.errText().contains(says), qPrintable(r.errText()));
        QCOMPARE(kr::test::readFile(out), QByteArray("the last good download\r\n"));
    }

    void partialDownloadSavesWhatArrivedAndSaysHowMuch()
    {
        SimMeter sim(SimMeter::Options().fault("fewer-lines=3@4"));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const QString out = path("partial.krx");
        const auto r = runCli({"--device", sim.devicePath(), "download", "-o", out, "--partial"});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.errText().contains("Incomplete download: 37 readings saved to " + out + "; the KR announced 40."),
                 qPrintable(r.errText()));
        TKRFile doc;
        doc.LoadFromFile(out.toStdString());
        QCOMPARE(doc.CountReadings(), 37);
    }

    void downloadToAnUnwritablePlaceFails()
    {
        SimMeter sim(known());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const auto r = runCli({"--device", sim.devicePath(), "download", "-o", path("no/folder/x.krx")});
        QCOMPARE(r.status, 3);
        QVERIFY2(r.errText().contains("Cannot create file"), qPrintable(r.errText()));
    }

    void portsThatCannotBeOpened_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("says");
        const QString missing = path("no-such-device");
        for (const char* c : {"download", "serial"}) {
            QStringList args{"--device", missing, c};
            if (QLatin1String(c) == "download")
                args << "-o" << path("x.krx");
            QTest::newRow(c) << args << "Cannot open serial port";
        }
        QTest::newRow("erase") << QStringList{"--device", missing, "erase", "--yes"} << "Cannot open serial port";
        QTest::newRow("unmapped port") << QStringList{"--port", "50", "serial"} << "COM50";
    }
    void portsThatCannotBeOpened()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        const auto r = runCli(args, {"KR_PORT_50=" + path("nothing-here")});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.errText().contains(says), qPrintable(r.errText()));
    }

    void serialPrintsTheNumber()
    {
        SimMeter sim(known());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const auto r = runCli({"--device", sim.devicePath(), "serial"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("KR-TEST-42\n"));
        QVERIFY(r.err.isEmpty());
    }

    void serialFailures_data()
    {
        QTest::addColumn<QStringList>("faults");
        QTest::newRow("silent") << QStringList{"silent"};
        QTest::newRow("refused") << QStringList{"serial-refused"};
    }
    void serialFailures()
    {
        QFETCH(QStringList, faults);
        SimMeter sim(known(faults));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const auto r = runCli({"--device", sim.devicePath(), "serial"});
        QCOMPARE(r.status, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.errText().contains("Failed to get serial number"), qPrintable(r.errText()));
    }

    // Programs started together on one meter, by its device and by links to
    // it: one gets the port, the others say it is in use and send nothing.
    void oneProgramPerMeterWhateverPathNamesIt()
    {
        SimMeter sim(known());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        QStringList paths{sim.devicePath()};
        for (const QString name : {"link-a", "link-b", "link-c", "link-d"}) {
            paths << path(name);
            QVERIFY(QFile::link(sim.devicePath(), paths.constLast()));
        }
        QList<QStringList> argLists;
        for (const QString& device : paths)
            argLists << QStringList{"--device", device, "serial"};
        constexpr int Rounds = 10;
        for (int round = 0; round < Rounds; ++round) {
            const QList<CliResult> results = kr::test::runCliTogether(argLists);
            int served = 0;
            for (qsizetype i = 0; i < results.size(); ++i) {
                const CliResult& r = results[i];
                if (r.status == 0 && r.out == "KR-TEST-42\n") {
                    ++served;
                    continue;
                }
                QCOMPARE(r.status, 2);
                QVERIFY2(r.errText().contains("(" + paths[i] + "): another program is using it."),
                         qPrintable(r.errText()));
            }
            QCOMPARE(served, 1);
        }
        QCOMPARE(sim.commands(), QStringList(Rounds, QStringLiteral("$5")));
    }

    void portNumbersMapAsInTheWindowProgram()
    {
        SimMeter sim(known());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        // --port N through the port map's KR_PORT_<N>.
        auto r = runCli({"--port", "7", "serial"}, {"KR_PORT_7=" + sim.devicePath()});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("KR-TEST-42\n"));

        // Without --port, the port of kr.ini in the program folder.
        const QString home = freshHome("ini-home");
        QFile ini(home + "/kr.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Communications]\r\nPort=9\r\n");
        ini.close();
        r = runCli({"--home", home, "serial"}, {"KR_PORT_9=" + sim.devicePath()});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("KR-TEST-42\n"));
        r = runCli({"serial"}, {"KR_HOME=" + home, "KR_PORT_9=" + sim.devicePath()});
        QCOMPARE(r.status, 0);
    }

    void eraseWithoutYesSendsNothing()
    {
        SimMeter sim(known());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const QString home = freshHome("refused");
        const auto r = runCli({"--home", home, "--device", sim.devicePath(), "erase"});
        QCOMPARE(r.status, 4);
        QVERIFY2(r.errText().contains("Not erased: erasing deletes all data from the KR; give --yes to confirm."),
                 qPrintable(r.errText()));
        QVERIFY(sim.commands().isEmpty());
        QVERIFY(QDir(home).entryList(QDir::Files).isEmpty());
        QCOMPARE(readingsInState(sim.readState()), 4);
    }

    void eraseBacksUpThenErases()
    {
        SimMeter sim(known());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const QString home = freshHome("erase");
        auto r = runCli({"--home", home, "--device", sim.devicePath(), "erase", "--yes"});
        QCOMPARE(r.status, 0);
        const QString backup = home + "/data1.bak";
        QVERIFY2(r.errText().contains("Backed up into"), qPrintable(r.errText()));
        // The flag answered the question: it is not printed as if asked.
        QVERIFY(!r.errText().contains("Are you sure"));
        QVERIFY(r.errText().contains("Backing up the KR's data before erasing it."));
        QVERIFY2(r.errText().contains("data1.bak"), qPrintable(r.errText()));
        QCOMPARE(sim.commands(), (QStringList{"$3", "$4", "$*#"}));
        QVERIFY(sim.waitForLog("state saved"));
        QCOMPARE(readingsInState(sim.readState()), 0);

        // The backup holds what a download got.
        const auto exported = runCli({"export", backup});
        QCOMPARE(exported.status, 0);
        QCOMPARE(afterFirstLine(exported.out), KnownExportBody);

        // Nothing left: said, no second backup, no erase command.
        r = runCli({"--home", home, "--device", sim.devicePath(), "erase", "--yes"});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.errText().contains("No data to erase"), qPrintable(r.errText()));
        QVERIFY(!QFile::exists(home + "/data2.bak"));
        QCOMPARE(sim.commands().count("$*#"), 1);
    }

    // Ctrl+C while the KR is being read: exit status 130, nothing erased, no
    // file written or changed.
    void ctrlCStopsBeforeAnythingIsErasedOrWritten_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("waitFor");
        QTest::addColumn<QString>("slow");
        QTest::newRow("download, records") << "download" << "cmd $4" << "trickle=300@4";
        QTest::newRow("erase, summary") << "erase" << "cmd $3" << "trickle=300@3";
        QTest::newRow("erase, records") << "erase" << "cmd $4" << "trickle=300@4";
    }
    void ctrlCStopsBeforeAnythingIsErasedOrWritten()
    {
        QFETCH(QString, command);
        QFETCH(QString, waitFor);
        QFETCH(QString, slow);
        SimMeter sim(known({slow}));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const QString home = freshHome(QStringLiteral("ctrl-c-%1").arg(QTest::currentDataTag()));
        const QString out = home + QStringLiteral("/before.krx");
        QFile old(out);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("as it was") == 9);
        old.close();
        QStringList args{"--home", home, "--device", sim.devicePath(), command};
        args << (command == QLatin1String("erase") ? QStringList{"--yes"} : QStringList{"-o", out});
        const auto r = test::runProgram(test::cliExecutable(), args, test::cliEnvironment(), 60000, [&](QProcess& p) {
            QVERIFY(sim.waitForLog(waitFor));
            ::kill(pid_t(p.processId()), SIGINT);
        });
        QCOMPARE(r.status, 130);
        QVERIFY(!sim.commands().contains("$*#"));
        QCOMPARE(readingsInState(sim.readState()), 4);
        QCOMPARE(QDir(home).entryList(QDir::Files), QStringList{QStringLiteral("before.krx")});
        QFile kept(out);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("as it was"));
    }

    void eraseIsRefusedWithoutACompleteBackup_data()
    {
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("fewer lines") << QStringList{"fewer-lines=1"} << 4 << "The KR has not been erased: only 3 of the 4";
        QTest::newRow("garbled") << QStringList{"garble"} << 4 << "The KR has not been erased: a reading";
        QTest::newRow("silent data step") << QStringList{"silent@4"} << 2 << "There has been no response";
        QTest::newRow("silent meter") << QStringList{"silent"} << 2 << "There has been no response";
    }
    void eraseIsRefusedWithoutACompleteBackup()
    {
        QFETCH(QStringList, faults);
        QFETCH(int, status);
        QFETCH(QString, says);
        SimMeter sim(known(faults));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const QString home = freshHome(QStringLiteral("refused-%1").arg(QTest::currentDataTag()));
        const auto r = runCli({"--home", home, "--device", sim.devicePath(), "erase", "--yes"});
        QCOMPARE(r.status, status);
        QVERIFY2(r.errText().contains(says), qPrintable(r.errText()));
        QVERIFY(!sim.commands().contains("$*#"));
        QVERIFY(QDir(home).entryList(QDir::Files).isEmpty());
        QCOMPARE(readingsInState(sim.readState()), 4);
    }

    // A program folder on a file system too small for a backup: the save fails
    // for real, even for root.
    void eraseIsRefusedWhenTheBackupCannotBeWritten()
    {
        const QString home = freshHome("tiny");
        if (kr::test::runProgram("mount", {"-t", "tmpfs", "-o", "size=16k", "tmpfs", home}).status != 0)
            QSKIP("cannot mount a small tmpfs here (needs root)");
        struct Unmount {
            QString dir;
            ~Unmount() { kr::test::runProgram("umount", {dir}); }
        } unmount{home};

        SimMeter sim(known());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const auto r = runCli({"--home", home, "--device", sim.devicePath(), "erase", "--yes"});
        QCOMPARE(r.status, 4);
        QVERIFY2(r.errText().contains("The KR has not been erased"), qPrintable(r.errText()));
        QVERIFY(!sim.commands().contains("$*#"));
        QVERIFY(QDir(home).entryList(QDir::Files).isEmpty());
        QCOMPARE(readingsInState(sim.readState()), 4);
    }

    // Under a terminal the download shows a progress line on standard error.
    void progressLineOnATerminal()
    {
        const QString script = QStandardPaths::findExecutable("script");
        if (script.isEmpty())
            QSKIP("no script(1) to provide a terminal");
        SimMeter sim(known());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const QString out = path("terminal.krx");
        const QString command = QStringLiteral("'%1' --device '%2' download -o '%3'")
                                    .arg(kr::test::cliExecutable(), sim.devicePath(), out);
        const auto r = kr::test::runProgram(script, {"-qec", command, "/dev/null"});
        QCOMPARE(r.status, 0);
        const QByteArray seen = r.out;
        QVERIFY2(seen.contains("\rDownloading Data from KR: 4 of 4 (100%)"), seen.constData());
        QVERIFY(QFile::exists(out));
    }

    // Only the port with a KR on it is marked, with its serial number.
    void portsProbeMarksTheKr()
    {
        SimMeter sim;
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        kr::test::PtyPeer silent;
        QVERIFY(silent.ok());
        const auto r = runCli({"ports", "--probe"},
                              {"KR_PORT_48=" + silent.path, "KR_PORT_49=" + sim.devicePath()});
        QCOMPARE(r.status, 0);
        QString lineOf48, lineOf49;
        for (const QString& line : QString::fromUtf8(r.out).split('\n')) {
            if (line.startsWith("COM48 "))
                lineOf48 = line;
            if (line.startsWith("COM49 "))
                lineOf49 = line;
        }
        QVERIFY2(lineOf48.contains(silent.path) && lineOf48.endsWith("no answer"), qPrintable(r.out));
        QVERIFY2(lineOf49.contains(sim.devicePath()) && lineOf49.endsWith("KR KR-417263"), qPrintable(r.out));
        QCOMPARE(sim.commands(), QStringList{"$5"});
    }
};

QTEST_GUILESS_MAIN(TestCliMeter)
#include "tst_CliMeter.moc"
