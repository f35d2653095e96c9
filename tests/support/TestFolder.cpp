#include "TestFolder.h"

#include "common/ProgramFolder.h"
#include "items/Database.h"
#include "items/ItemStore.h"
#include "items/SqliteConnection.h"

#include <QtTest>
#include <sqlite3.h>

namespace tv::test {

TestFolder::TestFolder(bool withDatabase)
{
    if (!m_dir.isValid()) qFatal("cannot make a temporary folder");
    setProgramFolder(m_dir.path());
    if (withDatabase) createEmptyDatabase(databasePath());
}

TestFolder::~TestFolder()
{
    setProgramFolder(QString());
}

void TestFolder::addRows(const std::vector<ItemRow> &rows) const
{
    std::vector<ItemRow> stored = rows;
    try {
        const auto store = makeFileStore(databasePath());
        store->open();
        store->insertAll(stored);
    } catch (const AppError &e) {
        qFatal("cannot insert test rows: %s", qPrintable(e.description()));
    }
}

QString execSql(const QString &databasePath, const QStringList &statements)
{
    // Creates a missing file, as a tool that makes odd files would.
    sqlite3 *db = nullptr;
    QString error;
    if (sqlite3_open(QFile::encodeName(databasePath).constData(), &db) != SQLITE_OK) {
        error = QString::fromUtf8(sqlite3_errmsg(db));
    } else {
        sqlite3_busy_timeout(db, 5000);
        for (const QString &sql : statements) {
            if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
                error = sql + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db));
                break;
            }
        }
    }
    sqlite3_close(db);
    return error;
}

QStringList querySql(const QString &databasePath, const QString &sql)
{
    SqliteConnection db(databasePath, SqliteConnection::Access::ReadOnly);
    SqliteStatement q(db, sql.toStdString());
    QStringList out;
    while (q.step())
        out << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(q.get(), 0)));
    return out;
}

void useTestSettings()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Tallyvane"));
    QCoreApplication::setApplicationName(QStringLiteral("KetbookTest"));
}

ItemRow makeRow(const QString &desc, const QString &num, qint64 count, const QString &cost,
                const QString &vendor, const QString &isoDate, const QString &invNum)
{
    ItemRow r;
    r.itemDesc = desc;
    r.itemNum = num;
    r.itemCnt = count;
    r.itemCst = Money::parse(cost).value_or(Money());
    r.totItemCst = r.itemCst->times(count).value_or(Money());
    r.image = QStringLiteral("0");
    r.vendor = vendor;
    r.invDate = isoDate;
    r.invNum = invNum;
    return r;
}

} // namespace tv::test
