#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <vector>

class QIODevice;

namespace tv {

// What a report of the writer holds, kept compactly: every text once, UTF-8, in one block, with
// the end of each cell. The markup is not kept: in the writer's structure it is the same for
// every row, so the view and the printer draw it themselves.
//
// The texts are numbered in reading order as "pieces", which is what find walks through: the
// title, the seven header labels, the cells row by row, the total's label, the total, and the
// closing line.
class ReportModel
{
public:
    static constexpr int kColumns = 7;

    enum class Piece { Title, Header, Cell, TotalLabel, Total, Closing };
    struct Place
    {
        Piece kind = Piece::Title;
        qsizetype row = -1; // cells only
        int column = -1;    // headers and cells
    };

    QString title() const { return QStringLiteral("Inventory Report"); }
    QString totalLabel() const { return QStringLiteral("Total Inventory Value"); }
    QString closing() const { return QStringLiteral("End of Report"); }
    QString header(int column) const { return m_headers[column]; }
    QString total() const { return m_total; }

    qsizetype rowCount() const { return m_rows; }
    QString cell(qsizetype row, int column) const { return QString::fromUtf8(cellUtf8(row, column)); }
    QByteArrayView cellUtf8(qsizetype row, int column) const;
    // The row with the longest text of a column (in bytes), or -1 when there are no rows: the
    // widest cell is looked for among few, not measured over every row.
    qsizetype longestRow(int column) const { return m_longestRow[column]; }

    qsizetype pieceCount() const { return 1 + kColumns + m_rows * kColumns + 3; }
    Place place(qsizetype piece) const;
    qsizetype pieceOf(const Place &place) const;
    QString pieceText(qsizetype piece) const;

    // The next piece (after `from`, or before it going backwards) whose text contains the needle
    // without regard to case, going round past the end; `from` itself is looked at last. -1 when
    // no piece holds it. A `from` of -1 starts at the beginning (or the end going backwards).
    qsizetype find(const QString &needle, qsizetype from, bool backwards = false) const;

    // Bytes held, for the benchmark.
    qsizetype memoryUse() const;

private:
    friend class ReportReader;
    bool pieceContains(qsizetype piece, const QString &needle, QByteArrayView asciiNeedle) const;

    std::array<QString, kColumns> m_headers;
    QString m_total;
    QByteArray m_text;           // the cells' texts, one after the other
    std::vector<quint32> m_ends; // end of each cell in m_text, kColumns per row
    qsizetype m_rows = 0;
    std::array<qsizetype, kColumns> m_longestRow{-1, -1, -1, -1, -1, -1, -1};
};

// Reads a report file piece by piece from a device, without the whole file in memory, into a
// model. A file that is not exactly in the writer's structure gives nullopt: it is shown as
// HTML instead.
class ReportReader
{
public:
    // Told the bytes read so far now and then.
    using Progress = std::function<void(qint64 done, qint64 total)>;

    static std::optional<ReportModel> read(QIODevice &in, const Progress &progress = {});
    // A whole report already in memory.
    static std::optional<ReportModel> parse(const QByteArray &html);
};

} // namespace tv
