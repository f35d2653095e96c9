#pragma once

#include <QImage>
#include <QPainter>
#include <memory>

namespace tv {

// An off-screen drawing surface: each frame is drawn here and copied to the screen in one step.
// The surface only grows; a request that fits is served by the surface already there.
class pcMemDC
{
public:
    pcMemDC() = default;
    ~pcMemDC();
    pcMemDC(const pcMemDC &) = delete;
    pcMemDC &operator=(const pcMemDC &) = delete;

    // The surface's painter, at least Width x Height; nullptr when it cannot be had.
    QPainter *hdc(int Width, int Height);
    // Plain copy of (xSrc, ySrc, WidthSrc, HeightSrc) to (xDst, yDst); a width or height below 1
    // means the surface's own.
    void Draw(QPainter &hdc, int xSrc = 0, int ySrc = 0, int WidthSrc = 0, int HeightSrc = 0, int xDst = 0,
              int yDst = 0) const;

    int width() const { return m_width; }
    int height() const { return m_height; }
    const QImage &surface() const { return m_bitmap; }

private:
    void release();

    QImage m_bitmap;
    std::unique_ptr<QPainter> m_dc;
    int m_width = 0;
    int m_height = 0;
};

} // namespace tv
