// The readings archive at a large firm's size: 10,000 full data files
// (6.25 million readings and a few backups of them) imported into a fresh
// archive, then opened and searched in a process of its own, so its peak
// memory is that of opening and searching alone.
//
//   kr-archive-bench [--files N] [--seed S] [--data DIR] [--keep DIR] [--profile] [--pg]
//
// --data DIR reuses the data files there (made there by kr-archive-gen when
// it holds none); --keep DIR leaves archive.sqlite there; --profile adds the
// time SQLite spent on each statement of the import (the import is slower
// for it). --pg does the same on PostgreSQL instead: a private server of
// the tests' kind (tests/pg/pg-server) but durable (fsync on, as a real
// server), imported into by one process and then by four at once, each a
// quarter of the files.
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <sqlite3.h>

#include "archive/Archive.h"
#include "bench/CpuTime.h"
#include "settings/ArchiveLocation.h"

using namespace kr;

namespace {

constexpr int PageRows = 200;

double msSince(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

// Peak and present resident memory of this process, in KiB.
long statusKib(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    return 0;
}

sqlite3* handleOf(const QSqlDatabase& db)
{
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(v.constData());
}

// What SQLite ran while it listened: each statement's text as run (values
// in place) in order, and per statement text the runs and the time.
struct Trace {
    std::vector<std::string> statements;
    struct Cost {
        long long runs = 0;
        long long ns = 0;
    };
    std::map<std::string, Cost> costs;

    // A statement with its numbers taken out, so that statements made with
    // their values in place count as one.
    static std::string shape(const char* sql)
    {
        std::string out;
        for (const char* c = sql; *c != 0 && out.size() < 160; ++c) {
            const bool negative = *c == '-' && c[1] >= '0' && c[1] <= '9';
            if (negative || (*c >= '0' && *c <= '9')) {
                if (out.empty() || out.back() != '#')
                    out += '#';
            } else {
                out += *c;
            }
        }
        return out;
    }
    static int Callback(unsigned type, void* context, void* p, void* x)
    {
        auto* trace = static_cast<Trace*>(context);
        auto* statement = static_cast<sqlite3_stmt*>(p);
        if (type == SQLITE_TRACE_STMT) {
            if (char* expanded = sqlite3_expanded_sql(statement)) {
                trace->statements.emplace_back(expanded);
                sqlite3_free(expanded);
            }
        } else if (type == SQLITE_TRACE_PROFILE) {
            Cost& cost = trace->costs[shape(sqlite3_sql(statement))];
            ++cost.runs;
            cost.ns += *static_cast<const sqlite3_int64*>(x);
        }
        return 0;
    }
    void Listen(sqlite3* db, unsigned mask) { sqlite3_trace_v2(db, mask, &Trace::Callback, this); }
    static void Stop(sqlite3* db) { sqlite3_trace_v2(db, 0, nullptr, nullptr); }
};

// Reads every column of up to `rows` rows, as a window showing them would.
int fetch(ArchiveCursor& q, int rows)
{
    int got = 0;
    const int columns = q.record().count();
    while (got < rows && q.next()) {
        for (int c = 0; c < columns; ++c)
            (void)q.value(c).toString();
        ++got;
    }
    return got;
}

void printPlan(const QSqlDatabase& db, const std::string& statement)
{
    std::printf("    %s\n", statement.c_str());
    QSqlQuery plan(db);
    if (!plan.exec(QStringLiteral("EXPLAIN QUERY PLAN ") + QString::fromStdString(statement))) {
        std::printf("      (no plan: %s)\n", qPrintable(plan.lastError().text()));
        return;
    }
    std::map<int, int> depth;
    while (plan.next()) {
        const int id = plan.value(0).toInt();
        const int parent = plan.value(1).toInt();
        depth[id] = depth.count(parent) ? depth[parent] + 1 : 1;
        std::printf("      %*s%s\n", 2 * (depth[id] - 1), "", qPrintable(plan.value(3).toString()));
    }
}

struct Search {
    const char* name;
    ArchiveFilter filter;
};

// One search as the window runs it: the live query, the count, the first
// page. The first run is listened to for the plans; it is repeated while
// that stays cheap.
void timeSearch(const TArchive& archive, const Search& search)
{
    sqlite3* handle = handleOf(archive.Database());
    Trace trace;
    double best = 1e300;
    double first[3] = {0, 0, 0};
    double firstCpu = 0;
    qint64 count = 0;
    int rows = 0;
    int runs = 0;
    QElapsedTimer spent;
    spent.start();
    while (runs < 5 && (runs == 0 || spent.elapsed() < 2000)) {
        if (runs == 0 && handle != nullptr)
            trace.Listen(handle, SQLITE_TRACE_STMT);
        const double cpu = bench::cpuMs();
        QElapsedTimer t;
        t.start();
        ArchiveCursor q = archive.Readings(search.filter);
        const double ran = msSince(t);
        t.restart();
        count = archive.CountReadings(search.filter);
        const double counted = msSince(t);
        t.restart();
        rows = fetch(q, PageRows);
        const double fetched = msSince(t);
        if (runs == 0) {
            if (handle != nullptr)
                Trace::Stop(handle);
            first[0] = ran;
            first[1] = counted;
            first[2] = fetched;
            firstCpu = bench::cpuMs() - cpu;
        }
        best = std::min(best, ran + counted + fetched);
        ++runs;
    }
    std::printf("search %s: %lld found; first run: query %.1f ms, count %.1f ms, %d rows %.1f ms, total %.1f ms "
                "(CPU %.1f ms; best of %d runs: %.1f ms)\n",
                search.name, static_cast<long long>(count), first[0], first[1], rows, first[2],
                first[0] + first[1] + first[2], firstCpu, runs, best);
    std::printf("  plans of %s:\n", search.name);
    for (const std::string& statement : trace.statements)
        printPlan(archive.Database(), statement);
}

// The child's part: open the archive and search it, nothing else in memory.
ArchiveLocation locationOf(const QString& pathOrUrl)
{
    if (const auto server = ArchiveLocation::FromUrl(pathOrUrl))
        return *server;
    return ArchiveLocation::File(pathOrUrl);
}

int measure(const QString& path, const QStringList& args)
{
    const double cpu = bench::cpuMs();
    QElapsedTimer t;
    t.start();
    std::optional<TArchive> archive;
    archive.emplace(locationOf(path));
    const double constructed = msSince(t);
    sqlite3* handle = handleOf(archive->Database());
    Trace trace;
    if (handle != nullptr)
        trace.Listen(handle, SQLITE_TRACE_STMT);
    t.restart();
    ArchiveCursor sources = archive->Sources(ArchiveFilter{});
    const int sourceRows = fetch(sources, PageRows);
    const double sourcesMs = msSince(t);
    t.restart();
    ArchiveCursor readings = archive->Readings(ArchiveFilter{});
    const int readingRows = fetch(readings, PageRows);
    const double readingsMs = msSince(t);
    const double openCpu = bench::cpuMs() - cpu;
    if (handle != nullptr)
        Trace::Stop(handle);
    std::printf("open: TArchive %.1f ms, Sources first %d rows %.1f ms, Readings first %d rows %.1f ms, "
                "total %.1f ms (CPU %.1f ms)\n",
                constructed, sourceRows, sourcesMs, readingRows, readingsMs, constructed + sourcesMs + readingsMs,
                openCpu);
    std::printf("open memory: peak %.1f MiB resident (now %.1f MiB)\n", double(statusKib("VmHWM:")) / 1024,
                double(statusKib("VmRSS:")) / 1024);
    std::printf("  plans of the first pages:\n");
    for (const std::string& statement : trace.statements)
        printPlan(archive->Database(), statement);
    sources = ArchiveCursor();
    readings = ArchiveCursor();

    ArchiveFilter bySpecies;
    bySpecies.species = args.value(0);
    bySpecies.since = QDate::fromString(args.value(1), Qt::ISODate);
    bySpecies.until = QDate::fromString(args.value(2), Qt::ISODate);
    ArchiveFilter byText;
    byText.text = args.value(3);
    timeSearch(*archive, {"species+dates", bySpecies});
    timeSearch(*archive, {"comment-text", byText});
    std::printf("memory: peak %.1f MiB resident after opening and searching\n", double(statusKib("VmHWM:")) / 1024);
    return 0;
}

int countDataFiles(const QString& dir)
{
    int files = 0;
    QDirIterator it(dir, {QStringLiteral("*.krx"), QStringLiteral("data*.bak")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++files;
    }
    return files;
}

bool generate(const QString& dir, int files, const QString& seed)
{
    QElapsedTimer t;
    t.start();
    QProcess gen;
    gen.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    gen.start(QStringLiteral(KR_ARCHIVE_GEN_PATH),
              {QStringLiteral("--files"), QString::number(files), QStringLiteral("--seed"), seed,
               QStringLiteral("--out"), dir});
    if (!gen.waitForFinished(-1) || gen.exitStatus() != QProcess::NormalExit || gen.exitCode() != 0)
        return false;
    std::printf("generated: %s in %.1f s\n", gen.readAllStandardOutput().trimmed().constData(), msSince(t) / 1e3);
    return true;
}

void printProfile(const Trace& trace, double importMs)
{
    std::vector<std::pair<std::string, Trace::Cost>> costs(trace.costs.begin(), trace.costs.end());
    std::sort(costs.begin(), costs.end(), [](const auto& a, const auto& b) { return a.second.ns > b.second.ns; });
    double sqlMs = 0;
    std::printf("import profile (time inside SQLite per statement):\n");
    for (const auto& [sql, cost] : costs) {
        sqlMs += double(cost.ns) / 1e6;
        std::printf("  %9.0f ms %10lld runs  %.120s\n", double(cost.ns) / 1e6, cost.runs, sql.c_str());
    }
    std::printf("  %9.0f ms in SQLite, %.0f ms elsewhere (waiting for the parsed files, making the statements, "
                "Qt SQL)\n",
                sqlMs, importMs - sqlMs);
}

// Every data file under `dir`, in one order for every process.
QStringList dataFiles(const QString& dir)
{
    QStringList files;
    QDirIterator it(dir, {QStringLiteral("*.krx"), QStringLiteral("data*.bak")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

// A child's part: imports every `of`-th file from the `part`-th on.
int importPart(const QString& url, const QString& dir, int part, int of)
{
    const QStringList all = dataFiles(dir);
    QStringList mine;
    for (qsizetype i = part; i < all.size(); i += of)
        mine << all[i];
    try {
        TArchive archive(locationOf(url));
        const TArchive::ImportSummary summary = archive.Import(mine);
        std::printf("%d\n", summary.imported + summary.already);
    } catch (const ArchiveError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

// The private server: pg-server start|stop DIR, durable.
bool pgServer(const QString& what, const QString& dir)
{
    QProcess server;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KR_PG_DURABLE"), QStringLiteral("1"));
    server.setProcessEnvironment(env);
    server.setProcessChannelMode(QProcess::ForwardedChannels);
    server.start(QStringLiteral(KR_PG_SERVER_PATH), {what, dir});
    return server.waitForFinished(-1) && server.exitStatus() == QProcess::NormalExit && server.exitCode() == 0;
}

// Makes database `name` anew on the server with its socket in `dir`.
bool freshDatabase(const QString& dir, const QString& name)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("bench-admin"));
        db.setHostName(dir);
        db.setUserName(QStringLiteral("kr"));
        db.setDatabaseName(QStringLiteral("postgres"));
        ok = db.open() && QSqlQuery(db).exec(QStringLiteral("DROP DATABASE IF EXISTS ") + name)
            && QSqlQuery(db).exec(QStringLiteral("CREATE DATABASE ") + name);
        if (!ok)
            std::fprintf(stderr, "kr-archive-bench: %s\n", qPrintable(db.lastError().text()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-admin"));
    return ok;
}

// `importers` processes at once, each importing its share; the readings
// read per second of the whole.
bool timedImport(const QString& url, const QString& data, int importers)
{
    // The archive's tables are made once, before the importers race.
    try {
        TArchive make(locationOf(url));
    } catch (const ArchiveError& e) {
        std::fprintf(stderr, "kr-archive-bench: %s\n", e.what());
        return false;
    }
    std::vector<std::unique_ptr<QProcess>> children;
    QElapsedTimer t;
    t.start();
    for (int part = 0; part < importers; ++part) {
        auto child = std::make_unique<QProcess>();
        child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child->start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--import-part"), url, data, QString::number(part), QString::number(importers)});
        children.push_back(std::move(child));
    }
    long long files = 0;
    for (auto& child : children) {
        if (!child->waitForFinished(-1) || child->exitStatus() != QProcess::NormalExit || child->exitCode() != 0)
            return false;
        files += child->readAllStandardOutput().trimmed().toLongLong();
    }
    const double ms = msSince(t);
    const long long readings = files * 625LL;
    std::printf("import, %d process%s: %lld readings read in %.1f s: %.0f readings/s\n", importers,
                importers == 1 ? "" : "es at once", readings, ms / 1e3, double(readings) / (ms / 1e3));
    std::fflush(stdout);
    return true;
}

// The database's size, indexes included, per reading kept. Vacuumed and
// analysed first, as the server's autovacuum does within minutes of a large
// import: the searches are planned on its statistics.
void printServerSize(const QString& url)
{
    const TArchive archive(locationOf(url));
    QSqlQuery q(archive.Database());
    QElapsedTimer t;
    t.start();
    if (q.exec(QStringLiteral("VACUUM ANALYZE")))
        std::printf("vacuum analyze: %.1f s\n", msSince(t) / 1e3);
    const int kept = archive.ReadingCount();
    if (!q.exec(QStringLiteral("SELECT pg_database_size(current_database())")) || !q.next())
        return;
    const double bytes = q.value(0).toDouble();
    std::printf("size: %.1f MB, %.1f bytes a reading (%d readings)\n", bytes / 1e6, kept > 0 ? bytes / kept : 0.0,
                kept);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--measure"))
        return measure(args.value(2), args.mid(3));
    if (args.value(1) == QLatin1String("--import-part"))
        return importPart(args.value(2), args.value(3), args.value(4).toInt(), args.value(5).toInt());

    int files = 10000;
    QString seed = QStringLiteral("1");
    QString data, keep;
    bool profile = false;
    bool pg = false;
    const QString species = QStringLiteral("Oak"), text = QStringLiteral("Mill Road");
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--profile")) {
            profile = true;
            continue;
        }
        if (arg == QLatin1String("--pg")) {
            pg = true;
            continue;
        }
        const QString value = args.value(++i);
        if (arg == QLatin1String("--files"))
            files = std::max(1, value.toInt());
        else if (arg == QLatin1String("--seed"))
            seed = value;
        else if (arg == QLatin1String("--data"))
            data = value;
        else if (arg == QLatin1String("--keep"))
            keep = value;
        else {
            std::fprintf(stderr, "usage: kr-archive-bench [--files N] [--seed S] [--data DIR] [--keep DIR] "
                                 "[--profile] [--pg]\n");
            return 1;
        }
    }
    QTemporaryDir scratch;
    if (data.isEmpty())
        data = scratch.filePath(QStringLiteral("data"));
    if (countDataFiles(data) == 0 && !generate(data, files, seed)) {
        std::fprintf(stderr, "kr-archive-bench: kr-archive-gen failed\n");
        return 1;
    }
    // A year of readings: the one in the middle of the ten years a full set
    // spans (kr-archive-gen's first download is early in 2016, the next ones
    // of an inspector up to 30 days apart).
    const int perInspector = (files + 19) / 20;
    const QDate middle = QDate(2016, 1, 4).addDays(qint64(std::min(30.0, 3650.0 / perInspector) * perInspector / 2));
    const QString since = QDate(middle.year(), 1, 1).toString(Qt::ISODate);
    const QString until = QDate(middle.year(), 12, 31).toString(Qt::ISODate);
    auto searches = [&](const QString& where) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--measure"), where, species, since, until, text});
        if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
            std::fprintf(stderr, "kr-archive-bench: the search run failed\n");
            return false;
        }
        return true;
    };

    if (pg) {
        // Beside, not inside, the scratch folder: as root the server runs as
        // another user, who must reach its socket.
        const QString server = QDir::temp().filePath(QStringLiteral("kr-bench-pg-%1").arg(QCoreApplication::applicationPid()));
        if (!pgServer(QStringLiteral("start"), server))
            return 1;
        struct Stop {
            QString dir;
            ~Stop() { pgServer(QStringLiteral("stop"), dir); }
        } stop{server};
        const QString url = QStringLiteral("postgresql://kr@%1/bench").arg(QString::fromUtf8(QUrl::toPercentEncoding(server)));
        bool ok = freshDatabase(server, QStringLiteral("bench")) && timedImport(url, data, 1);
        if (ok) {
            printServerSize(url);
            ok = searches(url);
        }
        ok = ok && freshDatabase(server, QStringLiteral("bench")) && timedImport(url, data, 4);
        if (ok)
            printServerSize(url);
        return ok ? 0 : 1;
    }

    const QString folder = keep.isEmpty() ? scratch.path() : keep;
    QDir().mkpath(folder);
    const QString path = ArchivePathIn(folder);
    QFile::remove(path);

    long long readingsRead = 0;
    int kept = 0;
    {
        TArchive archive(path);
        Trace trace;
        sqlite3* handle = handleOf(archive.Database());
        if (profile && handle != nullptr)
            trace.Listen(handle, SQLITE_TRACE_PROFILE);
        const double cpu = bench::cpuMs();
        QElapsedTimer t;
        t.start();
        const TArchive::ImportSummary summary = archive.Import({data});
        const double ms = msSince(t);
        const double cpuUsed = bench::cpuMs() - cpu;
        if (handle != nullptr)
            Trace::Stop(handle);
        // The generator writes full documents only.
        readingsRead = (summary.imported + summary.already) * 625LL;
        kept = archive.ReadingCount();
        std::printf("import: %lld readings read in %.1f s: %.0f readings/s (CPU %.1f s); %d kept; %s\n", readingsRead,
                    ms / 1e3, double(readingsRead) / (ms / 1e3), cpuUsed / 1e3, kept, qPrintable(summary.Sentence()));
        if (profile)
            printProfile(trace, ms);
        std::printf("import memory: peak %.1f MiB resident\n", double(statusKib("VmHWM:")) / 1024);
    }
    const qint64 bytes = QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
    std::printf("size: %.1f MB, %.1f bytes a reading (%d readings)\n", double(bytes) / 1e6,
                kept > 0 ? double(bytes) / kept : 0.0, kept);
    std::fflush(stdout);

    return searches(path) ? 0 : 1;
}
