#include "ItemRecordSet.h"

#include "Database.h"
#include "common/AppError.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <cmath>
#include <array>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tv {

namespace {
constexpr std::array<const char *, kColumnCount> kNames{
    "ItemDesc", "ItemNum", "ItemCnt", "ItemCst", "TotItemCst", "Image", "InvNum", "Vendor", "InvDate"};

QVariant textValue(const QString &s)
{
    return s.isNull() ? QVariant() : QVariant(s);
}

QString toText(const QVariant &v)
{
    if (!v.isValid() || v.isNull()) return QString();
    if (v.metaType().id() != QMetaType::QString) throw AppError(Err::TypeMismatch);
    QString s = v.toString();
    if (s.isNull()) s = QStringLiteral(""); // an empty text is not NULL
    return s;
}

std::optional<Money> toMoney(const QVariant &v)
{
    if (!v.isValid() || v.isNull()) return std::nullopt;
    if (v.metaType() != QMetaType::fromType<Money>()) throw AppError(Err::TypeMismatch);
    return v.value<Money>();
}

std::optional<qint64> toCount(const QVariant &v)
{
    if (!v.isValid() || v.isNull()) return std::nullopt;
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
        return v.toLongLong();
    default:
        throw AppError(Err::TypeMismatch);
    }
}

QVariant bindMoney(const std::optional<Money> &m)
{
    return m ? QVariant(static_cast<qlonglong>(m->raw())) : QVariant(QMetaType::fromType<qlonglong>());
}

QVariant bindText(const QString &s)
{
    return s.isNull() ? QVariant(QMetaType::fromType<QString>()) : QVariant(s);
}

QVariant bindValue(const ItemRow &r, Column column)
{
    switch (column) {
    case Column::ItemCnt:
        return r.itemCnt ? QVariant(static_cast<qlonglong>(*r.itemCnt)) : QVariant(QMetaType::fromType<qlonglong>());
    case Column::ItemCst:
        return bindMoney(r.itemCst);
    case Column::TotItemCst:
        return bindMoney(r.totItemCst);
    default:
        return bindText(r.value(column).toString());
    }
}

unsigned columnBit(Column column)
{
    return 1u << static_cast<unsigned>(column);
}
} // namespace

QString columnName(Column column)
{
    return QString::fromLatin1(kNames[static_cast<size_t>(column)]);
}

std::optional<Column> columnFromName(QStringView name)
{
    for (size_t i = 0; i < kNames.size(); ++i)
        if (name.compare(QLatin1String(kNames[i]), Qt::CaseInsensitive) == 0) return static_cast<Column>(i);
    return std::nullopt;
}

QVariant ItemRow::value(Column column) const
{
    switch (column) {
    case Column::ItemDesc:
        return textValue(itemDesc);
    case Column::ItemNum:
        return textValue(itemNum);
    case Column::ItemCnt:
        return itemCnt ? QVariant(static_cast<qlonglong>(*itemCnt)) : QVariant();
    case Column::ItemCst:
        return itemCst ? QVariant::fromValue(*itemCst) : QVariant();
    case Column::TotItemCst:
        return totItemCst ? QVariant::fromValue(*totItemCst) : QVariant();
    case Column::Image:
        return textValue(image);
    case Column::InvNum:
        return textValue(invNum);
    case Column::Vendor:
        return textValue(vendor);
    case Column::InvDate:
        return textValue(invDate);
    }
    return QVariant();
}

bool ItemRow::sameValue(const ItemRow &a, const ItemRow &b, Column column)
{
    switch (column) {
    case Column::ItemCnt:
        return a.itemCnt == b.itemCnt;
    case Column::ItemCst:
        return a.itemCst == b.itemCst;
    case Column::TotItemCst:
        return a.totItemCst == b.totItemCst;
    default: {
        const QVariant x = a.value(column), y = b.value(column);
        return x.isValid() == y.isValid() && x.toString() == y.toString();
    }
    }
}

void ItemRow::setValue(Column column, const QVariant &v)
{
    if (isKept(column)) {
        // Validate before the kept value is let go.
        ItemRow checked;
        checked.setValue(column, v);
        auto rest = std::make_shared<KeptValues>(*kept);
        rest->shown[static_cast<size_t>(column)] = QString();
        const bool any = std::any_of(rest->shown.begin(), rest->shown.end(), [](const QString &t) { return !t.isNull(); });
        kept = any ? std::move(rest) : nullptr;
    }
    switch (column) {
    case Column::ItemDesc:
        itemDesc = toText(v);
        break;
    case Column::ItemNum:
        itemNum = toText(v);
        break;
    case Column::ItemCnt:
        itemCnt = toCount(v);
        break;
    case Column::ItemCst:
        itemCst = toMoney(v);
        break;
    case Column::TotItemCst:
        totItemCst = toMoney(v);
        break;
    case Column::Image:
        image = toText(v);
        break;
    case Column::InvNum:
        invNum = toText(v);
        break;
    case Column::Vendor:
        vendor = toText(v);
        break;
    case Column::InvDate:
        invDate = toText(v);
        break;
    }
}

ItemRecordSet::ItemRecordSet(const QString &path, QObject *parent) : QObject(parent), m_path(path) {}

ItemRecordSet::~ItemRecordSet()
{
    if (m_open) {
        {
            QSqlDatabase db = QSqlDatabase::database(connectionName(), false);
            db.close();
        }
        QSqlDatabase::removeDatabase(connectionName());
    }
}

QString ItemRecordSet::connectionName() const
{
    return QStringLiteral("tallyvane-items-%1").arg(reinterpret_cast<quintptr>(this));
}

namespace {

struct TextHash
{
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using TextPool = std::unordered_map<std::string, QString, TextHash, std::equal_to<>>;

bool isAscii(std::string_view s)
{
    for (const char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view s)
{
    if (isAscii(s)) return true;
    const auto *p = reinterpret_cast<const unsigned char *>(s.data());
    const auto *end = p + s.size();
    while (p < end) {
        const unsigned c = *p++;
        if (c < 0x80) continue;
        int more;
        unsigned lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        for (int i = 0; i < more; ++i, lo = 0x80, hi = 0xBF) {
            if (p == end || *p < lo || *p > hi) return false;
            ++p;
        }
    }
    return true;
}

QString keptMark(const QString &what)
{
    constexpr qsizetype kShown = 60;
    const QString cut = what.size() > kShown ? what.left(kShown) + QChar(0x2026) : what;
    return QStringLiteral("\u26A0 %1 (kept as stored)").arg(cut);
}

// Reads every row straight from the engine: a large table opens several times faster than
// through QVariant values, and repeated texts share one copy. A value that would not come back
// the same if written (see KeptValues) is read as NULL and noted with its mark.
class RowReader
{
public:
    explicit RowReader(sqlite3_stmt *statement) : m_stmt(statement) {}

    std::shared_ptr<const KeptValues> takeKept() { return std::move(m_kept); }

    QString text(int column, Column c)
    {
        const auto bytes = textBytes(column, c);
        if (!bytes) return QString();
        QString s = QString::fromUtf8(bytes->data(), static_cast<qsizetype>(bytes->size()));
        return s.isNull() ? QStringLiteral("") : s;
    }

    // Vendors, dates, invoices and "0" for no picture repeat from row to row.
    QString shared(int column, Column c, TextPool &pool)
    {
        const auto key = textBytes(column, c);
        if (!key) return QString();
        const auto it = pool.find(*key);
        if (it != pool.end()) return it->second;
        QString s = QString::fromUtf8(key->data(), static_cast<qsizetype>(key->size()));
        if (s.isNull()) s = QStringLiteral("");
        pool.emplace(std::string(*key), s);
        return s;
    }

    std::optional<qint64> integer(int column, Column c)
    {
        switch (sqlite3_column_type(m_stmt, column)) {
        case SQLITE_NULL:
            return std::nullopt;
        case SQLITE_INTEGER:
            return sqlite3_column_int64(m_stmt, column);
        case SQLITE_FLOAT: {
            // Whole numbers within range come back the same; fractions and huge values would not.
            const double d = sqlite3_column_double(m_stmt, column);
            if (d == std::trunc(d) && d >= -9.2e18 && d <= 9.2e18) return static_cast<qint64>(d);
            break;
        }
        default:
            break;
        }
        keepAsStored(column, c, true);
        return std::nullopt;
    }

private:
    std::optional<std::string_view> textBytes(int column, Column c)
    {
        const int type = sqlite3_column_type(m_stmt, column);
        if (type == SQLITE_NULL) return std::nullopt;
        if (type == SQLITE_BLOB) {
            keepAsStored(column, c, true);
            return std::nullopt;
        }
        const auto *utf8 = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        const std::string_view bytes(utf8 ? utf8 : "", static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)));
        if (!isValidUtf8(bytes)) {
            keepAsStored(column, c, false);
            return std::nullopt;
        }
        return bytes;
    }

    void keepAsStored(int column, Column c, bool utf8)
    {
        QString shown;
        if (sqlite3_column_type(m_stmt, column) == SQLITE_BLOB) {
            shown = keptMark(QStringLiteral("binary data, %1 bytes").arg(sqlite3_column_bytes(m_stmt, column)));
        } else {
            const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
            const QString text = QString::fromUtf8(bytes, sqlite3_column_bytes(m_stmt, column));
            shown = keptMark(utf8 ? text : text + QStringLiteral(", not UTF-8"));
        }
        if (!m_kept) m_kept = std::make_shared<KeptValues>();
        m_kept->shown[static_cast<size_t>(c)] = shown;
    }

    sqlite3_stmt *m_stmt;
    std::shared_ptr<KeptValues> m_kept;
};

} // namespace

void ItemRecordSet::open()
{
    if (m_open) return;
    QSqlDatabase db = openDatabase(m_path, connectionName());
    auto fail = [&](const QString &text) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName());
        throw AppError(Err::DatabaseError, text);
    };
    sqlite3 *handle = engineHandle(db);
    if (!handle) fail(QStringLiteral("The database engine of '%1' cannot be reached.").arg(m_path));

    std::vector<ItemRow> rows;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(handle, "select count(*) from Items", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        rows.reserve(static_cast<size_t>(std::max<sqlite3_int64>(0, sqlite3_column_int64(stmt, 0))));
    sqlite3_finalize(stmt);
    stmt = nullptr;

    const char *sql = "select rowid, ItemDesc, ItemNum, ItemCnt, ItemCst, TotItemCst, Image, InvNum, Vendor, "
                      "InvDate from Items";
    if (sqlite3_prepare_v2(handle, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        const QString text = QString::fromUtf8(sqlite3_errmsg(handle));
        sqlite3_finalize(stmt);
        fail(text);
    }
    std::array<TextPool, 4> pools;
    RowReader read(stmt);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        ItemRow r;
        r.rowid = sqlite3_column_int64(stmt, 0);
        r.itemDesc = read.text(1, Column::ItemDesc);
        r.itemNum = read.text(2, Column::ItemNum);
        r.itemCnt = read.integer(3, Column::ItemCnt);
        if (auto c = read.integer(4, Column::ItemCst)) r.itemCst = Money::fromRaw(*c);
        if (auto t = read.integer(5, Column::TotItemCst)) r.totItemCst = Money::fromRaw(*t);
        r.image = read.shared(6, Column::Image, pools[0]);
        r.invNum = read.shared(7, Column::InvNum, pools[1]);
        r.vendor = read.shared(8, Column::Vendor, pools[2]);
        r.invDate = read.shared(9, Column::InvDate, pools[3]);
        r.kept = read.takeKept();
        rows.push_back(std::move(r));
    }
    const QString error = rc == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(handle));
    sqlite3_finalize(stmt);
    if (!error.isNull()) fail(error);

    emit aboutToReset();
    m_rows = std::move(rows);
    m_open = true;
    m_changed = 0;
    m_afterDelete = false;
    m_pos = m_rows.empty() ? -1 : 0;
    emit reset();
    emit currentChanged();
}

void ItemRecordSet::close()
{
    if (!m_open) return;
    emit aboutToReset();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_open = false;
    m_changed = 0;
    m_pos = -1;
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName(), false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName());
    emit reset();
    emit currentChanged();
}

void ItemRecordSet::requireOpen() const
{
    if (!m_open) throw AppError(Err::ObjectClosed);
}

void ItemRecordSet::requireCurrent() const
{
    requireOpen();
    if (!hasCurrent()) throw AppError(Err::NoCurrentRecord);
}

int ItemRecordSet::recordCount() const
{
    requireOpen();
    return static_cast<int>(m_rows.size());
}

bool ItemRecordSet::bof() const
{
    requireOpen();
    return m_rows.empty() || m_pos < 0;
}

bool ItemRecordSet::eof() const
{
    requireOpen();
    return m_rows.empty() || m_pos >= static_cast<int>(m_rows.size());
}

bool ItemRecordSet::hasCurrent() const
{
    return m_open && !m_afterDelete && m_pos >= 0 && m_pos < static_cast<int>(m_rows.size());
}

void ItemRecordSet::setPosition(int pos, bool deletedHole)
{
    m_pos = pos;
    m_afterDelete = deletedHole;
    emit currentChanged();
}

void ItemRecordSet::takePendingEdits()
{
    if (m_pendingEditsHook && hasCurrent()) m_pendingEditsHook();
}

void ItemRecordSet::writePending()
{
    if (hasCurrent() && (m_changed != 0 || !m_rows[static_cast<size_t>(m_pos)].rowid)) update();
}

void ItemRecordSet::moveFirst()
{
    requireOpen();
    takePendingEdits();
    writePending();
    setPosition(m_rows.empty() ? -1 : 0);
}

void ItemRecordSet::moveLast()
{
    requireOpen();
    takePendingEdits();
    writePending();
    setPosition(m_rows.empty() ? -1 : static_cast<int>(m_rows.size()) - 1);
}

void ItemRecordSet::moveNext()
{
    requireOpen();
    if (eof()) throw AppError(Err::NoCurrentRecord);
    takePendingEdits();
    writePending();
    // After a delete the row that followed the deleted one already sits at m_pos.
    setPosition(m_afterDelete ? m_pos : m_pos + 1);
}

void ItemRecordSet::movePrevious()
{
    requireOpen();
    if (bof()) throw AppError(Err::NoCurrentRecord);
    takePendingEdits();
    writePending();
    setPosition(m_pos - 1);
}

void ItemRecordSet::moveTo(int index)
{
    requireOpen();
    if (index < 0 || index >= static_cast<int>(m_rows.size())) throw AppError(Err::NoCurrentRecord);
    if (index == m_pos && !m_afterDelete) return;
    takePendingEdits();
    writePending();
    setPosition(index);
}

void ItemRecordSet::addNew()
{
    requireOpen();
    takePendingEdits();
    writePending();
    const int index = static_cast<int>(m_rows.size());
    emit rowAboutToBeInserted(index);
    m_rows.emplace_back();
    emit rowInserted(index);
    m_changed = 0;
    setPosition(index);
}

void ItemRecordSet::update()
{
    requireCurrent();
    takePendingEdits();
    ItemRow &r = m_rows[static_cast<size_t>(m_pos)];
    if (r.rowid && m_changed == 0) return;
    QSqlDatabase db = QSqlDatabase::database(connectionName(), false);
    QSqlQuery q(db);
    if (!r.rowid) {
        q.prepare(QStringLiteral(
            "insert into Items (ItemDesc, ItemNum, ItemCnt, ItemCst, TotItemCst, Image, InvNum, "
            "Vendor, InvDate) values (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        for (int c = 0; c < kColumnCount; ++c)
            q.addBindValue(bindValue(r, static_cast<Column>(c)));
        if (!q.exec()) throwSqlError(q);
        r.rowid = q.lastInsertId().toLongLong();
    } else {
        // Only what was given a new value: the rest stays in the file exactly as it is.
        QStringList sets;
        for (int c = 0; c < kColumnCount; ++c)
            if (m_changed & columnBit(static_cast<Column>(c)))
                sets << columnName(static_cast<Column>(c)) + QStringLiteral(" = ?");
        q.prepare(QStringLiteral("update Items set %1 where rowid = ?").arg(sets.join(QStringLiteral(", "))));
        for (int c = 0; c < kColumnCount; ++c)
            if (m_changed & columnBit(static_cast<Column>(c))) q.addBindValue(bindValue(r, static_cast<Column>(c)));
        q.addBindValue(*r.rowid);
        if (!q.exec()) throwSqlError(q);
    }
    q.finish();
    m_changed = 0;
    emit rowChanged(m_pos);
}

void ItemRecordSet::deleteCurrent()
{
    requireCurrent();
    const ItemRow &r = m_rows[static_cast<size_t>(m_pos)];
    if (r.rowid) {
        QSqlQuery q(QSqlDatabase::database(connectionName(), false));
        q.prepare(QStringLiteral("delete from Items where rowid = ?"));
        q.addBindValue(*r.rowid);
        if (!q.exec()) throwSqlError(q);
        q.finish();
    }
    const int index = m_pos;
    emit rowAboutToBeRemoved(index);
    m_rows.erase(m_rows.begin() + index);
    m_changed = 0;
    emit rowRemoved(index);
    setPosition(m_rows.empty() ? -1 : index, !m_rows.empty());
}

void ItemRecordSet::save()
{
    requireOpen();
    takePendingEdits();
    writePending();
}

QVariant ItemRecordSet::value(Column column) const
{
    requireCurrent();
    return m_rows[static_cast<size_t>(m_pos)].value(column);
}

QVariant ItemRecordSet::value(QStringView name) const
{
    const auto column = columnFromName(name);
    if (!column)
        throw AppError(3265,
                       QStringLiteral("Item cannot be found in the collection corresponding to the requested "
                                      "name or ordinal."));
    return value(*column);
}

void ItemRecordSet::setValue(Column column, const QVariant &v)
{
    requireCurrent();
    ItemRow &r = m_rows[static_cast<size_t>(m_pos)];
    const ItemRow before = r;
    r.setValue(column, v);
    // Taking in the text a field already showed changes nothing.
    if (!before.isKept(column) && ItemRow::sameValue(before, r, column)) return;
    m_changed |= columnBit(column);
    emit rowChanged(m_pos);
}

} // namespace tv
