#include <QtTest>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QToolButton>

#include "platform/Help.h"
#include "platform/ui/HelpViewer.h"
#include "platform/ui/WidgetPrompts.h"

using namespace kr;

namespace {

QString pagePath(const QString& page) { return QLatin1String(HelpFolder) + page; }

QString readPage(const QString& page)
{
    QFile file(pagePath(page));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QStringList htmlPages() { return QDir(QLatin1String(HelpFolder)).entryList({QStringLiteral("*.html")}, QDir::Files); }

// Every href and src of a page: links, the style sheet, pictures.
QStringList referencesIn(const QString& html)
{
    static const QRegularExpression reference(QStringLiteral("(?:href|src)\\s*=\\s*\"([^\"]*)\""));
    QStringList found;
    for (auto it = reference.globalMatch(html); it.hasNext();)
        found << it.next().captured(1);
    return found;
}

// Remembers whether the window is blocked by a modal window, as Qt last told it.
class BlockWatch : public QObject {
public:
    bool blocked = false;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::WindowBlocked)
            blocked = true;
        else if (e->type() == QEvent::WindowUnblocked)
            blocked = false;
        return false;
    }
};

QMessageBox* openMessageBox() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }

} // namespace

class TestHelp : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { setHelpHandler(nullptr); }
    void everyTopicOpensAnExistingPage_data();
    void everyTopicOpensAnExistingPage();
    void everyLinkInEveryPageResolves();
    void contentsLinksEveryPage();
    void viewerOpensAtTheTopicAndStaysOne();
    void helpButtonShowsTopicAndLeavesTheBoxOpen();
    void screenshots();
};

void TestHelp::everyTopicOpensAnExistingPage_data()
{
    QTest::addColumn<int>("topic");
    QTest::addColumn<bool>("ownPage");
    QTest::newRow("contents") << 0 << true;
    QTest::newRow("1200 system setup") << 1200 << true;
    QTest::newRow("1300 readings at a glance") << 1300 << true;
    QTest::newRow("1001 library editor") << 1001 << true;
    QTest::newRow("9001 list full") << 9001 << true;
    QTest::newRow("9002 already added") << 9002 << true;
    QTest::newRow("9003 nothing chosen") << 9003 << true;
    QTest::newRow("9004 save prompts") << 9004 << true;
    QTest::newRow("902 upload failed") << 902 << true;
    QTest::newRow("unknown topic") << 4711 << false;
}

void TestHelp::everyTopicOpensAnExistingPage()
{
    QFETCH(int, topic);
    QFETCH(bool, ownPage);
    const QString page = helpPageFor(topic);
    QCOMPARE(helpTopics().contains(topic), ownPage);
    QCOMPARE(page == helpPageFor(help_topic::Contents), !ownPage || topic == help_topic::Contents);
    const QString html = readPage(page);
    QVERIFY2(html.contains(QLatin1String("<h1>")), qPrintable(page));
    QVERIFY2(QTextDocumentFragment::fromHtml(html).toPlainText().trimmed().size() > 100, qPrintable(page));
}

void TestHelp::everyLinkInEveryPageResolves()
{
    const QStringList pages = htmlPages();
    QVERIFY(pages.size() > 8);
    QTextBrowser* browser = HelpViewer::instance().browser();
    for (const QString& page : pages) {
        const QString html = readPage(page);
        QVERIFY2(!html.isEmpty(), qPrintable(page));
        for (const QString& ref : referencesIn(html)) {
            const QString where = page + QLatin1String(": ") + ref;
            const QUrl url(ref);
            if (url.scheme() == QLatin1String("glyph")) {
                QVERIFY2(browser->loadResource(QTextDocument::ImageResource, url).isValid(), qPrintable(where));
                continue;
            }
            QVERIFY2(url.isRelative() && !ref.startsWith(QLatin1Char('/')), qPrintable(where));
            const QString target = url.path().isEmpty() ? page : url.path();
            QVERIFY2(QFile::exists(pagePath(target)), qPrintable(where));
            if (url.hasFragment())
                QVERIFY2(readPage(target).contains(QStringLiteral("id=\"%1\"").arg(url.fragment())), qPrintable(where));
        }
    }
}

void TestHelp::contentsLinksEveryPage()
{
    const QStringList linked = referencesIn(readPage(helpPageFor(help_topic::Contents)));
    for (const QString& page : htmlPages())
        if (page != helpPageFor(help_topic::Contents))
            QVERIFY2(linked.contains(page), qPrintable(page));
}

void TestHelp::viewerOpensAtTheTopicAndStaysOne()
{
    installHelpViewer();
    showHelp(help_topic::SystemSetup);
    HelpViewer& viewer = HelpViewer::instance();
    QVERIFY(viewer.isVisible());
    QCOMPARE(viewer.windowTitle(), QStringLiteral("KR Help"));
    QCOMPARE(viewer.browser()->source().fileName(), QStringLiteral("setup.html"));
    QVERIFY(viewer.browser()->toPlainText().contains(QLatin1String("KR System Setup")));

    showHelp(4711);
    QCOMPARE(&HelpViewer::instance(), &viewer);
    QCOMPARE(viewer.browser()->source().fileName(), helpPageFor(help_topic::Contents));
    auto* back = viewer.findChild<QToolButton*>(QStringLiteral("btnBack"));
    QVERIFY(back && back->isEnabled());
    back->click();
    QCOMPARE(viewer.browser()->source().fileName(), QStringLiteral("setup.html"));
    viewer.close();
}

// The box stays open after Help, its topic reaches the help handler, and the
// help window can be used while the box waits for its answer.
void TestHelp::helpButtonShowsTopicAndLeavesTheBoxOpen()
{
    QList<int> asked;
    setHelpHandler([&asked](int topic) {
        asked << topic;
        HelpViewer::instance().showHelpTopic(topic);
    });
    BlockWatch watch;
    HelpViewer::instance().installEventFilter(&watch);
    bool stillOpen = false;
    bool helpUsable = false;
    QTimer::singleShot(0, this, [&] {
        QMessageBox* box = openMessageBox();
        if (!box)
            return;
        box->button(QMessageBox::Help)->click();
        QCoreApplication::processEvents();
        stillOpen = openMessageBox() == box && box->isVisible();
        helpUsable = HelpViewer::instance().isVisible() && !watch.blocked;
        box->button(QMessageBox::Yes)->click();
    });
    WidgetPrompts widgets;
    MessageRequest request;
    request.kind = MsgKind::Warning;
    request.text = QStringLiteral("Do you wish to save these changes?");
    request.buttons = mbYes | mbNo | mbCancel | mbHelp;
    request.helpTopic = help_topic::SaveList;
    QCOMPARE(widgets.message(request), mbYes);
    HelpViewer::instance().removeEventFilter(&watch);
    QCOMPARE(asked, QList<int>{help_topic::SaveList});
    QVERIFY(stillOpen);
    QVERIFY(helpUsable);
    QCOMPARE(HelpViewer::instance().browser()->source().fileName(), QStringLiteral("save-list.html"));
    HelpViewer::instance().close();
}

void TestHelp::screenshots()
{
    const QString folder = qEnvironmentVariable("KR_BUILD_DIR", QDir::currentPath()) + QLatin1String("/screenshots");
    QVERIFY(QDir().mkpath(folder));
    HelpViewer& viewer = HelpViewer::instance();
    const struct {
        int topic;
        const char* file;
    } shots[] = {{help_topic::Contents, "help-contents.png"}, {help_topic::SystemSetup, "help-1200.png"}};
    for (const auto& shot : shots) {
        viewer.showHelpTopic(shot.topic);
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        const QString path = folder + QLatin1Char('/') + QLatin1String(shot.file);
        QVERIFY2(viewer.grab().save(path), qPrintable(path));
    }
    viewer.close();
}

QTEST_MAIN(TestHelp)
#include "tst_Help.moc"
