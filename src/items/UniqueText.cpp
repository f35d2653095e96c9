#include "items/UniqueText.h"

#include <QSet>

namespace tv {

void removeCaseInsensitiveDuplicates(QStringList &entries)
{
    QSet<QString> seen;
    seen.reserve(entries.size());
    qsizetype kept = 0;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (seen.contains(entries[i].toLower())) continue;
        seen.insert(entries[i].toLower());
        if (kept != i) entries[kept] = std::move(entries[i]);
        ++kept;
    }
    entries.resize(kept);
}

} // namespace tv
