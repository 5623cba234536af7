// Moving an archive: a single user's file into the team's server, or back.
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "archive/Archive.h"
#include "core/Readings.h"

namespace kr {

namespace {

QSqlQuery select(const QSqlDatabase& db, const QString& sql, const QVariantList& values = {})
{
    QSqlQuery q(db);
    if (!q.prepare(sql))
        throw ArchiveError(q.lastError().text().toStdString());
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec())
        throw ArchiveError(q.lastError().text().toStdString());
    return q;
}

// An empty text, not NULL, for a comparison with coalesce(column, '').
QString nonNull(const QString& text) { return text.isNull() ? QString::fromLatin1("") : text; }

} // namespace

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
        QSqlQuery q = select(db, QStringLiteral("SELECT id, kind, path, size, hash, meter, port, completeness, happened "
                                                "FROM sources ORDER BY coalesce(happened, kept), id"));
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
            QSqlQuery q = select(to.db,
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
        QSqlQuery files = select(db,
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
