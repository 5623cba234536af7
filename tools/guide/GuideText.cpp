#include "tools/guide/GuideText.h"

#include <QRegularExpression>
#include <QStringList>

namespace kr::guide {

namespace {

const QRegularExpression metaLine(QStringLiteral(R"(^([A-Za-z][A-Za-z -]*):\s*(.*)$)"));
const QRegularExpression headingLine(QStringLiteral(R"(^(#{1,6})\s+(.+)$)"));
const QRegularExpression imageLine(QStringLiteral(R"(^!\[(.*)\]\(([^)]+)\)\s*(?:\{width=(\d+)%\})?$)"));
const QRegularExpression bulletLine(QStringLiteral(R"(^( *)- (.*)$)"));
const QRegularExpression stepLine(QStringLiteral(R"(^( *)\d+\. (.*)$)"));
const QRegularExpression tableRule(QStringLiteral(R"(^\|?\s*:?-{3,}:?\s*(\|\s*:?-{3,}:?\s*)*\|?$)"));

int indentOf(const QString& line)
{
    int n = 0;
    while (n < line.size() && line.at(n) == QLatin1Char(' '))
        ++n;
    return n;
}

bool isListItem(const QString& line) { return bulletLine.match(line).hasMatch() || stepLine.match(line).hasMatch(); }

// Reads the lines of a guide one block at a time.
class Parser {
public:
    Parser(const QStringList& l, QString* e) : lines(l), error(e) {}

    std::optional<Guide> run()
    {
        Guide guide;
        readMeta(guide);
        while (at < lines.size()) {
            const QString line = lines.at(at);
            if (line.trimmed().isEmpty()) {
                ++at;
                continue;
            }
            std::optional<Block> block = readBlock(line);
            if (!block)
                return std::nullopt;
            guide.blocks << *block;
        }
        return guide;
    }

private:
    void readMeta(Guide& guide)
    {
        while (at < lines.size() && !lines.at(at).trimmed().isEmpty()) {
            const auto m = metaLine.match(lines.at(at));
            if (!m.hasMatch())
                return;
            guide.meta.insert(m.captured(1).trimmed().toLower(), m.captured(2).trimmed());
            ++at;
        }
    }

    bool fail(const QString& why)
    {
        if (error)
            *error = QStringLiteral("line %1: %2").arg(at + 1).arg(why);
        return false;
    }

    std::optional<Inline> inlineText(const QString& text)
    {
        QString why;
        std::optional<Inline> parsed = parseInline(text, &why);
        if (!parsed)
            fail(why);
        return parsed;
    }

    std::optional<Block> readBlock(const QString& line)
    {
        if (const auto m = headingLine.match(line); m.hasMatch())
            return readHeading(m);
        if (line.trimmed() == QLatin1String("\\newpage")) {
            ++at;
            Block b;
            b.kind = Block::PageBreak;
            return b;
        }
        if (line.startsWith(QLatin1String("![")))
            return readImage(line);
        if (line.startsWith(QLatin1Char('>')))
            return readCallout();
        if (line.startsWith(QLatin1Char('|')))
            return readTable();
        if (isListItem(line) && indentOf(line) == 0)
            return readList();
        return readParagraph();
    }

    std::optional<Block> readHeading(const QRegularExpressionMatch& m)
    {
        Block b;
        b.kind = Block::Heading;
        b.level = int(m.captured(1).size());
        if (b.level > 3) {
            fail(QStringLiteral("headings go three levels deep at most"));
            return std::nullopt;
        }
        const auto text = inlineText(m.captured(2).trimmed());
        if (!text)
            return std::nullopt;
        b.text = *text;
        ++at;
        return b;
    }

    std::optional<Block> readImage(const QString& line)
    {
        const auto m = imageLine.match(line.trimmed());
        if (!m.hasMatch()) {
            fail(QStringLiteral("an image is written ![caption](images/name.png) with an optional {width=NN%}"));
            return std::nullopt;
        }
        Block b;
        b.kind = Block::Image;
        const auto caption = inlineText(m.captured(1).trimmed());
        if (!caption)
            return std::nullopt;
        b.text = *caption;
        b.path = m.captured(2).trimmed();
        b.widthPercent = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
        if (b.widthPercent < 0 || b.widthPercent > 100) {
            fail(QStringLiteral("an image's width is 1% to 100% of the text width"));
            return std::nullopt;
        }
        ++at;
        return b;
    }

    // "> " lines; a line of ">" alone starts a new paragraph in the box.
    std::optional<Block> readCallout()
    {
        Block b;
        b.kind = Block::Callout;
        QStringList paragraph;
        auto flush = [&]() -> bool {
            if (paragraph.isEmpty())
                return true;
            const auto text = inlineText(paragraph.join(QLatin1Char(' ')));
            if (!text)
                return false;
            b.paragraphs << *text;
            paragraph.clear();
            return true;
        };
        while (at < lines.size() && lines.at(at).startsWith(QLatin1Char('>'))) {
            const QString content = lines.at(at).mid(1).trimmed();
            if (content.isEmpty()) {
                if (!flush())
                    return std::nullopt;
            } else {
                paragraph << content;
            }
            ++at;
        }
        if (!flush())
            return std::nullopt;
        return b;
    }

    static QStringList cellsOf(QString row)
    {
        row = row.trimmed();
        if (row.startsWith(QLatin1Char('|')))
            row.remove(0, 1);
        if (row.endsWith(QLatin1Char('|')) && !row.endsWith(QLatin1String("\\|")))
            row.chop(1);
        QStringList cells;
        QString cell;
        for (int i = 0; i < row.size(); ++i) {
            if (row.at(i) == QLatin1Char('\\') && i + 1 < row.size() && row.at(i + 1) == QLatin1Char('|')) {
                cell += QLatin1Char('|');
                ++i;
            } else if (row.at(i) == QLatin1Char('|')) {
                cells << cell.trimmed();
                cell.clear();
            } else {
                cell += row.at(i);
            }
        }
        cells << cell.trimmed();
        return cells;
    }

    std::optional<Block> readTable()
    {
        Block b;
        b.kind = Block::Table;
        int columns = -1;
        bool ruleSeen = false;
        while (at < lines.size() && lines.at(at).startsWith(QLatin1Char('|'))) {
            const QString line = lines.at(at).trimmed();
            if (tableRule.match(line).hasMatch()) {
                if (b.rows.size() != 1) {
                    fail(QStringLiteral("a table's rule line comes right after its header row"));
                    return std::nullopt;
                }
                ruleSeen = true;
                ++at;
                continue;
            }
            const QStringList cells = cellsOf(line);
            if (columns < 0)
                columns = int(cells.size());
            if (cells.size() != columns) {
                fail(QStringLiteral("this row has %1 cells, the table's header %2").arg(cells.size()).arg(columns));
                return std::nullopt;
            }
            QList<Inline> row;
            for (const QString& c : cells) {
                const auto text = inlineText(c);
                if (!text)
                    return std::nullopt;
                row << *text;
            }
            b.rows << row;
            ++at;
        }
        if (!ruleSeen || b.rows.size() < 2) {
            --at;
            fail(QStringLiteral("a table needs a header row, a rule line |---| and at least one row"));
            return std::nullopt;
        }
        return b;
    }

    // Items start with "- " or "1. "; an item indented under another is one
    // level deeper; other indented lines continue the item before them. A
    // blank line between items keeps the list going.
    std::optional<Block> readList()
    {
        Block b;
        b.kind = Block::List;
        QList<QStringList> texts;
        while (at < lines.size()) {
            const QString line = lines.at(at);
            if (line.trimmed().isEmpty()) {
                int next = at + 1;
                while (next < lines.size() && lines.at(next).trimmed().isEmpty())
                    ++next;
                if (next < lines.size() && isListItem(lines.at(next))) {
                    at = next;
                    continue;
                }
                break;
            }
            auto bullet = bulletLine.match(line);
            auto step = stepLine.match(line);
            if (bullet.hasMatch() || step.hasMatch()) {
                const auto& m = bullet.hasMatch() ? bullet : step;
                ListItem item;
                item.numbered = step.hasMatch();
                item.level = m.captured(1).size() >= 2 ? 1 : 0;
                b.items << item;
                texts << QStringList{m.captured(2).trimmed()};
            } else if (indentOf(line) >= 2 && !texts.isEmpty()) {
                texts.last() << line.trimmed();
            } else {
                break;
            }
            ++at;
        }
        for (int i = 0; i < b.items.size(); ++i) {
            const auto text = inlineText(texts.at(i).join(QLatin1Char(' ')));
            if (!text)
                return std::nullopt;
            b.items[i].text = *text;
        }
        return b;
    }

    std::optional<Block> readParagraph()
    {
        QStringList text;
        while (at < lines.size()) {
            const QString line = lines.at(at);
            if (line.trimmed().isEmpty() || headingLine.match(line).hasMatch() || line.startsWith(QLatin1String("![")) ||
                line.startsWith(QLatin1Char('>')) || line.startsWith(QLatin1Char('|')) ||
                (isListItem(line) && indentOf(line) == 0))
                break;
            text << line.trimmed();
            ++at;
        }
        Block b;
        b.kind = Block::Paragraph;
        const auto parsed = inlineText(text.join(QLatin1Char(' ')));
        if (!parsed)
            return std::nullopt;
        b.text = *parsed;
        return b;
    }

    const QStringList& lines;
    QString* error;
    int at = 0;
};

} // namespace

std::optional<Inline> parseInline(const QString& text, QString* error)
{
    Inline spans;
    Span current;
    auto flush = [&] {
        if (!current.text.isEmpty())
            spans << current;
        current.text.clear();
    };
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\') && i + 1 < text.size()) {
            current.text += text.at(++i);
        } else if (c == QLatin1Char('`')) {
            flush();
            current.code = !current.code;
        } else if (!current.code && c == QLatin1Char('*') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('*')) {
            flush();
            current.bold = !current.bold;
            ++i;
        } else if (!current.code && c == QLatin1Char('*')) {
            flush();
            current.italic = !current.italic;
        } else {
            current.text += c;
        }
    }
    flush();
    if (current.bold || current.italic || current.code) {
        if (error)
            *error = QStringLiteral("a %1 marker is left open in: %2")
                         .arg(current.code ? QStringLiteral("`") : current.bold ? QStringLiteral("**") : QStringLiteral("*"),
                              text);
        return std::nullopt;
    }
    return spans;
}

std::optional<Guide> parseGuide(const QString& text, QString* error)
{
    QString normal = text;
    normal.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QStringList lines = normal.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        while (line.endsWith(QLatin1Char(' ')) || line.endsWith(QLatin1Char('\t')))
            line.chop(1);
    }
    Parser parser(lines, error);
    return parser.run();
}

QString plainText(const Inline& text)
{
    QString out;
    for (const Span& s : text)
        out += s.text;
    return out;
}

} // namespace kr::guide
