#include <QtTest>

#include "print/PrintJobs.h"

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
