#include "PickLists.h"

#include "Database.h"
#include "common/AppError.h"
#include "common/DateText.h"
#include "modSingle.h"

#include <QSqlQuery>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <unordered_set>

namespace tv {

QString pickListQuery(PickList list)
{
    switch (list) {
    case PickList::Date:
        return QStringLiteral("select InvDate from Items");
    case PickList::InvNum:
        return QStringLiteral("select InvNum from Items");
    case PickList::Vendor:
        return QStringLiteral("select Vendor from Items");
    }
    return QString();
}

namespace {

struct Hash
{
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// Collects each distinct text once, in order of first appearance. Most rows repeat a value
// already seen byte for byte, which costs one hash look-up; only new texts are decoded.
class DistinctTexts
{
public:
    DistinctTexts(PickList list, QStringList &out) : m_list(list), m_out(out) {}

    void add(std::string_view utf8)
    {
        if (utf8.empty() || m_seen.find(utf8) != m_seen.end()) return;
        m_seen.emplace(utf8);
        const QString raw = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
        m_out << (m_list == PickList::Date ? storedDateToDisplay(raw) : raw);
    }

private:
    PickList m_list;
    QStringList &m_out;
    std::unordered_set<std::string, Hash, std::equal_to<>> m_seen;
};

} // namespace

QStringList pickListValues(PickList list, const QString &databasePath)
{
    QStringList values;
    QueryConnection connection(databasePath);
    const QByteArray sql = pickListQuery(list).toUtf8();
    DistinctTexts entries(list, values);
    if (sqlite3 *handle = engineHandle(connection.database())) {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(handle, sql.constData(), static_cast<int>(sql.size()), &stmt, nullptr) !=
            SQLITE_OK)
            throw AppError(Err::DatabaseError, QString::fromUtf8(sqlite3_errmsg(handle)));
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            // An item saved without a value must not break the list for every other item.
            if (sqlite3_column_type(stmt, 0) == SQLITE_NULL) continue;
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
            entries.add(std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(stmt, 0))));
        }
        const QString error = rc == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(handle));
        sqlite3_finalize(stmt);
        if (!error.isEmpty()) throw AppError(Err::DatabaseError, error);
    } else {
        QSqlQuery q = connection.query(QString::fromUtf8(sql));
        while (q.next())
            if (!q.value(0).isNull()) entries.add(q.value(0).toString().toStdString());
    }
    Singlelize(values);
    return values;
}

} // namespace tv
