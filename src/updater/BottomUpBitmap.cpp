#include "updater/BottomUpBitmap.h"

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

// Errors from writing the file name this source after the program's name, as reports and logs
// have always shown it.
constexpr QLatin1String kErrorSource(".pcDibSection");

QString executableName()
{
    if (QCoreApplication::instance())
        return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return QStringLiteral("updaterKetbook");
}

} // namespace

BottomUpBitmap::~BottomUpBitmap()
{
    clear();
}

bool BottomUpBitmap::allocate(qint32 width, qint32 height, QImage &pixels)
{
    const qint64 lineBytes = qint64(width) * 4;
    if (lineBytes > std::numeric_limits<qint32>::max() || lineBytes < std::numeric_limits<qint32>::min())
        throw AppError(Err::Overflow);
    m_info = BitmapInfoHeader{};
    m_info.width = width;
    m_info.height = height;
    const qint64 imageSize = lineBytes * height;
    m_info.imageSize = quint32(imageSize);
    pixels = QImage();
    if (width <= 0 || height <= 0 || imageSize > std::numeric_limits<quint32>::max()) return false;
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull() || image.bytesPerLine() != lineBytes) return false;
    image.fill(0);
    pixels = std::move(image);
    return true;
}

void BottomUpBitmap::createFromImage(const QImage &image)
{
    if (image.isNull()) return;
    if (!create(image.width(), image.height())) return;
    loadFrom(image, 0, 0, -1, -1, QPainter::CompositionMode_Source);
}

bool BottomUpBitmap::create(qint32 width, qint32 height)
{
    const bool hadPlainCopy = m_plainCopy;
    clear();
    QImage pixels;
    if (!allocate(width, height, pixels)) return false;
    m_image = std::move(pixels);
    m_painter = std::make_unique<QPainter>(&m_image);
    // The painter sees the picture the right way up; memory keeps it bottom-up.
    m_painter->translate(0, height);
    m_painter->scale(1, -1);
    m_plainCopy = hadPlainCopy;
    return true;
}

void BottomUpBitmap::loadFrom(const QImage &source, qint32 sourceLeft, qint32 sourceTop, qint32 sourceWidth,
                              qint32 sourceHeight, QPainter::CompositionMode mode)
{
    if (m_image.isNull() || source.isNull()) return;
    if (sourceWidth < 0) sourceWidth = width();
    if (sourceHeight < 0) sourceHeight = height();
    if (mode != QPainter::CompositionMode_Source) {
        m_painter->save();
        m_painter->setCompositionMode(mode);
        m_painter->drawImage(QPoint(0, 0), source, QRect(sourceLeft, sourceTop, sourceWidth, sourceHeight));
        m_painter->restore();
        return;
    }
    // A plain copy goes byte for byte, so that the colours come over exactly.
    const QImage src =
        source.format() == QImage::Format_ARGB32_Premultiplied || source.format() == QImage::Format_RGB32
            ? source
            : source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = std::min(sourceWidth, width());
    const int h = std::min(sourceHeight, height());
    for (int y = 0; y < h; ++y) {
        const int sy = sourceTop + y;
        if (sy < 0 || sy >= src.height()) continue;
        auto *dst = reinterpret_cast<quint32 *>(m_image.scanLine(height() - 1 - y));
        const auto *srow = reinterpret_cast<const quint32 *>(src.constScanLine(sy));
        for (int x = 0; x < w; ++x) {
            const int sx = sourceLeft + x;
            if (sx >= 0 && sx < src.width()) dst[x] = srow[sx];
        }
    }
}

bool BottomUpBitmap::save(const QString &fileName)
{
    const int fd =
        ::open(QFile::encodeName(fileName).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        const QString text = QString::fromLocal8Bit(std::strerror(errno)).left(256);
        throw SourcedError(Err::CantPerformOperation, executableName() + kErrorSource, text);
    }
    const quint32 imageSize = m_info.imageSize;
    uchar fileHeader[14] = {};
    fileHeader[0] = 'B';
    fileHeader[1] = 'M';
    putLE(fileHeader + 2, imageSize + 58, 4);
    putLE(fileHeader + 10, 58, 4);

    uchar info[44] = {};
    putLE(info + 0, m_info.headerSize, 4);
    putLE(info + 4, quint32(m_info.width), 4);
    putLE(info + 8, quint32(m_info.height), 4);
    putLE(info + 12, m_info.planes, 2);
    putLE(info + 14, m_info.bitsPerPixel, 2);
    putLE(info + 16, m_info.compression, 4);
    putLE(info + 20, imageSize, 4);
    putLE(info + 24, quint32(m_info.xPixelsPerMetre), 4);
    putLE(info + 28, quint32(m_info.yPixelsPerMetre), 4);
    putLE(info + 32, m_info.coloursUsed, 4);
    putLE(info + 36, m_info.coloursImportant, 4);
    // bytes 40..43: the one colour entry, 0

    bool ok = writeAll(fd, fileHeader, sizeof fileHeader);
    if (ok) ok = writeAll(fd, info, sizeof info);
    if (ok) {
        const uchar *pixels = bits();
        const size_t have = m_image.isNull() ? 0 : size_t(m_image.sizeInBytes());
        ok = pixels && have >= imageSize && writeAll(fd, pixels, imageSize);
    }
    if (::close(fd) != 0) ok = false;
    return ok;
}

QImage BottomUpBitmap::toImage() const
{
    if (m_image.isNull()) return QImage();
    QImage out(width(), height(), QImage::Format_RGB32);
    for (int y = 0; y < height(); ++y) {
        const auto *src = reinterpret_cast<const quint32 *>(m_image.constScanLine(height() - 1 - y));
        auto *dst = reinterpret_cast<quint32 *>(out.scanLine(y));
        for (int x = 0; x < width(); ++x)
            dst[x] = src[x] | 0xFF000000u;
    }
    return out;
}

void BottomUpBitmap::paintTo(QPainter &target, qint32 left, qint32 top, qint32 width, qint32 height,
                             qint32 sourceLeft, qint32 sourceTop, QPainter::CompositionMode mode)
{
    if (m_image.isNull()) return;
    if (width < 0) width = this->width();
    if (height < 0) height = this->height();
    target.save();
    target.setCompositionMode(m_plainCopy ? QPainter::CompositionMode_Source : mode);
    target.drawImage(QPoint(left, top), toImage(), QRect(sourceLeft, sourceTop, width, height));
    target.restore();
}

void BottomUpBitmap::alphaPaintTo(QPainter &target, qint32 left, qint32 top, qint32 width, qint32 height,
                                  qint32 sourceLeft, qint32 sourceTop, qint32 constantAlpha)
{
    // A blend the system would refuse is simply not drawn.
    if (m_image.isNull() || constantAlpha < 0 || constantAlpha > 255) return;
    if (width < 0) width = this->width();
    if (height < 0) height = this->height();
    target.save();
    target.setCompositionMode(QPainter::CompositionMode_SourceOver);
    target.setOpacity(constantAlpha / 255.0);
    target.drawImage(QPoint(left, top), m_image.mirrored(false, true),
                     QRect(sourceLeft, sourceTop, width, height));
    target.restore();
}

void BottomUpBitmap::alphaBlend(BottomUpBitmap &target, const BottomUpBitmap &source, qint32 left, qint32 top,
                                qint32 width, qint32 height, qint32 constantAlpha)
{
    if (!target.bits() || !source.bits()) return;
    qint64 widthBytes = source.width() < target.width() ? source.bytesPerLine() : target.bytesPerLine();
    qint64 rows = std::min(source.height(), target.height());
    if (width >= 0) widthBytes = std::min<qint64>(widthBytes, qint64(width) * 4);
    if (height >= 0) rows = std::min<qint64>(rows, height);

    const double a = constantAlpha;
    const double k = 1.0 - a / 255.0;
    uchar *dst = target.bits();
    const uchar *src = source.bits();
    const qint64 dstLine = target.bytesPerLine();
    const qint64 srcLine = source.bytesPerLine();
    for (qint64 x = 0; x <= widthBytes - 4; x += 4) {
        for (qint64 y = 0; y < rows; ++y) {
            const qint64 dy = qint64(top) + y;
            const qint64 dx = qint64(left) * 4 + x;
            if (dy < 0 || dy >= target.height() || dx < 0 || dx + 3 >= dstLine)
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

void BottomUpBitmap::clearPixels(qint32 /*alpha*/)
{
    if (!m_image.isNull()) std::memset(m_image.bits(), 0, size_t(m_image.sizeInBytes()));
}

void BottomUpBitmap::randomise(bool grey)
{
    if (m_image.isNull()) return;
    std::mt19937 gen(quint32(QTime::currentTime().msecsSinceStartOfDay()));
    std::uniform_real_distribution<double> dist(0.0, 1.0);
    auto rnd = [&] { return dist(gen); };
    for (int y = 0; y < height(); ++y) {
        uchar *row = m_image.scanLine(y);
        for (int x = 0; x < width(); ++x) {
            uchar *p = row + x * 4;
            if (grey) {
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

void BottomUpBitmap::clear()
{
    if (m_painter) {
        m_painter->end();
        m_painter.reset();
    }
    m_image = QImage();
    m_plainCopy = false;
}

std::unique_ptr<BottomUpBitmap> BottomUpBitmap::resample(qint32 newHeight, qint32 newWidth) const
{
    auto out = std::make_unique<BottomUpBitmap>();
    if (!out->create(newWidth, newHeight)) return nullptr;
    if (newWidth == width() && newHeight == height()) {
        if (!m_image.isNull()) std::memcpy(out->bits(), m_image.constBits(), size_t(m_image.sizeInBytes()));
        return out;
    }
    if (m_image.isNull()) throw AppError(Err::SubscriptOutOfRange);
    const float sxf = float(width() - 1) / float(newWidth);
    const float syf = float(height() - 1) / float(newHeight);
    const uchar *src = m_image.constBits();
    const qint64 srcLine = bytesPerLine();
    uchar *dst = out->bits();
    const qint64 dstLine = out->bytesPerLine();
    for (qint32 y = 0; y < newHeight; ++y) {
        const float sy = float(y) * syf;
        const int iy = int(std::floor(sy));
        const float fy = sy - float(iy);
        for (qint32 x = 0; x < newWidth; ++x) {
            const float sx = float(x) * sxf;
            const int ix = int(std::floor(sx));
            const float fx = sx - float(ix);
            if (ix < 0 || iy < 0 || ix + 1 >= width() || iy + 1 >= height())
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

void BottomUpBitmap::rgbToHls(int red, int green, int blue, float &hue, float &luminance, float &saturation)
{
    const float rf = float(red) / 255.0f;
    const float gf = float(green) / 255.0f;
    const float bf = float(blue) / 255.0f;
    const float mx = std::max({rf, gf, bf});
    const float mn = std::min({rf, gf, bf});
    luminance = (mx + mn) / 2.0f;
    if (mx == mn) {
        hue = 0;
        saturation = 0;
        return;
    }
    const float delta = mx - mn;
    saturation = luminance <= 0.5f ? delta / (mx + mn) : delta / (2.0f - mx - mn);
    if (rf == mx)
        hue = (gf - bf) / delta;
    else if (gf == mx)
        hue = 2.0f + (bf - rf) / delta;
    else
        hue = 4.0f + (rf - gf) / delta;
}

void BottomUpBitmap::hlsToRgb(float hue, float luminance, float saturation, int &red, int &green, int &blue)
{
    const float h = hue, l = luminance, s = saturation;
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
    red = int(roundEvenF(rf * 255.0f));
    green = int(roundEvenF(gf * 255.0f));
    blue = int(roundEvenF(bf * 255.0f));
}

template <typename F> void BottomUpBitmap::walkPixels(F &&change)
{
    if (m_image.isNull()) return;
    uchar *pixels = m_image.bits();
    const qint64 line = bytesPerLine();
    for (qint64 x = 0; x <= qint64(width() - 1) * 4; x += 4) {
        for (qint64 y = 0; y < height(); ++y) {
            uchar *p = pixels + y * line + x;
            float h, l, s;
            rgbToHls(p[2], p[1], p[0], h, l, s);
            change(h, l, s);
            int r, g, b;
            hlsToRgb(h, l, s, r, g, b);
            if (r < 0 || r > 255 || g < 0 || g > 255 || b < 0 || b > 255) throw AppError(Err::Overflow);
            p[0] = uchar(b);
            p[1] = uchar(g);
            p[2] = uchar(r);
        }
    }
}

void BottomUpBitmap::modifyHls(double hue, double luminance, double saturation)
{
    const float hueFactor = float(hue), luminanceFactor = float(luminance),
                saturationFactor = float(saturation);
    walkPixels([&](float &h, float &l, float &s) {
        h *= hueFactor;
        l = std::min(l * luminanceFactor, 1.0f);
        s = std::min(s * saturationFactor, 1.0f);
    });
}

void BottomUpBitmap::lighten(qint32 percent)
{
    const float factor = 1.0f + float(percent) / 100.0f;
    walkPixels([&](float &, float &l, float &) { l = std::min(l * factor, 1.0f); });
}

} // namespace tv
