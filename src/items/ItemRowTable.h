#pragma once

#include "ItemColumns.h"
#include "common/Money.h"

#include <QString>
#include <QUtf8StringView>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tv {

struct ItemRow;
struct KeptValues;
struct StoredCells;

// Every row of Items as the record set holds it, compactly: a small fixed slot per row and the
// row's values packed one after the other in one block of bytes, texts as UTF-8, numbers in as
// few bytes as they need, a text repeated in many rows (vendors, dates) stored once. An item
// takes about sixty bytes instead of several hundred in separate strings.
//
// Rows are read by index as ItemRow values, or a column at a time without making the whole row.
// A changed row is written anew at the end of the block; what it held before stays unused until
// the rows are packed again, once that is most of the block. Not for use from several threads.
class ItemRowTable
{
public:
    // The block is addressed with 32-bit offsets; `maxBytes` lowers the limit (for tests).
    explicit ItemRowTable(std::size_t maxBytes = kMaxBytes);
    ~ItemRowTable();
    ItemRowTable(ItemRowTable &&other) noexcept;
    ItemRowTable &operator=(ItemRowTable &&other) noexcept;
    ItemRowTable(const ItemRowTable &) = delete;
    ItemRowTable &operator=(const ItemRowTable &) = delete;

    static constexpr std::size_t kMaxBytes = 0xFFFFFFFFu;
    // What growing past the limit throws (AppError OutOfMemory).
    static QString tooLargeText();
    // A quick hash of bytes, for the texts given to addText() (and the store's digests).
    static std::size_t hashText(std::string_view bytes);

    std::size_t size() const { return m_slots.size(); }
    bool empty() const { return m_slots.empty(); }
    std::size_t bytesUsed() const { return m_used; } // of the block, rows written over included
    std::size_t slotBytes() const { return m_slots.capacity() * sizeof(Slot); }

    ItemRow row(std::size_t index) const;
    ItemRow operator[](std::size_t index) const;

    // One column of a row without making the others. text() is null for NULL and for a kept value.
    std::optional<qint64> rowid(std::size_t index) const;
    QString text(std::size_t index, Column column) const;
    // The UTF-8 bytes of a text or date column; a null view for NULL and for a kept value.
    QUtf8StringView utf8(std::size_t index, Column column) const;
    std::optional<qint64> count(std::size_t index, Column column) const;
    std::optional<Money> money(std::size_t index, Column column) const;
    bool isKept(std::size_t index, Column column) const;
    // Every column of a row in one walk, without making strings: texts as views of the table's
    // bytes (good until it changes), money as raw amounts; a kept value is NULL there.
    void cells(std::size_t index, StoredCells &out) const;
    // Where `needle` first occurs in a text column, letter case ignored as QString ignores it; -1
    // when it does not (NULL holds nothing).
    qsizetype indexIn(std::size_t index, Column column, QStringView needle) const;
    // Whether a text column holds `text`, letter case ignored as QString ignores it (NULL as empty).
    bool equalsIgnoringCase(std::size_t index, Column column, QStringView text) const;

    // Each throws AppError OutOfMemory when the block would pass its limit; the table is unchanged.
    void append(const ItemRow &row);
    void set(std::size_t index, const ItemRow &row);
    void erase(std::size_t index);
    void clear();
    void reserve(std::size_t rows) { m_slots.reserve(rows); }

    // Appending straight from stored values, one column after the other in table order:
    // beginRow, then add* for every column, then endRow.
    // Texts are shared with an earlier row holding the same bytes; `hash` is their hashText().
    void beginRow(std::optional<qint64> rowid);
    void addNull();
    void addNumber(qint64 value);
    void addText(std::string_view utf8, std::size_t hash);
    // `kept`: the marks of values read as NULL because they are kept as stored.
    void endRow(std::optional<qint64> version, std::shared_ptr<const KeptValues> kept = nullptr);
    // Lets go of what finds repeated texts, once the rows are all in.
    void endBulk();

    // Rows by value, for range-for.
    class const_iterator
    {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = ItemRow;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = ItemRow;
        const_iterator(const ItemRowTable *table, std::size_t at) : m_table(table), m_at(at) {}
        ItemRow operator*() const;
        const_iterator &operator++()
        {
            ++m_at;
            return *this;
        }
        bool operator==(const const_iterator &o) const { return m_at == o.m_at; }

    private:
        const ItemRowTable *m_table;
        std::size_t m_at;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

private:
    // The row's key, when it has one, is the first of its values in the block.
    struct Slot
    {
        quint32 offset = 0;  // where the row's values start in the block
        quint16 nulls = 0;   // one bit (1 << Column) per NULL
        quint8 flags = 0;    // see kHasRowid ...
        quint8 reserved = 0; // keeps the slot at 8 bytes
    };
    class TextPool;

    void grow(std::size_t more);
    void releaseBlock();
    void put(const void *bytes, std::size_t n);
    void putVarint(quint64 v);
    // Where the column's value starts in the row's bytes; nullptr for NULL.
    const unsigned char *find(const Slot &slot, Column column) const;
    // The bytes of a text whose tag starts at p, a shared one found where it is stored.
    std::string_view textAt(Column column, const unsigned char *p) const;
    void finishRow(std::optional<qint64> version);
    Slot encode(const ItemRow &row);
    std::size_t sizeOf(const Slot &slot) const; // of the row's bytes in the block
    void packIfWasteful();
    void keep(Slot &slot, std::shared_ptr<const KeptValues> kept);
    void dropKept(const Slot &slot);

    std::vector<Slot> m_slots;
    unsigned char *m_block = nullptr;
    std::size_t m_used = 0, m_capacity = 0, m_limit;
    std::size_t m_unused = 0; // bytes of rows written anew since
    static constexpr std::size_t kPackAgainAt = 16u << 20;
    // The row being appended by beginRow/add*/endRow.
    Slot m_building;
    int m_nextColumn = 0;
    std::unique_ptr<TextPool[]> m_pools; // during a bulk append, one per column
    // Where each text shared by rows is stored, by column: a row refers to it by its index here.
    std::array<std::vector<quint32>, kColumnCount> m_dictionaries;
    // The marked texts of rows holding kept values, by the offset of the row's values.
    std::unordered_map<quint32, std::shared_ptr<const KeptValues>> m_kept;
    // The row decoded last: a view asks for one row's columns many times in a row.
    mutable std::unique_ptr<ItemRow> m_lastRow;
    mutable std::size_t m_lastIndex = SIZE_MAX;
    mutable quint32 m_lastOffset = 0;
};

} // namespace tv
