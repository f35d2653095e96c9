#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QString>
#include <QStringView>
#include <atomic>
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

// Thrown out of a read that was asked to stop.
struct CsvCancelled
{
};

// Shared between a reading thread and the window that shows it.
struct CsvProgress
{
    std::atomic<bool> cancel{false};
    std::atomic<qint64> bytesRead{0};
};

// Reads a file a block at a time, so that memory stays small however large it is: UTF-8 with or
// without a byte-order mark, UTF-16 with one (either byte order), comma or semicolon (whichever
// the first record uses more), quoted cells across line breaks. Lines with no text at all are
// skipped, as are lines of blanks before the first text. Throws CsvRefused when the bytes are no
// CSV text, CsvCancelled when progress asks it to stop.
class CsvReader
{
public:
    explicit CsvReader(QIODevice &device, CsvProgress *progress = nullptr);

    // The next record; false after the last. Throws on a fault anywhere before it.
    bool next(CsvRecord &record);
    char delimiter() const { return static_cast<char>(m_delimiter.unicode()); }

    static constexpr qsizetype kBlockBytes = 1 << 20;
    // No row of items comes near this; a longer one is a file that is no item list.
    static constexpr qsizetype kMaxRecordChars = 1 << 20;

private:
    enum class Encoding { Unknown, Utf8, Utf16LE, Utf16BE };
    bool available();
    bool refill();
    bool readRecord(CsvRecord &record);
    void take(QString &into, qsizetype from, qsizetype to);
    void takeRun(QString &into);

    QIODevice &m_device;
    CsvProgress *m_progress;
    Encoding m_encoding = Encoding::Unknown;
    QByteArray m_carry; // the start of a character cut by the end of a block
    QString m_text;
    qsizetype m_pos = 0;
    qsizetype m_used = 0; // characters of the record being read
    bool m_end = false;
    bool m_sawText = false;
    QChar m_delimiter = QLatin1Char(',');
    int m_row = 0;
};

} // namespace tv
