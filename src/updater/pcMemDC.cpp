#include "pcMemDC.h"

namespace tv {

pcMemDC::~pcMemDC()
{
    release();
}

QPainter *pcMemDC::hdc(int Width, int Height)
{
    if (m_dc && m_width >= Width && m_height >= Height) return m_dc.get();
    release();
    if (Width < 1 || Height < 1) return nullptr;
    QImage bitmap(Width, Height, QImage::Format_ARGB32_Premultiplied);
    if (bitmap.isNull()) return nullptr;
    bitmap.fill(Qt::black);
    m_bitmap = std::move(bitmap);
    m_dc = std::make_unique<QPainter>();
    if (!m_dc->begin(&m_bitmap)) {
        release();
        return nullptr;
    }
    m_width = Width;
    m_height = Height;
    return m_dc.get();
}

void pcMemDC::Draw(QPainter &hdc, int xSrc, int ySrc, int WidthSrc, int HeightSrc, int xDst, int yDst) const
{
    if (!m_dc) return;
    if (WidthSrc < 1) WidthSrc = m_width;
    if (HeightSrc < 1) HeightSrc = m_height;
    hdc.save();
    hdc.setCompositionMode(QPainter::CompositionMode_Source);
    hdc.drawImage(QPoint(xDst, yDst), m_bitmap, QRect(xSrc, ySrc, WidthSrc, HeightSrc));
    hdc.restore();
}

void pcMemDC::release()
{
    if (m_dc) {
        if (m_dc->isActive()) m_dc->end();
        m_dc.reset();
    }
    m_bitmap = QImage();
    m_width = 0;
    m_height = 0;
}

} // namespace tv
