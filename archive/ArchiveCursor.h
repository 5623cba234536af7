#pragma once
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <functional>

namespace kr {

// The rows of a search as they are read, newest first, however many there
// are. On SQLite it is the statement itself, which hands rows over as they
// are read. A server's driver sends a result whole, so there the rows come
// a page at a time, each page the rows after the last one read (by its id,
// column 0), and a window or an export of millions holds one page.
class ArchiveCursor {
public:
    ArchiveCursor() = default;
    explicit ArchiveCursor(QSqlQuery all);
    // `page(0)` gives the first rows, `page(id)` those after the row `id`.
    ArchiveCursor(std::function<QSqlQuery(qint64 afterId)> page, int pageRows);

    bool next();
    QVariant value(int column) const { return rows.value(column); }
    QSqlRecord record() const { return rows.record(); }
    bool isActive() const { return rows.isActive(); }
    bool isSelect() const { return rows.isSelect(); }
    // Lets the statement go; the rows read stay with the reader.
    void finish();

private:
    QSqlQuery rows;
    std::function<QSqlQuery(qint64)> page;
    int pageRows = 0;
    int readInPage = 0;
    qint64 lastId = 0;
};

} // namespace kr
