#include "mainwindow/SubFileList.h"

#include <QAbstractItemView>
#include <algorithm>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include "core/Readings.h"
#include "platform/Text.h"

namespace kr {

SubFileRow subFileRow(const TFile& doc, int fileNo)
{
    SubFileRow row;
    const int used = doc.CountUsed(fileNo);
    row.bold = used > 0;
    row.fileText = QStringLiteral("File :%1").arg(fileNo);
    row.recordsText = QStringLiteral("Records :%1").arg(used);
    row.comment = fromCp1252(doc.GetComment(fileNo));
    return row;
}

SubFileColumns subFileColumns(const QFontMetrics& fm)
{
    SubFileColumns c;
    c.file = 5;
    c.records = 5 + fm.horizontalAdvance(QStringLiteral("File 88XX"));
    c.comment = 5 + fm.horizontalAdvance(QStringLiteral("File 88XXItems :88XX"));
    // The measure names "Items" while the row says "Records": with two-digit
    // counts the comment would touch the count, so it keeps a small gap.
    c.comment = std::max(c.comment, c.records + fm.horizontalAdvance(QStringLiteral("Records :88")) + 6);
    return c;
}

void paintSubFileRow(QPainter* p, const QRect& rect, const TFile& doc, int fileNo, const QFont& baseFont,
                     const QPalette& palette, bool highlighted)
{
    const SubFileRow row = subFileRow(doc, fileNo);
    p->save();
    p->fillRect(rect, palette.color(QPalette::Base));
    p->fillRect(rect.adjusted(1, 1, -1, -1), palette.color(highlighted ? QPalette::Highlight : QPalette::Base));
    QFont font = baseFont;
    font.setBold(row.bold);
    p->setFont(font);
    p->setPen(palette.color(highlighted ? QPalette::HighlightedText : QPalette::Text));
    const SubFileColumns cols = subFileColumns(QFontMetrics(font));
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    p->setClipRect(rect);
    p->drawText(rect.adjusted(cols.file, 0, 0, 0), flags, row.fileText);
    p->drawText(rect.adjusted(cols.records, 0, 0, 0), flags, row.recordsText);
    p->drawText(rect.adjusted(cols.comment, 0, 0, 0), flags, row.comment);
    p->restore();
}

TSubFileList::TSubFileList(const TFile& document, QWidget* parent) : QComboBox(parent), doc(document)
{
    setEditable(false);
    for (int n = 1; n <= TFile::FileCount; ++n)
        addItem(QString::number(n));
    setMaxVisibleItems(TFile::FileCount);
    setItemDelegate(new TSubFileDelegate(doc, this));
    setCurrentIndex(0);
}

void TSubFileList::Repaint()
{
    update();
    if (view())
        view()->viewport()->update();
}

void TSubFileList::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    opt.currentText.clear();
    painter.drawComplexControl(QStyle::CC_ComboBox, opt);
    if (currentIndex() < 0)
        return;
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
    QRect row(field.left(), field.top() + (field.height() - RowHeight) / 2, field.width(), RowHeight);
    paintSubFileRow(&painter, row, doc, CurrentFile(), font(), palette(), false);
}

void TSubFileDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const bool highlighted = option.state & (QStyle::State_Selected | QStyle::State_MouseOver);
    paintSubFileRow(painter, option.rect, doc, index.row() + 1, option.font, option.palette, highlighted);
}

QSize TSubFileDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return {option.rect.width() > 0 ? option.rect.width() : 200, TSubFileList::RowHeight};
}

} // namespace kr
