#include "updater/DrawnProgressBar.h"

#include <QSignalSpy>
#include <QtTest>

using namespace tv;

namespace {
const QColor kGreen(0, 255, 0); // BackColor 0x0000FF00
const QColor kNavy(0, 0, 128);  // BarColor 0x800000
const QColor kRed(255, 0, 0);   // 0x000000FF
const QColor kYellow(255, 255, 0);

// A bar with plain colours, so that the pixels do not depend on the palette.
void plain(DrawnProgressBar &bar, int w, int h)
{
    bar.resize(w, h);
    bar.setBackColor(0x0000FF00);
    bar.setBarColor(0x800000);
}

QImage shot(DrawnProgressBar &bar)
{
    return bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage codedPicture()
{
    // Every pixel tells where it came from.
    QImage pic(33, 28, QImage::Format_RGB32);
    for (int y = 0; y < 28; ++y)
        for (int x = 0; x < 33; ++x)
            pic.setPixelColor(x, y, QColor(x * 7, y * 9, 200));
    return pic;
}
} // namespace

class TestDrawnProgressBar : public QObject
{
    Q_OBJECT
private slots:
    void createdValues();
    void horizontalBar_data();
    void horizontalBar();
    void verticalBar_data();
    void verticalBar();
    void borders_data();
    void borders();
    void raisedThinBorderOnInnerRectangle();
    void tiledBarPictureFromZero();
    void stretchedBarPicture();
    void backgroundPictureTiledAndXpStyleIgnored();
    void textInTwoColours();
    void hiddenTextRedrawsOnly();
    void modifyBarPictureKeepsProperty();
    void settersNotifyAndAnnounceDrawing();
    void propertyBagRoundTrip();
    void themedDrawsWithStyle();
};

void TestDrawnProgressBar::createdValues()
{
    DrawnProgressBar bar;
    QCOMPARE(bar.segments(), false);
    QCOMPARE(bar.xpStyle(), false);
    QCOMPARE(bar.text(), QString());
    QCOMPARE(bar.textAlignX(), 1);
    QCOMPARE(bar.textAlignY(), 1);
    QCOMPARE(bar.showText(), false);
    QCOMPARE(bar.minimum(), 0);
    QCOMPARE(bar.maximum(), 100);
    QCOMPARE(bar.value(), 0);
    QCOMPARE(bar.borderStyle(), 1);
    QCOMPARE(bar.appearance(), 1);
    QCOMPARE(bar.foreColor(), 0u);
    QCOMPARE(bar.barColor(), 0x800000u);
    QCOMPARE(bar.barForeColor(), 0xFFFFFFu);
    QCOMPARE(bar.barPictureMode(), 1);
    QCOMPARE(bar.backPictureMode(), 1);
    QVERIFY(bar.barPicture().isNull());
    QVERIFY(bar.picture().isNull());
}

// Columns 1 to 100 of a 102-pixel bar with a 1-pixel border: 'B' bar, '.' background.
void TestDrawnProgressBar::horizontalBar_data()
{
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("segments");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<double>("percent");

    const QString half = QString(50, QLatin1Char('B')) + QString(50, QLatin1Char('.'));
    QString halfSegments;
    for (int x = 1; x <= 100; ++x) {
        const bool gap = x % 10 == 9 || x % 10 == 0;
        halfSegments += x <= 50 && !gap ? QLatin1Char('B') : QLatin1Char('.');
    }
    QTest::newRow("50 of 100") << 0 << 100 << 50 << false << half << 50.0;
    QTest::newRow("50 of 100, segments end at 51 with gaps")
        << 0 << 100 << 50 << true << halfSegments << 50.0;
    QTest::newRow("below Min: empty") << 10 << 20 << 5 << false << QString(100, QLatin1Char('.')) << 0.0;
    QTest::newRow("above Max: full") << 10 << 20 << 25 << false << QString(100, QLatin1Char('B')) << 100.0;
    QTest::newRow("Max equal to Min: empty") << 7 << 7 << 7 << false << QString(100, QLatin1Char('.')) << 0.0;
    // e = 100 * 0.57 + 1 = 58, snapped to 58 - (57 mod 10) = 51
    QTest::newRow("57 snaps back to 51") << 0 << 100 << 57 << true << halfSegments << 57.0;
    // e = 100 * 0.05 + 1 = 6: less than one step, snapped to the start
    QTest::newRow("5 snaps to nothing") << 0 << 100 << 5 << true << QString(100, QLatin1Char('.')) << 5.0;
    // e = 100 * 0.345 + 1 = 35.5 -> 36 (half to even)
    QTest::newRow("34.5 percent rounds to even")
        << 0 << 1000 << 345 << false << QString(35, QLatin1Char('B')) + QString(65, QLatin1Char('.')) << 34.5;
    QTest::newRow("negative range") << -200 << -100 << -150 << false << half << 50.0;
}

void TestDrawnProgressBar::horizontalBar()
{
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, value);
    QFETCH(bool, segments);
    QFETCH(QString, pattern);
    QFETCH(double, percent);
    DrawnProgressBar bar;
    plain(bar, 102, 12);
    bar.setMinimum(minimum);
    bar.setMaximum(maximum);
    bar.setValue(value);
    bar.setSegments(segments);
    QCOMPARE(bar.percent(), percent);
    const QImage img = shot(bar);
    QString seen;
    for (int x = 1; x <= 100; ++x) {
        const QColor c = img.pixelColor(x, 6);
        seen += c == kNavy ? QLatin1Char('B') : c == kGreen ? QLatin1Char('.') : QLatin1Char('?');
        // Gaps run the full height of the inner rectangle.
        QCOMPARE(img.pixelColor(x, 1), c);
        QCOMPARE(img.pixelColor(x, 10), c);
    }
    QCOMPARE(seen, pattern);
}

// Rows 1 to 18 of a 20 x 20 bar, top first.
void TestDrawnProgressBar::verticalBar_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("segments");
    QTest::addColumn<QString>("pattern");
    // t = 18 * 0.5 + 1 = 10
    QTest::newRow("square means vertical, fills from the bottom")
        << 50 << false << QString(9, QLatin1Char('.')) + QString(9, QLatin1Char('B'));
    // t = 1; 1 - 19 = -18, remainder -8: t moves down to 9
    QTest::newRow("segments snap down to whole steps")
        << 100 << true << QString(8, QLatin1Char('.')) + QString(10, QLatin1Char('B'));
    QTest::newRow("empty") << 0 << false << QString(18, QLatin1Char('.'));
}

void TestDrawnProgressBar::verticalBar()
{
    QFETCH(int, value);
    QFETCH(bool, segments);
    QFETCH(QString, pattern);
    DrawnProgressBar bar;
    plain(bar, 20, 20);
    bar.setSegments(segments);
    bar.setValue(value);
    const QImage img = shot(bar);
    QString seen;
    for (int y = 1; y <= 18; ++y) {
        const QColor c = img.pixelColor(10, y);
        seen += c == kNavy ? QLatin1Char('B') : c == kGreen ? QLatin1Char('.') : QLatin1Char('?');
    }
    QCOMPARE(seen, pattern);
}

void TestDrawnProgressBar::borders_data()
{
    QTest::addColumn<int>("borderStyle");
    QTest::addColumn<int>("appearance");
    QTest::addColumn<int>("firstBarColumn");
    QTest::addColumn<bool>("blackFrame");
    QTest::newRow("no border") << 0 << 1 << 0 << false;
    QTest::newRow("sunken flat") << 1 << 0 << 1 << true;
    QTest::newRow("raised flat") << 2 << 0 << 1 << true;
    QTest::newRow("sunken thin") << 1 << 1 << 1 << false;
    QTest::newRow("sunken edge") << 1 << 2 << 2 << false;
    QTest::newRow("raised edge") << 2 << 2 << 2 << false;
}

void TestDrawnProgressBar::borders()
{
    QFETCH(int, borderStyle);
    QFETCH(int, appearance);
    QFETCH(int, firstBarColumn);
    QFETCH(bool, blackFrame);
    DrawnProgressBar bar;
    plain(bar, 40, 12);
    bar.setBorderStyle(borderStyle);
    bar.setAppearance(appearance);
    bar.setValue(100);
    const QImage img = shot(bar);
    QCOMPARE(img.pixelColor(firstBarColumn, 6), kNavy);
    QCOMPARE(img.pixelColor(39 - firstBarColumn, 6), kNavy);
    if (firstBarColumn > 0) QVERIFY(img.pixelColor(firstBarColumn - 1, 6) != kNavy);
    if (blackFrame) {
        for (int x = 0; x < 40; ++x) {
            QCOMPARE(img.pixelColor(x, 0), QColor(Qt::black));
            QCOMPARE(img.pixelColor(x, 11), QColor(Qt::black));
        }
        for (int y = 0; y < 12; ++y) {
            QCOMPARE(img.pixelColor(0, y), QColor(Qt::black));
            QCOMPARE(img.pixelColor(39, y), QColor(Qt::black));
        }
    }
    if (borderStyle == 1 && appearance == 1) {
        QCOMPARE(img.pixelColor(0, 5), QColor(bar.translateColor(0x80000010).rgb()));  // shadow left
        QCOMPARE(img.pixelColor(39, 5), QColor(bar.translateColor(0x80000014).rgb())); // highlight right
    }
}

void TestDrawnProgressBar::raisedThinBorderOnInnerRectangle()
{
    DrawnProgressBar bar;
    plain(bar, 40, 12);
    bar.setBorderStyle(2);
    bar.setValue(0);
    const QImage img = shot(bar);
    const QColor highlight = QColor(bar.translateColor(0x80000014).rgb());
    const QColor shadow = QColor(bar.translateColor(0x80000010).rgb());
    QCOMPARE(img.pixelColor(0, 5), kGreen); // the outer ring keeps the background
    QCOMPARE(img.pixelColor(1, 5), highlight);
    QCOMPARE(img.pixelColor(20, 1), highlight);
    QCOMPARE(img.pixelColor(38, 5), shadow);
    QCOMPARE(img.pixelColor(20, 10), shadow);
    QCOMPARE(img.pixelColor(39, 5), kGreen);
    QCOMPARE(img.pixelColor(1, 9), highlight);
    QCOMPARE(img.pixelColor(1, 10), shadow); // the shadow line runs under the highlight's end
}

void TestDrawnProgressBar::tiledBarPictureFromZero()
{
    DrawnProgressBar bar;
    plain(bar, 102, 12);
    const QImage pic = codedPicture();
    bar.setBarPicture(pic);
    bar.setValue(100);
    const QImage img = shot(bar);
    // The tiles start at x = 0 and source row 1 (= B.top mod 28); the bar's last column is left.
    for (int x = 1; x <= 99; ++x)
        for (int y = 1; y <= 10; ++y)
            QCOMPARE(img.pixelColor(x, y), pic.pixelColor(x % 33, y));
    for (int y = 1; y <= 10; ++y)
        QCOMPARE(img.pixelColor(100, y), kGreen);
}

void TestDrawnProgressBar::stretchedBarPicture()
{
    DrawnProgressBar bar;
    plain(bar, 66, 28);
    bar.setBorderStyle(0);
    QImage pic(33, 28, QImage::Format_RGB32);
    pic.fill(kRed);
    for (int y = 0; y < 28; ++y)
        for (int x = 17; x < 33; ++x)
            pic.setPixelColor(x, y, kYellow);
    bar.setBarPicture(pic);
    bar.setBarPictureMode(0);
    bar.setValue(100);
    QImage img = shot(bar);
    // The whole picture stretched over the control: twice as wide.
    QCOMPARE(img.pixelColor(10, 14), kRed);
    QCOMPARE(img.pixelColor(60, 14), kYellow);
    bar.setValue(25); // only the bar's part of the stretched picture shows
    img = shot(bar);
    QCOMPARE(img.pixelColor(10, 14), kRed);
    QCOMPARE(img.pixelColor(60, 14), kGreen);
}

void TestDrawnProgressBar::backgroundPictureTiledAndXpStyleIgnored()
{
    for (bool xp : {false, true}) {
        DrawnProgressBar bar;
        plain(bar, 80, 40);
        bar.setBorderStyle(0);
        const QImage pic = codedPicture();
        bar.setPicture(pic);
        bar.setXpStyle(xp);
        bar.setValue(50);
        const QImage img = shot(bar);
        for (int x = 40; x < 80; ++x)
            for (int y = 0; y < 40; y += 3)
                QCOMPARE(img.pixelColor(x, y), pic.pixelColor(x % 33, y % 28));
        QCOMPARE(img.pixelColor(20, 20), kNavy);
    }
}

void TestDrawnProgressBar::textInTwoColours()
{
    DrawnProgressBar bar;
    plain(bar, 200, 30);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(20);
    f.setBold(true);
    bar.setFontProperty(f);
    bar.setForeColor(0x000000FF);    // red over the background
    bar.setBarForeColor(0x0000FFFF); // yellow over the bar
    bar.setValue(50);
    bar.setText(QStringLiteral("IIIIIIIIIIIIIIIIIIII"));
    const QImage without = shot(bar);
    bar.setShowText(true);
    const QImage with = shot(bar);
    auto count = [&](const QImage &img, const QColor &c, int x0, int x1) {
        int n = 0;
        for (int x = x0; x < x1; ++x)
            for (int y = 1; y < 29; ++y)
                n += img.pixelColor(x, y) == c;
        return n;
    };
    QCOMPARE(count(without, kRed, 1, 199) + count(without, kYellow, 1, 199), 0);
    QVERIFY(count(with, kYellow, 1, 100) > 20); // over the bar
    QCOMPARE(count(with, kYellow, 101, 199), 0);
    QVERIFY(count(with, kRed, 101, 199) > 20); // over the background
    QCOMPARE(count(with, kRed, 1, 100), 0);
}

void TestDrawnProgressBar::hiddenTextRedrawsOnly()
{
    DrawnProgressBar bar;
    plain(bar, 100, 20);
    bar.setValue(40);
    const QImage before = shot(bar);
    QSignalSpy draws(&bar, &DrawnProgressBar::aboutToDraw);
    QSignalSpy changes(&bar, &DrawnProgressBar::propertyChanged);
    bar.setText(QStringLiteral("40%"));
    QVERIFY(draws.count() >= 1);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.at(0).at(0).toString(), QStringLiteral("Text"));
    QCOMPARE(shot(bar), before);
}

void TestDrawnProgressBar::modifyBarPictureKeepsProperty()
{
    DrawnProgressBar bar;
    plain(bar, 40, 12);
    QImage pic(33, 28, QImage::Format_RGB32);
    pic.fill(QColor(60, 60, 60));
    bar.setBarPicture(pic);
    bar.setValue(100);
    QCOMPARE(shot(bar).pixelColor(5, 5), QColor(60, 60, 60));
    bar.modifyBarPicture(2.0, 1.0);
    QCOMPARE(bar.barPicture(), pic); // the property keeps its picture
    QCOMPARE(shot(bar).pixelColor(5, 5), QColor(120, 120, 120));
    bar.modifyPicture(2.0, 1.0); // no background picture: nothing happens
    QVERIFY(bar.picture().isNull());
}

void TestDrawnProgressBar::settersNotifyAndAnnounceDrawing()
{
    DrawnProgressBar bar;
    bar.resize(50, 10);
    QSignalSpy draws(&bar, &DrawnProgressBar::aboutToDraw);
    QSignalSpy changes(&bar, &DrawnProgressBar::propertyChanged);
    bar.setValue(30);
    QCOMPARE(draws.count(), 1); // drawn at once, before the change notice
    const QList<QVariant> args = draws.takeFirst();
    QVERIFY(args.at(0).value<QPainter *>() != nullptr);
    QCOMPARE(args.at(1).toInt(), 0);
    QCOMPARE(args.at(2).toInt(), 0);
    QCOMPARE(args.at(3).toInt(), 50);
    QCOMPARE(args.at(4).toInt(), 10);
    QCOMPARE(args.at(5).toBool(), true);
    bar.setValue(30); // no range check, no "same value" shortcut
    bar.setMaximum(-5);
    QCOMPARE(bar.maximum(), -5);
    bar.setPicture(codedPicture());
    QStringList names;
    for (const auto &c : changes)
        names << c.at(0).toString();
    QCOMPARE(names, (QStringList{QStringLiteral("Value"), QStringLiteral("Value"), QStringLiteral("Max"),
                                 QStringLiteral("Picture"), QStringLiteral("BarPicture")}));
}

void TestDrawnProgressBar::propertyBagRoundTrip()
{
    QWidget window;
    DrawnProgressBar fresh(&window);
    PropertyBag defaults;
    fresh.writeProperties(defaults);
    // Defaults are not written; the created ForeColor (black) is not the stored default.
    QStringList written = defaults.names();
    written.sort();
    QCOMPARE(written, (QStringList{QStringLiteral("font"), QStringLiteral("forecolor")}));

    DrawnProgressBar a(&window);
    a.setSegments(true);
    a.setXpStyle(true);
    a.setText(QStringLiteral("half"));
    a.setTextAlignX(2);
    a.setTextAlignY(0);
    a.setShowText(true);
    a.setMinimum(-10);
    a.setMaximum(90);
    a.setValue(40);
    a.setBorderStyle(2);
    a.setAppearance(2);
    a.setBackColor(0x00123456);
    a.setForeColor(0x00654321);
    QFont f(QStringLiteral("DejaVu Serif"));
    f.setPointSizeF(11.5);
    a.setFontProperty(f);
    a.setBarColor(0x000000FF);
    a.setBarForeColor(0x00ABCDEF);
    a.setBarPicture(codedPicture());
    a.setBarPictureMode(0);
    a.setBackPictureMode(3);
    a.setPicture(codedPicture().mirrored());
    PropertyBag bag;
    a.writeProperties(bag);
    QCOMPARE(bag.names().size(), 20);
    for (const QString &n : bag.names())
        QCOMPARE(n, n.toLower());
    QCOMPARE(bag.read(QStringLiteral("BARCOLOR")).toUInt(), 0x000000FFu); // any letter case

    DrawnProgressBar b(&window);
    QSignalSpy changes(&b, &DrawnProgressBar::propertyChanged);
    b.readProperties(bag);
    QCOMPARE(b.segments(), true);
    QCOMPARE(b.xpStyle(), true);
    QCOMPARE(b.text(), QStringLiteral("half"));
    QCOMPARE(b.textAlignX(), 2);
    QCOMPARE(b.textAlignY(), 0);
    QCOMPARE(b.showText(), true);
    QCOMPARE(b.minimum(), -10);
    QCOMPARE(b.maximum(), 90);
    QCOMPARE(b.value(), 40);
    QCOMPARE(b.borderStyle(), 2);
    QCOMPARE(b.appearance(), 2);
    QCOMPARE(b.backColor(), 0x00123456u);
    QCOMPARE(b.foreColor(), 0x00654321u);
    QCOMPARE(b.font(), f);
    QCOMPARE(b.barColor(), 0x000000FFu);
    QCOMPARE(b.barForeColor(), 0x00ABCDEFu);
    QCOMPARE(b.barPicture(), codedPicture());
    QCOMPARE(b.barPictureMode(), 0);
    QCOMPARE(b.backPictureMode(), 3);
    QCOMPARE(b.picture(), codedPicture().mirrored());
    QCOMPARE(changes.first().at(0).toString(), QStringLiteral("Picture"));
    QCOMPARE(changes.last().at(0).toString(), QStringLiteral("XpStyle"));

    // Reading an empty bag gives the stored defaults, and the window's font.
    window.setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 13));
    b.readProperties(PropertyBag());
    QCOMPARE(b.backColor(), DrawnProgressBar::kButtonFace);
    QCOMPARE(b.foreColor(), DrawnProgressBar::kWindowText);
    QCOMPARE(b.maximum(), 100);
    QCOMPARE(b.font().family(), QStringLiteral("DejaVu Sans Mono"));
    QVERIFY(b.barPicture().isNull());
}

void TestDrawnProgressBar::themedDrawsWithStyle()
{
    DrawnProgressBar bar;
    plain(bar, 120, 20);
    bar.setValue(50);
    const QImage classic = shot(bar);
    bar.setXpStyle(true);
    const QImage themed = shot(bar);
    // The style draws its own track: the plain background colour is gone from the empty half.
    QVERIFY(themed != classic);
    int green = 0;
    for (int x = 70; x < 118; ++x)
        green += themed.pixelColor(x, 10) == kGreen;
    QCOMPARE(green, 0);
}

QTEST_MAIN(TestDrawnProgressBar)
#include "tst_drawnprogressbar.moc"
