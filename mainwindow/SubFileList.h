#pragma once
#include <QAbstractItemDelegate>
#include <QComboBox>
#include <QFontMetrics>

namespace kr {

class TFile;

// What one row of the meter-file list shows.
struct SubFileRow {
    bool bold = false;       // the meter file holds readings
    QString fileText;        // "File :" and the number
    QString recordsText;     // "Records :" and the count of readings
    QString comment;
};
SubFileRow subFileRow(const TFile& doc, int fileNo);

// Where the three texts start, from the row's left edge, measured in the
// row's own font so the columns line up from row to row of the same weight:
// "File" at 5, "Records" after the width of "File 88XX", the comment after
// the width of "File 88XXItems :88XX" but never closer than a small gap
// after the widest count.
struct SubFileColumns {
    int file = 0;
    int records = 0;
    int comment = 0;
};
SubFileColumns subFileColumns(const QFontMetrics& metrics);

// Draws meter file `fileNo` into `rect`.
void paintSubFileRow(QPainter* painter, const QRect& rect, const TFile& doc, int fileNo, const QFont& font,
                     const QPalette& palette, bool highlighted);

// The drop-down list of the 25 meter files ("1" to "25"), every row drawn
// from the document: bold when the file holds readings, with its record
// count and comment. The closed box shows the selected file the same way.
class TSubFileList : public QComboBox {
    Q_OBJECT
public:
    static constexpr int RowHeight = 14;

    explicit TSubFileList(const TFile& document, QWidget* parent = nullptr);
    // Current meter file, 1..25.
    int CurrentFile() const { return currentIndex() + 1; }
    // Repaints the closed box and the open list (after a comment changed).
    void Repaint();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const TFile& doc;
};

class TSubFileDelegate : public QAbstractItemDelegate {
    Q_OBJECT
public:
    TSubFileDelegate(const TFile& document, QObject* parent) : QAbstractItemDelegate(parent), doc(document) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const TFile& doc;
};

} // namespace kr
