#pragma once
#include <QString>
#include <optional>

namespace kr {

class IniFile;

// The single user's archive: this file in the program folder, beside kr.ini.
constexpr const char* ArchiveFileName = "archive.sqlite";
QString ArchivePathIn(const QString& folder);

// Where the readings archive lives: an SQLite file for one user (the
// default, nothing to set up), or a PostgreSQL database a team shares.
struct ArchiveLocation {
    enum Engine { SQLite, PostgreSQL };
    Engine engine = SQLite;
    QString path;  // SQLite: the file

    // PostgreSQL. An empty host is the server's default socket; a host that
    // starts with "/" is a socket folder.
    QString host;
    int port = 5432;
    QString database;
    QString user;
    QString sslMode;  // libpq's sslmode ("prefer", "require", ...); empty: libpq's default
    // Kept for this run only, never written anywhere. Empty: libpq looks in
    // PGPASSWORD and ~/.pgpass, as every PostgreSQL program does.
    QString password;

    static ArchiveLocation File(const QString& path);

    // "postgresql://user@host:port/database?sslmode=require" ("postgres://"
    // too; a socket folder as host percent-encoded, "%2Frun%2Fpostgresql").
    // A password in the address is refused: it would end up in shell
    // histories and process lists. Nothing, with the reason, for anything else.
    static std::optional<ArchiveLocation> FromUrl(const QString& url, QString* why = nullptr);
    // The address FromUrl reads, without a password; the file's path for SQLite.
    QString Url() const;
    // For messages: the file, or "user@host:port/database".
    QString Shown() const;

    bool operator==(const ArchiveLocation&) const = default;
};

// kr.ini's [Archive] keys: Engine ("SQLite" or "PostgreSQL"), and for a
// server Host, Port, Database, User and SSLMode. The file is always
// archive.sqlite beside kr.ini. Anything unreadable gives the file.
ArchiveLocation ReadArchiveLocation(const IniFile& ini);
// The server's keys, whichever is chosen: going back to the server needs
// nothing typed again.
ArchiveLocation ReadArchiveServer(const IniFile& ini);
// Writes those keys; never a password. Inside the caller's writeTogether
// when it runs one.
void WriteArchiveLocation(IniFile& ini, const ArchiveLocation& location);

// A password the user typed, kept in memory for this run only, by the
// address it opens; a location without one of its own is given it.
void KeepPasswordForRun(const ArchiveLocation& location, const QString& password);
QString PasswordForRun(const ArchiveLocation& location);

} // namespace kr
