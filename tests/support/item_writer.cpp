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
#include "common/AppError.h"
#include "items/ItemRecordSet.h"
#include "items/SqliteConnection.h"

#include <QCoreApplication>
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == QLatin1String("save"))
        return saveForever(args.at(2), args.at(3).toLongLong());
    if (args.size() == 3 && args.at(1) == QLatin1String("hold")) return holdLock(args.at(2));
    std::fputs("usage: item_writer save <database> <first> | hold <database>\n", stderr);
    return 2;
}
