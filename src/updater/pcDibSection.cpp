#include "pcDibSection.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTime>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <random>
#include <unistd.h>

namespace tv {

namespace {

// Rounding to the nearest integer, a half to the even neighbour (the default FPU mode).
inline double roundEven(double v)
{
    return std::nearbyint(v);
}
inline float roundEvenF(float v)
{
    return std::nearbyint(v);
}

void putLE(uchar *p, quint32 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = uchar(v >> (8 * i));
}

// Whole-buffer write that reports a short write as a failure.
bool writeAll(int fd, const void *data, size_t size)
{
    const ssize_t n = ::write(fd, data, size);
    return n >= 0 && size_t(n) == size;
}

QString executableName()
{
    if (QCoreApplication::instance())
        return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return QStringLiteral("updaterKetbook");
}

} // namespace

pcDibSection::~pcDibSection()
{
    ClearUp();
}

bool pcDibSection::CreateDIB(qint32 lWidth, qint32 lHeight, QImage &hDib)
{
    const qint64 bytesPerLine = qint64(lWidth) * 4;
    if (bytesPerLine > std::numeric_limits<qint32>::max() ||
        bytesPerLine < std::numeric_limits<qint32>::min())
        throw AppError(Err::Overflow);
    m_info = BitmapInfoHeader{};
    m_info.biWidth = lWidth;
    m_info.biHeight = lHeight;
    const qint64 imageSize = bytesPerLine * lHeight;
    m_info.biSizeImage = quint32(imageSize);
    hDib = QImage();
    if (lWidth <= 0 || lHeight <= 0 || imageSize > std::numeric_limits<quint32>::max()) return false;
    QImage image(lWidth, lHeight, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull() || image.bytesPerLine() != bytesPerLine) return false;
    image.fill(0);
    hDib = std::move(image);
    return true;
}

void pcDibSection::CreateFromPicture(const QImage &picThis)
{
    CreateFromHBitmap(picThis);
}

void pcDibSection::CreateFromHBitmap(const QImage &hBmp)
{
    if (hBmp.isNull()) return;
    if (!Create(hBmp.width(), hBmp.height())) return;
    LoadPictureBlt(hBmp, 0, 0, -1, -1, QPainter::CompositionMode_Source);
}

bool pcDibSection::Create(qint32 lWidth, qint32 lHeight)
{
    const bool hadDrawDib = m_drawDibOpen;
    ClearUp();
    QImage dib;
    if (!CreateDIB(lWidth, lHeight, dib)) return false;
    m_image = std::move(dib);
    m_painter = std::make_unique<QPainter>(&m_image);
    // The painter sees the picture the right way up; memory keeps it bottom-up.
    m_painter->translate(0, lHeight);
    m_painter->scale(1, -1);
    m_drawDibOpen = hadDrawDib;
    return true;
}

void pcDibSection::LoadPictureBlt(const QImage &lHDC, qint32 lSrcLeft, qint32 lSrcTop, qint32 lSrcWidth,
                                  qint32 lSrcHeight, QPainter::CompositionMode eRop)
{
    if (m_image.isNull() || lHDC.isNull()) return;
    if (lSrcWidth < 0) lSrcWidth = Width();
    if (lSrcHeight < 0) lSrcHeight = Height();
    if (eRop != QPainter::CompositionMode_Source) {
        m_painter->save();
        m_painter->setCompositionMode(eRop);
        m_painter->drawImage(QPoint(0, 0), lHDC, QRect(lSrcLeft, lSrcTop, lSrcWidth, lSrcHeight));
        m_painter->restore();
        return;
    }
    // A plain copy goes byte for byte, so that the colours come over exactly.
    const QImage src =
        lHDC.format() == QImage::Format_ARGB32_Premultiplied || lHDC.format() == QImage::Format_RGB32
            ? lHDC
            : lHDC.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = std::min(lSrcWidth, Width());
    const int h = std::min(lSrcHeight, Height());
    for (int y = 0; y < h; ++y) {
        const int sy = lSrcTop + y;
        if (sy < 0 || sy >= src.height()) continue;
        auto *dst = reinterpret_cast<quint32 *>(m_image.scanLine(Height() - 1 - y));
        const auto *srow = reinterpret_cast<const quint32 *>(src.constScanLine(sy));
        for (int x = 0; x < w; ++x) {
            const int sx = lSrcLeft + x;
            if (sx >= 0 && sx < src.width()) dst[x] = srow[sx];
        }
    }
}

bool pcDibSection::SavePicture(const QString &sFileName)
{
    const int fd =
        ::open(QFile::encodeName(sFileName).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        const QString text = QString::fromLocal8Bit(std::strerror(errno)).left(256);
        throw SourcedError(Err::CantPerformOperation, executableName() + QStringLiteral(".pcDibSection"),
                           text);
    }
    const quint32 imageSize = m_info.biSizeImage;
    uchar fileHeader[14] = {};
    fileHeader[0] = 'B';
    fileHeader[1] = 'M';
    putLE(fileHeader + 2, imageSize + 58, 4);
    putLE(fileHeader + 10, 58, 4);

    uchar info[44] = {};
    putLE(info + 0, m_info.biSize, 4);
    putLE(info + 4, quint32(m_info.biWidth), 4);
    putLE(info + 8, quint32(m_info.biHeight), 4);
    putLE(info + 12, m_info.biPlanes, 2);
    putLE(info + 14, m_info.biBitCount, 2);
    putLE(info + 16, m_info.biCompression, 4);
    putLE(info + 20, imageSize, 4);
    putLE(info + 24, quint32(m_info.biXPelsPerMeter), 4);
    putLE(info + 28, quint32(m_info.biYPelsPerMeter), 4);
    putLE(info + 32, m_info.biClrUsed, 4);
    putLE(info + 36, m_info.biClrImportant, 4);
    // bytes 40..43: the one colour entry, 0

    bool ok = writeAll(fd, fileHeader, sizeof fileHeader);
    if (ok) ok = writeAll(fd, info, sizeof info);
    if (ok) {
        const uchar *bits = DIBSectionBitsPtr();
        const size_t have = m_image.isNull() ? 0 : size_t(m_image.sizeInBytes());
        ok = bits && have >= imageSize && writeAll(fd, bits, imageSize);
    }
    if (::close(fd) != 0) ok = false;
    return ok;
}

QImage pcDibSection::toImage() const
{
    if (m_image.isNull()) return QImage();
    QImage out(Width(), Height(), QImage::Format_RGB32);
    for (int y = 0; y < Height(); ++y) {
        const auto *src = reinterpret_cast<const quint32 *>(m_image.constScanLine(Height() - 1 - y));
        auto *dst = reinterpret_cast<quint32 *>(out.scanLine(y));
        for (int x = 0; x < Width(); ++x)
            dst[x] = src[x] | 0xFF000000u;
    }
    return out;
}

void pcDibSection::PaintPicture(QPainter &lHDC, qint32 lDestLeft, qint32 lDestTop, qint32 lDestWidth,
                                qint32 lDestHeight, qint32 lSrcLeft, qint32 lSrcTop,
                                QPainter::CompositionMode eRop)
{
    if (m_image.isNull()) return;
    if (lDestWidth < 0) lDestWidth = Width();
    if (lDestHeight < 0) lDestHeight = Height();
    lHDC.save();
    lHDC.setCompositionMode(m_drawDibOpen ? QPainter::CompositionMode_Source : eRop);
    lHDC.drawImage(QPoint(lDestLeft, lDestTop), toImage(), QRect(lSrcLeft, lSrcTop, lDestWidth, lDestHeight));
    lHDC.restore();
}

void pcDibSection::AlphaPaintPicture(QPainter &lHDC, qint32 lDestLeft, qint32 lDestTop, qint32 lDestWidth,
                                     qint32 lDestHeight, qint32 lSrcLeft, qint32 lSrcTop,
                                     qint32 lConstantAlpha)
{
    // A blend the system would refuse is simply not drawn.
    if (m_image.isNull() || lConstantAlpha < 0 || lConstantAlpha > 255) return;
    if (lDestWidth < 0) lDestWidth = Width();
    if (lDestHeight < 0) lDestHeight = Height();
    lHDC.save();
    lHDC.setCompositionMode(QPainter::CompositionMode_SourceOver);
    lHDC.setOpacity(lConstantAlpha / 255.0);
    lHDC.drawImage(QPoint(lDestLeft, lDestTop), m_image.mirrored(false, true),
                   QRect(lSrcLeft, lSrcTop, lDestWidth, lDestHeight));
    lHDC.restore();
}

void pcDibSection::CodeAlphaBlend(pcDibSection &cDst, const pcDibSection &cSrc, qint32 lDestLeft,
                                  qint32 lDestTop, qint32 lDestWidth, qint32 lDestHeight,
                                  qint32 SourceConstantAlpha)
{
    if (!cDst.DIBSectionBitsPtr() || !cSrc.DIBSectionBitsPtr()) return;
    qint64 widthBytes = cSrc.Width() < cDst.Width() ? cSrc.BytesPerScanLine() : cDst.BytesPerScanLine();
    qint64 height = std::min(cSrc.Height(), cDst.Height());
    if (lDestWidth >= 0) widthBytes = std::min<qint64>(widthBytes, qint64(lDestWidth) * 4);
    if (lDestHeight >= 0) height = std::min<qint64>(height, lDestHeight);

    const double a = SourceConstantAlpha;
    const double k = 1.0 - a / 255.0;
    uchar *dst = cDst.DIBSectionBitsPtr();
    const uchar *src = cSrc.DIBSectionBitsPtr();
    const qint64 dstLine = cDst.BytesPerScanLine();
    const qint64 srcLine = cSrc.BytesPerScanLine();
    for (qint64 x = 0; x <= widthBytes - 4; x += 4) {
        for (qint64 y = 0; y < height; ++y) {
            const qint64 dy = qint64(lDestTop) + y;
            const qint64 dx = qint64(lDestLeft) * 4 + x;
            if (dy < 0 || dy >= cDst.Height() || dx < 0 || dx + 3 >= dstLine)
                throw AppError(Err::SubscriptOutOfRange);
            for (int c = 0; c < 3; ++c) {
                const double s = src[y * srcLine + x + c];
                uchar &d = dst[dy * dstLine + dx + c];
                const double v = roundEven(k * d + (a * s) / 255.0);
                if (v < 0 || v > 255) throw AppError(Err::Overflow);
                d = uchar(v);
            }
        }
    }
}

void pcDibSection::Clear(qint32 /*lAlpha*/)
{
    if (!m_image.isNull()) std::memset(m_image.bits(), 0, size_t(m_image.sizeInBytes()));
}

void pcDibSection::RandomiseBits(bool bGray)
{
    if (m_image.isNull()) return;
    std::mt19937 gen(quint32(QTime::currentTime().msecsSinceStartOfDay()));
    std::uniform_real_distribution<double> dist(0.0, 1.0);
    auto rnd = [&] { return dist(gen); };
    for (int y = 0; y < Height(); ++y) {
        uchar *row = m_image.scanLine(y);
        for (int x = 0; x < Width(); ++x) {
            uchar *p = row + x * 4;
            if (bGray) {
                const double v = roundEven(rnd() * 255);
                const double a = roundEven(rnd() * 255);
                p[3] = uchar(a);
                p[0] = p[1] = p[2] = uchar(roundEven(v * a / 255));
            } else {
                const double a = roundEven(rnd() * 255);
                p[3] = uchar(a);
                for (int c = 0; c < 3; ++c)
                    p[c] = uchar(roundEven(rnd() * 255 * a / 255));
            }
        }
    }
}

void pcDibSection::ClearUp()
{
    if (m_painter) {
        m_painter->end();
        m_painter.reset();
    }
    m_image = QImage();
    m_drawDibOpen = false;
}

std::unique_ptr<pcDibSection> pcDibSection::Resample(qint32 lNewHeight, qint32 lNewWidth) const
{
    auto out = std::make_unique<pcDibSection>();
    if (!out->Create(lNewWidth, lNewHeight)) return nullptr;
    if (lNewWidth == Width() && lNewHeight == Height()) {
        if (!m_image.isNull())
            std::memcpy(out->DIBSectionBitsPtr(), m_image.constBits(), size_t(m_image.sizeInBytes()));
        return out;
    }
    if (m_image.isNull()) throw AppError(Err::SubscriptOutOfRange);
    const float sxf = float(Width() - 1) / float(lNewWidth);
    const float syf = float(Height() - 1) / float(lNewHeight);
    const uchar *src = m_image.constBits();
    const qint64 srcLine = BytesPerScanLine();
    uchar *dst = out->DIBSectionBitsPtr();
    const qint64 dstLine = out->BytesPerScanLine();
    for (qint32 y = 0; y < lNewHeight; ++y) {
        const float sy = float(y) * syf;
        const int iy = int(std::floor(sy));
        const float fy = sy - float(iy);
        for (qint32 x = 0; x < lNewWidth; ++x) {
            const float sx = float(x) * sxf;
            const int ix = int(std::floor(sx));
            const float fx = sx - float(ix);
            if (ix < 0 || iy < 0 || ix + 1 >= Width() || iy + 1 >= Height())
                throw AppError(Err::SubscriptOutOfRange);
            const uchar *top = src + qint64(iy) * srcLine + qint64(ix) * 4;
            const uchar *below = top + srcLine;
            uchar *d = dst + qint64(y) * dstLine + qint64(x) * 4;
            for (int c = 0; c < 3; ++c) {
                const float v0 = roundEvenF((1 - fy) * top[c] + fy * below[c]);
                const float v1 = roundEvenF((1 - fy) * top[4 + c] + fy * below[4 + c]);
                const float v = roundEvenF((1 - fx) * v0 + fx * v1);
                d[c] = uchar(std::clamp(v, 0.0f, 255.0f));
            }
            d[3] = 0;
        }
    }
    return out;
}

void pcDibSection::RGBToHLS(int r, int g, int b, float &h, float &l, float &s)
{
    const float rf = float(r) / 255.0f;
    const float gf = float(g) / 255.0f;
    const float bf = float(b) / 255.0f;
    const float mx = std::max({rf, gf, bf});
    const float mn = std::min({rf, gf, bf});
    l = (mx + mn) / 2.0f;
    if (mx == mn) {
        h = 0;
        s = 0;
        return;
    }
    const float delta = mx - mn;
    s = l <= 0.5f ? delta / (mx + mn) : delta / (2.0f - mx - mn);
    if (rf == mx)
        h = (gf - bf) / delta;
    else if (gf == mx)
        h = 2.0f + (bf - rf) / delta;
    else
        h = 4.0f + (rf - gf) / delta;
}

void pcDibSection::HLSToRGB(float h, float l, float s, int &r, int &g, int &b)
{
    float rf, gf, bf;
    if (s == 0) {
        rf = gf = bf = l;
    } else {
        const float low = l <= 0.5f ? l * (1.0f - s) : l - s * (1.0f - l);
        const float high = 2.0f * l - low;
        const float span = high - low;
        if (h < 0) {
            rf = high;
            gf = low;
            bf = low - h * span;
        } else if (h < 1) {
            rf = high;
            gf = low + h * span;
            bf = low;
        } else if (h < 2) {
            rf = low - (h - 2.0f) * span;
            gf = high;
            bf = low;
        } else if (h < 3) {
            rf = low;
            gf = high;
            bf = low + (h - 2.0f) * span;
        } else if (h < 4) {
            rf = low;
            gf = low - (h - 4.0f) * span;
            bf = high;
        } else {
            rf = low + (h - 4.0f) * span;
            gf = low;
            bf = high;
        }
    }
    r = int(roundEvenF(rf * 255.0f));
    g = int(roundEvenF(gf * 255.0f));
    b = int(roundEvenF(bf * 255.0f));
}

template <typename F> void pcDibSection::walkPixels(F &&change)
{
    if (m_image.isNull()) return;
    uchar *bits = m_image.bits();
    const qint64 line = BytesPerScanLine();
    for (qint64 x = 0; x <= qint64(Width() - 1) * 4; x += 4) {
        for (qint64 y = 0; y < Height(); ++y) {
            uchar *p = bits + y * line + x;
            float h, l, s;
            RGBToHLS(p[2], p[1], p[0], h, l, s);
            change(h, l, s);
            int r, g, b;
            HLSToRGB(h, l, s, r, g, b);
            if (r < 0 || r > 255 || g < 0 || g > 255 || b < 0 || b > 255) throw AppError(Err::Overflow);
            p[0] = uchar(b);
            p[1] = uchar(g);
            p[2] = uchar(r);
        }
    }
}

void pcDibSection::ModifyHLS(double fHue, double fLuminance, double fSaturation)
{
    const float fh = float(fHue), fl = float(fLuminance), fs = float(fSaturation);
    walkPixels([&](float &h, float &l, float &s) {
        h *= fh;
        l = std::min(l * fl, 1.0f);
        s = std::min(s * fs, 1.0f);
    });
}

void pcDibSection::Lighten(qint32 lAmount)
{
    const float factor = 1.0f + float(lAmount) / 100.0f;
    walkPixels([&](float &, float &l, float &) { l = std::min(l * factor, 1.0f); });
}

} // namespace tv
