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
    if (!QFileInfo::exists(p.backupFile))
        throw AppError(Err::FileNotFound, QStringLiteral("File not found: '%1'").arg(p.backupFile));
    {
        SqliteConnection check(p.backupFile, SqliteConnection::Access::ReadOnly);
        check.verify(true);
    }
    // A journal beside the database belongs to a write under way elsewhere; the engine would play
    // it into the restored file.
    if (QFileInfo::exists(p.database + QStringLiteral("-journal"))) throw inUse(p.database);
    // Held until the file is replaced: another program's transaction can neither be under way
    // nor begin on the file that goes away.
    std::optional<ExclusiveLock> lock;
    if (QFileInfo::exists(p.database)) lock.emplace(p.database);

    step(Step::CopyBackup);
    removeLeftover(p.restoring);
    copyFlushed(p.backupFile, p.restoring);

    const bool hadDatabase = QFileInfo::exists(p.database);
    try {
        if (hadDatabase) keepUnderName(p.database, p.replaced);
    } catch (...) {
        ::unlink(nativePath(p.restoring).constData());
        throw;
    }

    const bool wasOpen = m_recordSet.isOpen();
    bool replaced = false;
    // Puts the database file and the record set back as they were; says what could not be.
    auto undoRestore = [&](const AppError &e) {
        QString description = e.description();
        // The old file may come back under its name; the record set must be able to open it.
        lock.reset();
        ::unlink(nativePath(p.restoring).constData());
        if (replaced) {
            try {
                if (hadDatabase) {
                    renameOver(p.replaced, p.database);
                } else if (::unlink(nativePath(p.database).constData()) != 0) {
                    throw fileError(errno, QStringLiteral("Could not remove '%1'").arg(p.database));
                }
                syncFolder(programFolder());
            } catch (const AppError &undo) {
                description += QStringLiteral("; the database could not be put back: ") + undo.description();
                if (hadDatabase && QFileInfo::exists(p.replaced))
                    description += QStringLiteral("; it is kept as '%1'").arg(p.replaced);
            }
        } else if (hadDatabase) {
            ::unlink(nativePath(p.replaced).constData());
        }
        if (wasOpen && !m_recordSet.isOpen()) {
            try {
                m_recordSet.open();
            } catch (const AppError &reopen) {
                description +=
                    QStringLiteral("; the records could not be opened again: ") + reopen.description();
            }
        }
        return AppError(e.number(), description);
    };
    try {
        step(Step::CloseRecordSet);
        // Lets go of the connection as a whole, so that nothing writes into the file being replaced.
        m_recordSet.close();
        step(Step::ReplaceDatabase);
        renameOver(p.restoring, p.database);
        replaced = true;
        syncFolder(programFolder());
        lock.reset();
        step(Step::ReopenRecordSet);
        m_recordSet.open();
    } catch (const AppError &e) {
        throw undoRestore(e);
    } catch (const std::exception &e) {
        throw undoRestore(AppError(Err::InternalError, QString::fromUtf8(e.what())));
    }
    // The replaced database stays within reach, the last one only, beside the backup. The restore
    // has happened either way; the message says where the old one is.
    QString kept;
    if (hadDatabase) {
        try {
            renameOver(p.replaced, p.beforeRestore);
            syncFolder(p.folder);
            syncFolder(programFolder());
            kept = QStringLiteral(" The database it replaced is kept as %1.").arg(p.beforeRestore);
        } catch (const AppError &e) {
            kept = QStringLiteral(" The database it replaced could not be kept beside the backup (%1); it "
                                  "is kept as %2.")
                       .arg(e.description(), p.replaced);
        }
    }

    // Either button ends the restore alike.
    prompts().message(QStringLiteral("The Database has been restored, Please Restart Tallyvane.") + kept,
                      MsgButtons::OkCancel, MsgIcon::Information, QStringLiteral("Data Restored"));
    return true;
}

} // namespace tv
