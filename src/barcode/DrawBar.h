#pragma once

#include <QColor>
#include <QString>
#include <array>
#include <string_view>

namespace tv {

// What DrawBarcode needs of a drawing target. Coordinates are in the surface's current unit;
// the outer width is in the units of the surface's container.
class BarcodeSurface
{
public:
    virtual ~BarcodeSurface() = default;

    virtual void setUnitPixels() = 0;
    virtual void clear() = 0;
    virtual void removePicture() = 0;

    virtual double drawableLeft() const = 0;
    virtual double drawableTop() const = 0;
    virtual double drawableWidth() const = 0;
    virtual double drawableHeight() const = 0;

    virtual double outerWidth() const = 0;
    virtual void setOuterWidth(double width) = 0;

    virtual double textHeight(const QString &text) const = 0;
    virtual double textWidth(const QString &text) const = 0;

    virtual void fillRect(double x1, double y1, double x2, double y2, const QColor &colour) = 0;
    // (x, y) is the top left of the text.
    virtual void drawText(double x, double y, const QString &text) = 0;
};

// Code 39 patterns indexed by character code 0..90: '1' a narrow bar after a narrow gap, '2' a wide
// bar after a narrow gap, ' ' one more light module (so the next gap is wide). Codes 1 and 2 are the
// start and stop characters; every code without a symbol is empty.
using PatternTable = std::array<std::string_view, 91>;
PatternTable code39Patterns();

// The framing characters' codes in the table.
inline constexpr char16_t kStartCode = 1;
inline constexpr char16_t kStopCode = 2;

// Module width in pixels for a drawable height: height / 40 rounded half-even, at least 1.
int moduleWidth(double drawableHeight);

// Upper-cases letter by letter, so that the text keeps its length.
QString upperCasedForBarcode(const QString &text);

// The pattern a character of the text draws with (empty when it draws nothing).
std::string_view patternFor(QChar c, const PatternTable &table);

// The distinct characters of the text that have no bars, in order of first appearance.
QString charactersNotEncoded(const QString &text);

// Encodes the text as Code 39 without check character and draws it on the surface with the text
// in plain letters under the bars; fits the surface's width to the symbol. Failures are shown by
// the standard error trap; whatever was drawn so far stays.
void DrawBarcode(QString text, BarcodeSurface &surface);

} // namespace tv
