#include "ReportWriter.h"

#include "ReportMarkup.h"
#include "ReportText.h"
#include "common/AppError.h"
#include "common/DateText.h"
#include "common/FileError.h"
#include "common/ProgramFolder.h"
#include "items/ItemStore.h"

#include <QBuffer>
#include <QDate>
#include <QFile>
#include <QVariant>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tv {

using namespace markup;

namespace {

constexpr const char *kSelect =
    "select ItemDesc, Vendor, InvDate, ItemNum, ItemCnt, ItemCst, TotItemCst from Items Order by ";

// The sort key moves to the first column; the other text columns keep their order.
std::array<Column, 4> textColumns(SortChoice choice)
{
    using enum Column;
    switch (choice) {
    case SortChoice::Vendor:
        return {Vendor, ItemDesc, InvDate, ItemNum};
    case SortChoice::InvoiceDate:
        return {InvDate, ItemDesc, Vendor, ItemNum};
    case SortChoice::ItemNumber:
        return {ItemNum, ItemDesc, Vendor, InvDate};
    case SortChoice::ItemName:
        break;
    }
    return {ItemDesc, Vendor, InvDate, ItemNum};
}

void appendHeaderCell(QByteArray &out, Column c)
{
    out += kHeaderOpen;
    out += ' ';
    out += columnInfo(c).reportCaption;
    out += ' ';
    out += kHeaderClose;
}

// "yyyy-mm-dd" as M/d/yyyy without going through a full date parse for every row.
void appendDate(QByteArray &out, const QString &stored)
{
    const char16_t *s = QStringView(stored).utf16();
    auto digit = [&](int i) { return s[i] >= u'0' && s[i] <= u'9' ? s[i] - u'0' : -1; };
    if (stored.size() == 10 && s[4] == u'-' && s[7] == u'-') {
        const int d[8] = {digit(0), digit(1), digit(2), digit(3), digit(5), digit(6), digit(8), digit(9)};
        bool allDigits = true;
        for (int x : d)
            allDigits = allDigits && x >= 0;
        if (allDigits) {
            const int year = d[0] * 1000 + d[1] * 100 + d[2] * 10 + d[3];
            const int month = d[4] * 10 + d[5];
            const int day = d[6] * 10 + d[7];
            if (QDate::isValid(year, month, day)) {
                out += QByteArray::number(month);
                out += '/';
                out += QByteArray::number(day);
                out += '/';
                out += QByteArray::number(year);
                return;
            }
        }
    }
    appendHtmlText(out, storedDateToDisplay(stored));
}

void appendValue(QByteArray &out, const ItemRow &row, Column c)
{
    if (row.isKept(c)) {
        // A stored amount that is no amount cannot be added up or shown as money.
        if (columnInfo(c).type == ColumnType::Money) throw AppError(Err::TypeMismatch);
        appendHtmlText(out, row.keptText(c));
        return;
    }
    switch (columnInfo(c).type) {
    case ColumnType::Count:
        if (row.itemCnt) out += QByteArray::number(*row.itemCnt);
        break;
    case ColumnType::Money:
        if (const auto &m = *row.moneyOf(c)) appendReportMoney(out, *m);
        break;
    case ColumnType::Date:
        if (!row.invDate.isNull()) appendDate(out, row.invDate);
        break;
    case ColumnType::Text:
        appendHtmlText(out, *row.textOf(c));
        break;
    }
}

} // namespace

QString ReportWriter::query() const
{
    return QString::fromLatin1(kSelect) + columnName(textColumns(m_choice)[0]);
}

QString ReportWriter::totalQuery()
{
    return QStringLiteral("Select Sum(TotItemCst) as TotInventory from Items");
}

namespace {
// The report file, written under a name of its own beside the old one and renamed over it once
// it is whole and on disk, so a failure never leaves half a report. Failures carry errno's
// number, as the backup's do: a full disk is 61, a folder that may not be written 70.
class ReportFile : public QIODevice
{
public:
    explicit ReportFile(const QString &path)
        : m_path(path), m_temp(QFile::encodeName(path + QStringLiteral(".XXXXXX")))
    {
        m_fd = ::mkostemp(m_temp.data(), O_CLOEXEC);
        if (m_fd < 0) throw failure(errno);
        // mkostemp makes the file private; a report is an ordinary file.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(m_fd, 0666 & ~mask);
        QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    ~ReportFile() override
    {
        if (m_fd >= 0) ::close(m_fd);
        if (!m_committed) ::unlink(m_temp.constData());
    }

    AppError failure(int err) const
    {
        return fileError(err, QStringLiteral("Could not write the report '%1'").arg(m_path));
    }
    // Why the last write fell short.
    AppError writeFailure() const { return failure(m_writeErrno); }

    void commit()
    {
        if (::fsync(m_fd) != 0) throw failure(errno);
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0) throw failure(errno);
        if (::rename(m_temp.constData(), QFile::encodeName(m_path).constData()) != 0) throw failure(errno);
        m_committed = true;
        QIODevice::close();
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        qint64 done = 0;
        while (done < size) {
            const ssize_t n = ::write(m_fd, data + done, static_cast<size_t>(size - done));
            if (n < 0) {
                if (errno == EINTR) continue;
                m_writeErrno = errno;
                return -1;
            }
            done += n;
        }
        return done;
    }

private:
    QString m_path;
    QByteArray m_temp;
    int m_fd = -1;
    int m_writeErrno = EIO;
    bool m_committed = false;
};

// Collects the report in pieces and hands them on in large blocks, so that a report over many
// items never needs to sit whole in memory on its way to the file.
class Sink
{
public:
    explicit Sink(QIODevice &out) : m_out(out) { m_block.reserve(kBlock + kBlock / 4); }
    QByteArray &text() { return m_block; }
    void flushIfFull()
    {
        if (m_block.size() >= kBlock) flush();
    }
    void flush()
    {
        if (m_out.write(m_block) != m_block.size()) {
            if (const auto *file = dynamic_cast<const ReportFile *>(&m_out)) throw file->writeFailure();
            throw AppError(Err::PathFileAccess);
        }
        m_block.resize(0);
    }

private:
    static constexpr qsizetype kBlock = 256 * 1024;
    QIODevice &m_out;
    QByteArray m_block;
};
} // namespace

void ReportWriter::writeTo(QIODevice &out, const QString &databasePath) const
{
    writeTo(out, *makeFileStore(databasePath));
}

void ReportWriter::writeTo(QIODevice &out, ItemStore &store) const
{
    const std::array<Column, 4> columns = textColumns(m_choice);

    Sink sink(out);
    QByteArray &report = sink.text();
    report += kPiece1;
    report += kPiece2;
    report += kPiece3;
    report += "<tr>";
    for (Column c : columns)
        appendHeaderCell(report, c);
    appendHeaderCell(report, Column::ItemCnt);
    appendHeaderCell(report, Column::ItemCst);
    appendHeaderCell(report, Column::TotItemCst);
    report += "</tr>";

    store.readOrdered(columns[0], [&](const ItemRow &row) {
        report += "<tr>";
        for (int pos = 0; pos < 4; ++pos) {
            report += kCellOpen;
            appendValue(report, row, columns[static_cast<size_t>(pos)]);
            report += pos < 2 ? kCellCloseWide : kCellCloseNarrow;
        }
        report += kCellOpen;
        appendValue(report, row, Column::ItemCnt);
        report += kCellCloseNarrow;
        report += kCostOpen;
        appendValue(report, row, Column::ItemCst);
        report += kCellCloseWide;
        report += kValueOpen;
        appendValue(report, row, Column::TotItemCst);
        report += kValueClose;
        report += "</tr>";
        sink.flushIfFull();
    });

    const std::optional<Money> total = store.totalValue();
    report += kPieces8To14;
    report += kTotalOpen;
    if (total) appendReportMoney(report, *total);
    report += kTotalClose;
    report += kPieces16To18;
    report += kPiece19;
    sink.flush();
}

QByteArray ReportWriter::build(const QString &databasePath) const
{
    QByteArray report;
    QBuffer buffer(&report);
    buffer.open(QIODevice::WriteOnly);
    writeTo(buffer, databasePath);
    return report;
}

void ReportWriter::save(const QByteArray &report, const QString &path)
{
    ReportFile file(path);
    if (file.write(report) != report.size()) throw file.writeFailure();
    file.commit();
}

QString ReportWriter::reportPath()
{
    return programPath(QStringLiteral("report.html"));
}

QString ReportWriter::write() const
{
    const QString path = reportPath();
    ReportFile file(path);
    writeTo(file, databasePath()); // a failure drops the new file unseen
    file.commit();
    return path;
}

} // namespace tv
