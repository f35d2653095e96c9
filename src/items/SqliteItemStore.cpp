#include "ItemStore.h"
#include "SqliteConnection.h"
#include "SqliteHistory.h"
#include "SqliteStocktake.h"

#include <QAbstractEventDispatcher>
#include <QFile>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unordered_set>
#include <vector>

namespace tv {

namespace {

struct TextHash
{
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return ItemRowTable::hashText(s); }
};

// Repeated texts of one column share one copy. A pool stops growing at a bound, so memory stays
// linear however large the table; a pool whose texts rarely come back (item numbers) is let go,
// so such a column costs no look-up from then on. The table is open-addressed and flat: a
// look-up is a mask and one or two probes in a small array, not a division and a walk through
// scattered nodes, which cost most of the time of opening a large table.
class TextPool
{
public:
    // The pooled copy of the bytes, whose hashText() is `hash`, or null.
    const QString *find(std::string_view bytes, size_t hash)
    {
        if (!m_active) return nullptr;
        if (m_slots.empty()) m_slots.assign(kSlots, Slot{});
        m_hash = hash;
        for (size_t i = m_hash & kSlotMask;; i = (i + 1) & kSlotMask) {
            const Slot &slot = m_slots[i];
            if (slot.entry == 0) break;
            if (slot.hash != static_cast<quint32>(m_hash)) continue;
            const Entry &e = m_entries[slot.entry - 1];
            if (e.size == bytes.size() &&
                std::memcmp(m_bytes.data() + e.offset, bytes.data(), bytes.size()) == 0) {
                ++m_hits;
                return &e.text;
            }
        }
        // A column that repeated nothing at all so far (item numbers) is not worth pooling.
        if (++m_misses == kFirstSample && m_hits == 0) letGo();
        return nullptr;
    }
    // Adds the bytes find() just missed.
    void add(std::string_view bytes, const QString &text)
    {
        if (!m_active) return;
        if (m_entries.size() < kMaxTexts) {
            m_entries.push_back(Entry{m_bytes.size(), bytes.size(), text});
            m_bytes.append(bytes);
            size_t i = m_hash & kSlotMask;
            while (m_slots[i].entry != 0)
                i = (i + 1) & kSlotMask;
            m_slots[i] = Slot{static_cast<quint32>(m_hash), static_cast<quint32>(m_entries.size())};
        } else if (m_hits < m_misses / 2) {
            letGo();
        }
    }

private:
    void letGo()
    {
        m_active = false;
        m_slots = {};
        m_entries = {};
        m_bytes = {};
    }

    struct Slot
    {
        quint32 hash = 0;
        quint32 entry = 0; // index + 1 into m_entries; 0 for a free slot
    };
    struct Entry
    {
        size_t offset, size; // of the bytes in m_bytes
        QString text;
    };

    static constexpr quint64 kFirstSample = 2048;
    static constexpr size_t kMaxTexts = 4096;       // small enough to stay in the processor cache
    static constexpr size_t kSlots = 2 * kMaxTexts; // at most half full: probes stay short
    static constexpr size_t kSlotMask = kSlots - 1;
    std::vector<Slot> m_slots;
    std::vector<Entry> m_entries;
    std::string m_bytes;
    size_t m_hash = 0; // of the bytes of the last find()
    quint64 m_hits = 0, m_misses = 0;
    bool m_active = true;
};

bool isAscii(std::string_view s)
{
    // Eight bytes at a time: almost every text of a table is ASCII.
    const char *p = s.data();
    size_t n = s.size();
    for (; n >= 8; p += 8, n -= 8) {
        quint64 w = 0;
        std::memcpy(&w, p, 8);
        if (w & 0x8080808080808080ull) return false;
    }
    for (; n > 0; ++p, --n)
        if (static_cast<unsigned char>(*p) >= 0x80) return false;
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

// Whole numbers within range come back the same; fractions and huge values would not.
std::optional<qint64> wholeNumber(double d)
{
    if (d == std::trunc(d) && d >= -9.2e18 && d <= 9.2e18) return static_cast<qint64>(d);
    return std::nullopt;
}

QString keptMark(const QString &what)
{
    constexpr qsizetype kShown = 60;
    const QString cut = what.size() > kShown ? what.left(kShown) + QChar(0x2026) : what;
    return QStringLiteral("\u26A0 %1 (kept as stored)").arg(cut);
}

// A digest of a row's stored values, taken column by column from the engine's own bytes, so that
// values shown marked count too. Another program's save, or a new item under a reused row key,
// changes it.
class StoredDigest
{
public:
    // The value of `column` at the statement's current step, of the given type; taken before the
    // engine converts it.
    void add(sqlite3_stmt *stmt, int column, int type) { add(sqlite3_column_value(stmt, column), type); }
    // The same for a value the statement handed over; the engine's own API on its values costs less
    // than asking the statement for each.
    void add(sqlite3_value *value, int type)
    {
        mix(static_cast<quint64>(type));
        switch (type) {
        case SQLITE_INTEGER:
            mix(static_cast<quint64>(sqlite3_value_int64(value)));
            break;
        case SQLITE_FLOAT: {
            const double d = sqlite3_value_double(value);
            quint64 bits = 0;
            std::memcpy(&bits, &d, sizeof bits);
            mix(bits);
            break;
        }
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
            const void *bytes = type == SQLITE_TEXT ? static_cast<const void *>(sqlite3_value_text(value))
                                                    : sqlite3_value_blob(value);
            const auto size = static_cast<size_t>(sqlite3_value_bytes(value));
            mix(ItemRowTable::hashText(
                std::string_view(bytes ? static_cast<const char *>(bytes) : "", size)));
            break;
        }
        default:
            break;
        }
    }
    // A whole number: the same as add() gives for it.
    void addInteger(qint64 n)
    {
        mix(SQLITE_INTEGER);
        mix(static_cast<quint64>(n));
    }
    // A text value whose bytes have this hashText(): the same as add() gives for it.
    void addText(size_t hash)
    {
        mix(SQLITE_TEXT);
        mix(hash);
    }
    qint64 value() const { return static_cast<qint64>(m_h); }

private:
    void mix(quint64 v) { m_h ^= v + 0x9e3779b97f4a7c15ull + (m_h << 6) + (m_h >> 2); }

    quint64 m_h = 0xcbf29ce484222325ull;
};

// Notes the value at the statement's current step as kept (see KeptValues), with its mark.
void keep(std::shared_ptr<KeptValues> &kept, sqlite3_stmt *stmt, int column, Column c, bool utf8)
{
    QString shown;
    if (sqlite3_column_type(stmt, column) == SQLITE_BLOB) {
        shown = keptMark(QStringLiteral("binary data, %1 bytes").arg(sqlite3_column_bytes(stmt, column)));
    } else {
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
        const QString text = QString::fromUtf8(bytes, sqlite3_column_bytes(stmt, column));
        shown = keptMark(utf8 ? text : text + QStringLiteral(", not UTF-8"));
    }
    if (!kept) kept = std::make_shared<KeptValues>();
    kept->shown[static_cast<size_t>(c)] = shown;
}

// Reads rows straight from the engine: a large table opens several times faster than through
// QVariant values, and repeated texts share one copy. A value that would not come back
// the same if written (see KeptValues) is read as NULL and noted with its mark. The row's digest
// is taken on the way, each value looked at once.
// One stored value as the program takes it; a kept value reads as NULL.
struct Cell
{
    enum class Kind { Null, Number, Text };
    Kind kind = Kind::Null;
    qint64 number = 0;     // a count, or money as its raw amount
    std::string_view text; // UTF-8, good until the statement steps
    size_t hash = 0;       // hashText(text)
};

class RowReader
{
public:
    explicit RowReader(sqlite3_stmt *statement) : m_stmt(statement) {}

    std::shared_ptr<const KeptValues> takeKept() { return std::move(m_kept); }
    // Of the columns read so far, in the order read.
    qint64 digest() const { return m_digest.value(); }

    // The value in the statement's `column`, which holds the item's column `c`, taken into the
    // digest first. One the program cannot show as it is is noted with its mark.
    Cell cell(int column, Column c)
    {
        sqlite3_value *value = sqlite3_column_value(m_stmt, column);
        const int type = sqlite3_value_type(value);
        const ColumnType kind = columnInfo(c).type;
        const bool number = kind == ColumnType::Count || kind == ColumnType::Money;
        if (number && type == SQLITE_INTEGER) {
            const qint64 n = sqlite3_value_int64(value);
            m_digest.addInteger(n);
            return {Cell::Kind::Number, n, {}, 0};
        }
        // Before the engine converts it; a text's own bytes are hashed once, below.
        if (type != SQLITE_TEXT || number) m_digest.add(value, type);
        if (type == SQLITE_NULL) return {};
        if (number) {
            if (type == SQLITE_FLOAT)
                if (const auto whole = wholeNumber(sqlite3_value_double(value)))
                    return {Cell::Kind::Number, *whole, {}, 0};
            keep(m_kept, m_stmt, column, c, true);
            return {};
        }
        if (type == SQLITE_BLOB) {
            keep(m_kept, m_stmt, column, c, true);
            return {};
        }
        const auto *utf8 = reinterpret_cast<const char *>(sqlite3_value_text(value));
        const std::string_view bytes(utf8 ? utf8 : "", static_cast<size_t>(sqlite3_value_bytes(value)));
        const size_t hash = ItemRowTable::hashText(bytes);
        if (type == SQLITE_TEXT) m_digest.addText(hash);
        if (!isValidUtf8(bytes)) {
            keep(m_kept, m_stmt, column, c, false);
            return {};
        }
        return {Cell::Kind::Text, 0, bytes, hash};
    }

    // Vendors, dates, invoices and "0" for no picture repeat from row to row.
    QString text(int column, Column c, TextPool *pool = nullptr)
    {
        const Cell v = cell(column, c);
        if (v.kind != Cell::Kind::Text) return QString();
        if (pool)
            if (const QString *known = pool->find(v.text, v.hash)) return *known;
        QString s = QString::fromUtf8(v.text.data(), static_cast<qsizetype>(v.text.size()));
        if (s.isNull()) s = QStringLiteral("");
        if (pool) pool->add(v.text, s);
        return s;
    }

    std::optional<qint64> integer(int column, Column c)
    {
        const Cell v = cell(column, c);
        return v.kind == Cell::Kind::Number ? std::optional<qint64>(v.number) : std::nullopt;
    }

private:
    sqlite3_stmt *m_stmt;
    std::shared_ptr<KeptValues> m_kept;
    StoredDigest m_digest;
};

// Row key -> digest of every row, kept sorted by key in one block: a million rows cost 8 MB and no
// allocation each, and two of them compare in one walk. Only a change is told by them, so half of
// each digest does: a save is still checked against the whole of it. Keys are 32 bits wide where
// they fit, as nearly every table's do.
class Digests
{
public:
    void clear()
    {
        m_narrow.clear();
        m_wide.clear();
    }
    void reserve(size_t n) { m_narrow.reserve(n); }
    // Added in any order; sort() before the next look-up.
    void append(qint64 key, qint64 digest)
    {
        if (isNarrow(key))
            m_narrow.push_back(Narrow{static_cast<quint32>(key), fold(digest)});
        else
            m_wide.push_back(Wide{key, fold(digest)});
    }
    void sort()
    {
        sortOne(m_narrow);
        sortOne(m_wide);
    }
    void set(qint64 key, qint64 digest)
    {
        if (isNarrow(key))
            setOne(m_narrow, static_cast<quint32>(key), fold(digest));
        else
            setOne(m_wide, key, fold(digest));
    }
    void erase(qint64 key)
    {
        if (isNarrow(key))
            eraseOne(m_narrow, static_cast<quint32>(key));
        else
            eraseOne(m_wide, key);
    }
    // The keys whose digest differs between the two, or that only one of them has, ascending.
    static std::vector<qint64> changed(const Digests &before, const Digests &now)
    {
        std::vector<qint64> keys;
        changedOne(before.m_wide, now.m_wide, keys);
        changedOne(before.m_narrow, now.m_narrow, keys);
        if (!before.m_wide.empty() || !now.m_wide.empty()) std::sort(keys.begin(), keys.end());
        return keys;
    }

private:
    template <typename Key> struct [[gnu::packed]] Entry
    {
        Key first;      // the key
        quint32 second; // the digest, folded
    };
    using Narrow = Entry<quint32>;
    using Wide = Entry<qint64>;

    static bool isNarrow(qint64 key) { return key >= 0 && key <= 0xFFFFFFFFll; }
    static quint32 fold(qint64 digest)
    {
        return static_cast<quint32>(static_cast<quint64>(digest) ^ (static_cast<quint64>(digest) >> 32));
    }
    template <typename E> static bool byKey(const E &x, const E &y) { return x.first < y.first; }
    template <typename E> static void sortOne(std::vector<E> &entries)
    {
        // A table is read in key order: the check is all there is to do then.
        if (!std::is_sorted(entries.begin(), entries.end(), byKey<E>))
            std::sort(entries.begin(), entries.end(), byKey<E>);
    }
    template <typename E, typename Key> static void setOne(std::vector<E> &entries, Key key, quint32 digest)
    {
        const auto it = std::lower_bound(entries.begin(), entries.end(), E{key, 0}, byKey<E>);
        if (it != entries.end() && it->first == key)
            it->second = digest;
        else
            entries.insert(it, E{key, digest});
    }
    template <typename E, typename Key> static void eraseOne(std::vector<E> &entries, Key key)
    {
        const auto it = std::lower_bound(entries.begin(), entries.end(), E{key, 0}, byKey<E>);
        if (it != entries.end() && it->first == key) entries.erase(it);
    }
    template <typename E>
    static void changedOne(const std::vector<E> &before, const std::vector<E> &now, std::vector<qint64> &keys)
    {
        auto a = before.begin(), b = now.begin();
        while (a != before.end() || b != now.end()) {
            if (b == now.end() || (a != before.end() && a->first < b->first)) {
                keys.push_back((a++)->first);
            } else if (a == before.end() || b->first < a->first) {
                keys.push_back((b++)->first);
            } else {
                if (a->second != b->second) keys.push_back(a->first);
                ++a;
                ++b;
            }
        }
    }

    std::vector<Narrow> m_narrow;
    std::vector<Wide> m_wide;
};

// "ItemDesc, ItemNum, ..." in table order, for the statements below; a column the table does not
// have yet reads as NULL.
std::string columnList(bool added)
{
    std::string out;
    for (const ColumnInfo &c : kColumns) {
        if (!out.empty()) out += ", ";
        out += c.addedLater && !added ? "NULL" : c.name;
    }
    return out;
}

std::string selectSql(bool added)
{
    return "select rowid, " + columnList(added) + " from Items";
}

using Pools = std::array<TextPool, kColumnCount>;

// The digest (see StoredDigest) of the row at the statement's current step, columns after the
// rowid.
qint64 storedVersion(sqlite3_stmt *stmt)
{
    StoredDigest digest;
    for (int at = 1; at <= kColumnCount; ++at)
        digest.add(stmt, at, sqlite3_column_type(stmt, at));
    return digest.value();
}

// The item's values in table order from the statement's column `first` on.
void readValues(RowReader &read, int first, Pools *pools, ItemRow &r)
{
    for (const ColumnInfo &c : kColumns) {
        const int at = static_cast<int>(c.column) + first;
        switch (c.type) {
        case ColumnType::Count:
            *r.countOf(c.column) = read.integer(at, c.column);
            break;
        case ColumnType::Money:
            if (const auto raw = read.integer(at, c.column)) *r.moneyOf(c.column) = Money::fromRaw(*raw);
            break;
        case ColumnType::Text:
        case ColumnType::Date:
            *r.textOf(c.column) =
                read.text(at, c.column, pools ? &(*pools)[static_cast<size_t>(c.column)] : nullptr);
            break;
        }
    }
    r.kept = read.takeKept();
}

// The row at the statement's current step: rowid first, then the columns in table order.
ItemRow readRow(sqlite3_stmt *stmt, Pools *pools)
{
    ItemRow r;
    r.rowid = sqlite3_column_int64(stmt, 0);
    RowReader read(stmt);
    readValues(read, 1, pools, r);
    r.version = read.digest(); // the same as storedVersion(stmt), without reading every value twice
    return r;
}

// Appends the row at the statement's current step (rowid first, then the columns in table order)
// to the table as the engine holds it, the same values and digest as readRow() gives; returns
// its key and digest.
std::pair<qint64, qint64> appendRow(sqlite3_stmt *stmt, ItemRowTable &table)
{
    const qint64 key = sqlite3_column_int64(stmt, 0);
    RowReader read(stmt);
    table.beginRow(key);
    for (const ColumnInfo &c : kColumns) {
        const Cell v = read.cell(static_cast<int>(c.column) + 1, c.column);
        switch (v.kind) {
        case Cell::Kind::Null:
            table.addNull();
            break;
        case Cell::Kind::Number:
            table.addNumber(v.number);
            break;
        case Cell::Kind::Text:
            table.addText(v.text, v.hash);
            break;
        }
    }
    const qint64 digest = read.digest();
    table.endRow(digest, read.takeKept());
    return {key, digest};
}

// The values at the statement's current step from column `first` on, as the engine holds them;
// false when one of them would be kept as stored, which only RowReader marks.
bool readCells(sqlite3_stmt *stmt, int first, StoredCells &cells)
{
    cells.nulls = 0;
    for (const ColumnInfo &c : kColumns) {
        const auto i = static_cast<size_t>(c.column);
        const int at = static_cast<int>(i) + first;
        const int type = sqlite3_column_type(stmt, at);
        if (type == SQLITE_NULL) {
            cells.nulls |= 1u << i;
        } else if (c.type == ColumnType::Count || c.type == ColumnType::Money) {
            std::optional<qint64> n;
            if (type == SQLITE_INTEGER) n = sqlite3_column_int64(stmt, at);
            if (type == SQLITE_FLOAT) n = wholeNumber(sqlite3_column_double(stmt, at));
            if (!n) return false;
            cells.number[i] = *n;
        } else {
            if (type == SQLITE_BLOB) return false;
            const auto *utf8 = reinterpret_cast<const char *>(sqlite3_column_text(stmt, at));
            const std::string_view bytes(utf8 ? utf8 : "",
                                         static_cast<size_t>(sqlite3_column_bytes(stmt, at)));
            if (!isValidUtf8(bytes)) return false;
            cells.text[i] = bytes;
        }
    }
    return true;
}

void bindRow(SqliteStatement &s, const ItemRow &r, unsigned columns)
{
    int at = 1;
    for (const ColumnInfo &c : kColumns) {
        if (!(columns & (1u << static_cast<unsigned>(c.column)))) continue;
        switch (c.type) {
        case ColumnType::Count:
            s.bind(at++, *r.countOf(c.column));
            break;
        case ColumnType::Money: {
            const auto &m = *r.moneyOf(c.column);
            s.bind(at++, m ? std::optional<qint64>(m->raw()) : std::nullopt);
            break;
        }
        case ColumnType::Text:
        case ColumnType::Date:
            s.bind(at++, *r.textOf(c.column));
            break;
        }
    }
}

constexpr unsigned kAllColumns = (1u << kColumnCount) - 1;

// Whether any of the columns added when first needed holds a value in one of the rows.
bool usesAddedColumns(const ItemRow &row, unsigned columns = kAllColumns)
{
    for (const ColumnInfo &c : kColumns)
        if (c.addedLater && (columns & (1u << static_cast<unsigned>(c.column))) &&
            row.value(c.column).isValid())
            return true;
    return false;
}

} // namespace

void readStoredValues(sqlite3_stmt *stmt, int first, ItemRow &row)
{
    RowReader read(stmt);
    readValues(read, first, nullptr, row);
}

namespace {

class SqliteItemStore final : public ItemStore
{
public:
    explicit SqliteItemStore(const QString &path) : m_path(path), m_history(m_changeKind, m_undoes)
    {
        m_poll.setInterval(1000);
        connect(&m_poll, &QTimer::timeout, this, [this] { lookForChanges(); });
    }

    QString location() const override { return m_path; }
    bool isFile() const override { return true; }
    bool isOpen() const override { return m_connection != nullptr; }

    void open() override
    {
        if (m_connection) return;
        m_connection = std::make_unique<SqliteConnection>(m_path, SqliteConnection::Access::ReadWrite);
        m_history.attach(*m_connection);
        m_added = m_connection->hasAddedColumns();
        m_identity = identity();
        m_dataVersion = dataVersion();
        m_seen.clear();
        // Only where events run: a store opened for one report or import on its own needs none.
        if (QAbstractEventDispatcher::instance()) m_poll.start();
    }
    ~SqliteItemStore() override { stopScan(); }

    void close() override
    {
        m_poll.stop();
        stopScan();
        m_connection.reset();
        m_seen.clear();
    }

    std::vector<ItemRow> readAll() override
    {
        std::vector<ItemRow> rows;
        auto pools = std::make_unique<Pools>();
        readEveryRow([&rows](size_t count) { rows.reserve(count); },
                     [&rows, &pools](sqlite3_stmt *s) {
                         rows.push_back(readRow(s, pools.get()));
                         return std::pair(*rows.back().rowid, *rows.back().version);
                     });
        return rows;
    }

    void readAllInto(ItemRowTable &table) override
    {
        readEveryRow([&table](size_t count) { table.reserve(count); },
                     [&table](sqlite3_stmt *s) { return appendRow(s, table); });
    }

    std::optional<ItemRow> read(qint64 key) override
    {
        Reading c(*this);
        return readKey(c.get(), key);
    }

    void insert(ItemRow &row) override
    {
        Writing w(*this);
        if (usesAddedColumns(row)) addColumns(w);
        SqliteStatement s(w.get(), insertSql());
        bindRow(s, row, writtenColumns(kAllColumns));
        s.step();
        const qint64 key = sqlite3_last_insert_rowid(w.get().handle());
        const std::optional<ItemRow> stored = readKey(w.get(), key);
        w.commit();
        row.rowid = key;
        row.version = stored ? stored->version : std::nullopt;
        noteOwn(row);
    }

    void update(ItemRow &row, unsigned changedColumns) override
    {
        changedColumns &= kAllColumns;
        if (!row.rowid) return insert(row);
        const bool adds = usesAddedColumns(row, changedColumns);
        if (!adds && writtenColumns(changedColumns) == 0) return; // nothing for the file to keep
        Writing w(*this);
        if (adds) addColumns(w);
        changedColumns = writtenColumns(changedColumns);
        if (changedColumns == 0) return;
        // Only what was given a new value: the rest stays in the file exactly as it is.
        std::string sql = "update Items set ";
        bool first = true;
        for (const ColumnInfo &c : kColumns) {
            if (!(changedColumns & (1u << static_cast<unsigned>(c.column)))) continue;
            sql += first ? "" : ", ";
            sql += c.name;
            sql += " = ?";
            first = false;
        }
        sql += " where rowid = ?";
        // Compared and written under one write lock: no other program can come in between.
        const std::optional<ItemRow> now = readKey(w.get(), *row.rowid);
        if (!now) throw ItemConflict(ItemConflict::deletedText(), std::nullopt);
        if (row.version && now->version != row.version) throw ItemConflict(ItemConflict::changedText(), now);
        {
            SqliteStatement s(w.get(), sql);
            bindRow(s, row, changedColumns);
            s.bind(std::popcount(changedColumns) + 1, row.rowid);
            s.step();
        }
        const std::optional<ItemRow> stored = readKey(w.get(), *row.rowid);
        w.commit();
        row.version = stored ? stored->version : std::nullopt;
        noteOwn(row);
    }

    void remove(const ItemRow &row) override
    {
        if (!row.rowid) return;
        Writing w(*this);
        const std::optional<ItemRow> now = readKey(w.get(), *row.rowid);
        if (!now) {
            m_seen.erase(*row.rowid);
            return; // already gone, as asked
        }
        // The key may have been given to another item meanwhile: never delete that one.
        if (row.version && now->version != row.version)
            throw ItemConflict(ItemConflict::changedBeforeDeleteText(), now);
        {
            SqliteStatement s(w.get(), "delete from Items where rowid = ?");
            s.bind(1, row.rowid);
            s.step();
        }
        w.commit();
        m_seen.erase(*row.rowid);
    }

    void insertAll(std::vector<ItemRow> &rows) override
    {
        Writing w(*this);
        SqliteConnection &c = w.get();
        try {
            if (std::any_of(rows.begin(), rows.end(), [](const ItemRow &r) { return usesAddedColumns(r); }))
                addColumns(w);
            SqliteStatement s(c, insertSql());
            SqliteStatement stored(c, selectSql(m_added) + " where rowid = ?");
            for (ItemRow &r : rows) {
                bindRow(s, r, writtenColumns(kAllColumns));
                s.step();
                r.rowid = sqlite3_last_insert_rowid(c.handle());
                s.reset();
                stored.bind(1, r.rowid);
                if (stored.step()) r.version = storedVersion(stored.get());
                stored.reset();
            }
            w.commit();
        } catch (...) {
            for (ItemRow &r : rows) {
                r.rowid.reset();
                r.version.reset();
            }
            throw;
        }
        for (const ItemRow &r : rows)
            noteOwn(r);
    }

    QStringList distinctValues(Column column) override
    {
        Reading c(*this);
        SqliteStatement s(c.get(), std::string("select ") + columnInfo(column).name + " from Items");
        // Most rows repeat a value already seen byte for byte, which costs one hash look-up;
        // only new texts are decoded.
        std::unordered_set<std::string, TextHash, std::equal_to<>> seen;
        QStringList out;
        while (s.step()) {
            // An item saved without a value must not break the list for every other item.
            if (sqlite3_column_type(s.get(), 0) == SQLITE_NULL) continue;
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s.get(), 0));
            const std::string_view utf8(text ? text : "",
                                        static_cast<size_t>(sqlite3_column_bytes(s.get(), 0)));
            if (utf8.empty() || seen.find(utf8) != seen.end()) continue;
            seen.emplace(utf8);
            out << QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
        }
        return out;
    }

    void readOrdered(Column orderBy, const std::function<void(const ItemRow &)> &each) override
    {
        Reading c(*this);
        SqliteStatement s(c.get(), orderedSql(c.get(), orderBy));
        Pools pools;
        while (s.step())
            each(readRow(s.get(), &pools));
    }

    void readOrderedCells(Column orderBy, const std::function<void(const StoredCells &)> &each) override
    {
        Reading c(*this);
        SqliteStatement s(c.get(), orderedSql(c.get(), orderBy));
        StoredCells cells;
        while (s.step()) {
            if (readCells(s.get(), 1, cells)) {
                each(cells);
                continue;
            }
            const ItemRow row = readRow(s.get(), nullptr);
            StoredCells whole;
            whole.row = &row;
            each(whole);
        }
    }

    std::optional<Money> totalValue() override
    {
        Reading c(*this);
        SqliteStatement s(c.get(), "select sum(TotItemCst) from Items");
        bool row;
        try {
            row = s.step();
        } catch (const AppError &) {
            // The engine refuses a sum beyond its integers, which is beyond any amount of money too.
            if (c.get().errorText() == QLatin1String("integer overflow"))
                throw AppError(Err::Overflow,
                               QStringLiteral("The total value of the inventory is too large to show."));
            throw;
        }
        if (!row) return std::nullopt;
        switch (sqlite3_column_type(s.get(), 0)) {
        case SQLITE_NULL:
            return std::nullopt;
        case SQLITE_INTEGER:
            return Money::fromRaw(sqlite3_column_int64(s.get(), 0));
        default:
            throw AppError(Err::TypeMismatch); // a stored value that is no amount
        }
    }

    std::vector<HistoryEntry> history(const HistoryQuery &query) override
    {
        Reading c(*this);
        return m_history.read(c.get(), query);
    }

    bool keepsHistory() override { return true; }

    qint64 undo(const HistoryEntry &entry) override
    {
        ChangeScope undoing(*this, ChangeKind::undo, entry.id);
        Writing w(*this);
        const qint64 key = m_history.undo(w.get(), entry, m_added);
        const std::optional<ItemRow> stored = readKey(w.get(), key);
        w.commit();
        if (stored)
            noteOwn(*stored);
        else
            m_seen.erase(key);
        return key;
    }

    ItemRow addToCount(qint64 key, qint64 delta) override
    {
        Writing w(*this);
        const std::optional<ItemRow> now = readKey(w.get(), key);
        if (!now) throw ItemConflict(ItemConflict::deletedText(), std::nullopt);
        if (const QString why = countRefusal(*now, delta); !why.isEmpty()) throw CountRefused(why, now);
        {
            SqliteStatement s(w.get(), "update Items set ItemCnt = coalesce(ItemCnt, 0) + ?1, TotItemCst = "
                                       "(coalesce(ItemCnt, 0) + ?1) * ItemCst where rowid = ?2");
            s.bind(1, delta);
            s.bind(2, key);
            s.step();
        }
        std::optional<ItemRow> stored = readKey(w.get(), key);
        w.commit();
        noteOwn(*stored);
        return std::move(*stored);
    }

    std::optional<StocktakeInfo> stocktake() override
    {
        Reading c(*this);
        return SqliteStocktake::current(c.get());
    }

    StocktakeInfo startStocktake() override
    {
        Writing w(*this);
        StocktakeInfo info = SqliteStocktake::start(w.get());
        w.commit();
        return info;
    }

    std::vector<StocktakeLine> stocktakeLines(qint64 id) override
    {
        Reading c(*this);
        return SqliteStocktake::lines(c.get(), id);
    }

    StocktakeLine countStocktake(qint64 id, qint64 itemKey, std::optional<qint64> quantity, bool add) override
    {
        Writing w(*this);
        StocktakeLine line = SqliteStocktake::count(w.get(), id, itemKey, quantity, add);
        w.commit();
        return line;
    }

    void endStocktake(qint64 id, StocktakeEnd how) override
    {
        Writing w(*this);
        SqliteStocktake::end(w.get(), id, how);
        w.commit();
        // Our own changes: no news to this program.
        SqliteStatement s(*m_connection, selectSql(m_added));
        while (s.step())
            m_seen.set(sqlite3_column_int64(s.get(), 0), storedVersion(s.get()));
    }

private:
    // The open connection, or one of its own for a single read while the store is closed.
    // Steps through every row in table order; `each` takes one and gives its key and digest.
    template <typename Reserve, typename Each> void readEveryRow(const Reserve &reserve, const Each &each)
    {
        Reading c(*this);
        // Taken first: a commit while the rows are read is then looked at again.
        const qint64 version = c.isOwn() ? 0 : dataVersion();
        const bool added = c.get().hasAddedColumns();
        if (!c.isOwn()) m_added = added;
        size_t count = 0;
        {
            SqliteStatement q(c.get(), "select count(*) from Items");
            if (q.step())
                count = static_cast<size_t>(std::max<sqlite3_int64>(0, sqlite3_column_int64(q.get(), 0)));
        }
        reserve(count);
        // What the rows were as read, to tell later which ones another program changed.
        Digests seen;
        if (!c.isOwn()) seen.reserve(count);
        {
            SqliteStatement s(c.get(), selectSql(added));
            while (s.step()) {
                const auto [key, digest] = each(s.get());
                if (!c.isOwn()) seen.append(key, digest);
            }
        }
        // The pages just read are not wanted again soon: a large table would keep the cache full.
        sqlite3_db_release_memory(c.get().handle());
        if (c.isOwn()) return;
        seen.sort();
        m_dataVersion = version;
        m_seen = std::move(seen);
    }

    class Reading
    {
    public:
        explicit Reading(SqliteItemStore &store)
        {
            if (!store.m_connection)
                m_own = std::make_unique<SqliteConnection>(store.m_path, SqliteConnection::Access::ReadOnly);
            m_connection = m_own ? m_own.get() : store.m_connection.get();
        }
        SqliteConnection &get() { return *m_connection; }
        bool isOwn() const { return m_own != nullptr; }

    private:
        std::unique_ptr<SqliteConnection> m_own;
        SqliteConnection *m_connection;
    };

    // One write transaction on the open connection, rolled back unless committed.
    class Writing
    {
    public:
        explicit Writing(SqliteItemStore &store) : m_store(store), m_connection(store.writer())
        {
            if (!m_connection.tryExec("BEGIN IMMEDIATE")) throw m_connection.inUse();
            // Every change is recorded by the statement that makes it: never one without the other.
            try {
                store.m_added = m_connection.hasAddedColumns();
                store.m_history.prepare(m_connection, store.m_added);
            } catch (...) {
                rollback();
                throw;
            }
        }
        ~Writing()
        {
            if (!m_done) rollback();
        }
        Writing(const Writing &) = delete;
        Writing &operator=(const Writing &) = delete;
        SqliteConnection &get() { return m_connection; }
        void commit()
        {
            m_connection.exec("COMMIT");
            m_done = true;
        }

    private:
        void rollback()
        {
            sqlite3_exec(m_connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
            m_store.m_history.forget(); // the table made in this transaction is gone again
            try {
                m_store.m_added = m_connection.hasAddedColumns(); // so are columns added in it
            } catch (const AppError &) {
                m_store.m_added = false;
            }
        }

        SqliteItemStore &m_store;
        SqliteConnection &m_connection;
        bool m_done = false;
    };

    struct FileIdentity
    {
        dev_t device = 0;
        ino_t inode = 0;
        bool exists = false;
        bool operator==(const FileIdentity &) const = default;
    };

    FileIdentity identity() const
    {
        struct stat st
        {
        };
        if (::stat(QFile::encodeName(m_path).constData(), &st) != 0) return {};
        return {st.st_dev, st.st_ino, true};
    }

    SqliteConnection &writer()
    {
        if (!m_connection) throw AppError(Err::ObjectClosed);
        // Another copy's restore renamed a new file over the path: writing on would go into the
        // old one, which nobody reads any more.
        if (identity() != m_identity) throw AppError(Err::DatabaseError, restoredElsewhereText());
        return *m_connection;
    }

    static std::string orderedSql(SqliteConnection &c, Column orderBy)
    {
        const bool added = c.hasAddedColumns();
        const std::string key = columnInfo(orderBy).addedLater && !added ? "NULL" : columnInfo(orderBy).name;
        return selectSql(added) + " order by " + key + ", rowid";
    }

    std::optional<ItemRow> readKey(SqliteConnection &c, qint64 key) const
    {
        SqliteStatement s(c, selectSql(m_added) + " where rowid = ?");
        s.bind(1, key);
        if (!s.step()) return std::nullopt;
        return readRow(s.get(), nullptr);
    }

    qint64 dataVersion()
    {
        SqliteStatement s(*m_connection, "PRAGMA data_version");
        return s.step() ? sqlite3_column_int64(s.get(), 0) : 0;
    }

    // This program's own writes are no news to it.
    void noteOwn(const ItemRow &row)
    {
        if (m_connection && row.rowid && row.version) m_seen.set(*row.rowid, *row.version);
    }

    // Another program committed to the file when its data version moved on. The engine does not
    // say what changed, so every row's digest is compared with the one last seen. The rows are
    // read on a thread of its own over a connection of its own: a large table, or a large change
    // made by the other program, never holds up the window.
    void lookForChanges()
    {
        if (!m_connection || m_scan || identity() != m_identity) return;
        qint64 version = 0;
        try {
            version = dataVersion();
        } catch (const AppError &) {
            return; // a writer holds the file just now; the next look finds the change
        }
        if (version == m_dataVersion) return;
        try {
            m_added = m_connection->hasAddedColumns(); // another copy may have added them
        } catch (const AppError &) {
            return;
        }
        auto result = std::make_shared<Scan>();
        m_scan.reset(
            QThread::create([path = m_path, result, added = m_added] { result->read(path, added); }));
        connect(m_scan.get(), &QThread::finished, this, [this, result, version] {
            m_scan.reset();
            if (!m_connection || !result->ok) return;
            m_dataVersion = version;
            takeDigests(std::move(result->digests));
        });
        m_scan->start();
    }

    // Row key -> digest of every row, as a scan found them.
    struct Scan
    {
        Digests digests;
        bool ok = false;
        void read(const QString &path, bool added)
        {
            try {
                SqliteConnection c(path, SqliteConnection::Access::ReadOnly);
                SqliteStatement s(c, selectSql(added));
                while (s.step())
                    digests.append(sqlite3_column_int64(s.get(), 0), storedVersion(s.get()));
                digests.sort();
                ok = true;
            } catch (const AppError &) {
                ok = false; // looked at again at the next tick
            }
        }
    };

    void takeDigests(Digests now)
    {
        const std::vector<qint64> changed = Digests::changed(m_seen, now);
        m_seen = std::move(now);
        for (const qint64 key : changed) {
            if (!m_connection) break; // a reaction closed the store
            emit changedElsewhere(key);
        }
    }

    void stopScan()
    {
        if (!m_scan) return;
        m_scan->disconnect(this);
        m_scan->wait();
        m_scan.reset();
    }

    std::string insertSql() const
    {
        std::string names, marks;
        for (const ColumnInfo &c : kColumns) {
            if (c.addedLater && !m_added) continue;
            names += names.empty() ? c.name : std::string(", ") + c.name;
            marks += marks.empty() ? "?" : ", ?";
        }
        return "insert into Items (" + names + ") values (" + marks + ")";
    }

    // The columns of these that the table has.
    unsigned writtenColumns(unsigned columns) const
    {
        return m_added ? columns : columns & ~kAddedLaterColumns;
    }

    // Within the write: the columns added when first needed, unless another copy added them first.
    // The table keeps every other column and every row key as it was.
    void addColumns(Writing &w)
    {
        SqliteConnection &c = w.get();
        for (const ColumnInfo &col : kColumns)
            if (col.addedLater && !c.hasColumn("Items", col.name))
                c.exec((std::string("ALTER TABLE Items ADD COLUMN ") + col.name + " INTEGER").c_str());
        m_added = true;
        m_history.prepare(c, true);
    }

    QString m_path;
    std::unique_ptr<SqliteConnection> m_connection;
    SqliteHistory m_history;
    bool m_added = false; // Items has the columns added when first needed
    FileIdentity m_identity;
    qint64 m_dataVersion = 0;
    Digests m_seen; // as last read or written
    QTimer m_poll;
    std::unique_ptr<QThread> m_scan; // reading every row's digest
};

} // namespace

std::unique_ptr<ItemStore> makeFileStore(const QString &path)
{
    return std::make_unique<SqliteItemStore>(path);
}

} // namespace tv
