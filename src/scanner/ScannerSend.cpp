#include "ScannerSend.h"

#include "common/AppError.h"
#include "items/ItemFinder.h"
#include "items/ItemStore.h"

#include <QLineEdit>

namespace tv {

SendOutcome sendBarcode(ItemRecordSet &records, const QString &boxText,
                        const std::function<void()> &letEventsRun)
{
    const QString code = boxText.trimmed();
    if (code.isEmpty()) return {};
    records.moveFirst();
    if (const auto hit = findItemNumber(records, code, 0, letEventsRun)) {
        records.moveTo(hit->row);
        return {SendOutcome::Kind::Found, hit->selStart, hit->selLength};
    }
    // The walk lets other commands run; one of them may have closed the set meanwhile.
    if (!records.isOpen()) throw AppError(Err::ObjectClosed);
    records.addNew();
    records.setValue(Column::ItemNum, boxText);
    const ChangeScope scanned(records.store(), ChangeKind::scanned);
    records.update();
    return {SendOutcome::Kind::Added, 0, 0};
}

void showInItemField(QLineEdit *field, const SendOutcome &outcome, const QString &boxText)
{
    if (!field || outcome.kind == SendOutcome::Kind::Nothing) return;
    if (outcome.kind == SendOutcome::Kind::Found)
        field->setSelection(outcome.selStart, outcome.selLength);
    else if (field->text() != boxText)
        field->setText(boxText);
    field->window()->activateWindow();
    field->setFocus(Qt::OtherFocusReason);
}

} // namespace tv
