#pragma once

#include <QStringList>

namespace tv {

// Removes every entry whose lower-case text equals that of an earlier entry; the survivors keep
// their order and their own letter case. Linear in the number of entries, with no limit on it.
void removeCaseInsensitiveDuplicates(QStringList &entries);

} // namespace tv
