#include <QMimeData>
#include <QtTest>

#include "core/Readings.h"
#include "core/Regional.h"
#include "mainwindow/MainText.h"
#include "platform/Text.h"

using namespace kr;

class TestMainText : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setRegional(RegionalSettings{}); }

    // The box shows the lines without the last line's end, and gives back as
    // many lines as it shows.
    void notesBoxHoldsTheDocumentLines_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("none") << QByteArray() << QString() << QStringList();
        QTest::newRow("one") << QByteArray("a\r\n") << "a" << QStringList{"a"};
        QTest::newRow("empty last") << QByteArray("a\r\n\r\n") << "a\n" << QStringList{"a", ""};
        QTest::newRow("two") << QByteArray("a\r\nb\r\n") << "a\nb" << QStringList{"a", "b"};
        QTest::newRow("1252") << QByteArray("Caf\xE9\r\n") << QStringView(u"Caf\u00E9").toString()
                              << QStringList{QStringView(u"Caf\u00E9").toString()};
    }
    void notesBoxHoldsTheDocumentLines()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, box);
        QFETCH(QStringList, lines);
        QCOMPARE(NotesBoxText(stored.toStdString()), box);
        QStringList back;
        for (const std::string& line : NotesFromBox(box))
            back << fromCp1252(line);
        QCOMPARE(back, lines);
    }

    void noteLineNamesTheScale_data()
    {
        QTest::addColumn<bool>("centigrade");
        QTest::addColumn<QString>("line");
        QTest::newRow("C") << true << "Moisture Content 12.3   recorded on 04/03/2001 10:15:00  at 21\u00B0C";
        QTest::newRow("F") << false << "Moisture Content 12.3   recorded on 04/03/2001 10:15:00  at 70\u00B0F";
    }
    void noteLineNamesTheScale()
    {
        QFETCH(bool, centigrade);
        QFETCH(QString, line);
        TReading reading;
        reading.SetSpecies("Oak");
        reading.SetMoisture(12.3L);
        reading.SetTemperature(21);
        reading.SetDateTime(ComposeDateTime(EncodeDate(2001, 3, 4), EncodeTime(10, 15, 0, 0)));
        QCOMPARE(fromCp1252(ReadingNoteLine(reading, centigrade)), line);
    }

    void exportFormatFromNameAndFilter_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("filter");
        QTest::addColumn<bool>("json");
        QTest::newRow("csv name") << "a.csv" << 0 << false;
        QTest::newRow("json name, csv filter") << "a.JSON" << 0 << true;
        QTest::newRow("csv name, json filter") << "a.Csv" << 1 << false;
        QTest::newRow("other name, json filter") << "a.txt" << 1 << true;
        QTest::newRow("other name, csv filter") << "a" << 0 << false;
    }
    void exportFormatFromNameAndFilter()
    {
        QFETCH(QString, path);
        QFETCH(int, filter);
        QFETCH(bool, json);
        QCOMPARE(ExportsJson(path, filter), json);
    }

    void dropTakesOneLocalFile_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QString>("file");
        const QUrl local = QUrl::fromLocalFile(QStringLiteral("/d/a.krx"));
        QTest::newRow("one") << QList<QUrl>{local} << "/d/a.krx";
        QTest::newRow("none") << QList<QUrl>{} << QString();
        QTest::newRow("two") << QList<QUrl>{local, local} << QString();
        QTest::newRow("remote") << QList<QUrl>{QUrl(QStringLiteral("https://x.org/a.krx"))} << QString();
    }
    void dropTakesOneLocalFile()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(QString, file);
        QMimeData data;
        data.setUrls(urls);
        QCOMPARE(droppedFile(&data), file);
    }
};

QTEST_GUILESS_MAIN(TestMainText)
#include "tst_MainText.moc"
