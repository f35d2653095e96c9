#include "ScriptedPrompts.h"
#include "TestFolder.h"
#include "backup/DatabaseBackup.h"
#include "common/AppError.h"
#include "items/Database.h"
#include "items/ItemRecordSet.h"
#include "items/SqliteConnection.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

using namespace tv;
using tv::test::makeRow;
using tv::test::ScriptedPrompts;
using tv::test::TestFolder;
using Step = DatabaseBackup::Step;

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// Runs SQL on a file of its own connection; creates the file when it is missing.
void runSql(const QString &path, const QStringList &statements)
{
    const QString error = tv::test::execSql(path, statements);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

// Enough rows of long text that the table spans many pages.
void fillRows(const QString &path, int count)
{
    QStringList sql{QStringLiteral("BEGIN")};
    for (int i = 0; i < count; ++i)
        sql << QStringLiteral(
                   "insert into Items (ItemDesc, ItemNum, ItemCnt, Image) values ('%1', 'N%2', %2, '0')")
                   .arg(QString(200, QLatin1Char('a' + i % 26)))
                   .arg(i);
    sql << QStringLiteral("COMMIT");
    runSql(path, sql);
}

// Overwrites a page in the middle of the file: the header still reads as a database.
void damagePages(const QString &path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.size() > 8 * 4096);
    QVERIFY(f.seek(5 * 4096));
    f.write(QByteArray(4096, '\xab'));
}

QStringList itemNums(const ItemRecordSet &rs)
{
    QStringList list;
    for (const ItemRow &r : rs.rows())
        list << r.itemNum;
    return list;
}

// The standard error trap's box for a procedure of the main window: OK only, no icon, the program's title.
void checkTrap(const ScriptedPrompts &prompts, const QString &procedure, const QString &fragment)
{
    QCOMPARE(prompts.shown().size(), 1);
    const auto &m = prompts.last();
    QVERIFY2(m.text.startsWith(QLatin1String("Error ")), qPrintable(m.text));
    QVERIFY2(m.text.endsWith(QStringLiteral(". In procedure %1 of Form frmMain").arg(procedure)),
             qPrintable(m.text));
    QVERIFY2(m.text.contains(fragment), qPrintable(m.text + QStringLiteral(" lacks ") + fragment));
    QCOMPARE(m.icon, MsgIcon::None);
    QCOMPARE(m.buttons, MsgButtons::Ok);
    QCOMPARE(m.title, QStringLiteral("Tallyvane"));
}

// The next line a child process prints, without its line end; empty when none comes.
QByteArray waitForLine(QProcess &process)
{
    while (!process.canReadLine())
        if (!process.waitForReadyRead(10000)) return QByteArray();
    return process.readLine().trimmed();
}

class WriteLock
{
public:
    // Holds the engine's exclusive lock on a file, as a program in the middle of a write would.
    explicit WriteLock(const QString &path) : m_db(path, SqliteConnection::Access::Unchecked)
    {
        m_ok = m_db.tryExec("BEGIN EXCLUSIVE");
    }
    bool ok() const { return m_ok; }

private:
    SqliteConnection m_db;
    bool m_ok = false;
};

// A program folder with two items, the record set open on them and the backup logic over it.
struct Fixture
{
    TestFolder folder;
    ScriptedPrompts prompts;
    ItemRecordSet rs{folder.databasePath()};
    DatabaseBackup logic{rs};

    Fixture()
    {
        folder.addRows({makeRow("Alpha", "A1", 3, "1.25"), makeRow("Beta", "B2", 5, "2.5")});
        rs.open();
    }
    QString db() const { return folder.databasePath(); }
    QString backupFolder() const { return folder.file(QStringLiteral("Backup")); }
    QString backupFile() const { return folder.file(QStringLiteral("Backup/InventoryDb.bak")); }
    QString workingCopy() const { return folder.file(QStringLiteral("Backup/InventoryDb.mdb")); }
};

} // namespace

class TestDatabaseBackup : public QObject
{
    Q_OBJECT
private slots:
    void firstBackupCreatesTheFolderAndNamesThePath()
    {
        Fixture f;
        QVERIFY(!QFileInfo::exists(f.backupFolder()));
        QVERIFY(f.logic.backup());
        QVERIFY(QFileInfo(f.backupFolder()).isDir());
        QCOMPARE(entries(f.backupFolder()), QStringList{QStringLiteral("InventoryDb.bak")});
        QCOMPARE(readFile(f.backupFile()), readFile(f.db()));
        QCOMPARE(f.prompts.shown().size(), 1);
        const auto &m = f.prompts.last();
        QCOMPARE(m.text, QStringLiteral("The Data has been saved to ") + f.folder.path() +
                             QStringLiteral("/Backup/InventoryDb.bak"));
        QCOMPARE(m.title, QStringLiteral("Backup Complete"));
        QCOMPARE(m.icon, MsgIcon::Information);
        QCOMPARE(m.buttons, MsgButtons::Ok);
        QCOMPARE(f.rs.recordCount(), 2); // nothing closed or reopened
    }

    void secondBackupReplacesTheFirst_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("writable backup") << false;
        QTest::newRow("read-only backup") << true;
    }
    void secondBackupReplacesTheFirst()
    {
        QFETCH(bool, readOnly);
        Fixture f;
        QVERIFY(f.logic.backup());
        const QByteArray first = readFile(f.backupFile());
        if (readOnly)
            QVERIFY(QFile::setPermissions(f.backupFile(),
                                          QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

        f.rs.addNew();
        f.rs.setValue(Column::ItemNum, QStringLiteral("C3"));
        f.rs.update();
        QVERIFY(f.logic.backup());

        QCOMPARE(entries(f.backupFolder()), QStringList{QStringLiteral("InventoryDb.bak")});
        const QByteArray second = readFile(f.backupFile());
        QCOMPARE(second, readFile(f.db()));
        QVERIFY(second != first);
        QCOMPARE(f.prompts.shown().size(), 2);
        QCOMPARE(f.prompts.last().title, QStringLiteral("Backup Complete"));
    }

    void pendingEditStaysOutOfTheBackupAndInTheRecordSet()
    {
        Fixture f;
        f.rs.moveLast();
        f.rs.setValue(Column::ItemDesc, QStringLiteral("Edited"));
        QVERIFY(f.logic.backup());
        QCOMPARE(readFile(f.backupFile()), readFile(f.db()));
        QVERIFY(f.rs.isDirty());
        QCOMPARE(f.rs.position(), 1);
        QCOMPARE(f.rs.value(Column::ItemDesc).toString(), QStringLiteral("Edited"));
        f.rs.update(); // still writes afterwards
        QVERIFY(readFile(f.backupFile()) != readFile(f.db()));
    }

    void backupHoldsOnlyCommittedRows()
    {
        Fixture f;
        // Another connection in the middle of a write: its rows are not committed yet.
        {
            SqliteConnection w(f.db(), SqliteConnection::Access::Unchecked);
            QVERIFY(w.tryExec("BEGIN IMMEDIATE"));
            w.exec("insert into Items (ItemNum) values ('UNCOMMITTED')");
            QVERIFY(f.logic.backup());
            w.exec("COMMIT");
        }

        ItemRecordSet fromBackup(f.backupFile());
        fromBackup.open();
        QCOMPARE(itemNums(fromBackup), (QStringList{QStringLiteral("A1"), QStringLiteral("B2")}));
    }

    void backupWaitsForNoWriteInProgress()
    {
        Fixture f;
        QVERIFY(f.logic.backup());
        const QByteArray previous = readFile(f.backupFile());
        f.prompts.clear();
        {
            WriteLock lock(f.db());
            QVERIFY(lock.ok());
            QVERIFY(!f.logic.backup());
        }
        checkTrap(f.prompts, QStringLiteral("Backup"), QStringLiteral("file already in use"));
        QCOMPARE(readFile(f.backupFile()), previous);
        QCOMPARE(entries(f.backupFolder()), QStringList{QStringLiteral("InventoryDb.bak")});
    }

    void backupFailureKeepsDatabaseAndPreviousBackup_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<int>("failStep"); // -1: no step fails on purpose
        QTest::addColumn<QString>("fragment");
        QTest::newRow("backup folder is a file") << "Backup" << -1 << "Could not create the backup folder";
        QTest::newRow("working copy is a folder") << "Backup/InventoryDb.mdb/x" << -1 << "InventoryDb.mdb'";
        QTest::newRow("backup file is a folder") << "Backup/InventoryDb.bak/x" << -1 << "Could not rename";
        QTest::newRow("database missing") << "-db" << -1 << "Could not find file";
        QTest::newRow("database damaged") << "-damaged" << -1 << "Unrecognized database format";
        QTest::newRow("creating the folder fails")
            << "" << int(Step::CreateFolder) << "Error 61 (Disk full).";
        QTest::newRow("copying fails") << "" << int(Step::CopyDatabase) << "Error 61 (Disk full).";
        QTest::newRow("replacing the backup fails")
            << "" << int(Step::ReplaceBackup) << "Error 61 (Disk full).";
    }
    void backupFailureKeepsDatabaseAndPreviousBackup()
    {
        QFETCH(QString, obstacle);
        QFETCH(int, failStep);
        QFETCH(QString, fragment);
        Fixture f;
        if (obstacle == QLatin1String("-damaged")) {
            f.rs.close();
            fillRows(f.db(), 300);
        }
        QByteArray previous;
        if (obstacle != QLatin1String("Backup") &&
            !obstacle.startsWith(QLatin1String("Backup/InventoryDb.bak"))) {
            QVERIFY(f.logic.backup());
            previous = readFile(f.backupFile());
            QVERIFY(!previous.isEmpty());
        }
        f.prompts.clear();
        if (obstacle == QLatin1String("Backup"))
            writeFile(f.backupFolder(), "not a folder");
        else if (obstacle == QLatin1String("-db")) {
            f.rs.close();
            QVERIFY(QFile::remove(f.db()));
        } else if (obstacle == QLatin1String("-damaged"))
            damagePages(f.db());
        else if (!obstacle.isEmpty())
            QVERIFY(QDir().mkpath(f.folder.file(obstacle)));
        const QByteArray database = readFile(f.db());
        const QStringList backupEntries = entries(f.backupFolder());
        if (failStep >= 0)
            f.logic.setStepHook([failStep](Step s) {
                if (int(s) == failStep) throw AppError(Err::DiskFull);
            });

        QVERIFY(!f.logic.backup());

        checkTrap(f.prompts, QStringLiteral("Backup"), fragment);
        QCOMPARE(readFile(f.db()), database);
        if (!previous.isEmpty()) QCOMPARE(readFile(f.backupFile()), previous);
        QCOMPARE(entries(f.backupFolder()), backupEntries); // no working copy left behind
        if (obstacle == QLatin1String("Backup"))
            QCOMPARE(readFile(f.backupFolder()), QByteArray("not a folder"));
        if (f.rs.isOpen())
            QCOMPARE(itemNums(f.rs), (QStringList{QStringLiteral("A1"), QStringLiteral("B2")}));
    }

    void restoreWithoutBackupFolder_data()
    {
        QTest::addColumn<bool>("fileNamedBackup");
        QTest::newRow("no folder") << false;
        QTest::newRow("a file named Backup") << true;
    }
    void restoreWithoutBackupFolder()
    {
        QFETCH(bool, fileNamedBackup);
        Fixture f;
        if (fileNamedBackup) writeFile(f.backupFolder(), "x");
        f.rs.moveLast();
        f.rs.setValue(Column::ItemDesc, QStringLiteral("Typed"));
        const QByteArray database = readFile(f.db());

        QVERIFY(!f.logic.restore());

        QCOMPARE(f.prompts.shown().size(), 1);
        const auto &m = f.prompts.last();
        QCOMPARE(m.text, QStringLiteral("No Backup Exists, Backup Data First!!"));
        QCOMPARE(m.title, QStringLiteral("No Backup"));
        QCOMPARE(m.icon, MsgIcon::Stop);
        QCOMPARE(m.buttons, MsgButtons::Ok);
        QCOMPARE(readFile(f.db()), database);
        // The window keeps working on its records, the typed text included.
        QCOMPARE(f.rs.position(), 1);
        QCOMPARE(f.rs.value(Column::ItemDesc).toString(), QStringLiteral("Typed"));
        f.rs.update();
        ItemRecordSet again(f.db());
        again.open();
        QCOMPARE(again.row(1).itemDesc, QStringLiteral("Typed"));
    }

    void restoreWithFolderButNoBackupFile()
    {
        Fixture f;
        QVERIFY(QDir().mkdir(f.backupFolder()));
        f.rs.moveLast();
        const QByteArray database = readFile(f.db());
        const QStringList before = entries(f.folder.path());

        QVERIFY(!f.logic.restore());

        checkTrap(f.prompts, QStringLiteral("Restore"),
                  QStringLiteral("Error 53 (File not found: '%1').").arg(f.backupFile()));
        QCOMPARE(readFile(f.db()), database);
        QCOMPARE(entries(f.folder.path()), before);
        QVERIFY(entries(f.backupFolder()).isEmpty());
        QVERIFY(f.rs.isOpen());
        QCOMPARE(f.rs.position(), 1);
        f.rs.moveFirst();
        QCOMPARE(f.rs.value(Column::ItemNum).toString(), QStringLiteral("A1"));
    }

    void restoreBringsBackTheBackupsRows_data()
    {
        QTest::addColumn<MsgAnswer>("answer");
        QTest::newRow("OK") << MsgAnswer::Ok;
        QTest::newRow("Cancel") << MsgAnswer::Cancel;
    }
    void restoreBringsBackTheBackupsRows()
    {
        QFETCH(MsgAnswer, answer);
        Fixture f;
        QVERIFY(f.logic.backup());
        const QByteArray backup = readFile(f.backupFile());
        f.rs.moveFirst();
        f.rs.deleteCurrent();
        f.rs.addNew();
        f.rs.setValue(Column::ItemNum, QStringLiteral("C3"));
        f.rs.update();
        f.rs.moveFirst();
        f.rs.setValue(Column::ItemDesc, QStringLiteral("pending")); // dropped by the restore
        QCOMPARE(itemNums(f.rs), (QStringList{QStringLiteral("B2"), QStringLiteral("C3")}));
        const QByteArray replaced = readFile(f.db());
        const QString beforeRestore = f.folder.file(QStringLiteral("Backup/InventoryDb.before-restore.mdb"));
        const QString keptSentence =
            QStringLiteral(" The database it replaced is kept as %1.").arg(beforeRestore);
        f.prompts.clear();
        f.prompts.answer(answer);
        QSignalSpy resets(&f.rs, &ItemRecordSet::reset);
        QSignalSpy moves(&f.rs, &ItemRecordSet::currentChanged);

        QVERIFY(f.logic.restore());

        QCOMPARE(f.prompts.shown().size(), 1);
        const auto &m = f.prompts.last();
        QCOMPARE(m.text,
                 QStringLiteral("The Database has been restored, Please Restart Tallyvane.") + keptSentence);
        QCOMPARE(m.title, QStringLiteral("Data Restored"));
        QCOMPARE(m.icon, MsgIcon::Information);
        QCOMPARE(m.buttons, MsgButtons::OkCancel);
        QVERIFY(f.rs.isOpen());
        QCOMPARE(itemNums(f.rs), (QStringList{QStringLiteral("A1"), QStringLiteral("B2")}));
        QCOMPARE(f.rs.row(0).itemDesc, QStringLiteral("Alpha"));
        QCOMPARE(f.rs.position(), 0);
        QVERIFY(!resets.isEmpty());
        QVERIFY(!moves.isEmpty());
        QCOMPARE(readFile(f.db()), backup);
        QCOMPARE(readFile(f.backupFile()), backup);
        // The replaced database is kept beside the backup, whole.
        QCOMPARE(entries(f.backupFolder()), (QStringList{QStringLiteral("InventoryDb.bak"),
                                                         QStringLiteral("InventoryDb.before-restore.mdb")}));
        QCOMPARE(readFile(beforeRestore), replaced);
        QCOMPARE(entries(f.folder.path()),
                 (QStringList{QStringLiteral("Backup"), QStringLiteral("InventoryDb.mdb")}));

        // The restored file takes edits, and a second restore gives the same database again and
        // keeps only the database it replaced this time.
        f.rs.moveLast();
        f.rs.deleteCurrent();
        const QByteArray edited = readFile(f.db());
        QVERIFY(edited != backup);
        QVERIFY(f.logic.restore());
        QCOMPARE(f.prompts.last().text,
                 QStringLiteral("The Database has been restored, Please Restart Tallyvane.") + keptSentence);
        QCOMPARE(readFile(f.db()), backup);
        QCOMPARE(readFile(beforeRestore), edited);
        QCOMPARE(entries(f.backupFolder()), (QStringList{QStringLiteral("InventoryDb.bak"),
                                                         QStringLiteral("InventoryDb.before-restore.mdb")}));
        QCOMPARE(itemNums(f.rs), (QStringList{QStringLiteral("A1"), QStringLiteral("B2")}));
    }

    void restoreBringsBackAMissingDatabase()
    {
        Fixture f;
        QVERIFY(f.logic.backup());
        f.rs.close();
        QVERIFY(QFile::remove(f.db()));
        QVERIFY(f.logic.restore());
        QCOMPARE(readFile(f.db()), readFile(f.backupFile()));
        QVERIFY(f.rs.isOpen());
        QCOMPARE(itemNums(f.rs), (QStringList{QStringLiteral("A1"), QStringLiteral("B2")}));
    }

    void restoreRefusesAnUnsoundBackup_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("fragment");
        QTest::newRow("text file") << "text"
                                   << "InventoryDb.bak";
        QTest::newRow("empty file") << "empty"
                                    << "it has no Items table";
        QTest::newRow("no Items table") << "other"
                                        << "it has no Items table";
        QTest::newRow("Items lacks a column") << "columns"
                                              << "has no column ItemCnt";
        QTest::newRow("damaged pages") << "damaged"
                                       << "Unrecognized database format";
        QTest::newRow("cut short") << "truncated"
                                   << "InventoryDb.bak";
        QTest::newRow("a folder") << "folder"
                                  << "InventoryDb.bak";
    }
    void restoreRefusesAnUnsoundBackup()
    {
        QFETCH(QString, kind);
        QFETCH(QString, fragment);
        Fixture f;
        QVERIFY(QDir().mkdir(f.backupFolder()));
        const QString bak = f.backupFile();
        if (kind == QLatin1String("text"))
            writeFile(bak, QByteArray("Alpha;A1;3\nBeta;B2;5\n").repeated(200));
        else if (kind == QLatin1String("empty"))
            writeFile(bak, QByteArray());
        else if (kind == QLatin1String("other"))
            runSql(bak, {QStringLiteral("create table Other (x)")});
        else if (kind == QLatin1String("columns"))
            runSql(bak, {QStringLiteral("create table Items (ItemDesc TEXT, ItemNum TEXT)")});
        else if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(bak + QStringLiteral("/x")));
        else {
            createEmptyDatabase(bak);
            fillRows(bak, 300);
            if (kind == QLatin1String("damaged"))
                damagePages(bak);
            else
                QVERIFY(QFile::resize(bak, QFileInfo(bak).size() / 2));
        }
        const QByteArray backup = readFile(bak);
        const QByteArray database = readFile(f.db());
        f.rs.moveLast();
        f.rs.setValue(Column::ItemDesc, QStringLiteral("Typed"));

        QVERIFY(!f.logic.restore());

        checkTrap(f.prompts, QStringLiteral("Restore"), fragment);
        QCOMPARE(readFile(f.db()), database);
        QCOMPARE(readFile(bak), backup);
        QCOMPARE(entries(f.folder.path()),
                 (QStringList{QStringLiteral("Backup"), QStringLiteral("InventoryDb.mdb")}));
        // Refused before anything was closed: the current row and its typed text remain.
        QCOMPARE(f.rs.position(), 1);
        QCOMPARE(f.rs.value(Column::ItemDesc).toString(), QStringLiteral("Typed"));
    }

    void restoreFailureLeavesDatabaseAsItWas_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<int>("failStep");
        QTest::addColumn<bool>("beforeClose");
        QTest::addColumn<QString>("fragment");
        QTest::newRow("copy beside the database is in the way")
            << "InventoryDb.mdb.restoring/x" << -1 << true << "InventoryDb.mdb.restoring";
        QTest::newRow("name for the old database is in the way")
            << "InventoryDb.mdb.replaced/x" << -1 << true << "InventoryDb.mdb.replaced";
        QTest::newRow("a journal beside the database")
            << "InventoryDb.mdb-journal" << -1 << true << "file already in use";
        QTest::newRow("copying fails") << "" << int(Step::CopyBackup) << true << "Error 61 (Disk full";
        QTest::newRow("closing fails") << "" << int(Step::CloseRecordSet) << false << "Error 61 (Disk full";
        QTest::newRow("replacing fails")
            << "" << int(Step::ReplaceDatabase) << false << "Error 61 (Disk full";
        QTest::newRow("reopening fails")
            << "" << int(Step::ReopenRecordSet) << false << "Error 61 (Disk full";
        QTest::newRow("restored file locked by another program")
            << "-lock" << int(Step::ReopenRecordSet) << false << "file already in use";
        QTest::newRow("another program in a transaction on the database")
            << "-other-program" << -1 << true << "file already in use";
    }
    void restoreFailureLeavesDatabaseAsItWas()
    {
        QFETCH(QString, obstacle);
        QFETCH(int, failStep);
        QFETCH(bool, beforeClose);
        QFETCH(QString, fragment);
        Fixture f;
        QVERIFY(f.logic.backup());
        const QByteArray backup = readFile(f.backupFile());
        f.rs.addNew();
        f.rs.setValue(Column::ItemNum, QStringLiteral("C3"));
        f.rs.update();
        f.rs.moveFirst();
        f.rs.setValue(Column::ItemDesc, QStringLiteral("Typed"));
        const QByteArray database = readFile(f.db());
        f.prompts.clear();
        if (obstacle.endsWith(QLatin1String("/x")))
            QVERIFY(QDir().mkpath(f.folder.file(obstacle)));
        else if (obstacle.endsWith(QLatin1String("-journal")))
            writeFile(f.folder.file(obstacle), "journal");
        const QStringList before = entries(f.folder.path());

        QProcess otherProgram;
        if (obstacle == QLatin1String("-other-program")) {
            otherProgram.start(QStringLiteral(ITEM_WRITER), {QStringLiteral("hold"), f.db()});
            QVERIFY(otherProgram.waitForStarted());
            QVERIFY(waitForLine(otherProgram) == "locked");
        }
        std::optional<WriteLock> lock;
        f.logic.setStepHook([&](Step s) {
            if (int(s) != failStep) return;
            if (obstacle == QLatin1String("-lock"))
                lock.emplace(f.db()); // the restored file, as it is about to be opened
            else
                throw AppError(Err::DiskFull);
        });

        QVERIFY(!f.logic.restore());
        if (lock) QVERIFY(lock->ok());
        lock.reset();
        QCOMPARE(readFile(f.db()), database);
        if (otherProgram.state() == QProcess::Running) {
            // Its transaction goes on over the same file and commits.
            otherProgram.write("commit\n");
            QCOMPARE(waitForLine(otherProgram), QByteArray("committed"));
            QVERIFY(otherProgram.waitForFinished());
            QCOMPARE(
                tv::test::querySql(
                    f.db(), QStringLiteral("select count(*) from Items where ItemNum = 'OTHER PROGRAM'")),
                QStringList{QStringLiteral("1")});
        }

        checkTrap(f.prompts, QStringLiteral("Restore"), fragment);
        QCOMPARE(readFile(f.backupFile()), backup);
        QCOMPARE(entries(f.backupFolder()), QStringList{QStringLiteral("InventoryDb.bak")});
        QCOMPARE(entries(f.folder.path()), before);
        QVERIFY(f.rs.isOpen());
        QCOMPARE(itemNums(f.rs),
                 (QStringList{QStringLiteral("A1"), QStringLiteral("B2"), QStringLiteral("C3")}));
        if (beforeClose) QCOMPARE(f.rs.value(Column::ItemDesc).toString(), QStringLiteral("Typed"));

        // Once the obstacle is gone the restore goes through.
        if (!obstacle.isEmpty() && !obstacle.startsWith(QLatin1Char('-')))
            QVERIFY(QFile::remove(f.folder.file(obstacle)) ||
                    QDir(f.folder.file(obstacle.section(QLatin1Char('/'), 0, 0))).removeRecursively());
        f.logic.setStepHook({});
        QVERIFY(f.logic.restore());
        QCOMPARE(readFile(f.db()), backup);
        QCOMPARE(itemNums(f.rs), (QStringList{QStringLiteral("A1"), QStringLiteral("B2")}));
    }
};

QTEST_MAIN(TestDatabaseBackup)
#include "tst_databasebackup.moc"
