#pragma once

#include "ReportModel.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QRawFont>
#include <QRect>
#include <array>
#include <optional>

class QPainter;
class QPaintDevice;

namespace tv {

// Where each part of a report goes at a given width, and how it is drawn, in the pixels of the
// device it is measured for (the screen or a printer). The look is the one the report's HTML
// asks for: a large bold title, blue header labels, bold centred cells, the row values in green,
// a framed total in red at the right and "End of Report" centred below.
//
// On screen the parts stand one below the other; every row is one line high, so that any row's
// place is known without measuring the rows above it. On paper a long text wraps instead.
class ReportLayout
{
public:
    static constexpr QColor kHeaderColour{0x00, 0x00, 0xaa};
    static constexpr QColor kValueColour{0x00, 0xbb, 0x00};
    static constexpr QColor kTotalColour{0xcc, 0x00, 0x00};
    static constexpr QColor kFoundColour{0xff, 0xe0, 0x40};

    // `font` is the page's ordinary font; `width` the width available, which the table fills.
    ReportLayout(const ReportModel &model, const QFont &font, const QPaintDevice *device, int width);

    const ReportModel &model() const { return m_model; }

    // At least the width given; more when the columns cannot be made narrow enough.
    int width() const { return m_width; }
    int margin() const { return m_margin; }
    int columnLeft(int column) const { return m_edges[column]; }
    int columnWidth(int column) const { return m_edges[column + 1] - m_edges[column]; }
    // The column at a distance from the left, or -1 beside the table.
    int columnAt(int x) const;
    // Whether a cell's text is too wide for its cell on a one-line row.
    bool cutShort(qsizetype row, int column) const;
    int tableLeft() const { return m_edges[0]; }
    int tableRight() const { return m_edges[ReportModel::kColumns]; }

    int titleHeight() const { return m_titleHeight; }
    int lineHeight() const { return m_lineHeight; }
    int headerHeight() const { return m_headerHeight; }
    int rowHeight() const { return m_rowHeight; }
    int totalHeight() const { return m_totalLabelHeight + m_rowHeight; }
    // On paper: the row's height with its long texts wrapped.
    int wrappedRowHeight(qsizetype row) const;

    // The blank lines below the title, below the table and above "End of Report".
    int titleGap() const { return m_lineHeight + m_margin; }
    int tableGap() const { return 2 * m_lineHeight + m_margin; }
    int closingGap() const { return m_lineHeight; }

    // The parts one below the other, as the screen shows them.
    int headerTop() const { return m_margin + m_titleHeight + titleGap(); }
    int rowTop(qsizetype row) const { return headerTop() + m_headerHeight + int(row) * m_rowHeight; }
    // The row at a height, clamped to the rows there are (-1 without rows).
    qsizetype rowAt(int y) const;
    int totalTop() const { return rowTop(m_model.rowCount()) + tableGap(); }
    int closingTop() const { return totalTop() + totalHeight() + closingGap(); }
    int height() const { return closingTop() + m_lineHeight + m_margin; }
    // Where a piece of text (ReportModel::place) stands.
    QRect pieceRect(qsizetype piece) const;

    // The piece drawn on a marked background (what find has found), or -1.
    void setFound(qsizetype piece) { m_found = piece; }

    void drawTitle(QPainter &p, int top) const;
    void drawHeader(QPainter &p, int top) const;
    // A row of the given height: a text too wide for its cell is cut short with "…" on a
    // one-line row and wrapped on a higher one. Without dividers, drawDividers draws them for
    // many rows at once.
    void drawRow(QPainter &p, qsizetype row, int top, int height, bool dividers = true) const;
    void drawDividers(QPainter &p, int top, int bottom) const;
    void drawTotal(QPainter &p, int top) const;
    void drawClosing(QPainter &p, int top) const;

private:
    QRect totalBox(int top) const;
    struct Glyphs
    {
        QList<quint32> indexes;
        QList<QPointF> advances;
        int width = 0;
    };
    QRect textRoom(const QRect &cell) const;
    // The table's left and right edges, drawn heavier.
    void drawSides(QPainter &p, int top, int bottom) const;
    void drawCell(QPainter &p, const QFontMetrics &metrics, const QRect &cell, const QString &text,
                  qsizetype piece) const;
    // The cells' width of a text.
    int cellTextWidth(const QString &text) const;
    // On paper: the glyphs of a cell's text straight from the font, without shaping, which
    // prints many rows several times faster. nullopt for a text that needs shaping or another
    // font.
    std::optional<Glyphs> plainGlyphs(const QString &text) const;

    const ReportModel &m_model;
    QFont m_font;
    QFont m_bold;
    QFont m_headerFont;
    QFont m_titleFont;
    QFontMetrics m_boldMetrics;
    QFontMetrics m_headerMetrics;
    QRawFont m_rawBold; // on paper only
    int m_width = 0;
    int m_margin = 0;
    int m_padX = 0; // in a cell, beside its text
    int m_padY = 0; // above and below it
    int m_lineHeight = 0;
    int m_titleHeight = 0;
    int m_headerHeight = 0;
    int m_totalLabelHeight = 0;
    int m_rowHeight = 0;
    int m_totalWidth = 0;
    int m_pen = 1;
    std::array<int, ReportModel::kColumns + 1> m_edges{};
    qsizetype m_found = -1;
};

} // namespace tv
