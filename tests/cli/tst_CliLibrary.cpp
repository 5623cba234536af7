// kr-cli library get, put and show against the simulated meter, and the
// exit status of each way they can end.
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "CliRunner.h"
#include "tests/support/SimMeter.h"
#include "tests/support/TestFiles.h"

using kr::test::readFile;
using kr::test::runCli;
using kr::test::SimMeter;
using kr::test::writeFile;

namespace {

QByteArray catalogueLine(const QByteArray& code, const QByteArray& name, const QByteArray& sg)
{
    return code + name.leftJustified(16) + QByteArray(32, ' ') + sg.leftJustified(8) + "Test\r\n";
}

QByteArray woodCode(int i) { return "W" + QByteArray::number(i).rightJustified(7, '0'); }

// A list file of these codes (31 lines) and a note.
QByteArray listOf(const QList<QByteArray>& codes)
{
    QByteArray text;
    for (int i = 0; i < 31; ++i)
        text += (i < codes.size() ? codes[i] : QByteArray()) + "\r\n";
    return text + "for the test\r\n";
}

QList<QByteArray> woods(int count)
{
    QList<QByteArray> codes;
    for (int i = 1; i <= count; ++i)
        codes << woodCode(i);
    return codes;
}

} // namespace

class TestCliLibrary : public QObject {
    Q_OBJECT

    QTemporaryDir home;
    QString path(const QString& name) const { return home.filePath(name); }

private slots:
    void initTestCase()
    {
        QByteArray factors = catalogueLine("IPE00001", "Ipe", "1.06") + catalogueLine("RO000001", "Red Oak", "0.63");
        for (int i = 1; i <= 31; ++i)
            factors += catalogueLine(woodCode(i), "Wood " + QByteArray::number(i), "0." + QByteArray::number(40 + i));
        QVERIFY(writeFile(path("Factors.dat"), factors));
        QVERIFY(writeFile(path("full.lst"), listOf(woods(31))));
        QVERIFY(writeFile(path("thirty.lst"), listOf(woods(30))));
        QList<QByteArray> heavy = woods(31);
        heavy[0] = "IPE00001";
        QVERIFY(writeFile(path("heavy.lst"), listOf(heavy)));
        QVERIFY(writeFile(path("broken.lst"), listOf(woods(31))));
        QVERIFY(writeFile(path("broken.wallroof"), "[USERDEF]\r\nUSERDEF=Set User SG   50\r\n"));
    }

    void exitStatus_data()
    {
        QTest::addColumn<QStringList>("args");      // after --home and --device
        QTest::addColumn<QString>("fault");        // "-": no meter at all
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("says");
        QTest::newRow("put without --yes") << QStringList{"library", "put", "full.lst"} << "" << 1 << QStringList{}
                                           << "give --yes";
        QTest::newRow("put an unreadable list") << QStringList{"library", "put", "missing.lst", "--yes"} << "" << 3
                                                << QStringList{} << "missing.lst: it does not exist.";
        QTest::newRow("put 30 species") << QStringList{"library", "put", "thirty.lst", "--yes"} << "" << 4
                                        << QStringList{} << "There are only 30 species";
        QTest::newRow("put an SG of 1.06") << QStringList{"library", "put", "heavy.lst", "--yes"} << "" << 4
                                           << QStringList{} << "Ipe: its SG of 1.06";
        QTest::newRow("get into the catalogue") << QStringList{"library", "get", "-o", "Factors.dat"} << "" << 1
                                                << QStringList{} << "one of the program's own files (Factors.dat)";
        QTest::newRow("put with a broken wallroof file")
            << QStringList{"library", "put", "broken.lst", "--yes"} << "" << 3 << QStringList{}
            << "broken.wallroof cannot be used: WALLROOF1 in section [WALLROOF] is missing. Nothing has been sent.";
        QTest::newRow("get into a list named .wallroof") << QStringList{"library", "get", "-o", "got.wallroof"} << ""
                                                         << 1 << QStringList{} << "may not end in .wallroof";
        QTest::newRow("get into the user catalogue") << QStringList{"library", "get", "-o", "Added.dat"} << "" << 1
                                                     << QStringList{} << "one of the program's own files (Added.dat)";
        QTest::newRow("put to no meter") << QStringList{"library", "put", "full.lst", "--yes"} << "-" << 2
                                         << QStringList{} << "Cannot open serial port";
        QTest::newRow("put to a silent meter") << QStringList{"library", "put", "full.lst", "--yes"} << "silent" << 2
                                               << QStringList{"$3"} << "The library has not been sent";
        QTest::newRow("get from a silent meter") << QStringList{"library", "get", "-o", "got.lst"} << "silent" << 2
                                                 << QStringList{"$2"} << "no response from the KR";
        QTest::newRow("get a short library") << QStringList{"library", "get", "-o", "got.lst"} << "short-library"
                                             << 2 << QStringList{"$2"} << "Not enough data";
        QTest::newRow("show an unreadable list") << QStringList{"library", "show", "missing.lst"} << "" << 3
                                                 << QStringList{} << "Cannot open file";
    }
    void exitStatus()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, fault);
        QFETCH(int, status);
        QFETCH(QStringList, commands);
        QFETCH(QString, says);
        SimMeter::Options o;
        if (!fault.isEmpty() && fault != "-")
            o.faults << fault;
        SimMeter sim(o);
        QVERIFY(sim.start());
        const QString device = fault == "-" ? path("no-such-device") : sim.devicePath();
        for (QString& a : args)
            if (a.endsWith(".lst") || a.endsWith(".dat") || a.endsWith(".wallroof"))
                a = path(a);
        const QByteArray catalogue = readFile(path("Factors.dat"));
        const auto r = runCli(QStringList{"--home", home.path(), "--device", device} + args);
        QCOMPARE(r.status, status);
        QVERIFY2(r.errText().contains(says), qPrintable(r.errText()));
        QTRY_COMPARE(sim.commands(), commands);
        QVERIFY(!QFile::exists(path("got.lst")));
        QVERIFY(!QFile::exists(path("got.wallroof")));
        QCOMPARE(readFile(path("Factors.dat")), catalogue);
    }

    void getWritesTheMeterLibraryAndShowReadsIt()
    {
        QByteArray state = "serial KR-1\nspecies |Wood 2        42|\nspecies |Red Oak       63|\n"
                           "species |Hickory       72|\n";
        for (int i = 4; i <= 31; ++i)
            state += "species |" + QByteArray("Wood " + QByteArray::number(i)).leftJustified(13) + " "
                + QByteArray::number(40 + i) + "|\n";
        for (int i = 1; i <= 7; ++i)
            state += "wallroof |" + QByteArray("Roof " + QByteArray::number(i)).leftJustified(13) + " 30|\n";
        SimMeter sim(SimMeter::Options().state(state));
        QVERIFY(sim.start());
        const auto got = runCli({"--home", home.path(), "--device", sim.devicePath(), "library", "get", "-o",
                                 path("meter.lst")});
        QCOMPARE(got.status, 0);
        QVERIFY2(got.errText().contains("Not in the catalogue: Hickory (SG 0.72), added as 10000001."),
                 qPrintable(got.errText()));
        QList<QByteArray> codes{woodCode(2), "RO000001", "10000001"};
        for (int i = 4; i <= 31; ++i)
            codes << woodCode(i);
        QCOMPARE(readFile(path("meter.lst")), listOf(codes).replace("for the test\r\n", ""));

        const auto shown = runCli({"--home", home.path(), "library", "show", path("meter.lst")});
        QCOMPARE(shown.status, 0);
        QVERIFY2(shown.out.startsWith(" 1  W0000002  Wood 2            0.42\n"
                                      " 2  RO000001  Red Oak           0.63\n"
                                      " 3  10000001  Hickory           0.72\n"),
                 shown.out.constData());
        QVERIFY(shown.out.endsWith("31 of 31 species\n"));
    }

    // The meter's own entries, read with its list, go back with it unchanged.
    void wallAndRoofEntriesGoRoundWithTheList()
    {
        QByteArray state = "serial KR-1\n";
        for (int i = 1; i <= 31; ++i)
            state += "species |" + QByteArray("Wood " + QByteArray::number(i)).leftJustified(13) + " 50|\n";
        for (int i = 1; i <= 7; ++i)
            state += "wallroof |" + QByteArray("Custom " + QByteArray::number(i)).leftJustified(14) + "1" +
                     QByteArray::number(i) + "|\n";
        SimMeter sim(SimMeter::Options().state(state));
        QVERIFY(sim.start());
        const QStringList meter{"--home", home.path(), "--device", sim.devicePath(), "library"};
        QCOMPARE(runCli(meter + QStringList{"get", "-o", path("round.lst")}).status, 0);
        QVERIFY(readFile(path("round.wallroof")).startsWith("[USERDEF]\r\nUSERDEF=Custom 1      11\r\n"));

        const auto put = runCli(meter + QStringList{"put", path("round.lst"), "--yes", "--nd"});
        QCOMPARE(put.status, 0);
        QVERIFY2(put.errText().contains("Wall and roof entries from " + path("round.wallroof") + ".\n"),
                 qPrintable(put.errText()));
        QTRY_COMPARE(sim.commands(), (QStringList{"$2", "$3", "$4", "$6"}));
        QVERIFY(sim.waitForLog("state saved"));
        auto wallRoof = [](const QByteArray& text) {
            QList<QByteArray> lines;
            for (const QByteArray& line : text.split('\n'))
                if (line.startsWith("wallroof "))
                    lines << line;
            return lines;
        };
        QCOMPARE(wallRoof(sim.readState()), wallRoof(state));
    }

    // The species the meter holds go back to it as they were, across runs,
    // whatever SGs the catalogue lists for their names.
    void getThenPutSendsBackTheMeterSpecies()
    {
        QTemporaryDir run;
        QByteArray factors = catalogueLine("RO000001", "Red Oak", "0.63") + catalogueLine("HM000001", "Hard Maple", "0.56")
            + catalogueLine("JA000001", "Jarrah", "0.67") + catalogueLine("BE000001", "Beech", "0.56");
        QVERIFY(writeFile(run.filePath("Factors.dat"), factors));
        SimMeter sim;
        QVERIFY(sim.start());
        // All 38 entries: 31 species and 7 wall-and-roof entries.
        auto libraryOf = [](const QByteArray& state) {
            QByteArrayList lines = state.split('\n');
            lines.removeIf([](const QByteArray& line) {
                return !line.startsWith("species ") && !line.startsWith("wallroof ");
            });
            return lines;
        };
        const QByteArrayList held = libraryOf(sim.readState());
        QCOMPARE(held.size(), 38);
        const QStringList meter{"--home", run.path(), "--device", sim.devicePath()};
        const auto got = runCli(meter + QStringList{"library", "get", "-o", run.filePath("a.lst")});
        QCOMPARE(got.status, 0);
        QVERIFY2(got.errText().contains("3 species on the KR have an SG that differs from the catalogue; they are "
                                        "kept as the KR has them:\nHard Maple 0.63 (catalogue 0.56)\nBeech 0.64 "
                                        "(catalogue 0.56)\nJarrah 0.82 (catalogue 0.67)\n"),
                 qPrintable(got.errText()));
        QVERIFY(readFile(run.filePath("a.lst")).startsWith("RO000001\r\n1000000"));

        const auto put = runCli(meter + QStringList{"library", "put", run.filePath("a.lst"), "--yes", "--nd"});
        QCOMPARE(put.status, 0);
        QTRY_COMPARE(sim.commands(), (QStringList{"$2", "$3", "$4", "$*#", "$6"}));
        QTRY_COMPARE(libraryOf(sim.readState()), held);
    }

    // With the line held near the end, the last characters wait in the program's
    // output buffer: put must not end (and close the port) before they leave.
    void putSendsTheListAfterABackup_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("free line") << QString();
        QTest::newRow("line held for 1.5 s after 600 of 608 bytes") << QStringLiteral("hold=1500:600");
    }

    void putSendsTheListAfterABackup()
    {
        QFETCH(QString, fault);
        SimMeter::Options options;
        if (!fault.isEmpty())
            options.fault(fault);
        SimMeter sim(options);
        QVERIFY(sim.start());
        const auto r = runCli({"--home", home.path(), "--device", sim.devicePath(), "library", "put",
                               path("full.lst"), "--yes", "--nd"});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.errText().contains("The library was sent to the KR: 31 species."), qPrintable(r.errText()));
        QVERIFY2(r.errText().contains("Backed up into " + path("data1.bak")), qPrintable(r.errText()));
        QTRY_COMPARE(sim.commands(), (QStringList{"$3", "$4", "$*#", "$6"}));
        QTRY_VERIFY(sim.readState().contains("species |Wood 31       71|"));
        QVERIFY(sim.readState().contains("species |Wood 1        41|\nspecies |Wood 2        42|"));
        QVERIFY(QFile::remove(path("data1.bak")));
    }
};

QTEST_GUILESS_MAIN(TestCliLibrary)
#include "tst_CliLibrary.moc"
