#include "StocktakeTableModel.h"

#include "StocktakeCount.h"

#include "common/Prompts.h"
#include "items/ItemRecordSet.h"

namespace tv {

StocktakeTableModel::StocktakeTableModel(StocktakeCount &count, QObject *parent)
    : RecordSetTableModel(count.records(), parent), m_count(count)
{
    // The list holds the items only while a count is in progress.
    connect(&count, &StocktakeCount::stateChanged, this, [this] {
        beginResetModel();
        endResetModel();
    });
    // Only what is on screen is drawn again.
    connect(&count, &StocktakeCount::linesChanged, this, [this] {
        if (rowCount() > 0) emit dataChanged(index(0, Expected), index(rowCount() - 1, Difference));
    });
}

bool StocktakeTableModel::showsRows() const
{
    return m_count.inProgress();
}

int StocktakeTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_count.inProgress() ? 0 : m_count.records().recordCount();
}

int StocktakeTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : SectionCount;
}

QString StocktakeTableModel::text(int row, int section) const
{
    const ItemRow &item = m_count.records().row(row);
    switch (section) {
    case Name:
        return item.itemDesc;
    case Number:
        return item.itemNum;
    case Expected:
        return QString::number(m_count.expected(row));
    case Counted:
        if (const auto c = m_count.counted(row)) return QString::number(*c);
        return {};
    case Difference:
        if (const auto d = m_count.difference(row))
            return *d > 0 ? QStringLiteral("+%1").arg(*d) : QString::number(*d);
        return {};
    default:
        return {};
    }
}

QVariant StocktakeTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= SectionCount) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return text(index.row(), index.column());
    case Qt::AccessibleTextRole:
        // A blank count is read out, not skipped.
        if (index.column() == Counted && !m_count.counted(index.row())) return QStringLiteral("not counted");
        return text(index.row(), index.column());
    case Qt::TextAlignmentRole:
        if (index.column() >= Expected) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant StocktakeTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
    static const char *const captions[] = {"Item Name", "Item Number", "Expected", "Counted", "Difference"};
    return section >= 0 && section < SectionCount ? QVariant(QString::fromLatin1(captions[section]))
                                                  : QVariant();
}

Qt::ItemFlags StocktakeTableModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == Counted) f |= Qt::ItemIsEditable;
    return f;
}

bool StocktakeTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || index.column() != Counted) return false;
    const QString typed = value.toString().trimmed();
    std::optional<qint64> counted;
    if (!typed.isEmpty()) {
        bool ok = false;
        const qlonglong n = typed.toLongLong(&ok);
        if (!ok || n < 0) {
            prompts().message(
                QStringLiteral("A count is a whole number from 0 up; leave it empty for an item "
                               "not counted."),
                MsgButtons::Ok, MsgIcon::Exclamation, QStringLiteral("Data Entry Error"));
            return false;
        }
        counted = n;
    }
    // Typed into the list: no error may leave the view's editor, so it is said here.
    try {
        m_count.setCounted(index.row(), counted);
    } catch (const AppError &e) {
        prompts().message(e.description(), MsgButtons::Ok, MsgIcon::Exclamation);
        return false;
    }
    return true;
}

} // namespace tv
