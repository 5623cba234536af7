#include "mainwindow/GlanceModel.h"

#include <QBrush>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>

#include "core/Readings.h"
#include "platform/Text.h"
#include "platform/ui/Contrast.h"

namespace kr {

namespace {

const char* const Headings[] = {"File", "Readings", "Zeros", "Mean %", "Min %", "Max %", "SD", "In range", "Comment"};
const char* const Tips[] = {
    "The meter file; All: every wood reading of the document; below: each reference scale",
    "Readings above 0 %",
    "Readings of 0 %: the meter measured nothing. Left out of the figures.",
    "Mean moisture content",
    "Lowest moisture content",
    "Highest moisture content",
    "Sample standard deviation (n - 1); needs two readings",
    "Share of the readings inside the target range, both ends included",
    "The meter file's comment",
};

// A faint tint of the table's own colour, so the text reads in any palette.
QBrush tinted(QPalette::ColorRole toward, double share)
{
    const QPalette palette = QGuiApplication::palette();
    return QBrush(mixed(palette.color(QPalette::Base), palette.color(toward), share));
}

} // namespace

TGlanceTableModel::TGlanceTableModel(const TFile& document, QObject* parent)
    : QAbstractTableModel(parent), doc(document), table(StatisticsTable(document, currentRange)),
      reference(ReferenceTable(document))
{
}

void TGlanceTableModel::refresh(const MoistureRange& range)
{
    beginResetModel();
    currentRange = range;
    table = StatisticsTable(doc, range);
    reference = ReferenceTable(doc);
    endResetModel();
}

int TGlanceTableModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return int(table.size() + (reference.empty() ? 0 : 1 + reference.size()));
}

int TGlanceTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QString TGlanceTableModel::text(const MoistureStatistics& s, int column) const
{
    const bool figures = s.hasFigures();
    switch (column) {
    case File: return s.number == 0 ? QStringLiteral("All") : QString::number(s.number);
    case Readings: return QString::number(s.count);
    case Zeros: return QString::number(s.zeros);
    case Mean: return figures ? fromCp1252(MoistureFigureText(s.mean)) : QString();
    case Min: return figures ? fromCp1252(MoistureFigureText(s.min)) : QString();
    case Max: return figures ? fromCp1252(MoistureFigureText(s.max)) : QString();
    case Sd: return fromCp1252(SdText(s));
    case InRange: return figures ? fromCp1252(InRangePercentText(s)) + QStringLiteral(" %") : QString();
    case Comment:
        if (s.number != 0)
            return fromCp1252(doc.GetComment(s.number));
        return reference.empty() ? QStringLiteral("the whole document")
                                 : QStringLiteral("the wood readings of the whole document");
    }
    return {};
}

// A scale's readings are no wood moisture: no target range, no spread.
QString TGlanceTableModel::text(const ReferenceStatistics& s, int column)
{
    const bool figures = s.hasFigures();
    switch (column) {
    case File: return fromCp1252(s.species);
    case Readings: return QString::number(s.count);
    case Zeros: return QString::number(s.zeros);
    case Mean: return figures ? fromCp1252(MoistureFigureText(s.mean)) : QString();
    case Min: return figures ? fromCp1252(MoistureFigureText(s.min)) : QString();
    case Max: return figures ? fromCp1252(MoistureFigureText(s.max)) : QString();
    case Comment: return fromCp1252(ReferenceFilesText(s));
    }
    return {};
}

QVariant TGlanceTableModel::referenceData(int row, int column, int role) const
{
    const bool heading = row == referenceHeadingRow();
    switch (role) {
    case Qt::DisplayRole:
        if (heading)
            return column == File ? QStringLiteral("Reference scales") : QString();
        return text(reference[std::size_t(row - referenceHeadingRow() - 1)], column);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(column == File || column == Comment ? Qt::AlignLeft | Qt::AlignVCenter
                                                                       : Qt::AlignRight | Qt::AlignVCenter);
    case Qt::FontRole:
        if (heading) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::BackgroundRole: return tinted(QPalette::Text, 0.06);
    case Qt::ToolTipRole:
        return QStringLiteral("Readings without an SG, taken on a reference scale: not wood moisture content, "
                              "so in no line above");
    }
    return {};
}

QVariant TGlanceTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (index.row() >= int(table.size()))
        return referenceData(index.row(), index.column(), role);
    const MoistureStatistics& s = table[std::size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole: return text(s, index.column());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(index.column() == Comment ? Qt::AlignLeft | Qt::AlignVCenter
                                                             : Qt::AlignRight | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        // The document's line stands apart from the meter files': a tint of
        // the selection colour on the table's own, so its text reads in a
        // light and a dark palette alike.
        if (s.number != 0)
            return {};
        return tinted(QPalette::Highlight, 0.18);
    }
    return {};
}

QVariant TGlanceTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QLatin1String(Headings[section]);
    if (role == Qt::ToolTipRole)
        return QLatin1String(Tips[section]);
    return {};
}

} // namespace kr
