#pragma once

#include <QPushButton>
#include <QTimer>

namespace tv {

class ItemRecordSet;

// The line under the grid: "1 item needs reordering" / "N items need reordering", hidden when no
// item does. Clicking it (or Enter on it) asks for the reorder list.
class ReorderStatusLine : public QPushButton
{
    Q_OBJECT
public:
    ReorderStatusLine(const ItemRecordSet &records, QWidget *parent = nullptr);

    int count() const { return m_count; }
    // Counts again now (changes are otherwise counted once their burst has passed).
    void recount();

private:
    const ItemRecordSet &m_records;
    QTimer m_later;
    int m_count = 0;
};

} // namespace tv
