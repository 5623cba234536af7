#include <QtTest>

#include "print/PrintJobs.h"
#include "print/ReportSetup.h"

using namespace kr;

class TestPrintJobs : public QObject {
    Q_OBJECT
private slots:
    void optionsMarkTheChosenFiles_data()
    {
        QTest::addColumn<bool>("all");
        QTest::addColumn<int>("current");
        QTest::addColumn<QList<int>>("marked");
        QList<int> every;
        for (int f = 1; f <= TFile::FileCount; ++f)
            every << f;
        QTest::newRow("all") << true << 3 << every;
        QTest::newRow("first") << false << 1 << QList<int>{1};
        QTest::newRow("middle") << false << 7 << QList<int>{7};
        QTest::newRow("last") << false << TFile::FileCount << QList<int>{TFile::FileCount};
        QTest::newRow("below") << false << 0 << QList<int>{};
        QTest::newRow("above") << false << TFile::FileCount + 1 << QList<int>{};
    }
    void optionsMarkTheChosenFiles()
    {
        QFETCH(bool, all);
        QFETCH(int, current);
        QFETCH(QList<int>, marked);
        TPageSetup page;
        page.leftMargin = 17;
        const TDataPrintOptions options = DataPrintOptionsFor(page, all, current, false);
        QList<int> got;
        for (int f = 1; f <= TFile::FileCount; ++f)
            if (options.marks[std::size_t(f - 1)])
                got << f;
        QCOMPARE(got, marked);
        QCOMPARE(options.leftMargin, 17);
        QVERIFY(!options.centigrade);
    }

    // The stored colour is 0x00BBGGRR; the report font's is 0xRRGGBB. Each
    // margin comes from its own setting.
    void pageSetupFromSettingsAndFont_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<unsigned>("rgb");
        QTest::newRow("red") << 0x0000FF << 0xFF0000u;
        QTest::newRow("blue") << 0xFF0000 << 0x0000FFu;
        QTest::newRow("three channels") << 0x123456 << 0x563412u;
        QTest::newRow("a system colour prints black") << -16777208 << 0u;
    }
    void pageSetupFromSettingsAndFont()
    {
        QFETCH(int, stored);
        QFETCH(unsigned, rgb);
        Settings settings;
        settings.TopMargin = 11;
        settings.RightMargin = 12;
        settings.BottomMargin = 13;
        settings.LeftMargin = 14;
        StoredFont font;
        font.Color = stored;
        const TPageSetup setup = PageSetupFrom(settings, font);
        QCOMPARE(setup.font.rgb, rgb);
        QCOMPARE(QList<int>({setup.topMargin, setup.rightMargin, setup.bottomMargin, setup.leftMargin}),
                 QList<int>({11, 12, 13, 14}));
    }

    void pdfNameBesideTheFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("pdf");
        QTest::newRow("never saved") << QByteArray(TFile::NoFileName) << "untitled.pdf";
        QTest::newRow("extension") << QByteArray("/d/site.krx") << "/d/site.pdf";
        QTest::newRow("dots") << QByteArray("/d/site.v2.lst") << "/d/site.v2.pdf";
        QTest::newRow("none") << QByteArray("/d/site") << "/d/site.pdf";
        QTest::newRow("utf-8") << QByteArray("/d/Caf\xC3\xA9.krx") << QStringView(u"/d/Caf\u00E9.pdf").toString();
    }
    void pdfNameBesideTheFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, pdf);
        QCOMPARE(PdfNameFor(file.toStdString(), QStringLiteral("untitled.pdf")), pdf);
    }
};

QTEST_GUILESS_MAIN(TestPrintJobs)
#include "tst_PrintJobs.moc"
