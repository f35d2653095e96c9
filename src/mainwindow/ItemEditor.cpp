#include "ItemEditor.h"

#include "ItemBinding.h"
#include "ItemNavigator.h"
#include "common/ErrorTrap.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"
#include "items/FieldRules.h"
#include "items/ItemFinder.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>

#include <array>

namespace tv {

namespace {
const QString kForm = QStringLiteral("frmMain");

bool followsCountAndCost(const ItemRow &row)
{
    return !row.isKept(Column::ItemCnt) && !row.isKept(Column::ItemCst);
}

// Count times cost; no value when either has none. False when it is beyond what the column holds.
bool totalOf(const ItemRow &row, std::optional<Money> &total)
{
    total.reset();
    if (!row.itemCnt || !row.itemCst) return true;
    total = row.itemCst->times(*row.itemCnt);
    return total.has_value();
}
} // namespace

ItemEditor::ItemEditor(ItemRecordSet &records, ItemBinding &binding, const Widgets &widgets, Hooks hooks,
                       QObject *parent)
    : QObject(parent), m_records(records), m_binding(binding), m_w(widgets), m_hooks(std::move(hooks))
{
    m_binding.setParser([this](Column column, const QString &text) {
        FieldValue v = parseFieldText(column, text);
        if (!v.ok()) throw FieldRefused(column, v.problem);
        // A count or cost whose total could not be kept is refused before anything changes.
        if ((column == Column::ItemCnt || column == Column::ItemCst) && m_records.hasCurrent()) {
            ItemRow row = m_records.row(m_records.position());
            row.setValue(column, v.value);
            std::optional<Money> total;
            if (followsCountAndCost(row) && !totalOf(row, total))
                throw FieldRefused(column,
                                   QStringLiteral("The total value of %1 units at %2 each is too large to "
                                                  "keep. Check the Unit Count and the Unit Cost.")
                                       .arg(QString::number(*row.itemCnt), row.itemCst->toDollars()));
        }
        return v.value;
    });
    m_binding.setFollower([this](Column column) {
        if (column == Column::ItemCnt || column == Column::ItemCst) followTotal();
    });
    m_binding.setErrorReporter([this](QWidget *widget, const AppError &error) {
        if (const auto *refused = dynamic_cast<const FieldRefused *>(&error)) {
            // The text stays for correction; the focus goes where the user sent it.
            prompts().message(refused->description(), MsgButtons::Ok, MsgIcon::Exclamation,
                              QStringLiteral("Data Entry Error"));
            return;
        }
        ErrorTrap trap(widget->objectName() + QStringLiteral("_LostFocus"), kForm);
        trap.report(error);
    });
    field(4)->installEventFilter(this);
    field(6)->installEventFilter(this);
    connect(&m_binding, &ItemBinding::widgetLeft, this, [this](QWidget *widget) {
        // Leaving for a message box or another window is not leaving the field.
        if (widget == field(6) && m_lastLeaveReason != Qt::ActiveWindowFocusReason &&
            m_lastLeaveReason != Qt::PopupFocusReason)
            fieldLeft(6);
    });
}

QWidget *ItemEditor::widgetFor(Column column) const
{
    const ColumnInfo &c = columnInfo(column);
    if (c.elementIndex >= 0) return field(c.elementIndex);
    const std::array<std::pair<const char *, QComboBox *>, 3> combos{
        {{"cboDate", m_w.cboDate}, {"cboVendor", m_w.cboVendor}, {"cboInvNum", m_w.cboInvNum}}};
    for (const auto &[element, combo] : combos)
        if (qstrcmp(element, c.element) == 0) return combo;
    return nullptr;
}

void ItemEditor::showRefusal(Column column, const QString &problem)
{
    prompts().message(problem, MsgButtons::Ok, MsgIcon::Exclamation, QStringLiteral("Data Entry Error"));
    if (QWidget *w = widgetFor(column); w && w->isVisible()) w->setFocus(Qt::OtherFocusReason);
}

void ItemEditor::followTotal()
{
    if (!m_records.hasCurrent()) return;
    const ItemRow &row = m_records.row(m_records.position());
    std::optional<Money> total;
    if (!followsCountAndCost(row) || !totalOf(row, total)) return;
    m_records.setValue(Column::TotItemCst, total ? QVariant::fromValue(*total) : QVariant());
    // The total field is read-only: text in it is only ever the program's, and never older than
    // the row.
    m_binding.refresh(field(8));
}

bool ItemEditor::takeTypedValues()
{
    try {
        m_binding.commitAll();
        return true;
    } catch (const FieldRefused &refused) {
        showRefusal(refused.column(), refused.description());
        return false;
    }
}

bool ItemEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == field(4) && event->type() == QEvent::FocusIn) {
        // The item number field's focus rule: the picture follows the row.
        if (m_hooks.view) m_hooks.view();
    } else if (watched == field(6) && event->type() == QEvent::FocusOut) {
        m_lastLeaveReason = static_cast<QFocusEvent *>(event)->reason();
    } else if (watched == field(6) && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        // Keys that type no character (moves, Tab, Delete) are not the key rule's business.
        if (key->text().isEmpty() || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) return false;
        bool refused = false;
        trapped(QStringLiteral("txtField_KeyPress"), kForm, [&] {
            const int code = key->text().at(0).unicode();
            if (!costKeyAccepted(code)) {
                refused = true;
                prompts().message(costKeyMessage(), MsgButtons::Ok, MsgIcon::Exclamation,
                                  QStringLiteral("Data Entry Error"));
            }
        });
        return refused;
    }
    return QObject::eventFilter(watched, event);
}

void ItemEditor::fieldLeft(int index)
{
    if (index != 6) return;
    ErrorTrap trap(QStringLiteral("txtfield_LostFocus"), kForm);
    trap.run([&] {
        trap.line(1);
        if (field(6)->text().isEmpty()) return;
        trap.line(2);
        if (field(5)->text().isEmpty()) return;
        // A cost or count kept as stored is no number to work with: it stays until replaced.
        if (m_records.hasCurrent()) {
            const ItemRow &row = m_records.row(m_records.position());
            if (row.isKept(Column::ItemCst) || row.isKept(Column::ItemCnt)) return;
        }
        trap.line(3);
        const QVariant cost = m_records.value(Column::ItemCst);
        field(6)->setText(roundedCostText(cost.isValid() ? cost.value<Money>() : Money()));
        trap.line(4);
        field(8)->setText(totalValueText(field(6)->text(), field(5)->text()));
    });
}

void ItemEditor::addItem()
{
    trapped(QStringLiteral("cmdAdd_Click"), kForm, [&] {
        if (!takeTypedValues()) return;
        m_w.cboVendor->setFocus(Qt::OtherFocusReason);
        m_records.addNew();
        m_hooks.view();
    });
}

void ItemEditor::saveItem()
{
    ErrorTrap trap(QStringLiteral("cmdSave_Click"), kForm);
    trap.run([&] {
        trap.line(1);
        if (m_records.recordCount() < 1) {
            emptyMessage();
            return;
        }
        // A typed value that does not fit its column never reaches the file.
        if (!takeTypedValues()) return;
        trap.line(2);
        m_records.save();
        trap.line(3);
        m_records.update();
        trap.line(4);
        m_hooks.setTitle(false);
    });
}

void ItemEditor::deleteItem()
{
    ErrorTrap trap(QStringLiteral("cmdDelete_Click"), kForm);
    trap.run([&] {
        trap.line(1);
        if (m_records.recordCount() < 1) {
            emptyMessage();
            return;
        }
        trap.line(2);
        m_records.deleteCurrent();
        trap.line(3);
        m_hooks.setTitle(false);
        trap.line(4);
        if (m_records.recordCount() < 1) {
            prompts().message(QStringLiteral("All Records Have Been Deleted!!"), MsgButtons::Ok,
                              MsgIcon::Exclamation, QStringLiteral("No Records"));
            trap.line(5);
            m_hooks.setTitle(true);
            trap.line(6);
            m_records.save();
        } else {
            trap.line(7);
            m_records.moveFirst();
        }
        trap.line(8);
        m_hooks.view();
    });
}

void ItemEditor::addPicture()
{
    ErrorTrap trap(QStringLiteral("Command1_Click"), kForm);
    trap.run([&] {
        trap.line(1);
        const MsgAnswer answer = prompts().message(QStringLiteral("Add Item Image"), MsgButtons::YesNo,
                                                   MsgIcon::Question, QStringLiteral("Add Item Image"));
        if (answer != MsgAnswer::Yes) {
            trap.line(2);
            field(7)->setText(QStringLiteral("0"));
            return;
        }
        trap.line(3);
        FileDialogRequest request;
        request.title = QStringLiteral("Add Item Image");
        request.filter = pictureFilter();
        request.initialDir = m_hooks.dialogFolder ? m_hooks.dialogFolder() : QString();
        const auto chosen = prompts().openFile(request);
        trap.line(4);
        if (chosen && !chosen->isEmpty()) {
            field(7)->setText(*chosen);
            trap.line(5);
            m_hooks.view();
        } else {
            trap.line(6);
            field(7)->setText(QStringLiteral("0"));
        }
    });
}

void ItemEditor::deletePicture()
{
    trapped(QStringLiteral("Command2_Click"), kForm, [&] {
        field(7)->setText(QStringLiteral("0"));
        m_hooks.view();
    });
}

void ItemEditor::findItem()
{
    trapped(QStringLiteral("cmdFind_Click"), kForm, [&] {
        if (m_records.recordCount() <= 0) {
            emptyMessage();
            return;
        }
        m_records.moveFirst();
        findNext();
        m_hooks.view();
    });
}

void ItemEditor::findNext()
{
    ErrorTrap trap(QStringLiteral("FindString"), kForm);
    trap.run([&] {
        trap.line(1);
        const auto answer = prompts().input(QStringLiteral("Enter an Item Number."));
        trap.line(2);
        const QString search = answer.value_or(QString()).trimmed();
        if (search.isEmpty()) return;
        trap.line(3);
        const int from = m_records.hasCurrent() ? m_records.position() : 0;
        // Window events run now and then during a long walk; other commands may change the set.
        const auto hit = findItemNumber(m_records, search, from, [] { QCoreApplication::processEvents(); });
        if (!m_records.isOpen()) return;
        trap.line(4);
        if (hit && hit->row < m_records.recordCount()) {
            m_records.moveTo(hit->row);
            field(4)->setSelection(hit->selStart, hit->selLength);
            field(4)->setFocus(Qt::OtherFocusReason);
            return;
        }
        trap.line(5);
        prompts().message(QStringLiteral("Record not found"));
        trap.line(6);
        if (m_records.recordCount() > 0) m_records.moveFirst();
    });
}

void ItemEditor::dropDown(PickList list)
{
    QComboBox *combo = list == PickList::Date     ? m_w.cboDate
                       : list == PickList::InvNum ? m_w.cboInvNum
                                                  : m_w.cboVendor;
    const QString procedure = list == PickList::Date     ? QStringLiteral("cboDate_DropDown")
                              : list == PickList::InvNum ? QStringLiteral("cboInvNum_DropDown")
                                                         : QStringLiteral("cboVendor_DropDown");
    trapped(procedure, kForm, [&] {
        // The text shown for the current row stays as it is, typed or not.
        const QString shown = combo->currentText();
        const QSignalBlocker block(combo);
        combo->clear();
        combo->setEditText(shown);
        const QStringList values = pickListValues(list, m_records.store());
        combo->addItems(values);
        combo->setCurrentIndex(-1);
        combo->setEditText(shown);
    });
}

} // namespace tv
