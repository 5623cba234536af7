#include "archive/ArchiveCursor.h"

namespace kr {

ArchiveCursor::ArchiveCursor(QSqlQuery all) : rows(std::move(all)) {}

ArchiveCursor::ArchiveCursor(std::function<QSqlQuery(qint64)> pager, int size)
    : rows(pager(0)), page(std::move(pager)), pageRows(size)
{
}

bool ArchiveCursor::next()
{
    if (rows.next()) {
        ++readInPage;
        if (page)
            lastId = rows.value(0).toLongLong();
        return true;
    }
    // A short page was the last.
    if (!page || readInPage < pageRows)
        return false;
    rows = page(lastId);
    readInPage = 0;
    return next();
}

void ArchiveCursor::finish()
{
    rows.finish();
    page = nullptr;
}

} // namespace kr
