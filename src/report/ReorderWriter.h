#pragma once

#include "items/ReorderLevels.h"

#include <QByteArray>
#include <QString>

namespace tv {

// The reorder list as a page in the inventory report's look (printable from the viewer) and as
// CSV for the supplier.
class ReorderWriter
{
public:
    explicit ReorderWriter(ReorderList list) : m_list(std::move(list)) {}

    const ReorderList &list() const { return m_list; }

    // The whole page, UTF-8 HTML: a table per vendor with its subtotal, then the grand total.
    QByteArray html() const;
    // One line per item with its vendor, for a spreadsheet or the supplier.
    QByteArray csv() const;

    // reorder.html in the program folder.
    static QString listPath();
    // Replaces the file with the page in one step. Throws AppError.
    void save(const QString &path) const;

private:
    ReorderList m_list;
};

} // namespace tv
