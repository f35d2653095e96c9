#include "ItemRowTable.h"

#include "ItemRecordSet.h"
#include "ItemStore.h"
#include "common/AppError.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <sys/mman.h>

namespace tv {

namespace {
constexpr quint8 kHasRowid = 1, kHasVersion = 2, kHasKept = 4;

quint16 columnBit(int column)
{
    return static_cast<quint16>(1u << static_cast<unsigned>(column));
}

quint64 zigzag(qint64 v)
{
    return (static_cast<quint64>(v) << 1) ^ static_cast<quint64>(v >> 63);
}

qint64 unzigzag(quint64 v)
{
    return static_cast<qint64>(v >> 1) ^ -static_cast<qint64>(v & 1);
}

quint64 readVarint(const unsigned char *&p)
{
    quint64 v = 0;
    for (unsigned shift = 0;; shift += 7) {
        const unsigned char b = *p++;
        v |= static_cast<quint64>(b & 0x7f) << shift;
        if (!(b & 0x80)) return v;
    }
}

std::size_t varintSize(quint64 v)
{
    std::size_t n = 1;
    while (v >= 0x80) {
        v >>= 7;
        ++n;
    }
    return n;
}

bool isText(int column)
{
    const ColumnType t = kColumns[static_cast<std::size_t>(column)].type;
    return t == ColumnType::Text || t == ColumnType::Date;
}

bool isMoney(int column)
{
    return kColumns[static_cast<std::size_t>(column)].type == ColumnType::Money;
}

// Money is mostly whole cents: such an amount is kept in hundredths of its raw value, shifted
// left; any other is a 1 followed by the raw value.
qint64 readNumber(int column, const unsigned char *&p)
{
    const quint64 v = readVarint(p);
    if (!isMoney(column)) return unzigzag(v);
    if (v & 1) return unzigzag(readVarint(p));
    return unzigzag(v >> 1) * 100;
}

void skipValue(int column, const unsigned char *&p)
{
    const quint64 v = readVarint(p);
    if (isText(column) && !(v & 1)) p += v >> 1;
    if (isMoney(column) && (v & 1)) readVarint(p);
}

QString fromUtf8(std::string_view bytes)
{
    QString s = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (s.isNull()) s = QStringLiteral(""); // empty, not NULL
    return s;
}
} // namespace

// Where a text already stored sits, found by its hash: open addressing in one array. A column
// that repeats nothing (item numbers) stops being looked at.
class ItemRowTable::TextPool
{
public:
    // The index in the column's dictionary of the stored copy of `bytes`, if there is one.
    std::optional<quint32> find(std::string_view bytes, std::size_t hash) const
    {
        if (!m_active || m_slots.empty()) return std::nullopt;
        for (std::size_t i = hash & m_mask;; i = (i + 1) & m_mask) {
            const Entry &e = m_slots[i];
            if (e.index == kEmpty) return std::nullopt;
            if (e.hash != static_cast<quint32>(hash)) continue;
            // Compared with the pool's own copy: side by side in a small block, where the stored
            // ones lie scattered over the whole table.
            const auto [at, size] = m_copies[e.index - m_first];
            if (size == bytes.size() && std::memcmp(m_texts.data() + at, bytes.data(), size) == 0)
                return e.index;
        }
    }
    void noteHit() { ++m_hits; }
    // The text whose tag starts at `offset` in the table; it becomes the next entry of the
    // column's dictionary.
    void add(std::vector<quint32> &dictionary, quint32 offset, std::string_view bytes, std::size_t hash)
    {
        if (bytes.empty() || bytes.size() > kMaxSize || !m_active) return;
        // A full pool whose texts mostly came once (invoice numbers of a large table) costs more
        // to look in than it saves.
        const bool full = m_count >= kMaxEntries;
        if ((++m_misses == kSample && m_hits == 0) || (full && m_hits < m_misses)) {
            m_active = false;
            m_slots = {};
            m_copies = {};
            m_texts = {};
            return;
        }
        if (full) return;
        if ((m_count + 1) * 2 > m_slots.size()) rehash();
        if (m_copies.empty()) m_first = static_cast<quint32>(dictionary.size());
        place(Entry{static_cast<quint32>(hash), static_cast<quint32>(dictionary.size())});
        m_copies.emplace_back(static_cast<quint32>(m_texts.size()), static_cast<quint32>(bytes.size()));
        m_texts.append(bytes);
        dictionary.push_back(offset);
        ++m_count;
    }

private:
    // Eight bytes: the slots of a column of many texts stay within the processor's cache.
    struct Entry
    {
        quint32 hash = 0;
        quint32 index = kEmpty; // in the column's dictionary
    };
    static constexpr quint32 kEmpty = 0xFFFFFFFFu;
    static constexpr std::size_t kSample = 4096, kMaxEntries = 1u << 14, kMaxSize = 64;

    void place(Entry e)
    {
        std::size_t i = e.hash & m_mask;
        while (m_slots[i].index != kEmpty)
            i = (i + 1) & m_mask;
        m_slots[i] = e;
    }
    void rehash()
    {
        std::vector<Entry> old;
        old.swap(m_slots);
        m_slots.assign(old.empty() ? 1024 : old.size() * 2, Entry{});
        m_mask = m_slots.size() - 1;
        for (const Entry &e : old)
            if (e.index != kEmpty) place(e);
    }

    std::vector<Entry> m_slots;
    std::string m_texts;                               // the pooled texts, one after the other
    std::vector<std::pair<quint32, quint32>> m_copies; // each one's start and size there
    quint32 m_first = 0;                               // the dictionary index of the first
    std::size_t m_mask = 0, m_count = 0, m_hits = 0, m_misses = 0;
    bool m_active = true;
};

ItemRowTable::ItemRowTable(std::size_t maxBytes) : m_limit(std::min(maxBytes, kMaxBytes)) {}

void ItemRowTable::releaseBlock()
{
    if (m_block) munmap(m_block, m_capacity);
    m_block = nullptr;
}

ItemRowTable::~ItemRowTable()
{
    releaseBlock();
}

ItemRowTable::ItemRowTable(ItemRowTable &&other) noexcept : m_limit(other.m_limit)
{
    *this = std::move(other);
}

ItemRowTable &ItemRowTable::operator=(ItemRowTable &&other) noexcept
{
    if (this == &other) return *this;
    releaseBlock();
    m_slots = std::move(other.m_slots);
    m_block = std::exchange(other.m_block, nullptr);
    m_used = std::exchange(other.m_used, 0);
    m_capacity = std::exchange(other.m_capacity, 0);
    m_limit = other.m_limit;
    m_building = other.m_building;
    m_nextColumn = std::exchange(other.m_nextColumn, 0);
    m_pools = std::move(other.m_pools);
    m_unused = std::exchange(other.m_unused, 0);
    m_dictionaries = std::move(other.m_dictionaries);
    m_kept = std::move(other.m_kept);
    m_lastRow.reset();
    m_lastIndex = SIZE_MAX;
    other.m_slots.clear();
    other.m_kept.clear();
    other.m_lastIndex = SIZE_MAX;
    return *this;
}

std::size_t ItemRowTable::hashText(std::string_view bytes)
{
    // Eight bytes a step, each mixed in by a multiply and a shift: a few nanoseconds for the short
    // texts of an item, where a general-purpose string hash costs several times that.
    const char *p = bytes.data();
    std::size_t n = bytes.size();
    quint64 h = 0x9e3779b97f4a7c15ull ^ n;
    for (; n >= 8; p += 8, n -= 8) {
        quint64 w = 0;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * 0xbf58476d1ce4e5b9ull;
        h ^= h >> 31;
    }
    quint64 w = 0;
    for (std::size_t i = 0; i < n; ++i)
        w |= static_cast<quint64>(static_cast<unsigned char>(p[i])) << (8 * i);
    h = (h ^ w) * 0x94d049bb133111ebull;
    return h ^ (h >> 29);
}

QString ItemRowTable::tooLargeText()
{
    return QStringLiteral("The items hold more text than Ketbook can keep in memory (4 GB). Nothing was "
                          "changed; split the items over two database files.");
}

void ItemRowTable::grow(std::size_t more)
{
    if (more > m_limit - m_used) throw AppError(Err::OutOfMemory, tooLargeText());
    const std::size_t need = m_used + more;
    // The block is mapped pages of its own: growing remaps them instead of copying, and a table let
    // go of gives them straight back to the system rather than leaving a hole in the heap.
    std::size_t capacity = std::max<std::size_t>(m_capacity * 2, 64 * 1024);
    capacity = std::max(capacity, need);
    capacity = std::min(capacity, m_limit);
    void *block = m_block
                      ? mremap(m_block, m_capacity, capacity, MREMAP_MAYMOVE)
                      : mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) throw AppError(Err::OutOfMemory);
    m_block = static_cast<unsigned char *>(block);
    m_capacity = capacity;
}

void ItemRowTable::put(const void *bytes, std::size_t n)
{
    if (n > m_capacity - m_used) grow(n);
    if (n) std::memcpy(m_block + m_used, bytes, n);
    m_used += n;
}

void ItemRowTable::putVarint(quint64 v)
{
    unsigned char buf[10];
    std::size_t n = 0;
    while (v >= 0x80) {
        buf[n++] = static_cast<unsigned char>(v | 0x80);
        v >>= 7;
    }
    buf[n++] = static_cast<unsigned char>(v);
    put(buf, n);
}

void ItemRowTable::beginRow(std::optional<qint64> rowid)
{
    m_building = Slot{};
    // Filling an empty table: texts repeated from row to row are stored once, until endBulk().
    if (m_slots.empty() && !m_pools) m_pools = std::make_unique<TextPool[]>(kColumnCount);
    m_building.offset = static_cast<quint32>(m_used);
    if (rowid) {
        putVarint(zigzag(*rowid));
        m_building.flags |= kHasRowid;
    }
    m_nextColumn = 0;
}

void ItemRowTable::addNull()
{
    m_building.nulls |= columnBit(m_nextColumn++);
}

void ItemRowTable::addNumber(qint64 value)
{
    if (!isMoney(m_nextColumn++)) {
        putVarint(zigzag(value));
    } else if (value % 100 == 0) {
        putVarint(zigzag(value / 100) << 1);
    } else {
        putVarint(1);
        putVarint(zigzag(value));
    }
}

void ItemRowTable::addText(std::string_view utf8, std::size_t hash)
{
    TextPool *pool = m_pools ? &m_pools[static_cast<std::size_t>(m_nextColumn)] : nullptr;
    ++m_nextColumn;
    std::vector<quint32> &dictionary = m_dictionaries[static_cast<std::size_t>(m_nextColumn - 1)];
    const quint64 inlineTag = static_cast<quint64>(utf8.size()) << 1;
    if (pool && utf8.size() >= 3) {
        if (const std::optional<quint32> index = pool->find(utf8, hash)) {
            const quint64 ref = (static_cast<quint64>(*index) << 1) | 1;
            if (varintSize(ref) < varintSize(inlineTag) + utf8.size()) {
                pool->noteHit();
                putVarint(ref);
                return;
            }
        }
    }
    const auto at = static_cast<quint32>(m_used);
    putVarint(inlineTag);
    put(utf8.data(), utf8.size());
    if (pool && utf8.size() >= 3) pool->add(dictionary, at, utf8, hash);
}

void ItemRowTable::finishRow(std::optional<qint64> version)
{
    if (version) {
        put(&*version, sizeof(qint64));
        m_building.flags |= kHasVersion;
    }
    // Every row takes a byte at least: its offset is then its own, which kept values are found by.
    if (m_used == m_building.offset) put("", 1);
}

void ItemRowTable::endRow(std::optional<qint64> version, std::shared_ptr<const KeptValues> kept)
{
    finishRow(version);
    m_slots.push_back(m_building);
    keep(m_slots.back(), std::move(kept));
}

void ItemRowTable::keep(Slot &slot, std::shared_ptr<const KeptValues> kept)
{
    if (!kept) return;
    slot.flags |= kHasKept;
    m_kept[slot.offset] = std::move(kept);
}

void ItemRowTable::endBulk()
{
    m_pools.reset();
}

ItemRowTable::Slot ItemRowTable::encode(const ItemRow &row)
{
    // A failure leaves the bytes written so far unused: a text of them may be known to a pool.
    beginRow(row.rowid);
    for (const ColumnInfo &c : kColumns) {
        switch (c.type) {
        case ColumnType::Count:
            if (const auto &n = *row.countOf(c.column)) {
                addNumber(*n);
                continue;
            }
            break;
        case ColumnType::Money:
            if (const auto &m = *row.moneyOf(c.column)) {
                addNumber(m->raw());
                continue;
            }
            break;
        case ColumnType::Text:
        case ColumnType::Date:
            if (const QString &s = *row.textOf(c.column); !s.isNull()) {
                const QByteArray utf8 = s.toUtf8();
                const std::string_view bytes(utf8.constData(), static_cast<std::size_t>(utf8.size()));
                addText(bytes, hashText(bytes));
                continue;
            }
            break;
        }
        addNull();
    }
    finishRow(row.version);
    Slot slot = m_building;
    keep(slot, row.kept);
    return slot;
}

void ItemRowTable::append(const ItemRow &row)
{
    // Room for the slot first, so that a failure leaves no row behind.
    if (m_slots.size() == m_slots.capacity()) m_slots.reserve(std::max<std::size_t>(16, m_slots.size() * 2));
    m_slots.push_back(encode(row));
}

void ItemRowTable::set(std::size_t index, const ItemRow &row)
{
    const Slot slot = encode(row);
    m_unused += sizeOf(m_slots[index]);
    dropKept(m_slots[index]);
    m_slots[index] = slot;
    packIfWasteful();
}

void ItemRowTable::packIfWasteful()
{
    // Rows written anew or erased leave their bytes behind: once they are most of the block, the
    // rows are packed again, so that a long session of edits neither grows memory nor reaches the
    // limit.
    const std::size_t floor = std::min<std::size_t>(kPackAgainAt, m_limit / 4);
    if (m_unused > floor && m_unused * 2 > m_used) {
        try {
            ItemRowTable packed(m_limit);
            packed.reserve(size());
            for (std::size_t i = 0; i < size(); ++i)
                packed.append(this->row(i));
            packed.endBulk();
            *this = std::move(packed);
        } catch (const AppError &) {
            // No room for a second copy now: the rows stay as they are.
        } catch (const std::bad_alloc &) {
        }
    }
}

std::size_t ItemRowTable::sizeOf(const Slot &slot) const
{
    const unsigned char *p = m_block + slot.offset;
    if (slot.flags & kHasRowid) readVarint(p);
    for (int c = 0; c < kColumnCount; ++c)
        if (!(slot.nulls & columnBit(c))) skipValue(c, p);
    if (slot.flags & kHasVersion) p += sizeof(qint64);
    return std::max<std::size_t>(1, static_cast<std::size_t>(p - (m_block + slot.offset)));
}

void ItemRowTable::erase(std::size_t index)
{
    m_unused += sizeOf(m_slots[index]);
    dropKept(m_slots[index]);
    m_slots.erase(m_slots.begin() + static_cast<std::ptrdiff_t>(index));
    packIfWasteful();
}

void ItemRowTable::clear()
{
    m_slots.clear();
    m_slots.shrink_to_fit();
    releaseBlock();
    m_block = nullptr;
    m_used = m_capacity = m_unused = 0;
    m_pools.reset();
    for (std::vector<quint32> &d : m_dictionaries)
        d = {};
    m_kept.clear();
    m_lastRow.reset();
    m_lastIndex = SIZE_MAX;
}

void ItemRowTable::dropKept(const Slot &slot)
{
    if (slot.flags & kHasKept) m_kept.erase(slot.offset);
}

std::string_view ItemRowTable::textAt(Column column, const unsigned char *p) const
{
    quint64 tag = readVarint(p);
    if (tag & 1) {
        // Shared: the column's dictionary says where the text is.
        p = m_block + m_dictionaries[static_cast<std::size_t>(column)][static_cast<std::size_t>(tag >> 1)];
        tag = readVarint(p);
    }
    return {reinterpret_cast<const char *>(p), static_cast<std::size_t>(tag >> 1)};
}

const unsigned char *ItemRowTable::find(const Slot &slot, Column column) const
{
    const int wanted = static_cast<int>(column);
    if (slot.nulls & columnBit(wanted)) return nullptr;
    const unsigned char *p = m_block + slot.offset;
    if (slot.flags & kHasRowid) readVarint(p);
    for (int c = 0; c < wanted; ++c)
        if (!(slot.nulls & columnBit(c))) skipValue(c, p);
    return p;
}

std::optional<qint64> ItemRowTable::rowid(std::size_t index) const
{
    const Slot &slot = m_slots[index];
    if (!(slot.flags & kHasRowid)) return std::nullopt;
    const unsigned char *p = m_block + slot.offset;
    return unzigzag(readVarint(p));
}

QUtf8StringView ItemRowTable::utf8(std::size_t index, Column column) const
{
    const unsigned char *p = find(m_slots[index], column);
    if (!p) return {};
    const std::string_view bytes = textAt(column, p);
    // An empty text is not NULL: its view points somewhere.
    return QUtf8StringView(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString ItemRowTable::text(std::size_t index, Column column) const
{
    const unsigned char *p = find(m_slots[index], column);
    return p ? fromUtf8(textAt(column, p)) : QString();
}

std::optional<qint64> ItemRowTable::count(std::size_t index, Column column) const
{
    const unsigned char *p = find(m_slots[index], column);
    if (!p) return std::nullopt;
    return readNumber(static_cast<int>(column), p);
}

std::optional<Money> ItemRowTable::money(std::size_t index, Column column) const
{
    const std::optional<qint64> raw = count(index, column);
    return raw ? std::optional<Money>(Money::fromRaw(*raw)) : std::nullopt;
}

void ItemRowTable::cells(std::size_t index, StoredCells &out) const
{
    const Slot &slot = m_slots[index];
    out.row = nullptr;
    out.nulls = slot.nulls;
    const unsigned char *p = m_block + slot.offset;
    if (slot.flags & kHasRowid) readVarint(p);
    for (int c = 0; c < kColumnCount; ++c) {
        if (slot.nulls & columnBit(c)) continue;
        const auto at = static_cast<std::size_t>(c);
        if (isText(c)) {
            out.text[at] = textAt(static_cast<Column>(c), p);
            skipValue(c, p);
        } else {
            out.number[at] = readNumber(c, p);
        }
    }
}

bool ItemRowTable::isKept(std::size_t index, Column column) const
{
    const Slot &slot = m_slots[index];
    if (!(slot.flags & kHasKept)) return false;
    const auto it = m_kept.find(slot.offset);
    return it != m_kept.end() && !it->second->shown[static_cast<std::size_t>(column)].isNull();
}

namespace {
bool isAscii(QStringView s)
{
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c.unicode() < 0x80; });
}

bool isAscii(QUtf8StringView s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameAscii(const char *a, QStringView b)
{
    for (qsizetype i = 0; i < b.size(); ++i)
        if (lower(a[i]) != lower(static_cast<char>(b[i].unicode()))) return false;
    return true;
}
} // namespace

// Both read the bytes where they and the text are ASCII, as almost every item number is: making
// a string of every row's number would cost more than the whole search.
qsizetype ItemRowTable::indexIn(std::size_t index, Column column, QStringView needle) const
{
    const QUtf8StringView bytes = utf8(index, column);
    if (bytes.isNull()) return QString().indexOf(needle, 0, Qt::CaseInsensitive);
    if (!isAscii(needle) || !isAscii(bytes))
        return text(index, column).indexOf(needle, 0, Qt::CaseInsensitive);
    for (qsizetype at = 0; at + needle.size() <= bytes.size(); ++at)
        if (sameAscii(bytes.data() + at, needle)) return at;
    return -1;
}

bool ItemRowTable::equalsIgnoringCase(std::size_t index, Column column, QStringView other) const
{
    const QUtf8StringView bytes = utf8(index, column);
    if (!isAscii(other) || !isAscii(bytes))
        return text(index, column).compare(other, Qt::CaseInsensitive) == 0;
    return bytes.size() == other.size() && sameAscii(bytes.data(), other);
}

ItemRow ItemRowTable::row(std::size_t index) const
{
    const Slot &slot = m_slots[index];
    if (m_lastRow && m_lastIndex == index && m_lastOffset == slot.offset) return *m_lastRow;
    ItemRow r;
    const unsigned char *p = m_block + slot.offset;
    if (slot.flags & kHasRowid) r.rowid = unzigzag(readVarint(p));
    for (const ColumnInfo &c : kColumns) {
        if (slot.nulls & columnBit(static_cast<int>(c.column))) continue;
        switch (c.type) {
        case ColumnType::Count:
            *r.countOf(c.column) = readNumber(static_cast<int>(c.column), p);
            break;
        case ColumnType::Money:
            *r.moneyOf(c.column) = Money::fromRaw(readNumber(static_cast<int>(c.column), p));
            break;
        case ColumnType::Text:
        case ColumnType::Date: {
            const unsigned char *tag = p;
            skipValue(static_cast<int>(c.column), p);
            *r.textOf(c.column) = fromUtf8(textAt(c.column, tag));
            break;
        }
        }
    }
    if (slot.flags & kHasVersion) {
        qint64 version = 0;
        std::memcpy(&version, p, sizeof version);
        r.version = version;
    }
    if (slot.flags & kHasKept)
        if (const auto it = m_kept.find(slot.offset); it != m_kept.end()) r.kept = it->second;
    if (!m_lastRow) m_lastRow = std::make_unique<ItemRow>();
    *m_lastRow = r;
    m_lastIndex = index;
    m_lastOffset = slot.offset;
    return r;
}

ItemRow ItemRowTable::operator[](std::size_t index) const
{
    return row(index);
}

ItemRow ItemRowTable::const_iterator::operator*() const
{
    return m_table->row(m_at);
}

} // namespace tv
