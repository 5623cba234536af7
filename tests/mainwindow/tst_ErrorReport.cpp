#include <QtTest>
#include <stdexcept>

#include "core/Errors.h"
#include "platform/ErrorReport.h"
#include "tests/support/ScriptedPrompts.h"

using namespace kr;

class TestErrorReport : public QObject {
    Q_OBJECT
private slots:
    void failureEndsTheHandlerAndIsShown_data();
    void failureEndsTheHandlerAndIsShown();
    void handlerThatSucceedsShowsNothing();
    void failingBoxDoesNotEscape();
};

void TestErrorReport::failureEndsTheHandlerAndIsShown_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("file error") << 0 << "Cannot open file /tmp/x.krx";
    QTest::newRow("conversion, Windows-1252 text") << 1 << QString::fromUtf8("'20\u00B0' is not a valid integer value");
    QTest::newRow("any standard exception") << 2 << "vector::at";
    QTest::newRow("anything else") << 3 << "Unknown error";
}

void TestErrorReport::failureEndsTheHandlerAndIsShown()
{
    QFETCH(int, kind);
    QFETCH(QString, text);
    test::ScriptedPrompts prompts;
    prompts.answer(mbOK);
    bool after = false;
    const bool ok = runHandler([&] {
        switch (kind) {
        case 0: throw FileError("Cannot open file /tmp/x.krx");
        case 1: throw ConvertError("'20\xB0' is not a valid integer value");
        case 2: throw std::out_of_range("vector::at");
        default: throw 42;
        }
        after = true;
    });
    QVERIFY(!ok);
    QVERIFY(!after);
    QCOMPARE(prompts.messages().size(), 1);
    const MessageRequest box = prompts.messages().first();
    QCOMPARE(box.text, text);
    QCOMPARE(box.kind, MsgKind::Error);
    QCOMPARE(box.buttons, MsgButtons(mbOK));
    QCOMPARE(box.title, QStringLiteral("KR"));
}

void TestErrorReport::handlerThatSucceedsShowsNothing()
{
    test::ScriptedPrompts prompts;
    int runs = 0;
    QVERIFY(runHandler([&] { ++runs; }));
    QCOMPARE(runs, 1);
    QVERIFY(prompts.asked().isEmpty());
}

namespace {
class ThrowingPrompts : public Prompts {
public:
    ThrowingPrompts() { setPrompts(this); }
    ~ThrowingPrompts() override { setPrompts(nullptr); }
    MsgButton message(const MessageRequest&) override { throw std::runtime_error("no display"); }
    std::optional<FileDialogResult> openFile(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<FileDialogResult> saveFile(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<int> selectPort(const QList<PortChoice>&) override { return std::nullopt; }
};
} // namespace

void TestErrorReport::failingBoxDoesNotEscape()
{
    ThrowingPrompts prompts;
    QVERIFY(!runHandler([] { throw KrError("x"); }));
}

QTEST_MAIN(TestErrorReport)
#include "tst_ErrorReport.moc"
