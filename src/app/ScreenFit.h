#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace tv::screenfit {

// The window designs were laid out for this screen.
inline constexpr double kDesignWidth = 1280.0;
inline constexpr double kDesignHeight = 1024.0;
inline constexpr double kSmallFontDpi = 96.0;
inline constexpr double kLargeFontDpi = 120.0;

// The face that small fonts get on a shrunken window.
inline QString smallFontsFace()
{
    return QStringLiteral("Small Fonts");
}

// A plain picture of a window and its controls, in twips (positions and sizes) and points
// (fonts). A property a control lacks is empty and is passed over.
struct FontSpec
{
    double size = 0; // points
    QString face;
};

enum class ControlKind { Line, PictureBox, Toolbar, Other };

struct ControlModel
{
    ControlKind kind = ControlKind::Other;
    std::optional<FontSpec> font;
    std::optional<double> left, top, width, height;
    std::optional<double> x1, y1, x2, y2;            // lines
    std::optional<double> scaleWidth, scaleHeight;   // picture boxes, in their own units
    std::optional<double> buttonWidth, buttonHeight; // toolbars
    QString tag;                                     // "L", "T", "H" or "W" + whole twips
};

struct FormModel
{
    std::optional<double> left, top, width, height;
    QString tag;
    std::vector<ControlModel> controls;
};

struct ScreenInfo
{
    double widthTwips = 0;
    double heightTwips = 0;
    double twipsPerPixelX = 15;
    double twipsPerPixelY = 15;
    bool smallFont = true; // the text density is 96 dots per inch

    // A screen of the given pixel size; twips per pixel follow from the text density.
    static ScreenInfo fromPixels(int widthPx, int heightPx, int dpi);
};

struct Factors
{
    double horizontal = 1;
    double vertical = 1;
    double font = 1;
};

Factors factorsFor(const ScreenInfo &screen);

// Mode 0 scales the window's own size, mode 2 makes it cover the screen, any other mode leaves
// it alone; controls are scaled in every mode.
void fitFormToScreen(FormModel &form, std::int16_t mode, const ScreenInfo &screen);

} // namespace tv::screenfit
