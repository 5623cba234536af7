#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

#include "core/AtomicFile.h"
#include "core/Errors.h"
#include "settings/Appglob.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "tests/support/ChildMemory.h"
#include "tests/support/TestFiles.h"

#include <fstream>

using namespace kr;

namespace {

using test::bytes;
using test::readFile;
using test::writeFile;

// A kr.ini as another program might leave it: comments, odd spacing,
// LF-only lines, a section of its own and no line end at the very end.
const std::string foreignIni = "; kept by hand\r\n"
                               "[Other]\r\n"
                               "Colour = blue ; not a comment\r\n"
                               "\r\n"
                               "[communications]\n"
                               "  port = 7\n"
                               "Baud=4800\n"
                               "\n"
                               "; about printing\r\n"
                               "[Printing]\r\n"
                               "TopMargin=3\r\n"
                               "junk line without equals\r\n"
                               "[Tail]\r\n"
                               "x=1";

} // namespace

class TestProfile : public QObject {
    Q_OBJECT

private slots:
    void readFindsKeysWithoutRegardToCaseOrBlanks_data();
    void readFindsKeysWithoutRegardToCaseOrBlanks();
    void readAbsentGivesNothing_data();
    void readAbsentGivesNothing();
    void parseInteger_data();
    void parseInteger();
    void writeRewritesOnlyItsOwnLine();
    void writeAddsKeyAfterLastLineOfSection();
    void writeAddsNewSectionAtEnd();
    void writeValueCannotAddLines();
    void eraseSectionRemovesEveryCopyAndKeepsNeighbours();
    void eraseKeyRemovesOneLine();
    void quotesAroundValuesRoundTrip_data();
    void quotesAroundValuesRoundTrip();

    void fileIsCreatedByFirstWrite();
    void foreignFileSurvivesOurWrites();
    void readsSeeOtherWritersAtOnce();
    void failedWriteLeavesOldFileIntact_data();
    void failedWriteLeavesOldFileIntact();
    void writeIntoMissingFolderNamesFullPath();
    void unreadableFileIsNeverReplaced_data();
    void unreadableFileIsNeverReplaced();
    void hugeFileIsLeftAloneInBoundedMemory_data();
    void hugeFileIsLeftAloneInBoundedMemory();
    void fullDiskLeavesOldFileIntact();

    void missingFileGivesDefaults();
    void oddValuesRead_data();
    void oddValuesRead();
    void writeSettingsStoresKeysInOrder();
    void settingsRoundTrip();
    void writeSettingsStopsAtFailingKey();

    void programFolderRule_data();
    void programFolderRule();
    void readOnlyFilesFallBackToTheDataFolder_data();
    void readOnlyFilesFallBackToTheDataFolder();
    void appglobPathsFollowKrHome();
    void writeRefusalNamesWhatMustNotBeReplaced_data();
    void writeRefusalNamesWhatMustNotBeReplaced();
};

void TestProfile::readFindsKeysWithoutRegardToCaseOrBlanks_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("plain") << QByteArray("[General]\r\nMetric=1\r\n") << QByteArray("General") << QByteArray("Metric")
                           << QByteArray("1");
    QTest::newRow("case") << QByteArray("[GENERAL]\r\nmetric=0\r\n") << QByteArray("general") << QByteArray("METRIC")
                          << QByteArray("0");
    QTest::newRow("blanks") << QByteArray("  [ General ]  \r\n\t Metric \t=  5 \r\n") << QByteArray("General")
                            << QByteArray("Metric") << QByteArray("5");
    QTest::newRow("lf only") << QByteArray("[a]\nk=v\n[b]\nk=w\n") << QByteArray("b") << QByteArray("k")
                             << QByteArray("w");
    QTest::newRow("cr only") << QByteArray("[a]\rk=v\r") << QByteArray("a") << QByteArray("k") << QByteArray("v");
    QTest::newRow("first of duplicates") << QByteArray("[a]\r\nk=1\r\nk=2\r\n[a]\r\nk=3\r\n") << QByteArray("a")
                                         << QByteArray("k") << QByteArray("1");
    QTest::newRow("double quotes dropped") << QByteArray("[a]\r\nk=\"x y\"\r\n") << QByteArray("a")
                                           << QByteArray("k") << QByteArray("x y");
    QTest::newRow("single quotes dropped") << QByteArray("[a]\r\nk='x'\r\n") << QByteArray("a") << QByteArray("k")
                                           << QByteArray("x");
    QTest::newRow("only one pair dropped") << QByteArray("[a]\r\nk=\"\"x\"\"\r\n") << QByteArray("a")
                                           << QByteArray("k") << QByteArray("\"x\"");
    QTest::newRow("mixed quotes kept") << QByteArray("[a]\r\nk=\"x'\r\n") << QByteArray("a") << QByteArray("k")
                                       << QByteArray("\"x'");
    QTest::newRow("backslash section") << QByteArray("[setup\\TfmMain.MRUManager1]\r\nItem_0=C:\\a.krx\r\n")
                                       << QByteArray("SETUP\\tfmmain.mrumanager1") << QByteArray("item_0")
                                       << QByteArray("C:\\a.krx");
    QTest::newRow("empty value") << QByteArray("[a]\r\nk=\r\n") << QByteArray("a") << QByteArray("k") << QByteArray("");
    QTest::newRow("two quotes are empty") << QByteArray("[a]\r\nk=\"\"\r\n") << QByteArray("a") << QByteArray("k")
                                          << QByteArray("");
    QTest::newRow("windows-1252 bytes") << QByteArray("[a]\r\nk=\xe9t\xe9\x80\r\n") << QByteArray("a")
                                        << QByteArray("k") << QByteArray("\xe9t\xe9\x80");
    QTest::newRow("value holds equals") << QByteArray("[a]\r\nk=x=y\r\n") << QByteArray("a") << QByteArray("k")
                                        << QByteArray("x=y");
}

void TestProfile::readFindsKeysWithoutRegardToCaseOrBlanks()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    const auto v = profile::read(text.toStdString(), section.toStdString(), key.toStdString());
    QVERIFY(v.has_value());
    QCOMPARE(bytes(*v), value);
}

void TestProfile::readAbsentGivesNothing_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("other section") << QByteArray("[b]\r\nk=1\r\n");
    QTest::newRow("key in next section") << QByteArray("[a]\r\nx=1\r\n[b]\r\nk=1\r\n");
    QTest::newRow("key before any section") << QByteArray("k=1\r\n[a]\r\n");
    QTest::newRow("commented out") << QByteArray("[a]\r\n;k=1\r\n");
    QTest::newRow("no equals") << QByteArray("[a]\r\nk\r\n");
    QTest::newRow("binary junk") << QByteArray("\x00\xff[\x01]\r\n=\r\n[a\r\n", 14);
}

void TestProfile::readAbsentGivesNothing()
{
    QFETCH(QByteArray, text);
    QVERIFY(!profile::read(std::string(text.constData(), size_t(text.size())), "a", "k"));
}

void TestProfile::parseInteger_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<int>("value");
    QTest::newRow("decimal") << QByteArray("42") << true << 42;
    QTest::newRow("negative") << QByteArray("-7") << true << -7;
    QTest::newRow("plus") << QByteArray("+7") << true << 7;
    QTest::newRow("hex lower") << QByteArray("0x3") << true << 3;
    QTest::newRow("hex upper") << QByteArray("0X1F") << true << 31;
    QTest::newRow("hex wraps to negative") << QByteArray("0xFFFFFFFF") << true << -1;
    QTest::newRow("hex too long") << QByteArray("0x100000000") << false << 0;
    QTest::newRow("bare 0x") << QByteArray("0x") << false << 0;
    QTest::newRow("hex junk") << QByteArray("0xZ1") << false << 0;
    QTest::newRow("letters") << QByteArray("abc") << false << 0;
    QTest::newRow("empty") << QByteArray("") << false << 0;
    QTest::newRow("sign only") << QByteArray("-") << false << 0;
    QTest::newRow("trailing junk") << QByteArray("12mm") << false << 0;
    QTest::newRow("decimal point") << QByteArray("1.5") << false << 0;
    QTest::newRow("largest") << QByteArray("2147483647") << true << 2147483647;
    QTest::newRow("smallest") << QByteArray("-2147483648") << true << int(-2147483647 - 1);
    QTest::newRow("overflow") << QByteArray("2147483648") << false << 0;
    QTest::newRow("huge") << QByteArray("99999999999999999999999") << false << 0;
    QTest::newRow("leading zero decimal") << QByteArray("007") << true << 7;
}

void TestProfile::parseInteger()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, isNumber);
    QFETCH(int, value);
    const auto n = profile::parseInteger(text.toStdString());
    QCOMPARE(n.has_value(), isNumber);
    if (isNumber)
        QCOMPARE(*n, value);
}

void TestProfile::writeRewritesOnlyItsOwnLine()
{
    const std::string before = "[A]\r\n  Key = old\r\nOther=1\n[B]\r\nKey=b\r\n";
    const std::string after = profile::write(before, "a", "KEY", "new");
    QCOMPARE(bytes(after), QByteArray("[A]\r\n  Key =new\r\nOther=1\n[B]\r\nKey=b\r\n"));
}

void TestProfile::writeAddsKeyAfterLastLineOfSection()
{
    QCOMPARE(bytes(profile::write("[A]\r\nx=1\r\n\r\n[B]\r\n", "A", "y", "2")),
             QByteArray("[A]\r\nx=1\r\ny=2\r\n\r\n[B]\r\n"));
    QCOMPARE(bytes(profile::write("[A]", "A", "y", "2")), QByteArray("[A]\r\ny=2\r\n"));
    QCOMPARE(bytes(profile::write("[A]\nx=1", "A", "y", "2")), QByteArray("[A]\nx=1\r\ny=2\r\n"));
    QCOMPARE(bytes(profile::write("[A]\r\nx=1\r\n; about B\r\n[B]\r\n", "A", "y", "2")),
             QByteArray("[A]\r\nx=1\r\ny=2\r\n; about B\r\n[B]\r\n"));
}

void TestProfile::writeAddsNewSectionAtEnd()
{
    QCOMPARE(bytes(profile::write("", "S", "k", "v")), QByteArray("[S]\r\nk=v\r\n"));
    QCOMPARE(bytes(profile::write("[A]\r\nx=1\r\n", "S", "k", "v")), QByteArray("[A]\r\nx=1\r\n\r\n[S]\r\nk=v\r\n"));
    QCOMPARE(bytes(profile::write("[A]\r\nx=1", "S", "k", "v")), QByteArray("[A]\r\nx=1\r\n\r\n[S]\r\nk=v\r\n"));
    QCOMPARE(bytes(profile::write("[A]\r\n\r\n", "S", "k", "v")), QByteArray("[A]\r\n\r\n[S]\r\nk=v\r\n"));
}

void TestProfile::writeValueCannotAddLines()
{
    const std::string t = profile::write("[A]\r\n", "A", "k", std::string("a\r\n[B]\nb=1\0tail", 15));
    QCOMPARE(bytes(t), QByteArray("[A]\r\nk=a  [B] b=1\r\n"));
    QVERIFY(!profile::hasSection(t, "B"));
}

void TestProfile::eraseSectionRemovesEveryCopyAndKeepsNeighbours()
{
    const std::string before = "[A]\r\na=1\r\n\r\n[M]\r\nItem_0=x\r\nUser_0=1\r\n\r\n; about B\r\n[B]\r\nb=2\r\n"
                               "[m]\r\nItem_5=stale\r\n";
    const std::string after = profile::eraseSection(before, "M");
    QCOMPARE(bytes(after), QByteArray("[A]\r\na=1\r\n\r\n; about B\r\n[B]\r\nb=2\r\n"));
    QCOMPARE(bytes(profile::eraseSection(after, "absent")), bytes(after));
}

void TestProfile::eraseKeyRemovesOneLine()
{
    QCOMPARE(bytes(profile::eraseKey("[A]\r\nk=1\r\nj=2\r\n", "a", "K")), QByteArray("[A]\r\nj=2\r\n"));
    QCOMPARE(bytes(profile::eraseKey("[A]\r\nj=2\r\n", "a", "k")), QByteArray("[A]\r\nj=2\r\n"));
}

void TestProfile::quotesAroundValuesRoundTrip_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("plain") << QByteArray("Arial");
    QTest::newRow("double quoted") << QByteArray("\"Arial\"");
    QTest::newRow("single quoted") << QByteArray("'Arial'");
    QTest::newRow("one quote") << QByteArray("\"");
    QTest::newRow("two quotes") << QByteArray("\"\"");
    QTest::newRow("inner quotes") << QByteArray("a \"b\" c");
    QTest::newRow("empty") << QByteArray("");
}

void TestProfile::quotesAroundValuesRoundTrip()
{
    QFETCH(QByteArray, value);
    const std::string t = profile::write("", "S", "k", profile::quoteIfEnclosed(value.toStdString()));
    QCOMPARE(bytes(profile::read(t, "S", "k").value()), value);
}

void TestProfile::fileIsCreatedByFirstWrite()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("kr.ini");
    IniFile ini(path);
    QCOMPARE(ini.readInteger("Communications", "Port", 1), 1);
    ini.eraseSection("Communications");
    ini.eraseKey("Communications", "Port");
    QVERIFY2(!QFile::exists(path), "reads and erases must not create the file");
    ini.writeInteger("Communications", "Port", 4);
    QCOMPARE(readFile(path), QByteArray("[Communications]\r\nPort=4\r\n"));
}

void TestProfile::foreignFileSurvivesOurWrites()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("kr.ini");
    writeFile(path, foreignIni);
    IniFile ini(path);
    QCOMPARE(ini.readInteger("Communications", "Port", 1), 7);

    Settings s;
    s.PortNumber = 2;
    s.TopMargin = 12;
    WriteSettings(ini, s);
    // Erasing and rewriting a section again and again must not let the file grow.
    for (int i = 0; i < 3; ++i) {
        ini.writeString("setup\\TfmMain.MRUManager1", "Item_0", "/data/a.krx");
        ini.eraseSection("setup\\TfmMain.MRUManager1");
    }

    const std::string expected = "; kept by hand\r\n"
                                 "[Other]\r\n"
                                 "Colour = blue ; not a comment\r\n"
                                 "\r\n"
                                 "[communications]\n"
                                 "  port =2\n"
                                 "Baud=4800\n"
                                 "HeartBeat=0\r\n"
                                 "\n"
                                 "; about printing\r\n"
                                 "[Printing]\r\n"
                                 "TopMargin=12\r\n"
                                 "RightMargin=10\r\n"
                                 "BottomMargin=10\r\n"
                                 "LeftMargin=10\r\n"
                                 "junk line without equals\r\n"
                                 "[Tail]\r\n"
                                 "x=1\r\n"
                                 "\r\n"
                                 "[General]\r\n"
                                 "Centigrade=1\r\n"
                                 "Metric=1\r\n"
                                 "\r\n"
                                 "[Archive]\r\n"
                                 "Keep=1\r\n"
                                 "\r\n";
    QCOMPARE(readFile(path), bytes(expected));
    QCOMPARE(ReadSettings(ini), s);
    QCOMPARE(bytes(ini.readString("Other", "Colour", "")), QByteArray("blue ; not a comment"));
}

void TestProfile::readsSeeOtherWritersAtOnce()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("kr.ini");
    IniFile a(path), b(path);
    a.writeInteger("S", "k", 1);
    QCOMPARE(b.readInteger("S", "k", 0), 1);
    writeFile(path, "[S]\r\nk=2\r\n");
    QCOMPARE(a.readInteger("S", "k", 0), 2);
    b.writeInteger("S", "j", 3);
    QCOMPARE(a.readSection("S"), (profile::KeyValues{{"k", "2"}, {"j", "3"}}));
}

void TestProfile::failedWriteLeavesOldFileIntact_data()
{
    QTest::addColumn<int>("step");
    QTest::newRow("create") << int(WriteResult::CreateFailed);
    QTest::newRow("write") << int(WriteResult::WriteFailed);
    QTest::newRow("rename") << int(WriteResult::RenameFailed);
}

void TestProfile::failedWriteLeavesOldFileIntact()
{
    QFETCH(int, step);
    QTemporaryDir dir;
    const QString path = dir.filePath("kr.ini");
    writeFile(path, foreignIni);
    IniFile ini(path);
    failNextAtomicWrite(WriteResult(step));
    try {
        ini.writeInteger("Communications", "Port", 3);
        QFAIL("the write should have failed");
    } catch (const FileError& e) {
        QCOMPARE(QByteArray(e.what()), QByteArray("Unable to write to ") + QFileInfo(path).absoluteFilePath().toUtf8());
    }
    QCOMPARE(readFile(path), bytes(foreignIni));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kr.ini"});
    failNextAtomicWrite(WriteResult(step));
    QVERIFY_THROWS_EXCEPTION(FileError, ini.eraseSection("Printing"));
    QCOMPARE(readFile(path), bytes(foreignIni));
}

void TestProfile::writeIntoMissingFolderNamesFullPath()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("gone/kr.ini");
    IniFile ini(path);
    try {
        ini.writeBool("General", "Metric", false);
        QFAIL("the write should have failed");
    } catch (const FileError& e) {
        QCOMPARE(QString::fromUtf8(e.what()), "Unable to write to " + path);
    }
}

void TestProfile::unreadableFileIsNeverReplaced_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder") << "folder";
    // Opening a pipe would wait for a writer for ever.
    QTest::newRow("named pipe") << "pipe";
    // A device reports size 0 yet never ends.
    QTest::newRow("link to /dev/zero") << "link";
}

void TestProfile::unreadableFileIsNeverReplaced()
{
    // What stands where kr.ini should be is not read as a file: reads give
    // defaults and writes fail rather than replace it.
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath("kr.ini");
    const QByteArray native = QFile::encodeName(path);
    if (kind == "folder")
        QVERIFY(QDir(dir.path()).mkdir("kr.ini"));
    else if (kind == "pipe")
        QCOMPARE(::mkfifo(native.constData(), 0600), 0);
    else
        QCOMPARE(::symlink("/dev/zero", native.constData()), 0);
    const auto type = [&] {
        struct stat st {};
        return ::lstat(native.constData(), &st) == 0 ? st.st_mode & S_IFMT : 0;
    };
    const auto before = type();

    IniFile ini(path);
    QCOMPARE(ini.readInteger("Communications", "Port", 1), 1);
    QVERIFY(!ini.sectionExists("Communications"));
    QVERIFY_THROWS_EXCEPTION(FileError, ini.writeInteger("Communications", "Port", 2));
    QCOMPARE(type(), before);
}

void TestProfile::hugeFileIsLeftAloneInBoundedMemory_data()
{
    QTest::addColumn<int>("bytes");
    QTest::newRow("8 MiB of line ends") << (8 << 20);
    QTest::newRow("9 MiB of line ends") << (9 << 20);
}

// Reads give defaults and a write names the file it cannot write, in a
// child of its own so that its peak memory is measured alone.
void TestProfile::hugeFileIsLeftAloneInBoundedMemory()
{
    QFETCH(int, bytes);
    QTemporaryDir dir;
    const QString path = dir.filePath("kr.ini");
    std::string text = "[General]\r\nCentigrade=0\r\n";
    text.append(std::size_t(bytes) - text.size(), '\n');
    QVERIFY(writeFile(path, text));
    text = std::string();

    const QString failure = test::runInChildWithinMemory(
        [&] {
            IniFile ini(path);
            bool ok = ini.readInteger("General", "Centigrade", 1) == 1;
            try {
                ini.writeInteger("General", "Centigrade", 1);
                ok = false;
            } catch (const FileError& e) {
                ok = ok && e.what() == ini.writeFailureMessage();
            }
            return ok;
        },
        8 * qint64(bytes));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(QFileInfo(path).size(), qint64(bytes));
}

void TestProfile::fullDiskLeavesOldFileIntact()
{
    // A real failure: a tiny file system, filled up after kr.ini was written.
    QTemporaryDir dir;
    const QString mountPoint = dir.filePath("tiny");
    QVERIFY(QDir().mkpath(mountPoint));
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=16k", "tmpfs", mountPoint}) != 0)
        QSKIP("cannot mount a small file system here (needs root)");
    struct Unmount {
        QString at;
        ~Unmount() { QProcess::execute("umount", {at}); }
    } unmount{mountPoint};

    const QString path = mountPoint + "/kr.ini";
    IniFile ini(path);
    WriteSettings(ini, Settings{});
    const std::string before = test::readFileString(path);
    {
        std::ofstream filler((mountPoint + "/filler").toStdString(), std::ios::binary);
        const std::string block(4096, 'x');
        for (int i = 0; i < 64 && filler; ++i)
            filler << block << std::flush;
    }
    try {
        ini.writeString("Communications", "Port", std::string(6000, '7'));
        QFAIL("the write should have failed on a full disk");
    } catch (const FileError& e) {
        QCOMPARE(QString::fromUtf8(e.what()), "Unable to write to " + path);
    }
    QCOMPARE(readFile(path), bytes(before));
    QCOMPARE(QDir(mountPoint).entryList(QDir::Files | QDir::Hidden), (QStringList{"filler", "kr.ini"}));
    QCOMPARE(ReadSettings(ini), Settings{});
}

void TestProfile::missingFileGivesDefaults()
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath("kr.ini"));
    const Settings s = ReadSettings(ini);
    QCOMPARE(s.PortNumber, 1);
    QCOMPARE(s.HeartBeat, false);
    QCOMPARE(s.TopMargin, 10);
    QCOMPARE(s.RightMargin, 10);
    QCOMPARE(s.BottomMargin, 10);
    QCOMPARE(s.LeftMargin, 10);
    QCOMPARE(s.Centigrade, true);
    QCOMPARE(s.Metric, true);
    QVERIFY(!QFile::exists(dir.filePath("kr.ini")));
}

void TestProfile::oddValuesRead_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("centigrade");
    QTest::addColumn<bool>("heartBeat");
    QTest::addColumn<int>("leftMargin");
    QTest::newRow("hex port") << QByteArray("[Communications]\r\nPort=0x3\r\n") << 3 << true << false << 10;
    QTest::newRow("letters port") << QByteArray("[Communications]\r\nPort=abc\r\n") << 1 << true << false << 10;
    QTest::newRow("centigrade 2 is true") << QByteArray("[General]\r\nCentigrade=2\r\n") << 1 << true << false << 10;
    QTest::newRow("centigrade empty is default")
        << QByteArray("[General]\r\nCentigrade=\r\n") << 1 << true << false << 10;
    QTest::newRow("centigrade 0 is false") << QByteArray("[General]\r\nCentigrade=0\r\n") << 1 << false << false << 10;
    QTest::newRow("centigrade -1 is true") << QByteArray("[General]\r\nCentigrade=-1\r\n") << 1 << true << false << 10;
    QTest::newRow("centigrade text is default")
        << QByteArray("[General]\r\nCentigrade=no\r\n") << 1 << true << false << 10;
    QTest::newRow("heartbeat 0x10") << QByteArray("[Communications]\r\nHeartBeat=0x10\r\n") << 1 << true << true << 10;
    QTest::newRow("quoted margin") << QByteArray("[Printing]\r\nLeftMargin=\"25\"\r\n") << 1 << true << false << 25;
    QTest::newRow("negative margin") << QByteArray("[Printing]\r\nLeftMargin=-4\r\n") << 1 << true << false << -4;
    QTest::newRow("margin with unit") << QByteArray("[Printing]\r\nLeftMargin=4mm\r\n") << 1 << true << false << 10;
    QTest::newRow("lower-case names") << QByteArray("[communications]\r\nport=8\r\n[printing]\r\nleftmargin=1\r\n")
                                      << 8 << true << false << 1;
}

void TestProfile::oddValuesRead()
{
    QFETCH(QByteArray, file);
    QFETCH(int, port);
    QFETCH(bool, centigrade);
    QFETCH(bool, heartBeat);
    QFETCH(int, leftMargin);
    QTemporaryDir dir;
    writeFile(dir.filePath("kr.ini"), file.toStdString());
    const Settings s = ReadSettings(IniFile(dir.filePath("kr.ini")));
    QCOMPARE(s.PortNumber, port);
    QCOMPARE(s.Centigrade, centigrade);
    QCOMPARE(s.HeartBeat, heartBeat);
    QCOMPARE(s.LeftMargin, leftMargin);
}

void TestProfile::writeSettingsStoresKeysInOrder()
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath("kr.ini"));
    Settings s;
    s.PortNumber = 3;
    s.HeartBeat = true;
    s.TopMargin = 5;
    s.RightMargin = 6;
    s.BottomMargin = 7;
    s.LeftMargin = -8;
    s.Centigrade = false;
    s.Metric = false;
    WriteSettings(ini, s);
    QCOMPARE(readFile(ini.path()), QByteArray("[Communications]\r\nPort=3\r\nHeartBeat=1\r\n\r\n"
                                              "[Printing]\r\nTopMargin=5\r\nRightMargin=6\r\nBottomMargin=7\r\n"
                                              "LeftMargin=-8\r\n\r\n"
                                              "[General]\r\nCentigrade=0\r\nMetric=0\r\n\r\n"
                                              "[Archive]\r\nKeep=1\r\n"));
}

void TestProfile::settingsRoundTrip()
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath("kr.ini"));
    Settings s;
    s.PortNumber = 8;
    s.Metric = false;
    s.BottomMargin = 0;
    WriteSettings(ini, s);
    QCOMPARE(ReadSettings(ini), s);
    s.PortNumber = 2;
    WriteSettings(ini, s);
    QCOMPARE(ReadSettings(ini), s);
    QCOMPARE(ini.readSection("Communications").size(), size_t(2));
}

void TestProfile::writeSettingsStopsAtFailingKey()
{
    // Each key is its own write: a failure stops there, the keys before it
    // are already stored and the rest keep their old values.
    QTemporaryDir dir;
    IniFile ini(dir.filePath("kr.ini"));
    WriteSettings(ini, Settings{});
    Settings s;
    s.PortNumber = 5;
    s.TopMargin = 20;
    int failures = 0;
    try {
        ini.writeInteger("Communications", "Port", s.PortNumber);
        failNextAtomicWrite(WriteResult::WriteFailed);
        WriteSettings(ini, s);
    } catch (const FileError&) {
        ++failures;
    }
    QCOMPARE(failures, 1);
    const Settings back = ReadSettings(ini);
    QCOMPARE(back.PortNumber, 5);
    QCOMPARE(back.TopMargin, 10);
}

void TestProfile::programFolderRule_data()
{
    QTest::addColumn<QString>("krHome");
    QTest::addColumn<QString>("exeFolder");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<bool>("installedLayout");
    QTest::addColumn<QString>("expected");
    const QString user = "/home/u/.local/share/kr";
    QTest::newRow("KR_HOME wins") << "/opt/kr" << "/usr/bin" << false << true << "/opt/kr/";
    QTest::newRow("KR_HOME cleaned") << "/opt/kr/../kr2/" << "/usr/bin" << true << false << "/opt/kr2/";
    QTest::newRow("writable folder") << "" << "/home/u/kr" << true << false << "/home/u/kr/";
    QTest::newRow("read-only folder") << "" << "/usr/bin" << false << false << user + "/";
    QTest::newRow("installed, writable prefix") << "" << "/home/u/.local/bin" << true << true << user + "/";
    QTest::newRow("no executable yet") << "" << "" << true << false << QDir::currentPath() + "/";
}

void TestProfile::programFolderRule()
{
    QFETCH(QString, krHome);
    QFETCH(QString, exeFolder);
    QFETCH(bool, writable);
    QFETCH(bool, installedLayout);
    QFETCH(QString, expected);
    const ProgramFolderFacts facts{krHome, exeFolder, writable, installedLayout, "/home/u/.local/share/kr"};
    QCOMPARE(programFolderFrom(facts), expected);
    QCOMPARE(dataFolderFrom("/usr/bin"), QString("/usr/share/kr/"));
}

void TestProfile::readOnlyFilesFallBackToTheDataFolder_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expected");
    QTest::newRow("user's copy wins") << QStringList{"/p/Factors.dat", "/d/Factors.dat"} << "/p/Factors.dat";
    QTest::newRow("installed copy") << QStringList{"/d/Factors.dat"} << "/d/Factors.dat";
    QTest::newRow("nowhere: named in the program folder") << QStringList{} << "/p/Factors.dat";
}

void TestProfile::readOnlyFilesFallBackToTheDataFolder()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, expected);
    const auto exists = [&](const QString& path) { return existing.contains(path); };
    QCOMPARE(dataFilePathFrom("Factors.dat", "/p/", "/d/", exists), expected);
}

void TestProfile::appglobPathsFollowKrHome()
{
    QTemporaryDir dir;
    qputenv("KR_HOME", dir.path().toUtf8());
    InitAppglob();
    QCOMPARE(ProgramFolder(), dir.path() + "/");
    QCOMPARE(IniFilePath(), dir.path() + "/kr.ini");
    QCOMPARE(HelpFilePath(), dir.path() + "/kr.hlp");
    QCOMPARE(FactorsFilePath(), dir.path() + "/Factors.dat");
    QCOMPARE(AddedFilePath(), dir.path() + "/Added.dat");
    Settings s;
    s.RightMargin = 33;
    WriteSettings(s);
    QCOMPARE(ReadSettings().RightMargin, 33);
    QVERIFY(QFile::exists(dir.filePath("kr.ini")));

    qunsetenv("KR_HOME");
    InitAppglob();
    QCOMPARE(ProgramFolder(), QCoreApplication::applicationDirPath() + "/");
}

void TestProfile::writeRefusalNamesWhatMustNotBeReplaced_data()
{
    QTest::addColumn<QString>("target");   // in the program folder "home", or beside it
    QTest::addColumn<QString>("says");     // empty: may be written
    const QString own = QStringLiteral("is one of the program's own files (%1); nothing was written.");
    const QString notAFile = QStringLiteral("is not a regular file; nothing was written.");
    QTest::newRow("a file of the user's") << "mine.krx" << "";
    QTest::newRow("catalogue") << "home/Factors.dat" << own.arg("Factors.dat");
    QTest::newRow("catalogue by a symbolic link") << "catalogue-link" << own.arg("Factors.dat");
    QTest::newRow("catalogue by a hard link") << "catalogue-hard" << own.arg("Factors.dat");
    QTest::newRow("settings through a linked folder") << "home-link/kr.ini" << own.arg("kr.ini");
    QTest::newRow("wall-and-roof file, not there yet") << "home/wallroof.ini" << own.arg("wallroof.ini");
    QTest::newRow("user catalogue, not there yet") << "home/Added.dat" << own.arg("Added.dat");
    QTest::newRow("backup, not there yet") << "home/data9.bak" << own.arg("data9.bak");
    QTest::newRow("no tenth backup") << "home/data10.bak" << "";
    QTest::newRow("folder") << "home" << notAFile;
    QTest::newRow("named pipe") << "pipe" << notAFile;
    QTest::newRow("link to a device") << "zero-link" << notAFile;
}

void TestProfile::writeRefusalNamesWhatMustNotBeReplaced()
{
    QFETCH(QString, target);
    QFETCH(QString, says);
    QTemporaryDir dir;
    const QString home = dir.filePath("home");
    QVERIFY(QDir().mkdir(home));
    QVERIFY(writeFile(home + "/Factors.dat", "catalogue"));
    QVERIFY(writeFile(home + "/kr.ini", "[General]\r\n"));
    QVERIFY(QFile::link(home + "/Factors.dat", dir.filePath("catalogue-link")));
    QCOMPARE(::link(QFile::encodeName(home + "/Factors.dat").constData(),
                    QFile::encodeName(dir.filePath("catalogue-hard")).constData()), 0);
    QVERIFY(QFile::link(home, dir.filePath("home-link")));
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600), 0);
    QVERIFY(QFile::link("/dev/zero", dir.filePath("zero-link")));
    qputenv("KR_HOME", home.toUtf8());
    InitAppglob();
    const QString why = WriteRefusal(dir.filePath(target));
    qunsetenv("KR_HOME");
    InitAppglob();
    QCOMPARE(why, says.isEmpty() ? says : dir.filePath(target) + " " + says);
}

QTEST_GUILESS_MAIN(TestProfile)
#include "tst_profile.moc"
