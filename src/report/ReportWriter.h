#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace tv {

// The four keys the inventory report can be sorted by, in the order of the sort window's options.
enum class SortChoice { ItemName, Vendor, InvoiceDate, ItemNumber };

// Writes the HTML inventory report: every item in the chosen order, then the total value.
class ReportWriter
{
public:
    explicit ReportWriter(SortChoice choice) : m_choice(choice) {}

    SortChoice choice() const { return m_choice; }

    // The query of the chosen order, as sent to the database.
    QString query() const;
    static QString totalQuery();
    // Header labels of the seven columns, first column first.
    QStringList columnLabels() const;

    // The whole report, one line of ASCII HTML, read through a connection of its own.
    // Throws AppError when the database cannot be read.
    QByteArray build(const QString &databasePath) const;

    // Replaces the file with the report in one step: on failure the earlier file stays as it
    // was. Throws AppError.
    static void save(const QByteArray &report, const QString &path);

    // report.html in the program folder.
    static QString reportPath();

    // Builds from the program's database, saves to reportPath() and returns that path.
    QString write() const;

private:
    SortChoice m_choice;
};

} // namespace tv
