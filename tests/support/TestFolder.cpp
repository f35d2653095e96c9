#include "TestFolder.h"

#include "common/ProgramFolder.h"
#include "items/Database.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

namespace tv::test {

TestFolder::TestFolder(bool withDatabase)
{
    if (!m_dir.isValid())
        qFatal("cannot make a temporary folder");
    setProgramFolder(m_dir.path());
    if (withDatabase)
        createEmptyDatabase(databasePath());
}

TestFolder::~TestFolder() { setProgramFolder(QString()); }

void TestFolder::addRows(const std::vector<ItemRow> &rows) const
{
    const QString name = QStringLiteral("testfolder-add");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databasePath());
        if (!db.open())
            qFatal("cannot open the test database");
        db.transaction();
        QSqlQuery q(db);
        q.prepare(QStringLiteral("insert into Items (ItemDesc, ItemNum, ItemCnt, ItemCst, TotItemCst, Image, InvNum, "
                                 "Vendor, InvDate) values (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        for (const ItemRow &r : rows) {
            auto text = [](const QString &s) { return s.isNull() ? QVariant(QMetaType::fromType<QString>()) : QVariant(s); };
            auto num = [](std::optional<qint64> v) {
                return v ? QVariant(static_cast<qlonglong>(*v)) : QVariant(QMetaType::fromType<qlonglong>());
            };
            q.addBindValue(text(r.itemDesc));
            q.addBindValue(text(r.itemNum));
            q.addBindValue(num(r.itemCnt));
            q.addBindValue(num(r.itemCst ? std::optional<qint64>(r.itemCst->raw()) : std::nullopt));
            q.addBindValue(num(r.totItemCst ? std::optional<qint64>(r.totItemCst->raw()) : std::nullopt));
            q.addBindValue(text(r.image));
            q.addBindValue(text(r.invNum));
            q.addBindValue(text(r.vendor));
            q.addBindValue(text(r.invDate));
            if (!q.exec())
                qFatal("cannot insert a test row");
        }
        q.finish();
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

QString execSql(const QString &databasePath, const QStringList &statements)
{
    const QString name = QStringLiteral("testfolder-exec");
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databasePath);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            QSqlQuery q(db);
            for (const QString &sql : statements) {
                if (!q.exec(sql)) {
                    error = sql + QStringLiteral(": ") + q.lastError().text();
                    break;
                }
            }
            q.finish();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

ItemRow makeRow(const QString &desc, const QString &num, qint64 count, const QString &cost, const QString &vendor,
                const QString &isoDate, const QString &invNum)
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
