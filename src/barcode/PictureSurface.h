#pragma once

#include "DrawBar.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QSize>

namespace tv {

// A picture box's drawing surface: a persistent image that keeps what is drawn, an optional
// background picture that clearing brings back, a font and two colours. Its container measures
// in twips; the surface draws in twips until told to use pixels. The frame around it belongs to
// the widget that shows it, so the outer width is the drawable width in the container's units.
class PictureSurface : public BarcodeSurface
{
public:
    enum class Unit { Twips, Pixels };
    static constexpr double kTwipsPerPixel = 15.0; // 96 dots per inch
    static constexpr int kMaxPixels = 32767;

    explicit PictureSurface(QSize pixels);

    const QImage &image() const { return m_image; }
    const QImage &picture() const { return m_picture; }
    // The background picture, shown unscaled at the top left whenever the surface is cleared.
    // Like any change of picture it repaints the image: background colour, then the picture.
    void setPicture(const QImage &picture);
    Unit unit() const { return m_unit; }
    QSize pixelSize() const { return m_image.size(); }

    QColor background() const { return m_background; }
    void setBackground(const QColor &colour) { m_background = colour; }
    QColor foreground() const { return m_foreground; }
    void setForeground(const QColor &colour) { m_foreground = colour; }
    QFont font() const { return m_font; }
    void setFont(const QFont &font) { m_font = font; }

    void setUnitPixels() override { m_unit = Unit::Pixels; }
    void clear() override;
    void removePicture() override;
    double drawableLeft() const override { return 0.0; }
    double drawableTop() const override { return 0.0; }
    double drawableWidth() const override { return m_image.width() * scale(); }
    double drawableHeight() const override { return m_image.height() * scale(); }
    double outerWidth() const override { return m_image.width() * kTwipsPerPixel; }
    void setOuterWidth(double twips) override;
    double textHeight(const QString &text) const override;
    double textWidth(const QString &text) const override;
    void fillRect(double x1, double y1, double x2, double y2, const QColor &colour) override;
    void drawText(double x, double y, const QString &text) override;

private:
    double scale() const { return m_unit == Unit::Twips ? kTwipsPerPixel : 1.0; }
    int toPixel(double v) const;

    QImage m_image;
    QImage m_picture;
    Unit m_unit = Unit::Twips;
    QColor m_background = Qt::white;
    QColor m_foreground = Qt::black;
    QFont m_font;
};

} // namespace tv
