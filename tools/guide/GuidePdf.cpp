#include "tools/guide/GuidePdf.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextTable>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <memory>

namespace kr::guide {

namespace {

constexpr int Dpi = 1200;

// Lengths in a text format (margins, indents, paddings, image sizes) are in
// 1/96 inch; the document layout scales them to the paint device.
constexpr qreal UnitsPerPoint = 96.0 / 72.0;
qreal pt(qreal points) { return points * UnitsPerPoint; }
qreal mm(qreal millimetres) { return millimetres / 25.4 * Dpi; }
qreal devToUnits(qreal device) { return device * 96.0 / Dpi; }
qreal unitsToDev(qreal units) { return units * Dpi / 96.0; }

namespace colour {
const QColor Ink(0x1c, 0x1f, 0x1a);
const QColor Accent(0x2e, 0x4a, 0x2b);
const QColor Wood(0x7a, 0x5a, 0x2e);
const QColor Muted(0x5c, 0x63, 0x57);
const QColor Rule(0xb4, 0xbe, 0xad);
const QColor NoteFill(0xee, 0xf3, 0xea);
const QColor WarnFill(0xfb, 0xf2, 0xe2);
const QColor WarnEdge(0xb0, 0x7a, 0x22);
const QColor HeadFill(0xe2, 0xea, 0xdd);
const QColor Light(0xf3, 0xe9, 0xd2);
const QColor ImageEdge(0x9a, 0xa1, 0x96);
} // namespace colour

// Marks of our own on blocks and frames, for keeping things together.
enum Property { KeepWithNext = QTextFormat::UserProperty + 1, Pushed };

// A4 with the text area inside; everything in device pixels.
struct Geometry {
    QSizeF paper{mm(210), mm(297)};
    QRectF body{mm(22), mm(27), mm(166), mm(297 - 27 - 25)};
    qreal headerBaseline = mm(17);
    qreal footerTop = mm(297 - 17);
};

struct Heading {
    int level = 0;
    QString number;
    QString text;
    QTextBlock block;
    int bodyPage = 0;   // counted from 0 on the first page of the text
};

QString firstFamily(const QStringList& candidates, QString* note)
{
    const QStringList families = QFontDatabase::families();
    for (const QString& c : candidates)
        if (families.contains(c, Qt::CaseInsensitive))
            return c;
    QString fallback = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    if (note)
        *note += QStringLiteral("none of %1 is installed; using %2. ").arg(candidates.join(QStringLiteral(", ")), fallback);
    return fallback;
}

// Straight quotes become typographic ones; the state runs across spans.
class Quotes {
public:
    QString apply(const QString& text)
    {
        QString out;
        out.reserve(text.size());
        for (const QChar c : text) {
            const bool opening = previous.isNull() || previous.isSpace() || QStringLiteral("([{\u2014/").contains(previous);
            if (c == QLatin1Char('"'))
                out += opening ? QChar(0x201C) : QChar(0x201D);
            else if (c == QLatin1Char('\''))
                out += opening ? QChar(0x2018) : QChar(0x2019);
            else
                out += c;
            previous = c;
        }
        return out;
    }
    void note(const QString& text)
    {
        if (!text.isEmpty())
            previous = text.back();
    }

private:
    QChar previous;
};

class Renderer {
public:
    Renderer(const Guide& g, const PdfOptions& o) : guide(g), options(o) {}

    PdfResult run(const QString& outPath);

private:
    // Building the text.
    void build();
    QTextBlockFormat bodyBlock() const;
    QTextCharFormat bodyChar() const;
    void newBlock(const QTextBlockFormat& block, const QTextCharFormat& chars);
    void insertInline(const Inline& text, const QTextCharFormat& base);
    void addHeading(const Block& b);
    void addParagraph(const Block& b);
    void addList(const Block& b);
    bool addImage(const Block& b);
    void addCallout(const Block& b);
    void addTable(const Block& b);
    void leaveFrame();

    // Pages.
    std::pair<qreal, qreal> lineSpan(const QTextBlock& block, int index) const;
    qreal lineTop(const QTextBlock& block) const;
    qreal lineBottom(const QTextBlock& block) const;
    int pageOf(qreal y) const { return int(std::floor(y / geo.body.height())); }
    void keepTogether();
    bool mendFirstSplit();
    bool mendBlock(const QTextBlock& b);
    bool badlySplit(const QTextBlock& b) const;
    bool mendFrame(QTextFrame* frame);
    QTextBlock keptFrom(QTextBlock b) const;
    void breakPageBefore(const QTextBlock& b);
    bool mayBreakBefore(const QTextBlock& b) const;
    bool atPageTop(qreal y) const;
    int contentsPages() const;
    qreal contentsTitleHeight() const;
    qreal contentsStep(int level) const;
    void fitContents();
    void paintCover(QPainter& p, bool wholePage);
    void paintBand(QPainter& p, const QRectF& band);
    void paintContents(QPainter& p, int& physical);
    void paintBodyPage(QPainter& p, int bodyPage);
    void paintHeaderFooter(QPainter& p, int physical, const QString& section, bool header);
    QString sectionAt(int bodyPage) const;

    QFont font(qreal points, bool bold = false, bool italic = false) const
    {
        QFont f(sans);
        f.setPointSizeF(points);
        f.setBold(bold);
        f.setItalic(italic);
        return f;
    }

    const Guide& guide;
    const PdfOptions& options;
    Geometry geo;
    QString sans;
    QString mono;
    QString notes;
    QString error;
    std::unique_ptr<QPdfWriter> writer;
    QTextDocument doc;
    QTextCursor cursor;
    bool reuseBlock = true;      // the document's first block, or the one after a table
    bool breakBefore = false;
    Quotes quotes;
    QList<Heading> headings;
    int figures = 0;
    int counters[4] = {};
    bool coverPage = true;
    bool withContents = false;
    int totalPages = 0;
    qreal contentsSpacing = 1;
    int firstBodyPhysical = 0;   // 0-based physical page of the text's first page
};

QTextBlockFormat Renderer::bodyBlock() const
{
    QTextBlockFormat f;
    f.setLineHeight(128, QTextBlockFormat::ProportionalHeight);
    f.setBottomMargin(pt(6));
    f.setAlignment(Qt::AlignLeft);
    return f;
}

QTextCharFormat Renderer::bodyChar() const
{
    QTextCharFormat f;
    f.setFontFamilies({sans});
    f.setFontPointSize(10);
    f.setForeground(colour::Ink);
    return f;
}

void Renderer::newBlock(const QTextBlockFormat& block, const QTextCharFormat& chars)
{
    QTextBlockFormat f = block;
    if (breakBefore)
        f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    breakBefore = false;
    if (reuseBlock) {
        cursor.setBlockFormat(f);
        // In a table cell the first block's character format is the cell's
        // own format (its background and borders): leave it alone there.
        if (!cursor.currentTable())
            cursor.setBlockCharFormat(chars);
        cursor.setCharFormat(chars);
        reuseBlock = false;
    } else {
        cursor.insertBlock(f, chars);
    }
}

void Renderer::insertInline(const Inline& text, const QTextCharFormat& base)
{
    for (const Span& s : text) {
        QTextCharFormat f = base;
        if (s.bold)
            f.setFontWeight(QFont::Bold);
        if (s.italic)
            f.setFontItalic(true);
        if (s.code) {
            f.setFontFamilies({mono});
            f.setFontPointSize(base.fontPointSize() * 0.95);
            f.setForeground(colour::Accent);
            cursor.insertText(s.text, f);
            quotes.note(s.text);
        } else {
            cursor.insertText(quotes.apply(s.text), f);
        }
    }
}

void Renderer::leaveFrame()
{
    cursor = doc.rootFrame()->lastCursorPosition();
    reuseBlock = true;
}

void Renderer::addHeading(const Block& b)
{
    static const qreal sizes[] = {0, 17, 12.5, 10.5};
    static const qreal above[] = {0, 20, 14, 9};
    static const qreal below[] = {0, 11, 5, 3};
    const bool numbered = guide.meta.value(QStringLiteral("numbered"), QStringLiteral("yes")) != QLatin1String("no");
    QString number;
    if (numbered && b.level <= 2) {
        ++counters[b.level];
        for (int l = b.level + 1; l <= 3; ++l)
            counters[l] = 0;
        number = b.level == 1 ? QString::number(counters[1])
                              : QStringLiteral("%1.%2").arg(counters[1]).arg(counters[2]);
    }
    if (b.level == 1 && guide.meta.value(QStringLiteral("chapter-pages")) == QLatin1String("yes") &&
        !headings.isEmpty())
        breakBefore = true;

    QTextBlockFormat f;
    f.setTopMargin(pt(above[b.level]));
    f.setBottomMargin(pt(below[b.level]));
    f.setProperty(KeepWithNext, true);
    QTextCharFormat c = bodyChar();
    c.setFontPointSize(sizes[b.level]);
    c.setFontWeight(QFont::Bold);
    c.setForeground(b.level == 1 ? colour::Accent : colour::Ink);
    newBlock(f, c);
    if (!number.isEmpty()) {
        QTextCharFormat n = c;
        n.setForeground(b.level == 1 ? colour::Wood : colour::Accent);
        cursor.insertText(number + QStringLiteral("\u2003"), n);
    }
    quotes = Quotes();
    insertInline(b.text, c);
    headings << Heading{b.level, number, plainText(b.text), cursor.block(), 0};
}

void Renderer::addParagraph(const Block& b)
{
    QTextBlockFormat f = bodyBlock();
    // A sentence that announces what follows stays with it.
    f.setProperty(KeepWithNext, plainText(b.text).endsWith(QLatin1Char(':')));
    newBlock(f, bodyChar());
    quotes = Quotes();
    insertInline(b.text, bodyChar());
}

// Items hang from a bullet or a number set in a tab: the markers are text of
// our own, so their distance from the item's text is ours too. (Horizontal
// block margins are device pixels; tab positions are format units.)
void Renderer::addList(const Block& b)
{
    int numbers[2] = {0, 0};
    for (int i = 0; i < b.items.size(); ++i) {
        const ListItem& item = b.items.at(i);
        if (item.level == 0)
            numbers[1] = 0;
        const qreal textAt = mm(item.level == 0 ? 6 : 11);
        const qreal markerAt = item.numbered ? textAt - mm(6) + (item.level ? mm(0.5) : 0) : textAt - mm(4.5);
        QTextBlockFormat f = bodyBlock();
        f.setBottomMargin(pt(i + 1 == b.items.size() ? 8 : 3));
        f.setLeftMargin(textAt);
        f.setTextIndent(markerAt - textAt);
        f.setTabPositions({QTextOption::Tab(devToUnits(textAt - markerAt), QTextOption::LeftTab)});
        newBlock(f, bodyChar());
        QTextCharFormat marker = bodyChar();
        marker.setForeground(colour::Accent);
        if (item.numbered) {
            marker.setFontWeight(QFont::Bold);
            cursor.insertText(QStringLiteral("%1.\t").arg(++numbers[item.level]), marker);
        } else {
            cursor.insertText(item.level == 0 ? QStringLiteral("\u2022\t") : QStringLiteral("\u2013\t"), marker);
        }
        quotes = Quotes();
        insertInline(item.text, bodyChar());
    }
}

bool Renderer::addImage(const Block& b)
{
    const QString path = QDir(options.baseDir).filePath(b.path);
    QImage image(path);
    if (image.isNull()) {
        error = QStringLiteral("cannot read the image %1").arg(path);
        return false;
    }
    // Screenshots have no window frame offscreen: a thin edge sets them off the page.
    image = image.convertToFormat(QImage::Format_RGB32);
    {
        QPainter edge(&image);
        edge.setPen(colour::ImageEdge);
        edge.drawRect(image.rect().adjusted(0, 0, -1, -1));
    }
    const QString name = QStringLiteral("image:%1").arg(b.path);
    doc.addResource(QTextDocument::ImageResource, QUrl(name), image);

    // A picture at its own size is one screen pixel to 1/96 inch, as on a
    // screen, and never wider than the text.
    const qreal textWidth = devToUnits(geo.body.width());
    qreal width = b.widthPercent > 0 ? textWidth * b.widthPercent / 100.0 : qreal(image.width());
    width = std::min(width, textWidth);
    const qreal height = width * image.height() / image.width();

    QTextBlockFormat f;
    f.setAlignment(Qt::AlignHCenter);
    f.setTopMargin(pt(6));
    f.setBottomMargin(b.text.isEmpty() ? pt(12) : pt(4));
    f.setProperty(KeepWithNext, !b.text.isEmpty());
    newBlock(f, bodyChar());
    QTextImageFormat img;
    img.setName(name);
    img.setWidth(width);
    img.setHeight(height);
    cursor.insertImage(img);

    if (!b.text.isEmpty()) {
        QTextBlockFormat cf;
        cf.setAlignment(Qt::AlignHCenter);
        cf.setBottomMargin(pt(14));
        cf.setLeftMargin(mm(12));
        cf.setRightMargin(mm(12));
        QTextCharFormat c = bodyChar();
        c.setFontPointSize(8.5);
        c.setForeground(colour::Muted);
        newBlock(cf, c);
        QTextCharFormat label = c;
        label.setFontWeight(QFont::Bold);
        cursor.insertText(QStringLiteral("Figure %1.  ").arg(++figures), label);
        c.setFontItalic(true);
        quotes = Quotes();
        insertInline(b.text, c);
    }
    return true;
}

// A box with a coloured edge on the left; "Important" boxes are amber.
void Renderer::addCallout(const Block& b)
{
    const bool warning = !b.paragraphs.isEmpty() && !b.paragraphs.first().isEmpty() &&
                         plainText(b.paragraphs.first()).startsWith(QLatin1String("Important"));
    QTextTableFormat tf;
    tf.setBorder(0);
    tf.setBorderCollapse(true);
    tf.setCellSpacing(0);
    tf.setCellPadding(0);
    tf.setTopMargin(pt(4));
    tf.setBottomMargin(pt(12));
    tf.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    QTextTable* table = cursor.insertTable(1, 1, tf);
    QTextTableCellFormat cell;
    cell.setBackground(warning ? colour::WarnFill : colour::NoteFill);
    cell.setLeftBorder(pt(3));
    cell.setLeftBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    cell.setLeftBorderBrush(warning ? colour::WarnEdge : colour::Accent);
    cell.setTopBorder(0);
    cell.setRightBorder(0);
    cell.setBottomBorder(0);
    cell.setLeftPadding(pt(10));
    cell.setRightPadding(pt(9));
    cell.setTopPadding(pt(6));
    cell.setBottomPadding(pt(6));
    table->cellAt(0, 0).setFormat(cell);
    cursor = table->cellAt(0, 0).firstCursorPosition();
    reuseBlock = true;
    for (int i = 0; i < b.paragraphs.size(); ++i) {
        QTextBlockFormat f = bodyBlock();
        f.setBottomMargin(i + 1 == b.paragraphs.size() ? 0 : pt(4));
        QTextCharFormat c = bodyChar();
        c.setFontPointSize(9.5);
        newBlock(f, c);
        quotes = Quotes();
        insertInline(b.paragraphs.at(i), c);
    }
    leaveFrame();
}

void Renderer::addTable(const Block& b)
{
    const int rows = int(b.rows.size());
    const int columns = int(b.rows.first().size());
    // The layout shares the width out by the columns' texts, as a browser does.
    // Rules between the rows only, a stronger one above and below the heading row.
    QTextTableFormat tf;
    tf.setBorder(0);
    tf.setBorderCollapse(true);
    tf.setCellSpacing(0);
    tf.setCellPadding(0);
    tf.setTopMargin(pt(2));
    tf.setBottomMargin(pt(12));
    tf.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    QTextTable* table = cursor.insertTable(rows, columns, tf);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            QTextTableCell cell = table->cellAt(r, c);
            QTextTableCellFormat cf;
            cf.setLeftPadding(pt(5));
            cf.setRightPadding(pt(5));
            cf.setTopPadding(pt(3.5));
            cf.setBottomPadding(pt(3.5));
            cf.setLeftBorder(0);
            cf.setRightBorder(0);
            // Rules thinner than one unit are not drawn at all.
            cf.setTopBorder(r == 0 ? 1.5 : 0);
            cf.setTopBorderBrush(colour::Accent);
            cf.setTopBorderStyle(QTextFrameFormat::BorderStyle_Solid);
            cf.setBottomBorder(r == 0 || r + 1 == rows ? 1.5 : 1);
            cf.setBottomBorderBrush(r == 0 || r + 1 == rows ? colour::Accent : colour::Rule);
            cf.setBottomBorderStyle(QTextFrameFormat::BorderStyle_Solid);
            QTextCharFormat ch = bodyChar();
            ch.setFontPointSize(9.5);
            if (r == 0) {
                cf.setBackground(colour::HeadFill);
                ch.setFontWeight(QFont::Bold);
                ch.setForeground(colour::Accent);
            }
            cell.setFormat(cf);
            cursor = cell.firstCursorPosition();
            QTextBlockFormat f;
            f.setLineHeight(118, QTextBlockFormat::ProportionalHeight);
            cursor.setBlockFormat(f);
            cursor.setCharFormat(ch);
            quotes = Quotes();
            insertInline(b.rows.at(r).at(c), ch);
        }
    }
    leaveFrame();
}

void Renderer::build()
{
    cursor = QTextCursor(&doc);
    reuseBlock = true;
    if (!coverPage) {
        // The title block takes the top of the first page: an empty line as
        // high as it (the layout drops top margins at the top of a page).
        QTextBlockFormat spacer;
        spacer.setLineHeight(devToUnits(mm(74) - geo.body.top()), QTextBlockFormat::FixedHeight);
        newBlock(spacer, bodyChar());
    }
    for (const Block& b : guide.blocks) {
        switch (b.kind) {
        case Block::Heading: addHeading(b); break;
        case Block::Paragraph: addParagraph(b); break;
        case Block::List: addList(b); break;
        case Block::Image:
            if (!addImage(b))
                return;
            break;
        case Block::Callout: addCallout(b); break;
        case Block::Table: addTable(b); break;
        case Block::PageBreak: breakBefore = true; break;
        }
    }
}

// Where a line of a block lies in the document, top and bottom.
std::pair<qreal, qreal> Renderer::lineSpan(const QTextBlock& block, int index) const
{
    const QTextLayout* layout = block.layout();
    const QRectF r = doc.documentLayout()->blockBoundingRect(block);
    if (!layout || layout->lineCount() == 0)
        return {r.top(), r.bottom()};
    const QTextLine line = layout->lineAt(std::clamp(index, 0, layout->lineCount() - 1));
    const qreal top = r.top() - layout->boundingRect().top() + line.y();
    return {top, top + line.height()};
}

qreal Renderer::lineTop(const QTextBlock& block) const { return lineSpan(block, 0).first; }
qreal Renderer::lineBottom(const QTextBlock& block) const { return lineSpan(block, 0).second; }

// A heading, or a picture with its caption, is never left alone at the foot
// of a page: it moves to the next one with what follows it. A table or a box
// that fits on a page is not split, nor is a short paragraph (badlySplit).
// Splits are mended from the top down, one at a time, so that a move never
// stands before what has since moved on.
void Renderer::keepTogether()
{
    for (int pass = 0; pass < 400; ++pass)
        if (!mendFirstSplit())
            return;
}

bool Renderer::mendFirstSplit()
{
    struct Item {
        int position;
        QTextBlock block;
        QTextFrame* frame;
    };
    QList<Item> items;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const bool topLevel = QTextCursor(b).currentFrame() == doc.rootFrame();
        const int lines = b.layout() ? b.layout()->lineCount() : 0;
        if (b.blockFormat().boolProperty(KeepWithNext) || (topLevel && lines >= 2))
            items << Item{b.position(), b, nullptr};
    }
    for (QTextFrame* frame : doc.rootFrame()->childFrames())
        items << Item{frame->firstPosition(), QTextBlock(), frame};
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.position < b.position; });
    for (const Item& item : items)
        if (item.frame ? mendFrame(item.frame) : mendBlock(item.block))
            return true;
    return false;
}

// A paragraph of up to four lines split at all, or a longer one that leaves
// a single line at the foot of a page or, up to eight lines, at the top of
// the next.
bool Renderer::badlySplit(const QTextBlock& b) const
{
    const int lines = b.layout() ? b.layout()->lineCount() : 0;
    if (lines < 2)
        return false;
    const int firstPage = pageOf(lineTop(b));
    int onFirst = 0;
    for (int i = 0; i < lines && pageOf(lineSpan(b, i).second - 1) == firstPage; ++i)
        ++onFirst;
    if (onFirst == lines)
        return false;
    const int lastPage = pageOf(lineSpan(b, lines - 1).second - 1);
    int onLast = 0;
    for (int i = lines - 1; i >= 0 && pageOf(lineSpan(b, i).second - 1) == lastPage; --i)
        ++onLast;
    return lines <= 4 || onFirst == 1 || (onLast == 1 && lines <= 8);
}

bool Renderer::mendBlock(const QTextBlock& b)
{
    const bool split = badlySplit(b);
    const QTextBlock next = b.next();
    const bool alone = b.blockFormat().boolProperty(KeepWithNext) && next.isValid() &&
                       pageOf(lineTop(b)) != pageOf(lineBottom(next) - 1);
    if (!split && !alone)
        return false;
    const QTextBlock first = keptFrom(b);
    if (!mayBreakBefore(first))
        return false;
    breakPageBefore(first);
    return true;
}

bool Renderer::mendFrame(QTextFrame* frame)
{
    QTextFrameFormat f = frame->frameFormat();
    const QRectF r = doc.documentLayout()->frameBoundingRect(frame);
    const qreal top = r.top() + unitsToDev(f.topMargin());
    const qreal bottom = r.bottom() - unitsToDev(f.bottomMargin());
    if (bottom - top >= geo.body.height() || pageOf(top) == pageOf(bottom - 1))
        return false;
    // What is kept with the table goes with it.
    const QTextBlock before = doc.findBlock(frame->firstPosition() - 1);
    if (before.isValid() && before.blockFormat().boolProperty(KeepWithNext)) {
        const QTextBlock first = keptFrom(before);
        if (!mayBreakBefore(first))
            return false;
        breakPageBefore(first);
        return true;
    }
    if (f.boolProperty(Pushed) || atPageTop(top))
        return false;
    // As for a block: the table's top margin grows until it opens the next page.
    const qreal nextPage = (pageOf(top) + 1) * geo.body.height();
    f.setProperty(Pushed, true);
    for (int round = 0; round < 4; ++round) {
        const qreal missing = nextPage - (doc.documentLayout()->frameBoundingRect(frame).top() +
                                          unitsToDev(frame->frameFormat().topMargin()));
        if (missing <= 0)
            break;
        f.setTopMargin(f.topMargin() + devToUnits(missing) + 0.5);
        frame->setFrameFormat(f);
    }
    return true;
}

// The first of the blocks kept with `b`: a heading before a heading before a
// picture moves with it.
QTextBlock Renderer::keptFrom(QTextBlock b) const
{
    for (QTextBlock previous = b.previous(); previous.isValid(); previous = previous.previous()) {
        if (!previous.blockFormat().boolProperty(KeepWithNext))
            break;
        b = previous;
    }
    return b;
}

bool Renderer::atPageTop(qreal y) const { return y - pageOf(y) * geo.body.height() < mm(15); }

// Moving what already opens a page would only leave a page empty.
bool Renderer::mayBreakBefore(const QTextBlock& b) const
{
    return !b.blockFormat().boolProperty(Pushed) && !atPageTop(lineTop(b));
}

// A block moves to the next page by a margin that fills the rest of this one:
// its own top margin, or the bottom margin of a table just before it, whose
// following block's top margin the layout does not take. Margins collapse,
// so the margin grows until the block's first line opens the next page.
// Unlike a page break, this cannot skip a page when what stands before the
// block ends right at the foot of the page.
void Renderer::breakPageBefore(const QTextBlock& b)
{
    const qreal nextPage = (pageOf(lineTop(b)) + 1) * geo.body.height();
    QTextFrame* before = b.previous().isValid() ? QTextCursor(b.previous()).currentFrame() : nullptr;
    while (before && before != doc.rootFrame() && before->parentFrame() != doc.rootFrame())
        before = before->parentFrame();
    if (before == doc.rootFrame())
        before = nullptr;
    QTextBlockFormat f = b.blockFormat();
    f.setProperty(Pushed, true);
    QTextCursor(b).setBlockFormat(f);
    for (int round = 0; round < 4; ++round) {
        const qreal missing = nextPage - lineTop(b);
        if (missing <= 0)
            return;
        const qreal grow = devToUnits(missing) + 0.5;
        if (before) {
            QTextFrameFormat ff = before->frameFormat();
            ff.setBottomMargin(ff.bottomMargin() + grow);
            before->setFrameFormat(ff);
        } else {
            f.setTopMargin(f.topMargin() + grow);
            QTextCursor(b).setBlockFormat(f);
        }
    }
}

qreal Renderer::contentsTitleHeight() const
{
    return QFontMetricsF(font(17, true), writer.get()).height() + mm(11);
}

// The entries close up a little, down to four fifths of their spacing, when
// that keeps the contents on one page.
qreal Renderer::contentsStep(int level) const
{
    return (level == 1 ? mm(7.4) : mm(5.5)) * contentsSpacing;
}

void Renderer::fitContents()
{
    qreal total = 0;
    for (const Heading& h : headings)
        if (h.level <= 2)
            total += contentsStep(h.level);
    const qreal room = geo.body.height() - contentsTitleHeight();
    if (total > room && total * 0.8 <= room)
        contentsSpacing = room * 0.99 / total;
}

int Renderer::contentsPages() const
{
    if (!withContents)
        return 0;
    int pages = 1;
    qreal y = geo.body.top() + contentsTitleHeight();
    for (const Heading& h : headings) {
        if (h.level > 2)
            continue;
        if (y + contentsStep(h.level) > geo.body.bottom()) {
            ++pages;
            y = geo.body.top();
        }
        y += contentsStep(h.level);
    }
    return pages;
}

void Renderer::paintBand(QPainter& p, const QRectF& band)
{
    QLinearGradient g(band.topLeft(), band.bottomRight());
    g.setColorAt(0, colour::Accent);
    g.setColorAt(1, colour::Wood);
    p.fillRect(band, g);
    // The growth rings of a log end, as on the about box's picture.
    p.save();
    p.setClipRect(band);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(band.right() - mm(38), band.center().y() + band.height() * 0.08);
    QColor ring = colour::Light;
    ring.setAlpha(95);
    p.setPen(QPen(ring, mm(0.35)));
    p.setBrush(Qt::NoBrush);
    for (qreal r = mm(3); r < band.height() * 0.62; r += mm(3.1) + r * 0.035)
        p.drawEllipse(centre, r * 1.06, r);
    p.restore();
}

void Renderer::paintCover(QPainter& p, bool wholePage)
{
    const QString title = Quotes().apply(guide.meta.value(QStringLiteral("title")));
    const QString subtitle = Quotes().apply(guide.meta.value(QStringLiteral("subtitle")));
    const qreal left = geo.body.left();
    const qreal width = geo.body.width();
    if (wholePage) {
        const QRectF band(0, 0, geo.paper.width(), mm(96));
        paintBand(p, band);
        p.setPen(colour::Light);
        QFont small = font(10.5, true);
        small.setLetterSpacing(QFont::PercentageSpacing, 125);
        p.setFont(small);
        p.drawText(QRectF(left, mm(30), width, mm(8)), Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("KESTRUNE"));
        p.setPen(Qt::white);
        p.setFont(font(30, true));
        p.drawText(QRectF(left, mm(40), width, mm(16)), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("KR companion"));
        p.setPen(colour::Light);
        p.setFont(font(12.5));
        p.drawText(QRectF(left, mm(58), width, mm(9)), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Software for the KR hand-held wood moisture meter"));

        p.fillRect(QRectF(left, mm(122), mm(28), mm(1.3)), colour::Wood);
        p.setPen(colour::Ink);
        p.setFont(font(28, true));
        QRectF titleBox(left, mm(128), width, mm(40));
        QRectF used;
        p.drawText(titleBox, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, title, &used);
        p.setPen(colour::Muted);
        p.setFont(font(13.5));
        QRectF subtitleUsed;
        p.drawText(QRectF(left, used.bottom() + mm(5), width * 0.85, mm(40)),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, subtitle, &subtitleUsed);
        const QString summary = guide.meta.value(QStringLiteral("summary"));
        if (!summary.isEmpty()) {
            p.setPen(colour::Ink);
            p.setFont(font(10.5));
            p.drawText(QRectF(left, subtitleUsed.bottom() + mm(14), width * 0.8, mm(60)),
                       Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, Quotes().apply(summary));
        }

        const qreal foot = geo.paper.height() - mm(32);
        p.fillRect(QRectF(left, foot, width, mm(0.25)), colour::Rule);
        p.setPen(colour::Muted);
        p.setFont(font(9.5));
        p.drawText(QRectF(left, foot + mm(3), width, mm(6)), Qt::AlignLeft | Qt::AlignTop,
                   QStringLiteral("Software version %1").arg(options.version));
        p.drawText(QRectF(left, foot + mm(3), width, mm(6)), Qt::AlignRight | Qt::AlignTop,
                   QStringLiteral("Kestrune Instruments"));
        return;
    }
    // The title block at the top of the first page.
    const QRectF band(0, 0, geo.paper.width(), mm(66));
    paintBand(p, band);
    p.setPen(colour::Light);
    QFont small = font(9.5, true);
    small.setLetterSpacing(QFont::PercentageSpacing, 125);
    p.setFont(small);
    p.drawText(QRectF(left, mm(16), width, mm(7)), Qt::AlignLeft | Qt::AlignBottom,
               QStringLiteral("KESTRUNE KR COMPANION  \u00B7  VERSION %1").arg(options.version));
    p.setPen(Qt::white);
    p.setFont(font(26, true));
    QRectF used;
    p.drawText(QRectF(left, mm(26), width, mm(20)), Qt::AlignLeft | Qt::AlignTop, title, &used);
    p.setPen(colour::Light);
    p.setFont(font(12));
    p.drawText(QRectF(left, used.bottom() + mm(2), width * 0.8, mm(16)),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, subtitle);
}

void Renderer::paintHeaderFooter(QPainter& p, int physical, const QString& section, bool header)
{
    const qreal left = geo.body.left();
    const qreal width = geo.body.width();
    const QFont small = font(8);
    const QFontMetricsF fm(small, writer.get());
    p.setFont(small);
    if (header) {
        p.setPen(colour::Muted);
        const QString title = Quotes().apply(guide.meta.value(QStringLiteral("title")));
        p.drawText(QPointF(left, geo.headerBaseline), title);
        const qreal room = width - fm.horizontalAdvance(title) - mm(10);
        const QString right = fm.elidedText(section, Qt::ElideRight, room);
        p.drawText(QPointF(left + width - fm.horizontalAdvance(right), geo.headerBaseline), right);
        p.fillRect(QRectF(left, geo.headerBaseline + mm(2), width, mm(0.2)), colour::Rule);
    }
    p.fillRect(QRectF(left, geo.footerTop, width, mm(0.2)), colour::Rule);
    p.setPen(colour::Muted);
    const qreal baseline = geo.footerTop + mm(5);
    p.drawText(QPointF(left, baseline), QStringLiteral("Kestrune KR companion %1").arg(options.version));
    const QString page = QStringLiteral("Page %1 of %2").arg(physical + 1).arg(totalPages);
    p.setFont(font(8, true));
    const QFontMetricsF bold(p.font(), writer.get());
    p.setPen(colour::Ink);
    p.drawText(QPointF(left + width - bold.horizontalAdvance(page), baseline), page);
}

QString Renderer::sectionAt(int bodyPage) const
{
    // The chapter in force at the top of the page: the last one begun before
    // it, or one whose heading opens the page.
    const qreal pageTop = bodyPage * geo.body.height();
    const Heading* chapter = nullptr;
    for (const Heading& h : headings)
        if (h.level == 1 && lineTop(h.block) < pageTop + mm(20))
            chapter = &h;
    if (!chapter)
        return QString();
    return chapter->number.isEmpty() ? chapter->text : chapter->number + QStringLiteral("  ") + chapter->text;
}

void Renderer::paintContents(QPainter& p, int& physical)
{
    const qreal left = geo.body.left();
    const qreal width = geo.body.width();
    qreal y = geo.body.top();
    auto startPage = [&](bool first) {
        if (physical > 0)
            writer->newPage();
        paintHeaderFooter(p, physical, QStringLiteral("Contents"), true);
        y = geo.body.top();
        if (first) {
            p.setPen(colour::Accent);
            p.setFont(font(17, true));
            const QFontMetricsF fm(p.font(), writer.get());
            p.drawText(QPointF(left, y + fm.ascent() + mm(2)), QStringLiteral("Contents"));
            p.fillRect(QRectF(left, y + fm.height() + mm(4), width, mm(0.3)), colour::Accent);
            y += contentsTitleHeight();
        }
    };
    startPage(true);
    const qreal numberColumn = mm(10);
    for (const Heading& h : headings) {
        if (h.level > 2)
            continue;
        const qreal step = contentsStep(h.level);
        if (y + step > geo.body.bottom()) {
            ++physical;
            startPage(false);
        }
        const QFont f = font(h.level == 1 ? 10.5 : 10, h.level == 1);
        p.setFont(f);
        const QFontMetricsF fm(f, writer.get());
        const qreal baseline = y + step - fm.descent() - mm(h.level == 1 ? 1.0 : 0.8);
        const qreal indent = h.level == 1 ? 0 : numberColumn;
        const QString pageText = QString::number(h.bodyPage + firstBodyPhysical + 1);
        const qreal pageX = left + width - fm.horizontalAdvance(pageText);
        p.setPen(h.level == 1 ? colour::Wood : colour::Muted);
        p.drawText(QPointF(left + indent, baseline), h.number);
        const qreal textX = left + indent + (h.level == 1 ? numberColumn : mm(12));
        p.setPen(colour::Ink);
        const QString text = fm.elidedText(Quotes().apply(h.text), Qt::ElideRight, pageX - textX - mm(12));
        p.drawText(QPointF(textX, baseline), text);
        // Dot leaders between the title and its page number.
        const qreal dotsFrom = textX + fm.horizontalAdvance(text) + mm(2);
        const qreal dotsTo = pageX - mm(2);
        const QFont dotFont = font(10);
        const QFontMetricsF dm(dotFont, writer.get());
        const qreal pitch = mm(1.6);
        p.setFont(dotFont);
        p.setPen(colour::Rule);
        for (qreal x = dotsTo - dm.horizontalAdvance(QLatin1Char('.')); x > dotsFrom; x -= pitch)
            p.drawText(QPointF(x, baseline), QStringLiteral("."));
        p.setFont(f);
        p.setPen(colour::Ink);
        p.drawText(QPointF(pageX, baseline), pageText);
        y += step;
    }
    ++physical;
}

void Renderer::paintBodyPage(QPainter& p, int bodyPage)
{
    const qreal pageHeight = geo.body.height();
    p.save();
    p.translate(geo.body.left(), geo.body.top() - bodyPage * pageHeight);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(0, bodyPage * pageHeight, geo.body.width(), pageHeight);
    context.palette.setColor(QPalette::Text, colour::Ink);
    p.setClipRect(context.clip);
    doc.documentLayout()->draw(&p, context);
    // A rule under every chapter heading on this page.
    for (const Heading& h : headings) {
        if (h.level != 1 || h.bodyPage != bodyPage)
            continue;
        const qreal y = lineBottom(h.block) + mm(1.6);
        p.fillRect(QRectF(0, y, geo.body.width(), mm(0.3)), colour::Accent);
    }
    p.restore();
}

PdfResult Renderer::run(const QString& outPath)
{
    PdfResult result;
    sans = firstFamily({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("Helvetica")}, &notes);
    mono = firstFamily({QStringLiteral("Liberation Mono"), QStringLiteral("Courier New"), QStringLiteral("Courier")},
                       &notes);
    coverPage = guide.meta.value(QStringLiteral("cover"), QStringLiteral("page")) != QLatin1String("block");
    withContents = guide.meta.value(QStringLiteral("contents")) == QLatin1String("yes");

    QSaveFile file(outPath);
    if (!file.open(QIODevice::WriteOnly)) {
        result.message = QStringLiteral("cannot write %1: %2").arg(outPath, file.errorString());
        return result;
    }
    writer = std::make_unique<QPdfWriter>(&file);
    writer->setResolution(Dpi);
    writer->setPageSize(QPageSize(QPageSize::A4));
    writer->setPageMargins(QMarginsF(0, 0, 0, 0));
    writer->setTitle(guide.meta.value(QStringLiteral("title")));
    writer->setCreator(QStringLiteral("kr-guide"));
    geo.paper = QSizeF(writer->width(), writer->height());
    geo.body.setHeight(geo.paper.height() - geo.body.top() - mm(25));
    geo.footerTop = geo.paper.height() - mm(17);

    doc.documentLayout()->setPaintDevice(writer.get());
    doc.setDocumentMargin(0);
    QFont base(sans);
    base.setPointSizeF(10);
    doc.setDefaultFont(base);
    doc.setPageSize(geo.body.size());
    build();
    if (!error.isEmpty()) {
        result.message = error;
        return result;
    }
    keepTogether();

    const int bodyPages = doc.pageCount();
    for (Heading& h : headings)
        h.bodyPage = pageOf(lineTop(h.block));
    const int cover = coverPage ? 1 : 0;
    fitContents();
    firstBodyPhysical = cover + contentsPages();
    totalPages = firstBodyPhysical + bodyPages;

    QPainter p;
    if (!p.begin(writer.get())) {
        result.message = QStringLiteral("cannot start the PDF %1").arg(outPath);
        return result;
    }
    p.setRenderHint(QPainter::TextAntialiasing);
    int physical = 0;
    if (coverPage) {
        paintCover(p, true);
        physical = 1;
    }
    if (withContents)
        paintContents(p, physical);
    for (int page = 0; page < bodyPages; ++page, ++physical) {
        if (physical > 0)
            writer->newPage();
        if (page == 0 && !coverPage)
            paintCover(p, false);
        paintBodyPage(p, page);
        paintHeaderFooter(p, physical, sectionAt(page), coverPage || page > 0);
    }
    p.end();
    writer.reset();
    if (!file.commit()) {
        result.message = QStringLiteral("cannot write %1: %2").arg(outPath, file.errorString());
        return result;
    }
    result.ok = true;
    result.pages = totalPages;
    result.message = notes.trimmed();
    return result;
}

} // namespace

PdfResult writeGuidePdf(const Guide& guide, const QString& outPath, const PdfOptions& options)
{
    Renderer renderer(guide, options);
    return renderer.run(outPath);
}

} // namespace kr::guide
