#include "DatabaseBackup.h"

#include "items/ItemStore.h"

#include "common/AppError.h"
#include "common/ErrorTrap.h"
#include "common/FileError.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"
#include "items/ItemRecordSet.h"
#include "items/ItemStore.h"
#include "items/SqliteConnection.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tv {

namespace {

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

class FileHandle
{
public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle() { close(); }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int close()
    {
        if (m_fd < 0) return 0;
        const int r = ::close(m_fd);
        m_fd = -1;
        return r;
    }

private:
    int m_fd;
};

// Makes renames and new entries in a folder survive a power cut.
void syncFolder(const QString &folder)
{
    FileHandle dir(::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid() || ::fsync(dir.get()) != 0)
        throw fileError(errno, QStringLiteral("Could not flush the folder '%1' to disk").arg(folder));
}

// Removes what an earlier, interrupted operation left at a path of our own.
void removeLeftover(const QString &path)
{
    if (::unlink(nativePath(path).constData()) != 0 && errno != ENOENT)
        throw fileError(errno, QStringLiteral("Could not remove '%1', which is in the way").arg(path));
}

// Writes a new file `to` holding exactly the bytes of `from`, flushed to disk. `to` must not
// exist; a partly written file is removed again.
void copyFlushed(const QString &from, const QString &to)
{
    FileHandle in(::open(nativePath(from).constData(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) throw fileError(errno, QStringLiteral("Could not read '%1'").arg(from));
    struct stat st
    {
    };
    if (::fstat(in.get(), &st) != 0) throw fileError(errno, QStringLiteral("Could not read '%1'").arg(from));
    if (!S_ISREG(st.st_mode))
        throw AppError(Err::PathFileAccess,
                       QStringLiteral("Could not read '%1': it is not a file").arg(from));

    const QString what = QStringLiteral("Could not copy '%1' to '%2'").arg(from, to);
    FileHandle out(::open(nativePath(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!out.valid()) throw fileError(errno, what);
    auto fail = [&](int err) {
        out.close();
        ::unlink(nativePath(to).constData());
        return fileError(err, what);
    };

    std::vector<char> buffer(256 * 1024);
    off_t total = 0;
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            throw fail(errno);
        }
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out.get(), buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                throw fail(errno);
            }
            done += w;
        }
        total += n;
    }
    if (total != st.st_size) {
        out.close();
        ::unlink(nativePath(to).constData());
        throw AppError(Err::PathFileAccess,
                       QStringLiteral("%1: the file changed while it was copied").arg(what));
    }
    if (::fsync(out.get()) != 0) throw fail(errno);
    if (out.close() != 0) throw fail(errno);
}

// Replaces `to` by `from` in one step; a read-only `to` is replaced all the same.
void renameOver(const QString &from, const QString &to)
{
    if (::rename(nativePath(from).constData(), nativePath(to).constData()) != 0)
        throw fileError(errno, QStringLiteral("Could not rename '%1' to '%2'").arg(from, to));
}

// A second name for the database file, so that it can be put back if the restored one cannot be
// opened. A hard link costs nothing; a copy does where links are not to be had.
void keepUnderName(const QString &database, const QString &keep)
{
    removeLeftover(keep);
    if (::link(nativePath(database).constData(), nativePath(keep).constData()) == 0) return;
    copyFlushed(database, keep);
}

AppError inUse(const QString &path)
{
    return AppError(Err::DatabaseError, QStringLiteral("Could not use '%1'; file already in use.").arg(path));
}

// Opens a read transaction and reads, which takes the engine's shared lock: until the
// transaction ends no writer can commit, so the file on disk is one whole, committed state.
// The item record set keeps no transaction open between commands, so this never waits on it.
void holdStill(SqliteConnection &db)
{
    db.exec("BEGIN");
    if (!db.tryExec("select count(*) from sqlite_master")) throw db.inUse();
}

// The engine's exclusive lock on the live database, taken at once or not at all: while it is
// held no other program is in the middle of a transaction on the file, and none can start one.
// It never writes, so it leaves no journal that could be played into the file that replaces it.
class ExclusiveLock
{
public:
    explicit ExclusiveLock(const QString &path) : m_db(path, SqliteConnection::Access::Unchecked)
    {
        if (!m_db.tryExec("BEGIN EXCLUSIVE")) throw m_db.inUse();
    }

private:
    SqliteConnection m_db; // closing it rolls the transaction back and lets go of the lock
};

// One restore, step by step; what a failed step leaves is put back as it was.
class RestoreRun
{
public:
    using Step = DatabaseBackup::Step;

    RestoreRun(const BackupPaths &paths, ItemRecordSet &recordSet, std::function<void(Step)> step)
        : m_paths(paths), m_recordSet(recordSet), m_step(std::move(step))
    {
    }

    // The backup is there and sound.
    void checkBackup() const
    {
        if (!QFileInfo::exists(m_paths.backupFile))
            throw AppError(Err::FileNotFound, QStringLiteral("File not found: '%1'").arg(m_paths.backupFile));
        SqliteConnection check(m_paths.backupFile, SqliteConnection::Access::ReadOnly);
        check.verify(true);
    }

    void lockDatabase()
    {
        // A journal beside the database belongs to a write under way elsewhere; the engine would
        // play it into the restored file.
        if (QFileInfo::exists(m_paths.database + QStringLiteral("-journal"))) throw inUse(m_paths.database);
        // Held until the file is replaced: another program's transaction can neither be under way
        // nor begin on the file that goes away.
        if (QFileInfo::exists(m_paths.database)) m_lock.emplace(m_paths.database);
    }

    // The backup's copy beside the database, and the database under a second name.
    void copyBackup()
    {
        m_step(Step::CopyBackup);
        removeLeftover(m_paths.restoring);
        copyFlushed(m_paths.backupFile, m_paths.restoring);

        m_hadDatabase = QFileInfo::exists(m_paths.database);
        try {
            if (m_hadDatabase) keepUnderName(m_paths.database, m_paths.replaced);
        } catch (...) {
            ::unlink(nativePath(m_paths.restoring).constData());
            throw;
        }
    }

    void swapIn()
    {
        m_wasOpen = m_recordSet.isOpen();
        try {
            m_step(Step::CloseRecordSet);
            // Lets go of the connection as a whole, so that nothing writes into the file being replaced.
            m_recordSet.close();
            m_step(Step::ReplaceDatabase);
            renameOver(m_paths.restoring, m_paths.database);
            m_replaced = true;
            syncFolder(programFolder());
            m_lock.reset();
            m_step(Step::ReopenRecordSet);
            m_recordSet.open();
        } catch (const AppError &e) {
            throw undo(e);
        } catch (const std::exception &e) {
            throw undo(AppError(Err::InternalError, QString::fromUtf8(e.what())));
        }
    }

    // The replaced database stays within reach, the last one only, beside the backup. The restore
    // has happened either way; the text returned says where the old one is.
    QString keepReplaced() const
    {
        if (!m_hadDatabase) return QString();
        try {
            renameOver(m_paths.replaced, m_paths.beforeRestore);
            syncFolder(m_paths.folder);
            syncFolder(programFolder());
            return QStringLiteral(" The database it replaced is kept as %1.").arg(m_paths.beforeRestore);
        } catch (const AppError &e) {
            return QStringLiteral(" The database it replaced could not be kept beside the backup (%1); it "
                                  "is kept as %2.")
                .arg(e.description(), m_paths.replaced);
        }
    }

private:
    // Puts the database file and the record set back as they were; says what could not be.
    AppError undo(const AppError &e)
    {
        QString description = e.description();
        // The old file may come back under its name; the record set must be able to open it.
        m_lock.reset();
        ::unlink(nativePath(m_paths.restoring).constData());
        if (m_replaced)
            description += putBackDatabase();
        else if (m_hadDatabase)
            ::unlink(nativePath(m_paths.replaced).constData());
        if (m_wasOpen && !m_recordSet.isOpen()) {
            try {
                m_recordSet.open();
            } catch (const AppError &reopen) {
                description +=
                    QStringLiteral("; the records could not be opened again: ") + reopen.description();
            }
        }
        return AppError(e.number(), description);
    }

    // What could not be put back, to be added to the failure's description.
    QString putBackDatabase() const
    {
        try {
            if (m_hadDatabase) {
                renameOver(m_paths.replaced, m_paths.database);
            } else if (::unlink(nativePath(m_paths.database).constData()) != 0) {
                throw fileError(errno, QStringLiteral("Could not remove '%1'").arg(m_paths.database));
            }
            syncFolder(programFolder());
            return QString();
        } catch (const AppError &failure) {
            QString description =
                QStringLiteral("; the database could not be put back: ") + failure.description();
            if (m_hadDatabase && QFileInfo::exists(m_paths.replaced))
                description += QStringLiteral("; it is kept as '%1'").arg(m_paths.replaced);
            return description;
        }
    }

    const BackupPaths &m_paths;
    ItemRecordSet &m_recordSet;
    std::function<void(Step)> m_step;
    std::optional<ExclusiveLock> m_lock;
    bool m_hadDatabase = false;
    bool m_wasOpen = false;
    bool m_replaced = false;
};

} // namespace

BackupPaths BackupPaths::current()
{
    const QString folder = programPath(QStringLiteral("Backup"));
    return {databasePath(),
            folder,
            folder + QStringLiteral("/InventoryDb.mdb"),
            folder + QStringLiteral("/InventoryDb.bak"),
            programPath(QStringLiteral("InventoryDb.mdb.restoring")),
            programPath(QStringLiteral("InventoryDb.mdb.replaced")),
            folder + QStringLiteral("/InventoryDb.before-restore.mdb")};
}

DatabaseBackup::DatabaseBackup(ItemRecordSet &recordSet) : m_recordSet(recordSet) {}

void DatabaseBackup::step(Step s) const
{
    if (m_hook) m_hook(s);
}

// A server keeps its own backups; copying a file here would copy nothing of the shared items.
bool DatabaseBackup::refuseForServer() const
{
    const ItemStore &store = m_recordSet.store();
    if (store.isFile()) return false;
    prompts().message(QStringLiteral("The items are kept on the server %1. Back them up and restore them "
                                     "with the server's own tools (pg_dump and pg_restore). Nothing was "
                                     "changed.")
                          .arg(store.location()),
                      MsgButtons::Ok, MsgIcon::Information);
    return true;
}

bool DatabaseBackup::backup()
{
    if (refuseForServer()) return false;
    return trapped(QStringLiteral("Backup"), QStringLiteral("frmMain"), [&] { runBackup(); });
}

bool DatabaseBackup::restore()
{
    if (refuseForServer()) return false;
    bool restored = false;
    trapped(QStringLiteral("Restore"), QStringLiteral("frmMain"), [&] { restored = runRestore(); });
    return restored;
}

// The backup is the database file as it stands; an edit not yet saved in the record set is not
// in the file and so not in the backup, and it stays pending in the record set.
void DatabaseBackup::runBackup()
{
    const BackupPaths p = BackupPaths::current();
    {
        SqliteConnection source(p.database, SqliteConnection::Access::ReadOnly);
        holdStill(source);
        // A damaged database must not take the place of a sound backup.
        source.verify(true);

        step(Step::CreateFolder);
        if (!QFileInfo(p.folder).isDir()) {
            if (::mkdir(nativePath(p.folder).constData(), 0777) != 0)
                throw fileError(errno,
                                QStringLiteral("Could not create the backup folder '%1'").arg(p.folder));
            syncFolder(programFolder());
        }

        step(Step::CopyDatabase);
        removeLeftover(p.workingCopy);
        copyFlushed(p.database, p.workingCopy);
    }

    try {
        step(Step::ReplaceBackup);
        renameOver(p.workingCopy, p.backupFile);
    } catch (...) {
        ::unlink(nativePath(p.workingCopy).constData());
        throw;
    }
    syncFolder(p.folder);

    prompts().message(QStringLiteral("The Data has been saved to ") + p.backupFile, MsgButtons::Ok,
                      MsgIcon::Information, QStringLiteral("Backup Complete"));
}

bool DatabaseBackup::runRestore()
{
    const BackupPaths p = BackupPaths::current();
    if (!QFileInfo(p.folder).isDir()) {
        // Nothing was touched, so the record set keeps its row and any pending edit.
        prompts().message(QStringLiteral("No Backup Exists, Backup Data First!!"), MsgButtons::Ok,
                          MsgIcon::Stop, QStringLiteral("No Backup"));
        return false;
    }
    RestoreRun run(p, m_recordSet, [this](Step s) { step(s); });
    run.checkBackup();
    run.lockDatabase();
    run.copyBackup();
    run.swapIn();
    const QString kept = run.keepReplaced();

    // Either button ends the restore alike.
    prompts().message(QStringLiteral("The Database has been restored, Please Restart Tallyvane.") + kept,
                      MsgButtons::OkCancel, MsgIcon::Information, QStringLiteral("Data Restored"));
    return true;
}

} // namespace tv
