#include "updater/BottomUpBitmap.h"
#include "updater/OffscreenSurface.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace tv;

namespace {
// Pixel (x, row) in memory order: row 0 is the bottom scan line.
uchar *px(BottomUpBitmap &d, int x, int row)
{
    return d.bits() + row * d.bytesPerLine() + x * 4;
}

void setPx(BottomUpBitmap &d, int x, int row, int b, int g, int r, int a = 0)
{
    uchar *p = px(d, x, row);
    p[0] = uchar(b);
    p[1] = uchar(g);
    p[2] = uchar(r);
    p[3] = uchar(a);
}

quint32 le32(const QByteArray &data, int offset)
{
    return qFromLittleEndian<quint32>(reinterpret_cast<const uchar *>(data.constData()) + offset);
}
quint16 le16(const QByteArray &data, int offset)
{
    return qFromLittleEndian<quint16>(reinterpret_cast<const uchar *>(data.constData()) + offset);
}
} // namespace

class TestBottomUpBitmap : public QObject
{
    Q_OBJECT
private slots:
    void createSizesAndZeroBytes();
    void createRejectsBadSizes();
    void paintingLandsBottomUp();
    void saveWritesHeaderAndBytes();
    void saveUncreatableFileIsError17();
    void modifyHlsIdentity_data();
    void modifyHlsIdentity();
    void lighten_data();
    void lighten();
    void modifyHlsOverflowStopsAtPixel();
    void alphaBlend_data();
    void alphaBlend();
    void alphaBlendAtOffsetAndOutOfRange();
    void resampleBilinearHalfEven();
    void resampleSameSizeCopiesAndThinSourceFails();
    void clearAndRandomise();
    void createFromImageAndPaintBack();
    void alphaPaintTo();
    void plainCopySurvivesCreate();
    void surfaceGrowsAndKeeps();
    void surfaceCopiesRectangle();
};

void TestBottomUpBitmap::createSizesAndZeroBytes()
{
    BottomUpBitmap bitmap;
    QVERIFY(bitmap.create(3, 2));
    QCOMPARE(bitmap.bytesPerLine(), 12);
    QCOMPARE(bitmap.width(), 3);
    QCOMPARE(bitmap.height(), 2);
    QCOMPARE(bitmap.info().imageSize, 24u);
    QVERIFY(bitmap.painter());
    const QByteArray bytes(reinterpret_cast<const char *>(bitmap.bits()), 24);
    QCOMPARE(bytes, QByteArray(24, '\0'));
}

void TestBottomUpBitmap::createRejectsBadSizes()
{
    BottomUpBitmap bitmap;
    QVERIFY(!bitmap.create(0, 5));
    QVERIFY(!bitmap.painter());
    QVERIFY(!bitmap.bits());
    try {
        bitmap.create(0x20000000, 1); // 2^31 bytes a line
        QFAIL("no overflow");
    } catch (const tv::AppError &e) {
        QCOMPARE(e.number(), 6);
    }
}

void TestBottomUpBitmap::paintingLandsBottomUp()
{
    BottomUpBitmap bitmap;
    QVERIFY(bitmap.create(4, 3));
    // Top-left of the picture is the first pixel of the last scan line in memory.
    bitmap.painter()->fillRect(QRect(0, 0, 1, 1), QColor(10, 20, 30));
    bitmap.painter()->fillRect(QRect(3, 2, 1, 1), QColor(40, 50, 60));
    const uchar *topLeft = px(bitmap, 0, 2);
    QCOMPARE(int(topLeft[0]), 30);
    QCOMPARE(int(topLeft[1]), 20);
    QCOMPARE(int(topLeft[2]), 10);
    const uchar *bottomRight = px(bitmap, 3, 0);
    QCOMPARE(int(bottomRight[0]), 60);
    QCOMPARE(int(bottomRight[2]), 40);
    QCOMPARE(bitmap.toImage().pixelColor(0, 0), QColor(10, 20, 30));
}

void TestBottomUpBitmap::saveWritesHeaderAndBytes()
{
    QTemporaryDir dir;
    BottomUpBitmap bitmap;
    QVERIFY(bitmap.create(3, 2));
    setPx(bitmap, 0, 0, 1, 2, 3, 4);
    setPx(bitmap, 2, 1, 250, 251, 252, 253);
    const QString path = dir.filePath(QStringLiteral("pic.bmp"));
    QVERIFY(bitmap.save(path));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray data = f.readAll();
    QCOMPARE(data.size(), 82);
    QCOMPARE(data.left(2), QByteArray("BM"));
    QCOMPARE(le32(data, 2), 82u);
    QCOMPARE(le32(data, 6), 0u);
    QCOMPARE(le32(data, 10), 58u);
    QCOMPARE(le32(data, 14), 40u);
    QCOMPARE(qint32(le32(data, 18)), 3);
    QCOMPARE(qint32(le32(data, 22)), 2); // positive: bottom-up
    QCOMPARE(le16(data, 26), quint16(1));
    QCOMPARE(le16(data, 28), quint16(32));
    QCOMPARE(le32(data, 30), 0u);
    QCOMPARE(le32(data, 34), 24u);
    for (int off = 38; off < 58; off += 4)
        QCOMPARE(le32(data, off), 0u);
    QCOMPARE(data.mid(58), QByteArray(reinterpret_cast<const char *>(bitmap.bits()), 24));
    QCOMPARE(data.mid(58, 4), QByteArray("\x01\x02\x03\x04", 4));

    // Saving again over the file makes it anew, not longer.
    QVERIFY(bitmap.create(1, 1));
    QVERIFY(bitmap.save(path));
    QCOMPARE(QFileInfo(path).size(), 62);
}

void TestBottomUpBitmap::saveUncreatableFileIsError17()
{
    QTemporaryDir dir;
    BottomUpBitmap bitmap;
    QVERIFY(bitmap.create(2, 2));
    try {
        bitmap.save(dir.filePath(QStringLiteral("missing/pic.bmp")));
        QFAIL("no error");
    } catch (const BottomUpBitmap::SourcedError &e) {
        QCOMPARE(e.number(), 17);
        QVERIFY(e.source().endsWith(QStringLiteral(".pcDibSection")));
        QVERIFY(!e.description().isEmpty());
        QVERIFY(e.description().size() <= 256);
    }
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("missing/pic.bmp"))));
}

void TestBottomUpBitmap::modifyHlsIdentity_data()
{
    QTest::addColumn<QColor>("colour");
    QTest::newRow("grey") << QColor(128, 128, 128);
    QTest::newRow("black") << QColor(0, 0, 0);
    QTest::newRow("white") << QColor(255, 255, 255);
    QTest::newRow("red") << QColor(255, 0, 0);
    QTest::newRow("green max, blue over red") << QColor(10, 200, 90);
    QTest::newRow("blue max") << QColor(30, 60, 220);
    QTest::newRow("red max, blue over green (negative hue)") << QColor(240, 10, 120);
    QTest::newRow("dark muted") << QColor(40, 35, 30);
}

void TestBottomUpBitmap::modifyHlsIdentity()
{
    QFETCH(QColor, colour);
    BottomUpBitmap bitmap;
    QVERIFY(bitmap.create(2, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            setPx(bitmap, x, y, colour.blue(), colour.green(), colour.red(), 77);
    bitmap.modifyHls(1, 1, 1);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            const uchar *p = px(bitmap, x, y);
            QVERIFY(qAbs(p[0] - colour.blue()) <= 1);
            QVERIFY(qAbs(p[1] - colour.green()) <= 1);
            QVERIFY(qAbs(p[2] - colour.red()) <= 1);
            QCOMPARE(int(p[3]), 77); // the fourth byte is left alone
        }
    if (colour.red() == colour.green() && colour.green() == colour.blue()) {
        float h, l, s;
        BottomUpBitmap::rgbToHls(colour.red(), colour.green(), colour.blue(), h, l, s);
        QCOMPARE(h, 0.0f);
        QCOMPARE(s, 0.0f);
        QCOMPARE(int(px(bitmap, 0, 0)[0]), colour.blue()); // grey comes back exactly
    }
}

void TestBottomUpBitmap::lighten_data()
{
    QTest::addColumn<QColor>("colour");
    QTest::newRow("white stays white") << QColor(255, 255, 255);
    QTest::newRow("black stays black") << QColor(0, 0, 0);
    QTest::newRow("mid grey caps at white") << QColor(128, 128, 128);
    QTest::newRow("dark grey doubles") << QColor(60, 60, 60);
    QTest::newRow("dark red") << QColor(100, 50, 50);
    QTest::newRow("dark teal") << QColor(20, 80, 70);
}

void TestBottomUpBitmap::lighten()
{
    QFETCH(QColor, colour);
    BottomUpBitmap bitmap;
    QVERIFY(bitmap.create(1, 1));
    setPx(bitmap, 0, 0, colour.blue(), colour.green(), colour.red());
    float h0, l0, s0;
    BottomUpBitmap::rgbToHls(colour.red(), colour.green(), colour.blue(), h0, l0, s0);
    bitmap.lighten(100);
    const uchar *p = px(bitmap, 0, 0);
    float h1, l1, s1;
    BottomUpBitmap::rgbToHls(p[2], p[1], p[0], h1, l1, s1);
    QVERIFY2(qAbs(l1 - std::min(2 * l0, 1.0f)) <= 1.0f / 255, qPrintable(QString::number(l1)));
    if (l1 < 0.99f && s0 > 0) {
        QVERIFY(qAbs(h1 - h0) < 0.05f);
        QVERIFY(qAbs(s1 - s0) < 0.02f);
    }
    if (l0 >= 0.5f) {
        QCOMPARE(int(p[0]), 255);
        QCOMPARE(int(p[2]), 255);
    }
}

void TestBottomUpBitmap::modifyHlsOverflowStopsAtPixel()
{
    BottomUpBitmap bitmap;
    QVERIFY(bitmap.create(2, 1));
    setPx(bitmap, 0, 0, 0, 0, 200);   // red: hue 0, stays within range when scaled
    setPx(bitmap, 1, 0, 200, 0, 100); // hue near 5: times 1.5 leaves the colour circle
    try {
        bitmap.modifyHls(1.5, 1, 1);
        QFAIL("no overflow");
    } catch (const tv::AppError &e) {
        QCOMPARE(e.number(), 6);
    }
    QCOMPARE(int(px(bitmap, 0, 0)[2]), 200); // the first pixel was done
    QCOMPARE(int(px(bitmap, 1, 0)[0]), 200); // the failing one is untouched
}

void TestBottomUpBitmap::alphaBlend_data()
{
    QTest::addColumn<int>("alpha");
    QTest::addColumn<int>("dst");
    QTest::addColumn<int>("src");
    QTest::addColumn<int>("expected");
    QTest::newRow("255 copies the source") << 255 << 200 << 17 << 17;
    QTest::newRow("0 keeps the destination") << 0 << 200 << 17 << 200;
    QTest::newRow("128 from black to white") << 128 << 0 << 255 << 128;
    // (127/255) * 200 + 128 * 100 / 255 = 99.608 + 50.196 = 149.80
    QTest::newRow("128 mixed") << 128 << 200 << 100 << 150;
    // 0.8 * 10 + 0.2 * 3 = 8.6
    QTest::newRow("51 mixed") << 51 << 10 << 3 << 9;
}

void TestBottomUpBitmap::alphaBlend()
{
    QFETCH(int, alpha);
    QFETCH(int, dst);
    QFETCH(int, src);
    QFETCH(int, expected);
    BottomUpBitmap d, s;
    QVERIFY(d.create(3, 2));
    QVERIFY(s.create(2, 3)); // narrower and taller: the common area is 2 x 2
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            setPx(d, x, y, dst, dst, dst, 9);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            setPx(s, x, y, src, src, src, 200);
    BottomUpBitmap::alphaBlend(d, s, 0, 0, -1, -1, alpha);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 2; ++x) {
            for (int c = 0; c < 3; ++c)
                QCOMPARE(int(px(d, x, y)[c]), expected);
            QCOMPARE(int(px(d, x, y)[3]), 9);
        }
        QCOMPARE(int(px(d, 2, y)[0]), dst); // outside the narrower source
    }
}

void TestBottomUpBitmap::alphaBlendAtOffsetAndOutOfRange()
{
    BottomUpBitmap d, s;
    QVERIFY(d.create(2, 2));
    QVERIFY(s.create(2, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            setPx(s, x, y, 90 + x, 90 + x, 90 + x);
    // From left 1 the second source column has no room: the first column is blended, then it stops.
    try {
        BottomUpBitmap::alphaBlend(d, s, 1, 0, -1, -1, 255);
        QFAIL("no range error");
    } catch (const tv::AppError &e) {
        QCOMPARE(e.number(), 9);
    }
    QCOMPARE(int(px(d, 1, 0)[0]), 90);
    QCOMPARE(int(px(d, 1, 1)[0]), 90);
    QCOMPARE(int(px(d, 0, 0)[0]), 0);

    // Given sizes limit the blend.
    BottomUpBitmap d2;
    QVERIFY(d2.create(2, 2));
    BottomUpBitmap::alphaBlend(d2, s, 0, 0, 1, 1, 255);
    QCOMPARE(int(px(d2, 0, 0)[0]), 90);
    QCOMPARE(int(px(d2, 1, 0)[0]), 0);
    QCOMPARE(int(px(d2, 0, 1)[0]), 0);
}

void TestBottomUpBitmap::resampleBilinearHalfEven()
{
    BottomUpBitmap src;
    QVERIFY(src.create(2, 2));
    // blue bytes: bottom row 0, 100; top row 200, 40. Green and red follow other values.
    setPx(src, 0, 0, 0, 10, 255, 50);
    setPx(src, 1, 0, 100, 10, 255, 50);
    setPx(src, 0, 1, 200, 30, 0, 50);
    setPx(src, 1, 1, 40, 30, 0, 50);
    const auto out = src.resample(2, 4);
    QVERIFY(out);
    QCOMPARE(out->width(), 4);
    QCOMPARE(out->height(), 2);
    // sxf = 1/4, syf = 1/2: row 0 reads the bottom row, row 1 the half-way blend.
    const int expectBlue[2][4] = {{0, 25, 50, 75}, {100, 92, 85, 78}}; // 92.5 -> 92, 77.5 -> 78
    const int expectGreen[2][4] = {{10, 10, 10, 10}, {20, 20, 20, 20}};
    const int expectRed[2][4] = {{255, 255, 255, 255}, {128, 128, 128, 128}}; // 127.5 -> 128
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            const uchar *p = px(*out, x, y);
            QCOMPARE(int(p[0]), expectBlue[y][x]);
            QCOMPARE(int(p[1]), expectGreen[y][x]);
            QCOMPARE(int(p[2]), expectRed[y][x]);
            QCOMPARE(int(p[3]), 0);
        }
}

void TestBottomUpBitmap::resampleSameSizeCopiesAndThinSourceFails()
{
    BottomUpBitmap src;
    QVERIFY(src.create(3, 2));
    src.randomise(false);
    const auto same = src.resample(2, 3);
    QVERIFY(same);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(same->bits()), 24),
             QByteArray(reinterpret_cast<const char *>(src.bits()), 24));

    QVERIFY(!src.resample(0, 3)); // no bitmap of that size

    BottomUpBitmap thin;
    QVERIFY(thin.create(1, 4));
    try {
        thin.resample(4, 4);
        QFAIL("no range error");
    } catch (const tv::AppError &e) {
        QCOMPARE(e.number(), 9);
    }
}

void TestBottomUpBitmap::clearAndRandomise()
{
    BottomUpBitmap bitmap;
    QVERIFY(bitmap.create(8, 8));
    for (bool gray : {true, false}) {
        bitmap.randomise(gray);
        int nonZero = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const uchar *p = px(bitmap, x, y);
                // Colours are scaled by the pixel's own alpha: never above it.
                QVERIFY(p[0] <= p[3] && p[1] <= p[3] && p[2] <= p[3]);
                if (gray) QVERIFY(p[0] == p[1] && p[1] == p[2]);
                nonZero += p[3] != 0;
            }
        QVERIFY(nonZero > 32);
        bitmap.clearPixels(200);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(bitmap.bits()), 256), QByteArray(256, '\0'));
    }
}

void TestBottomUpBitmap::createFromImageAndPaintBack()
{
    QImage pic(3, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            pic.setPixelColor(x, y, QColor(x * 80, y * 100, 7));
    BottomUpBitmap bitmap;
    bitmap.createFromImage(pic);
    QCOMPARE(bitmap.width(), 3);
    QCOMPARE(bitmap.height(), 2);
    QCOMPARE(int(px(bitmap, 2, 0)[2]), 160); // bottom row first in memory
    QCOMPARE(int(px(bitmap, 2, 0)[1]), 100);
    QCOMPARE(int(px(bitmap, 2, 1)[1]), 0);
    QCOMPARE(bitmap.toImage(), pic);

    // Painted at an offset, with the bitmap's own size, over a larger picture.
    QImage canvas(5, 4, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter p(&canvas);
        bitmap.paintTo(p, 1, 2);
    }
    QCOMPARE(canvas.pixelColor(0, 0), QColor(Qt::white));
    QCOMPARE(canvas.pixelColor(1, 2), pic.pixelColor(0, 0));
    QCOMPARE(canvas.pixelColor(3, 3), pic.pixelColor(2, 1));
    QCOMPARE(canvas.pixelColor(4, 3), QColor(Qt::white));

    // A raster operation other than a copy: XOR with white inverts.
    {
        QPainter p(&canvas);
        bitmap.paintTo(p, 0, 0, 1, 1, 2, 1, QPainter::RasterOp_SourceXorDestination);
    }
    QCOMPARE(canvas.pixelColor(0, 0), QColor(255 - 160, 255 - 100, 255 - 7));

    // A part loaded from a source rectangle lands at (0, 0).
    BottomUpBitmap part;
    QVERIFY(part.create(2, 1));
    part.loadFrom(pic, 1, 1, 2, 1);
    QCOMPARE(part.toImage().pixelColor(0, 0), pic.pixelColor(1, 1));
    QCOMPARE(part.toImage().pixelColor(1, 0), pic.pixelColor(2, 1));
}

void TestBottomUpBitmap::alphaPaintTo()
{
    BottomUpBitmap bitmap;
    QVERIFY(bitmap.create(1, 1));
    setPx(bitmap, 0, 0, 0, 0, 128, 128); // half-transparent red, premultiplied
    auto paintOnWhite = [&](int constantAlpha) {
        QImage canvas(1, 1, QImage::Format_RGB32);
        canvas.fill(Qt::white);
        QPainter p(&canvas);
        bitmap.alphaPaintTo(p, 0, 0, -1, -1, 0, 0, constantAlpha);
        p.end();
        return canvas.pixelColor(0, 0);
    };
    const QColor full = paintOnWhite(255);
    QVERIFY(qAbs(full.red() - 255) <= 1);
    QVERIFY(qAbs(full.green() - 127) <= 1);
    QVERIFY(qAbs(full.blue() - 127) <= 1);
    QCOMPARE(paintOnWhite(0), QColor(Qt::white));
    QCOMPARE(paintOnWhite(300), QColor(Qt::white)); // a refused blend draws nothing
}

void TestBottomUpBitmap::plainCopySurvivesCreate()
{
    BottomUpBitmap bitmap;
    bitmap.setPlainCopy(true);
    QVERIFY(bitmap.create(2, 2));
    QVERIFY(bitmap.plainCopy());
    // With plain copy on, the raster operation is not applied.
    setPx(bitmap, 0, 1, 10, 20, 30);
    QImage canvas(1, 1, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter p(&canvas);
        bitmap.paintTo(p, 0, 0, 1, 1, 0, 0, QPainter::RasterOp_SourceXorDestination);
    }
    QCOMPARE(canvas.pixelColor(0, 0), QColor(30, 20, 10));
    bitmap.clear();
    QVERIFY(!bitmap.plainCopy());
    QVERIFY(!bitmap.painter());
}

void TestBottomUpBitmap::surfaceGrowsAndKeeps()
{
    OffscreenSurface mem;
    QPainter *first = mem.painter(100, 20);
    QVERIFY(first);
    first->fillRect(QRect(99, 19, 1, 1), QColor(1, 2, 3));
    QPainter *second = mem.painter(50, 10);
    QCOMPARE(second, first);
    QCOMPARE(mem.width(), 100);
    QCOMPARE(mem.height(), 20);
    QCOMPARE(mem.surface().pixelColor(99, 19), QColor(1, 2, 3));

    QPainter *third = mem.painter(120, 10);
    QVERIFY(third);
    QCOMPARE(mem.width(), 120);
    QCOMPARE(mem.height(), 10); // exactly the request, smaller in height than before
    QCOMPARE(mem.surface().size(), QSize(120, 10));
    QVERIFY(mem.surface().pixelColor(99, 9) != QColor(1, 2, 3));
}

void TestBottomUpBitmap::surfaceCopiesRectangle()
{
    OffscreenSurface mem;
    QPainter *painter = mem.painter(4, 4);
    QVERIFY(painter);
    painter->fillRect(QRect(0, 0, 4, 4), Qt::red);
    painter->fillRect(QRect(2, 2, 2, 2), Qt::blue);
    QImage target(6, 6, QImage::Format_RGB32);
    target.fill(Qt::white);
    {
        QPainter p(&target);
        mem.copyTo(p, 2, 2, 2, 2, 0, 0);
    }
    QCOMPARE(target.pixelColor(0, 0), QColor(Qt::blue));
    QCOMPARE(target.pixelColor(1, 1), QColor(Qt::blue));
    QCOMPARE(target.pixelColor(2, 2), QColor(Qt::white));
    {
        QPainter p(&target);
        mem.copyTo(p, 0, 0, 0, 0, 2, 2); // 0 means the surface's own size
    }
    QCOMPARE(target.pixelColor(2, 2), QColor(Qt::red));
    QCOMPARE(target.pixelColor(5, 5), QColor(Qt::blue));
}

QTEST_MAIN(TestBottomUpBitmap)
#include "tst_bottomupbitmap.moc"
