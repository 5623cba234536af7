#pragma once
#include <QAbstractTableModel>
#include <QVariant>
#include <functional>
#include <vector>

#include "archive/Archive.h"

namespace kr {

// The rows of one of the archive's queries for a view, read from the
// database as the view scrolls down to them: the archive's queries go
// forward only, which QSqlQueryModel cannot take, and running each search
// again just for it would double its cost. Rows read stay for scrolling back.
class TLiveQueryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // Takes the query (executed) and reads its first rows.
    void SetQuery(ArchiveCursor query);
    // Lets the query go, so that a change to the archive does not run under it.
    void Clear();
    QVariant Value(int row, int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    std::vector<QVariant> readRows(int count);
    ArchiveCursor query;
    std::vector<QVariant> values;  // row after row
    int columns = 0;
    bool more = false;
};

// The archive's readings as the window lists them: a live query whose rows
// are fetched as the view scrolls to them, its texts as the main grid writes
// them (dates, the user's temperature scale, SG and moisture blank when the
// reading has none).
class TArchiveReadingsModel : public TLiveQueryModel {
    Q_OBJECT
public:
    TArchiveReadingsModel(std::function<bool()> centigrade, QObject* parent = nullptr);

    // The query's columns a user has no use for (row ids).
    static bool Hidden(int column);
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::function<bool()> centigrade;
};

// The downloads, data files and backups that hold what the search finds.
class TArchiveSourcesModel : public TLiveQueryModel {
    Q_OBJECT
public:
    using TLiveQueryModel::TLiveQueryModel;

    static bool Hidden(int column);
    qint64 SourceId(int row) const;
    // "download", "data file" or "backup": how the window names a source's kind.
    QString KindName(int row) const;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
};

// The archive's "at a glance" figures: a line per wood species, the line
// "All", then, under a heading of their own, the reference scales.
class TArchiveFiguresModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Species, Readings, Zeros, Mean, Low, High, InRange, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    void SetFigures(std::vector<TArchive::Figures> figures);
    // The wood lines (species, then "All") and the reference scales, in the
    // order shown.
    const std::vector<TArchive::Figures>& Wood() const { return wood; }
    const std::vector<TArchive::Figures>& Reference() const { return reference; }
    // The "Reference scales" row, -1 when there is none.
    int ReferenceHeadingRow() const { return reference.empty() ? -1 : int(wood.size()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const TArchive::Figures* line(int row) const;
    std::vector<TArchive::Figures> wood;
    std::vector<TArchive::Figures> reference;
};

// "8.5" with the regional separator, as the glance writes moisture.
QString ArchiveFigureText(double value);
// An archive time ("2026-03-05T09:01:00") as the main grid shows a reading's.
QString ArchiveTimeText(const QString& iso);

} // namespace kr
