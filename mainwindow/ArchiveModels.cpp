#include "mainwindow/ArchiveModels.h"

#include <QDateTime>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <QSqlRecord>
#include <iterator>
#include <algorithm>

#include "core/Readings.h"
#include "core/Regional.h"
#include "core/Statistics.h"
#include "platform/Text.h"
#include "platform/ui/Contrast.h"

namespace kr {

namespace {

QVariant rightAligned() { return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter); }

QBrush tinted(QPalette::ColorRole toward, double share)
{
    const QPalette palette = QGuiApplication::palette();
    return QBrush(mixed(palette.color(QPalette::Base), palette.color(toward), share));
}

// A view reads this many rows at a time as it scrolls.
constexpr int RowsAtOnce = 256;

// The reading a row describes, so its texts come from the same code as the grid's.
void fillReading(TKRReading& reading, const std::function<QVariant(int column)>& value)
{
    // Kept readings are in use, a blank species among them.
    const std::string species = toCp1252(value(TArchive::RSpecies).toString());
    reading.SetSpecies(species.empty() ? std::string(" ") : species);
    const QDateTime taken = QDateTime::fromString(value(TArchive::RTaken).toString(), Qt::ISODate);
    if (taken.isValid())
        reading.SetDateTime(EncodeDate(taken.date().year(), taken.date().month(), taken.date().day())
                            + EncodeTime(taken.time().hour(), taken.time().minute(), taken.time().second(), 0));
    reading.SetTemperature(value(TArchive::RTemperature).toInt());
    const QVariant sg = value(TArchive::RSG);
    reading.SetSGApplies(sg.isNull() ? 0 : 1);
    reading.SetSG(sg.toDouble());
    reading.SetMoisture(value(TArchive::RMoisture).toDouble());
}

} // namespace

QString ArchiveFigureText(double value) { return fromCp1252(MoistureFigureText(value)); }

QString ArchiveTimeText(const QString& iso)
{
    const QDateTime when = QDateTime::fromString(iso, Qt::ISODate);
    if (!when.isValid())
        return iso;
    const QDate d = when.date();
    const QTime t = when.time();
    return fromCp1252(DateTimeToSystemText(EncodeDate(d.year(), d.month(), d.day())
                                           + EncodeTime(t.hour(), t.minute(), t.second(), 0)));
}

// ---- live query -------------------------------------------------------------

// The rows go and come rather than the model being reset, so that the
// view keeps its columns as the user sized and ordered them.
void TLiveQueryModel::SetQuery(ArchiveCursor q)
{
    const int newColumns = q.isActive() ? int(q.record().count()) : 0;
    if (newColumns != columns) {
        beginResetModel();
        query = std::move(q);
        values.clear();
        columns = newColumns;
        more = query.isActive() && query.isSelect();
        values = readRows(RowsAtOnce);
        endResetModel();
        return;
    }
    Clear();
    query = std::move(q);
    more = query.isActive() && query.isSelect();
    std::vector<QVariant> read = readRows(RowsAtOnce);
    if (read.empty())
        return;
    beginInsertRows({}, 0, int(read.size() / std::size_t(columns)) - 1);
    values = std::move(read);
    endInsertRows();
}

void TLiveQueryModel::Clear()
{
    more = false;
    query = ArchiveCursor();
    if (values.empty())
        return;
    beginRemoveRows({}, 0, rowCount() - 1);
    values.clear();
    endRemoveRows();
}

std::vector<QVariant> TLiveQueryModel::readRows(int count)
{
    std::vector<QVariant> read;
    for (int r = 0; r < count && more; ++r) {
        if (!query.next()) {
            // All read: the statement goes, the rows stay.
            more = false;
            query.finish();
            break;
        }
        for (int c = 0; c < columns; ++c)
            read.push_back(query.value(c));
    }
    return read;
}

QVariant TLiveQueryModel::Value(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columns)
        return {};
    return values[std::size_t(row) * std::size_t(columns) + std::size_t(column)];
}

int TLiveQueryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || columns == 0 ? 0 : int(values.size() / std::size_t(columns));
}

int TLiveQueryModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columns; }

bool TLiveQueryModel::canFetchMore(const QModelIndex& parent) const { return !parent.isValid() && more; }

void TLiveQueryModel::fetchMore(const QModelIndex& parent)
{
    if (parent.isValid() || !more)
        return;
    std::vector<QVariant> read = readRows(RowsAtOnce);
    if (read.empty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + int(read.size() / std::size_t(columns)) - 1);
    values.insert(values.end(), std::make_move_iterator(read.begin()), std::make_move_iterator(read.end()));
    endInsertRows();
}

// ---- readings ---------------------------------------------------------------

TArchiveReadingsModel::TArchiveReadingsModel(std::function<bool()> isCentigrade, QObject* parent)
    : TLiveQueryModel(parent), centigrade(std::move(isCentigrade))
{
}

bool TArchiveReadingsModel::Hidden(int column) { return column == TArchive::RId || column == TArchive::RSourceId; }

QVariant TArchiveReadingsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const int column = index.column();
    if (role == Qt::TextAlignmentRole) {
        switch (column) {
        case TArchive::RFileNo:
        case TArchive::RSlot:
        case TArchive::RSG:
        case TArchive::RMoisture:
        case TArchive::RTemperature: return rightAligned();
        default: return {};
        }
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const auto value = [this, &index](int c) { return Value(index.row(), c); };
    if (role == Qt::ToolTipRole)
        return column == TArchive::RComment || column == TArchive::RNote || column == TArchive::RJob ? value(column)
                                                                                                     : QVariant();
    TKRReading reading;
    switch (column) {
    case TArchive::RTaken:
    case TArchive::RTemperature:
    case TArchive::RSG:
    case TArchive::RMoisture: fillReading(reading, value); break;
    default: return value(column);
    }
    switch (column) {
    case TArchive::RTaken: return fromCp1252(reading.GetDateTimeText());
    case TArchive::RTemperature: return fromCp1252(reading.GetTemperatureText(centigrade()));
    case TArchive::RSG: return fromCp1252(reading.GetSGText());
    default: return value(column).isNull() ? QString() : fromCp1252(reading.GetMoistureText());
    }
}

QVariant TArchiveReadingsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case TArchive::RTaken: return QStringLiteral("Date/Time");
    case TArchive::RFileNo: return QStringLiteral("File");
    case TArchive::RSlot: return QStringLiteral("Rec.");
    case TArchive::RSpecies: return QStringLiteral("Species");
    case TArchive::RSG: return QStringLiteral("SG");
    case TArchive::RMoisture: return QStringLiteral("MC");
    case TArchive::RTemperature: return fromCp1252(centigrade() ? "\xB0" "C" : "\xB0" "F");
    case TArchive::RMeter: return QStringLiteral("Meter");
    case TArchive::RComment: return QStringLiteral("File comment");
    case TArchive::RJob: return QStringLiteral("Job");
    case TArchive::RNote: return QStringLiteral("Note");
    default: return {};
    }
}

// ---- sources ----------------------------------------------------------------

bool TArchiveSourcesModel::Hidden(int column)
{
    return column == TArchive::SId || column == TArchive::SPort || column == TArchive::SCompleteness
        || column == TArchive::SKept;
}

qint64 TArchiveSourcesModel::SourceId(int row) const { return Value(row, TArchive::SId).toLongLong(); }

QString TArchiveSourcesModel::KindName(int row) const
{
    const QString kind = Value(row, TArchive::SKind).toString();
    return kind == QLatin1String("file") ? QStringLiteral("data file") : kind;
}

QVariant TArchiveSourcesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const int column = index.column();
    if (role == Qt::TextAlignmentRole)
        return column == TArchive::SReadings ? rightAligned() : QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const auto value = [this, &index](int c) { return Value(index.row(), c); };
    const bool download = value(TArchive::SKind).toString() == QLatin1String("download");
    const QString completeness = value(TArchive::SCompleteness).toString();
    switch (column) {
    case TArchive::SKind: {
        QString kind = KindName(index.row());
        if (!kind.isEmpty())
            kind[0] = kind[0].toUpper();
        // A download cut short says so where the user looks first.
        if (download && !completeness.isEmpty() && completeness != QLatin1String("complete"))
            kind += QStringLiteral(" (%1)").arg(completeness);
        return kind;
    }
    case TArchive::SHappened: return ArchiveTimeText(value(column).toString());
    case TArchive::SPath:
        if (download)
            return value(TArchive::SPort).isNull() ? QString()
                                                   : QStringLiteral("port %1").arg(value(TArchive::SPort).toString());
        return QDir::toNativeSeparators(value(column).toString());
    default: return value(column);
    }
}

QVariant TArchiveSourcesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case TArchive::SKind: return QStringLiteral("Kind");
    case TArchive::SHappened: return QStringLiteral("When");
    case TArchive::SMeter: return QStringLiteral("Meter");
    case TArchive::SPath: return QStringLiteral("From");
    case TArchive::SReadings: return QStringLiteral("Readings");
    case TArchive::SComments: return QStringLiteral("File comments");
    case TArchive::SJobs: return QStringLiteral("Jobs");
    default: return {};
    }
}

// ---- figures ----------------------------------------------------------------

void TArchiveFiguresModel::SetFigures(std::vector<TArchive::Figures> figures)
{
    beginResetModel();
    wood.clear();
    reference.clear();
    for (TArchive::Figures& f : figures)
        (f.reference ? reference : wood).push_back(std::move(f));
    // The species by name, and the line of all wood last, whatever order they came in.
    std::stable_sort(wood.begin(), wood.end(), [](const TArchive::Figures& a, const TArchive::Figures& b) {
        if (a.species.isEmpty() != b.species.isEmpty())
            return b.species.isEmpty();
        return QString::localeAwareCompare(a.species, b.species) < 0;
    });
    std::stable_sort(reference.begin(), reference.end(), [](const TArchive::Figures& a, const TArchive::Figures& b) {
        return QString::localeAwareCompare(a.species, b.species) < 0;
    });
    endResetModel();
}

int TArchiveFiguresModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return int(wood.size() + (reference.empty() ? 0 : 1 + reference.size()));
}

int TArchiveFiguresModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

const TArchive::Figures* TArchiveFiguresModel::line(int row) const
{
    if (row < int(wood.size()))
        return &wood[std::size_t(row)];
    if (row == ReferenceHeadingRow())
        return nullptr;
    return &reference[std::size_t(row - int(wood.size()) - 1)];
}

QVariant TArchiveFiguresModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TArchive::Figures* f = line(index.row());
    const int column = index.column();
    if (role == Qt::FontRole && !f) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    if (role == Qt::BackgroundRole) {
        if (!f || f->reference)
            return tinted(QPalette::Text, 0.06);
        return f->species.isEmpty() ? tinted(QPalette::Highlight, 0.18) : QVariant();
    }
    if (role == Qt::TextAlignmentRole)
        return column == Species ? QVariant() : rightAligned();
    if (role != Qt::DisplayRole)
        return {};
    if (!f)
        return column == Species ? QStringLiteral("Reference scales") : QString();
    // The archive counts zeros among the readings; the table, as the glance's, apart.
    const int above = f->count - f->zeros;
    const bool figures = above > 0;
    switch (column) {
    case Species: return f->species.isEmpty() ? QStringLiteral("All") : f->species;
    case Readings: return above;
    case Zeros: return f->zeros;
    case Mean: return figures ? ArchiveFigureText(f->mean) : QString();
    case Low: return figures ? ArchiveFigureText(f->low) : QString();
    case High: return figures ? ArchiveFigureText(f->high) : QString();
    case InRange: {
        // A scale's readings are no wood moisture: no target range for them.
        if (!figures || f->reference)
            return QString();
        MoistureStatistics s;
        s.count = above;
        s.inRange = f->inRange;
        return fromCp1252(InRangePercentText(s)) + QStringLiteral(" %");
    }
    }
    return {};
}

QVariant TArchiveFiguresModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const Headings[] = {"Species", "Readings", "Zeros", "Mean %", "Min %", "Max %", "In range"};
    static const char* const Tips[] = {
        "The species; All: every wood reading found; below: each reference scale",
        "Readings above 0 %",
        "Readings of 0 %: the meter measured nothing. Left out of the figures.",
        "Mean moisture content",
        "Lowest moisture content",
        "Highest moisture content",
        "Share of the readings inside the target range, both ends included",
    };
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QLatin1String(Headings[section]);
    if (role == Qt::ToolTipRole)
        return QLatin1String(Tips[section]);
    return {};
}

} // namespace kr
