#include "Database.h"

#include "ItemColumns.h"
#include "common/AppError.h"

#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

namespace tv {

const char *const kCreateItemsSql = "CREATE TABLE Items (\n"
                                    "  ItemDesc   TEXT COLLATE NOCASE,\n"
                                    "  ItemNum    TEXT COLLATE NOCASE,\n"
                                    "  ItemCnt    INTEGER,\n"
                                    "  ItemCst    INTEGER,\n"
                                    "  TotItemCst INTEGER,\n"
                                    "  Image      TEXT,\n"
                                    "  InvNum     TEXT COLLATE NOCASE,\n"
                                    "  Vendor     TEXT COLLATE NOCASE,\n"
                                    "  InvDate    TEXT\n"
                                    ")";

const QStringList &itemColumnNames()
{
    static const QStringList names = [] {
        QStringList out;
        for (const ColumnInfo &c : kColumns)
            out << QString::fromLatin1(c.name);
        return out;
    }();
    return names;
}

void createEmptyDatabase(const QString &path)
{
    if (QFileInfo::exists(path)) throw AppError(Err::FileAlreadyExists);
    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, kCreateItemsSql, nullptr, nullptr, nullptr);
    const QString error =
        rc == SQLITE_OK ? QString() : QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    sqlite3_close_v2(db);
    if (!error.isNull()) {
        QFile::remove(path);
        throw AppError(Err::DatabaseError, error);
    }
}

} // namespace tv
