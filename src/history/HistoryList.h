#pragma once

#include "items/ItemHistory.h"

#include <QAbstractTableModel>
#include <QString>
#include <optional>
#include <vector>

namespace tv {

class ItemRecordSet;
class ItemStore;
class Prompts;

// The lines of the item history window, newest first: the current item's changes (followed back
// through an undone delete), or every item's changes a screen at a time. The filter narrows the
// lines to those whose item, person, workstation or change contains its text.
class HistoryList : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Section { When, Who, Workstation, Item, Change, SectionCount };
    static constexpr int kScreen = 200; // entries read at a time for "All Items"

    explicit HistoryList(ItemStore &store, QObject *parent = nullptr);

    // What to list; reload() reads it.
    void setItem(std::optional<qint64> key); // the current item's row key; none after a delete
    void setAllItems(bool all);
    void setFilter(const QString &text);
    bool allItems() const { return m_all; }
    // Reads the lines again; throws AppError when the store cannot be read.
    void reload();

    const HistoryEntry &entry(int row) const { return m_entries[static_cast<size_t>(row)]; }
    int rowOf(qint64 entryId) const; // -1 when not listed
    // What the empty list means, for the line under it; empty while lines are shown.
    QString emptyText() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

    // The line's text in one: what a screen reader says for the row.
    QString lineText(int row) const;

private:
    std::vector<HistoryEntry> readAllItems(std::optional<qint64> olderThan) const;
    bool matches(const HistoryEntry &entry) const;
    QString cellText(const HistoryEntry &entry, int section) const;

    ItemStore &m_store;
    std::optional<qint64> m_key;
    bool m_all = false;
    QString m_filter;
    bool m_keeps = true; // whether the store keeps a history at all
    bool m_more = false; // "All Items" has older entries not read yet
    std::vector<HistoryEntry> m_entries;
};

// Undo Change: reverses the entry through the record set, which then shows its outcome. When the
// item was changed again after the entry, asks first, naming who changed it and when; returns
// false when the user said No and nothing was done. Throws AppError when the undo failed.
bool undoEntry(ItemRecordSet &records, const HistoryEntry &entry, Prompts &prompts);

} // namespace tv
