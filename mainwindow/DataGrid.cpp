#include "mainwindow/DataGrid.h"

#include <algorithm>
#include <set>
#include <utility>

#include <QApplication>
#include <QPainter>

#include "core/Readings.h"
#include "platform/Text.h"

namespace kr {

namespace grid {

QString cellText(const TFile& doc, int fileNo, int row, int position, bool centigrade)
{
    if (row == 0) {
        switch (position) {
        case 0: return QStringLiteral("Rec.");
        case 1: return QStringLiteral("Date/Time");
        case 2: return fromCp1252(centigrade ? "\xB0" "C" : "\xB0" "F");
        case 3: return QStringLiteral("Species");
        case 4: return QStringLiteral("SG");
        case 5: return QStringLiteral("MC");
        case 6: return QStringLiteral("Notes");
        default: return {};
        }
    }
    const TReading& reading = doc.GetReading(fileNo, row);
    switch (position) {
    case 0: return reading.IsUsed() ? QString::number(row) : QString();
    case 1: return reading.IsUsed() ? fromCp1252(reading.GetDateTimeText()) : QString();
    case 2: return fromCp1252(reading.GetTemperatureText(centigrade));
    case 3: return fromCp1252(reading.GetSpecies());
    case 4: return fromCp1252(reading.GetSGText());
    case 5: return fromCp1252(reading.GetMoistureText());
    case 6: return fromCp1252(reading.GetNote());
    default: return {};
    }
}

QString cellsText(const std::vector<CellAt>& cells, const std::function<QString(int row, int position)>& text)
{
    std::set<int> rows;
    std::set<int> positions;
    std::set<std::pair<int, int>> chosen;
    for (const CellAt& c : cells) {
        rows.insert(c.row);
        positions.insert(c.position);
        chosen.insert({c.row, c.position});
    }
    QStringList lines;
    for (const int row : rows) {
        QStringList fields;
        for (const int position : positions) {
            QString field = chosen.contains({row, position}) ? text(row, position) : QString();
            for (QChar& ch : field)
                if (ch == QLatin1Char('\t') || ch == QLatin1Char('\r') || ch == QLatin1Char('\n'))
                    ch = QLatin1Char(' ');
            fields << field;
        }
        lines << fields.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n'));
}

Qt::Alignment cellAlignment(int position)
{
    switch (position) {
    case 0:
    case 2:
    case 4:
    case 5: return Qt::AlignRight | Qt::AlignTop;
    default: return Qt::AlignLeft | Qt::AlignTop;
    }
}

} // namespace grid

TDataGridModel::TDataGridModel(const TFile& document, std::function<int()> file, std::function<bool()> scale,
                               QObject* parent)
    : QAbstractTableModel(parent), doc(document), currentFile(std::move(file)), centigrade(std::move(scale))
{
}

void TDataGridModel::setPositionOf(std::function<int(int)> map)
{
    positionOf = std::move(map);
    refresh();
}

void TDataGridModel::refresh()
{
    emit headerDataChanged(Qt::Horizontal, 0, grid::ColumnCount - 1);
    emit dataChanged(index(0, 0), index(grid::ReadingRows - 1, grid::ColumnCount - 1));
}

int TDataGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : grid::ReadingRows;
}

int TDataGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : grid::ColumnCount;
}

QVariant TDataGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const int pos = position(index.column());
    if (role == Qt::DisplayRole)
        return grid::cellText(doc, currentFile(), index.row() + 1, pos, centigrade());
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(grid::cellAlignment(pos));
    return {};
}

QVariant TDataGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    const int pos = position(section);
    if (role == Qt::DisplayRole)
        return grid::cellText(doc, currentFile(), 0, pos, centigrade());
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue((grid::cellAlignment(pos) & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter);
    return {};
}

void TDataGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    const Qt::Alignment align = opt.displayAlignment;
    opt.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    if (text.isEmpty())
        return;
    painter->save();
    const bool selected = opt.state & QStyle::State_Selected;
    painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(opt.font);
    const QRect r = opt.rect.adjusted(grid::TextMargin, 0, -grid::TextMargin, 0);
    painter->setClipRect(opt.rect);
    painter->drawText(r, int(align) | Qt::TextSingleLine, text);
    painter->restore();
}

// The width paint() needs, so that fitting a column shows its whole text.
QSize TDataGridDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    return {grid::fittedWidth(opt.fontMetrics, opt.text), grid::RowHeight};
}

int grid::fittedWidth(const QFontMetrics& metrics, const QString& text)
{
    return metrics.horizontalAdvance(text) + 2 * TextMargin + 1;
}

std::array<int, grid::ColumnCount> grid::contentWidths(const TFile& doc, bool centigrade, const QFontMetrics& cells,
                                                       const QFontMetrics& headers)
{
    std::array<int, ColumnCount> widths{};
    for (int pos = 0; pos < ColumnCount; ++pos) {
        widths[std::size_t(pos)] = fittedWidth(headers, cellText(doc, 1, 0, pos, centigrade));
        for (int file = 1; file <= TFile::FileCount; ++file)
            for (int row = 1; row <= ReadingRows; ++row)
                widths[std::size_t(pos)] =
                    std::max(widths[std::size_t(pos)], fittedWidth(cells, cellText(doc, file, row, pos, centigrade)));
    }
    return widths;
}

} // namespace kr
