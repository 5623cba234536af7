#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

#include "CoreTestUtil.h"
#include "core/AtomicFile.h"
#include "core/FileReading.h"
#include "core/Readings.h"
#include "tests/support/ChildMemory.h"
#include "tests/support/TestFiles.h"

using namespace kr;
using kr::test::at;
using kr::test::bytes;
using kr::test::errorOf;
using kr::test::readFile;
using kr::test::writeFile;

namespace {

// The record text of an empty reading stamped 2020-01-02 03:04:05.
std::string emptyRecordText(char sep = '.')
{
    return std::string(16, ' ') + "0" + "03:04:05 02/01/2020 " + std::string(8, ' ') + "0" + sep + "00    " + "0   " +
           std::string(128, ' ');
}

// Readings that are empty still carry a time; fix it so the bytes are known.
void stampAll(TFile& doc, TDateTime when)
{
    for (int f = 1; f <= 25; ++f)
        for (int r = 1; r <= 25; ++r)
            doc.GetReading(f, r).SetDateTime(when);
}

void makeKnown(TFile& doc)
{
    doc.SetDateStamp(at(2026, 3, 5, 14, 7, 9));
    stampAll(doc, at(2020, 1, 2, 3, 4, 5));
}

std::string native(const QString& path) { return path.toStdString(); }

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// A file of `count` lines as a full document would have them.
QByteArray linesOfFile(int count, const QByteArray& eol = "\r\n")
{
    TKRFile doc;
    makeKnown(doc);
    for (int f = 1; f <= 25; ++f) {
        doc.SetComment(f, "comment " + std::to_string(f));
        for (int r = 1; r <= 25; ++r) {
            // Appended, not "S" + ...: GCC 12 at -O3 warns falsely (-Wrestrict) on that.
            std::string species = "S";
            species += std::to_string(f) + "-" + std::to_string(r);
            doc.GetReading(f, r).SetSpecies(species);
        }
    }
    const QList<QByteArray> all = bytes(doc.SaveToText()).split('\n');
    QByteArray out;
    for (int i = 0; i < count && i < 651; ++i)
        out += all[i].chopped(1) + eol;
    for (int i = 651; i < count; ++i)
        out += "extra " + QByteArray::number(i) + eol;
    return out;
}

} // namespace

class TestDataFile : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void emptyDocumentSavesAs651Lines();
    void savedFileMatchesLayoutByteForByte_data();
    void savedFileMatchesLayoutByteForByte();
    void saveSetsFileNameAndClearsModified();
    void roundTripKeepsEveryField_data();
    void roundTripKeepsEveryField();
    void loadTrimsAndCutsAsLaidDown();
    void readingsWithABlankSpeciesStayReadings();
    void linesFrom652AreNotes();
    void shortFileStopsAtMissingLine_data();
    void shortFileStopsAtMissingLine();
    void missingFileFailsAndLeavesDocumentCleared();
    void badFirstLineStopsLoad_data();
    void badFirstLineStopsLoad();
    void lineEndsMayBeCrLfLfOrCr_data();
    void lineEndsMayBeCrLfLfOrCr();
    void hostileFilesNeverCrash();
    void nulAtEveryPositionIsReadOrRefusedWhole();
    void oversizedFileIsRefused();
    void manyEmptyNotesLinesOpenAgain();
    void hugeFilesTakeMemoryInProportion_data();
    void hugeFilesTakeMemoryInProportion();
    void readerTakesOnlyRegularFilesAndCountsWhatArrives_data();
    void readerTakesOnlyRegularFilesAndCountsWhatArrives();
    void otherSeparatorKeepsPreviousFieldValues();
    void lineBreaksInTextsDoNotShiftLayout();

    void failedSaveLeavesTargetAndStateUntouched_data();
    void failedSaveLeavesTargetAndStateUntouched();
    void saveIntoMissingFolderFails();
    void saveOverWhatIsNotARegularFileIsRefused_data();
    void saveOverWhatIsNotARegularFileIsRefused();
    void fullDiskKeepsOldFile();
    void saveReplacesLongerFileAndKeepsPermissions();
    void saveThroughSymlinkKeepsLink();
    void saveWithLongestFileName();

private:
    QTemporaryDir dir;
    QString path(const QString& leaf) const { return dir.filePath(leaf); }
};

void TestDataFile::init()
{
    setRegional(RegionalSettings{});
    failNextAtomicWrite(WriteResult::Ok);
    QVERIFY(dir.isValid());
    for (const QString& e : entries(dir.path()))
        QVERIFY(QFileInfo(path(e)).isDir() ? QDir(path(e)).removeRecursively() : QFile::remove(path(e)));
}

void TestDataFile::cleanup() { failNextAtomicWrite(WriteResult::Ok); }

void TestDataFile::emptyDocumentSavesAs651Lines()
{
    TKRFile doc;
    makeKnown(doc);
    doc.SaveToFile(native(path("empty.krx")));
    const QByteArray data = readFile(path("empty.krx"));
    QVERIFY(data.endsWith("\r\n"));
    QList<QByteArray> lines = data.split('\n');
    lines.removeLast();
    QCOMPARE(lines.size(), 651);
    QCOMPARE(lines[0], QByteArray("14:07:09 05/03/2026\r"));
    for (int f = 1; f <= 25; ++f) {
        const int base = 1 + 26 * (f - 1);
        QCOMPARE(lines[base], QByteArray("F") + QByteArray::number(f).rightJustified(2, '0') + "  \r");
        for (int r = 1; r <= 25; ++r) {
            const QByteArray& line = lines[base + r];
            QCOMPARE(line.size(), 191);
            QCOMPARE(line, QByteArray("F") + QByteArray::number(f).rightJustified(2, '0') +
                               QByteArray::number(r).rightJustified(2, '0') + bytes(emptyRecordText()) + "\r");
        }
    }
    QCOMPARE(data, bytes(doc.SaveToText()));
}

void TestDataFile::savedFileMatchesLayoutByteForByte_data()
{
    test::separatorRows();
}

void TestDataFile::savedFileMatchesLayoutByteForByte()
{
    QFETCH(char, sep);
    setRegional(test::withDecimal(sep));
    TKRFile doc;
    makeKnown(doc);
    doc.SetComment(7, "north wall \xB0");
    TReading& r = doc.GetReading(12, 3);
    r.SetSpecies("OAK");
    r.SetSGApplies(1);
    r.SetSG(0.55L);
    r.SetMoisture(12.5L);
    r.SetTemperature(20);
    r.SetDateTime(at(2026, 3, 5, 14, 7, 9));
    r.SetNote("knot");
    doc.SetNotes({"first", "", "last \t line"});
    doc.SaveToFile(native(path("layout.krx")));

    QByteArray expected = "14:07:09 05/03/2026\r\n";
    for (int f = 1; f <= 25; ++f) {
        const QByteArray ff = QByteArray::number(f).rightJustified(2, '0');
        expected += "F" + ff + "  " + (f == 7 ? QByteArray("north wall \xB0") : QByteArray()) + "\r\n";
        for (int j = 1; j <= 25; ++j) {
            expected += "F" + ff + QByteArray::number(j).rightJustified(2, '0');
            if (f == 12 && j == 3)
                expected += QByteArray("OAK") + QByteArray(13, ' ') + "1" + "14:07:09 05/03/2026 " + "0" + sep +
                            "55    " + "12" + sep + "50   " + "20  " + "knot" + QByteArray(124, ' ');
            else
                expected += bytes(emptyRecordText(sep));
            expected += "\r\n";
        }
    }
    expected += "first\r\n\r\nlast \t line\r\n";
    QCOMPARE(readFile(path("layout.krx")), expected);
}

void TestDataFile::saveSetsFileNameAndClearsModified()
{
    TKRFile doc;
    doc.SetComment(1, "x");
    QVERIFY(doc.IsModified());
    const std::string name = native(path("named.krx"));
    doc.SaveToFile(name);
    QVERIFY(!doc.IsModified());
    QCOMPARE(doc.GetFileName(), name);
    QCOMPARE(entries(dir.path()), QStringList{"named.krx"});
}

void TestDataFile::roundTripKeepsEveryField_data()
{
    test::separatorRows();
}

void TestDataFile::roundTripKeepsEveryField()
{
    QFETCH(char, sep);
    setRegional(test::withDecimal(sep));
    TKRFile doc;
    makeKnown(doc);
    for (int f = 1; f <= 25; f += 3) {
        doc.SetComment(f, "file " + std::to_string(f) + " \xE9t\xE9");
        for (int r = 1; r <= 25; r += 2) {
            TReading& rd = doc.GetReading(f, r);
            rd.SetSpecies("SP" + std::to_string(f * 100 + r));
            rd.SetSGApplies(r % 4 == 1 ? 1 : 0);
            rd.SetSG((30 + r) / 100.0L);
            rd.SetMoisture(5 + f + r / 10.0L);
            rd.SetTemperature(r - 10);
            rd.SetDateTime(at(1998 + f, 1 + r % 12, r, r % 24, f, r));
            rd.SetNote(r % 5 ? "" : "note " + std::to_string(r));
        }
    }
    doc.SetNotes({"", "a", " leading", "trailing ", ""});
    const std::string name = native(path("trip.krx"));
    doc.SaveToFile(name);

    TKRFile back;
    back.LoadFromFile(name);
    QVERIFY(back.IsModified());
    QCOMPARE(back.GetFileName(), name);
    QCOMPARE(back.GetDateStamp(), doc.GetDateStamp());
    QCOMPARE(back.GetNotes(), doc.GetNotes());
    for (int f = 1; f <= 25; ++f) {
        QCOMPARE(back.GetComment(f), doc.GetComment(f));
        for (int r = 1; r <= 25; ++r) {
            const TReading& a = doc.GetReading(f, r);
            const TReading& b = back.GetReading(f, r);
            QCOMPARE(b.GetSpecies(), a.GetSpecies());
            QCOMPARE(b.GetSGApplies(), a.GetSGApplies());
            QCOMPARE(b.GetSGText(), a.GetSGText());
            QCOMPARE(b.GetMoistureText(), a.GetMoistureText());
            QCOMPARE(b.GetTemperature(), a.GetTemperature());
            QCOMPARE(b.GetDateTime(), a.GetDateTime());
            QCOMPARE(b.GetNote(), a.GetNote());
        }
    }
    QCOMPARE(back.SaveToText(), doc.SaveToText());
}

void TestDataFile::loadTrimsAndCutsAsLaidDown()
{
    TKRFile doc;
    makeKnown(doc);
    doc.SetComment(1, "spaces at end   ");
    doc.GetReading(1, 1).SetSpecies("TWENTY CHARACTERS..");
    doc.GetReading(1, 2).SetSpecies("MC");
    doc.GetReading(1, 2).SetMoisture(123.45L);
    doc.SaveToFile(native(path("cut.krx")));
    QByteArray data = readFile(path("cut.krx"));
    QVERIFY(data.contains("123.50  "));
    // A comment of 210 characters written by some other program.
    data.replace("F02  \r\n", "F02  " + QByteArray(210, 'c') + "\r\n");
    QVERIFY(writeFile(path("cut.krx"), data));

    TKRFile back;
    back.LoadFromFile(native(path("cut.krx")));
    QCOMPARE(back.GetComment(1), std::string("spaces at end"));
    QCOMPARE(back.GetComment(2), std::string(200, 'c'));
    QCOMPARE(back.GetSpecies(1, 1), std::string("TWENTY CHARACTER"));
    QCOMPARE(back.GetReading(1, 2).GetMoisture(), 123.5L);
}

void TestDataFile::readingsWithABlankSpeciesStayReadings()
{
    TKRFile doc;
    makeKnown(doc);
    doc.GetReading(1, 1).SetSpecies(std::string(13, ' '));
    doc.GetReading(1, 1).SetSGApplies(1);
    doc.GetReading(1, 1).SetMoisture(12.5L);
    doc.GetReading(1, 2).SetSpecies(" ");
    doc.GetReading(1, 3).SetNote("note on a free slot");
    doc.SaveToFile(native(path("blank.krx")));

    TKRFile back;
    back.LoadFromFile(native(path("blank.krx")));
    QVERIFY(back.GetReading(1, 1).IsUsed());
    QCOMPARE(back.GetReading(1, 1).GetMoistureText(), std::string("12.5"));
    QVERIFY(back.GetReading(1, 2).IsUsed());
    QVERIFY(!back.GetReading(1, 3).IsUsed());
    QCOMPARE(back.CountReadings(), 2);
    QCOMPARE(back.CountUsed(1), 0);   // the meter file list still counts named species only
    QCOMPARE(back.SaveToText(), doc.SaveToText());
}

void TestDataFile::linesFrom652AreNotes()
{
    QByteArray data = linesOfFile(651);
    QByteArray binary;
    for (int i = 1; i < 256; ++i)
        if (i != '\r' && i != '\n')
            binary += char(i);
    data += binary + "\r\n";
    for (int i = 653; i <= 700; ++i)
        data += (i % 7 ? "free text " + QByteArray::number(i) : QByteArray()) + "\r\n";
    QVERIFY(writeFile(path("notes.krx"), data));
    TKRFile doc;
    doc.LoadFromFile(native(path("notes.krx")));
    QCOMPARE(doc.GetNotes().size(), std::size_t(49));
    QCOMPARE(bytes(doc.GetNotes()[0]), binary);
    QCOMPARE(doc.GetNotes()[1], std::string("free text 653"));
    QCOMPARE(doc.GetNotes()[6], std::string());
    QCOMPARE(doc.GetNotes()[47], std::string("free text 699"));
    QCOMPARE(doc.GetNotes()[48], std::string());
    QCOMPARE(doc.GetComment(25), std::string("comment 25"));
}

void TestDataFile::shortFileStopsAtMissingLine_data()
{
    QTest::addColumn<int>("lines");
    QTest::newRow("empty file") << 0;
    QTest::newRow("stamp only") << 1;
    QTest::newRow("first meter file only") << 27;
    QTest::newRow("300 lines") << 300;
    QTest::newRow("one line short") << 650;
    QTest::newRow("complete") << 651;
}

void TestDataFile::shortFileStopsAtMissingLine()
{
    QFETCH(int, lines);
    QVERIFY(writeFile(path("short.krx"), linesOfFile(lines)));
    TKRFile doc;
    doc.SetNotes({"old"});
    doc.GetReading(25, 25).SetSpecies("OLD");
    const std::string message = errorOf([&] { doc.LoadFromFile(native(path("short.krx"))); });
    QVERIFY(doc.GetNotes().empty());
    if (lines == 651) {
        QCOMPARE(message, std::string());
        QCOMPARE(doc.GetFileName(), native(path("short.krx")));
        return;
    }
    QCOMPARE(message, "List index out of bounds (" + std::to_string(lines) + ")");
    QCOMPARE(doc.GetFileName(), std::string("None"));
    QVERIFY(!doc.GetReading(25, 25).IsUsed());
    // Everything before the missing line was read: line n holds record
    // (n - 1) % 26 of meter file (n - 1) / 26 + 1, 1-based, record 0 being the comment.
    for (int n = 2; n <= 651; ++n) {
        const int f = (n - 2) / 26 + 1;
        const int r = (n - 2) % 26;
        if (r == 0)
            QCOMPARE(doc.GetComment(f).empty(), n > lines);
        else
            QCOMPARE(doc.GetReading(f, r).IsUsed(), n <= lines);
    }
    if (lines == 300) {
        QVERIFY(doc.GetReading(12, 12).IsUsed());
        QVERIFY(!doc.GetReading(12, 13).IsUsed());
    }
}

void TestDataFile::missingFileFailsAndLeavesDocumentCleared()
{
    TKRFile doc;
    doc.SetComment(3, "kept?");
    doc.SetNotes({"note"});
    doc.SetFileName("old.krx");
    const std::string missing = native(path("M\u00FCller.krx"));
    QCOMPARE(errorOf([&] { doc.LoadFromFile(missing); }),
             "Cannot open file " + native(dir.path()) + "/M\xFCller.krx: it does not exist.");
    QVERIFY_THROWS_EXCEPTION(FileError, doc.LoadFromFile(missing));
    QCOMPARE(doc.GetComment(3), std::string());
    QVERIFY(doc.GetNotes().empty());
    QCOMPARE(doc.GetFileName(), std::string("None"));
    QVERIFY(!doc.IsModified());

    QVERIFY(QDir(dir.path()).mkdir("folder.krx"));
    QCOMPARE(errorOf([&] { doc.LoadFromFile(native(path("folder.krx"))); }),
             "Cannot open file " + native(path("folder.krx")) + ": it is not a regular file.");
}

void TestDataFile::badFirstLineStopsLoad_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<std::string>("message");
    QTest::newRow("text") << QByteArray("garbage") << std::string("'ga' is not a valid integer value");
    QTest::newRow("empty") << QByteArray() << std::string("'' is not a valid integer value");
    QTest::newRow("zero byte") << QByteArray("1\0:00:00 01/02/2020", 19)
                               << std::string("'1 ' is not a valid integer value");
    QTest::newRow("no date") << QByteArray("00:00:00 31/02/2020") << std::string("Invalid argument to date encode");
    QTest::newRow("no time") << QByteArray("24:00:00 01/02/2020") << std::string("Invalid argument to time encode");
}

void TestDataFile::badFirstLineStopsLoad()
{
    QFETCH(QByteArray, first);
    QFETCH(std::string, message);
    QByteArray data = linesOfFile(700);
    data = first + data.mid(data.indexOf("\r\n"));
    QVERIFY(writeFile(path("bad.krx"), data));
    TKRFile doc;
    QCOMPARE(errorOf([&] { doc.LoadFromFile(native(path("bad.krx"))); }), message);
    QVERIFY_THROWS_EXCEPTION(ConvertError, doc.LoadFromFile(native(path("bad.krx"))));
    QCOMPARE(doc.GetComment(1), std::string());
    QVERIFY(!doc.GetReading(1, 1).IsUsed());
    QVERIFY(doc.GetNotes().empty());
    QCOMPARE(doc.GetFileName(), std::string("None"));
}

void TestDataFile::lineEndsMayBeCrLfLfOrCr_data()
{
    QTest::addColumn<QByteArray>("eol");
    QTest::newRow("CR LF") << QByteArray("\r\n");
    QTest::newRow("LF") << QByteArray("\n");
    QTest::newRow("CR") << QByteArray("\r");
}

void TestDataFile::lineEndsMayBeCrLfLfOrCr()
{
    QFETCH(QByteArray, eol);
    QByteArray data = linesOfFile(653, eol);
    data.chop(eol.size());   // the last line may lack its end
    QVERIFY(writeFile(path("eol.krx"), data));
    TKRFile doc;
    doc.LoadFromFile(native(path("eol.krx")));
    QCOMPARE(doc.GetComment(25), std::string("comment 25"));
    QCOMPARE(doc.GetSpecies(25, 25), std::string("S25-25"));
    QCOMPARE(doc.GetNotes(), (std::vector<std::string>{"extra 651", "extra 652"}));

    // Mixed ends in one file; CR CR LF is two line ends.
    QVERIFY(writeFile(path("mixed.krx"), linesOfFile(651).replace("\r\nF02", "\nF02").replace("\r\nF03", "\rF03") + "a\r\r\nb"));
    doc.LoadFromFile(native(path("mixed.krx")));
    QCOMPARE(doc.GetSpecies(3, 25), std::string("S3-25"));
    QCOMPARE(doc.GetNotes(), (std::vector<std::string>{"a", "", "b"}));
}

void TestDataFile::hostileFilesNeverCrash()
{
    // Very long lines everywhere: only 255 characters after the prefix are taken.
    QByteArray data = linesOfFile(651);
    data.replace("\r\nF01  comment 1", "\r\nF01  " + QByteArray(1 << 20, 'L'));
    data.replace("\r\nF0101S1-1", "\r\nF0101S1-1" + QByteArray(1 << 20, '9'));
    QVERIFY(writeFile(path("long.krx"), data));
    TKRFile doc;
    doc.LoadFromFile(native(path("long.krx")));
    QCOMPARE(doc.GetComment(1), std::string(200, 'L'));
    QVERIFY(doc.GetReading(1, 1).IsUsed());

    // Every byte value, NULs included, in record and comment lines.
    QByteArray noise;
    for (int i = 0; i < 651 * 200; ++i)
        noise += char((i * 131 + i / 7) & 0xFF);
    QVERIFY(writeFile(path("noise.krx"), "00:00:00 01/01/2000\r\n" + noise));
    for (char sep : {'.', ','}) {
        setRegional(test::withDecimal(sep));
        const std::string message = errorOf([&] { doc.LoadFromFile(native(path("noise.krx"))); });
        QVERIFY(message.empty() || message.rfind("List index out of bounds", 0) == 0);
        for (int f = 1; f <= 25; ++f)
            for (int r = 1; r <= 25; ++r) {
                const TReading& rd = doc.GetReading(f, r);
                QVERIFY(rd.GetSpecies().size() <= 16);
                QVERIFY(rd.GetNote().size() <= 128);
                (void)rd.GetRecordText();
                (void)rd.GetTabText(false);
            }
        std::vector<std::string> lines;
        doc.ExportText(lines, true);
        (void)doc.SaveToText();
    }
}

void TestDataFile::nulAtEveryPositionIsReadOrRefusedWhole()
{
    TKRFile doc;
    makeKnown(doc);
    doc.SetComment(1, "comment");
    doc.GetReading(1, 1).SetNote("note");
    doc.SetNotes({"notes"});
    const QByteArray good = bytes(doc.SaveToText());
    // Every byte of every kind of line: the date, a comment, a reading with
    // its note, an empty reading and the notes. The other empty readings are
    // laid out alike, and a load costs milliseconds.
    const QList<QByteArray> lines = good.split('\n');
    QList<qsizetype> positions;
    qsizetype start = 0;
    for (int i = 0; i < lines.size(); ++i) {
        if (i <= 3 || i >= lines.size() - 2)
            for (qsizetype k = 0; k < lines[i].size(); ++k)
                positions << start + k;
        start += lines[i].size() + 1;
    }
    for (qsizetype at : positions) {
        QByteArray data = good;
        data[at] = '\0';
        QVERIFY(writeFile(path("nul.krx"), data));
        const std::string message = errorOf([&] { doc.LoadFromFile(native(path("nul.krx"))); });
        // A refusal is a whole sentence: the NUL never cuts the message short.
        QVERIFY2(message.find('\0') == std::string::npos, qPrintable(QString::number(at)));
    }
}

void TestDataFile::oversizedFileIsRefused()
{
    QFile big(path("big.krx"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(qint64(65) << 20));   // sparse: costs no disk
    big.close();
    TKRFile doc;
    QCOMPARE(errorOf([&] { doc.LoadFromFile(native(path("big.krx"))); }),
             "Cannot open file " + native(path("big.krx")) + ": it is too large.");
    QCOMPARE(doc.GetFileName(), std::string("None"));
}

// The line limit for hostile files must not refuse what the program saved.
void TestDataFile::manyEmptyNotesLinesOpenAgain()
{
    TKRFile doc;
    doc.SetNotes(std::vector<std::string>(200'000));
    doc.SaveToFile(native(path("notes.krx")));
    TKRFile back;
    back.LoadFromFile(native(path("notes.krx")));
    QCOMPARE(back.GetNotes().size(), std::size_t(200'000));
}

void TestDataFile::hugeFilesTakeMemoryInProportion_data()
{
    QTest::addColumn<bool>("fullHead");
    QTest::addColumn<char>("fill");
    QTest::addColumn<int>("fillBytes");
    QTest::addColumn<std::string>("message");
    const std::string refused = "Cannot open file " + native(path("huge.krx")) + ": it is too large.";
    QTest::newRow("line feeds") << false << '\n' << 63'000'000 << refused;
    QTest::newRow("notes of line feeds") << true << '\n' << 63'000'000 << refused;
    QTest::newRow("one line") << false << 'x' << 60'000'000 << std::string("'xx' is not a valid integer value");
}

// The load runs in a child of its own, so that its peak memory is measured
// alone; the file is written in pieces to keep the parent small.
void TestDataFile::hugeFilesTakeMemoryInProportion()
{
    QFETCH(bool, fullHead);
    QFETCH(char, fill);
    QFETCH(int, fillBytes);
    QFETCH(std::string, message);
    QFile file(path("huge.krx"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    if (fullHead)
        QVERIFY(file.write(linesOfFile(651)) > 0);
    const QByteArray piece(1 << 20, fill);
    for (qint64 left = fillBytes; left > 0; left -= piece.size())
        QCOMPARE(file.write(piece.constData(), std::min<qint64>(left, piece.size())), std::min<qint64>(left, piece.size()));
    const qint64 size = file.size();
    file.close();

    const QString failure = test::runInChildWithinMemory(
        [&] {
            TKRFile doc;
            return errorOf([&] { doc.LoadFromFile(native(path("huge.krx"))); }) == message;
        },
        4 * size);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestDataFile::readerTakesOnlyRegularFilesAndCountsWhatArrives_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("result");
    QTest::newRow("file at the limit") << "file" << 10 << int(ReadResult::Ok);
    QTest::newRow("file one byte over") << "file" << 9 << int(ReadResult::TooLarge);
    QTest::newRow("missing") << "missing" << 10 << int(ReadResult::Missing);
    QTest::newRow("folder") << "folder" << 10 << int(ReadResult::NotAFile);
    QTest::newRow("named pipe") << "pipe" << 10 << int(ReadResult::NotAFile);
    QTest::newRow("link to /dev/zero") << "zero" << 10 << int(ReadResult::NotAFile);
    // Its size reads as 0, yet text arrives: the limit counts what arrives.
    QTest::newRow("file system says 0 bytes") << "proc" << 10 << int(ReadResult::TooLarge);
}

void TestDataFile::readerTakesOnlyRegularFilesAndCountsWhatArrives()
{
    QFETCH(QString, kind);
    QFETCH(int, limit);
    QFETCH(int, result);
    QString target = path("target");
    if (kind == "file")
        QVERIFY(writeFile(target, "0123456789"));
    else if (kind == "folder")
        QVERIFY(QDir().mkdir(target));
    else if (kind == "pipe")
        QCOMPARE(::mkfifo(native(target).c_str(), 0600), 0);
    else if (kind == "zero")
        QVERIFY(QFile::link("/dev/zero", target));
    else if (kind == "proc")
        target = "/proc/self/status";
    if (kind == "proc" && QFileInfo(target).size() != 0)
        QSKIP("no file here whose size reads as 0");

    std::string text = "stale";
    QCOMPARE(int(readRegularFile(native(target), text, std::size_t(limit))), result);
    QCOMPARE(text, std::string(result == int(ReadResult::Ok) ? "0123456789" : ""));
}

void TestDataFile::otherSeparatorKeepsPreviousFieldValues()
{
    TKRFile doc;
    makeKnown(doc);
    TReading& r = doc.GetReading(2, 2);
    r.SetSpecies("OAK");
    r.SetSGApplies(1);
    r.SetSG(0.55L);
    r.SetMoisture(12.5L);
    doc.SaveToFile(native(path("point.krx")));

    setRegional(test::withDecimal(','));
    TKRFile other;
    other.GetReading(2, 2).SetSG(0.7L);
    other.LoadFromFile(native(path("point.krx")));
    const TReading& b = other.GetReading(2, 2);
    QCOMPARE(b.GetSpecies(), std::string("OAK"));
    QCOMPARE(b.GetSGApplies(), 1);
    QCOMPARE(b.GetSG(), 0.7L);          // "0.55" does not convert: SG is kept
    QCOMPARE(b.GetMoisture(), 0.0L);    // as the load's clear left it
    QCOMPARE(b.GetDateTime(), at(2020, 1, 2, 3, 4, 5));
}

void TestDataFile::lineBreaksInTextsDoNotShiftLayout()
{
    TKRFile doc;
    makeKnown(doc);
    doc.SetComment(1, "two\r\nlines");
    doc.GetReading(1, 1).SetSpecies("A\nB");
    doc.GetReading(1, 1).SetNote("x\ry");
    doc.GetReading(25, 25).SetSpecies("LAST");
    doc.SaveToFile(native(path("breaks.krx")));
    QCOMPARE(readFile(path("breaks.krx")).count("\r\n"), 651);
    TKRFile back;
    back.LoadFromFile(native(path("breaks.krx")));
    QCOMPARE(back.GetComment(1), std::string("two  lines"));
    QCOMPARE(back.GetSpecies(1, 1), std::string("A B"));
    QCOMPARE(back.GetNote(1, 1), std::string("x y"));
    QCOMPARE(back.GetSpecies(25, 25), std::string("LAST"));
    QVERIFY(back.GetNotes().empty());
}

void TestDataFile::failedSaveLeavesTargetAndStateUntouched_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("streamError");
    QTest::newRow("create") << int(WriteResult::CreateFailed) << false;
    QTest::newRow("write") << int(WriteResult::WriteFailed) << true;
    QTest::newRow("rename") << int(WriteResult::RenameFailed) << false;
}

void TestDataFile::failedSaveLeavesTargetAndStateUntouched()
{
    QFETCH(int, step);
    QFETCH(bool, streamError);
    QVERIFY(writeFile(path("keep.krx"), "the old, good file\r\n"));
    TKRFile doc;
    doc.SetFileName("previous.krx");
    doc.SetComment(1, "unsaved");
    const std::string target = native(path("keep.krx"));
    failNextAtomicWrite(static_cast<WriteResult>(step));
    const std::string message = errorOf([&] { doc.SaveToFile(target); });
    QCOMPARE(message, streamError ? std::string("Stream write error") : "Cannot create file " + target);
    QCOMPARE(readFile(path("keep.krx")), QByteArray("the old, good file\r\n"));
    QCOMPARE(entries(dir.path()), QStringList{"keep.krx"});
    QVERIFY(doc.IsModified());
    QCOMPARE(doc.GetFileName(), std::string("previous.krx"));

    // The fault was for one write only.
    doc.SaveToFile(target);
    QCOMPARE(readFile(path("keep.krx")), bytes(doc.SaveToText()));
    QVERIFY(!doc.IsModified());
}

void TestDataFile::saveIntoMissingFolderFails()
{
    TKRFile doc;
    doc.SetComment(1, "x");
    const std::string target = native(path("no/such/folder/x.krx"));
    QCOMPARE(errorOf([&] { doc.SaveToFile(target); }), "Cannot create file " + target);
    QVERIFY_THROWS_EXCEPTION(FileError, doc.SaveToFile(target));
    QVERIFY(doc.IsModified());
    QCOMPARE(doc.GetFileName(), std::string("None"));
}

void TestDataFile::saveOverWhatIsNotARegularFileIsRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder") << "folder";
    QTest::newRow("named pipe") << "pipe";
    QTest::newRow("link to a named pipe") << "link";
}

// A rename would put the file in place of a folder, a device or a FIFO.
void TestDataFile::saveOverWhatIsNotARegularFileIsRefused()
{
    QFETCH(QString, kind);
    QVERIFY(kind == "folder" ? QDir(dir.path()).mkdir("taken") : ::mkfifo(native(path("taken")).c_str(), 0600) == 0);
    const QString target = path(kind == "link" ? "link.krx" : "taken");
    QVERIFY(kind != "link" || QFile::link(path("taken"), target));
    const QStringList before = entries(dir.path());
    TKRFile doc;
    QCOMPARE(errorOf([&] { doc.SaveToFile(native(target)); }),
             "Cannot create file " + native(target) + ": it is not a regular file.");
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(path("taken")).constData(), &st), 0);
    QVERIFY(kind == "folder" ? S_ISDIR(st.st_mode) : S_ISFIFO(st.st_mode));
    QCOMPARE(entries(dir.path()), before);
}

void TestDataFile::fullDiskKeepsOldFile()
{
    if (::geteuid() != 0)
        QSKIP("mounting a small file system needs root");
    const QString mountPoint = path("tiny");
    QVERIFY(QDir(dir.path()).mkdir("tiny"));
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=16k", "tmpfs", mountPoint}) != 0)
        QSKIP("cannot mount a tmpfs here");
    struct Unmount {
        QString where;
        ~Unmount() { QProcess::execute("umount", {where}); }
    } unmount{mountPoint};

    const QString target = mountPoint + "/full.krx";
    QVERIFY(writeFile(target, "small old file\r\n"));
    TKRFile doc;   // a data file is far larger than 16 KB
    doc.SetFileName("before.krx");
    doc.SetModified();
    QCOMPARE(errorOf([&] { doc.SaveToFile(native(target)); }), std::string("Stream write error"));
    QCOMPARE(readFile(target), QByteArray("small old file\r\n"));
    QCOMPARE(entries(mountPoint), QStringList{"full.krx"});
    QCOMPARE(doc.GetFileName(), std::string("before.krx"));
    QVERIFY(doc.IsModified());
}

void TestDataFile::saveReplacesLongerFileAndKeepsPermissions()
{
    const QString target = path("perm.krx");
    QVERIFY(writeFile(target, QByteArray(400000, 'z')));
    QVERIFY(QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
    TKRFile doc;
    doc.SaveToFile(native(target));
    QCOMPARE(readFile(target), bytes(doc.SaveToText()));
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0640u);
}

void TestDataFile::saveThroughSymlinkKeepsLink()
{
    QVERIFY(QDir(dir.path()).mkdir("real"));
    QVERIFY(writeFile(path("real/data.krx"), "old"));
    QVERIFY(QFile::link(path("real/data.krx"), path("link.krx")));
    TKRFile doc;
    doc.SaveToFile(native(path("link.krx")));
    QVERIFY(QFileInfo(path("link.krx")).isSymLink());
    QCOMPARE(readFile(path("real/data.krx")), bytes(doc.SaveToText()));
    QCOMPARE(entries(path("real")), QStringList{"data.krx"});
}

void TestDataFile::saveWithLongestFileName()
{
    const QString leaf = QString(251, QLatin1Char('n')) + ".krx";   // 255 bytes, the usual limit
    TKRFile doc;
    doc.SaveToFile(native(path(leaf)));
    QCOMPARE(entries(dir.path()), QStringList{leaf});
    TKRFile back;
    back.LoadFromFile(native(path(leaf)));
    QCOMPARE(back.GetFileName(), native(path(leaf)));
}

QTEST_GUILESS_MAIN(TestDataFile)
#include "tst_datafile.moc"
