#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <exception>
#include <vector>

namespace tv {

// One cell as read: an unquoted empty cell is a missing value, a quoted one ("") an empty text.
struct CsvCell
{
    QString text;
    bool quoted = false;
    bool isMissing() const { return !quoted && text.isEmpty(); }
};

struct CsvRecord
{
    int row = 0; // as a spreadsheet numbers it: the first record is row 1
    std::vector<CsvCell> cells;
};

// Appends one cell: quoted when it holds the delimiter, a quote, a line break or surrounding
// blanks; a null text is written as nothing, an empty one as "" so the two stay apart.
void appendCsvCell(QByteArray &out, const QString &text, char delimiter = ',');
// Ends a record with CR LF.
inline void endCsvRecord(QByteArray &out)
{
    out.append("\r\n", 2);
}

// A file that is not CSV text at all; the description says why, for the user.
class CsvRefused : public std::exception
{
public:
    explicit CsvRefused(QString why) : m_why(std::move(why)), m_what(m_why.toUtf8()) {}
    const QString &why() const noexcept { return m_why; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_why;
    QByteArray m_what;
};

// Reads a whole file's bytes: UTF-8 with or without a byte-order mark, comma or semicolon
// (whichever the first record uses more), quoted cells across line breaks. Lines with no text
// at all are skipped. Throws CsvRefused when the bytes are no CSV text.
struct CsvTable
{
    char delimiter = ',';
    std::vector<CsvRecord> records;
};
CsvTable readCsv(QByteArrayView bytes);

} // namespace tv
