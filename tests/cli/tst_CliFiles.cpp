// kr-cli on data files: export, show, convert, import-lines, usage and help.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

#include "CliRunner.h"
#include "core/Cp1252.h"
#include "core/Readings.h"
#include "core/Regional.h"
#include "tests/support/TestFiles.h"

using namespace kr;
using kr::test::readFile;
using kr::test::runCli;
using kr::test::writeFile;

namespace {

TDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return ComposeDateTime(EncodeDate(y, mo, d), EncodeTime(h, mi, s, 0));
}

std::string cp(const char* utf8) { return utf8ToCp1252(utf8); }

void setReading(TFile& doc, int f, int r, const std::string& species, int sgApplies, long double sg,
                long double moisture, int temperature, TDateTime when, const std::string& note = {})
{
    TReading& reading = doc.GetReading(f, r);
    reading.SetSpecies(species);
    reading.SetSGApplies(sgApplies);
    reading.SetSG(sg);
    reading.SetMoisture(moisture);
    reading.SetTemperature(temperature);
    reading.SetDateTime(when);
    doc.SetNote(f, r, note);
}

// A document that touches the export's corners: Windows-1252 texts, a
// midnight time, no SG, a tab in a note, a file with only a comment,
// empty and non-ASCII notes lines.
void fillSample(TFile& doc)
{
    doc.Clear();
    doc.SetDateStamp(at(2026, 3, 5, 8, 9, 10));
    doc.SetComment(1, cp("Kiln 3 \xE2\x80\x93 north"));
    setReading(doc, 1, 1, "OAK          ", 1, 0.55L, 12.5L, 20, at(2026, 3, 5, 14, 7));
    setReading(doc, 1, 3, cp("\xC3\x89pic\xC3\xA9" "a"), 0, 0.4L, 45, -7, at(2026, 3, 6),
               "wet, \"very\"");
    doc.SetComment(2, "only a comment");
    setReading(doc, 4, 25, "Ash", 1, 0.5L, 8.25L, 1, at(1999, 12, 31, 23, 59, 58), "line\tend");
    doc.SetNotes({"first note", "", cp("\xE2\x82\xAC 5, \"quoted\"")});
}

// The clipboard text of the sample after a save and reload, °C: trailing
// spaces of the species are gone.
const char* const SampleExportC =
    "08:09:10 05/03/2026\r\n"
    "01\tKiln 3 \xE2\x80\x93 north\r\n"
    "File\tRecord\tDate/Time\t\xC2\xB0" "C\tSpecies\tSG\tMoisture\tNotes\r\n"
    "01\t01\t05/03/2026 14:07:00\t20\tOAK\t0.55\t12.5\t\r\n"
    "01\t03\t06/03/2026\t-7\t\xC3\x89pic\xC3\xA9" "a\t\t45.0\twet, \"very\"\r\n"
    " \r\n"
    "04\t\r\n"
    "File\tRecord\tDate/Time\t\xC2\xB0" "C\tSpecies\tSG\tMoisture\tNotes\r\n"
    "04\t25\t31/12/1999 23:59:58\t1\tAsh\t0.50\t8.3\tline\tend\r\n"
    " \r\n"
    "first note\r\n"
    "\r\n"
    "\xE2\x82\xAC 5, \"quoted\"\r\n";

// A small reader for RFC 4180 text: quoted fields, doubled quotes, CR LF rows.
QList<QStringList> readCsv(const QByteArray& bytes, QString* error)
{
    const QString text = QString::fromUtf8(bytes);
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false, wasQuoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text.at(i + 1) == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            if (!field.isEmpty() || wasQuoted) {
                *error = QStringLiteral("stray quote at %1").arg(i);
                return {};
            }
            quoted = wasQuoted = true;
        } else if (c == ',') {
            row << field;
            field.clear();
            wasQuoted = false;
        } else if (c == '\r') {
            if (i + 1 >= text.size() || text.at(i + 1) != '\n') {
                *error = QStringLiteral("bare CR at %1").arg(i);
                return {};
            }
            ++i;
            row << field;
            rows << row;
            row.clear();
            field.clear();
            wasQuoted = false;
        } else if (c == '\n') {
            *error = QStringLiteral("bare LF at %1").arg(i);
            return {};
        } else {
            field += c;
        }
    }
    if (quoted)
        *error = QStringLiteral("unterminated quote");
    else if (!field.isEmpty() || !row.isEmpty())
        *error = QStringLiteral("last row without CR LF");
    return rows;
}

QString utf8(const std::string& cp1252) { return QString::fromStdString(cp1252ToUtf8(cp1252)); }

QString species(const TReading& reading)
{
    std::string s = reading.GetSpecies();
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return utf8(s);
}

QString iso(TDateTime value)
{
    int y, mo, d, h, mi, s, ms;
    DecodeDate(value, y, mo, d);
    DecodeTime(value, h, mi, s, ms);
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d", y, mo, d, h, mi, s);
}

// One meter record line as the meter sends it, ending in CR.
QByteArray meterLine(int file, int rec, const char* when, int temp, const char* species, int sg100,
                     const char* moisture)
{
    return QString::asprintf("%02d %02d %s %2d %-13s  %02d %s\r", file, rec, when, temp, species, sg100,
                                moisture)
        .toLatin1();
}

} // namespace

class TestCliFiles : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString sample;      // the sample saved with "." separators
    QString komma;       // the same saved with "," separators
    TKRFile doc;         // the sample as loaded back

    QString path(const QString& name) const { return dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY2(QFile::exists(kr::test::cliExecutable()), qPrintable(kr::test::cliExecutable()));
        setRegional(RegionalSettings{});
        TKRFile made;
        fillSample(made);
        sample = path("sample.krx");
        made.SaveToFile(sample.toStdString());
        doc.LoadFromFile(sample.toStdString());
        setRegional(RegionalSettings{.decimalSeparator = ','});
        komma = path("komma.krx");
        made.SaveToFile(komma.toStdString());
        setRegional(RegionalSettings{});

        // A program folder of its own, and outputs that are not the commands' to replace.
        QVERIFY(QDir().mkpath(path("home")));
        QVERIFY(writeFile(path("home/Factors.dat"), "the catalogue\r\n"));
        QCOMPARE(::mkfifo(QFile::encodeName(path("pipe")).constData(), 0600), 0);
        QVERIFY(QFile::link(path("pipe"), path("pipe-link")));
        QCOMPARE(::link(QFile::encodeName(path("home/Factors.dat")).constData(),
                        QFile::encodeName(path("catalogue")).constData()), 0);
    }

    void exitStatusOfUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        const QString f = QStringLiteral("x.krx");
        QTest::newRow("nothing") << QStringList{} << 1 << "no command";
        QTest::newRow("unknown command") << QStringList{"fetch"} << 1 << "unknown command 'fetch'";
        QTest::newRow("unknown option") << QStringList{"show", f, "--colour"} << 1 << "unknown option";
        QTest::newRow("export without file") << QStringList{"export"} << 1 << "export needs a file name";
        QTest::newRow("two files") << QStringList{"show", f, f} << 1 << "unexpected argument";
        QTest::newRow("convert without --to") << QStringList{"convert", f} << 1 << "--to csv";
        QTest::newRow("convert to xml") << QStringList{"convert", f, "--to", "xml"} << 1 << "csv or json";
        QTest::newRow("download without -o") << QStringList{"download"} << 1 << "-o FILE";
        QTest::newRow("import-lines without -o") << QStringList{"import-lines", f} << 1 << "-o FILE";
        QTest::newRow("-o without value") << QStringList{"download", "-o"} << 1 << "needs a value";
        QTest::newRow("port 0") << QStringList{"--port", "0", "serial"} << 1 << "from 1 to 50";
        QTest::newRow("port 51") << QStringList{"--port=51", "serial"} << 1 << "from 1 to 50";
        QTest::newRow("port text") << QStringList{"--port", "COM1", "serial"} << 1 << "from 1 to 50";
        QTest::newRow("port and device") << QStringList{"--port", "2", "--device", "/dev/null", "serial"} << 1
                                         << "not both";
        QTest::newRow("file 26") << QStringList{"show", f, "--file", "26"} << 1 << "1 to 25";
        QTest::newRow("file 0") << QStringList{"show", f, "--file", "0"} << 1 << "1 to 25";
        QTest::newRow("encoding latin9") << QStringList{"export", f, "--encoding", "latin9"} << 1
                                         << "utf-8 or cp1252";
        QTest::newRow("--yes on show") << QStringList{"show", f, "--yes"} << 1 << "does not apply to show";
        QTest::newRow("--yes=1") << QStringList{"erase", "--yes=1"} << 1 << "takes no value";
        QTest::newRow("--file on export") << QStringList{"export", f, "--file", "2"} << 1
                                          << "does not apply to export";
        QTest::newRow("-o on serial") << QStringList{"serial", "-o", f} << 1 << "does not apply to serial";
        for (const char* c : {"download", "import-lines x.lines", "library get"})
            QTest::addRow("%s to standard output", c)
                << (QString(c).split(' ') + QStringList{"-o", "-"}) << 1 << "not standard output";
        QTest::newRow("home missing") << QStringList{"--home", "/nonexistent/kr", "show", f} << 3
                                      << "does not exist";
    }
    void exitStatusOfUsage()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, says);
        const auto r = runCli(args);
        QCOMPARE(r.status, status);
        QVERIFY2(r.errText().contains(says), qPrintable(r.errText()));
        QVERIFY(r.out.isEmpty());
    }

    void helpOnTheCommandAndEachSubcommand_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("says");
        QTest::newRow("--help") << QStringList{"--help"} << "COMMAND [ARGS]";
        QTest::newRow("-h") << QStringList{"-h"} << "COMMAND [ARGS]";
        QTest::newRow("help") << QStringList{"help"} << "COMMAND [ARGS]";
        QTest::newRow("help export") << QStringList{"help", "export"} << "kr-cli export FILE";
        for (const char* c : {"download", "erase", "serial", "export", "show", "convert", "import-lines"})
            QTest::newRow(c) << QStringList{c, "--help"} << QStringLiteral(" %1").arg(c);
        QTest::newRow("help despite errors") << QStringList{"convert", "--to", "xml", "--help"}
                                             << "kr-cli convert FILE";
        QTest::newRow("help after global") << QStringList{"--port", "3", "erase", "-h"} << "erase --yes";
    }
    void helpOnTheCommandAndEachSubcommand()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        const auto r = runCli(args);
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.startsWith("Usage: kr-cli"));
        QVERIFY2(QString::fromUtf8(r.out).contains(says), r.out.constData());
        QVERIFY(r.err.isEmpty());
    }

    void exportIsTheClipboardTextByteForByte()
    {
        const auto r = runCli({"export", sample});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray(SampleExportC));
        QVERIFY(r.err.isEmpty());
        // The core's joined export is what the window program puts on the clipboard.
        QCOMPARE(r.out, QByteArray::fromStdString(cp1252ToUtf8(ExportClipboardText(doc, true))));
    }

    void exportEncodingAndScale_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("centigrade");
        QTest::addColumn<bool>("cp1252");
        QTest::newRow("utf-8 named") << QStringList{"--encoding", "utf-8"} << true << false;
        QTest::newRow("cp1252 C") << QStringList{"--encoding=cp1252"} << true << true;
        QTest::newRow("utf-8 F") << QStringList{"--fahrenheit"} << false << false;
        QTest::newRow("cp1252 F") << QStringList{"--fahrenheit", "--encoding", "cp1252"} << false << true;
    }
    void exportEncodingAndScale()
    {
        QFETCH(QStringList, options);
        QFETCH(bool, centigrade);
        QFETCH(bool, cp1252);
        const auto r = runCli(QStringList{"export", sample} + options);
        QCOMPARE(r.status, 0);
        const std::string bytes = ExportClipboardText(doc, centigrade);
        QCOMPARE(r.out, QByteArray::fromStdString(cp1252 ? bytes : cp1252ToUtf8(bytes)));
        QCOMPARE(r.out.contains(cp1252 ? "\xB0" "F" : "\xC2\xB0" "F"), !centigrade);
        if (!centigrade) {
            QVERIFY(r.out.contains("\t68\tOAK\t"));   // 20 °C
            QVERIFY(r.out.contains("\t19\t"));        // -7 °C
            QVERIFY(r.out.contains("\t34\tAsh\t"));   // 1 °C
        }
    }

    void exportFollowsTheRegionalSeparators()
    {
        const auto r = runCli({"export", komma}, {}, QStringLiteral("de_DE.UTF-8"));
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains("\t0,55\t12,5\t"), r.out.constData());
        QVERIFY(r.out.contains("\t0,50\t8,3\t"));
    }

    void unreadableFilesEndWithTheirMessage_data()
    {
        QTest::addColumn<QByteArray>("content");   // empty: no file at all
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << QByteArray() << "Cannot open file " + path("bad.krx") + ": it does not exist.";
        QTest::newRow("bad stamp") << QByteArray("yesterday at noon\r\n") << "is not a valid integer value";
        QTest::newRow("short") << QByteArray("08:09:10 05/03/2026\r\nF01  \r\n") << "List index out of bounds (2)";
        QTest::newRow("binary") << QByteArray("\x01\x02\xFF\xFE\x00garbage", 12) << "'?" "?' is not a valid integer value";
    }
    void unreadableFilesEndWithTheirMessage()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        const QString file = path("bad.krx");
        QFile::remove(file);
        if (!content.isEmpty())
            QVERIFY(writeFile(file, content));
        for (const QStringList& args : {QStringList{"export", file}, QStringList{"show", file},
                                        QStringList{"convert", file, "--to", "json"}}) {
            const auto r = runCli(args);
            QCOMPARE(r.status, 3);
            QVERIFY2(r.errText().contains(message), qPrintable(r.errText()));
            QVERIFY(r.out.isEmpty());
        }
    }

    void showListsMeterFilesWithReadings()
    {
        const auto r = runCli({"show", sample});
        QCOMPARE(r.status, 0);
        const QString text = QString::fromUtf8(r.out);
        QVERIFY2(text.contains(u"File 01  Kiln 3 \u2013 north"), qPrintable(text));
        QVERIFY(text.contains("File 04"));
        QVERIFY(!text.contains("File 02"));      // a comment alone is no readings
        QVERIFY(text.contains(u"\u00B0C"));
        QVERIFY(text.contains(QRegularExpression("01  05/03/2026 14:07:00  20  OAK +0.55 +12.5")));
        QVERIFY(text.contains(QRegularExpression(QStringView(u"03  06/03/2026 +-7  \u00C9pic\u00E9a +45.0  wet, \"very\"").toString())));
        QVERIFY(text.contains("line?end"));      // control characters do not reach the terminal
        QVERIFY(text.contains(u"Notes\n  first note\n  \n  \u20AC 5"));
    }

    void showOneMeterFile()
    {
        auto r = runCli({"show", sample, "--file", "4", "--fahrenheit"});
        QCOMPARE(r.status, 0);
        QString text = QString::fromUtf8(r.out);
        QVERIFY(text.contains("File 04"));
        QVERIFY(!text.contains("File 01"));
        QVERIFY(!text.contains("Notes"));
        QVERIFY(text.contains(u"\u00B0F"));
        QVERIFY(text.contains(QRegularExpression("25  31/12/1999 23:59:58  34  Ash +0.50 +8.3  line\\?end")));

        r = runCli({"show", sample, "--file=2"});
        QCOMPARE(r.status, 0);
        text = QString::fromUtf8(r.out);
        QVERIFY(text.contains("File 02  only a comment\nNo readings."));
    }

    void convertCsvReadsBackFieldByField()
    {
        const QString out = path("sample.csv");
        const auto r = runCli({"convert", komma, "--to", "csv", "-o", out}, {}, QStringLiteral("de_DE.UTF-8"));
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.isEmpty());
        QString error;
        const QList<QStringList> rows = readCsv(readFile(out), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(rows.value(0), (QStringList{"file", "record", "dateTime", "temperatureC", "species", "sg",
                                              "moisture", "note", "fileComment"}));
        int row = 1;
        for (int f = 1; f <= 25; ++f) {
            for (int rec = 1; rec <= 25; ++rec) {
                const TReading& reading = doc.GetReading(f, rec);
                if (!reading.IsUsed())
                    continue;
                QVERIFY(row < rows.size());
                const QStringList& fields = rows.at(row++);
                QCOMPARE(fields.size(), 9);
                QCOMPARE(fields[0].toInt(), f);
                QCOMPARE(fields[1].toInt(), rec);
                QCOMPARE(fields[2], iso(reading.GetDateTime()));
                QCOMPARE(fields[3].toInt(), reading.GetTemperature());
                QCOMPARE(fields[4], species(reading));
                if (reading.GetSGApplies())
                    QCOMPARE(fields[5].toDouble(), double(reading.GetSG()));
                else
                    QCOMPARE(fields[5], QString());
                bool ok = false;
                QCOMPARE(fields[6].toDouble(&ok), double(reading.GetMoisture()));
                QVERIFY2(ok, qPrintable(fields[6]));   // "." decimals even under a "," locale
                QCOMPARE(fields[7], utf8(reading.GetNote()));
                QCOMPARE(fields[8], utf8(doc.GetComment(f)));
            }
        }
        QCOMPARE(rows.size(), row);
        QCOMPARE(rows.at(1).at(2), QStringLiteral("2026-03-05T14:07:00"));
        QCOMPARE(rows.at(2).at(7), QStringLiteral("wet, \"very\""));
    }

    void convertJsonReadsBackFieldByField()
    {
        const auto r = runCli({"convert", sample, "--to", "json"});
        QCOMPARE(r.status, 0);
        QJsonParseError error;
        const QJsonDocument json = QJsonDocument::fromJson(r.out, &error);
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
        const QJsonObject root = json.object();
        QCOMPARE(root.value("dateStamp").toString(), QStringLiteral("2026-03-05T08:09:10"));
        QCOMPARE(root.value("notes").toArray().size(), 3);
        QCOMPARE(root.value("notes").toArray().at(2).toString(), QStringView(u"\u20AC 5, \"quoted\"").toString());
        const QJsonArray files = root.value("files").toArray();
        QCOMPARE(files.size(), 25);
        for (int f = 1; f <= 25; ++f) {
            const QJsonObject file = files.at(f - 1).toObject();
            QCOMPARE(file.value("number").toInt(), f);
            QCOMPARE(file.value("comment").toString(), utf8(doc.GetComment(f)));
            const QJsonArray readings = file.value("readings").toArray();
            qsizetype i = 0;
            for (int rec = 1; rec <= 25; ++rec) {
                const TReading& reading = doc.GetReading(f, rec);
                if (!reading.IsUsed())
                    continue;
                QVERIFY(i < readings.size());
                const QJsonObject o = readings.at(i++).toObject();
                QCOMPARE(o.value("record").toInt(), rec);
                QCOMPARE(o.value("dateTime").toString(), iso(reading.GetDateTime()));
                QCOMPARE(o.value("temperatureC").toInt(), reading.GetTemperature());
                QCOMPARE(o.value("species").toString(), species(reading));
                if (reading.GetSGApplies())
                    QCOMPARE(o.value("sg").toDouble(), double(reading.GetSG()));
                else
                    QVERIFY(o.value("sg").isNull());
                QCOMPARE(o.value("moisture").toDouble(), double(reading.GetMoisture()));
                QCOMPARE(o.value("note").toString(), utf8(reading.GetNote()));
            }
            QCOMPARE(readings.size(), i);
        }
    }

    void convertToAnUnwritablePlaceFails()
    {
        const QString out = path("no/such/folder/out.json");
        const auto r = runCli({"convert", sample, "--to", "json", "-o", out});
        QCOMPARE(r.status, 3);
        QVERIFY2(r.errText().contains("Cannot create file"), qPrintable(r.errText()));
        QVERIFY(!QFile::exists(out));
    }

    void importLinesThenExport()
    {
        QByteArray lines;
        lines += "$4\r\n";   // a captured echo line is too short to count
        lines += meterLine(2, 1, "05 Mar 26 14:07", 20, "OAK", 55, "12.5") + '\n';
        lines += meterLine(2, 2, "31 Dec 97 23:59", -3, "Douglas Fir", 45, "9") + '\n';
        lines += meterLine(7, 25, "01 Jan 98 00:00", 5, "Pine", 0, "101");   // lone CR ends it
        lines += meterLine(2, 2, "06 Mar 26 09:30", 18, "Larch", 60, "30.0") + '\n';   // later wins
        const QString in = path("captured.txt");
        const QString out = path("imported.krx");
        QVERIFY(writeFile(in, lines));
        auto r = runCli({"import-lines", in, "-o", out});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.err.isEmpty(), r.err.constData());

        r = runCli({"export", out});
        QCOMPARE(r.status, 0);
        const QList<QByteArray> got = r.out.split('\n');
        QCOMPARE(got.size(), 1 + 5 + 4 + 1);   // stamp, file 2 block, file 7 block, nothing after the last CR LF
        const QByteArray header = "File\tRecord\tDate/Time\t\xC2\xB0" "C\tSpecies\tSG\tMoisture\tNotes\r";
        QCOMPARE(got.at(1), QByteArray("02\t\r"));
        QCOMPARE(got.at(2), header);
        QCOMPARE(got.at(3), QByteArray("02\t01\t05/03/2026 14:07:00\t20\tOAK\t0.55\t12.5\t\r"));
        QCOMPARE(got.at(4), QByteArray("02\t02\t06/03/2026 09:30:00\t18\tLarch\t0.60\t30.0\t\r"));
        QCOMPARE(got.at(5), QByteArray(" \r"));
        QCOMPARE(got.at(6), QByteArray("07\t\r"));
        QCOMPARE(got.at(8), QByteArray("07\t25\t01/01/1998\t5\tPine\t\t101.0\t\r"));   // no "." : no SG
        QCOMPARE(got.at(9), QByteArray(" \r"));
    }

    void importLinesRefusesBadInputWithoutWriting_data()
    {
        QTest::addColumn<QByteArray>("lines");   // empty: no input file
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << QByteArray() << "Cannot open file " + path("bad-lines.txt") + ": it does not exist.";
        QTest::newRow("bad month") << meterLine(1, 1, "05 Xyz 26 14:07", 20, "OAK", 55, "12.5")
                                   << "Invalid argument to date encode";
        QTest::newRow("bad moisture") << meterLine(1, 1, "05 Mar 26 14:07", 20, "OAK", 55, "wet!")
                                      << "is not a valid floating point value";
        QTest::newRow("bad file number")
            << (meterLine(1, 1, "05 Mar 26 14:07", 20, "OAK", 55, "12.5") + "\nx1 01 05 Mar 26 14:07 20 OAK\r")
            << "is not a valid integer value";
    }
    void importLinesRefusesBadInputWithoutWriting()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QString, message);
        const QString in = path("bad-lines.txt");
        const QString out = path("never.krx");
        QFile::remove(in);
        if (!lines.isEmpty())
            QVERIFY(writeFile(in, lines));
        const auto r = runCli({"import-lines", in, "-o", out});
        QCOMPARE(r.status, 3);
        QVERIFY2(r.errText().contains(message), qPrintable(r.errText()));
        QVERIFY(!QFile::exists(out));
    }

    void importLinesIntoAnUnwritablePlaceFails()
    {
        const QString in = path("one-line.txt");
        QVERIFY(writeFile(in, meterLine(1, 1, "05 Mar 26 14:07", 20, "OAK", 55, "12.5")));
        const auto r = runCli({"import-lines", in, "-o", path("no/folder/x.krx")});
        QCOMPARE(r.status, 3);
        QVERIFY2(r.errText().contains("Cannot create file"), qPrintable(r.errText()));
    }

    void outputThatIsTheInputIsRefused_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("naming");   // how -o names the file being read
        for (const char* command : {"convert", "import-lines"})
            for (const char* naming : {"same name", "dotted path", "symbolic link", "hard link"})
                QTest::addRow("%s, %s", command, naming) << command << naming;
    }
    void outputThatIsTheInputIsRefused()
    {
        QFETCH(QString, command);
        QFETCH(QString, naming);
        const QString in = path("own-input");
        const QString alias = path("alias");
        QFile::remove(alias);
        const QByteArray before =
            command == "convert" ? readFile(sample) : meterLine(1, 1, "05 Mar 26 14:07", 20, "OAK", 55, "12.5");
        QVERIFY(writeFile(in, before));
        QString out = in;
        if (naming == "dotted path")
            out = dir.path() + "/./own-input";
        else if (naming == "symbolic link")
            QVERIFY(QFile::link(in, out = alias));
        else if (naming == "hard link")
            QCOMPARE(::link(QFile::encodeName(in).constData(), QFile::encodeName(out = alias).constData()), 0);
        QStringList args{command, in, "-o", out};
        if (command == "convert")
            args << "--to" << "csv";
        const auto r = runCli(args);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.errText().contains("is the file being read"), qPrintable(r.errText()));
        QCOMPARE(readFile(in), before);
    }

    // Neither a FIFO (here through a link) nor the catalogue (here by a hard
    // link) is replaced by an output; the meter is not even asked (exit 1, not 2).
    void outputsNeverReplaceWhatIsNotTheirs_data()
    {
        QTest::addColumn<QStringList>("command");   // -o OUT follows
        QTest::addColumn<QString>("target");
        const QString noDevice = path("no-device");
        for (const QStringList& command : QList<QStringList>{
                 {"convert", sample, "--to", "csv"}, {"import-lines", path("x.lines")}, {"print", sample},
                 {"print-library", path("x.lst")}, {"--device", noDevice, "download"},
                 {"--device", noDevice, "library", "get"}})
            for (const char* target : {"pipe-link", "catalogue"})
                QTest::addRow("%s, %s", qPrintable(command.at(command.at(0) == "--device" ? 2 : 0)), target)
                    << command << QString(target);
    }
    void outputsNeverReplaceWhatIsNotTheirs()
    {
        QFETCH(QStringList, command);
        QFETCH(QString, target);
        const auto r = runCli(QStringList{"--home", path("home")} + command + QStringList{"-o", path(target)});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.errText().contains(target == "catalogue" ? "one of the program's own files (Factors.dat)"
                                                            : "is not a regular file; nothing was written."),
                 qPrintable(r.errText()));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path("pipe")).constData(), &st), 0);
        QVERIFY(S_ISFIFO(st.st_mode));
        QCOMPARE(readFile(path("home/Factors.dat")), QByteArray("the catalogue\r\n"));
        QCOMPARE(QDir(path("home")).entryList(QDir::Files | QDir::Hidden), QStringList{"Factors.dat"});
    }

    void dashIsStandardOutput()
    {
        auto r = runCli({"convert", sample, "--to", "json", "-o", "-"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, runCli({"convert", sample, "--to", "json"}).out);
        r = runCli({"print", sample, "-o", "-"});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.startsWith("%PDF-"), r.out.left(40).constData());
        QVERIFY(!QFile::exists("-"));
    }
};

QTEST_GUILESS_MAIN(TestCliFiles)
#include "tst_CliFiles.moc"
