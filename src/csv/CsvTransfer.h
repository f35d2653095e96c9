#pragma once

#include "ImportScan.h"

#include <functional>

namespace tv {

class ItemRecordSet;

// Export and Import of the main window, without the window. Failures are thrown as AppError
// for the caller's error trap; a file that is not CSV gets a message of its own.
class CsvTransfer
{
public:
    struct Hooks
    {
        std::function<void()> saveEdits; // pending edits into the file
        // Shows the scan while it reads and then its plan; true: import. Without it nothing is.
        std::function<bool(ImportScan &, const QString &path)> preview;
        std::function<void()> refreshed; // after the record set shows the new rows
    };

    CsvTransfer(ItemRecordSet &recordSet, Hooks hooks);

    // Asks for a file and writes every item to it. True when written.
    bool exportAll(const QString &initialDir = QString());
    // Asks for a file, shows the preview and adds its rows. True when rows were added.
    bool importFile(const QString &initialDir = QString());
    // The same without the file dialog.
    bool importPath(const QString &path);

private:
    ItemRecordSet &m_recordSet;
    Hooks m_hooks;
};

} // namespace tv
