#pragma once

#include <QString>
#include <QStringList>

namespace tv {

// The table every stored Tallyvane file has; other tools and older files rely on it as it stands.
extern const char *const kCreateItemsSql;

// Columns of Items in table order.
const QStringList &itemColumnNames();

// Creates a new, empty Tallyvane database; fails if the file already exists.
void createEmptyDatabase(const QString &path);

} // namespace tv
