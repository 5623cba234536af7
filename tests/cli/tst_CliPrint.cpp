// kr-cli print and print-library: real PDF pages, read back with pdftotext;
// the first page of each is kept as a picture with the other screenshots.
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "CliRunner.h"
#include "core/Readings.h"
#include "core/Regional.h"
#include "tests/support/FullDocument.h"
#include "tests/support/TestFiles.h"

using namespace kr;
using kr::test::runCli;
using kr::test::runProgram;

class TestCliPrint : public QObject {
    Q_OBJECT
    QTemporaryDir home;
    QString path(const QString& name) const { return home.filePath(name); }

    QString pdfText(const QString& pdf)
    {
        const auto r = runProgram(QStringLiteral("pdftotext"), {"-layout", pdf, "-"});
        return r.status == 0 ? QString::fromUtf8(r.out) : QString();
    }

    // The first page as a PNG for a person to look at.
    void keepFirstPage(const QString& pdf, const QString& name)
    {
        const QString dir = qEnvironmentVariable("KR_BUILD_DIR") + QStringLiteral("/screenshots");
        QDir().mkpath(dir);
        runProgram(QStringLiteral("pdftoppm"), {"-png", "-r", "100", "-f", "1", "-l", "1", "-singlefile", pdf,
                                               dir + QLatin1Char('/') + name});
    }

private slots:
    void initTestCase()
    {
        QVERIFY(home.isValid());
        QVERIFY(QFile::copy(qEnvironmentVariable("KR_BUILD_DIR") + "/tools/Factors.dat", path("Factors.dat")));
        setRegional(RegionalSettings{});
    }

    // Every reading, the notes, one title and one footer per page.
    void dataPrintoutHoldsEveryReading()
    {
        TKRFile doc;
        test::fillFullDocument(doc);
        doc.SaveToFile(path("full.krx").toStdString());
        const auto r = runCli({"--home", home.path(), "print", path("full.krx"), "-o", path("full.pdf")});
        QVERIFY2(r.status == 0, r.err.constData());
        keepFirstPage(path("full.pdf"), QStringLiteral("print-data"));
        const QString text = pdfText(path("full.pdf"));
        QVERIFY(!text.isEmpty());

        const int pages = int(text.count(QStringLiteral("Varnel Kestrune")));
        QVERIFY2(pages >= 10, qPrintable(QString::number(pages)));
        for (int p = 1; p <= pages; ++p)
            QVERIFY2(text.contains(QRegularExpression(QStringLiteral("Page:%1\\n").arg(p))), qPrintable(QString::number(p)));
        QVERIFY(!text.contains(QStringLiteral("Page:%1\n").arg(pages + 1)));
        for (int f = 1; f <= TFile::FileCount; ++f)
            for (int r = 1; r <= TSubFile::RecordCount; ++r) {
                const TReading& reading = doc.GetReading(f, r);
                const QString line = QStringLiteral("%1 +%2 +%3 +%4 +%5 +%6 +%7")
                                         .arg(f).arg(r)
                                         .arg(QRegularExpression::escape(QString::fromStdString(reading.GetDateTimeText())))
                                         .arg(QString::fromStdString(reading.GetTemperatureText(true)))
                                         .arg(QString::fromStdString(reading.GetSpecies()))
                                         .arg(QString::fromStdString(reading.GetSGText()))
                                         .arg(QRegularExpression::escape(QString::fromStdString(reading.GetMoistureText())));
                QVERIFY2(text.contains(QRegularExpression(line)), qPrintable(line));
            }
        QVERIFY(text.contains(QStringLiteral("Note line 80: moisture")));
    }

    // One meter file in Fahrenheit; margins from kr.ini that leave no room are refused without a file.
    void oneFileAndRefusedMargins()
    {
        TKRFile doc;
        test::fillFullDocument(doc, 0);
        doc.SaveToFile(path("one.krx").toStdString());
        auto r = runCli({"--home", home.path(), "print", path("one.krx"), "--file", "3", "--fahrenheit", "-o",
                         path("one.pdf")});
        QCOMPARE(r.status, 0);
        const QString text = pdfText(path("one.pdf"));
        QVERIFY(text.contains(QStringLiteral("Room 3")) && !text.contains(QStringLiteral("Room 4")));
        QVERIFY(text.contains(u"\u00B0F"));

        QVERIFY(test::writeFile(path("kr.ini"), "[Printing]\r\nTopMargin=150\r\nBottomMargin=140\r\n"));
        r = runCli({"--home", home.path(), "print", path("one.krx"), "-o", path("refused.pdf")});
        QFile::remove(path("kr.ini"));
        QCOMPARE(r.status, 4);
        QVERIFY2(r.errText().contains(QStringLiteral("top margin of 150 mm")), qPrintable(r.errText()));
        QVERIFY(!QFile::exists(path("refused.pdf")));
    }

    // Margins that would leave the pages without a readable line: exit 4, the message, no file.
    void marginsWithoutRoomAreRefused_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("margin");
        QTest::addColumn<QString>("said");
        QTest::newRow("negative top") << "print" << QByteArray("TopMargin=-1000") << "A top margin of -1000 mm";
        QTest::newRow("left beyond A4") << "print" << QByteArray("LeftMargin=200") << "a left margin of 200 mm";
        QTest::newRow("left overflowing the conversion")
            << "print" << QByteArray("LeftMargin=2147483647") << "a left margin of 2147483647 mm";
        QTest::newRow("library, top beyond A4")
            << "print-library" << QByteArray("TopMargin=297") << "no room for the species with a top margin of 297 mm";
    }
    void marginsWithoutRoomAreRefused()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, margin);
        QFETCH(QString, said);
        TKRFile doc;
        test::fillFullDocument(doc, 0);
        doc.SaveToFile(path("margins.krx").toStdString());
        QVERIFY(test::writeFile(path("margins.lst"), "HN000010\r\n"));
        QVERIFY(test::writeFile(path("kr.ini"), "[Printing]\r\n" + margin.toStdString() + "\r\n"));
        const QString input = path(command == "print" ? "margins.krx" : "margins.lst");
        const auto r = runCli({"--home", home.path(), command, input, "-o", path("margins.pdf")});
        QFile::remove(path("kr.ini"));
        QCOMPARE(r.status, 4);
        QVERIFY2(r.errText().contains(said), qPrintable(r.errText()));
        QVERIFY(!QFile::exists(path("margins.pdf")));
    }

    void libraryPrintout()
    {
        QVERIFY(test::writeFile(path("lib.lst"), "HN000010\r\nZZ999999\r\nHN000050\r\n"));
        const auto r = runCli({"--home", home.path(), "print-library", path("lib.lst"), "-o", path("lib.pdf")});
        QVERIFY2(r.status == 0, r.err.constData());
        keepFirstPage(path("lib.pdf"), QStringLiteral("print-library"));
        const QString text = pdfText(path("lib.pdf"));
        QVERIFY2(text.contains(QRegularExpression(QStringLiteral("Red Alder +0\\.37\\n\\n +Oregon Ash +0\\.50"))),
                 qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("Kestrune Library")));
        QVERIFY(text.contains(QDir::toNativeSeparators(path("lib.lst"))) && text.contains(QStringLiteral("Page:1")));
    }
};

QTEST_GUILESS_MAIN(TestCliPrint)
#include "tst_CliPrint.moc"
