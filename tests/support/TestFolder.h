#pragma once

#include "items/ItemRecordSet.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <vector>

namespace tv::test {

// A temporary program folder with its own InventoryDb.mdb; the program folder points at it for
// the lifetime of this object.
class TestFolder
{
public:
    explicit TestFolder(bool withDatabase = true);
    ~TestFolder();

    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    QString databasePath() const { return file(QStringLiteral("InventoryDb.mdb")); }

    // Appends rows straight into the file (not through a record set).
    void addRows(const std::vector<ItemRow> &rows) const;

private:
    QTemporaryDir m_dir;
};

// Runs statements on a database file over a connection of its own, for rows and states no window
// would write. Returns the error text of the first that fails; empty when all ran.
QString execSql(const QString &databasePath, const QStringList &statements);

// The first column of every row a query returns, as text, read over a connection of its own.
// Throws AppError when the file cannot be read.
QStringList querySql(const QString &databasePath, const QString &sql);

// Settings as the program keeps them, under a test name in the test place: a run never sees, nor
// leaves, the user's own.
void useTestSettings();

// A row with the given name and item number, and optionally count and cost (in plain decimals).
ItemRow makeRow(const QString &desc, const QString &num, qint64 count = 0,
                const QString &cost = QStringLiteral("0"), const QString &vendor = QString(),
                const QString &isoDate = QString(), const QString &invNum = QString());

} // namespace tv::test
