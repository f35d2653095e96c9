#include "ScanCounting.h"

#include "ScannerSend.h"

#include "common/ErrorTrap.h"
#include "common/Prompts.h"
#include "items/ItemHistory.h"
#include "items/ItemRecordSet.h"
#include "items/ItemStore.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QSettings>
#include <algorithm>

namespace tv {

namespace {
const QString kModeKey = QStringLiteral("Scanner/Mode");
const QString kQuantityKey = QStringLiteral("Scanner/Quantity");
const QString kForm = QStringLiteral("frmMain");

QString modeWord(ScanMode mode)
{
    switch (mode) {
    case ScanMode::Add:
        return QStringLiteral("add");
    case ScanMode::Take:
        return QStringLiteral("take");
    case ScanMode::Find:
        break;
    }
    return QStringLiteral("find");
}

// "Widget (item number W-1)" for the list of items sharing a number.
QString choiceText(const ItemRow &row)
{
    const QString name = row.itemDesc.trimmed().isEmpty() ? QStringLiteral("(no name)") : row.itemDesc;
    const QString count = row.itemCnt ? QString::number(*row.itemCnt) : QStringLiteral("no count");
    return QStringLiteral("%1, item number %2, %3 in stock").arg(name, row.itemNum, count);
}

void refuse(const QString &why)
{
    QApplication::beep();
    prompts().message(why, MsgButtons::Ok, MsgIcon::Exclamation);
}

CountOutcome addNumbered(ItemRecordSet &records, const QString &code, qint64 delta)
{
    const QString question = QStringLiteral("No item has the number “%1”. Add it as a new item?").arg(code);
    if (prompts().message(question, MsgButtons::YesNo, MsgIcon::Question) != MsgAnswer::Yes)
        return CountOutcome::Nothing;
    records.addNew();
    records.setValue(Column::ItemNum, code);
    if (delta > 0) records.setValue(Column::ItemCnt, QVariant::fromValue<qlonglong>(delta));
    const ChangeScope scanned(records.store(), ChangeKind::scanned);
    records.update();
    return CountOutcome::Added;
}
} // namespace

ScanMode scanMode()
{
    const QString word = QSettings().value(kModeKey).toString();
    if (word == modeWord(ScanMode::Add)) return ScanMode::Add;
    if (word == modeWord(ScanMode::Take)) return ScanMode::Take;
    return ScanMode::Find;
}

int scanQuantity()
{
    return std::clamp(QSettings().value(kQuantityKey, 1).toInt(), 1, kMaxScanQuantity);
}

void setScanMode(ScanMode mode, int quantity)
{
    QSettings settings;
    settings.setValue(kModeKey, modeWord(mode));
    settings.setValue(kQuantityKey, std::clamp(quantity, 1, kMaxScanQuantity));
}

QString scanModeNotice(ScanMode mode, int quantity)
{
    switch (mode) {
    case ScanMode::Add:
        return QStringLiteral("Scanning adds %1 to the count").arg(quantity);
    case ScanMode::Take:
        return QStringLiteral("Scanning takes %1 from the count").arg(quantity);
    case ScanMode::Find:
        break;
    }
    return {};
}

std::vector<int> rowsNumbered(const ItemRecordSet &records, const QString &code)
{
    std::vector<int> rows;
    const ItemRowTable &all = records.rows();
    for (size_t i = 0; i < all.size(); ++i)
        if (all.equalsIgnoringCase(i, Column::ItemNum, code)) rows.push_back(static_cast<int>(i));
    return rows;
}

std::optional<int> pickNumbered(const ItemRecordSet &records, const QString &code, bool &noneHasIt)
{
    const std::vector<int> rows = rowsNumbered(records, code);
    noneHasIt = rows.empty();
    if (rows.size() <= 1) return rows.empty() ? std::nullopt : std::optional<int>(rows.front());
    QStringList choices;
    for (const int row : rows)
        choices << choiceText(records.row(row));
    const std::optional<int> picked = prompts().choose(
        QStringLiteral("%1 items have the number “%2”. Which one was scanned?").arg(rows.size()).arg(code),
        choices, QStringLiteral("Which Item?"));
    // The rows may have moved while the question was open: the pick is found again by its key.
    if (!picked) return std::nullopt;
    const std::optional<qint64> chosen =
        records.rows().rowid(static_cast<size_t>(rows[static_cast<size_t>(*picked)]));
    for (const int row : rowsNumbered(records, code))
        if (records.rows().rowid(static_cast<size_t>(row)) == chosen) return row;
    return std::nullopt;
}

CountOutcome countScan(ItemRecordSet &records, const QString &code, qint64 delta)
{
    const QString number = code.trimmed();
    if (number.isEmpty()) return CountOutcome::Nothing;
    bool noneHasIt = false;
    const std::optional<int> row = pickNumbered(records, number, noneHasIt);
    if (noneHasIt) return addNumbered(records, number, delta);
    if (!row) return CountOutcome::Nothing;
    try {
        const ChangeScope counted(records.store(),
                                  delta > 0 ? ChangeKind::countAdded : ChangeKind::countTaken);
        records.addToCount(*row, delta);
    } catch (const CountRefused &e) {
        refuse(e.description());
        return CountOutcome::Refused;
    } catch (const ItemConflict &e) {
        refuse(e.description());
        return CountOutcome::Refused;
    }
    return CountOutcome::Counted;
}

ScanRouter::ScanRouter(ItemRecordSet &records, QLineEdit *itemNumberField, QObject *parent)
    : QObject(parent), m_records(records), m_field(itemNumberField), m_mode(scanMode()),
      m_quantity(scanQuantity())
{
}

void ScanRouter::setMode(ScanMode mode, int quantity)
{
    quantity = std::clamp(quantity, 1, kMaxScanQuantity);
    if (mode == m_mode && quantity == m_quantity) return;
    m_mode = mode;
    m_quantity = quantity;
    setScanMode(mode, quantity);
    emit modeChanged();
}

QString ScanRouter::notice() const
{
    if (countsForStocktake()) return QStringLiteral("Scanning counts %1 for the stocktake").arg(m_quantity);
    return scanModeNotice(m_mode, m_quantity);
}

void ScanRouter::setStocktake(std::function<void(const QString &)> count)
{
    m_stocktake = std::move(count);
    emit modeChanged();
}

void ScanRouter::keyboardScan(const QString &code)
{
    take({code, true});
}

void ScanRouter::serialScan(const QString &code)
{
    if (takesSerialCodes()) take({code, false});
}

void ScanRouter::take(Scan scan)
{
    // A question, or a search that lets events run, may be open while the next code comes: it
    // waits for this one to be done rather than moving the rows under it.
    m_waiting << std::move(scan);
    if (m_working) return;
    m_working = true;
    const QPointer<ScanRouter> self(this);
    while (!m_waiting.isEmpty()) {
        apply(m_waiting.takeFirst());
        if (!self) return;
        emit scanTaken();
    }
    m_working = false;
}

void ScanRouter::apply(const Scan &scan)
{
    if (m_stocktake) {
        m_stocktake(scan.code);
        return;
    }
    if (m_mode == ScanMode::Find) {
        if (!scan.fromKeyboard) return;
        SendOutcome outcome;
        trapped(QStringLiteral("KeyboardScan"), kForm, [&] {
            outcome = sendBarcode(m_records, scan.code, [] { QCoreApplication::processEvents(); });
        });
        showInItemField(m_field, outcome, scan.code);
        return;
    }
    const qint64 delta = m_mode == ScanMode::Add ? m_quantity : -m_quantity;
    CountOutcome outcome = CountOutcome::Nothing;
    trapped(QStringLiteral("CountScan"), kForm, [&] { outcome = countScan(m_records, scan.code, delta); });
    if (outcome == CountOutcome::Added)
        showInItemField(m_field, {SendOutcome::Kind::Added, 0, 0}, scan.code.trimmed());
}

} // namespace tv
