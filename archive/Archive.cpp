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
#include <array>
#include <charconv>
#include <cmath>
#include <future>
#include <memory>
#include <set>

#include "settings/ArchiveLocation.h"
#include "core/Errors.h"
#include "core/Mtlutils.h"
#include "core/Readings.h"
#include "platform/Text.h"

namespace kr {

namespace {

// One statement per line. A reading is what the meter measured where it kept
// it: its identity is all of its values, so the same reading arriving again
// is found, not added. Values are kept as whole numbers (seconds, hundredths)
// so that a reading takes few bytes and compares exactly. The first source
// that held a reading is in the reading itself; the sources that held it
// again are in "holdings".
const char* const Schema[] = {
    "CREATE TABLE schema_version (version INTEGER NOT NULL)",
    "CREATE TABLE species (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE)",
    "CREATE TABLE jobs ("
    " id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE,"
    " site TEXT NOT NULL DEFAULT '', client TEXT NOT NULL DEFAULT '', notes TEXT NOT NULL DEFAULT '')",
    "CREATE TABLE sources ("
    " id INTEGER PRIMARY KEY,"
    " kind TEXT NOT NULL CHECK (kind IN ('download', 'file', 'backup')),"
    " path TEXT, size INTEGER, hash TEXT,"
    " meter TEXT, port TEXT, completeness TEXT,"
    " happened TEXT, kept TEXT NOT NULL, notes TEXT NOT NULL DEFAULT '',"
    " UNIQUE (kind, hash))",
    // Newest first without sorting them all.
    "CREATE INDEX sources_by_time ON sources (coalesce(happened, kept), id)",
    "CREATE TABLE meter_files ("
    " source_id INTEGER NOT NULL REFERENCES sources (id) ON DELETE CASCADE,"
    " file_no INTEGER NOT NULL CHECK (file_no BETWEEN 1 AND 25),"
    " comment TEXT NOT NULL,"
    " job_id INTEGER REFERENCES jobs (id) ON DELETE SET NULL,"
    " PRIMARY KEY (source_id, file_no)) WITHOUT ROWID",
    "CREATE INDEX meter_files_by_job ON meter_files (job_id) WHERE job_id IS NOT NULL",
    // taken: seconds from 1970 on the meter's clock; sg and moisture:
    // hundredths, or ArchiveNoValue when no SG applies or it did not read.
    "CREATE TABLE readings ("
    " id INTEGER PRIMARY KEY,"
    " taken INTEGER NOT NULL, file_no INTEGER NOT NULL, slot INTEGER NOT NULL,"
    " species_id INTEGER NOT NULL REFERENCES species (id),"
    " sg INTEGER NOT NULL, moisture INTEGER NOT NULL, temperature INTEGER NOT NULL,"
    " source_id INTEGER NOT NULL REFERENCES sources (id),"
    " UNIQUE (taken, file_no, slot, species_id, sg, moisture, temperature))",
    "CREATE INDEX readings_by_species ON readings (species_id, taken)",
    "CREATE INDEX readings_by_source ON readings (source_id, file_no)",
    "CREATE TABLE holdings ("
    " reading_id INTEGER NOT NULL REFERENCES readings (id),"
    " source_id INTEGER NOT NULL REFERENCES sources (id) ON DELETE CASCADE,"
    " PRIMARY KEY (reading_id, source_id)) WITHOUT ROWID",
    "CREATE INDEX holdings_by_source ON holdings (source_id)",
};

// The notes, and the texts a search looks in: meter files' comments and
// reading notes are indexed by their three-letter pieces, so a search finds
// the few that hold a text without reading the hundreds of thousands that
// do not. The triggers keep the indexes with the tables as rows leave or
// change; new rows are indexed a document or an import batch at a time
// (indexTextsOf): the index takes a batch far quicker than a row at a time.
const char* const TextSchema[] = {
    // A reading's note as one source had it.
    "CREATE TABLE notes ("
    " id INTEGER PRIMARY KEY,"
    " reading_id INTEGER NOT NULL REFERENCES readings (id),"
    " source_id INTEGER NOT NULL REFERENCES sources (id) ON DELETE CASCADE,"
    " note TEXT NOT NULL,"
    " UNIQUE (reading_id, source_id))",
    "CREATE INDEX notes_by_source ON notes (source_id)",
    "CREATE VIRTUAL TABLE note_text USING fts5 (note, content = 'notes', content_rowid = 'id', tokenize = 'trigram')",
    "CREATE TRIGGER note_removed AFTER DELETE ON notes BEGIN"
    " INSERT INTO note_text (note_text, rowid, note) VALUES ('delete', old.id, old.note); END",
    "CREATE TRIGGER note_changed AFTER UPDATE OF note ON notes BEGIN"
    " INSERT INTO note_text (note_text, rowid, note) VALUES ('delete', old.id, old.note);"
    " INSERT INTO note_text (rowid, note) VALUES (new.id, new.note); END",
    // A comment's row is its meter file: source_id * 32 + file_no; a
    // document's notes are row source_id * 32 (meter files count from 1).
    "CREATE VIRTUAL TABLE comment_text USING fts5 (comment, tokenize = 'trigram')",
    "CREATE TRIGGER source_notes_removed AFTER DELETE ON sources BEGIN"
    " DELETE FROM comment_text WHERE rowid = old.id * 32; END",
    "CREATE TRIGGER source_notes_changed AFTER UPDATE OF notes ON sources BEGIN"
    " DELETE FROM comment_text WHERE rowid = old.id * 32;"
    " INSERT INTO comment_text (rowid, comment) SELECT new.id * 32, new.notes WHERE new.notes <> ''; END",
    "CREATE TRIGGER comment_removed AFTER DELETE ON meter_files BEGIN"
    " DELETE FROM comment_text WHERE rowid = old.source_id * 32 + old.file_no; END",
    "CREATE TRIGGER comment_changed AFTER UPDATE OF comment ON meter_files BEGIN"
    " DELETE FROM comment_text WHERE rowid = old.source_id * 32 + old.file_no;"
    " INSERT INTO comment_text (rowid, comment) SELECT new.source_id * 32 + new.file_no, new.comment"
    " WHERE new.comment <> ''; END",
};

// A job's site conditions: the air at each visit. taken: seconds from 1970
// on the inspector's clock, as the readings' times are on the meter's.
const char* const ConditionsSchema[] = {
    "CREATE TABLE site_conditions ("
    " id INTEGER PRIMARY KEY,"
    " job_id INTEGER NOT NULL REFERENCES jobs (id) ON DELETE CASCADE,"
    " taken INTEGER NOT NULL, celsius REAL NOT NULL, humidity REAL NOT NULL,"
    " note TEXT NOT NULL DEFAULT '')",
    "CREATE INDEX site_conditions_by_job ON site_conditions (job_id, taken)",
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

// Seconds from 1970 on the meter's own clock (no time zone is known).
// Whole seconds as a record writes them: the time to the millisecond, then
// its seconds (a reading stamped "now" carries milliseconds).
qint64 secondsOf(TDateTime value)
{
    const qint64 ms = std::llround((value - 25569.0) * 86400000.0);
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

// The meter pads its names, a data file does not: the same reading either way.
std::string_view speciesName(const TReading& r)
{
    std::string_view species = r.GetSpecies();
    while (!species.empty() && species.back() == ' ')
        species.remove_suffix(1);
    return species;
}

// The identity of a reading as whole numbers, in the readings table's order
// (taken, file_no, slot, species_id, sg, moisture, temperature).
std::array<qint64, 7> identity(const TReading& r, int fileNo, int slot, qint64 species)
{
    return {secondsOf(r.GetDateTime()),
            fileNo,
            slot,
            species,
            r.GetSGApplies() != 0 ? qint64(std::llround(double(r.GetSG()) * 100)) : ArchiveNoValue,
            r.IsMoistureUnread() ? ArchiveNoValue : qint64(std::llround(double(r.GetMoisture()) * 100)),
            r.GetTemperature()};
}

// Why a document cannot be kept as whole hundredths (empty when it can): a
// number beyond what any meter or data file of ours holds.
QString oddValue(const TFile& doc)
{
    auto odd = [](long double v) { return !std::isfinite(v) || std::fabs(v) >= 1e9L; };
    for (int f = 1; f <= TFile::FileCount; ++f)
        for (int slot = 1; slot <= TSubFile::RecordCount; ++slot) {
            const TReading& r = doc.GetReading(f, slot);
            if (r.IsUsed() && ((r.GetSGApplies() != 0 && odd(r.GetSG())) || (!r.IsMoistureUnread() && odd(r.GetMoisture()))))
                return QStringLiteral("meter file %1, reading %2 holds a value no meter gives.").arg(f).arg(slot);
        }
    return {};
}

const char* const SameReading = "r.taken = s.taken AND r.file_no = s.file_no AND r.slot = s.slot AND "
                                "r.species_id = s.species_id AND r.sg = s.sg AND r.moisture = s.moisture AND "
                                "r.temperature = s.temperature";

// A deadlock the server broke, or a serialization failure: worth doing again.
[[noreturn]] void fail(const QSqlError& error, const QString& before = {})
{
    const std::string text = (before + error.text()).toStdString();
    const QString code = error.nativeErrorCode();
    if (code == QLatin1String("40P01") || code == QLatin1String("40001"))
        throw ArchiveConflict(text);
    throw ArchiveError(text);
}

void run(QSqlQuery& q, const QString& sql)
{
    if (!q.exec(sql))
        fail(q.lastError());
}

void run(QSqlQuery& q)
{
    if (!q.exec())
        fail(q.lastError());
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

QStringList TArchive::PostgreSQLSchema()
{
    QFile file(QStringLiteral(":/archive/sql/schema.sql"));
    if (!file.open(QIODevice::ReadOnly))
        throw ArchiveError("the archive's PostgreSQL schema is missing from the program");
    // Comments go first: they may hold a ";" of their own.
    QStringList lines;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')))
        if (!line.trimmed().startsWith(QLatin1String("--")))
            lines << line;
    QStringList statements;
    for (const QString& part : lines.join(QLatin1Char('\n')).split(QLatin1Char(';')))
        if (!part.trimmed().isEmpty())
            statements << part.trimmed();
    return statements;
}

QString TArchive::ContentHash(const QByteArray& content)
{
    return QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
}

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

TArchive::TArchive(const QString& path) : TArchive(ArchiveLocation::File(path)) {}

TArchive::TArchive(const ArchiveLocation& where)
    : pg(where.engine == ArchiveLocation::PostgreSQL), location(where), connection(QUuid::createUuid().toString())
{
    const QString shown = where.Shown();
    if (pg) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        db.setHostName(where.host);
        db.setPort(where.port);
        db.setDatabaseName(where.database);
        db.setUserName(where.user);
        // Empty: libpq reads PGPASSWORD or ~/.pgpass itself.
        db.setPassword(PasswordForRun(where));
        // A server that does not answer is told within seconds, not after
        // the system's TCP time-out.
        QString options = QStringLiteral("connect_timeout=10");
        if (!where.sslMode.isEmpty())
            options += QStringLiteral(";sslmode=") + where.sslMode;
        db.setConnectOptions(options);
    } else {
        const QString& path = where.path;
        const QFileInfo info(path);
        if (info.exists() && info.size() > 0 && !looksLikeSqlite(path))
            throw ArchiveError(QStringLiteral("%1 is not a readings archive; it is left as it is.").arg(shown).toStdString());
        // Its journal lives beside it: a folder that cannot be written cannot hold an archive in use.
        const QFileInfo folder(info.absolutePath());
        if (!folder.isWritable() || (info.exists() && !info.isWritable()))
            throw ArchiveError(QStringLiteral("The archive %1 cannot be used: %2 cannot be written to.")
                                   .arg(shown, QDir::toNativeSeparators(info.exists() && folder.isWritable() ? path : folder.filePath()))
                                   .toStdString());
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        // A locked archive waits a moment for the other program, then says so.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    }
    auto fail = [&](const QString& why, bool password = false) {
        const QString text = QStringLiteral("The archive %1 cannot be used: %2").arg(shown, why);
        // No destructor runs for a constructor that throws.
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connection);
        if (password)
            throw ArchivePasswordNeeded(text.toStdString());
        throw ArchiveError(text.toStdString());
    };
    if (!db.open()) {
        // A server's words come over several lines, the driver's own after them.
        const QString why = pg ? db.lastError().databaseText().simplified() : db.lastError().text().trimmed();
        // libpq's words, which its servers send untranslated to a client.
        fail(why, pg && (why.contains(QLatin1String("no password supplied"))
                         || why.contains(QLatin1String("password authentication failed"))));
    }
    QSqlQuery q(db);
    const QString tables = pg ? QStringLiteral("SELECT count(*) FROM pg_tables WHERE schemaname = current_schema()")
                              : QStringLiteral("SELECT count(*) FROM sqlite_schema");
    if (!q.exec(tables) || !q.next())
        fail(q.lastError().text());
    if (q.value(0).toInt() == 0) {
        q.finish();
        createSchema();
    } else {
        if (!q.exec(QStringLiteral("SELECT version FROM schema_version")) || !q.next())
            fail(QStringLiteral("it is not a readings archive; it is left as it is."));
        const int version = q.value(0).toInt();
        q.finish();  // a statement still reading would lock the tables an upgrade changes
        if (version > SchemaVersion)
            fail(QStringLiteral("it was made by a newer version of this program (archive version %1, this program "
                                "knows %2); it is left as it is.")
                     .arg(version)
                     .arg(SchemaVersion));
        if (version < SchemaVersion) {
            try {
                upgrade(version);
            } catch (const ArchiveError& e) {
                fail(QStringLiteral("it could not be brought up to date (%1); it is left as it was.")
                         .arg(QString::fromStdString(e.what())));
            }
        }
    }
    // SQLite: WAL with normal syncing, so a crash of the program or of the
    // computer never leaves a half-written archive; a power cut may lose the
    // last change, never corrupt the file. A server sees to that itself.
    if (!pg
        && (!q.exec(QStringLiteral("PRAGMA foreign_keys = ON")) || !q.exec(QStringLiteral("PRAGMA journal_mode = WAL"))
            || !q.exec(QStringLiteral("PRAGMA synchronous = NORMAL"))))
        fail(q.lastError().text());
    // A server compiles a query it thinks costly to machine code first: a
    // quarter of a second spent on every page of a search, never repaid.
    if (pg && !q.exec(QStringLiteral("SET jit = off")))
        fail(q.lastError().text());
    if (!q.exec(QStringLiteral("CREATE TEMP TABLE staging (taken BIGINT, file_no INTEGER, slot INTEGER, "
                               "species_id BIGINT, sg BIGINT, moisture BIGINT, temperature INTEGER)"))
        || !q.exec(QStringLiteral("CREATE TEMP TABLE text_hits (id BIGINT PRIMARY KEY)")))
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
    if (pg) {
        for (const QString& statement : PostgreSQLSchema())
            ok = ok && q.exec(statement);
    } else {
        for (const char* statement : Schema)
            ok = ok && q.exec(QLatin1String(statement));
        for (const char* statement : TextSchema)
            ok = ok && q.exec(QLatin1String(statement));
        for (const char* statement : ConditionsSchema)
            ok = ok && q.exec(QLatin1String(statement));
        ok = ok && q.exec(QStringLiteral("INSERT INTO schema_version VALUES (%1)").arg(SchemaVersion));
    }
    if (!ok || !db.commit()) {
        const QString why = q.lastError().isValid() ? q.lastError().text() : db.lastError().text();
        db.rollback();
        throw ArchiveError(QStringLiteral("The archive %1 could not be made: %2")
                               .arg(location.Shown(), why)
                               .toStdString());
    }
}

// One transaction: a failed upgrade leaves the file as it was.
void TArchive::upgrade(int from)
{
    if (from < 1 || from >= SchemaVersion)
        throw ArchiveError(QStringLiteral("archive version %1 is not known").arg(from).toStdString());
    QSqlQuery q(db);
    if (!db.transaction())
        throw ArchiveError(db.lastError().text().toStdString());
    try {
        if (from == 1)
            upgradeFirstLayout(q);
        else if (from == 2)
            indexTexts(q);
        for (const char* statement : ConditionsSchema)
            run(q, QLatin1String(statement));
        run(q, QStringLiteral("DELETE FROM schema_version"));
        run(q, QStringLiteral("INSERT INTO schema_version VALUES (%1)").arg(SchemaVersion));
        if (!db.commit())
            throw ArchiveError(db.lastError().text().toStdString());
    } catch (const ArchiveError&) {
        db.rollback();
        throw;
    }
}

// The second layout searched comments and notes by reading them all.
void TArchive::indexTexts(QSqlQuery& q)
{
    for (const char* statement : {"DROP INDEX notes_by_source", "ALTER TABLE notes RENAME TO v2_notes"})
        run(q, QLatin1String(statement));
    for (const char* statement : TextSchema)
        run(q, QLatin1String(statement));
    for (const char* statement :
         {"INSERT INTO notes (reading_id, source_id, note) SELECT reading_id, source_id, note FROM v2_notes",
          "DROP TABLE v2_notes"})
        run(q, QLatin1String(statement));
    indexTextsOf(q, {});
}

// Indexes the texts of the sources listed ("4,5,6"; empty: of every source).
void TArchive::indexTextsOf(QSqlQuery& q, const QString& sourceIds)
{
    if (pg)
        return;  // the server's indexes follow their tables
    auto of = [&](const char* column) {
        return sourceIds.isEmpty() ? QStringLiteral("true") : QStringLiteral("%1 IN (%2)").arg(QLatin1String(column), sourceIds);
    };
    run(q, QStringLiteral("INSERT INTO comment_text (rowid, comment) SELECT id * 32, notes FROM sources "
                          "WHERE notes <> '' AND %1").arg(of("id")));
    run(q, QStringLiteral("INSERT INTO comment_text (rowid, comment) SELECT source_id * 32 + file_no, comment FROM "
                          "meter_files WHERE comment <> '' AND %1").arg(of("source_id")));
    run(q, QStringLiteral("INSERT INTO note_text (rowid, note) SELECT id, note FROM notes WHERE %1").arg(of("source_id")));
}

// The first archives kept text times and real numbers, and a holding for
// every reading.
void TArchive::upgradeFirstLayout(QSqlQuery& q)
{
    for (const char* statement :
         {"DROP INDEX holdings_by_reading", "DROP INDEX readings_by_species",
          "ALTER TABLE holdings RENAME TO v1_holdings", "ALTER TABLE readings RENAME TO v1_readings",
          "ALTER TABLE meter_files RENAME TO v1_meter_files", "ALTER TABLE sources RENAME TO v1_sources",
          "DROP TABLE schema_version"})
        run(q, QLatin1String(statement));
    for (const char* statement : Schema)
        run(q, QLatin1String(statement));
    for (const char* statement : TextSchema)
        run(q, QLatin1String(statement));
    for (const char* statement : {
             "INSERT INTO sources SELECT id, kind, path, size, hash, meter, port, completeness, happened, kept, "
             "coalesce(notes, '') FROM v1_sources",
             "INSERT INTO meter_files (source_id, file_no, comment) SELECT source_id, file_no, comment "
             "FROM v1_meter_files",
             "INSERT INTO species (name) SELECT DISTINCT rtrim(species) FROM v1_readings",
             "INSERT INTO readings SELECT r.id, CAST(strftime('%s', r.taken) AS INTEGER), r.file_no, r.slot, s.id, "
             "CASE r.sg_applies WHEN 0 THEN " KR_ARCHIVE_NO_VALUE " ELSE CAST(round(r.sg * 100) AS INTEGER) END, "
             "CASE r.unread WHEN 0 THEN CAST(round(r.moisture * 100) AS INTEGER) ELSE " KR_ARCHIVE_NO_VALUE " END, "
             "r.temperature, "
             "(SELECT min(h.source_id) FROM v1_holdings h WHERE h.reading_id = r.id) "
             "FROM v1_readings r JOIN species s ON s.name = rtrim(r.species) "
             "WHERE EXISTS (SELECT 1 FROM v1_holdings h WHERE h.reading_id = r.id)",
             "INSERT INTO holdings SELECT h.reading_id, h.source_id FROM v1_holdings h "
             "JOIN readings r ON r.id = h.reading_id WHERE r.source_id <> h.source_id",
             "INSERT INTO notes (reading_id, source_id, note) SELECT reading_id, source_id, note FROM v1_holdings "
             "WHERE note <> ''",
             "DROP TABLE v1_holdings", "DROP TABLE v1_readings", "DROP TABLE v1_meter_files",
             "DROP TABLE v1_sources"})
        run(q, QLatin1String(statement));
    indexTextsOf(q, {});
}

// Looked up by the record's own bytes: one conversion a species, not one a reading.
qint64 TArchive::speciesId(std::string_view species)
{
    const auto known = speciesIds.find(species);
    if (known != speciesIds.end())
        return known->second;
    const QString name = fromCp1252(std::string(species));
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO species (name) VALUES (?) ON CONFLICT DO NOTHING"));
    q.addBindValue(name);
    run(q);
    q.prepare(QStringLiteral("SELECT id FROM species WHERE name = ?"));
    q.addBindValue(name);
    run(q);
    if (!q.next())
        throw ArchiveError("a species could not be kept");
    return speciesIds[std::string(species)] = q.value(0).toLongLong();
}

TArchive::Kept TArchive::Keep(const TFile& doc, const Source& source)
{
    ++writes;
    Kept kept;
    // An import keeps a batch of files in one transaction of its own.
    const bool own = !inBatch;
    const QString odd = oddValue(doc);
    if (!odd.isEmpty() || (own && !db.transaction()))
        throw ArchiveError(QStringLiteral("The readings could not be kept in the archive: %1")
                               .arg(odd.isEmpty() ? db.lastError().text() : odd)
                               .toStdString());
    try {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO sources (kind, path, size, hash, meter, port, completeness, happened, kept, "
                                 "notes) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING RETURNING id"));
        const bool isFile = source.kind != Source::Download;
        q.addBindValue(QLatin1String(kindName(source.kind)));
        q.addBindValue(source.path.isEmpty() ? QVariant() : QVariant(source.path));
        q.addBindValue(isFile ? QVariant(source.size >= 0 ? source.size : qint64(source.content.size())) : QVariant());
        q.addBindValue(isFile ? QVariant(source.hash.isEmpty() ? ContentHash(source.content) : source.hash)
                              : QVariant());
        q.addBindValue(source.meter.isEmpty() ? QVariant() : QVariant(source.meter));
        q.addBindValue(source.port.isEmpty() ? QVariant() : QVariant(source.port));
        q.addBindValue(source.completeness.isEmpty() ? QVariant() : QVariant(source.completeness));
        q.addBindValue(source.when.isValid() ? QVariant(source.when.toString(Qt::ISODate)) : QVariant());
        q.addBindValue(QDateTime::currentDateTime().toString(Qt::ISODate));
        q.addBindValue(fromCp1252(doc.GetNotesText()));
        run(q);
        if (!q.next()) {
            kept.already = true;  // nothing was written
            q.finish();
            if (own)
                db.rollback();
            return kept;
        }
        kept.sourceId = q.value(0).toLongLong();
        q.finish();
        const QString src = QString::number(kept.sourceId);
        QSqlQuery file(db);
        file.prepare(QStringLiteral("INSERT INTO meter_files (source_id, file_no, comment) VALUES (?, ?, ?)"));
        // The readings go in as one statement of whole numbers (nothing a
        // user typed is in it), then are matched to what the archive holds:
        // a few statements a document, not a few a reading.
        std::string values = "INSERT INTO staging VALUES ";
        values.reserve(TFile::FileCount * TSubFile::RecordCount * 48);
        struct Noted {
            std::array<qint64, 7> key;
            QString note;
        };
        std::vector<Noted> noted;
        for (int f = 1; f <= TFile::FileCount; ++f) {
            bool holdsReadings = false;
            for (int slot = 1; slot <= TSubFile::RecordCount && !holdsReadings; ++slot)
                holdsReadings = doc.GetReading(f, slot).IsUsed();
            if (!holdsReadings && doc.GetComment(f).empty())
                continue;
            // By position: a driver may keep the values of the last run.
            file.bindValue(0, kept.sourceId);
            file.bindValue(1, f);
            file.bindValue(2, fromCp1252(doc.GetComment(f)));
            run(file);
            for (int slot = 1; slot <= TSubFile::RecordCount; ++slot) {
                const TReading& r = doc.GetReading(f, slot);
                if (!r.IsUsed())
                    continue;
                const auto key = identity(r, f, slot, speciesId(speciesName(r)));
                values += kept.readings == 0 ? "(" : ",(";
                for (std::size_t i = 0; i < key.size(); ++i) {
                    if (i > 0)
                        values += ',';
                    char digits[24];
                    values.append(digits, std::to_chars(digits, digits + sizeof digits, key[i]).ptr);
                }
                values += ')';
                ++kept.readings;
                if (!r.GetNote().empty())
                    noted.push_back({key, fromCp1252(r.GetNote())});
            }
        }
        if (kept.readings > 0) {
            // A server's DELETE leaves the rows behind, dead, for the next
            // statements to pass over: after thousands of documents they
            // outnumber the live ones. TRUNCATE starts the table afresh.
            run(q, pg ? QStringLiteral("TRUNCATE staging") : QStringLiteral("DELETE FROM staging"));
            run(q, QString::fromLatin1(values));
            // On a server, programs writing the same readings at once take
            // their rows' locks in one order, so none waits on another in a circle.
            run(q, QStringLiteral("INSERT INTO readings (taken, file_no, slot, species_id, sg, moisture, temperature, "
                                  "source_id) SELECT taken, file_no, slot, species_id, sg, moisture, temperature, %1 "
                                  "FROM staging WHERE true%2 ON CONFLICT DO NOTHING")
                       .arg(src, pg ? QStringLiteral(" ORDER BY taken, file_no, slot, species_id, sg, moisture, temperature")
                                    : QString()));
            kept.added = q.numRowsAffected();
            if (kept.added < kept.readings)
                run(q, QStringLiteral("INSERT INTO holdings (reading_id, source_id) SELECT r.id, %1 FROM staging s "
                                      "JOIN readings r ON %2 WHERE r.source_id <> %1 ON CONFLICT DO NOTHING")
                           .arg(src, QLatin1String(SameReading)));
        }
        if (!noted.empty()) {
            QSqlQuery note(db);
            note.prepare(QStringLiteral("INSERT INTO notes (reading_id, source_id, note) SELECT id, ?, ? FROM readings "
                                        "WHERE taken = ? AND file_no = ? AND slot = ? AND species_id = ? AND sg = ? "
                                        "AND moisture = ? AND temperature = ?"));
            for (const Noted& n : noted) {
                note.bindValue(0, kept.sourceId);
                note.bindValue(1, n.note);
                for (std::size_t i = 0; i < n.key.size(); ++i)
                    note.bindValue(int(i) + 2, n.key[i]);
                run(note);
            }
        }
        if (own)
            indexTextsOf(q, src);
        else
            unindexed << src;
        if (own && !db.commit())
            throw ArchiveError(db.lastError().text().toStdString());
    } catch (const ArchiveError& e) {
        if (own) {
            db.rollback();
            speciesIds.clear();  // what the rollback took back
        }
        if (dynamic_cast<const ArchiveConflict*>(&e) && !own)
            throw;  // the batch is done again
        if (dynamic_cast<const ArchiveConflict*>(&e) && own && ++keepAttempts < ConflictAttempts)
            return Keep(doc, source);
        keepAttempts = 0;
        throw ArchiveError(QStringLiteral("The readings could not be kept in the archive: %1")
                               .arg(QString::fromStdString(e.what()))
                               .toStdString());
    }
    keepAttempts = 0;
    return kept;
}

// A data file read and parsed, ready to keep.
struct ParsedFile {
    QString path;
    TArchive::Source source;
    std::unique_ptr<TKRFile> doc;
    QString error;
};

namespace {



ParsedFile parse(const QString& path)
{
    ParsedFile parsed;
    parsed.path = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        parsed.error = file.errorString();
        return parsed;
    }
    const QFileInfo info(path);
    parsed.source.kind = info.suffix().compare(QStringLiteral("bak"), Qt::CaseInsensitive) == 0
                             ? TArchive::Source::Backup
                             : TArchive::Source::File;
    parsed.source.path = info.absoluteFilePath();
    parsed.source.content = file.readAll();
    parsed.source.hash = TArchive::ContentHash(parsed.source.content);  // here, off the writing thread
    parsed.source.when = info.lastModified();
    parsed.doc = std::make_unique<TKRFile>();
    try {
        parsed.doc->LoadFromFile(toNativePath(path));
    } catch (const KrError& e) {
        parsed.error = fromCp1252(e.what());
        parsed.doc.reset();
    }
    return parsed;
}

// SQLite's page cache at 32 MB for as long as it lives, then at its default.
class ImportCache {
public:
    explicit ImportCache(const QSqlDatabase& db) : db(db), sqlite(db.driverName() == QLatin1String("QSQLITE"))
    {
        if (sqlite)
            QSqlQuery(db).exec(QStringLiteral("PRAGMA cache_size = -32768"));
    }
    ~ImportCache()
    {
        if (sqlite)
            QSqlQuery(db).exec(QStringLiteral("PRAGMA cache_size = -2000"));
    }
    ImportCache(const ImportCache&) = delete;
    ImportCache& operator=(const ImportCache&) = delete;

private:
    const QSqlDatabase& db;
    bool sqlite;
};

std::vector<ParsedFile> parseAll(const QStringList& paths, qsizetype from, qsizetype count)
{
    std::vector<ParsedFile> out;
    for (qsizetype i = from; i < std::min(from + count, paths.size()); ++i)
        out.push_back(parse(paths[i]));
    return out;
}

} // namespace

TArchive::ImportSummary TArchive::Import(const QStringList& paths, const std::function<void(int, int)>& progress,
                                         const std::atomic_bool* stop)
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
    const int total = int(files.size());
    // Room for the indexes' busy pages while an import runs; a window that
    // only searches keeps SQLite's small default.
    const ImportCache cache(db);
    // Files are read and parsed on a second thread while this one keeps
    // the batch before: the parse is most of the work.
    constexpr qsizetype Batch = 16;
    auto next = std::async(std::launch::async, parseAll, files, 0, Batch);
    for (qsizetype from = 0; from < files.size(); from += Batch) {
        std::vector<ParsedFile> batch = next.get();
        if (from + Batch < files.size())
            next = std::async(std::launch::async, parseAll, files, from + Batch, Batch);
        // Another program writing the same readings may make the server
        // give this batch up: it is done again, from its first file.
        const ImportSummary before = summary;
        for (int attempt = 1;; ++attempt) {
            try {
                keepBatch(batch, summary, total, progress, stop);
                break;
            } catch (const ArchiveConflict&) {
                summary = before;
                if (attempt == ConflictAttempts)
                    throw ArchiveError("The readings could not be kept in the archive: other programs kept writing "
                                       "the same readings; try again.");
            }
        }
        if (summary.stopped)
            return summary;
    }
    if (progress)
        progress(summary.files, total);
    return summary;
}

void TArchive::keepBatch(std::vector<ParsedFile>& batch, ImportSummary& summary, int total,
                         const std::function<void(int, int)>& progress, const std::atomic_bool* stop)
{
    if (pg) {
        // A new species is kept before the batch, in the order of its name,
        // each on its own: two programs adding the same species in the
        // other order inside their batches would each wait for the other.
        std::set<std::string, std::less<>> names;
        for (const ParsedFile& parsed : batch)
            if (parsed.doc)
                for (int f = 1; f <= TFile::FileCount; ++f)
                    for (int slot = 1; slot <= TSubFile::RecordCount; ++slot)
                        if (const TReading& r = parsed.doc->GetReading(f, slot); r.IsUsed())
                            names.emplace(speciesName(r));
        for (const std::string& name : names)
            speciesId(name);
    }
    if (!db.transaction())
        throw ArchiveError(QStringLiteral("The readings could not be kept in the archive: %1")
                               .arg(db.lastError().text())
                               .toStdString());
    inBatch = true;
    try {
        for (ParsedFile& parsed : batch) {
            if (stop && stop->load()) {
                summary.stopped = true;
                break;
            }
            if (progress)
                progress(summary.files, total);
            ++summary.files;
            if (parsed.doc)
                parsed.error = oddValue(*parsed.doc);
            if (!parsed.error.isEmpty()) {
                summary.unreadable
                    << QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(parsed.path), parsed.error);
                continue;
            }
            const Kept kept = Keep(*parsed.doc, parsed.source);
            (kept.already ? summary.already : summary.imported) += 1;
        }
        if (!unindexed.isEmpty()) {
            QSqlQuery q(db);
            indexTextsOf(q, unindexed.join(QLatin1Char(',')));
            unindexed.clear();
        }
        if (!db.commit())
            fail(db.lastError(), QStringLiteral("The readings could not be kept in the archive: "));
    } catch (const ArchiveError&) {
        inBatch = false;
        unindexed.clear();
        db.rollback();
        if (!pg)
            speciesIds.clear();  // what the rollback took back; a server's were kept on their own
        throw;
    }
    inBatch = false;
}

int TArchive::ReadingCount() const
{
    QSqlQuery q(QStringLiteral("SELECT count(*) FROM readings"), db);
    return q.next() ? q.value(0).toInt() : 0;
}

QString TArchive::Describe() const
{
    QSqlQuery q(db);
    QString engine;
    if (pg && q.exec(QStringLiteral("SHOW server_version")) && q.next())
        engine = QStringLiteral("PostgreSQL ") + q.value(0).toString().section(QLatin1Char(' '), 0, 0);
    else if (!pg && q.exec(QStringLiteral("SELECT sqlite_version()")) && q.next())
        engine = QStringLiteral("SQLite ") + q.value(0).toString();
    const int layout = q.exec(QStringLiteral("SELECT version FROM schema_version")) && q.next() ? q.value(0).toInt() : 0;
    const int readings = ReadingCount();
    return QStringLiteral("%1, archive layout %2, %3 %4.")
        .arg(engine)
        .arg(layout)
        .arg(QLocale(QLocale::English).toString(readings), readings == 1 ? QStringLiteral("reading") : QStringLiteral("readings"));
}

int TArchive::SourceCount() const
{
    QSqlQuery q(QStringLiteral("SELECT count(*) FROM sources"), db);
    return q.next() ? q.value(0).toInt() : 0;
}

} // namespace kr
