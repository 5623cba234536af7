// The texts the library keeps and sends: library list files, and the
// species records and wall-and-roof values of an upload.
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "core/AtomicFile.h"
#include "core/Errors.h"
#include "core/Regional.h"
#include "library/LibraryExchanges.h"
#include "library/ListFile.h"
#include "platform/Text.h"
#include "tests/support/ChildMemory.h"
#include "tests/support/LibraryRig.h"
#include "tests/support/TestFiles.h"

using namespace kr;
using kr::test::bytes;
using kr::test::writeFile;

namespace {

using Codes = std::vector<std::string>;

QByteArray crlfLines(int count) { return QByteArray("\r\n").repeated(count); }

// One catalogue line in its fixed columns.
std::string catalogueLine(const std::string& code, const std::string& name, const std::string& sg)
{
    auto field = [](std::string text, std::size_t width) {
        text.resize(width, ' ');
        return text;
    };
    return field(code, 8) + field(name, 16) + field("", 32) + field(sg, 8) + "Test\r\n";
}

using Upload = test::LibraryRig;

} // namespace

Q_DECLARE_METATYPE(Codes)

class TestLibraryTexts : public QObject {
    Q_OBJECT
private slots:
    void init() { setRegional(RegionalSettings{}); }

    // ---- Library list files -------------------------------------------------

    void listTextReads_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<Codes>("codes");
        QTest::addColumn<QByteArray>("notes");
        QTest::newRow("shorter than 31 lines") << QByteArray("A0000001\r\nB0000002\r\n") << Codes{"A0000001", "B0000002"}
                                               << QByteArray();
        QTest::newRow("only lines of 8 characters") << QByteArray("ABCDEFG\r\nABCDEFGHI\r\n\r\nA0000001\r\n ")
                                                    << Codes{"A0000001"} << QByteArray();
        QTest::newRow("order and repeats kept") << QByteArray("B0000002\r\nA0000001\r\nB0000002")
                                                << Codes{"B0000002", "A0000001", "B0000002"} << QByteArray();
        QTest::newRow("LF and CR end lines") << QByteArray("A0000001\nB0000002\rC0000003")
                                             << Codes{"A0000001", "B0000002", "C0000003"} << QByteArray();
        QTest::newRow("line 32 belongs to the notes")
            << QByteArray("A0000001" + crlfLines(31) + "N0000032\r\n\r\nlast") << Codes{"A0000001"}
            << QByteArray("N0000032\n\nlast");
    }
    void listTextReads()
    {
        QFETCH(QByteArray, text);
        QFETCH(Codes, codes);
        QFETCH(QByteArray, notes);
        const ListFileContents read = ParseListText(text.toStdString());
        QCOMPARE(read.codes, codes);
        QCOMPARE(bytes(read.notes), notes);
    }

    void listTextWrites_data()
    {
        QTest::addColumn<Codes>("codes");
        QTest::addColumn<QByteArray>("notes");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << Codes{} << QByteArray() << crlfLines(31);
        QTest::newRow("five codes") << Codes{"A0000001", "B0000002", "C0000003", "D0000004", "E0000005"} << QByteArray()
                                    << "A0000001\r\nB0000002\r\nC0000003\r\nD0000004\r\nE0000005" + crlfLines(27);
        QTest::newRow("notes after line 31") << Codes{"A0000001"} << QByteArray("one\n\ntwo")
                                             << "A0000001" + crlfLines(31) + "one\r\n\r\ntwo\r\n";
    }
    void listTextWrites()
    {
        QFETCH(Codes, codes);
        QFETCH(QByteArray, notes);
        QFETCH(QByteArray, text);
        QCOMPARE(bytes(FormatListText(codes, notes.toStdString())), text);
        const ListFileContents back = ParseListText(text.toStdString());
        QCOMPARE(back.codes, codes);
        QCOMPARE(bytes(back.notes), notes);
    }

    void listFileOnDisk()
    {
        QTemporaryDir dir;
        const std::string path = toNativePath(dir.filePath(QStringLiteral("a.lst")));
        WriteListFile(path, {"A0000001", "B0000002"}, "note \xE9");
        const ListFileContents read = ReadListFile(path);
        QCOMPARE(read.codes, (Codes{"A0000001", "B0000002"}));
        QCOMPARE(read.notes, std::string("note \xE9"));

        failNextAtomicWrite(WriteResult::RenameFailed);
        try {
            WriteListFile(path, {}, {});
            QFAIL("a failed write went unreported");
        } catch (const FileError& e) {
            QCOMPARE(std::string(e.what()), "Cannot create file " + path);
        }
        QCOMPARE(ReadListFile(path).codes.size(), std::size_t(2));

        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.lst")));
        const std::string folder = toNativePath(dir.filePath(QStringLiteral("folder.lst")));
        QVERIFY_THROWS_EXCEPTION(FileError, ReadListFile(folder));
    }

    // A list of nothing but line ends just under the size limit reads as
    // notes, in a child of its own so that its peak memory is measured alone.
    void hugeListFileReadsInProportion()
    {
        QTemporaryDir dir;
        const std::string path = toNativePath(dir.filePath(QStringLiteral("huge.lst")));
        const std::size_t size = (16u << 20) - 1;
        QVERIFY(writeFile(QString::fromStdString(path), std::string(size, '\n')));
        const QString failure = test::runInChildWithinMemory(
            [&] { return ReadListFile(path).notes.size() == size - ListFileCodeLines - 1; }, qint64(6 * size));
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }

    // ---- What an upload sends -------------------------------------------------

    void speciesRecords_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("sg");
        QTest::addColumn<char>("separator");
        QTest::addColumn<QByteArray>("record");   // empty: refused
        QTest::addColumn<QString>("problem");
        QTest::newRow("name cut to 13") << "Pau Marfim Extra" << "0.5" << '.' << QByteArray("Pau Marfim Ex 50") << "";
        QTest::newRow("short name padded") << "Ipe" << "0.91" << '.' << QByteArray("Ipe           91") << "";
        QTest::newRow("SG as the lists show it") << "Oak" << "0.556" << '.' << QByteArray("Oak           56") << "";
        QTest::newRow("comma separator") << "Oak" << "0.45" << ',' << QByteArray("Oak           45") << "";
        QTest::newRow("SG 1.06") << "Cumaru" << "1.06" << '.' << QByteArray()
                                 << "Cumaru: its SG of 1.06 is more than the KR can hold";
        QTest::newRow("rounds to 1.00") << "Lignum" << "0.996" << '.' << QByteArray() << "its SG of 1.00";
        QTest::newRow("negative") << "Odd" << "-0.45" << '.' << QByteArray() << "its SG of -0.45";
        QTest::newRow("SG 0.00") << "Balsa" << "0" << '.' << QByteArray() << "Balsa: its SG of 0.00 is not one";
        QTest::newRow("rounds to 0.00") << "Balsa" << "0.004" << ',' << QByteArray() << "its SG of 0,00 is not one";
        QTest::newRow("no name") << "" << "0.5" << '.' << QByteArray()
                                 << "Entry 1: the species with the code T0000001 has no name.";
        QTest::newRow("blank where the KR reads it") << "             Ash" << "0.5" << '.' << QByteArray()
                                                     << "has no name";
    }
    void speciesRecords()
    {
        QFETCH(QString, name);
        QFETCH(QString, sg);
        QFETCH(char, separator);
        QFETCH(QByteArray, record);
        QFETCH(QString, problem);
        RegionalSettings comma;
        comma.decimalSeparator = separator;
        setRegional(comma);
        Upload u;
        std::string text = catalogueLine("T0000001", name.toStdString(), sg.toStdString());
        for (int i = 2; i <= 31; ++i)
            text += catalogueLine("F" + std::to_string(1000000 + i), "Filler", "0.40");
        u.catalogue.LoadFromText(text);
        Codes codes;
        for (int i = 0; i < 31; ++i)
            codes.push_back(u.catalogue.Item(i).GetCode());

        const TLibraryExchanges::TSpeciesRecords records = u.library.SpeciesRecords(codes);
        if (record.isEmpty()) {
            QCOMPARE(records.problems.size(), std::size_t(1));
            QVERIFY2(QString::fromStdString(records.problems[0]).contains(problem), records.problems[0].c_str());
            return;
        }
        QVERIFY(records.problems.empty());
        QCOMPARE(records.text.size(), std::size_t(31 * 16));
        QCOMPARE(bytes(records.text.substr(0, 16)), record);
        QCOMPARE(bytes(records.text.substr(16, 16)), QByteArray("Filler        40"));
    }

    void unknownCodesAreNamedByTheirEntry()
    {
        Upload u;
        const auto records = u.library.SpeciesRecords(Codes(31, "X0000001"));
        QCOMPARE(records.problems.size(), std::size_t(31));
        QCOMPARE(records.problems[30], std::string("Entry 31: the catalogue holds no species with the code X0000001."));
    }

    void wallRoofText_data()
    {
        QTest::addColumn<QByteArray>("ini");       // empty: no file; "dir": a folder of that name
        QTest::addColumn<QByteArray>("sent");
        const QByteArray defaults = "Set User SG   50Plaster       25Brick         25Drywall       25"
                                    "PVC           25Mod. Bitumen  38BUR           50";
        QTest::newRow("no file") << QByteArray() << defaults;
        QTest::newRow("a folder in its place") << QByteArray("dir") << defaults;
        QTest::newRow("keys present, padded or cut to 16")
            << QByteArray("[USERDEF]\r\nUSERDEF=My User SG   45\r\n[WALLROOF]\r\nWALLROOF3=Tile\r\n"
                          "WALLROOF6=Very long material 99\r\n")
            << QByteArray("My User SG   45 Plaster       25Brick         25Tile            "
                          "PVC           25Mod. Bitumen  38Very long materi");
    }
    void wallRoofText()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QByteArray, sent);
        QTemporaryDir dir;
        const QString path = dir.filePath(QString::fromLatin1(TLibraryExchanges::WallRoofFileName));
        if (ini == "dir")
            QVERIFY(QDir().mkdir(path));
        else if (!ini.isEmpty())
            QVERIFY(writeFile(path, ini));
        Upload u;
        u.library.SetFolder(dir.path());
        QCOMPARE(bytes(u.library.WallRoofText()), sent);
    }
};

QTEST_GUILESS_MAIN(TestLibraryTexts)
#include "tst_LibraryTexts.moc"
