#include "mainwindow/GlanceModel.h"

#include <QBrush>
#include <QGuiApplication>
#include <QPalette>

#include "core/Readings.h"
#include "platform/Text.h"
#include "platform/ui/Contrast.h"

namespace kr {

namespace {

const char* const Headings[] = {"File", "Readings", "Zeros", "Mean %", "Min %", "Max %", "SD", "In range", "Comment"};
const char* const Tips[] = {
    "The meter file; All: every reading of the document",
    "Readings above 0 %",
    "Readings of 0 %: the meter measured nothing. Left out of the figures.",
    "Mean moisture content",
    "Lowest moisture content",
    "Highest moisture content",
    "Sample standard deviation (n - 1); needs two readings",
    "Share of the readings inside the target range, both ends included",
    "The meter file's comment",
};

} // namespace

TGlanceTableModel::TGlanceTableModel(const TFile& document, QObject* parent)
    : QAbstractTableModel(parent), doc(document), table(StatisticsTable(document, currentRange))
{
}

void TGlanceTableModel::refresh(const MoistureRange& range)
{
    beginResetModel();
    currentRange = range;
    table = StatisticsTable(doc, range);
    endResetModel();
}

int TGlanceTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(table.size()); }

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
    case Comment: return s.number == 0 ? QStringLiteral("the whole document") : fromCp1252(doc.GetComment(s.number));
    }
    return {};
}

QVariant TGlanceTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(table.size()))
        return {};
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
        return QBrush(mixed(QGuiApplication::palette().color(QPalette::Base),
                            QGuiApplication::palette().color(QPalette::Highlight), 0.18));
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
