#include "updater/OffscreenSurface.h"

namespace tv {

OffscreenSurface::~OffscreenSurface()
{
    release();
}

QPainter *OffscreenSurface::painter(int width, int height)
{
    if (m_painter && m_width >= width && m_height >= height) return m_painter.get();
    release();
    if (width < 1 || height < 1) return nullptr;
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return nullptr;
    image.fill(Qt::black);
    m_image = std::move(image);
    m_painter = std::make_unique<QPainter>();
    if (!m_painter->begin(&m_image)) {
        release();
        return nullptr;
    }
    m_width = width;
    m_height = height;
    return m_painter.get();
}

void OffscreenSurface::copyTo(QPainter &target, int sourceX, int sourceY, int sourceWidth, int sourceHeight,
                              int targetX, int targetY) const
{
    if (!m_painter) return;
    if (sourceWidth < 1) sourceWidth = m_width;
    if (sourceHeight < 1) sourceHeight = m_height;
    target.save();
    target.setCompositionMode(QPainter::CompositionMode_Source);
    target.drawImage(QPoint(targetX, targetY), m_image, QRect(sourceX, sourceY, sourceWidth, sourceHeight));
    target.restore();
}

void OffscreenSurface::release()
{
    if (m_painter) {
        if (m_painter->isActive()) m_painter->end();
        m_painter.reset();
    }
    m_image = QImage();
    m_width = 0;
    m_height = 0;
}

} // namespace tv
