#pragma once

#include <QString>
#include <functional>

namespace tv {

class ItemRecordSet;

// Where the one backup generation lives, computed afresh from the program folder each time.
struct BackupPaths
{
    QString database;      // program folder + "/InventoryDb.mdb"
    QString folder;        // program folder + "/Backup"
    QString workingCopy;   // program folder + "/Backup/InventoryDb.mdb", only during a backup
    QString backupFile;    // program folder + "/Backup/InventoryDb.bak"
    QString restoring;     // the backup's copy beside the database, only during a restore
    QString replaced;      // the database being replaced, kept until the restored one opens
    QString beforeRestore; // program folder + "/Backup/InventoryDb.before-restore.mdb": the last
                           // database a restore replaced

    static BackupPaths current();
};

// Backup and Restore of the main window, without the window: the main window creates one on
// first use, over its item record set (which must be the one over the program folder's
// database), and keeps it.
//
// Every file step writes a new file in full, flushes it to disk and only then renames it over
// the old one, so a failure at any step leaves the database and the previous backup as they
// were.
class DatabaseBackup
{
public:
    // The steps a test can fail or disturb, announced just before each one runs.
    enum class Step {
        CreateFolder,    // Backup: the backup folder
        CopyDatabase,    // Backup: the database into the working copy
        ReplaceBackup,   // Backup: the working copy over the backup file
        CopyBackup,      // Restore: the backup into the copy beside the database
        CloseRecordSet,  // Restore: the item record set lets go of the file
        ReplaceDatabase, // Restore: the copy over the database
        ReopenRecordSet, // Restore: the item record set opens the restored file
    };

    explicit DatabaseBackup(ItemRecordSet &recordSet);

    // "Backup" of MainWindow: failures go through its error trap. True when the backup file was
    // replaced.
    bool backup();
    // "Restore" of MainWindow. True when the database was replaced and the record set is open on it.
    bool restore();

    // A test seam: called before each step; it may throw AppError to fail that step.
    void setStepHook(std::function<void(Step)> hook) { m_hook = std::move(hook); }

private:
    // With a server: says that its own backup applies and returns true; nothing is touched.
    bool refuseForServer() const;
    void runBackup();
    bool runRestore();
    void step(Step s) const;

    ItemRecordSet &m_recordSet;
    std::function<void(Step)> m_hook;
};

} // namespace tv
