// bench_history [items] [entries]: the item history of a database file holding many entries
// (default 100,000 items, 1,000,000 entries): opening with and without it, what recording adds to
// a save, one item's history and the first screen of every item's changes.
#include "BenchDb.h"
#include "items/ItemColumns.h"
#include "items/ItemHistory.h"
#include "items/ItemRecordSet.h"
#include "items/ItemStore.h"
#include "items/SqliteConnection.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cstdio>
#include <sqlite3.h>
#include <string>
#include <variant>
#include <vector>

using namespace tv;

using bench::median;

namespace {

double msSince(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

template <class F> double timedMs(F &&work)
{
    QElapsedTimer t;
    t.start();
    work();
    return msSince(t);
}

// One stored value as Items holds it: NULL, a whole number or a text.
using Value = std::variant<std::monostate, qint64, std::string>;
using Values = std::array<Value, kColumnCount>;

Value valueAt(sqlite3_stmt *s, int at)
{
    switch (sqlite3_column_type(s, at)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return sqlite3_column_int64(s, at);
    default:
        return std::string(reinterpret_cast<const char *>(sqlite3_column_text(s, at)),
                           static_cast<size_t>(sqlite3_column_bytes(s, at)));
    }
}

void bindValue(sqlite3_stmt *s, int at, const Value &v)
{
    if (const auto *n = std::get_if<qint64>(&v))
        sqlite3_bind_int64(s, at, *n);
    else if (const auto *text = std::get_if<std::string>(&v))
        sqlite3_bind_text(s, at, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
    else
        sqlite3_bind_null(s, at);
}

std::string columnList(const char *prefix)
{
    std::string out;
    for (const ColumnInfo &c : kColumns)
        if (!c.addedLater) out += std::string(out.empty() ? "" : ", ") + prefix + c.name;
    return out;
}

constexpr int at(Column c)
{
    return static_cast<int>(c);
}

// Entries as saves, adds and deletes make them, spread over the items' row keys in time order:
// mostly counts (with their totals), now and then a cost, vendor or invoice; a few items added
// and deleted again under keys after the last one. Items is left holding each item's newest values.
void fillHistory(const QString &path, int entries)
{
    static constexpr std::array kUsers{"anna", "ben", "carla", "dmitri", "erin"};
    static constexpr std::array kHosts{"FRONT-DESK", "STOCKROOM", "OFFICE-2", "LOADING-DOCK"};
    QRandomGenerator rng(7);
    SqliteConnection c(path, SqliteConnection::Access::ReadWrite);
    c.exec("PRAGMA synchronous=OFF");
    c.exec("PRAGMA cache_size=-262144");

    std::vector<qint64> keys;
    std::vector<Values> items;
    {
        SqliteStatement s(c, "SELECT rowid, " + columnList("") + " FROM Items ORDER BY rowid");
        while (s.step()) {
            keys.push_back(sqlite3_column_int64(s.get(), 0));
            Values v;
            for (int i = 0; i < kBaseColumnCount; ++i)
                v[static_cast<size_t>(i)] = valueAt(s.get(), i + 1);
            items.push_back(std::move(v));
        }
    }
    std::vector<bool> changed(items.size());
    std::vector<std::pair<qint64, Values>> ghosts; // added and not yet deleted again
    qint64 nextGhostKey = keys.back() + 1;

    std::string marks = "?1";
    for (int i = 2; i <= 6 + 2 * kBaseColumnCount; ++i)
        marks += ", ?" + std::to_string(i);
    c.exec("BEGIN");
    SqliteStatement insert(c, "INSERT INTO ItemHistory (ChangedAt, ChangedBy, Workstation, Change, Action, "
                              "ItemKey, " +
                                  columnList("Old") + ", " + columnList("New") + ") VALUES (" + marks + ")");
    // Two years of changes, the newest a day ago.
    const qint64 end = QDateTime::currentSecsSinceEpoch() - 86400;
    const qint64 start = end - 2 * 365 * 86400;
    const auto write = [&](int n, const char *kind, const char *action, qint64 key, const Values *before,
                           const Values *after) {
        const QByteArray when = QDateTime::fromMSecsSinceEpoch(
                                    (start + (end - start) * n / entries) * 1000 + rng.bounded(1000), Qt::UTC)
                                    .toString(Qt::ISODateWithMs)
                                    .toUtf8();
        sqlite3_stmt *s = insert.get();
        sqlite3_bind_text(s, 1, when.constData(), static_cast<int>(when.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 2, kUsers[rng.bounded(int(kUsers.size()))], -1, SQLITE_STATIC);
        sqlite3_bind_text(s, 3, kHosts[rng.bounded(int(kHosts.size()))], -1, SQLITE_STATIC);
        sqlite3_bind_text(s, 4, kind, -1, SQLITE_STATIC);
        sqlite3_bind_text(s, 5, action, -1, SQLITE_STATIC);
        sqlite3_bind_int64(s, 6, key);
        for (int i = 0; i < kBaseColumnCount; ++i) {
            bindValue(s, 7 + i, before ? (*before)[static_cast<size_t>(i)] : Value{});
            bindValue(s, 7 + kBaseColumnCount + i, after ? (*after)[static_cast<size_t>(i)] : Value{});
        }
        insert.step();
        insert.reset();
    };
    // A save's new values: the count and its total most often, now and then another field.
    const auto edited = [&](const Values &before) {
        Values after = before;
        const auto *count = std::get_if<qint64>(&before[at(Column::ItemCnt)]);
        const auto *cost = std::get_if<qint64>(&before[at(Column::ItemCst)]);
        switch (rng.bounded(10)) {
        case 0:
            after[at(Column::ItemCst)] = qint64(rng.bounded(5, 250000)) * 100;
            break;
        case 1:
            after[at(Column::Vendor)] = "Vendor " + std::to_string(rng.bounded(1000)) + " Supply";
            break;
        case 2:
            after[at(Column::InvNum)] = "INV-" + std::to_string(rng.bounded(90000) + 10000);
            break;
        default: {
            const qint64 n = std::max<qint64>(0, (count ? *count : 0) + qint64(rng.bounded(41)) - 20);
            after[at(Column::ItemCnt)] = n;
            if (cost) after[at(Column::TotItemCst)] = *cost * n;
        }
        }
        return after;
    };

    for (int n = 0; n < entries; ++n) {
        if (rng.bounded(100) >= 4) {
            const auto i = static_cast<size_t>(rng.bounded(int(items.size())));
            const Values after = edited(items[i]);
            write(n, "changed", "update", keys[i], &items[i], &after);
            items[i] = after;
            changed[i] = true;
            continue;
        }
        if (ghosts.empty() || rng.bounded(3) == 0) {
            Values v = items[rng.bounded(int(items.size()))];
            v[at(Column::ItemNum)] = "TV-N" + std::to_string(nextGhostKey);
            write(n, rng.bounded(4) == 0 ? "imported" : "added", "insert", nextGhostKey, nullptr, &v);
            ghosts.emplace_back(nextGhostKey++, std::move(v));
            continue;
        }
        const auto g = static_cast<size_t>(rng.bounded(int(ghosts.size())));
        if (rng.bounded(2) == 0) {
            const Values after = edited(ghosts[g].second);
            write(n, "changed", "update", ghosts[g].first, &ghosts[g].second, &after);
            ghosts[g].second = after;
        } else {
            write(n, "deleted", "delete", ghosts[g].first, &ghosts[g].second, nullptr);
            ghosts.erase(ghosts.begin() + static_cast<std::ptrdiff_t>(g));
        }
    }
    // The items still there after the last add; no trigger of this connection records these.
    {
        SqliteStatement put(c, "INSERT INTO Items (rowid, " + columnList("") +
                                   ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (const auto &[key, v] : ghosts) {
            sqlite3_bind_int64(put.get(), 1, key);
            for (int i = 0; i < kBaseColumnCount; ++i)
                bindValue(put.get(), 2 + i, v[static_cast<size_t>(i)]);
            put.step();
            put.reset();
        }
    }
    {
        std::string sets;
        for (const ColumnInfo &col : kColumns)
            if (!col.addedLater) sets += std::string(sets.empty() ? "" : ", ") + col.name + " = ?";
        SqliteStatement put(c, "UPDATE Items SET " + sets + " WHERE rowid = ?");
        for (size_t i = 0; i < items.size(); ++i) {
            if (!changed[i]) continue;
            for (int col = 0; col < kBaseColumnCount; ++col)
                bindValue(put.get(), 1 + col, items[i][static_cast<size_t>(col)]);
            sqlite3_bind_int64(put.get(), 1 + kBaseColumnCount, keys[i]);
            put.step();
            put.reset();
        }
    }
    c.exec("COMMIT");
}

// The count of the row at `key` one up, through the store alone.
double storeSaveMs(ItemStore &store, qint64 key)
{
    std::optional<ItemRow> row = store.read(key);
    row->itemCnt = row->itemCnt.value_or(0) + 1;
    return timedMs([&] { store.update(*row, 1u << at(Column::ItemCnt)); });
}

// The same as the main window's Save after a new count was typed.
double recordSetSaveMs(ItemRecordSet &rs, int index)
{
    rs.moveTo(index);
    const qlonglong count = rs.value(Column::ItemCnt).toLongLong() + 1;
    return timedMs([&] {
        rs.setValue(Column::ItemCnt, count);
        rs.save();
    });
}

double fileMiB(const QString &path)
{
    return QFileInfo(path).size() / (1024.0 * 1024.0);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int items = argc > 1 ? std::max(10, std::atoi(argv[1])) : 100000;
    const int entries = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1000000;
    QTemporaryDir dir;
    const QString withHistory = dir.filePath(QStringLiteral("InventoryDb.mdb"));
    const QString without = dir.filePath(QStringLiteral("without.mdb"));
    const QString fresh = dir.filePath(QStringLiteral("fresh.mdb"));

    QElapsedTimer made;
    made.start();
    bench::generateInventory(withHistory, items);
    {
        // The store makes the table and records this first change itself.
        const auto store = makeFileStore(withHistory);
        store->open();
        storeSaveMs(*store, 1);
    }
    fillHistory(withHistory, entries);
    QFile::copy(withHistory, without);
    {
        SqliteConnection c(without, SqliteConnection::Access::ReadWrite);
        c.exec("DROP TABLE ItemHistory");
        c.exec("VACUUM");
    }
    // The same items; its history is made by the first save below, as on any file.
    QFile::copy(without, fresh);
    std::printf("items: %d, history entries: %d + 1 (files made in %.1f s)\n", items, entries,
                made.elapsed() / 1000.0);
    std::printf("file with history: %.1f MiB, without: %.1f MiB\n", fileMiB(withHistory), fileMiB(without));

    // Opening to the first item, the files taken in turns after one warming run each.
    std::vector<double> openWith, openWithout;
    const auto openMs = [](const QString &path) {
        return timedMs([&] {
            ItemRecordSet rs(path);
            rs.open();
            (void)rs.value(Column::ItemDesc);
        });
    };
    openMs(withHistory);
    openMs(without);
    for (int i = 0; i < 7; ++i) {
        openWith.push_back(openMs(withHistory));
        openWithout.push_back(openMs(without));
    }
    const double openWithMs = median(openWith), openWithoutMs = median(openWithout);
    std::printf("open to the first item:        %8.1f ms with the history, %8.1f ms without "
                "(median of 7; target: the same)  ratio %.2f\n",
                openWithMs, openWithoutMs, openWithMs / openWithoutMs);

    // Saves of one count on the same random items in both files, in turns; the first save of each
    // store (making the fresh file's table and the triggers) is left out.
    const int saves = 200;
    QRandomGenerator rng(11);
    std::vector<qint64> saveKeys;
    for (int i = 0; i < saves; ++i)
        saveKeys.push_back(1 + rng.bounded(items));
    std::vector<double> storeBig, storeFresh, setBig, setFresh, plainBig;
    {
        const auto big = makeFileStore(withHistory), small = makeFileStore(fresh);
        big->open();
        small->open();
        // The same write on a connection of its own, which has no trigger: nothing recorded.
        SqliteConnection plain(withHistory, SqliteConnection::Access::ReadWrite);
        SqliteStatement count(plain, "UPDATE Items SET ItemCnt = ItemCnt + 1 WHERE rowid = ?");
        storeSaveMs(*big, 2);
        storeSaveMs(*small, 2);
        for (const qint64 key : saveKeys) {
            storeBig.push_back(storeSaveMs(*big, key));
            storeFresh.push_back(storeSaveMs(*small, key));
            plainBig.push_back(timedMs([&] {
                plain.exec("BEGIN IMMEDIATE");
                count.bind(1, key);
                count.step();
                count.reset();
                plain.exec("COMMIT");
            }));
        }
    }
    {
        ItemRecordSet big(withHistory), small(fresh);
        big.open();
        small.open();
        recordSetSaveMs(big, 2);
        recordSetSaveMs(small, 2);
        for (const qint64 key : saveKeys) {
            const int index = static_cast<int>(key - 1); // generated items are in key order
            setBig.push_back(recordSetSaveMs(big, index));
            setFresh.push_back(recordSetSaveMs(small, index));
        }
    }
    const auto printSave = [&](const char *what, const std::vector<double> &big,
                               const std::vector<double> &small) {
        const double b = median(big), s = median(small);
        std::printf("%-30s %8.2f ms with %d entries, %8.2f ms with an empty history (median of %d)  "
                    "recording adds %.2f ms (target < 1 ms)\n",
                    what, b, entries, s, saves, b - s);
    };
    printSave("save, ItemStore::update:", storeBig, storeFresh);
    printSave("save, setValue and save():", setBig, setFresh);
    std::printf("  the same count written with plain SQL and nothing recorded: %.2f ms (median of %d)\n",
                median(plainBig), saves);

    // One item's history, as the window shows it when it follows the current item.
    const auto store = makeFileStore(withHistory);
    store->open();
    std::vector<double> itemRuns, itemLinesRuns;
    std::size_t shown = 0;
    for (int i = 0; i < 300; ++i) {
        const qint64 key = 1 + rng.bounded(items);
        std::vector<HistoryEntry> found;
        itemRuns.push_back(timedMs([&] { found = itemHistory(*store, key); }));
        shown += found.size();
        itemLinesRuns.push_back(timedMs([&] {
            for (const HistoryEntry &e : itemHistory(*store, key)) {
                const QString line = localTimeText(e.at) + e.by + e.workstation + describeChange(e);
                (void)line;
            }
        }));
    }
    std::printf("one item's history:            %8.2f ms (median of 300, slowest %.2f ms; target < 100 ms), "
                "%.1f entries each; with the lines written: %.2f ms\n",
                median(itemRuns), *std::max_element(itemRuns.begin(), itemRuns.end()),
                static_cast<double>(shown) / itemRuns.size(), median(itemLinesRuns));

    // The first screen of "All Items": the newest 200, and narrowed by a filter.
    const auto firstScreen = [&](const QString &filter, std::size_t &count) {
        HistoryQuery query;
        query.limit = 200;
        query.filter = filter;
        std::vector<double> runs;
        for (int i = 0; i < 7; ++i)
            runs.push_back(timedMs([&] { count = store->history(query).size(); }));
        return median(runs);
    };
    std::size_t count = 0;
    const double allMs = firstScreen(QString(), count);
    std::printf("\"All Items\", first 200:        %8.2f ms (median of 7; target < 500 ms), %zu entries\n",
                allMs, count);
    const double commonMs = firstScreen(QStringLiteral("carla"), count);
    std::printf("  filtered, a common text:     %8.2f ms (median of 7; target < 500 ms), %zu entries\n",
                commonMs, count);
    // One item's number: its few entries are spread over the whole table.
    const QString rare = store->read(items / 2)->itemNum;
    const double rareMs = firstScreen(rare, count);
    std::printf("  filtered, a rare text:       %8.2f ms (median of 7; target < 500 ms), %zu entries for "
                "\"%s\"\n",
                rareMs, count, qPrintable(rare));
    return 0;
}
