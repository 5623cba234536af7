// The simulated meter's own rules, without a terminal: state file, record lines,
// command recognition, fault options and how faults change a reply.
#include <QtTest>

#include <set>

#include "tools/sim/CommandReader.h"
#include "tools/sim/Faults.h"
#include "tools/sim/MeterState.h"
#include "tools/sim/Replies.h"
#include "tools/sim/SimOptions.h"

using namespace kr::sim;

namespace {

std::string validStateWith(const std::string& extra)
{
    MeterState s = emptyState();
    return formatState(s) + extra;
}

std::vector<Fault> faults(std::initializer_list<const char*> faultTexts)
{
    std::vector<Fault> list;
    for (const char* faultText : faultTexts) {
        std::string error;
        auto f = parseFault(faultText, error);
        if (!f)
            qFatal("bad fault %s: %s", faultText, error.c_str());
        list.push_back(*f);
    }
    return list;
}

QList<QByteArray> splitAfterCr(const std::string& bytes)
{
    QList<QByteArray> lines;
    QByteArray current;
    for (char c : bytes) {
        current += c;
        if (c == '\r') {
            lines << current;
            current.clear();
        }
    }
    if (!current.isEmpty())
        lines << current;
    return lines;
}

} // namespace

class TestSimLogic : public QObject {
    Q_OBJECT

private slots:
    void recordLineFollowsMeterColumns_data();
    void recordLineFollowsMeterColumns();
    void sampleIsRealisticAndStable();
    void stateFileRoundTripsEveryByte();
    void badStateFileNamesTheLine_data();
    void badStateFileNamesTheLine();
    void stateFileAcceptsWindowsLineEnds();
    void uploadReplacesLibraryOnlyWhenComplete();
    void commandsRecognisedWithoutTerminator_data();
    void commandsRecognisedWithoutTerminator();
    void uploadMayCarryCommandCharacters();
    void abandonedUploadForgetsItsBytes();
    void faultSpecs_data();
    void faultSpecs();
    void repliesHaveEchoAndCountedLines();
    void faultsChangeTheReply();
    void pausesAndDrop();
    void optionsParse();
};

void TestSimLogic::recordLineFollowsMeterColumns_data()
{
    QTest::addColumn<int>("temperature");
    QTest::addColumn<QString>("species");
    QTest::addColumn<QString>("moisture");
    QTest::addColumn<int>("year");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("wood") << 20 << "Red Oak" << "12.5" << 2026
                          << QByteArray("03 07 05-Mar-26 14:09 20 Red Oak        63 12.5");
    QTest::newRow("one-digit temperature") << 7 << "Jarrah" << "16.0" << 2026
                                           << QByteArray("03 07 05-Mar-26 14:09  7 Jarrah         63 16.0");
    QTest::newRow("below zero") << -3 << "Scots Pine" << "18.5" << 1999
                                << QByteArray("03 07 05-Mar-99 14:09 -3 Scots Pine     63 18.5");
    QTest::newRow("reference scale, no point") << 18 << "Drywall" << "45" << 2097
                                               << QByteArray("03 07 05-Mar-97 14:09 18 Drywall        63 45");
    QTest::newRow("13-character name") << 21 << "Southern Pine" << "9.1" << 2026
                                       << QByteArray("03 07 05-Mar-26 14:09 21 Southern Pine  63 9.1");
}

void TestSimLogic::recordLineFollowsMeterColumns()
{
    QFETCH(int, temperature);
    QFETCH(QString, species);
    QFETCH(QString, moisture);
    QFETCH(int, year);
    QFETCH(QByteArray, expected);
    SimReading r;
    r.file = 3;
    r.record = 7;
    r.year = year;
    r.month = 3;
    r.day = 5;
    r.hour = 14;
    r.minute = 9;
    r.temperature = temperature;
    r.species = species.toStdString();
    r.sg = 63;
    r.moisture = moisture.toStdString();
    const QByteArray line = QByteArray::fromStdString(recordLine(r));
    QCOMPARE(line, expected);
    // The columns a reader takes (1-based): file 1-2, record 4-5, day 7-8, month 10-12,
    // year 14-15, hour 17-18, minute 20-21, temperature 23-24, species 26-38, SG 41-42,
    // moisture from 44.
    QCOMPARE(line.mid(0, 2), QByteArray("03"));
    QCOMPARE(line.mid(3, 2), QByteArray("07"));
    QCOMPARE(line.mid(9, 3), QByteArray("Mar"));
    QCOMPARE(line.mid(25, 13).trimmed(), species.toLatin1());
    QCOMPARE(line.mid(40, 2), QByteArray("63"));
    QCOMPARE(line.mid(43), moisture.toLatin1());
}

void TestSimLogic::sampleIsRealisticAndStable()
{
    const MeterState s = sampleState();
    QCOMPARE(formatState(s), formatState(sampleState()));
    QCOMPARE(s.species.size(), std::size_t(31));
    QCOMPARE(s.wallRoof.size(), std::size_t(7));
    QCOMPARE(s.wallRoof.front(), std::string("Set User SG   50"));
    QVERIFY(s.readings.size() >= 20);

    std::set<std::string> library;
    for (const std::string& e : s.species) {
        QCOMPARE(e.size(), std::size_t(16));
        library.insert(e.substr(0, 13));
    }
    std::set<std::string> referenceScale;
    for (const std::string& e : s.wallRoof)
        referenceScale.insert(e.substr(0, 13));
    std::set<int> files;
    int withPoint = 0;
    for (const SimReading& r : s.readings) {
        files.insert(r.file);
        const bool wood = r.moisture.find('.') != std::string::npos;
        withPoint += wood;
        QVERIFY2((wood ? library : referenceScale).count(r.species), r.species.c_str());
        const double mc = std::stod(r.moisture);
        QVERIFY2(mc >= 5 && mc <= 60, r.moisture.c_str());
        QVERIFY(r.sg > 20 && r.sg < 100);
    }
    QVERIFY(files.size() >= 4);
    QVERIFY(withPoint > 0 && withPoint < int(s.readings.size()));
    // Readings come out in meter order, numbered from 1 in each file without gaps.
    for (std::size_t i = 1; i < s.readings.size(); ++i) {
        const SimReading& a = s.readings[i - 1];
        const SimReading& b = s.readings[i];
        QVERIFY(a.file < b.file || (a.file == b.file && b.record == a.record + 1));
    }
}

void TestSimLogic::stateFileRoundTripsEveryByte()
{
    MeterState s = sampleState();
    // An upload may carry anything: control bytes, bars, backslashes, Windows-1252 letters.
    std::string odd = "Eb\xE8ne|\\ \r\n\t\x01 ";
    odd.resize(13, '_');
    s.species[4] = odd + std::string("\x00" "7" "\x00", 3);
    s.serial = "SN 00\xB0" "1";
    std::string error;
    auto back = parseState(formatState(s), error);
    QVERIFY2(back, error.c_str());
    QCOMPARE(back->species, s.species);
    QCOMPARE(back->wallRoof, s.wallRoof);
    QCOMPARE(back->serial, s.serial);
    QCOMPARE(formatState(*back), formatState(s));
    // Nothing raw between the bars would break a line.
    const std::string text = formatState(s);
    QVERIFY(text.find('\r') == std::string::npos);
    QVERIFY(text.find('\0') == std::string::npos);
}

void TestSimLogic::badStateFileNamesTheLine_data()
{
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<QString>("message");

    const QByteArray ok = "reading 1 1 2026-03-05 14:07 20 |Red Oak| 63 12.5\n";
    QTest::newRow("file 26") << QByteArray("reading 26 1 2026-03-05 14:07 20 |Red Oak| 63 12.5\n")
                             << "meter file number";
    QTest::newRow("record 0") << QByteArray("reading 1 0 2026-03-05 14:07 20 |Red Oak| 63 12.5\n")
                              << "record number";
    QTest::newRow("30 February") << QByteArray("reading 1 1 2026-02-30 14:07 20 |Red Oak| 63 12.5\n")
                                 << "no such date";
    QTest::newRow("year 2098") << QByteArray("reading 1 1 2098-01-01 14:07 20 |Red Oak| 63 12.5\n")
                               << "1998 and 2097";
    QTest::newRow("24 o'clock") << QByteArray("reading 1 1 2026-03-05 24:00 20 |Red Oak| 63 12.5\n")
                                << "HH:MM";
    QTest::newRow("too hot") << QByteArray("reading 1 1 2026-03-05 14:07 100 |Red Oak| 63 12.5\n")
                             << "temperature";
    QTest::newRow("long species") << QByteArray("reading 1 1 2026-03-05 14:07 20 |Red Oak Quartersawn| 63 12.5\n")
                                  << "1 to 13 characters";
    QTest::newRow("unclosed bar") << QByteArray("reading 1 1 2026-03-05 14:07 20 |Red Oak 63 12.5\n")
                                  << "between bars";
    QTest::newRow("SG 100") << QByteArray("reading 1 1 2026-03-05 14:07 20 |Red Oak| 100 12.5\n") << "SG";
    QTest::newRow("comma moisture") << QByteArray("reading 1 1 2026-03-05 14:07 20 |Red Oak| 63 12,5\n")
                                    << "moisture";
    QTest::newRow("two points") << QByteArray("reading 1 1 2026-03-05 14:07 20 |Red Oak| 63 1.2.5\n")
                                << "moisture";
    QTest::newRow("trailing words") << QByteArray("reading 1 1 2026-03-05 14:07 20 |Red Oak| 63 12.5 x\n")
                                    << "after the moisture";
    QTest::newRow("slot twice") << ok + ok << "already used on line";
    QTest::newRow("unknown") << QByteArray("battery 80\n") << "unknown entry 'battery'";
    QTest::newRow("species 15 wide") << QByteArray("species |Red Oak      63|\n") << "exactly 16";
    QTest::newRow("32 species") << QByteArray("species |Red Oak       63|\n") << "more than 31";
    QTest::newRow("bad escape") << QByteArray("wallroof |Brick\\q        25|\n") << "between bars";
    QTest::newRow("second serial") << QByteArray("serial 1\n") << "twice";
    QTest::newRow("zero byte") << QByteArray("reading 1 1 2026-03-05 14:07 20 |Red") + '\0' + QByteArray("Oak| 63 12.5\n")
                               << "zero byte";
}

void TestSimLogic::badStateFileNamesTheLine()
{
    QFETCH(QByteArray, extra);
    QFETCH(QString, message);
    const std::string text = validStateWith(extra.toStdString());
    const int badLine = int(std::count(text.begin(), text.end(), '\n'));
    std::string error;
    QVERIFY(!parseState(text, error));
    QVERIFY2(QString::fromStdString(error).contains(message), error.c_str());
    QVERIFY2(QString::fromStdString(error).startsWith(QStringLiteral("line %1:").arg(badLine)), error.c_str());
}

void TestSimLogic::stateFileAcceptsWindowsLineEnds()
{
    std::string text = formatState(sampleState());
    std::string crlf;
    for (char c : text) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    std::string error;
    auto s = parseState(crlf, error);
    QVERIFY2(s, error.c_str());
    QCOMPARE(formatState(*s), text);

    std::string noLibrary = "serial 1\nreading 1 1 2026-03-05 14:07 20 |Red Oak| 63 12.5\n";
    QVERIFY(!parseState(noLibrary, error));
    QVERIFY(QString::fromStdString(error).contains(QLatin1String("31 species")));
    QVERIFY(!parseState("# nothing\n", error));
    QVERIFY(QString::fromStdString(error).contains(QLatin1String("serial")));
}

void TestSimLogic::uploadReplacesLibraryOnlyWhenComplete()
{
    MeterState s = emptyState();
    const auto before = s.species;
    QVERIFY(!s.applyUpload(std::string(607, 'x')));
    QCOMPARE(s.species, before);

    std::string upload;
    for (int i = 0; i < 31; ++i)
        upload += libraryEntry("Species " + std::to_string(i + 1), 40 + i);
    for (int i = 0; i < 7; ++i)
        upload += libraryEntry("Material " + std::to_string(i + 1), 20 + i);
    QCOMPARE(upload.size(), std::size_t(608));
    QVERIFY(s.applyUpload(upload));
    QCOMPARE(s.species.front(), std::string("Species 1     40"));
    QCOMPARE(s.species.back(), std::string("Species 31    70"));
    QCOMPARE(s.wallRoof.back(), std::string("Material 7    26"));
}

void TestSimLogic::commandsRecognisedWithoutTerminator_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("commands");

    QTest::newRow("each") << QByteArray("$3$4$5$2$*#") << "$3 $4 $5 $2 $*#";
    QTest::newRow("stray around") << QByteArray("xx\r\n$3 junk$5") << "$3 $5";
    QTest::newRow("doubled dollar") << QByteArray("$$3") << "$3";
    QTest::newRow("unknown digit") << QByteArray("$7$1$3") << "$3";
    QTest::newRow("broken erase") << QByteArray("$*x#$*$*#") << "$*#";
    QTest::newRow("hash alone") << QByteArray("#*$#") << "";
    QTest::newRow("carriage return ignored") << QByteArray("$3\r") << "$3";
}

void TestSimLogic::commandsRecognisedWithoutTerminator()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, commands);
    CommandReader reader;
    QStringList seen;
    for (char c : bytes)
        if (auto r = reader.feed(c))
            seen << QString::fromLatin1(commandText(r->command));
    QCOMPARE(seen.join(QLatin1Char(' ')), commands);
}

void TestSimLogic::uploadMayCarryCommandCharacters()
{
    CommandReader reader;
    std::string payload;
    while (payload.size() < 608)
        payload += "$3$*#$2\r";
    payload.resize(608);
    std::string stream = "$6" + payload + "$5";
    std::vector<CommandReader::Received> got;
    for (char c : stream) {
        if (auto r = reader.feed(c))
            got.push_back(*r);
        if (got.empty())
            QVERIFY(reader.collectingUpload() || c == '$');
    }
    QCOMPARE(got.size(), std::size_t(2));
    QCOMPARE(got[0].command, Command::Upload);
    QCOMPARE(got[0].upload, payload);
    QCOMPARE(got[1].command, Command::Serial);
}

void TestSimLogic::abandonedUploadForgetsItsBytes()
{
    CommandReader reader;
    for (char c : std::string("$6abc"))
        reader.feed(c);
    QVERIFY(reader.collectingUpload());
    QCOMPARE(reader.uploadReceived(), std::size_t(3));
    QCOMPARE(reader.abandonUpload(), std::size_t(3));
    QVERIFY(!reader.collectingUpload());
    // The next command is read normally, not as the rest of the upload.
    auto r = reader.feed('$');
    QVERIFY(!r);
    r = reader.feed('3');
    QVERIFY(r && r->command == Command::Summary);
}

void TestSimLogic::faultSpecs_data()
{
    QTest::addColumn<QString>("faultText");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("scope");

    QTest::newRow("silent") << "silent" << true << 0 << 0 << "2345*6";
    QTest::newRow("gap default") << "gap" << true << 600 << 1 << "2345*6";
    QTest::newRow("gap ms") << "gap=750" << true << 750 << 1 << "2345*6";
    QTest::newRow("gap ms line") << "gap=550:3@4" << true << 550 << 3 << "4";
    QTest::newRow("gap before reply") << "gap=700:0" << true << 700 << 0 << "2345*6";
    QTest::newRow("trickle") << "trickle" << true << 450 << 0 << "2345*6";
    QTest::newRow("nul line") << "nul=3@5" << true << 3 << 0 << "5";
    QTest::newRow("garble defaults to records") << "garble" << true << 2 << 0 << "4";
    QTest::newRow("short library") << "short-library=5" << true << 5 << 0 << "2";
    QTest::newRow("drop after") << "drop-after=120" << true << 120 << 0 << "2345*6";
    QTest::newRow("drop at once") << "drop-after=0@3" << true << 0 << 0 << "3";
    QTest::newRow("more lines") << "more-lines=2" << true << 2 << 0 << "4";
    QTest::newRow("fewer lines") << "fewer-lines" << true << 3 << 0 << "4";
    QTest::newRow("serial refused") << "serial-refused" << true << 0 << 0 << "5";
    QTest::newRow("erase and upload keys") << "crlf@*6" << true << 0 << 0 << "*6";
    QTest::newRow("unknown") << "brownout" << false << 0 << 0 << "";
    QTest::newRow("value on flag") << "crlf=2" << false << 0 << 0 << "";
    QTest::newRow("negative") << "gap=-5" << false << 0 << 0 << "";
    QTest::newRow("not a number") << "drop-after=lots" << false << 0 << 0 << "";
    QTest::newRow("line 0 for nul") << "nul=0" << false << 0 << 0 << "";
    QTest::newRow("empty scope") << "silent@" << false << 0 << 0 << "";
    QTest::newRow("bad scope") << "silent@7" << false << 0 << 0 << "";
    QTest::newRow("huge pause") << "trickle=99999" << false << 0 << 0 << "";
}

void TestSimLogic::faultSpecs()
{
    QFETCH(QString, faultText);
    QFETCH(bool, valid);
    std::string error;
    auto f = parseFault(faultText.toStdString(), error);
    QCOMPARE(bool(f), valid);
    if (!valid) {
        QVERIFY(!error.empty());
        return;
    }
    QTEST(f->value, "value");
    QTEST(f->line, "line");
    QTEST(QString::fromStdString(f->scope), "scope");
}

void TestSimLogic::repliesHaveEchoAndCountedLines()
{
    const MeterState s = sampleState();
    auto summary = replyLines(Command::Summary, s);
    QCOMPARE(summary.front(), std::string("$3"));
    QCOMPARE(summary.size(), std::size_t(26));
    int total = 0;
    for (std::size_t i = 1; i < summary.size(); ++i)
        total += std::stoi(summary[i].substr(3, 2));
    QCOMPARE(total, int(s.readings.size()));

    auto records = replyLines(Command::Records, s);
    QCOMPARE(records.front(), std::string("$4"));
    QCOMPARE(records.size(), s.readings.size() + 1);
    QCOMPARE(records[1], recordLine(s.readings.front()));

    auto library = replyLines(Command::Library, s);
    QCOMPARE(library.size(), std::size_t(39));
    for (std::size_t i = 1; i < library.size(); ++i)
        QCOMPARE(library[i].size(), std::size_t(16));

    QCOMPARE(replyLines(Command::Serial, s), (std::vector<std::string>{"$5", "KR-417263"}));
    QCOMPARE(replyLines(Command::Erase, s), std::vector<std::string>{"$*#"});
    QCOMPARE(replyLines(Command::Upload, s), std::vector<std::string>{"$6"});

    // An erased meter still answers the summary, with nothing to count.
    auto empty = replyLines(Command::Summary, emptyState());
    for (std::size_t i = 1; i < empty.size(); ++i)
        QCOMPARE(empty[i].substr(3, 2), std::string("00"));
}

void TestSimLogic::faultsChangeTheReply()
{
    const MeterState s = sampleState();
    const std::size_t records = s.readings.size();
    auto lines = [&](Command c, const std::vector<Fault>& f) { return splitAfterCr(buildReply(c, s, f, 0).bytes()); };

    QCOMPARE(lines(Command::Serial, {}), (QList<QByteArray>{"$5\r", "KR-417263\r"}));
    QVERIFY(buildReply(Command::Records, s, faults({"silent"}), 0).bytes().empty());
    QVERIFY(buildReply(Command::Erase, s, faults({"silent"}), 0).bytes().empty());
    QVERIFY(buildReply(Command::Serial, s, faults({"silent@4"}), 0).size() > 0);

    const std::string noCr = buildReply(Command::Summary, s, faults({"no-cr"}), 0).bytes();
    QVERIFY(noCr.find('\r') == std::string::npos);
    QVERIFY(noCr.rfind("$301:", 0) == 0);

    const auto crlf = lines(Command::Serial, faults({"crlf"}));
    QCOMPARE(crlf, (QList<QByteArray>{"$5\r", "\nKR-417263\r", "\n"}));

    const auto nul = lines(Command::Serial, faults({"nul"}));
    QCOMPARE(nul.size(), 2);
    QCOMPARE(nul[1], QByteArray("KR-4\0" "17263\r", 11));

    const auto garbled = lines(Command::Records, faults({"garble"}));
    QCOMPARE(garbled.size(), int(records) + 1);
    QVERIFY(garbled[1].startsWith("#\xB0"));
    QCOMPARE(garbled[1].mid(9, 3), QByteArray("\xA7x~"));
    QCOMPARE(garbled[2], QByteArray::fromStdString(recordLine(s.readings[1]) + "\r"));
    // Garbling is for the records; the summary stays readable.
    QCOMPARE(lines(Command::Summary, faults({"garble"}))[1], QByteArray("01:12\r"));

    QCOMPARE(lines(Command::Library, faults({"short-library"})).size(), 20);
    QCOMPARE(lines(Command::Library, faults({"short-library=0"})).size(), 0);
    QCOMPARE(lines(Command::Records, faults({"more-lines=2"})).size(), int(records) + 3);
    QCOMPARE(lines(Command::Records, faults({"more-lines=2"})).last(),
             QByteArray::fromStdString(recordLine(s.readings[1]) + "\r"));
    QCOMPARE(lines(Command::Records, faults({"fewer-lines=5"})).size(), int(records) - 4);
    QCOMPARE(lines(Command::Records, faults({"fewer-lines=999"})).size(), 1);

    const auto refused = lines(Command::Serial, faults({"serial-refused"}));
    QCOMPARE(refused, (QList<QByteArray>{"ERR\r", "KR-417263\r"}));
    // The same kind given twice for one command: the last one counts.
    QCOMPARE(lines(Command::Library, faults({"short-library=5", "short-library=7"})).size(), 7);
}

void TestSimLogic::pausesAndDrop()
{
    const MeterState s = sampleState();
    Transmission plain = buildReply(Command::Summary, s, {}, 0);
    QCOMPARE(plain.segments.size(), std::size_t(1));
    QCOMPARE(plain.segments[0].pauseMs, 0);
    QVERIFY(!plain.dropAfter);
    QVERIFY(plain.notes.empty());

    Transmission late = buildReply(Command::Summary, s, {}, 250);
    QCOMPARE(late.segments.front().pauseMs, 250);

    Transmission gap = buildReply(Command::Summary, s, faults({"gap"}), 0);
    QCOMPARE(gap.segments.size(), std::size_t(2));
    QCOMPARE(gap.segments[0].bytes, std::string("$3\r"));
    QCOMPARE(gap.segments[1].pauseMs, 600);

    Transmission gap2 = buildReply(Command::Summary, s, faults({"gap=510:3"}), 40);
    QCOMPARE(gap2.segments.size(), std::size_t(2));
    QCOMPARE(gap2.segments[0].pauseMs, 40);
    QCOMPARE(gap2.segments[0].bytes, std::string("$3\r01:12\r02:09\r"));
    QCOMPARE(gap2.segments[1].pauseMs, 510);

    Transmission before = buildReply(Command::Serial, s, faults({"gap=700:0"}), 0);
    QCOMPARE(before.segments.size(), std::size_t(1));
    QCOMPARE(before.segments[0].pauseMs, 700);

    Transmission trickle = buildReply(Command::Serial, s, faults({"trickle=480"}), 0);
    QCOMPARE(trickle.segments.size(), std::size_t(2));
    QCOMPARE(trickle.segments[1].pauseMs, 480);
    QCOMPARE(trickle.bytes(), std::string("$5\rKR-417263\r"));
    // At a pace of 2 ms a character the 10 characters of the serial line take 20 ms
    // of the interval; a line longer than the interval follows without a pause.
    Transmission paced = buildReply(Command::Serial, s, faults({"trickle=480"}), 0, 2.0);
    QCOMPARE(paced.segments.at(1).pauseMs, 460);
    Transmission tooLong = buildReply(Command::Records, s, faults({"trickle=50"}), 0, 2.0);
    QCOMPARE(tooLong.segments.size(), std::size_t(1));

    Transmission drop = buildReply(Command::Records, s, faults({"drop-after=120"}), 0);
    QCOMPARE(drop.dropAfter.value_or(0), std::size_t(120));
    // A reply shorter than the drop point goes out whole.
    QVERIFY(!buildReply(Command::Serial, s, faults({"drop-after=120"}), 0).dropAfter);
    QVERIFY(buildReply(Command::Serial, s, faults({"drop-after=0"}), 0).dropAfter);
}

void TestSimLogic::optionsParse()
{
    std::string error;
    auto o = parseOptions({"--state", "a.txt", "--fast", "--fault", "gap=600@4", "--fault=silent@5",
                           "--log=l.txt", "--link", "/tmp/kr1", "--latency", "30", "--init", "empty", "--reset",
                           "--watch-stdin"},
                          error);
    QVERIFY2(o, error.c_str());
    QCOMPARE(o->statePath, std::string("a.txt"));
    QCOMPARE(o->logPath, std::string("l.txt"));
    QCOMPARE(o->linkPath, std::string("/tmp/kr1"));
    QVERIFY(o->fast && o->reset && o->initEmpty && o->watchStdin);
    QCOMPARE(o->latencyMs, 30);
    QCOMPARE(o->faults.size(), std::size_t(2));

    const std::vector<std::vector<std::string>> bad = {
        {"--state"}, {"--fault", "nope"}, {"--latency", "-1"}, {"--latency", "1x"},
        {"--init", "full"}, {"--fast=yes"}, {"--colour"}, {"--log", ""},
    };
    for (const auto& args : bad) {
        error.clear();
        QVERIFY2(!parseOptions(args, error), args.front().c_str());
        QVERIFY(!error.empty());
    }
    // Every fault in the help has a sentence, and the help tells the state format.
    const std::string help = helpText();
    for (const char* name : {"silent", "no-cr", "gap", "trickle", "crlf", "nul", "garble", "short-library",
                             "drop-after", "more-lines", "fewer-lines", "serial-refused"})
        QVERIFY2(help.find(std::string("  ") + name) != std::string::npos, name);
    QVERIFY(help.find("reading FILE REC") != std::string::npos);
}

QTEST_APPLESS_MAIN(TestSimLogic)
#include "tst_SimLogic.moc"
