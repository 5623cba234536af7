#include "archive/Archive.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <algorithm>

#include "core/Errors.h"
#include "core/Mtlutils.h"
#include "core/Readings.h"
#include "platform/Text.h"

namespace kr {

namespace {

// One statement per line; the readings' identity is what the meter measured
// where it kept it, so the same reading arriving again is found, not added.
const char* const Schema[] = {
    "CREATE TABLE schema_version (version INTEGER NOT NULL)",
    "CREATE TABLE sources ("
    " id INTEGER PRIMARY KEY,"
    " kind TEXT NOT NULL CHECK (kind IN ('download', 'file', 'backup')),"
    " path TEXT, size INTEGER, hash TEXT,"
    " meter TEXT, port TEXT, completeness TEXT,"
    " happened TEXT, kept TEXT NOT NULL, notes TEXT,"
    " UNIQUE (kind, hash))",
    "CREATE TABLE meter_files ("
    " source_id INTEGER NOT NULL REFERENCES sources (id) ON DELETE CASCADE,"
    " file_no INTEGER NOT NULL CHECK (file_no BETWEEN 1 AND 25),"
    " comment TEXT NOT NULL,"
    " PRIMARY KEY (source_id, file_no)) WITHOUT ROWID",
    "CREATE TABLE readings ("
    " id INTEGER PRIMARY KEY,"
    " file_no INTEGER NOT NULL, slot INTEGER NOT NULL, taken TEXT NOT NULL,"
    " species TEXT NOT NULL, sg REAL NOT NULL, sg_applies INTEGER NOT NULL,"
    " moisture REAL NOT NULL, unread INTEGER NOT NULL, temperature INTEGER NOT NULL,"
    " UNIQUE (taken, file_no, slot, species, sg, sg_applies, moisture, unread, temperature))",
    "CREATE TABLE holdings ("
    " source_id INTEGER NOT NULL REFERENCES sources (id) ON DELETE CASCADE,"
    " reading_id INTEGER NOT NULL REFERENCES readings (id),"
    " note TEXT NOT NULL,"
    " PRIMARY KEY (source_id, reading_id)) WITHOUT ROWID",
    "CREATE INDEX holdings_by_reading ON holdings (reading_id)",
    "CREATE INDEX readings_by_species ON readings (species, taken)",
};

const char* kindName(TArchive::Source::Kind kind)
{
    switch (kind) {
    case TArchive::Source::Download: return "download";
    case TArchive::Source::Backup: return "backup";
    case TArchive::Source::File: break;
    }
    return "file";
}

QString isoTime(TDateTime value)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, minute, second, msec);
    return QStringLiteral("%1-%2-%3T%4:%5:%6")
        .arg(year, 4, 10, QLatin1Char('0'))
        .arg(month, 2, 10, QLatin1Char('0'))
        .arg(day, 2, 10, QLatin1Char('0'))
        .arg(hour, 2, 10, QLatin1Char('0'))
        .arg(minute, 2, 10, QLatin1Char('0'))
        .arg(second, 2, 10, QLatin1Char('0'));
}

bool looksLikeSqlite(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.read(16) == QByteArray("SQLite format 3\0", 16);
}

bool isDataFile(const QString& name)
{
    return name.endsWith(QStringLiteral(".krx"), Qt::CaseInsensitive)
        || (name.startsWith(QStringLiteral("data"), Qt::CaseInsensitive)
            && name.endsWith(QStringLiteral(".bak"), Qt::CaseInsensitive));
}

} // namespace

QString ArchivePathIn(const QString& folder) { return folder + QLatin1Char('/') + QLatin1String(TArchive::FileName); }

QString TArchive::ImportSummary::Sentence() const
{
    const QLocale english(QLocale::English);
    QString text = QStringLiteral("%1 %2: %3 imported, %4 already in the archive")
                       .arg(english.toString(files), files == 1 ? QStringLiteral("file") : QStringLiteral("files"),
                            english.toString(imported), english.toString(already));
    if (!unreadable.isEmpty())
        text += QStringLiteral(", %1 unreadable (listed)").arg(english.toString(int(unreadable.size())));
    return text + QLatin1Char('.');
}

TArchive::TArchive(const QString& path) : connection(QUuid::createUuid().toString())
{
    const QString shown = QDir::toNativeSeparators(path);
    const bool existed = QFileInfo::exists(path);
    if (existed && QFileInfo(path).size() > 0 && !looksLikeSqlite(path))
        throw ArchiveError(QStringLiteral("%1 is not a readings archive; it is left as it is.").arg(shown).toStdString());
    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(path);
    // A locked archive waits a moment for the other program, then says so.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    auto fail = [&](const QString& why) {
        const QString text = QStringLiteral("The archive %1 cannot be used: %2").arg(shown, why);
        // No destructor runs for a constructor that throws.
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connection);
        throw ArchiveError(text.toStdString());
    };
    if (!db.open())
        fail(db.lastError().text());
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_schema")) || !q.next())
        fail(q.lastError().text());
    if (q.value(0).toInt() == 0) {
        createSchema();
    } else {
        if (!q.exec(QStringLiteral("SELECT version FROM schema_version")) || !q.next())
            fail(QStringLiteral("it is not a readings archive; it is left as it is."));
        const int version = q.value(0).toInt();
        if (version > SchemaVersion)
            fail(QStringLiteral("it was made by a newer version of this program (archive version %1, this program "
                                "knows %2); it is left as it is.")
                     .arg(version)
                     .arg(SchemaVersion));
    }
    if (!q.exec(QStringLiteral("PRAGMA foreign_keys = ON")) || !q.exec(QStringLiteral("PRAGMA journal_mode = WAL")))
        fail(q.lastError().text());
}

TArchive::~TArchive()
{
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(connection);
}

void TArchive::createSchema()
{
    QSqlQuery q(db);
    bool ok = db.transaction();
    for (const char* statement : Schema)
        ok = ok && q.exec(QLatin1String(statement));
    ok = ok && q.exec(QStringLiteral("INSERT INTO schema_version VALUES (%1)").arg(SchemaVersion));
    if (!ok || !db.commit()) {
        const QString why = q.lastError().isValid() ? q.lastError().text() : db.lastError().text();
        db.rollback();
        throw ArchiveError(QStringLiteral("The archive %1 could not be made: %2")
                               .arg(QDir::toNativeSeparators(db.databaseName()), why)
                               .toStdString());
    }
}

qint64 TArchive::keepReading(const TFile& doc, int fileNo, int slot, Statements& statements, bool& added)
{
    const TReading& r = doc.GetReading(fileNo, slot);
    // The meter pads its names, a data file does not: the same reading either way.
    QString species = fromCp1252(r.GetSpecies());
    while (species.endsWith(QLatin1Char(' ')))
        species.chop(1);
    const QVariantList key{isoTime(r.GetDateTime()),
                           fileNo,
                           slot,
                           species,
                           r.GetSGApplies() != 0 ? double(r.GetSG()) : 0.0,
                           r.GetSGApplies(),
                           r.IsMoistureUnread() ? 0.0 : double(r.GetMoisture()),
                           r.IsMoistureUnread() ? 1 : 0,
                           r.GetTemperature()};
    QSqlQuery& insert = statements.insert;
    for (const QVariant& v : key)
        insert.addBindValue(v);
    if (!insert.exec())
        throw ArchiveError(insert.lastError().text().toStdString());
    added = insert.numRowsAffected() == 1;
    if (added)
        return insert.lastInsertId().toLongLong();
    QSqlQuery& find = statements.find;
    for (const QVariant& v : key)
        find.addBindValue(v);
    if (!find.exec() || !find.next())
        throw ArchiveError(find.lastError().text().toStdString());
    const qint64 id = find.value(0).toLongLong();
    find.finish();
    return id;
}

TArchive::Kept TArchive::Keep(const TFile& doc, const Source& source)
{
    Kept kept;
    if (!db.transaction())
        throw ArchiveError(db.lastError().text().toStdString());
    try {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO sources (kind, path, size, hash, meter, port, completeness, happened, kept, "
                                 "notes) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING"));
        const bool isFile = source.kind != Source::Download;
        q.addBindValue(QLatin1String(kindName(source.kind)));
        q.addBindValue(source.path.isEmpty() ? QVariant() : QVariant(source.path));
        q.addBindValue(isFile ? QVariant(qint64(source.content.size())) : QVariant());
        q.addBindValue(isFile ? QVariant(QString::fromLatin1(
                                    QCryptographicHash::hash(source.content, QCryptographicHash::Sha256).toHex()))
                              : QVariant());
        q.addBindValue(source.meter.isEmpty() ? QVariant() : QVariant(source.meter));
        q.addBindValue(source.port.isEmpty() ? QVariant() : QVariant(source.port));
        q.addBindValue(source.completeness.isEmpty() ? QVariant() : QVariant(source.completeness));
        q.addBindValue(source.when.isValid() ? QVariant(source.when.toString(Qt::ISODate)) : QVariant());
        q.addBindValue(QDateTime::currentDateTime().toString(Qt::ISODate));
        q.addBindValue(fromCp1252(doc.GetNotesText()));
        if (!q.exec())
            throw ArchiveError(q.lastError().text().toStdString());
        if (q.numRowsAffected() == 0) {
            kept.already = true;
            db.rollback();
            return kept;
        }
        kept.sourceId = q.lastInsertId().toLongLong();
        QSqlQuery file(db);
        file.prepare(QStringLiteral("INSERT INTO meter_files (source_id, file_no, comment) VALUES (?, ?, ?)"));
        // Prepared once for the whole document, not once a reading.
        Statements statements{QSqlQuery(db), QSqlQuery(db)};
        statements.insert.prepare(QStringLiteral(
            "INSERT INTO readings (taken, file_no, slot, species, sg, sg_applies, moisture, unread, temperature) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING"));
        statements.find.prepare(QStringLiteral(
            "SELECT id FROM readings WHERE taken = ? AND file_no = ? AND slot = ? AND species = ? AND sg = ? "
            "AND sg_applies = ? AND moisture = ? AND unread = ? AND temperature = ?"));
        QSqlQuery hold(db);
        hold.prepare(QStringLiteral("INSERT INTO holdings (source_id, reading_id, note) VALUES (?, ?, ?) "
                                    "ON CONFLICT DO NOTHING"));
        for (int f = 1; f <= TFile::FileCount; ++f) {
            bool holdsReadings = false;
            for (int slot = 1; slot <= TSubFile::RecordCount && !holdsReadings; ++slot)
                holdsReadings = doc.GetReading(f, slot).IsUsed();
            if (!holdsReadings && doc.GetComment(f).empty())
                continue;
            file.addBindValue(kept.sourceId);
            file.addBindValue(f);
            file.addBindValue(fromCp1252(doc.GetComment(f)));
            if (!file.exec())
                throw ArchiveError(file.lastError().text().toStdString());
            for (int slot = 1; slot <= TSubFile::RecordCount; ++slot) {
                if (!doc.GetReading(f, slot).IsUsed())
                    continue;
                bool added = false;
                const qint64 id = keepReading(doc, f, slot, statements, added);
                ++kept.readings;
                kept.added += added ? 1 : 0;
                hold.addBindValue(kept.sourceId);
                hold.addBindValue(id);
                hold.addBindValue(fromCp1252(doc.GetNote(f, slot)));
                if (!hold.exec())
                    throw ArchiveError(hold.lastError().text().toStdString());
            }
        }
        if (!db.commit())
            throw ArchiveError(db.lastError().text().toStdString());
    } catch (const ArchiveError& e) {
        db.rollback();
        throw ArchiveError(QStringLiteral("The readings could not be kept in the archive: %1")
                               .arg(QString::fromStdString(e.what()))
                               .toStdString());
    }
    return kept;
}

TArchive::ImportSummary TArchive::Import(const QStringList& paths, const std::function<void(int, int)>& progress)
{
    QStringList files;
    for (const QString& path : paths) {
        if (QFileInfo(path).isDir()) {
            QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            QStringList found;
            while (it.hasNext()) {
                const QString next = it.next();
                if (isDataFile(it.fileName()))
                    found << next;
            }
            found.sort();
            files << found;
        } else {
            files << path;
        }
    }
    ImportSummary summary;
    summary.files = int(files.size());
    for (int i = 0; i < summary.files; ++i) {
        const QString& path = files[i];
        if (progress)
            progress(i, summary.files);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            summary.unreadable << QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
            continue;
        }
        Source source;
        source.kind = QFileInfo(path).suffix().compare(QStringLiteral("bak"), Qt::CaseInsensitive) == 0 ? Source::Backup
                                                                                                       : Source::File;
        source.path = QFileInfo(path).absoluteFilePath();
        source.content = file.readAll();
        source.when = QFileInfo(path).lastModified();
        TKRFile doc;
        try {
            doc.LoadFromFile(toNativePath(path));
        } catch (const KrError& e) {
            summary.unreadable << QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), fromCp1252(e.what()));
            continue;
        }
        const Kept kept = Keep(doc, source);
        (kept.already ? summary.already : summary.imported) += 1;
    }
    if (progress)
        progress(summary.files, summary.files);
    return summary;
}

int TArchive::ReadingCount() const
{
    QSqlQuery q(QStringLiteral("SELECT count(*) FROM readings"), db);
    return q.next() ? q.value(0).toInt() : 0;
}

int TArchive::SourceCount() const
{
    QSqlQuery q(QStringLiteral("SELECT count(*) FROM sources"), db);
    return q.next() ? q.value(0).toInt() : 0;
}

} // namespace kr
