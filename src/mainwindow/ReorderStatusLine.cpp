#include "ReorderStatusLine.h"

#include "items/ItemRecordSet.h"
#include "items/ReorderLevels.h"

namespace tv {

ReorderStatusLine::ReorderStatusLine(const ItemRecordSet &records, QWidget *parent)
    : QPushButton(parent), m_records(records)
{
    setObjectName(QStringLiteral("lblReorder"));
    setFlat(true);
    setAutoDefault(false);
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("Show the reorder list"));
    setStyleSheet(
        QStringLiteral("QPushButton { text-align: left; text-decoration: underline; padding: 2px; }"));
    setVisible(false);
    // A burst of changes (an import, another workstation) is counted once, after it.
    m_later.setSingleShot(true);
    m_later.setInterval(0);
    connect(&m_later, &QTimer::timeout, this, &ReorderStatusLine::recount);
    const auto later = [this] { m_later.start(); };
    connect(&records, &ItemRecordSet::reset, this, later);
    connect(&records, &ItemRecordSet::rowChanged, this, later);
    connect(&records, &ItemRecordSet::rowInserted, this, later);
    connect(&records, &ItemRecordSet::rowRemoved, this, later);
    connect(&records, &ItemRecordSet::changesTaken, this, later);
    recount();
}

void ReorderStatusLine::recount()
{
    m_later.stop();
    m_count = countNeedingReorder(m_records.rows());
    const QString text = reorderStatusText(m_count);
    setText(text);
    setAccessibleName(text.isEmpty() ? QStringLiteral("Reorder list") : text);
    setVisible(m_count > 0);
}

} // namespace tv
