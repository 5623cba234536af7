#pragma once
#include <QList>
#include <QMap>
#include <QString>
#include <optional>

namespace kr::guide {

// A run of text with one look inside a paragraph, a list item or a cell.
struct Span {
    QString text;
    bool bold = false;
    bool italic = false;
    bool code = false;
};
using Inline = QList<Span>;

struct ListItem {
    int level = 0;        // 0, or 1 for an item indented under another
    bool numbered = false;
    Inline text;
};

struct Block {
    enum Kind { Heading, Paragraph, List, Image, Callout, Table, PageBreak } kind = Paragraph;
    int level = 0;                 // Heading: 1 to 3
    Inline text;                   // Heading, Paragraph, Image (its caption)
    QList<ListItem> items;         // List
    QList<Inline> paragraphs;      // Callout
    QList<QList<Inline>> rows;     // Table: the first row is the header
    QString path;                  // Image: relative to the guide text's folder
    int widthPercent = 0;          // Image: share of the text width, 0 for its own size
};

// A guide as written in docs/guide: "Key: value" lines up to the first blank
// line, then a small Markdown subset (see docs/guide/README.md).
struct Guide {
    QMap<QString, QString> meta;   // keys in lower case: title, subtitle, contents, ...
    QList<Block> blocks;
};

// Bold (**...**), italic (*...*), code (`...`); a backslash keeps the next
// character as it is. A marker left open is an error.
std::optional<Inline> parseInline(const QString& text, QString* error);

// Fails with a message naming the line for a construct it cannot read.
std::optional<Guide> parseGuide(const QString& text, QString* error);

QString plainText(const Inline& text);

} // namespace kr::guide
