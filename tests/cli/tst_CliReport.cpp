// The inspection report of a job made over three days of downloads from the
// simulated meter, read back with pdftotext; its pages are kept as pictures.
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "CliRunner.h"
#include "core/Readings.h"
#include "core/Regional.h"
#include "platform/Text.h"
#include "tests/support/SimMeter.h"
#include "tests/support/TestFiles.h"

using namespace kr;
using kr::test::CliResult;
using kr::test::runCli;
using kr::test::runProgram;

namespace {

// The meter on day `day` (5, 6, 8 March): the subfloor in meter file 1 drying
// towards the boards in meter file 2.
QByteArray meterOn(int day, double subfloor, double boards)
{
    QByteArray text = "serial KR-100200\n";
    for (int i = 0; i < 31; ++i)
        text += "species |" + ("Species " + QByteArray::number(i + 10)).leftJustified(13) + " 50|\n";
    for (int i = 0; i < 7; ++i)
        text += "wallroof |" + ("Roof " + QByteArray::number(i + 1)).leftJustified(13) + " 3" + QByteArray::number(i) + "|\n";
    const QByteArray date = "2026-03-0" + QByteArray::number(day);
    for (int r = 1; r <= 4; ++r) {
        const QByteArray time = " 09:1" + QByteArray::number(r) + " 20 |Red Oak      | 63 ";
        text += "reading 1 " + QByteArray::number(r) + " " + date + time + QByteArray::number(subfloor + 0.2 * r, 'f', 1) + "\n";
        text += "reading 2 " + QByteArray::number(r) + " " + date + time + QByteArray::number(boards + 0.1 * r, 'f', 1) + "\n";
    }
    return text;
}

} // namespace

class TestCliReport : public QObject {
    Q_OBJECT
    QTemporaryDir home;
    QString path(const QString& name) const { return home.filePath(name); }
    CliResult cli(const QStringList& args) const { return runCli(QStringList{"--home", home.path()} + args); }

    QString pdfText(const QString& pdf)
    {
        const auto r = runProgram(QStringLiteral("pdftotext"), {"-layout", pdf, "-"});
        return r.status == 0 ? QString::fromUtf8(r.out) : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(home.isValid());
        setRegional(RegionalSettings{});
    }

    void jobReportFollowsTheWoodOverDays()
    {
        QVERIFY(cli({"archive", "job", "add", "Smith house", "--site", "12 Elm Street", "--client", "J. Smith"}).status
                == 0);
        int id = 0;
        for (const auto& [day, subfloor, boards] : {std::tuple{5, 14.0, 9.0}, {6, 11.0, 9.2}, {8, 10.4, 9.4}}) {
            test::SimMeter sim(test::SimMeter::Options{}.state(meterOn(day, subfloor, boards)));
            QVERIFY2(sim.start(), qPrintable(sim.errorString()));
            const QString file = path(QStringLiteral("day%1.krx").arg(day));
            const CliResult download = cli({"--device", sim.devicePath(), "download", "-o", file, "--archive"});
            QVERIFY2(download.status == 0, download.err.constData());
            // The inspector names the locations in the window; the meter has no names.
            TKRFile doc;
            doc.LoadFromFile(toNativePath(file));
            doc.SetComment(1, "Subfloor");
            doc.SetComment(2, "Boards");
            doc.SetNote(1, 1, "by the back door");
            doc.SaveToFile(toNativePath(file));
            QCOMPARE(cli({"archive", "import", file}).status, 0);
            id += 2;  // the download, then the file saved from it
            QCOMPARE(cli({"archive", "job", "assign", "Smith house", QString::number(id)}).status, 0);
        }
        QCOMPARE(cli({"archive", "job", "conditions", "Smith house", "--temp", "18", "--rh", "60", "--date",
                      "2026-03-05T09:00"})
                     .status,
                 0);
        QCOMPARE(cli({"archive", "job", "conditions", "Smith house", "--temp", "21", "--rh", "50", "--date",
                      "2026-03-08T09:00", "--note", "heating on"})
                     .status,
                 0);

        // The inspector from the setup, the firm's name from its template.
        QVERIFY(test::writeFile(path("kr.ini"), "[Report]\r\nInspector=A. Inspector\r\n"));
        QVERIFY(test::writeFile(path("report.txt"), "# ours\nCompany: Oak & Ash Surveys\nAddress: 1 Mill Lane | Leeds\nColour: red\n"));
        const CliResult report = cli({"report", "--job", "smith house", "-o", path("smith.pdf")});
        QVERIFY2(report.status == 0, report.err.constData());
        QVERIFY2(report.errText().contains(QStringLiteral("line 4: no key \"Colour\"")), report.err.constData());
        const QString text = pdfText(path("smith.pdf"));
        for (const char* expected :
             {"Moisture inspection report", "Smith house", "12 Elm Street", "J. Smith", "A. Inspector", "Oak & Ash Surveys", "Leeds",
              "Target 7.2-11.2 % from 21 \u00b0C, 50 % RH (EMC 9.2 %)", "Site conditions", "heating on", "Subfloor",
              "Boards", "Comparisons", "by the back door", "Page 1 of "})
            QVERIFY2(text.contains(QString::fromUtf8(expected)), expected);
        const qsizetype pages = text.count(QStringLiteral("Page "));
        QVERIFY(text.contains(QStringLiteral("Page %1 of %1").arg(pages)));
        // The boards held steady in the band over two days; the subfloor moved 0.6 points.
        QVERIFY(text.contains(QStringLiteral("Subfloor: not yet stable")) || text.contains(QStringLiteral("moved 0.6")));
        QVERIFY(text.contains(QStringLiteral("Stable: ")));

        const QString dir = qEnvironmentVariable("KR_BUILD_DIR") + QStringLiteral("/screenshots");
        QDir().mkpath(dir);
        runProgram(QStringLiteral("pdftoppm"), {"-png", "-r", "80", path("smith.pdf"), dir + "/report"});

        // One data file, without a job: its meter files are the locations. The
        // template as shipped reads without a word and brands nothing.
        QVERIFY(QFile::remove(path("report.txt")));
        QVERIFY(QFile::copy(QStringLiteral(KR_REPORT_TEMPLATE), path("report.txt")));
        const CliResult file = cli({"report", path("day5.krx"), "-o", path("day5.pdf")});
        QVERIFY2(file.status == 0 && !file.errText().contains(QStringLiteral("report.txt")), file.err.constData());
        const QString one = pdfText(path("day5.pdf"));
        QVERIFY(one.contains(QStringLiteral("day5.krx")));
        QVERIFY(one.contains(QStringLiteral("Target 6.0-9.0 %")));
        QVERIFY(one.contains(QStringLiteral("Page 1 of ")));

        QCOMPARE(cli({"report", "--job", "Nobody", "-o", path("x.pdf")}).status, 3);
        QVERIFY(!QFile::exists(path("x.pdf")));
    }
};

QTEST_GUILESS_MAIN(TestCliReport)
#include "tst_CliReport.moc"
