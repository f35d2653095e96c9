// item_writer: another program working on an item database, for tests that need a second process.
//
//   item_writer save <database> <first>
//       Opens the item record set and saves without end: a new row "W<n>" with count n (n from
//       <first> on), and after every fourth one the first row's count set to n. Prints
//       "added W<n>" or "edited <n>" once the save has returned, and "error <text>" on a failure.
//   item_writer hold <database>
//       Takes the engine's exclusive lock (BEGIN EXCLUSIVE, no waiting) and prints "locked"; on
//       a line from standard input adds the row "OTHER PROGRAM" and commits, then prints
//       "committed" or "error <text>".
//   item_writer edit <database>
//       Another copy of the program on the file, one command a line from standard input, each
//       on the rows as they are stored just then: "count <ItemNum> <n>", "delete <ItemNum>",
//       "add <ItemNum> <ItemDesc> <n>", "backup", "restore". Prints "ok" (after a backup or
//       restore, "ok " and the message shown) or "error <text>" once it has run.
#include "ScriptedPrompts.h"
#include "backup/DatabaseBackup.h"
#include "common/AppError.h"
#include "common/ProgramFolder.h"
#include "items/ItemRecordSet.h"
#include "items/SqliteConnection.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

using namespace tv;

namespace {

void say(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

int saveForever(const QString &path, qint64 first)
{
    ItemRecordSet records(path);
    try {
        records.open();
        for (qint64 n = first;; ++n) {
            records.addNew();
            records.setValue(Column::ItemNum, QStringLiteral("W%1").arg(n));
            records.setValue(Column::ItemDesc, QStringLiteral("Written by the writer"));
            records.setValue(Column::ItemCnt, QVariant::fromValue<qlonglong>(n));
            records.save();
            say(QStringLiteral("added W%1").arg(n));
            if (n % 4 == 0) {
                records.moveFirst();
                records.setValue(Column::ItemCnt, QVariant::fromValue<qlonglong>(n));
                records.update();
                say(QStringLiteral("edited %1").arg(n));
            }
        }
    } catch (const AppError &e) {
        say(QStringLiteral("error ") + e.description());
    }
    return 1;
}

int holdLock(const QString &path)
{
    try {
        SqliteConnection db(path, SqliteConnection::Access::Unchecked);
        if (!db.tryExec("BEGIN EXCLUSIVE")) {
            say(QStringLiteral("error ") + db.errorText());
            return 1;
        }
        say(QStringLiteral("locked"));
        char line[64];
        if (!std::fgets(line, sizeof line, stdin)) return 1;
        db.exec("insert into Items (ItemNum) values ('OTHER PROGRAM')");
        db.exec("COMMIT");
    } catch (const AppError &e) {
        say(QStringLiteral("error ") + e.description());
        return 1;
    }
    say(QStringLiteral("committed"));
    return 0;
}

void moveToItem(ItemRecordSet &records, const QString &itemNum)
{
    for (int i = 0; i < records.recordCount(); ++i)
        if (records.row(i).itemNum == itemNum) return records.moveTo(i);
    throw AppError(Err::NoCurrentRecord);
}

void runCommand(ItemRecordSet &records, const QStringList &words)
{
    const QString &command = words.value(0);
    if (command == QLatin1String("count") && words.size() == 3) {
        moveToItem(records, words.at(1));
        records.setValue(Column::ItemCnt, QVariant::fromValue<qlonglong>(words.at(2).toLongLong()));
        records.save();
    } else if (command == QLatin1String("delete") && words.size() == 2) {
        moveToItem(records, words.at(1));
        records.deleteCurrent();
    } else if (command == QLatin1String("add") && words.size() == 4) {
        records.addNew();
        records.setValue(Column::ItemNum, words.at(1));
        records.setValue(Column::ItemDesc, words.at(2));
        records.setValue(Column::ItemCnt, QVariant::fromValue<qlonglong>(words.at(3).toLongLong()));
        records.save();
    } else {
        throw AppError(Err::InternalError, QStringLiteral("unknown command"));
    }
}

int editOnCommand(const QString &path)
{
    setProgramFolder(QFileInfo(path).absolutePath());
    test::ScriptedPrompts prompts;
    ItemRecordSet records(path);
    DatabaseBackup backup(records);
    char line[256];
    while (std::fgets(line, sizeof line, stdin)) {
        const QStringList words = QString::fromUtf8(line).simplified().split(QLatin1Char(' '));
        prompts.clear();
        try {
            // The rows as stored now, as a program reads them before it changes one.
            records.close();
            records.open();
            if (words.value(0) == QLatin1String("backup") || words.value(0) == QLatin1String("restore")) {
                const bool done =
                    words.value(0) == QLatin1String("backup") ? backup.backup() : backup.restore();
                say((done ? QStringLiteral("ok ") : QStringLiteral("error ")) +
                    (prompts.shown().isEmpty() ? QString() : prompts.last().text));
                continue;
            }
            runCommand(records, words);
            say(QStringLiteral("ok"));
        } catch (const AppError &e) {
            say(QStringLiteral("error ") + e.description());
        }
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == QLatin1String("save"))
        return saveForever(args.at(2), args.at(3).toLongLong());
    if (args.size() == 3 && args.at(1) == QLatin1String("hold")) return holdLock(args.at(2));
    if (args.size() == 3 && args.at(1) == QLatin1String("edit")) return editOnCommand(args.at(2));
    std::fputs("usage: item_writer save <database> <first> | hold <database> | edit <database>\n", stderr);
    return 2;
}
