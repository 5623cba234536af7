#include <QtTest>

#include "core/Readings.h"
#include "core/Regional.h"
#include "print/DataPrint.h"
#include "tests/support/RecordingSurface.h"

using namespace kr;
using namespace kr::test;

namespace {

// 8 points at 600 dpi on the recording surface: lines of 66, letters of 6.
constexpr int H = 66;
constexpr int Top = 236;
constexpr int HeaderBottom = Top + 150;

void put(TFile& doc, int f, int r, const char* species = "Oak")
{
    TReading& reading = doc.GetReading(f, r);
    reading.SetSpecies(species);
    reading.SetMoisture(12.5L);
    reading.SetTemperature(20);
    reading.SetDateTime(ComposeDateTime(EncodeDate(2026, 3, 5), EncodeTime(14, 7, 0, 0)));
}

TDataPrintOptions only(std::initializer_list<int> files)
{
    TDataPrintOptions o;
    for (int f : files)
        o.marks[std::size_t(f - 1)] = true;
    return o;
}

// The y of every text drawn with exactly this content.
QList<int> ysOf(const RecordingSurface& s, const QString& text)
{
    QList<int> ys;
    for (const auto& c : s.texts())
        if (c.text == text)
            ys << c.y;
    return ys;
}

int pages(const RecordingSurface& s)
{
    int n = 1;
    for (const auto& c : s.calls)
        n += c.kind == RecordingSurface::Call::Page;
    return n;
}

} // namespace

class TestDataPrint : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setRegional(RegionalSettings{}); }

    void columnsFollowTheTemplateTexts()
    {
        RecordingSurface s;
        const TDataColumns c = DataColumns(s, 236);
        QCOMPARE(QList<int>({c.file, c.rec, c.date, c.temp, c.species, c.sg, c.mc, c.notes}),
                 QList<int>({260, 302, 320, 506, 518, 626, 668, 680}));
    }

    void fullFileTakes28Lines()
    {
        TKRFile doc;
        doc.SetComment(1, "North room");
        for (int r = 1; r <= 25; ++r)
            put(doc, 1, r);
        RecordingSurface s;
        QVERIFY(PrintData(s, doc, only({1})));
        QCOMPARE(ysOf(s, "North room"), QList<int>{HeaderBottom + H});
        QCOMPARE(ysOf(s, "Rec."), QList<int>{HeaderBottom + 2 * H});
        QCOMPARE(ysOf(s, "25").last(), HeaderBottom + 27 * H);
        QCOMPARE(pages(s), 1);
        QVERIFY(ysOf(s, "Species").size() == 1);
    }

    void fullPageGoesOnWithSlotsLeft()
    {
        TKRFile doc;
        for (int r = 1; r <= 25; ++r)
            put(doc, 2, r);
        doc.SetNotes({"last words"});
        RecordingSurface s;
        s.pageHeight = 1500;   // readings stop at 1500 - 236 - 4 lines = 1000
        QVERIFY(PrintData(s, doc, only({2})));
        int readings = 0;
        for (const auto& c : s.texts()) {
            QVERIFY2(c.text.contains("Page:") || c.y < 1000 || c.y == 1500 - 236, qPrintable(c.text));
            readings += c.text == QLatin1String("Oak");
        }
        QCOMPARE(readings, 25);
        QCOMPARE(ysOf(s, "Rec.").size(), 1);
        // 7, 10 and 8 readings; the notes find no room three lines below the
        // last one and go to a fourth page. Every page has its footer.
        QCOMPARE(pages(s), 4);
        QCOMPARE(ysOf(s, "None").size(), 4);
        QCOMPARE(ysOf(s, "last words"), QList<int>{HeaderBottom});
    }

    void currentFileHeadsItsFirstPrintedReading()
    {
        TKRFile doc;
        doc.SetComment(3, "Stairs");
        put(doc, 3, 2);
        put(doc, 3, 3);
        put(doc, 4, 1);
        RecordingSurface s;
        QVERIFY(PrintData(s, doc, only({3})));
        QCOMPARE(ysOf(s, "Stairs"), QList<int>{HeaderBottom + H});
        QCOMPARE(ysOf(s, "File"), QList<int>{HeaderBottom + 2 * H});
        QCOMPARE(ysOf(s, "Oak").size(), 2);
    }

    void notesStopAboveTheBottomMargin()
    {
        TKRFile doc;
        std::vector<std::string> notes(120, "a line of notes");
        doc.SetNotes(notes);
        TDataPrintOptions o = only({});
        o.bottomMargin = 40;   // 945 pixels
        RecordingSurface s;
        QVERIFY(PrintData(s, doc, o));
        const QList<int> ys = ysOf(s, "a line of notes");
        QCOMPARE(ys.size(), 120);
        for (int y : ys)
            QVERIFY2(y < 6600 - 945 - 4 * H, qPrintable(QString::number(y)));
        QCOMPARE(ys.first(), HeaderBottom + 3 * H);
    }

    void fahrenheitTitleAndTemperatures()
    {
        TKRFile doc;
        put(doc, 1, 1);
        TDataPrintOptions o = only({1});
        o.centigrade = false;
        RecordingSurface s;
        QVERIFY(PrintData(s, doc, o));
        QCOMPARE(ysOf(s, QStringLiteral("\u00B0F")).size(), 1);
        QCOMPARE(ysOf(s, "68").size(), 1);
    }

    // The page must hold the header and four lines between the margins. Where
    // that room is exactly met no line would ever fit, so it is refused; one
    // pixel more and each reading goes on a page of its own.
    void roomForFourLinesAtItsBoundary_data()
    {
        QTest::addColumn<int>("pageHeight");
        QTest::addColumn<bool>("prints");
        const int exactlyMet = 236 + 236 + 150 + 4 * H;
        QTest::newRow("exactly met") << exactlyMet << false;
        QTest::newRow("one pixel more") << exactlyMet + 1 << true;
    }
    void roomForFourLinesAtItsBoundary()
    {
        QFETCH(int, pageHeight);
        QFETCH(bool, prints);
        TKRFile doc;
        for (int r = 1; r <= 3; ++r)
            put(doc, 1, r);
        RecordingSurface s;
        s.pageHeight = pageHeight;
        try {
            QCOMPARE(PrintData(s, doc, only({1})), prints);
        } catch (const RecordingSurface::TooManyPages& e) {
            QFAIL(e.what());
        }
        QCOMPARE(int(ysOf(s, "Oak").size()), prints ? 3 : 0);
        const auto why = DataPrintRefusal(s, only({1}));
        QCOMPARE(why.value_or(QString()).contains("a top margin of 10 mm and a bottom margin of 10 mm"), !prints);
    }

    void marginsWithoutRoomPrintNothing()
    {
        TKRFile doc;
        put(doc, 1, 1);
        TDataPrintOptions o = only({1});
        o.topMargin = 200;
        o.bottomMargin = 200;
        RecordingSurface s;
        const auto why = DataPrintRefusal(s, o);
        QVERIFY(why);
        QVERIFY(why->contains("200 mm"));
        QVERIFY(!PrintData(s, doc, o));
        QVERIFY(s.calls.isEmpty());
    }
};

QTEST_MAIN(TestDataPrint)
#include "tst_DataPrint.moc"
