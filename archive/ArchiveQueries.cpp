// Searching the archive, and what a user may do with what it finds: open a
// source as a document, remove it, put it in a job.
#include <QSqlError>
#include <QVariant>
#include <algorithm>
#include <cmath>

#include "archive/Archive.h"
#include "core/Readings.h"
#include "platform/Text.h"

namespace kr {

namespace {

qint64 secondsAt(const QDate& date) { return QDateTime(date, QTime(0, 0), Qt::UTC).toSecsSinceEpoch(); }

QString like(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('%'), QLatin1String("\\%"))
        .replace(QLatin1Char('_'), QLatin1String("\\_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

// A WHERE clause with its values, in the order of its placeholders, and the
// sets of meter files it names, each found once before the readings are.
struct Where {
    QStringList conditions;
    QVariantList values;
    QStringList files;  // "name AS MATERIALIZED (...)"
    QVariantList fileValues;
    void add(const QString& condition, const QVariantList& bound = {})
    {
        conditions << condition;
        values << bound;
    }
    QString With() const { return files.isEmpty() ? QString() : QStringLiteral("WITH ") + files.join(QStringLiteral(", ")) + QLatin1Char(' '); }
    QString Sql() const { return conditions.isEmpty() ? QString() : QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND ")); }
    // The meter files that `condition` picks (m: meter_files, s: sources,
    // j: jobs), as a named set.
    QString fileSet(const QString& condition, const QVariantList& bound)
    {
        return namedSet(QStringLiteral("SELECT m.source_id, m.file_no FROM meter_files m JOIN sources s "
                                       "ON s.id = m.source_id LEFT JOIN jobs j ON j.id = m.job_id WHERE %1")
                            .arg(condition),
                        bound);
    }
    // A set of (source_id, file_no) that `select` gives.
    QString namedSet(const QString& select, const QVariantList& bound)
    {
        QString name = QStringLiteral("files%1").arg(files.size());
        files << QStringLiteral("%1 AS MATERIALIZED (%2)").arg(name, select);
        fileValues << bound;
        return name;
    }
};

// The ids of the readings held in a set of meter files, by their first
// source or a later one. The set leads: it is small, the readings are many.
QString heldIn(const QString& files)
{
    return QStringLiteral("SELECT r2.id FROM %1 f CROSS JOIN readings r2 ON r2.source_id = f.source_id "
                          "AND r2.file_no = f.file_no UNION ALL SELECT h.reading_id FROM %1 f CROSS JOIN holdings h "
                          "ON h.source_id = f.source_id CROSS JOIN readings r3 ON r3.id = h.reading_id "
                          "AND r3.file_no = f.file_no")
        .arg(files);
}

// The queries are written once, in the SQL both engines read; the few words
// where PostgreSQL differs are put in here: its LIKE minds case (SQLite's
// does not, for ASCII), its list aggregate and its "no limit" have other
// names, a join is planned by the server, and a job's name is unique by
// lower(name), not by a collation.
QString dialect(const QSqlDatabase& db, const QString& sql)
{
    if (db.driverName() != QLatin1String("QPSQL"))
        return sql;
    QString out = sql;
    out.replace(QLatin1String(" LIKE "), QLatin1String(" ILIKE "))
        .replace(QLatin1String("group_concat("), QLatin1String("string_agg("))
        .replace(QLatin1String("LIMIT -1"), QLatin1String("LIMIT ALL"))
        .replace(QLatin1String("ON CONFLICT (name)"), QLatin1String("ON CONFLICT ((lower(name)))"))
        // SQLite's CROSS JOIN ... ON fixes the order of the loops; a server plans its own.
        .replace(QLatin1String(" CROSS JOIN "), QLatin1String(" JOIN "));
    return out;
}

QSqlQuery prepared(const QSqlDatabase& db, const QString& text, const QVariantList& values)
{
    const QString sql = dialect(db, text);
    QSqlQuery q(db);
    // SQLite hands rows over as they are read. A server's driver would do
    // that only by holding the connection until the last row, and every
    // other query on it meanwhile would drop them: there a result comes whole.
    q.setForwardOnly(db.driverName() != QLatin1String("QPSQL"));
    // A statement without values runs as it is: a server prepares no CREATE or PRAGMA.
    if (values.isEmpty()) {
        if (!q.exec(sql))
            throw ArchiveError(q.lastError().text().toStdString());
        return q;
    }
    if (!q.prepare(sql))
        throw ArchiveError(q.lastError().text().toStdString());
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec())
        throw ArchiveError(q.lastError().text().toStdString());
    return q;
}

} // namespace

bool ArchiveFilter::IsEmpty() const
{
    return job.isEmpty() && site.isEmpty() && meter.isEmpty() && species.isEmpty() && text.isEmpty() && !since.isValid()
        && !until.isValid() && !moistureLow && !moistureHigh && sourceId == 0;
}

bool ParseMoistureRange(const QString& text, std::optional<double>& low, std::optional<double>& high)
{
    const qsizetype dash = text.indexOf(QLatin1Char('-'));
    if (dash < 0)
        return false;
    auto number = [](const QString& part, std::optional<double>& to) {
        if (part.trimmed().isEmpty())
            return true;
        bool ok = false;
        const double value = part.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(value) || value < 0)
            return false;
        to = value;
        return true;
    };
    std::optional<double> l, h;
    if (!number(text.left(dash), l) || !number(text.mid(dash + 1), h) || (!l && !h) || (l && h && *l > *h))
        return false;
    low = l;
    high = h;
    return true;
}

namespace {

// The ids of the readings a text names: in a species, a reading's note, a
// meter file's comment, a document's notes or a job. Its one condition is
// the select.
Where textIds(const QString& text, bool pg)
{
    Where w;
    const QString t = like(text);
    // Comments and notes are found through their index of three-letter
    // pieces; a text shorter than that is looked for in each of them. On a
    // server the indexes serve the LIKE itself.
    const bool indexed = !pg && text.toUcs4().size() >= 3;
    const QString phrase = QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
    const QVariant inTexts = indexed ? QVariant(phrase) : QVariant(t);
    // Each text is looked at once where it is kept (a document's notes
    // once, not once for each of its meter files), then its meter files.
    // A document's notes (row source_id * 32 of the index) reach all its
    // meter files.
    const QString inFiles =
        (indexed ? QStringLiteral(
                       "SELECT rowid >> 5 AS source_id, rowid & 31 AS file_no FROM comment_text WHERE comment_text "
                       "MATCH ? AND rowid & 31 <> 0 UNION SELECT m.source_id, m.file_no FROM comment_text t "
                       "CROSS JOIN meter_files m ON m.source_id = t.rowid >> 5 WHERE comment_text MATCH ? AND "
                       "t.rowid & 31 = 0 ")
                 : QStringLiteral(
                       "SELECT source_id, file_no FROM meter_files WHERE comment LIKE ? ESCAPE '\\' UNION SELECT "
                       "m.source_id, m.file_no FROM sources s CROSS JOIN meter_files m ON m.source_id = s.id WHERE "
                       "s.notes LIKE ? ESCAPE '\\' "))
        + QStringLiteral(
            "UNION SELECT m.source_id, m.file_no FROM jobs j JOIN meter_files m ON m.job_id = j.id "
            "WHERE j.name LIKE ? ESCAPE '\\' OR j.site LIKE ? ESCAPE '\\' OR j.client LIKE ? ESCAPE '\\' "
            "OR j.notes LIKE ? ESCAPE '\\'");
    QVariantList values{inTexts, inTexts};
    for (int i = 0; i < 4; ++i)
        values << t;
    const QString inNotes = indexed ? QStringLiteral("SELECT n.reading_id FROM note_text x CROSS JOIN notes n ON "
                                                     "n.id = x.rowid WHERE note_text MATCH ?")
                                    : QStringLiteral("SELECT reading_id FROM notes WHERE note LIKE ? ESCAPE '\\'");
    // One set of ids, not an OR the planner would search three times.
    w.add(QStringLiteral("SELECT id FROM readings WHERE species_id IN (SELECT id FROM species WHERE name "
                         "LIKE ? ESCAPE '\\') UNION ALL %1 UNION ALL %2")
              .arg(inNotes, heldIn(w.namedSet(inFiles, values))),
          QVariantList{t, inTexts});
    return w;
}

// `hits`: the table holding the ids of the readings the filter's text names.
Where whereOf(const QSqlDatabase& db, const ArchiveFilter& f, const QString& hits)
{
    Where w;
    if (!f.species.isEmpty()) {
        // Resolved here: one species lets the index give the readings in time order.
        QStringList ids;
        QSqlQuery q = prepared(db, QStringLiteral("SELECT id FROM species WHERE name LIKE ? ESCAPE '\\'"), {like(f.species)});
        while (q.next())
            ids << q.value(0).toString();
        w.add(ids.isEmpty() ? QStringLiteral("false")
                            : ids.size() == 1 ? QStringLiteral("r.species_id = ") + ids.front()
                                              : QStringLiteral("r.species_id IN (%1)").arg(ids.join(QLatin1Char(','))));
    }
    if (f.since.isValid())
        w.add(QStringLiteral("r.taken >= ?"), {secondsAt(f.since)});
    if (f.until.isValid())
        w.add(QStringLiteral("r.taken < ?"), {secondsAt(f.until.addDays(1))});
    // Unread readings (ArchiveNoValue) are outside every moisture range.
    if (f.moistureLow || f.moistureHigh)
        w.add(QStringLiteral("r.moisture >= ?"), {f.moistureLow ? std::llround(*f.moistureLow * 100) : 0});
    if (f.moistureHigh)
        w.add(QStringLiteral("r.moisture <= ?"), {std::llround(*f.moistureHigh * 100)});
    if (f.sourceId != 0)
        w.add(QStringLiteral("(r.source_id = ? OR r.id IN (SELECT reading_id FROM holdings WHERE source_id = ?))"),
              {f.sourceId, f.sourceId});
    Where files;
    if (!f.job.isEmpty())
        files.add(QStringLiteral("m.job_id IN (SELECT id FROM jobs WHERE lower(name) = lower(?))"), {f.job});
    if (!f.site.isEmpty())
        files.add(QStringLiteral("m.job_id IN (SELECT id FROM jobs WHERE site LIKE ? ESCAPE '\\')"), {like(f.site)});
    if (!f.meter.isEmpty())
        files.add(QStringLiteral("s.meter = ?"), {f.meter});
    if (!files.conditions.isEmpty())
        w.add(QStringLiteral("r.id IN (%1)").arg(heldIn(w.fileSet(files.conditions.join(QStringLiteral(" AND ")), files.values))));
    if (!hits.isEmpty())
        w.add(QStringLiteral("r.id IN (SELECT id FROM %1)").arg(hits));
    return w;
}

} // namespace

// A window asks for the readings, their count, their sources and their
// figures of one search in turn: the readings a text names are found once
// and kept in a temporary table until the text or the archive changes.
QString TArchive::textHits(const QString& text) const
{
    if (text.isEmpty())
        return {};
    // The set is kept while nothing changed: SQLite counts the changes other
    // programs made to the file; on a server every transaction that writes
    // anything takes the next transaction number.
    auto changes = [this] {
        QSqlQuery q = prepared(db, pg ? QStringLiteral("SELECT pg_snapshot_xmax(pg_current_snapshot())::text::bigint")
                                      : QStringLiteral("PRAGMA data_version"), {});
        const qint64 version = q.next() ? q.value(0).toLongLong() : -1;
        q.finish();
        return version;
    };
    const qint64 version = changes();
    if (!hits.text.isEmpty() && hits.text == text && hits.version == version && hits.writes == writes)
        return QStringLiteral("text_hits");
    hits.text.clear();
    prepared(db, QStringLiteral("DELETE FROM text_hits"), {});
    const Where w = textIds(text, pg);
    // A server cannot know how few meter files a text names and would join
    // them by sorting or hashing every reading: 25 times slower than looking
    // each up by its index, as SQLite does. Only this statement goes so.
    struct IndexJoins {
        const QSqlDatabase& db;
        bool on;
        IndexJoins(const QSqlDatabase& d, bool server) : db(d), on(server)
        {
            if (!on)
                return;
            prepared(db, QStringLiteral("SET enable_mergejoin = off"), {});
            prepared(db, QStringLiteral("SET enable_hashjoin = off"), {});
        }
        ~IndexJoins()
        {
            if (!on)
                return;
            QSqlQuery(db).exec(QStringLiteral("RESET enable_mergejoin"));
            QSqlQuery(db).exec(QStringLiteral("RESET enable_hashjoin"));
        }
    } indexJoins(db, pg);
    prepared(db, w.With() + QStringLiteral("INSERT INTO text_hits SELECT id FROM (%1) x WHERE true ON CONFLICT DO NOTHING")
                                .arg(w.conditions.front()),
             w.fileValues + w.values);
    hits = {text, version, writes};
    // The two statements above took two numbers; more, and another program
    // wrote meanwhile, which the next search then finds.
    if (pg) {
        const qint64 after = changes();
        if (after - version <= 2)
            hits.version = after;
    }
    return QStringLiteral("text_hits");
}

ArchiveCursor TArchive::Readings(const ArchiveFilter& filter) const
{
    const Where w = whereOf(db, filter, textHits(filter.text));
    // On a server a page of ids at a time, each page after the last row read.
    auto statement = [this, &w](bool after) {
        QString where = w.Sql();
        if (after)
            where += (where.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND "))
                // The first half lets the identity's index, which starts with
                // the time, find the page's first row.
                + QStringLiteral("r.taken <= (SELECT taken FROM readings WHERE id = ?) AND "
                                 "(r.taken, r.id) < ((SELECT taken FROM readings WHERE id = ?), ?)");
        return w.With() + QStringLiteral(
            "SELECT r.id, %2, r.file_no, r.slot, sp.name, "
            "CASE WHEN r.sg = " KR_ARCHIVE_NO_VALUE " THEN NULL ELSE r.sg / 100.0 END, "
            "CASE WHEN r.moisture = " KR_ARCHIVE_NO_VALUE " THEN NULL ELSE r.moisture / 100.0 END, r.temperature, r.source_id, s.meter, "
            "m.comment, "
            "coalesce((SELECT j.name FROM jobs j WHERE j.id = m.job_id), (SELECT j.name FROM holdings h "
            "JOIN meter_files m2 ON m2.source_id = h.source_id AND m2.file_no = r.file_no JOIN jobs j ON j.id = "
            "m2.job_id WHERE h.reading_id = r.id LIMIT 1)), "
            "(SELECT n.note FROM notes n WHERE n.reading_id = r.id ORDER BY n.source_id DESC LIMIT 1) "
            // The ids are put in order first, the columns then read for the
            // rows fetched only: a wide search sorts numbers, not texts.
            "FROM (SELECT r.id FROM readings r%1 ORDER BY r.taken DESC, r.id DESC LIMIT %4) o "
            "CROSS JOIN readings r ON r.id = o.id JOIN species sp ON sp.id = r.species_id "
            "JOIN sources s ON s.id = r.source_id "
            "LEFT JOIN meter_files m ON m.source_id = r.source_id AND m.file_no = r.file_no%3")
            .arg(where,
                 // The colons as \072: Qt would take ":MI" for a named placeholder.
                 pg ? QStringLiteral("to_char(to_timestamp(r.taken) AT TIME ZONE 'UTC', E'YYYY-MM-DD\"T\"HH24\\072MI\\072SS')")
                    : QStringLiteral("strftime('%Y-%m-%dT%H:%M:%S', r.taken, 'unixepoch')"),
                 // SQLite keeps the order of the sorted ids; a server's plan need not.
                 pg ? QStringLiteral(" ORDER BY r.taken DESC, r.id DESC") : QString(),
                 pg ? QString::number(ServerPageRows) : QStringLiteral("-1"));
    };
    const QVariantList values = w.fileValues + w.values;
    if (!pg)
        return ArchiveCursor(prepared(db, statement(false), values));
    return ArchiveCursor(
        [this, first = statement(false), after = statement(true), values](qint64 id) {
            return id == 0 ? prepared(db, first, values) : prepared(db, after, values + QVariantList{id, id, id});
        },
        ServerPageRows);
}

qint64 TArchive::CountReadings(const ArchiveFilter& filter) const
{
    const Where w = whereOf(db, filter, textHits(filter.text));
    QSqlQuery q = prepared(db, w.With() + QStringLiteral("SELECT count(*) FROM readings r") + w.Sql(),
                           w.fileValues + w.values);
    return q.next() ? q.value(0).toLongLong() : 0;
}

ArchiveCursor TArchive::Sources(const ArchiveFilter& filter) const
{
    QString where, with;
    QVariantList values;
    if (filter.sourceId != 0 && filter.IsEmpty() == false) {
        ArchiveFilter rest = filter;
        rest.sourceId = 0;
        if (rest.IsEmpty()) {
            where = QStringLiteral(" WHERE s.id = ?");
            values << filter.sourceId;
        }
    }
    if (where.isEmpty() && !filter.IsEmpty()) {
        const Where w = whereOf(db, filter, textHits(filter.text));
        where = QStringLiteral(" WHERE s.id IN (SELECT r.source_id FROM readings r%1 UNION SELECT h.source_id FROM "
                               "holdings h JOIN readings r ON r.id = h.reading_id%1)")
                    .arg(w.Sql());
        values = w.fileValues + w.values + w.values;
        with = w.With();
    }
    auto statement = [&](bool after) {
        QString condition = where;
        if (after)
            condition += (condition.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND "))
                + QStringLiteral("(coalesce(s.happened, s.kept), s.id) < ((SELECT coalesce(happened, kept) FROM sources "
                                 "WHERE id = ?), ?)");
        return with + QStringLiteral("SELECT s.id, s.kind, s.happened, s.meter, s.port, s.completeness, s.path, "
                       "(SELECT count(*) FROM readings WHERE source_id = s.id) + "
                       "(SELECT count(*) FROM holdings WHERE source_id = s.id), "
                       "(SELECT group_concat(comment, '; ') FROM meter_files WHERE source_id = s.id AND comment <> ''), "
                       "(SELECT group_concat(name, '; ') FROM jobs WHERE id IN (SELECT job_id FROM meter_files WHERE "
                       "source_id = s.id)), s.kept "
                       "FROM sources s%1 ORDER BY coalesce(s.happened, s.kept) DESC, s.id DESC%2")
            .arg(condition, pg ? QStringLiteral(" LIMIT %1").arg(ServerPageRows) : QString());
    };
    if (!pg)
        return ArchiveCursor(prepared(db, statement(false), values));
    return ArchiveCursor(
        [this, first = statement(false), after = statement(true), values](qint64 id) {
            return id == 0 ? prepared(db, first, values) : prepared(db, after, values + QVariantList{id, id});
        },
        ServerPageRows);
}

std::vector<TArchive::Figures> TArchive::Statistics(const ArchiveFilter& filter, double rangeLow, double rangeHigh) const
{
    const Where w = whereOf(db, filter, textHits(filter.text));
    // Zeros are counted apart, unread readings left out, as at a glance.
    QSqlQuery q = prepared(
        db,
        w.With() + QStringLiteral("SELECT sp.name, max(r.sg) = " KR_ARCHIVE_NO_VALUE ", sum(CASE WHEN r.moisture <> " KR_ARCHIVE_NO_VALUE " THEN 1 ELSE 0 END), "
                       "sum(CASE WHEN r.moisture = 0 THEN 1 ELSE 0 END), "
                       "sum(CASE WHEN r.moisture > 0 AND r.moisture BETWEEN %1 AND %2 THEN 1 ELSE 0 END), avg(CASE WHEN r.moisture > 0 THEN "
                       "r.moisture END), min(CASE WHEN r.moisture > 0 THEN r.moisture END), max(r.moisture) "
                       "FROM readings r JOIN species sp ON sp.id = r.species_id%3 GROUP BY sp.name, r.sg = " KR_ARCHIVE_NO_VALUE " "
                       "ORDER BY r.sg = " KR_ARCHIVE_NO_VALUE ", sp.name")
            .arg(std::llround(rangeLow * 100))
            .arg(std::llround(rangeHigh * 100))
            .arg(w.Sql()),
        w.fileValues + w.values);
    std::vector<Figures> out;
    Figures all;
    double sum = 0;
    int measured = 0;
    while (q.next()) {
        Figures f;
        f.species = q.value(0).toString();
        f.reference = q.value(1).toBool();
        f.count = q.value(2).toInt();
        f.zeros = q.value(3).toInt();
        f.inRange = q.value(4).toInt();
        const int above = f.count - f.zeros;
        f.mean = q.value(5).toDouble() / 100;
        f.low = q.value(6).toDouble() / 100;
        f.high = std::max(0.0, q.value(7).toDouble() / 100);
        if (f.count == 0)
            continue;
        if (!f.reference) {
            all.count += f.count;
            all.zeros += f.zeros;
            all.inRange += f.inRange;
            if (above > 0) {
                all.low = measured == 0 ? f.low : std::min(all.low, f.low);
                all.high = std::max(all.high, f.high);
                sum += f.mean * above;
                measured += above;
            }
        }
        out.push_back(f);
    }
    all.mean = measured > 0 ? sum / measured : 0;
    // "All" follows the wood lines, before the reference scales.
    const auto firstReference = std::find_if(out.begin(), out.end(), [](const Figures& f) { return f.reference; });
    if (all.count > 0)
        out.insert(firstReference, all);
    return out;
}

void TArchive::Export(qint64 sourceId, TFile& doc) const
{
    QSqlQuery q = prepared(db, QStringLiteral("SELECT notes FROM sources WHERE id = ?"), {sourceId});
    if (!q.next())
        throw ArchiveError(QStringLiteral("The archive holds no download or file %1.").arg(sourceId).toStdString());
    std::vector<std::string> lines;
    for (const QString& line : q.value(0).toString().split(QStringLiteral("\r\n")))
        lines.push_back(toCp1252(line));
    if (!lines.empty() && lines.back().empty())
        lines.pop_back();
    doc.SetNotes(lines);
    q.finish();
    q = prepared(db, QStringLiteral("SELECT file_no, comment FROM meter_files WHERE source_id = ?"), {sourceId});
    while (q.next())
        doc.SetComment(q.value(0).toInt(), toCp1252(q.value(1).toString()));
    q.finish();
    q = prepared(db,
                 QStringLiteral("SELECT r.taken, r.file_no, r.slot, sp.name, r.sg, r.moisture, r.temperature, n.note "
                                "FROM readings r JOIN species sp ON sp.id = r.species_id LEFT JOIN notes n ON "
                                "n.reading_id = r.id AND n.source_id = ? WHERE r.source_id = ? OR r.id IN (SELECT "
                                "reading_id FROM holdings WHERE source_id = ?)"),
                 {sourceId, sourceId, sourceId});
    while (q.next()) {
        TReading& r = doc.GetReading(q.value(1).toInt(), q.value(2).toInt());
        const std::string species = toCp1252(q.value(3).toString());
        r.SetSpecies(species.empty() ? std::string(1, ' ') : species);  // a blank name the meter used
        r.SetDateTime(double(q.value(0).toLongLong()) / 86400.0 + 25569.0);
        const qint64 sg = q.value(4).toLongLong();
        r.SetSGApplies(sg != ArchiveNoValue ? 1 : 0);
        r.SetSG(sg != ArchiveNoValue ? sg / 100.0L : 0);
        const qint64 moisture = q.value(5).toLongLong();
        if (moisture == ArchiveNoValue)
            r.SetMoistureUnread();
        else
            r.SetMoisture(moisture / 100.0L);
        r.SetTemperature(q.value(6).toInt());
        r.SetNote(toCp1252(q.value(7).toString()));
    }
}

int TArchive::Remove(qint64 sourceId)
{
    ++writes;
    QSqlQuery q = prepared(db, QStringLiteral("SELECT 1 FROM sources WHERE id = ?"), {sourceId});
    if (!q.next())
        throw ArchiveError(QStringLiteral("The archive holds no download or file %1.").arg(sourceId).toStdString());
    q.finish();
    if (!db.transaction())
        throw ArchiveError(db.lastError().text().toStdString());
    int removed = 0;
    try {
        const QString s = QString::number(sourceId);
        // Readings only this source held leave; the others pass to the next
        // source that held them.
        for (const QString& sql :
             {QStringLiteral("DELETE FROM notes WHERE source_id = %1"),
              QStringLiteral("DELETE FROM readings WHERE source_id = %1 AND id NOT IN (SELECT reading_id FROM holdings)"),
              QStringLiteral("CREATE TEMP TABLE moved AS SELECT id AS reading_id, (SELECT min(h.source_id) FROM "
                             "holdings h WHERE h.reading_id = readings.id AND h.source_id <> %1) AS to_source "
                             "FROM readings WHERE source_id = %1"),
              QStringLiteral("DELETE FROM holdings WHERE source_id = %1"),
              QStringLiteral("DELETE FROM holdings WHERE (reading_id, source_id) IN (SELECT reading_id, to_source "
                             "FROM moved)"),
              QStringLiteral("UPDATE readings SET source_id = (SELECT to_source FROM moved WHERE reading_id = "
                             "readings.id) WHERE source_id = %1"),
              QStringLiteral("DROP TABLE moved"), QStringLiteral("DELETE FROM sources WHERE id = %1")}) {
            QSqlQuery step = prepared(db, QString(sql).replace(QLatin1String("%1"), s), {});
            if (sql.startsWith(QLatin1String("DELETE FROM readings")))
                removed = step.numRowsAffected();
        }
        if (!db.commit())
            throw ArchiveError(db.lastError().text().toStdString());
    } catch (const ArchiveError&) {
        db.rollback();
        QSqlQuery(db).exec(QStringLiteral("DROP TABLE IF EXISTS moved"));
        throw;
    }
    return removed;
}

qint64 TArchive::ReadingsOnlyIn(qint64 sourceId) const
{
    // Such a reading names this source as its first, and no other holds it.
    QSqlQuery q = prepared(db,
                           QStringLiteral("SELECT count(*) FROM readings WHERE source_id = ? AND id NOT IN (SELECT "
                                          "reading_id FROM holdings)"),
                           {sourceId});
    return q.next() ? q.value(0).toLongLong() : 0;
}

qint64 TArchive::SaveJob(const Job& job)
{
    ++writes;
    if (job.name.trimmed().isEmpty())
        throw ArchiveError("A job needs a name.");
    prepared(db,
             QStringLiteral("INSERT INTO jobs (name, site, client, notes) VALUES (?, coalesce(?, ''), coalesce(?, ''), coalesce(?, '')) "
                            "ON CONFLICT (name) DO "
                            "UPDATE SET site = excluded.site, client = excluded.client, notes = excluded.notes"),
             {job.name.trimmed(), job.site, job.client, job.notes});
    QSqlQuery q = prepared(db, QStringLiteral("SELECT id FROM jobs WHERE lower(name) = lower(?)"), {job.name.trimmed()});
    return q.next() ? q.value(0).toLongLong() : 0;
}

std::vector<TArchive::Job> TArchive::Jobs() const
{
    QSqlQuery q = prepared(
        db,
        QStringLiteral("SELECT j.id, j.name, j.site, j.client, j.notes, (SELECT count(*) FROM meter_files m WHERE "
                       "m.job_id = j.id), (SELECT count(*) FROM meter_files m JOIN readings r ON r.source_id = "
                       "m.source_id AND r.file_no = m.file_no WHERE m.job_id = j.id) FROM jobs j ORDER BY j.name"),
        {});
    std::vector<Job> jobs;
    while (q.next())
        jobs.push_back({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(),
                        q.value(4).toString(), q.value(5).toInt(), q.value(6).toInt()});
    return jobs;
}

int TArchive::Assign(qint64 sourceId, int fileNo, const QString& jobName)
{
    ++writes;
    QVariant jobId;
    if (!jobName.isEmpty()) {
        QSqlQuery q = prepared(db, QStringLiteral("SELECT id FROM jobs WHERE lower(name) = lower(?)"), {jobName});
        if (!q.next())
            throw ArchiveError(QStringLiteral("There is no job \"%1\" in the archive.").arg(jobName).toStdString());
        jobId = q.value(0);
    }
    QSqlQuery q = prepared(db, QStringLiteral("SELECT 1 FROM sources WHERE id = ?"), {sourceId});
    if (!q.next())
        throw ArchiveError(QStringLiteral("The archive holds no download or file %1.").arg(sourceId).toStdString());
    q.finish();
    q = fileNo == 0 ? prepared(db, QStringLiteral("UPDATE meter_files SET job_id = ? WHERE source_id = ?"), {jobId, sourceId})
                    : prepared(db, QStringLiteral("UPDATE meter_files SET job_id = ? WHERE source_id = ? AND file_no = ?"),
                               {jobId, sourceId, fileNo});
    return q.numRowsAffected();
}

void TArchive::RemoveJob(const QString& name)
{
    ++writes;
    QSqlQuery q = prepared(db, QStringLiteral("DELETE FROM jobs WHERE lower(name) = lower(?)"), {name});
    if (q.numRowsAffected() == 0)
        throw ArchiveError(QStringLiteral("There is no job \"%1\" in the archive.").arg(name).toStdString());
}

std::optional<TArchive::Job> TArchive::FindJob(const QString& name) const
{
    for (const Job& job : Jobs())
        if (job.name.compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return job;
    return std::nullopt;
}

namespace {

// Conditions are kept as the readings' times are: the wall-clock time as
// seconds, no zone.
qint64 wallSeconds(const QDateTime& when) { return QDateTime(when.date(), when.time(), Qt::UTC).toSecsSinceEpoch(); }
QDateTime wallTime(qint64 seconds)
{
    const QDateTime utc = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
    return QDateTime(utc.date(), utc.time());
}

qint64 jobId(const QSqlDatabase& db, const QString& name)
{
    QSqlQuery q = prepared(db, QStringLiteral("SELECT id FROM jobs WHERE lower(name) = lower(?)"), {name.trimmed()});
    if (!q.next())
        throw ArchiveError(QStringLiteral("There is no job \"%1\" in the archive.").arg(name).toStdString());
    return q.value(0).toLongLong();
}

} // namespace

qint64 TArchive::AddConditions(const QString& jobName, const SiteConditions& c)
{
    ++writes;
    if (!std::isfinite(c.celsius) || !std::isfinite(c.humidity) || !c.when.isValid())
        throw ArchiveError("Site conditions need a time, a temperature and a relative humidity.");
    QSqlQuery q = prepared(db,
                           QStringLiteral("INSERT INTO site_conditions (job_id, taken, celsius, humidity, note) "
                                          "VALUES (?, ?, ?, ?, coalesce(?, '')) RETURNING id"),
                           {jobId(db, jobName), wallSeconds(c.when), c.celsius, c.humidity, c.note});
    return q.next() ? q.value(0).toLongLong() : 0;
}

std::vector<TArchive::SiteConditions> TArchive::Conditions(const QString& jobName) const
{
    QSqlQuery q = prepared(db,
                           QStringLiteral("SELECT id, taken, celsius, humidity, note FROM site_conditions "
                                          "WHERE job_id = ? ORDER BY taken, id"),
                           {jobId(db, jobName)});
    std::vector<SiteConditions> all;
    while (q.next())
        all.push_back({q.value(0).toLongLong(), wallTime(q.value(1).toLongLong()), q.value(2).toDouble(),
                       q.value(3).toDouble(), q.value(4).toString()});
    return all;
}

std::vector<TArchive::JobSource> TArchive::SourcesOf(const QString& jobName) const
{
    QSqlQuery q = prepared(db,
                           // A file saved from a download knows its meter through the readings the download brought.
                           QStringLiteral("SELECT s.id, coalesce(s.happened, s.kept), coalesce(s.meter, (SELECT s2.meter "
                                          "FROM holdings h JOIN readings r ON r.id = h.reading_id JOIN sources s2 ON "
                                          "s2.id = r.source_id WHERE h.source_id = s.id AND s2.meter IS NOT NULL LIMIT 1), ''), "
                                          "m.file_no "
                                          "FROM meter_files m JOIN sources s ON s.id = m.source_id "
                                          "WHERE m.job_id = ? ORDER BY coalesce(s.happened, s.kept), s.id, m.file_no"),
                           {jobId(db, jobName)});
    std::vector<JobSource> all;
    while (q.next()) {
        const qint64 id = q.value(0).toLongLong();
        if (all.empty() || all.back().sourceId != id)
            all.push_back({id, QDateTime::fromString(q.value(1).toString(), Qt::ISODate), q.value(2).toString(), {}});
        all.back().files.push_back(q.value(3).toInt());
    }
    return all;
}

namespace {

// An empty text, not NULL, for a comparison with coalesce(column, '').
QString nonNull(const QString& text) { return text.isNull() ? QString::fromLatin1("") : text; }

} // namespace

// Moving an archive: a single user's file into the team's server, or back.
TArchive::Copied TArchive::CopyInto(TArchive& to, const std::function<void(int, int)>& progress) const
{
    Copied copied;
    for (const Job& job : Jobs()) {
        if (!to.FindJob(job.name))
            to.SaveJob(job);
        const std::vector<SiteConditions> there = to.Conditions(job.name);
        for (const SiteConditions& c : Conditions(job.name)) {
            const bool known = std::any_of(there.begin(), there.end(), [&](const SiteConditions& t) {
                return t.when == c.when && t.celsius == c.celsius && t.humidity == c.humidity && t.note == c.note;
            });
            if (!known)
                to.AddConditions(job.name, c);
        }
    }
    struct Row {
        qint64 id;
        Source source;
    };
    std::vector<Row> rows;
    {
        QSqlQuery q = prepared(db, QStringLiteral("SELECT id, kind, path, size, hash, meter, port, completeness, happened "
                                                  "FROM sources ORDER BY coalesce(happened, kept), id"), {});
        while (q.next()) {
            Source s;
            const QString kind = q.value(1).toString();
            s.kind = kind == QLatin1String("download") ? Source::Download
                     : kind == QLatin1String("backup") ? Source::Backup
                                                        : Source::File;
            s.path = q.value(2).toString();
            s.size = q.value(3).isNull() ? -1 : q.value(3).toLongLong();
            s.hash = q.value(4).toString();
            s.meter = q.value(5).toString();
            s.port = q.value(6).toString();
            s.completeness = q.value(7).toString();
            s.when = QDateTime::fromString(q.value(8).toString(), Qt::ISODate);
            rows.push_back({q.value(0).toLongLong(), s});
        }
    }
    int done = 0;
    for (const Row& row : rows) {
        if (progress)
            progress(done, int(rows.size()));
        ++done;
        // A file is known again by its bytes; a download, which has none, by
        // its time, meter and port.
        if (row.source.kind == Source::Download) {
            QSqlQuery q = prepared(to.db,
                                 QStringLiteral("SELECT 1 FROM sources WHERE kind = 'download' AND coalesce(happened, '') = ? AND "
                                                "coalesce(meter, '') = ? AND coalesce(port, '') = ?"),
                                 {nonNull(row.source.when.isValid() ? row.source.when.toString(Qt::ISODate) : QString()),
                                  nonNull(row.source.meter), nonNull(row.source.port)});
            if (q.next()) {
                ++copied.already;
                continue;
            }
        }
        TKRFile doc;
        Export(row.id, doc);
        const Kept kept = to.Keep(doc, row.source);
        if (kept.already) {
            ++copied.already;
            continue;
        }
        ++copied.sources;
        QSqlQuery files = prepared(db,
                                 QStringLiteral("SELECT m.file_no, j.name FROM meter_files m JOIN jobs j ON j.id = "
                                                "m.job_id WHERE m.source_id = ?"),
                                 {row.id});
        std::vector<std::pair<int, QString>> assigned;
        while (files.next())
            assigned.emplace_back(files.value(0).toInt(), files.value(1).toString());
        files.finish();
        for (const auto& [fileNo, job] : assigned)
            to.Assign(kept.sourceId, fileNo, job);
    }
    if (progress)
        progress(done, int(rows.size()));
    return copied;
}

} // namespace kr
