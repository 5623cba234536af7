#include "platform/ui/HelpViewer.h"

#include <QApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include "platform/Help.h"
#include "platform/ui/Glyphs.h"

namespace kr {

namespace {

struct NamedGlyph {
    const char* name;
    Glyph glyph;
};

// The pages show the program's toolbar buttons as <img src="glyph:NAME">.
constexpr NamedGlyph namedGlyphs[] = {
    {"open", Glyph::Open},         {"save", Glyph::Save},       {"clipboard", Glyph::Clipboard},
    {"download", Glyph::Download}, {"upload", Glyph::Upload},   {"library", Glyph::Library},
    {"erase", Glyph::Erase},       {"print", Glyph::Print},     {"help", Glyph::Help},
    {"previous", Glyph::Previous}, {"next", Glyph::Next},       {"exit", Glyph::Exit},
    {"chart", Glyph::Chart},
};

constexpr int PageGlyphSize = 18;

class HelpBrowser final : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;

    QVariant loadResource(int type, const QUrl& name) override
    {
        if (type == QTextDocument::ImageResource && name.scheme() == QLatin1String("glyph")) {
            for (const NamedGlyph& g : namedGlyphs)
                if (name.path() == QLatin1String(g.name))
                    return glyphIcon(g.glyph, paperInk()).pixmap(QSize(PageGlyphSize, PageGlyphSize), devicePixelRatio());
            return {};
        }
        return QTextBrowser::loadResource(type, name);
    }
};

QUrl pageUrl(int topic) { return QUrl(QStringLiteral("qrc") + QLatin1String(HelpFolder) + helpPageFor(topic)); }

QToolButton* barButton(QWidget* parent, const char* name, const QString& text, QStyle::StandardPixmap icon,
                       const QString& hint)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(text);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setToolTip(hint);
    return b;
}

} // namespace

HelpViewer& HelpViewer::instance()
{
    static QPointer<HelpViewer> viewer;
    if (!viewer)
        viewer = new HelpViewer;
    return *viewer;
}

HelpViewer::HelpViewer(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("fmHelp"));
    setWindowTitle(QStringLiteral("KR Help"));
    // Reading help must not keep the program alive once its main window is gone.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("paHelpToolbar"));
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(6, 4, 6, 4);
    row->setSpacing(2);
    btnBack = barButton(bar, "btnBack", QStringLiteral("Back"), QStyle::SP_ArrowBack,
                        QStringLiteral("Back to the page before (Alt+Left)"));
    btnForward = barButton(bar, "btnForward", QStringLiteral("Forward"), QStyle::SP_ArrowForward,
                           QStringLiteral("Forward again (Alt+Right)"));
    btnContents = barButton(bar, "btnContents", QStringLiteral("Contents"), QStyle::SP_DirHomeIcon,
                            QStringLiteral("The list of help pages"));
    row->addWidget(btnBack);
    row->addWidget(btnForward);
    row->addSpacing(8);
    row->addWidget(btnContents);
    row->addStretch(1);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    pages = new HelpBrowser(this);
    pages->setObjectName(QStringLiteral("tbPages"));
    pages->setFrameShape(QFrame::NoFrame);
    pages->setOpenExternalLinks(true);
    pages->document()->setDocumentMargin(14);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(bar);
    column->addWidget(line);
    column->addWidget(pages, 1);

    btnBack->setEnabled(false);
    btnForward->setEnabled(false);
    connect(pages, &QTextBrowser::backwardAvailable, btnBack, &QWidget::setEnabled);
    connect(pages, &QTextBrowser::forwardAvailable, btnForward, &QWidget::setEnabled);
    connect(btnBack, &QToolButton::clicked, pages, &QTextBrowser::backward);
    connect(btnForward, &QToolButton::clicked, pages, &QTextBrowser::forward);
    connect(btnContents, &QToolButton::clicked, this, [this] { pages->setSource(pageUrl(help_topic::Contents)); });
    auto* back = new QShortcut(QKeySequence::Back, this);
    connect(back, &QShortcut::activated, pages, &QTextBrowser::backward);
    auto* forward = new QShortcut(QKeySequence::Forward, this);
    connect(forward, &QShortcut::activated, pages, &QTextBrowser::forward);
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);

    resize(760, 640);
    setMinimumSize(420, 320);
}

void HelpViewer::showHelpTopic(int topic)
{
    const QUrl url = pageUrl(topic);
    if (pages->source() != url)
        pages->setSource(url);
    placeFirstTime();
    showNormal();
    stayUsableOverModalWindow();
    raise();
    activateWindow();
}

// First shown centred on the screen; afterwards it stays where the user put it.
void HelpViewer::placeFirstTime()
{
    if (placed)
        return;
    placed = true;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        resize(size().boundedTo(area.size()));
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

// A modal window blocks every window but its own: asked for help from a
// message box or a modal dialog, the help window becomes that window's
// transient so it can be read and clicked while the question waits.
void HelpViewer::stayUsableOverModalWindow()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == this)
        return;
    winId();
    QWindow* own = windowHandle();
    QWindow* owner = modal ? modal->window()->windowHandle() : nullptr;
    if (own && own->transientParent() != owner)
        own->setTransientParent(owner);
}

void installHelpViewer()
{
    setHelpHandler([](int topic) { HelpViewer::instance().showHelpTopic(topic); });
}

} // namespace kr
