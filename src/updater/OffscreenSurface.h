#pragma once

#include <QImage>
#include <QPainter>
#include <memory>

namespace tv {

// An off-screen drawing surface: each frame is drawn here and copied to the screen in one step.
// The surface only grows; a request that fits is served by the surface already there.
class OffscreenSurface
{
public:
    OffscreenSurface() = default;
    ~OffscreenSurface();
    OffscreenSurface(const OffscreenSurface &) = delete;
    OffscreenSurface &operator=(const OffscreenSurface &) = delete;

    // The surface's painter, at least width x height; nullptr when it cannot be had.
    QPainter *painter(int width, int height);
    // Plain copy of (sourceX, sourceY, sourceWidth, sourceHeight) to (targetX, targetY); a width or
    // height below 1 means the surface's own.
    void copyTo(QPainter &target, int sourceX = 0, int sourceY = 0, int sourceWidth = 0, int sourceHeight = 0,
                int targetX = 0, int targetY = 0) const;

    int width() const { return m_width; }
    int height() const { return m_height; }
    const QImage &surface() const { return m_image; }

private:
    void release();

    QImage m_image;
    std::unique_ptr<QPainter> m_painter;
    int m_width = 0;
    int m_height = 0;
};

} // namespace tv
