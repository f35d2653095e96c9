#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class QIODevice;

namespace tv {

class ItemStore;

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

    // The whole report, one line of ASCII HTML, read through a connection of its own.
    // Throws AppError when the database cannot be read.
    QByteArray build(const QString &databasePath) const;
    // The same, written to a device as it is read.
    void writeTo(QIODevice &out, const QString &databasePath) const;
    // The same from a store, as it is read.
    void writeTo(QIODevice &out, ItemStore &store) const;

    // Replaces the file with the report in one step: on failure the earlier file stays as it
    // was. Throws AppError.
    static void save(const QByteArray &report, const QString &path);

    // report.html in the program folder.
    static QString reportPath();

    // Writes the report of the program's database to reportPath() and returns that path. The
    // earlier report is replaced only when the new one is complete.
    QString write() const;

private:
    SortChoice m_choice;
};

} // namespace tv
