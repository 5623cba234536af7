#pragma once
#include <QString>
#include <optional>

namespace kr {

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

} // namespace kr
