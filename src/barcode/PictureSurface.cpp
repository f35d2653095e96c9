#include "PictureSurface.h"

#include "common/AppError.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace tv {

PictureSurface::PictureSurface(QSize pixels) : m_image(pixels, QImage::Format_RGB32)
{
    m_image.fill(m_background);
}

void PictureSurface::setPicture(const QImage &picture)
{
    m_picture = picture.copy();
    clear();
}

void PictureSurface::removePicture()
{
    m_picture = QImage();
    clear();
}

void PictureSurface::clear()
{
    m_image.fill(m_background);
    if (!m_picture.isNull()) {
        QPainter p(&m_image);
        p.drawImage(0, 0, m_picture);
    }
}

void PictureSurface::setOuterWidth(double twips)
{
    const double pixels = std::round(twips / kTwipsPerPixel);
    if (!std::isfinite(pixels) || pixels < 1.0 || pixels > kMaxPixels)
        throw AppError(Err::InvalidPropertyValue);
    const int width = static_cast<int>(pixels);
    if (width == m_image.width()) return;
    // Like a persistent image: what was drawn stays, new room shows the background colour.
    QImage resized(width, m_image.height(), QImage::Format_RGB32);
    resized.fill(m_background);
    QPainter p(&resized);
    p.drawImage(0, 0, m_image);
    p.end();
    m_image = std::move(resized);
}

double PictureSurface::textHeight(const QString &) const
{
    return QFontMetricsF(m_font, &m_image).height() * scale();
}

double PictureSurface::textWidth(const QString &text) const
{
    return QFontMetricsF(m_font, &m_image).horizontalAdvance(text) * scale();
}

int PictureSurface::toPixel(double v) const
{
    return static_cast<int>(std::lround(v / scale()));
}

void PictureSurface::fillRect(double x1, double y1, double x2, double y2, const QColor &colour)
{
    // Right and bottom edges are excluded, so that each element is exactly its width in pixels.
    const int left = std::min(toPixel(x1), toPixel(x2));
    const int right = std::max(toPixel(x1), toPixel(x2));
    const int top = std::min(toPixel(y1), toPixel(y2));
    const int bottom = std::max(toPixel(y1), toPixel(y2));
    const QRect r = QRect(left, top, right - left, bottom - top).intersected(m_image.rect());
    if (r.isEmpty()) return;
    // Straight into the scanlines: a barcode is a few hundred of these on every keystroke.
    const QRgb value = colour.rgb();
    for (int row = r.top(); row <= r.bottom(); ++row) {
        auto *line = reinterpret_cast<QRgb *>(m_image.scanLine(row));
        std::fill(line + r.left(), line + r.left() + r.width(), value);
    }
}

void PictureSurface::drawText(double x, double y, const QString &text)
{
    QPainter p(&m_image);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(m_font);
    p.setPen(m_foreground);
    const QFontMetricsF fm(m_font, &m_image);
    p.drawText(QPointF(x / scale(), y / scale() + fm.ascent()), text);
}

} // namespace tv
