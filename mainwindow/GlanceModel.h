#pragma once
#include <QAbstractTableModel>
#include <vector>

#include "core/Statistics.h"

namespace kr {

class TFile;

// The statistics table of "Readings at a glance" as a model: one row per meter
// file that holds wood readings, then the whole document; below them, when
// there are any, a heading row and one row per reference scale. No widgets,
// so the window's texts can be checked without one.
class TGlanceTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { File, Readings, Zeros, Mean, Min, Max, Sd, InRange, Comment, ColumnCount };

    explicit TGlanceTableModel(const TFile& doc, QObject* parent = nullptr);

    // Computes the figures anew: after the document or the range changed.
    void refresh(const MoistureRange& range);
    const std::vector<MoistureStatistics>& lines() const { return table; }
    const std::vector<ReferenceStatistics>& referenceLines() const { return reference; }
    // The "Reference scales" row, -1 without reference-scale readings.
    int referenceHeadingRow() const { return reference.empty() ? -1 : int(table.size()); }
    const MoistureRange& range() const { return currentRange; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QString text(const MoistureStatistics& s, int column) const;
    static QString text(const ReferenceStatistics& s, int column);
    QVariant referenceData(int row, int column, int role) const;

    const TFile& doc;
    MoistureRange currentRange;
    std::vector<MoistureStatistics> table;
    std::vector<ReferenceStatistics> reference;
};

} // namespace kr
