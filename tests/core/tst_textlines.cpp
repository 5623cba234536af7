#include <QByteArrayList>
#include <QTest>

#include "core/TextLines.h"
#include "tests/support/TestFiles.h"

using namespace kr;
using kr::test::bytes;

namespace {

std::string_view view(const QByteArray& b) { return std::string_view(b.constData(), std::size_t(b.size())); }

} // namespace

class TestTextLines : public QObject {
    Q_OBJECT

private slots:
    void linesEndAtCrLfLfOrLoneCrAndKeepEveryOtherByte_data();
    void linesEndAtCrLfLfOrLoneCrAndKeepEveryOtherByte();
};

void TestTextLines::linesEndAtCrLfLfOrLoneCrAndKeepEveryOtherByte_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QByteArrayList>("ends");
    using L = QByteArrayList;
    QTest::newRow("empty") << QByteArray() << L{} << L{};
    QTest::newRow("no end") << QByteArray("a") << L{"a"} << L{""};
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << L{"a", "b"} << L{"\r\n", "\r\n"};
    QTest::newRow("LF") << QByteArray("a\nb") << L{"a", "b"} << L{"\n", ""};
    QTest::newRow("lone CR") << QByteArray("a\rb\r") << L{"a", "b"} << L{"\r", "\r"};
    QTest::newRow("CR CR LF is two ends") << QByteArray("\r\r\n") << L{"", ""} << L{"\r", "\r\n"};
    QTest::newRow("LF CR is two ends") << QByteArray("\n\r") << L{"", ""} << L{"\n", "\r"};
    QTest::newRow("mixed, empty lines") << QByteArray("a\r\n\nb\r\rc") << L{"a", "", "b", "", "c"}
                                        << L{"\r\n", "\n", "\r", "\r", ""};
    const QByteArray nul(1, '\0');
    QTest::newRow("NUL stays in its line") << QByteArray("a\0b\r\n\0", 6) << L{QByteArray("a\0b", 3), nul}
                                           << L{"\r\n", ""};
    QTest::newRow("NUL before an end") << QByteArray("\0\r\0\n", 4) << L{nul, nul} << L{"\r", "\n"};
}

// The lines and their ends, joined, give the text back; the count agrees and
// stops one past its limit.
void TestTextLines::linesEndAtCrLfLfOrLoneCrAndKeepEveryOtherByte()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, lines);
    QFETCH(QByteArrayList, ends);
    QByteArrayList gotLines;
    QByteArrayList gotEnds;
    QByteArray joined;
    for (std::size_t pos = 0; pos < std::size_t(text.size());) {
        const TextLine line = nextLine(view(text), pos);
        gotLines << bytes(line.text);
        gotEnds << bytes(line.end);
        joined += bytes(line.text) + bytes(line.end);
    }
    QCOMPARE(gotLines, lines);
    QCOMPARE(gotEnds, ends);
    QCOMPARE(joined, text);
    const std::size_t count = std::size_t(lines.size());
    QCOMPARE(countLines(view(text), count), count);
    if (count > 0)
        QCOMPARE(countLines(view(text), count - 1), count);
}

QTEST_GUILESS_MAIN(TestTextLines)
#include "tst_textlines.moc"
