#pragma once
#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QFontMetrics>
#include <array>
#include <functional>
#include <vector>

namespace kr {

class TFile;

// The grid's columns, by the position they are drawn at.
namespace grid {
constexpr int ColumnCount = 7;
constexpr int ReadingRows = 25;
constexpr int RowHeight = 16;
constexpr int TextMargin = 5;
// Widths set when the window is created; a first run fits them to the texts.
constexpr int DesignWidths[ColumnCount] = {10, 40, 120, 40, 40, 300, 64};
constexpr int MinFirstColumnWidth = 30;

// Text of the cell at grid row `row` (0 is the header row, 1..25 the readings
// of meter file `fileNo`) and column position `position`.
QString cellText(const TFile& doc, int fileNo, int row, int position, bool centigrade);
// A cell by grid row (1..25) and the column position it is drawn at.
struct CellAt {
    int row = 0;
    int position = 0;
};
// Chosen cells as spreadsheets take them: one line per row, top to bottom,
// the cells left to right as drawn, separated by tabs, lines joined by line
// feeds. A cell inside that span that was not chosen is empty. Tabs and
// line breaks within a text become blanks so they cannot split a cell.
QString cellsText(const std::vector<CellAt>& cells, const std::function<QString(int row, int position)>& text);
// Right-aligned for Rec., temperature, SG and MC; left-aligned otherwise.
Qt::Alignment cellAlignment(int position);
// The width a cell needs to show all of `text` between its margins and grid line.
int fittedWidth(const QFontMetrics& metrics, const QString& text);
// Per column position, the width its header and the longest text it shows
// for any meter file of the document need.
std::array<int, ColumnCount> contentWidths(const TFile& doc, bool centigrade, const QFontMetrics& cells,
                                           const QFontMetrics& headers);
} // namespace grid

// The data grid's contents: 25 reading rows and the header, read straight
// from the document on every paint, so the view never holds stale copies.
// Contents go by column position: a column the user drags elsewhere takes
// only its width along, and the texts stay where they were.
class TDataGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TDataGridModel(const TFile& document, std::function<int()> currentFile,
                   std::function<bool()> centigrade, QObject* parent = nullptr);

    // Maps a column (logical index) to the position it is drawn at.
    void setPositionOf(std::function<int(int)> positionOf);
    // Everything shown may have changed: the file, the scale or the document.
    void refresh();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    int position(int column) const { return positionOf ? positionOf(column) : column; }

    const TFile& doc;
    std::function<int()> currentFile;
    std::function<bool()> centigrade;
    std::function<int(int)> positionOf;
};

// Draws a cell's text 5 pixels in from its edge, top-aligned, over the
// grid's own background and selection colours.
class TDataGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace kr
