#pragma once

#include "common/AppError.h"

#include <QImage>
#include <QPainter>
#include <QString>
#include <QtGlobal>
#include <array>
#include <memory>

namespace tv {

// A 32-bit bitmap whose pixel bytes the program addresses directly.
//
// The pixels live in one QImage whose memory holds the scan lines bottom-up, as a .bmp file keeps
// them: scan line 0 in memory is the bottom row of the picture, each pixel is blue, green, red and
// a fourth byte. The painter returned by painter() draws through a vertical flip, so that pictures
// painted into the bitmap land the right way up in that layout.
class BottomUpBitmap
{
public:
    // The 40-byte bitmap information header as the .bmp file carries it.
    struct BitmapInfoHeader
    {
        quint32 headerSize = 40;
        qint32 width = 0;
        qint32 height = 0;
        quint16 planes = 1;
        quint16 bitsPerPixel = 32;
        quint32 compression = 0;
        quint32 imageSize = 0;
        qint32 xPixelsPerMetre = 0;
        qint32 yPixelsPerMetre = 0;
        quint32 coloursUsed = 0;
        quint32 coloursImportant = 0;
    };

    // A failure that names where it came from, as the file writer reports it.
    class SourcedError : public tv::AppError
    {
    public:
        SourcedError(int number, const QString &source, const QString &description)
            : tv::AppError(number, description), m_source(source)
        {
        }
        const QString &source() const { return m_source; }

    private:
        QString m_source;
    };

    BottomUpBitmap() = default;
    ~BottomUpBitmap();
    BottomUpBitmap(const BottomUpBitmap &) = delete;
    BottomUpBitmap &operator=(const BottomUpBitmap &) = delete;

    // While on, paintTo copies plainly and ignores the composition mode it is given. create()
    // keeps the setting, clear() turns it off.
    bool plainCopy() const { return m_plainCopy; }
    void setPlainCopy(bool on) { m_plainCopy = on; }

    // A bitmap of the image's size holding its pixels; a null image leaves this one as it is.
    void createFromImage(const QImage &image);
    // A bitmap of width x height, all bytes 0. False for an empty or too large size; a byte count
    // a line cannot hold raises error 6.
    bool create(qint32 width, qint32 height);

    qint32 bytesPerLine() const { return m_info.width * 4; }
    qint32 width() const { return m_info.width; }
    qint32 height() const { return m_info.height; }

    // Copies from a picture (top row first, as pictures are) at (sourceLeft, sourceTop) into this
    // bitmap at (0, 0); a negative width or height means this bitmap's own.
    void loadFrom(const QImage &source, qint32 sourceLeft = 0, qint32 sourceTop = 0, qint32 sourceWidth = -1,
                  qint32 sourceHeight = -1,
                  QPainter::CompositionMode mode = QPainter::CompositionMode_Source);
    // Writes a .bmp file. Throws SourcedError 17 when the file cannot be created; false when a
    // write fails.
    bool save(const QString &fileName);
    // Draws (sourceLeft, sourceTop, width, height) of the picture at (left, top); a negative width
    // or height means this bitmap's own.
    void paintTo(QPainter &target, qint32 left = 0, qint32 top = 0, qint32 width = -1, qint32 height = -1,
                 qint32 sourceLeft = 0, qint32 sourceTop = 0,
                 QPainter::CompositionMode mode = QPainter::CompositionMode_Source);
    // Source-over with premultiplied per-pixel alpha in the fourth byte and a constant alpha.
    void alphaPaintTo(QPainter &target, qint32 left = 0, qint32 top = 0, qint32 width = -1,
                      qint32 height = -1, qint32 sourceLeft = 0, qint32 sourceTop = 0,
                      qint32 constantAlpha = 255);
    // Blends source into target byte by byte. Widths and heights of -1 blend the common area;
    // other non-negative values limit it further (in pixels).
    static void alphaBlend(BottomUpBitmap &target, const BottomUpBitmap &source, qint32 left, qint32 top,
                           qint32 width, qint32 height, qint32 constantAlpha);

    // A painter on the bitmap for its whole life (nullptr when empty).
    QPainter *painter() const { return m_painter.get(); }
    // The pixel store, bottom scan line first.
    const QImage &pixelStore() const { return m_image; }
    uchar *bits() { return m_image.isNull() ? nullptr : m_image.bits(); }
    const uchar *bits() const { return m_image.isNull() ? nullptr : m_image.constBits(); }

    // Sets every byte to 0; the alpha asked for is not applied.
    void clearPixels(qint32 alpha = 0);
    // Random premultiplied pixels, grey or coloured.
    void randomise(bool grey = false);
    // Lets go of the pixels and the painter and ends a plain-copy session.
    void clear();
    std::unique_ptr<BottomUpBitmap> resample(qint32 newHeight, qint32 newWidth) const;
    void modifyHls(double hue, double luminance, double saturation);
    void lighten(qint32 percent);

    // The picture the right way up, opaque, for drawing elsewhere.
    QImage toImage() const;
    const BitmapInfoHeader &info() const { return m_info; }

    // Colour conversions used by modifyHls and lighten, in single precision.
    static void rgbToHls(int red, int green, int blue, float &hue, float &luminance, float &saturation);
    static void hlsToRgb(float hue, float luminance, float saturation, int &red, int &green, int &blue);

private:
    bool allocate(qint32 width, qint32 height, QImage &pixels);
    template <typename F> void walkPixels(F &&change);

    QImage m_image; // memory order: bottom scan line first
    std::unique_ptr<QPainter> m_painter;
    bool m_plainCopy = false;
    BitmapInfoHeader m_info;
};

} // namespace tv
