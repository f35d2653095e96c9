#include "updater/pcDibSection.h"
#include "updater/pcMemDC.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace tv;

namespace {
// Pixel (x, row) in memory order: row 0 is the bottom scan line.
uchar *px(pcDibSection &d, int x, int row)
{
    return d.DIBSectionBitsPtr() + row * d.BytesPerScanLine() + x * 4;
}

void setPx(pcDibSection &d, int x, int row, int b, int g, int r, int a = 0)
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

class TestPcDibSection : public QObject
{
    Q_OBJECT
private slots:
    void createSizesAndZeroBytes();
    void createRejectsBadSizes();
    void paintingLandsBottomUp();
    void savePictureWritesHeaderAndBytes();
    void savePictureUncreatableFileIsError17();
    void modifyHlsIdentity_data();
    void modifyHlsIdentity();
    void lighten_data();
    void lighten();
    void modifyHlsOverflowStopsAtPixel();
    void codeAlphaBlend_data();
    void codeAlphaBlend();
    void codeAlphaBlendAtOffsetAndOutOfRange();
    void resampleBilinearHalfEven();
    void resampleSameSizeCopiesAndThinSourceFails();
    void clearAndRandomise();
    void createFromPictureAndPaintBack();
    void alphaPaintPicture();
    void drawDibSessionSurvivesCreate();
    void memDcGrowsAndKeeps();
    void memDcDrawCopiesRectangle();
};

void TestPcDibSection::createSizesAndZeroBytes()
{
    pcDibSection dib;
    QVERIFY(dib.Create(3, 2));
    QCOMPARE(dib.BytesPerScanLine(), 12);
    QCOMPARE(dib.Width(), 3);
    QCOMPARE(dib.Height(), 2);
    QCOMPARE(dib.info().biSizeImage, 24u);
    QVERIFY(dib.hdc());
    const QByteArray bytes(reinterpret_cast<const char *>(dib.DIBSectionBitsPtr()), 24);
    QCOMPARE(bytes, QByteArray(24, '\0'));
}

void TestPcDibSection::createRejectsBadSizes()
{
    pcDibSection dib;
    QVERIFY(!dib.Create(0, 5));
    QVERIFY(!dib.hdc());
    QVERIFY(!dib.DIBSectionBitsPtr());
    try {
        dib.Create(0x20000000, 1); // 2^31 bytes a line
        QFAIL("no overflow");
    } catch (const tv::AppError &e) {
        QCOMPARE(e.number(), 6);
    }
}

void TestPcDibSection::paintingLandsBottomUp()
{
    pcDibSection dib;
    QVERIFY(dib.Create(4, 3));
    // Top-left of the picture is the first pixel of the last scan line in memory.
    dib.hdc()->fillRect(QRect(0, 0, 1, 1), QColor(10, 20, 30));
    dib.hdc()->fillRect(QRect(3, 2, 1, 1), QColor(40, 50, 60));
    const uchar *topLeft = px(dib, 0, 2);
    QCOMPARE(int(topLeft[0]), 30);
    QCOMPARE(int(topLeft[1]), 20);
    QCOMPARE(int(topLeft[2]), 10);
    const uchar *bottomRight = px(dib, 3, 0);
    QCOMPARE(int(bottomRight[0]), 60);
    QCOMPARE(int(bottomRight[2]), 40);
    QCOMPARE(dib.toImage().pixelColor(0, 0), QColor(10, 20, 30));
}

void TestPcDibSection::savePictureWritesHeaderAndBytes()
{
    QTemporaryDir dir;
    pcDibSection dib;
    QVERIFY(dib.Create(3, 2));
    setPx(dib, 0, 0, 1, 2, 3, 4);
    setPx(dib, 2, 1, 250, 251, 252, 253);
    const QString path = dir.filePath(QStringLiteral("pic.bmp"));
    QVERIFY(dib.SavePicture(path));
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
    QCOMPARE(data.mid(58), QByteArray(reinterpret_cast<const char *>(dib.DIBSectionBitsPtr()), 24));
    QCOMPARE(data.mid(58, 4), QByteArray("\x01\x02\x03\x04", 4));

    // Saving again over the file makes it anew, not longer.
    QVERIFY(dib.Create(1, 1));
    QVERIFY(dib.SavePicture(path));
    QCOMPARE(QFileInfo(path).size(), 62);
}

void TestPcDibSection::savePictureUncreatableFileIsError17()
{
    QTemporaryDir dir;
    pcDibSection dib;
    QVERIFY(dib.Create(2, 2));
    try {
        dib.SavePicture(dir.filePath(QStringLiteral("missing/pic.bmp")));
        QFAIL("no error");
    } catch (const pcDibSection::SourcedError &e) {
        QCOMPARE(e.number(), 17);
        QVERIFY(e.source().endsWith(QStringLiteral(".pcDibSection")));
        QVERIFY(!e.description().isEmpty());
        QVERIFY(e.description().size() <= 256);
    }
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("missing/pic.bmp"))));
}

void TestPcDibSection::modifyHlsIdentity_data()
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

void TestPcDibSection::modifyHlsIdentity()
{
    QFETCH(QColor, colour);
    pcDibSection dib;
    QVERIFY(dib.Create(2, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            setPx(dib, x, y, colour.blue(), colour.green(), colour.red(), 77);
    dib.ModifyHLS(1, 1, 1);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            const uchar *p = px(dib, x, y);
            QVERIFY(qAbs(p[0] - colour.blue()) <= 1);
            QVERIFY(qAbs(p[1] - colour.green()) <= 1);
            QVERIFY(qAbs(p[2] - colour.red()) <= 1);
            QCOMPARE(int(p[3]), 77); // the fourth byte is left alone
        }
    if (colour.red() == colour.green() && colour.green() == colour.blue()) {
        float h, l, s;
        pcDibSection::RGBToHLS(colour.red(), colour.green(), colour.blue(), h, l, s);
        QCOMPARE(h, 0.0f);
        QCOMPARE(s, 0.0f);
        QCOMPARE(int(px(dib, 0, 0)[0]), colour.blue()); // grey comes back exactly
    }
}

void TestPcDibSection::lighten_data()
{
    QTest::addColumn<QColor>("colour");
    QTest::newRow("white stays white") << QColor(255, 255, 255);
    QTest::newRow("black stays black") << QColor(0, 0, 0);
    QTest::newRow("mid grey caps at white") << QColor(128, 128, 128);
    QTest::newRow("dark grey doubles") << QColor(60, 60, 60);
    QTest::newRow("dark red") << QColor(100, 50, 50);
    QTest::newRow("dark teal") << QColor(20, 80, 70);
}

void TestPcDibSection::lighten()
{
    QFETCH(QColor, colour);
    pcDibSection dib;
    QVERIFY(dib.Create(1, 1));
    setPx(dib, 0, 0, colour.blue(), colour.green(), colour.red());
    float h0, l0, s0;
    pcDibSection::RGBToHLS(colour.red(), colour.green(), colour.blue(), h0, l0, s0);
    dib.Lighten(100);
    const uchar *p = px(dib, 0, 0);
    float h1, l1, s1;
    pcDibSection::RGBToHLS(p[2], p[1], p[0], h1, l1, s1);
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

void TestPcDibSection::modifyHlsOverflowStopsAtPixel()
{
    pcDibSection dib;
    QVERIFY(dib.Create(2, 1));
    setPx(dib, 0, 0, 0, 0, 200);   // red: hue 0, stays within range when scaled
    setPx(dib, 1, 0, 200, 0, 100); // hue near 5: times 1.5 leaves the colour circle
    try {
        dib.ModifyHLS(1.5, 1, 1);
        QFAIL("no overflow");
    } catch (const tv::AppError &e) {
        QCOMPARE(e.number(), 6);
    }
    QCOMPARE(int(px(dib, 0, 0)[2]), 200); // the first pixel was done
    QCOMPARE(int(px(dib, 1, 0)[0]), 200); // the failing one is untouched
}

void TestPcDibSection::codeAlphaBlend_data()
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

void TestPcDibSection::codeAlphaBlend()
{
    QFETCH(int, alpha);
    QFETCH(int, dst);
    QFETCH(int, src);
    QFETCH(int, expected);
    pcDibSection d, s;
    QVERIFY(d.Create(3, 2));
    QVERIFY(s.Create(2, 3)); // narrower and taller: the common area is 2 x 2
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            setPx(d, x, y, dst, dst, dst, 9);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            setPx(s, x, y, src, src, src, 200);
    pcDibSection::CodeAlphaBlend(d, s, 0, 0, -1, -1, alpha);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 2; ++x) {
            for (int c = 0; c < 3; ++c)
                QCOMPARE(int(px(d, x, y)[c]), expected);
            QCOMPARE(int(px(d, x, y)[3]), 9);
        }
        QCOMPARE(int(px(d, 2, y)[0]), dst); // outside the narrower source
    }
}

void TestPcDibSection::codeAlphaBlendAtOffsetAndOutOfRange()
{
    pcDibSection d, s;
    QVERIFY(d.Create(2, 2));
    QVERIFY(s.Create(2, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            setPx(s, x, y, 90 + x, 90 + x, 90 + x);
    // From left 1 the second source column has no room: the first column is blended, then it stops.
    try {
        pcDibSection::CodeAlphaBlend(d, s, 1, 0, -1, -1, 255);
        QFAIL("no range error");
    } catch (const tv::AppError &e) {
        QCOMPARE(e.number(), 9);
    }
    QCOMPARE(int(px(d, 1, 0)[0]), 90);
    QCOMPARE(int(px(d, 1, 1)[0]), 90);
    QCOMPARE(int(px(d, 0, 0)[0]), 0);

    // Given sizes limit the blend.
    pcDibSection d2;
    QVERIFY(d2.Create(2, 2));
    pcDibSection::CodeAlphaBlend(d2, s, 0, 0, 1, 1, 255);
    QCOMPARE(int(px(d2, 0, 0)[0]), 90);
    QCOMPARE(int(px(d2, 1, 0)[0]), 0);
    QCOMPARE(int(px(d2, 0, 1)[0]), 0);
}

void TestPcDibSection::resampleBilinearHalfEven()
{
    pcDibSection src;
    QVERIFY(src.Create(2, 2));
    // blue bytes: bottom row 0, 100; top row 200, 40. Green and red follow other values.
    setPx(src, 0, 0, 0, 10, 255, 50);
    setPx(src, 1, 0, 100, 10, 255, 50);
    setPx(src, 0, 1, 200, 30, 0, 50);
    setPx(src, 1, 1, 40, 30, 0, 50);
    const auto out = src.Resample(2, 4);
    QVERIFY(out);
    QCOMPARE(out->Width(), 4);
    QCOMPARE(out->Height(), 2);
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

void TestPcDibSection::resampleSameSizeCopiesAndThinSourceFails()
{
    pcDibSection src;
    QVERIFY(src.Create(3, 2));
    src.RandomiseBits(false);
    const auto same = src.Resample(2, 3);
    QVERIFY(same);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(same->DIBSectionBitsPtr()), 24),
             QByteArray(reinterpret_cast<const char *>(src.DIBSectionBitsPtr()), 24));

    QVERIFY(!src.Resample(0, 3)); // no DIB of that size

    pcDibSection thin;
    QVERIFY(thin.Create(1, 4));
    try {
        thin.Resample(4, 4);
        QFAIL("no range error");
    } catch (const tv::AppError &e) {
        QCOMPARE(e.number(), 9);
    }
}

void TestPcDibSection::clearAndRandomise()
{
    pcDibSection dib;
    QVERIFY(dib.Create(8, 8));
    for (bool gray : {true, false}) {
        dib.RandomiseBits(gray);
        int nonZero = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const uchar *p = px(dib, x, y);
                // Colours are scaled by the pixel's own alpha: never above it.
                QVERIFY(p[0] <= p[3] && p[1] <= p[3] && p[2] <= p[3]);
                if (gray) QVERIFY(p[0] == p[1] && p[1] == p[2]);
                nonZero += p[3] != 0;
            }
        QVERIFY(nonZero > 32);
        dib.Clear(200);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(dib.DIBSectionBitsPtr()), 256),
                 QByteArray(256, '\0'));
    }
}

void TestPcDibSection::createFromPictureAndPaintBack()
{
    QImage pic(3, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            pic.setPixelColor(x, y, QColor(x * 80, y * 100, 7));
    pcDibSection dib;
    dib.CreateFromPicture(pic);
    QCOMPARE(dib.Width(), 3);
    QCOMPARE(dib.Height(), 2);
    QCOMPARE(int(px(dib, 2, 0)[2]), 160); // bottom row first in memory
    QCOMPARE(int(px(dib, 2, 0)[1]), 100);
    QCOMPARE(int(px(dib, 2, 1)[1]), 0);
    QCOMPARE(dib.toImage(), pic);

    // Painted at an offset, with the DIB's own size, over a larger picture.
    QImage canvas(5, 4, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter p(&canvas);
        dib.PaintPicture(p, 1, 2);
    }
    QCOMPARE(canvas.pixelColor(0, 0), QColor(Qt::white));
    QCOMPARE(canvas.pixelColor(1, 2), pic.pixelColor(0, 0));
    QCOMPARE(canvas.pixelColor(3, 3), pic.pixelColor(2, 1));
    QCOMPARE(canvas.pixelColor(4, 3), QColor(Qt::white));

    // A raster operation other than a copy: XOR with white inverts.
    {
        QPainter p(&canvas);
        dib.PaintPicture(p, 0, 0, 1, 1, 2, 1, QPainter::RasterOp_SourceXorDestination);
    }
    QCOMPARE(canvas.pixelColor(0, 0), QColor(255 - 160, 255 - 100, 255 - 7));

    // A part loaded from a source rectangle lands at (0, 0).
    pcDibSection part;
    QVERIFY(part.Create(2, 1));
    part.LoadPictureBlt(pic, 1, 1, 2, 1);
    QCOMPARE(part.toImage().pixelColor(0, 0), pic.pixelColor(1, 1));
    QCOMPARE(part.toImage().pixelColor(1, 0), pic.pixelColor(2, 1));
}

void TestPcDibSection::alphaPaintPicture()
{
    pcDibSection dib;
    QVERIFY(dib.Create(1, 1));
    setPx(dib, 0, 0, 0, 0, 128, 128); // half-transparent red, premultiplied
    auto paintOnWhite = [&](int constantAlpha) {
        QImage canvas(1, 1, QImage::Format_RGB32);
        canvas.fill(Qt::white);
        QPainter p(&canvas);
        dib.AlphaPaintPicture(p, 0, 0, -1, -1, 0, 0, constantAlpha);
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

void TestPcDibSection::drawDibSessionSurvivesCreate()
{
    pcDibSection dib;
    dib.setUseDrawDib(true);
    QVERIFY(dib.Create(2, 2));
    QVERIFY(dib.UseDrawDib());
    // With the session open the raster operation is not applied.
    setPx(dib, 0, 1, 10, 20, 30);
    QImage canvas(1, 1, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter p(&canvas);
        dib.PaintPicture(p, 0, 0, 1, 1, 0, 0, QPainter::RasterOp_SourceXorDestination);
    }
    QCOMPARE(canvas.pixelColor(0, 0), QColor(30, 20, 10));
    dib.ClearUp();
    QVERIFY(!dib.UseDrawDib());
    QVERIFY(!dib.hdc());
}

void TestPcDibSection::memDcGrowsAndKeeps()
{
    pcMemDC mem;
    QPainter *first = mem.hdc(100, 20);
    QVERIFY(first);
    first->fillRect(QRect(99, 19, 1, 1), QColor(1, 2, 3));
    QPainter *second = mem.hdc(50, 10);
    QCOMPARE(second, first);
    QCOMPARE(mem.width(), 100);
    QCOMPARE(mem.height(), 20);
    QCOMPARE(mem.surface().pixelColor(99, 19), QColor(1, 2, 3));

    QPainter *third = mem.hdc(120, 10);
    QVERIFY(third);
    QCOMPARE(mem.width(), 120);
    QCOMPARE(mem.height(), 10); // exactly the request, smaller in height than before
    QCOMPARE(mem.surface().size(), QSize(120, 10));
    QVERIFY(mem.surface().pixelColor(99, 9) != QColor(1, 2, 3));
}

void TestPcDibSection::memDcDrawCopiesRectangle()
{
    pcMemDC mem;
    QPainter *dc = mem.hdc(4, 4);
    QVERIFY(dc);
    dc->fillRect(QRect(0, 0, 4, 4), Qt::red);
    dc->fillRect(QRect(2, 2, 2, 2), Qt::blue);
    QImage target(6, 6, QImage::Format_RGB32);
    target.fill(Qt::white);
    {
        QPainter p(&target);
        mem.Draw(p, 2, 2, 2, 2, 0, 0);
    }
    QCOMPARE(target.pixelColor(0, 0), QColor(Qt::blue));
    QCOMPARE(target.pixelColor(1, 1), QColor(Qt::blue));
    QCOMPARE(target.pixelColor(2, 2), QColor(Qt::white));
    {
        QPainter p(&target);
        mem.Draw(p, 0, 0, 0, 0, 2, 2); // 0 means the surface's own size
    }
    QCOMPARE(target.pixelColor(2, 2), QColor(Qt::red));
    QCOMPARE(target.pixelColor(5, 5), QColor(Qt::blue));
}

QTEST_MAIN(TestPcDibSection)
#include "tst_pcdibsection.moc"
