#include "CsvTransfer.h"

#include "common/AppError.h"
#include "common/Prompts.h"
#include "items/ItemRecordSet.h"

#include <QFile>
#include <QFileInfo>

namespace tv {

namespace {
const QString kFilter = QStringLiteral("CSV files (*.csv)|*.csv|All files (*)|*");
}

CsvTransfer::CsvTransfer(ItemRecordSet &recordSet, Hooks hooks)
    : m_recordSet(recordSet), m_hooks(std::move(hooks))
{
}

bool CsvTransfer::exportAll(const QString &initialDir)
{
    if (!m_recordSet.isOpen()) throw AppError(Err::ObjectClosed);
    FileDialogRequest request;
    request.title = QStringLiteral("Export Items");
    request.filter = kFilter;
    request.initialDir = initialDir;
    request.fileName = QStringLiteral("Items.csv");
    request.overwritePrompt = true;
    request.defaultExt = QStringLiteral("csv");
    const auto path = prompts().saveFile(request);
    if (!path || path->isEmpty()) return false;
    // The file holds what the window shows, the row being edited included.
    if (m_hooks.saveEdits) m_hooks.saveEdits();
    const auto &rows = m_recordSet.rows();
    exportItemsCsv(rows, *path);
    prompts().message(QStringLiteral("%1 %2 exported to '%3'.")
                          .arg(rows.size())
                          .arg(rows.size() == 1 ? QStringLiteral("item was") : QStringLiteral("items were"),
                               QFileInfo(*path).fileName()),
                      MsgButtons::Ok, MsgIcon::Information, QStringLiteral("Export"));
    return true;
}

bool CsvTransfer::importFile(const QString &initialDir)
{
    if (!m_recordSet.isOpen()) throw AppError(Err::ObjectClosed);
    FileDialogRequest request;
    request.title = QStringLiteral("Import Items");
    request.filter = kFilter;
    request.initialDir = initialDir;
    const auto path = prompts().openFile(request);
    if (!path || path->isEmpty()) return false;
    return importPath(*path);
}

bool CsvTransfer::importPath(const QString &path)
{
    if (!m_recordSet.isOpen()) throw AppError(Err::ObjectClosed);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(file.exists() ? Err::PermissionDenied : Err::FileNotFound,
                       QStringLiteral("Could not read '%1': %2").arg(path, file.errorString()));
    file.close();
    std::vector<QString> numbers;
    numbers.reserve(m_recordSet.rows().size());
    const ItemRowTable &rows = m_recordSet.rows();
    for (size_t i = 0; i < rows.size(); ++i)
        numbers.push_back(rows.text(i, Column::ItemNum));
    ImportScan scan(path, std::move(numbers));
    const bool chosen = m_hooks.preview && m_hooks.preview(scan, path);
    // Closed while reading: the rest of the file is not wanted.
    if (!chosen && scan.state() == ImportScan::State::Reading) scan.cancel();
    scan.wait();
    switch (scan.state()) {
    case ImportScan::State::Refused:
        prompts().message(
            QStringLiteral("Tallyvane cannot import '%1'. %2").arg(QFileInfo(path).fileName(), scan.why()),
            MsgButtons::Ok, MsgIcon::Stop, QStringLiteral("Import"));
        return false;
    case ImportScan::State::Failed:
        throw AppError(scan.errorNumber(), scan.why());
    case ImportScan::State::Reading:
    case ImportScan::State::Cancelled:
        return false;
    case ImportScan::State::Ready:
        break;
    }
    const ImportPlan &plan = scan.plan();
    if (!chosen || !plan.canImport()) return false;

    // The row being edited reaches the file first: the record set is read afresh below.
    if (m_hooks.saveEdits) m_hooks.saveEdits();
    const int firstNew = m_recordSet.recordCount();
    storeItems(m_recordSet.store(), plan.rows);
    const auto imported = plan.rows.size();
    m_recordSet.close();
    m_recordSet.open();
    if (m_recordSet.recordCount() > firstNew) m_recordSet.moveTo(firstNew);
    if (m_hooks.refreshed) m_hooks.refreshed();
    prompts().message(QStringLiteral("%1 %2 imported.")
                          .arg(imported)
                          .arg(imported == 1 ? QStringLiteral("item was") : QStringLiteral("items were")),
                      MsgButtons::Ok, MsgIcon::Information, QStringLiteral("Import"));
    return true;
}

} // namespace tv
