#include "DrawBar.h"

#include "common/AppError.h"
#include "common/ErrorTrap.h"

#include <cmath>

namespace tv {

PatternTable code39Patterns()
{
    PatternTable t{}; // every code without a symbol stays empty
    t[kStartCode] = "1 1221";
    t[kStopCode] = "1 1221";
    t[32] = "1 2121"; // blank
    t[35] = "";       // '#' has no symbol
    t[36] = "1 1 1 11";
    t[37] = "11 1 1 1";
    t[42] = "1 1221";
    t[43] = "1 11 1 1";
    t[45] = "1 1122";
    t[46] = "2 1121";
    t[47] = "1 1 11 1";
    t[48] = "11 221";
    t[49] = "21 112";
    t[50] = "12 112";
    t[51] = "22 111";
    t[52] = "11 212";
    t[53] = "21 211";
    t[54] = "12 211";
    t[55] = "11 122";
    t[56] = "21 121";
    t[57] = "12 121";
    t[64] = ""; // '@' has no symbol
    t[65] = "211 12";
    t[66] = "121 12";
    t[67] = "221 11";
    t[68] = "112 12";
    t[69] = "212 11";
    t[70] = "122 11";
    t[71] = "111 22";
    t[72] = "211 21";
    t[73] = "121 21";
    t[74] = "112 21";
    t[75] = "2111 2";
    t[76] = "1211 2";
    t[77] = "2211 1";
    t[78] = "1121 2";
    t[79] = "2121 1";
    t[80] = "1221 1";
    t[81] = "1112 2";
    t[82] = "2112 1";
    t[83] = "1212 1";
    t[84] = "1122 1";
    t[85] = "2 1112";
    t[86] = "1 2112";
    t[87] = "2 2111";
    t[88] = "1 1212";
    t[89] = "2 1211";
    t[90] = "1 2211";
    return t;
}

int moduleWidth(double drawableHeight)
{
    // nearbyint rounds an exact half to the even neighbour in the default rounding mode
    const double m = std::nearbyint(drawableHeight / 40.0);
    return m < 1.0 ? 1 : static_cast<int>(m);
}

QString upperCasedForBarcode(const QString &text)
{
    QString upper = text;
    for (QChar &c : upper)
        c = c.toUpper();
    return upper;
}

std::string_view patternFor(QChar c, const PatternTable &table)
{
    int code = c.unicode();
    if (code > 90) code = 0;
    // Start and stop only frame the symbol; inside the text a control character draws nothing, else
    // a stray start or stop would cut the symbol short.
    if (code < 32) return {};
    return table[static_cast<std::size_t>(code)];
}

QString charactersNotEncoded(const QString &text)
{
    const PatternTable table = code39Patterns();
    QString missing;
    for (const QChar c : text) {
        if (patternFor(c.toUpper(), table).empty() && !missing.contains(c)) missing += c;
    }
    return missing;
}

namespace {
const QColor kDark(0, 0, 0);
const QColor kLight(255, 255, 255);

// Pixels to container units by the surface's own ratio of outer to drawable width.
double toOuterWidth(double drawableWidth, const BarcodeSurface &surface)
{
    const double inside = surface.drawableWidth();
    if (inside == 0.0) throw AppError(Err::DivisionByZero);
    return drawableWidth * surface.outerWidth() / inside;
}
} // namespace

void DrawBarcode(QString text, BarcodeSurface &surface)
{
    ErrorTrap trap(QStringLiteral("DrawBarcode"), QStringLiteral("DrawBar"), ErrorTrap::Owner::Module);
    trap.run([&] {
        if (text.isEmpty()) {
            surface.clear();
            return;
        }
        const PatternTable table = code39Patterns();
        text = upperCasedForBarcode(text);

        surface.setUnitPixels();
        surface.clear();
        surface.removePicture();

        const double m = moduleWidth(surface.drawableHeight());
        const double th = surface.textHeight(text);
        const double tw = surface.textWidth(text);
        const qsizetype framedLength = text.size() + 2;
        const double y1 = surface.drawableTop();
        const double y2 = surface.drawableTop() + surface.drawableHeight() - 1.5 * th;

        // Room for about 16.5 modules per character while drawing; refitted to the symbol below.
        surface.setOuterWidth(toOuterWidth(static_cast<double>(framedLength) * 1.1 * (15.0 * m), surface));

        double x = surface.drawableLeft();
        const auto drawPattern = [&](std::string_view pattern) {
            for (const char symbol : pattern) {
                switch (symbol) {
                case ' ':
                    surface.fillRect(x, y1, x + m, y2, kLight);
                    x += m;
                    break;
                case '1':
                    surface.fillRect(x, y1, x + m, y2, kLight);
                    x += m;
                    surface.fillRect(x, y1, x + m, y2, kDark);
                    x += m;
                    break;
                case '2':
                    surface.fillRect(x, y1, x + m, y2, kLight);
                    x += m;
                    surface.fillRect(x, y1, x + 2 * m, y2, kDark);
                    x += 2 * m;
                    break;
                default:
                    break;
                }
            }
        };
        drawPattern(table[kStartCode]);
        for (const QChar c : std::as_const(text))
            drawPattern(patternFor(c, table));
        drawPattern(table[kStopCode]);

        surface.fillRect(x, y1, x + m, y2, kLight);
        x += m;

        surface.setOuterWidth(toOuterWidth(x + m, surface));

        surface.drawText((surface.drawableWidth() - tw) / 2.0, y2 + 0.25 * th, text);
    });
}

} // namespace tv
