#include "ReportLayout.h"

#include <QGlyphRun>
#include <QPaintDevice>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace tv {

namespace {
// HTML font sizes 4 and 5 against the ordinary size 3.
constexpr double kHeaderScale = 1.2;
constexpr double kTitleScale = 1.5;

QFont scaled(QFont font, double factor)
{
    font.setBold(true);
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * factor);
    else
        font.setPixelSize(int(std::lround(font.pixelSize() * factor)));
    return font;
}

// The widest single word of a text: where the text can wrap at the narrowest.
int widestWord(const QString &text, const auto &width)
{
    int widest = 0;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        widest = std::max(widest, width(word));
    return widest;
}

constexpr int kLine = 1; // a border, in pixels of a 96 dots-per-inch screen
} // namespace

ReportLayout::ReportLayout(const ReportModel &model, const QFont &font, const QPaintDevice *device, int width)
    : m_model(model), m_font(font), m_bold(scaled(font, 1.0)), m_headerFont(scaled(font, kHeaderScale)),
      m_titleFont(scaled(font, kTitleScale)), m_boldMetrics(m_bold, device),
      m_headerMetrics(m_headerFont, device)
{
    if (device->devType() == QInternal::Printer) m_rawBold = QRawFont::fromFont(QFont(m_bold, device));
    const double unit = device->logicalDpiY() / 96.0;
    const QFontMetrics plain(m_font, device);
    m_pen = std::max(1, int(std::lround(kLine * unit)));
    m_margin = int(std::lround(8 * unit));
    m_padX = int(std::lround(3 * unit));
    m_padY = int(std::lround(1 * unit));
    m_lineHeight = plain.lineSpacing();
    m_titleHeight = QFontMetrics(m_titleFont, device).lineSpacing();
    m_rowHeight = m_boldMetrics.height() + 2 * m_padY + m_pen;

    const int available = std::max(0, width - 2 * m_margin);
    std::array<double, ReportModel::kColumns> natural{};
    std::array<double, ReportModel::kColumns> least{};
    double sumNatural = 0;
    double sumLeast = 0;
    const int frame = 2 * m_padX + m_pen;
    for (int c = 0; c < ReportModel::kColumns; ++c) {
        const QString label = model.header(c);
        const qsizetype longest = model.longestRow(c);
        const QString text = longest < 0 ? QString() : model.cell(longest, c);
        natural[c] = std::max(m_headerMetrics.horizontalAdvance(label), cellTextWidth(text)) + frame;
        // As narrow as the widest word, as in a browser: a date or a figure is never cut.
        least[c] =
            std::max(
                widestWord(label, [&](const QString &w) { return m_headerMetrics.horizontalAdvance(w); }),
                widestWord(text, [&](const QString &w) { return cellTextWidth(w); })) +
            frame;
        sumNatural += natural[c];
        sumLeast += least[c];
    }
    std::array<double, ReportModel::kColumns> widths{};
    for (int c = 0; c < ReportModel::kColumns; ++c) {
        if (sumNatural <= available)
            widths[c] = natural[c] + (available - sumNatural) * natural[c] / sumNatural;
        else if (sumLeast <= available)
            widths[c] = least[c] + (available - sumLeast) * (natural[c] - least[c]) / (sumNatural - sumLeast);
        else
            widths[c] = least[c];
    }
    double x = m_margin;
    for (int c = 0; c <= ReportModel::kColumns; ++c) {
        m_edges[c] = int(std::lround(x));
        if (c < ReportModel::kColumns) x += widths[c];
    }
    m_width = std::max(width, m_edges[ReportModel::kColumns] + m_margin);

    int headerLines = m_headerMetrics.height();
    for (int c = 0; c < ReportModel::kColumns; ++c) {
        const QRect room(0, 0, std::max(1, columnWidth(c) - frame), 1 << 20);
        headerLines = std::max(
            headerLines, m_headerMetrics.boundingRect(room, Qt::TextWordWrap, model.header(c)).height());
    }
    m_headerHeight = headerLines + 2 * m_padY + m_pen;
    m_totalLabelHeight = m_headerMetrics.height() + 2 * m_padY + m_pen;
    const int totalText =
        std::max(m_headerMetrics.horizontalAdvance(model.totalLabel()), cellTextWidth(model.total()));
    m_totalWidth = std::max(int(std::lround(available * 0.2)), totalText + frame);
}

std::optional<ReportLayout::Glyphs> ReportLayout::plainGlyphs(const QString &text) const
{
    if (!m_rawBold.isValid()) return std::nullopt;
    for (const QChar c : text) {
        // Combining marks and the scripts from Hebrew on are shaped.
        const char16_t u = c.unicode();
        if (u >= 0x0590 || (u >= 0x0300 && u < 0x0370)) return std::nullopt;
    }
    Glyphs out;
    out.indexes = m_rawBold.glyphIndexesForString(text);
    if (out.indexes.contains(0u)) return std::nullopt;
    out.advances = m_rawBold.advancesForGlyphIndexes(out.indexes);
    double width = 0;
    for (const QPointF &advance : out.advances)
        width += advance.x();
    out.width = int(std::ceil(width));
    return out;
}

int ReportLayout::cellTextWidth(const QString &text) const
{
    if (const auto glyphs = plainGlyphs(text)) return glyphs->width;
    return m_boldMetrics.horizontalAdvance(text);
}

int ReportLayout::wrappedRowHeight(qsizetype row) const
{
    int height = m_boldMetrics.height();
    for (int c = 0; c < ReportModel::kColumns; ++c) {
        const int room = std::max(1, columnWidth(c) - 2 * m_padX - m_pen);
        const QByteArrayView bytes = m_model.cellUtf8(row, c);
        // Most texts are short enough to fit however wide their letters are.
        if (bytes.size() * qsizetype(m_boldMetrics.maxWidth()) <= room) continue;
        const QString text = QString::fromUtf8(bytes);
        if (cellTextWidth(text) <= room) continue;
        height = std::max(
            height, m_boldMetrics.boundingRect(QRect(0, 0, room, 1 << 20), Qt::TextWordWrap, text).height());
    }
    return height + 2 * m_padY + m_pen;
}

int ReportLayout::columnAt(int x) const
{
    for (int c = 0; c < ReportModel::kColumns; ++c)
        if (x >= m_edges[c] && x < m_edges[c + 1]) return c;
    return -1;
}

bool ReportLayout::cutShort(qsizetype row, int column) const
{
    return cellTextWidth(m_model.cell(row, column)) > columnWidth(column) - 2 * m_padX - m_pen;
}

qsizetype ReportLayout::rowAt(int y) const
{
    if (m_model.rowCount() == 0) return -1;
    const qsizetype row = (y - rowTop(0)) / m_rowHeight;
    return std::clamp<qsizetype>(y < rowTop(0) ? 0 : row, 0, m_model.rowCount() - 1);
}

QRect ReportLayout::totalBox(int top) const
{
    return QRect(tableRight() - m_totalWidth, top, m_totalWidth, totalHeight());
}

QRect ReportLayout::pieceRect(qsizetype piece) const
{
    const ReportModel::Place at = m_model.place(piece);
    const int inner = tableRight() - tableLeft();
    switch (at.kind) {
    case ReportModel::Piece::Title:
        return QRect(tableLeft(), m_margin, inner, m_titleHeight);
    case ReportModel::Piece::Header:
        return QRect(columnLeft(at.column), headerTop(), columnWidth(at.column), m_headerHeight);
    case ReportModel::Piece::Cell:
        return QRect(columnLeft(at.column), rowTop(at.row), columnWidth(at.column), m_rowHeight);
    case ReportModel::Piece::TotalLabel:
        return totalBox(totalTop()).adjusted(0, 0, 0, -m_rowHeight);
    case ReportModel::Piece::Total:
        return totalBox(totalTop()).adjusted(0, m_totalLabelHeight, 0, 0);
    case ReportModel::Piece::Closing:
        break;
    }
    return QRect(tableLeft(), closingTop(), inner, m_lineHeight);
}

QRect ReportLayout::textRoom(const QRect &cell) const
{
    return cell.adjusted(m_padX + m_pen, m_padY + m_pen, -m_padX, -m_padY);
}

void ReportLayout::drawCell(QPainter &p, const QFontMetrics &metrics, const QRect &cell, const QString &text,
                            qsizetype piece) const
{
    const QRect room = textRoom(cell);
    if (piece == m_found) p.fillRect(cell.adjusted(m_pen, m_pen, 0, 0), kFoundColour);
    const int advance = metrics.horizontalAdvance(text);
    if (advance <= room.width()) {
        // Drawn at a point, without a text layout: the common case stays quick.
        const int x = room.left() + (room.width() - advance) / 2;
        const int y = room.top() + (room.height() - metrics.height()) / 2 + metrics.ascent();
        p.drawText(QPoint(x, y), text);
    } else if (room.height() >= 2 * metrics.height()) {
        p.drawText(room, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextWordWrap, text);
    } else {
        p.drawText(room, Qt::AlignHCenter | Qt::AlignVCenter,
                   metrics.elidedText(text, Qt::ElideRight, room.width()));
    }
}

void ReportLayout::drawTitle(QPainter &p, int top) const
{
    const QRect line(tableLeft(), top, tableRight() - tableLeft(), m_titleHeight);
    if (m_found == 0) p.fillRect(line, kFoundColour);
    p.setFont(m_titleFont);
    p.setPen(Qt::black);
    p.drawText(line, Qt::AlignCenter, m_model.title());
}

void ReportLayout::drawHeader(QPainter &p, int top) const
{
    p.setFont(m_headerFont);
    for (int c = 0; c < ReportModel::kColumns; ++c) {
        const QRect cell(columnLeft(c), top, columnWidth(c), m_headerHeight);
        p.fillRect(cell, Qt::white);
        p.setPen(kHeaderColour);
        drawCell(p, m_headerMetrics, cell, m_model.header(c), 1 + c);
    }
    p.setPen(QPen(Qt::black, m_pen, Qt::SolidLine, Qt::FlatCap));
    p.drawRect(
        QRectF(tableLeft() + m_pen / 2.0, top + m_pen / 2.0, tableRight() - tableLeft(), m_headerHeight));
    for (int c = 1; c < ReportModel::kColumns; ++c)
        p.drawLine(QPointF(columnLeft(c) + m_pen / 2.0, top),
                   QPointF(columnLeft(c) + m_pen / 2.0, top + m_headerHeight));
    // The table's own border doubles the cells' at its edge.
    p.fillRect(QRect(tableLeft(), top, tableRight() - tableLeft() + m_pen, 2 * m_pen), Qt::black);
    drawSides(p, top, top + m_headerHeight);
}

void ReportLayout::drawSides(QPainter &p, int top, int bottom) const
{
    p.fillRect(QRect(tableLeft(), top, 2 * m_pen, bottom - top + m_pen), Qt::black);
    p.fillRect(QRect(tableRight() - m_pen, top, 2 * m_pen, bottom - top + m_pen), Qt::black);
}

void ReportLayout::drawRow(QPainter &p, qsizetype row, int top, int height, bool dividers) const
{
    p.setFont(m_bold);
    const qsizetype firstPiece = 1 + ReportModel::kColumns + row * ReportModel::kColumns;
    // On paper the texts of a row that fit go out as two runs of glyphs, black and green: far
    // fewer, larger pieces for the printer than one a cell.
    std::array<QGlyphRun, 2> runs;
    std::array<QList<quint32>, 2> indexes;
    std::array<QList<QPointF>, 2> positions;
    for (int c = 0; c < ReportModel::kColumns; ++c) {
        const int colour = c == ReportModel::kColumns - 1 ? 1 : 0;
        const QRect cell(columnLeft(c), top, columnWidth(c), height);
        const QString text = m_model.cell(row, c);
        const QRect room = textRoom(cell);
        if (const auto glyphs = plainGlyphs(text);
            glyphs && glyphs->width <= room.width() && firstPiece + c != m_found) {
            QPointF at(room.left() + (room.width() - glyphs->width) / 2,
                       room.top() + (room.height() - m_boldMetrics.height()) / 2 + m_boldMetrics.ascent());
            indexes[colour] += glyphs->indexes;
            for (const QPointF &advance : glyphs->advances) {
                positions[colour].append(at);
                at += advance;
            }
            continue;
        }
        p.setPen(colour ? kValueColour : QColor(Qt::black));
        drawCell(p, m_boldMetrics, cell, text, firstPiece + c);
    }
    for (int colour = 0; colour < 2; ++colour) {
        if (indexes[colour].isEmpty()) continue;
        runs[colour].setRawFont(m_rawBold);
        runs[colour].setGlyphIndexes(indexes[colour]);
        runs[colour].setPositions(positions[colour]);
        p.setPen(colour ? kValueColour : QColor(Qt::black));
        p.drawGlyphRun(QPointF(), runs[colour]);
    }
    // Each row draws the line below it; the header draws the first line.
    p.setPen(QPen(Qt::black, m_pen, Qt::SolidLine, Qt::FlatCap));
    const double half = m_pen / 2.0;
    const double bottom = top + height + half;
    p.drawLine(QLineF(tableLeft(), bottom, tableRight() + m_pen, bottom));
    if (row + 1 == m_model.rowCount())
        p.fillRect(QRect(tableLeft(), top + height - m_pen, tableRight() - tableLeft() + m_pen, 2 * m_pen),
                   Qt::black);
    if (dividers) drawDividers(p, top, top + height);
}

void ReportLayout::drawDividers(QPainter &p, int top, int bottom) const
{
    p.setPen(QPen(Qt::black, m_pen, Qt::SolidLine, Qt::FlatCap));
    const double half = m_pen / 2.0;
    QLineF lines[ReportModel::kColumns + 1];
    for (int c = 0; c <= ReportModel::kColumns; ++c)
        lines[c] = QLineF(columnLeft(c) + half, top, columnLeft(c) + half, bottom + m_pen);
    p.drawLines(lines, ReportModel::kColumns + 1);
    drawSides(p, top, bottom);
}

void ReportLayout::drawTotal(QPainter &p, int top) const
{
    const QRect box = totalBox(top);
    const QRect label(box.left(), box.top(), box.width(), m_totalLabelHeight);
    const QRect value(box.left(), label.bottom() + 1, box.width(), m_rowHeight);
    const qsizetype labelPiece = m_model.pieceCount() - 3;
    p.setFont(m_headerFont);
    p.setPen(kHeaderColour);
    drawCell(p, m_headerMetrics, label, m_model.totalLabel(), labelPiece);
    p.setFont(m_bold);
    p.setPen(kTotalColour);
    drawCell(p, m_boldMetrics, value, m_model.total(), labelPiece + 1);
    p.setPen(QPen(Qt::black, m_pen, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    const double half = m_pen / 2.0;
    p.drawRect(QRectF(box.left() + half, box.top() + half, box.width(), box.height()));
    p.drawRect(QRectF(box.left() + 1.5 * m_pen, box.top() + 1.5 * m_pen, box.width() - 2 * m_pen,
                      box.height() - 2 * m_pen));
    p.drawLine(QPointF(box.left(), value.top() + half), QPointF(box.right() + m_pen, value.top() + half));
}

void ReportLayout::drawClosing(QPainter &p, int top) const
{
    const QRect line(tableLeft(), top, tableRight() - tableLeft(), m_lineHeight);
    p.setFont(m_font);
    p.setPen(Qt::black);
    const QString text = m_model.closing();
    if (m_found == m_model.pieceCount() - 1) {
        const int advance = QFontMetrics(m_font, p.device()).horizontalAdvance(text);
        p.fillRect(QRect(line.center().x() - advance / 2, top, advance, m_lineHeight), kFoundColour);
    }
    p.drawText(line, Qt::AlignCenter, text);
}

} // namespace tv
