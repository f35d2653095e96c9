#include "ReportView.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>

namespace tv {

ReportView::ReportView(QWidget *parent) : QAbstractScrollArea(parent)
{
    setObjectName(QStringLiteral("reportView"));
    setAccessibleName(QStringLiteral("Inventory report"));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
}

ReportView::~ReportView() = default;

void ReportView::setModel(std::shared_ptr<const ReportModel> model)
{
    m_layout.reset();
    m_model = std::move(model);
    m_found = -1;
    if (m_model)
        setAccessibleDescription(QStringLiteral("%1 items, total inventory value %2")
                                     .arg(m_model->rowCount())
                                     .arg(m_model->total()));
    relayout();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
}

void ReportView::relayout()
{
    m_layout.reset();
    if (!m_model) {
        verticalScrollBar()->setRange(0, 0);
        horizontalScrollBar()->setRange(0, 0);
        return;
    }
    m_layout.emplace(*m_model, font(), viewport(), viewport()->width());
    m_layout->setFound(m_found);
    const int height = viewport()->height();
    verticalScrollBar()->setRange(0, std::max(0, m_layout->height() - height));
    verticalScrollBar()->setSingleStep(m_layout->rowHeight());
    verticalScrollBar()->setPageStep(
        std::max(m_layout->rowHeight(), height - m_layout->headerHeight() - m_layout->rowHeight()));
    horizontalScrollBar()->setRange(0, std::max(0, m_layout->width() - viewport()->width()));
    horizontalScrollBar()->setSingleStep(m_layout->rowHeight());
    horizontalScrollBar()->setPageStep(viewport()->width());
}

int ReportView::headerY() const
{
    // Held at the top while rows pass under it, pushed up by the end of the table.
    const int top = verticalScrollBar()->value();
    const int last = m_layout->rowTop(m_model->rowCount()) - m_layout->headerHeight();
    return std::max(m_layout->headerTop(), std::min(top, last));
}

int ReportView::sightTop() const
{
    const int top = verticalScrollBar()->value();
    if (!m_layout || headerY() > top) return top;
    return std::max(top, headerY() + m_layout->headerHeight());
}

std::pair<qsizetype, qsizetype> ReportView::rowsInSight() const
{
    if (!m_layout || m_model->rowCount() == 0) return {-1, -1};
    const int top = sightTop();
    const int bottom = verticalScrollBar()->value() + viewport()->height() - 1;
    if (bottom < m_layout->rowTop(0) || top >= m_layout->rowTop(m_model->rowCount())) return {-1, -1};
    return {m_layout->rowAt(top), m_layout->rowAt(bottom)};
}

qsizetype ReportView::findStart(bool here) const
{
    if (!m_model) return -1;
    if (m_found >= 0) return here ? m_found - 1 : m_found;
    const qsizetype first = rowsInSight().first;
    if (first <= 0 || verticalScrollBar()->value() == 0) return -1;
    return m_model->pieceOf({ReportModel::Piece::Cell, first, 0}) - 1;
}

void ReportView::showPiece(qsizetype piece)
{
    m_found = piece;
    if (!m_layout) return;
    m_layout->setFound(piece);
    if (piece >= 0) {
        const QRect r = m_layout->pieceRect(piece);
        const int top = sightTop();
        const int bottom = verticalScrollBar()->value() + viewport()->height();
        if (r.top() < top || r.bottom() >= bottom)
            verticalScrollBar()->setValue(r.center().y() - viewport()->height() / 2);
        const int left = horizontalScrollBar()->value();
        if (r.left() < left || r.right() >= left + viewport()->width())
            horizontalScrollBar()->setValue(r.center().x() - viewport()->width() / 2);
    }
    viewport()->update();
}

void ReportView::paintEvent(QPaintEvent *event)
{
    ++m_paints;
    QPainter p(viewport());
    p.fillRect(event->rect(), Qt::white);
    if (!m_layout) return;
    const int top = verticalScrollBar()->value();
    const int bottom = top + viewport()->height();
    p.translate(-horizontalScrollBar()->value(), -top);
    const ReportLayout &l = *m_layout;

    if (top < l.margin() + l.titleHeight()) l.drawTitle(p, l.margin());
    const qsizetype rows = m_model->rowCount();
    if (rows > 0 && bottom > l.rowTop(0) && top < l.rowTop(rows)) {
        for (qsizetype row = l.rowAt(top), last = l.rowAt(bottom); row <= last; ++row)
            l.drawRow(p, row, l.rowTop(row), l.rowHeight());
    }
    // The header last: once scrolled past, it stays at the top above the rows.
    l.drawHeader(p, headerY());
    if (bottom > l.totalTop()) {
        l.drawTotal(p, l.totalTop());
        l.drawClosing(p, l.closingTop());
    }
}

void ReportView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void ReportView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) relayout();
}

void ReportView::keyPressEvent(QKeyEvent *event)
{
    QScrollBar *v = verticalScrollBar();
    QScrollBar *h = horizontalScrollBar();
    switch (event->key()) {
    case Qt::Key_Up:
        v->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
    case Qt::Key_Down:
        v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
    case Qt::Key_PageUp:
        v->triggerAction(QAbstractSlider::SliderPageStepSub);
        break;
    case Qt::Key_PageDown:
    case Qt::Key_Space:
        v->triggerAction(QAbstractSlider::SliderPageStepAdd);
        break;
    case Qt::Key_Home:
        v->triggerAction(QAbstractSlider::SliderToMinimum);
        break;
    case Qt::Key_End:
        v->triggerAction(QAbstractSlider::SliderToMaximum);
        break;
    case Qt::Key_Left:
        h->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
    case Qt::Key_Right:
        h->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

bool ReportView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && m_layout) {
        // A text cut short on screen shows whole under the mouse.
        const auto *help = static_cast<QHelpEvent *>(event);
        const QPoint at = help->pos() + QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
        const qsizetype row = m_layout->rowAt(at.y());
        const int column = m_layout->columnAt(at.x());
        const bool onRow = row >= 0 && at.y() >= sightTop() && at.y() >= m_layout->rowTop(row) &&
                           at.y() < m_layout->rowTop(row + 1);
        const QString text =
            onRow && column >= 0 && m_layout->cutShort(row, column) ? m_model->cell(row, column) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport());
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

} // namespace tv
