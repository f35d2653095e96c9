#include "BarcodeTestUtil.h"
#include "ScriptedPrompts.h"
#include "barcode/DrawBar.h"
#include "barcode/PictureSurface.h"

#include <QtTest>
#include <numeric>

using namespace tv;
using tv::test::barWidths;

namespace {

// A surface that measures in pixels inside a border and in twips outside it, and records every
// fill, so that the geometry of the drawing can be checked element by element.
class RecordingSurface : public BarcodeSurface
{
public:
    struct Fill
    {
        double x1, y1, x2, y2;
        QColor colour;
    };
    double border = 0;  // pixels on each side, outside the drawable area
    double width = 500; // drawable, pixels
    double height = 97;
    double th = 14, twPerChar = 8;
    bool pixels = false;
    int clears = 0;
    std::vector<Fill> fills;
    std::vector<double> outerWidths; // every value set
    QString text;
    QPointF textAt;

    void setUnitPixels() override { pixels = true; }
    void clear() override { ++clears; }
    void removePicture() override {}
    double drawableLeft() const override { return 0; }
    double drawableTop() const override { return 0; }
    double drawableWidth() const override { return width; }
    double drawableHeight() const override { return height; }
    double outerWidth() const override { return (width + 2 * border) * 15; }
    void setOuterWidth(double w) override
    {
        outerWidths.push_back(w);
        width = w / 15 - 2 * border;
    }
    double textHeight(const QString &) const override { return th; }
    double textWidth(const QString &t) const override { return twPerChar * t.size(); }
    void fillRect(double x1, double y1, double x2, double y2, const QColor &c) override
    {
        fills.push_back({x1, y1, x2, y2, c});
    }
    void drawText(double x, double y, const QString &t) override
    {
        textAt = {x, y};
        text = t;
    }
};

PictureSurface makeSurface(int height = 97, int width = 537)
{
    PictureSurface s(QSize(width, height));
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(12);
    s.setFont(f);
    s.setBackground(QColor(200, 200, 200)); // tells background apart from the white gaps
    s.setForeground(QColor(255, 0, 0));
    s.clear();
    return s;
}

// The nine element widths (bar, space, ... bar) of a pattern written in the table's notation,
// in modules; empty when the notation is malformed.
std::vector<int> elementsOf(std::string_view pattern)
{
    std::vector<int> elements;
    int space = 0;
    bool first = true;
    for (const char c : pattern) {
        if (c == ' ') {
            if (first) return {}; // a blank before the first bar would widen the gap between characters
            ++space;
        } else {
            if (!first) elements.push_back(space + 1);
            elements.push_back(c == '2' ? 2 : 1);
            space = 0;
            first = false;
        }
    }
    return elements;
}

int count(const std::vector<int> &v)
{
    return std::accumulate(v.begin(), v.end(), 0);
}

} // namespace

class TestDrawBar : public QObject
{
    Q_OBJECT
private slots:
    void tellingRows_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("start") << 1 << "1 1221";
        QTest::newRow("stop") << 2 << "1 1221";
        QTest::newRow("*") << 42 << "1 1221";
        QTest::newRow("0") << 48 << "11 221";
        QTest::newRow("1") << 49 << "21 112";
        QTest::newRow("A") << 65 << "211 12";
        QTest::newRow("W") << 87 << "2 2111";
        QTest::newRow("blank") << 32 << "1 2121";
        QTest::newRow("-") << 45 << "1 1122";
        QTest::newRow(".") << 46 << "2 1121";
        QTest::newRow("$") << 36 << "1 1 1 11";
        QTest::newRow("%") << 37 << "11 1 1 1";
        QTest::newRow("+") << 43 << "1 11 1 1";
        QTest::newRow("/") << 47 << "1 1 11 1";
        QTest::newRow("#") << 35 << "";
        QTest::newRow("@") << 64 << "";
        QTest::newRow("0 is empty") << 0 << "";
        QTest::newRow("! is empty") << 33 << "";
        QTest::newRow("; is empty") << 59 << "";
    }
    void tellingRows()
    {
        QFETCH(int, code);
        QFETCH(QString, pattern);
        QCOMPARE(QString::fromLatin1(code39Patterns()[code]), pattern);
    }

    // Bar and space widths of every symbol against the published Code 39 table (1 = wide), in the
    // order bar, space, bar, space, bar, space, bar, space, bar.
    void standardWidths_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("wide");
        const std::pair<char, const char *> table[] = {
            {'0', "000110100"}, {'1', "100100001"}, {'2', "001100001"}, {'3', "101100000"},
            {'4', "000110001"}, {'5', "100110000"}, {'6', "001110000"}, {'7', "000100101"},
            {'8', "100100100"}, {'9', "001100100"}, {'A', "100001001"}, {'B', "001001001"},
            {'C', "101001000"}, {'D', "000011001"}, {'E', "100011000"}, {'F', "001011000"},
            {'G', "000001101"}, {'H', "100001100"}, {'I', "001001100"}, {'J', "000011100"},
            {'K', "100000011"}, {'L', "001000011"}, {'M', "101000010"}, {'N', "000010011"},
            {'O', "100010010"}, {'P', "001010010"}, {'Q', "000000111"}, {'R', "100000110"},
            {'S', "001000110"}, {'T', "000010110"}, {'U', "110000001"}, {'V', "011000001"},
            {'W', "111000000"}, {'X', "010010001"}, {'Y', "110010000"}, {'Z', "011010000"},
            {'-', "010000101"}, {'.', "110000100"}, {' ', "011000100"}, {'$', "010101000"},
            {'/', "010100010"}, {'+', "010001010"}, {'%', "000101010"}, {'*', "010010100"},
            {1, "010010100"},   {2, "010010100"}};
        for (const auto &[c, wide] : table)
            QTest::newRow(qPrintable(QStringLiteral("code %1").arg(int(c))))
                << int(c) << QString::fromLatin1(wide);
    }
    void standardWidths()
    {
        QFETCH(int, code);
        QFETCH(QString, wide);
        const std::vector<int> elements = elementsOf(code39Patterns()[code]);
        QCOMPARE(elements.size(), std::size_t(9));
        for (int i = 0; i < 9; ++i)
            QCOMPARE(elements[i], wide[i] == QLatin1Char('1') ? 2 : 1);
        QCOMPARE(count(elements), 12); // 13 modules with the gap before the character
    }

    void onlyTheSymbolsHavePatterns()
    {
        const PatternTable t = code39Patterns();
        int filled = 0;
        for (std::size_t code = 0; code < t.size(); ++code)
            filled += t[code].empty() ? 0 : 1;
        QCOMPARE(filled, 10 + 26 + 8 + 2); // digits, letters, blank $ % * + - . /, start and stop
    }

    void moduleWidthFromHeight_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("module");
        QTest::newRow("100 -> 2.5 -> 2") << 100 << 2;
        QTest::newRow("140 -> 3.5 -> 4") << 140 << 4;
        QTest::newRow("180 -> 4.5 -> 4") << 180 << 4;
        QTest::newRow("220 -> 5.5 -> 6") << 220 << 6;
        QTest::newRow("97 -> 2.425 -> 2") << 97 << 2;
        QTest::newRow("60 -> 1.5 -> 2") << 60 << 2;
        QTest::newRow("59 -> 1") << 59 << 1;
        QTest::newRow("40 -> 1") << 40 << 1;
        QTest::newRow("20 -> 0.5 -> 0 -> 1") << 20 << 1;
        QTest::newRow("12 -> 0.3 -> 1") << 12 << 1;
    }
    void moduleWidthFromHeight()
    {
        QFETCH(int, height);
        QFETCH(int, module);
        QCOMPARE(moduleWidth(height), module);
        PictureSurface s = makeSurface(height);
        QFont tiny = s.font();
        tiny.setPixelSize(4);
        s.setFont(tiny);
        DrawBarcode(QStringLiteral("1"), s);
        const std::vector<int> widths = barWidths(s.image(), 0);
        QVERIFY(widths.size() > 2);
        QCOMPARE(widths[0], module); // light module before the first bar
        QCOMPARE(widths[1], module); // the start character's narrow first bar
        QCOMPARE(count(widths), 13 * 3 * module);
    }

    void moduleCount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("1 char") << "A";
        QTest::newRow("3 chars") << "ABC";
        QTest::newRow("digits") << "0123456789";
        QTest::newRow("23 chars") << "ABCDEFGHIJKLMNOPQRSTUVW";
        QTest::newRow("symbols") << "$%+-./ ";
    }
    void moduleCount()
    {
        QFETCH(QString, text);
        PictureSurface s = makeSurface();
        const int m = moduleWidth(s.pixelSize().height());
        const int n = int(text.size());
        DrawBarcode(text, s);
        QCOMPARE(s.unit(), PictureSurface::Unit::Pixels);
        QCOMPARE(s.pixelSize().width(), (13 * (n + 2) + 1 + 1) * m);
        const std::vector<int> widths = barWidths(s.image(), 0);
        QCOMPARE(int(widths.size()), 1 + 10 * (n + 2) - 1); // quiet module, then gap and 9 elements each
        QCOMPARE(count(widths), 13 * (n + 2) * m);
        for (const int w : widths)
            QVERIFY2(w == m || w == 2 * m || w == 3 * m, qPrintable(QString::number(w)));
        // The trailing gap is white, the last module background.
        const int x = count(widths);
        for (int i = 0; i < m; ++i)
            QCOMPARE(QColor(s.image().pixel(x + i, 0)), QColor(Qt::white));
        QCOMPARE(QColor(s.image().pixel(x + m, 0)), s.background());
    }

    void emptyTextClearsAndKeepsWidthAndUnit()
    {
        PictureSurface s = makeSurface();
        s.fillRect(0, 0, 300, 300, Qt::black); // in twips: 20 x 20 pixels
        DrawBarcode(QString(), s);
        QCOMPARE(s.unit(), PictureSurface::Unit::Twips);
        QCOMPARE(s.pixelSize(), QSize(537, 97));
        QCOMPARE(QColor(s.image().pixel(5, 5)), s.background());

        DrawBarcode(QStringLiteral("AB"), s);
        const QSize drawn = s.pixelSize();
        QVERIFY(drawn != QSize(537, 97));
        DrawBarcode(QString(), s);
        QCOMPARE(s.unit(), PictureSurface::Unit::Pixels);
        QCOMPARE(s.pixelSize(), drawn);
        QImage blank(drawn, QImage::Format_RGB32);
        blank.fill(s.background());
        QCOMPARE(s.image(), blank);
    }

    void emptyTextBringsBackThePictureNextTextRemovesIt()
    {
        PictureSurface s = makeSurface();
        DrawBarcode(QStringLiteral("AB"), s);
        s.setPicture(s.image());
        DrawBarcode(QString(), s);
        QCOMPARE(s.image(), s.picture());
        DrawBarcode(QStringLiteral("X"), s);
        QVERIFY(s.picture().isNull());
        QCOMPARE(barWidths(s.image(), 0).size(), std::size_t(1 + 10 * 3 - 1));
    }

    void lowerCaseDrawsAsUpperCase()
    {
        PictureSurface lower = makeSurface();
        PictureSurface upper = makeSurface();
        DrawBarcode(QStringLiteral("abc-x"), lower);
        DrawBarcode(QStringLiteral("ABC-X"), upper);
        QCOMPARE(lower.image(), upper.image());

        RecordingSurface r;
        DrawBarcode(QStringLiteral("abc"), r);
        QCOMPARE(r.text, QStringLiteral("ABC"));
    }

    void onlyUnencodableDrawsStartStopAndGap()
    {
        PictureSurface s = makeSurface();
        const int m = moduleWidth(s.pixelSize().height());
        DrawBarcode(QStringLiteral("!!"), s);
        const std::vector<int> widths = barWidths(s.image(), 0);
        QCOMPARE(int(widths.size()), 1 + 10 * 2 - 1);
        QCOMPARE(s.pixelSize().width(), (13 * 2 + 2) * m);
        bool textDrawn = false;
        for (int y = 0; y < s.image().height(); ++y)
            for (int x = 0; x < s.image().width(); ++x)
                textDrawn = textDrawn ||
                            QColor(s.image().pixel(x, y)).red() > QColor(s.image().pixel(x, y)).green() + 60;
        QVERIFY(textDrawn);

        // They still count in the first fit: four framed characters.
        RecordingSurface r;
        DrawBarcode(QStringLiteral("!!"), r);
        QCOMPARE(r.outerWidths.front(), 4 * 1.1 * 15 * 2 * 15);
        QCOMPARE(r.text, QStringLiteral("!!"));
    }

    void controlCharactersInsideDrawNothing()
    {
        PictureSurface plain = makeSurface();
        PictureSurface withControls = makeSurface();
        DrawBarcode(QStringLiteral("AB"), plain);
        DrawBarcode(QStringLiteral("A\x01"
                                   "B\x02"),
                    withControls);
        QCOMPARE(barWidths(withControls.image(), 0), barWidths(plain.image(), 0));
    }

    void asteriskInsideUsesStartStopPattern()
    {
        PictureSurface s = makeSurface();
        DrawBarcode(QStringLiteral("A*B"), s);
        const std::vector<int> widths = barWidths(s.image(), 0);
        QCOMPARE(int(widths.size()), 1 + 10 * 5 - 1);
        // Characters are 10 runs each (gap and nine elements) from index 0; the asterisk is the third.
        const std::vector<int> start(widths.begin() + 1, widths.begin() + 10);
        const std::vector<int> star(widths.begin() + 21, widths.begin() + 30);
        const std::vector<int> letterA(widths.begin() + 11, widths.begin() + 20);
        QCOMPARE(star, start);
        QVERIFY(letterA != start);
    }

    void textLinePosition()
    {
        PictureSurface s = makeSurface(140);
        const QString text = QStringLiteral("HELLO 42");
        DrawBarcode(text, s);
        const double th = s.textHeight(text); // in pixels now
        const double y2 = 140 - 1.5 * th;
        const QImage &img = s.image();
        // Bars reach down to y2 and no further.
        const int firstBar = barWidths(img, 0)[0];
        int lastDarkRow = 0;
        while (lastDarkRow + 1 < img.height() && qGray(img.pixel(firstBar, lastDarkRow + 1)) < 128)
            ++lastDarkRow;
        QVERIFY2(qAbs(lastDarkRow + 1 - y2) <= 0.5,
                 qPrintable(QStringLiteral("%1 %2").arg(lastDarkRow).arg(y2)));

        QRect textBox;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c(img.pixel(x, y));
                if (c.red() > c.green() + 60) textBox |= QRect(x, y, 1, 1);
            }
        QVERIFY(!textBox.isEmpty());
        // Glyphs start inside the text line that begins a quarter text height below the bars.
        QVERIFY(textBox.top() >= y2 + 0.25 * th);
        QVERIFY(textBox.bottom() < y2 + 1.25 * th);
        QVERIFY(qAbs((textBox.left() + textBox.right() + 1) / 2.0 - img.width() / 2.0) <= 2.0);

        RecordingSurface r;
        DrawBarcode(text, r);
        QCOMPARE(r.textAt.y(), r.height - 1.5 * r.th + 0.25 * r.th);
        QCOMPARE(r.textAt.x(), (r.width - r.twPerChar * text.size()) / 2);
    }

    void elementsFollowEachOtherAndFitsUseTheBorderRatio()
    {
        RecordingSurface r;
        r.border = 2;
        r.width = 400;
        const double outerBefore = r.outerWidth();
        DrawBarcode(QStringLiteral("A1"), r);
        QVERIFY(r.pixels);
        QCOMPARE(r.clears, 1);
        QCOMPARE(int(r.outerWidths.size()), 2);
        QCOMPARE(r.outerWidths[0], 4 * 1.1 * 15 * 2 * outerBefore / 400);
        const double afterFirstFit = r.outerWidths[0] / 15 - 4;

        double x = 0;
        int light = 0, dark = 0;
        for (const auto &f : r.fills) {
            QCOMPARE(f.x1, x);
            QCOMPARE(f.y1, 0.0);
            QCOMPARE(f.y2, 97 - 1.5 * 14);
            x = f.x2;
            (f.colour == QColor(Qt::black) ? dark : light)++;
        }
        QCOMPARE(dark, 5 * 4);
        QCOMPARE(light, 5 * 4 + 4 + 1); // gap before each bar, one blank a character, trailing gap
        QCOMPARE(x, (13 * 4 + 1) * 2.0);
        QCOMPARE(r.outerWidths[1], (x + 2) * (afterFirstFit + 4) * 15 / afterFirstFit);
    }

    void failuresGoThroughTheTrap()
    {
        test::ScriptedPrompts prompts;
        RecordingSurface zeroWidth;
        zeroWidth.width = 0;
        DrawBarcode(QStringLiteral("A"), zeroWidth);
        QCOMPARE(prompts.texts(),
                 QStringList{QStringLiteral(
                     "Error 11 (Division by zero). In procedure DrawBarcode of Module DrawBar")});
        QVERIFY(zeroWidth.fills.empty());

        prompts.clear();
        PictureSurface s = makeSurface();
        DrawBarcode(QString(2000, QLatin1Char('A')), s);
        QCOMPARE(prompts.texts(),
                 QStringList{
                     QStringLiteral("Error 380 (Invalid property value). In procedure DrawBarcode of Module "
                                    "DrawBar")});
        QCOMPARE(prompts.last().title, QStringLiteral("Tallyvane"));
        QCOMPARE(s.pixelSize(), QSize(537, 97)); // cleared, never resized
    }

    void charactersNotEncoded_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("missing");
        QTest::newRow("all encodable") << "AZ09 $%*+-./"
                                       << "";
        QTest::newRow("lower case is encodable") << "abc"
                                                 << "";
        QTest::newRow("hash and at") << "A#B@C#"
                                     << "#@";
        QTest::newRow("above 90") << "a_b[c]é"
                                  << "_[]é";
        QTest::newRow("punctuation") << "1,2;3!"
                                     << ",;!";
        QTest::newRow("control characters") << QStringLiteral("A\x01\tB") << QStringLiteral("\x01\t");
    }
    void charactersNotEncoded()
    {
        QFETCH(QString, text);
        QFETCH(QString, missing);
        QCOMPARE(tv::charactersNotEncoded(text), missing);
    }
};

QTEST_MAIN(TestDrawBar)
#include "tst_drawbar.moc"
