// kr-cli's options: each is taken by its commands and refused by the others,
// and the manual lists them as the parser knows them.
#include <QFile>
#include <QTest>

#include "tools/cli/CliArgs.h"

using namespace kr::cli;

class TestCliOptions : public QObject {
    Q_OBJECT

private slots:
    void optionAppliesOnlyToItsCommands_data();
    void optionAppliesOnlyToItsCommands();
    void manualListsTheOptionsOfTheParser();
};

namespace {

// Every command line that names a command, with the arguments it needs to get
// as far as the options' check.
const QList<QStringList> CommandLines = {
    {"download"}, {"erase"}, {"serial"}, {"export", "F"}, {"show", "F"}, {"convert", "F"},
    {"import-lines", "F"}, {"library"}, {"library", "get"}, {"library", "put", "F"}, {"library", "show", "F"},
    {"print", "F"}, {"print-library", "F"}, {"ports"}, {"stats", "F"},
    {"archive"}, {"archive", "import", "F"}, {"archive", "list"}, {"archive", "readings"}, {"archive", "export", "7"},
    {"archive", "remove", "7"}, {"archive", "job"}, {"archive", "job", "add", "F"}, {"archive", "job", "assign", "F", "7"},
    {"archive", "job", "list"}, {"archive", "job", "remove", "F"},
};

} // namespace

void TestCliOptions::optionAppliesOnlyToItsCommands_data()
{
    QTest::addColumn<QStringList>("option");
    QTest::addColumn<QStringList>("takenBy");   // the command lines' first words; empty: all
    const QStringList all;
    const QStringList writers = {"download", "convert", "import-lines", "library get", "print", "print-library",
                                 "archive readings", "archive export"};
    const QStringList searches = {"archive list", "archive readings"};
    const QStringList notPorts = {"download", "erase", "serial", "export", "show", "convert", "import-lines",
                                  "library", "library get", "library put", "library show", "print",
                                  "print-library", "stats", "archive", "archive import", "archive list",
                                  "archive readings", "archive export", "archive remove", "archive job",
                                  "archive job add", "archive job assign", "archive job list",
                                  "archive job remove"};
    QTest::newRow("-o") << QStringList{"-o", "x"} << writers;
    QTest::newRow("--output") << QStringList{"--output=x"} << writers;
    QTest::newRow("--yes") << QStringList{"--yes"}
                           << QStringList{"erase", "library put", "archive remove", "archive job remove"};
    QTest::newRow("--nd") << QStringList{"--nd"} << QStringList{"library put"};
    QTest::newRow("--partial") << QStringList{"--partial"} << QStringList{"download"};
    QTest::newRow("--probe") << QStringList{"--probe"} << QStringList{"ports"};
    QTest::newRow("--port") << QStringList{"--port", "3"} << notPorts;
    QTest::newRow("--device") << QStringList{"--device", "/dev/null"} << notPorts;
    QTest::newRow("--home") << QStringList{"--home", "/tmp"} << all;
    QTest::newRow("--fahrenheit") << QStringList{"--fahrenheit"}
                                  << QStringList{"export", "show", "print", "archive readings"};
    QTest::newRow("--encoding") << QStringList{"--encoding", "cp1252"} << QStringList{"export"};
    QTest::newRow("--file") << QStringList{"--file", "2"} << QStringList{"show", "print", "stats", "archive job assign"};
    QTest::newRow("--range") << QStringList{"--range", "6-9"} << QStringList{"stats"};
    QTest::newRow("--json") << QStringList{"--json"}
                            << QStringList{"stats", "archive list", "archive readings", "archive job list"};
    QTest::newRow("--csv") << QStringList{"--csv"} << QStringList{"archive readings"};
    QTest::newRow("--job") << QStringList{"--job", "J"} << searches;
    QTest::newRow("--site") << QStringList{"--site", "S"} << searches + QStringList{"archive job add"};
    QTest::newRow("--client") << QStringList{"--client", "C"} << QStringList{"archive job add"};
    QTest::newRow("--notes") << QStringList{"--notes", "N"} << QStringList{"archive job add"};
    QTest::newRow("--meter") << QStringList{"--meter", "123"} << searches;
    QTest::newRow("--species") << QStringList{"--species", "oak"} << searches;
    QTest::newRow("--since") << QStringList{"--since", "2026-03-05"} << searches;
    QTest::newRow("--until") << QStringList{"--until", "2026-03-05"} << searches;
    QTest::newRow("--mc") << QStringList{"--mc", "8-12"} << searches;
    QTest::newRow("--text") << QStringList{"--text", "T"} << searches;
    QTest::newRow("--to") << QStringList{"--to", "csv"} << QStringList{"convert"};
}

void TestCliOptions::optionAppliesOnlyToItsCommands()
{
    QFETCH(QStringList, option);
    QFETCH(QStringList, takenBy);
    for (const QStringList& line : CommandLines) {
        const ParseResult parsed = parseArguments(line + option);
        const QString command = commandName(parsed.invocation.command);
        const bool refused = parsed.error.contains("does not apply to");
        QVERIFY2(refused == !(takenBy.isEmpty() || takenBy.contains(command)),
                 qPrintable(command + ": " + (parsed.ok() ? QStringLiteral("taken") : parsed.error)));
        if (refused)
            QCOMPARE(parsed.error, QStringLiteral("option %1 does not apply to %2")
                                       .arg(option.first().section('=', 0, 0).replace("--output", "-o"), command));
    }
}

void TestCliOptions::manualListsTheOptionsOfTheParser()
{
    QFile file(QStringLiteral(KR_CLI_MANUAL));
    QVERIFY2(file.open(QIODevice::ReadOnly), KR_CLI_MANUAL);
    const QString manual = QString::fromUtf8(file.readAll());
    const QString heading = QStringLiteral("\n.SH OPTIONS\n");
    const qsizetype start = manual.indexOf(heading);
    QVERIFY2(start >= 0, "no OPTIONS section");
    const qsizetype end = manual.indexOf(QStringLiteral("\n.SH "), start + 1);
    const QString section = manual.mid(start + heading.size(), end + 1 - start - heading.size());
    const QString expected = manualOptions();
    if (section != expected)
        qInfo().noquote() << "The OPTIONS section of" << KR_CLI_MANUAL << "should read:\n" + expected;
    QCOMPARE(section.split('\n'), expected.split('\n'));
}

QTEST_GUILESS_MAIN(TestCliOptions)
#include "tst_CliOptions.moc"
