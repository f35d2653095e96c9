#pragma once

#include "common/AppError.h"

#include <QImage>
#include <QPainter>
#include <QString>
#include <QtGlobal>
#include <array>
#include <memory>

namespace tv {

// A 32-bit device-independent bitmap whose pixel bytes the program addresses directly.
//
// The pixels live in one QImage whose memory holds the scan lines bottom-up, as a DIB keeps them:
// scan line 0 in memory is the bottom row of the picture, each pixel is blue, green, red and a
// fourth byte. The painter returned by hdc() draws through a vertical flip, so that pictures
// painted into the DIB land the right way up in that layout.
class pcDibSection
{
public:
    // The 40-byte bitmap information header as the .bmp file carries it.
    struct BitmapInfoHeader
    {
        quint32 biSize = 40;
        qint32 biWidth = 0;
        qint32 biHeight = 0;
        quint16 biPlanes = 1;
        quint16 biBitCount = 32;
        quint32 biCompression = 0;
        quint32 biSizeImage = 0;
        qint32 biXPelsPerMeter = 0;
        qint32 biYPelsPerMeter = 0;
        quint32 biClrUsed = 0;
        quint32 biClrImportant = 0;
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

    pcDibSection() = default;
    ~pcDibSection();
    pcDibSection(const pcDibSection &) = delete;
    pcDibSection &operator=(const pcDibSection &) = delete;

    // A plain draw session stands in for DrawDib: while open, PaintPicture copies without the
    // raster operation.
    bool UseDrawDib() const { return m_drawDibOpen; }
    void setUseDrawDib(bool on) { m_drawDibOpen = on; }

    // Fills the bitmap information for a bottom-up 32-bit bitmap and makes its pixel store, all
    // bytes 0. An overflowing byte count raises error 6.
    bool CreateDIB(qint32 lWidth, qint32 lHeight, QImage &hDib);
    void CreateFromPicture(const QImage &picThis);
    void CreateFromHBitmap(const QImage &hBmp);
    bool Create(qint32 lWidth, qint32 lHeight);

    qint32 BytesPerScanLine() const { return m_info.biWidth * 4; }
    qint32 Width() const { return m_info.biWidth; }
    qint32 Height() const { return m_info.biHeight; }

    // Copies from a picture (top row first, as pictures are) at (lSrcLeft, lSrcTop) into this DIB
    // at (0, 0); a negative width or height means this DIB's own.
    void LoadPictureBlt(const QImage &lHDC, qint32 lSrcLeft = 0, qint32 lSrcTop = 0, qint32 lSrcWidth = -1,
                        qint32 lSrcHeight = -1,
                        QPainter::CompositionMode eRop = QPainter::CompositionMode_Source);
    // Throws SourcedError 17 when the file cannot be created; false when a write fails.
    bool SavePicture(const QString &sFileName);
    void PaintPicture(QPainter &lHDC, qint32 lDestLeft = 0, qint32 lDestTop = 0, qint32 lDestWidth = -1,
                      qint32 lDestHeight = -1, qint32 lSrcLeft = 0, qint32 lSrcTop = 0,
                      QPainter::CompositionMode eRop = QPainter::CompositionMode_Source);
    // Source-over with premultiplied per-pixel alpha in the fourth byte and a constant alpha.
    void AlphaPaintPicture(QPainter &lHDC, qint32 lDestLeft = 0, qint32 lDestTop = 0, qint32 lDestWidth = -1,
                           qint32 lDestHeight = -1, qint32 lSrcLeft = 0, qint32 lSrcTop = 0,
                           qint32 lConstantAlpha = 255);
    // Blends cSrc into cDst byte by byte. Widths and heights of -1 blend the common area; other
    // non-negative values limit it further (in pixels).
    static void CodeAlphaBlend(pcDibSection &cDst, const pcDibSection &cSrc, qint32 lDestLeft,
                               qint32 lDestTop, qint32 lDestWidth, qint32 lDestHeight,
                               qint32 SourceConstantAlpha);

    // The memory device context: a painter on the DIB for its whole life (nullptr when empty).
    QPainter *hdc() const { return m_painter.get(); }
    const QImage &hDib() const { return m_image; }
    uchar *DIBSectionBitsPtr() { return m_image.isNull() ? nullptr : m_image.bits(); }
    const uchar *DIBSectionBitsPtr() const { return m_image.isNull() ? nullptr : m_image.constBits(); }

    void Clear(qint32 lAlpha = 0);
    void RandomiseBits(bool bGray = false);
    void ClearUp();
    std::unique_ptr<pcDibSection> Resample(qint32 lNewHeight, qint32 lNewWidth) const;
    void ModifyHLS(double fHue, double fLuminance, double fSaturation);
    void Lighten(qint32 lAmount);

    // The picture the right way up, opaque, for drawing elsewhere.
    QImage toImage() const;
    const BitmapInfoHeader &info() const { return m_info; }

    // Colour conversions used by ModifyHLS and Lighten, in single precision.
    static void RGBToHLS(int r, int g, int b, float &h, float &l, float &s);
    static void HLSToRGB(float h, float l, float s, int &r, int &g, int &b);

private:
    template <typename F> void walkPixels(F &&change);

    QImage m_image; // memory order: bottom scan line first
    std::unique_ptr<QPainter> m_painter;
    bool m_drawDibOpen = false;
    BitmapInfoHeader m_info;
};

} // namespace tv
