#include "app/ScreenFit.h"

namespace tv::screenfit {

namespace {

enum class Extent { Position, Size };

// Reads, multiplies and writes back one property. A missing property is passed over; a size that
// would go negative is refused and keeps its old value, as a control refuses such a value.
void scale(std::optional<double> &value, double factor, Extent extent = Extent::Position)
{
    if (!value) return;
    const double scaled = *value * factor;
    if (extent == Extent::Size && scaled < 0) return;
    *value = scaled;
}

void add(std::optional<double> &value, double amount, Extent extent)
{
    if (!value) return;
    const double moved = *value + amount;
    if (extent == Extent::Size && moved < 0) return;
    *value = moved;
}

// Small fonts on a shrinking window step down by half a point in a face made for small sizes;
// everything else follows the factor.
void scaleFont(std::optional<FontSpec> &font, double factor)
{
    if (!font) return;
    if (font->size <= 8 && factor < 1) {
        const double smaller = font->size - 0.5;
        font->face = smallFontsFace();
        if (smaller > 0) font->size = smaller;
        return;
    }
    const double scaled = font->size * factor;
    if (scaled > 0) font->size = scaled;
}

// "L120", "T-30", "H45", "W200": a whole number of twips added after scaling. Anything else is
// no adjustment.
template <class Target> void applyTag(Target &target, const QString &tag)
{
    if (tag.size() < 2) return;
    bool ok = false;
    const int amount = tag.mid(1).trimmed().toInt(&ok);
    if (!ok) return;
    switch (tag.at(0).unicode()) {
    case 'L':
        add(target.left, amount, Extent::Position);
        break;
    case 'T':
        add(target.top, amount, Extent::Position);
        break;
    case 'H':
        add(target.height, amount, Extent::Size);
        break;
    case 'W':
        add(target.width, amount, Extent::Size);
        break;
    default:
        break;
    }
}

void fitForm(FormModel &form, std::int16_t mode, const ScreenInfo &screen, double h, double v)
{
    if (mode == 0) {
        scale(form.height, v, Extent::Size);
        scale(form.width, h, Extent::Size);
        applyTag(form, form.tag);
    } else if (mode == 2) {
        form.width = screen.widthTwips;
        form.height = screen.heightTwips;
        form.top = 0.0;
        form.left = 0.0;
    }
}

void fitGeometry(ControlModel &c, double h, double v)
{
    switch (c.kind) {
    case ControlKind::Line:
        scale(c.x1, h);
        scale(c.y1, v);
        scale(c.x2, h);
        scale(c.y2, v);
        break;
    case ControlKind::PictureBox:
        scale(c.width, h, Extent::Size);
        scale(c.height, v, Extent::Size);
        scale(c.top, v);
        scale(c.left, h);
        scale(c.scaleHeight, v);
        scale(c.scaleWidth, h);
        break;
    case ControlKind::Toolbar:
        scale(c.buttonHeight, v, Extent::Size);
        scale(c.buttonWidth, h, Extent::Size);
        scale(c.width, h, Extent::Size);
        scale(c.height, v, Extent::Size);
        scale(c.top, v);
        scale(c.left, h);
        break;
    case ControlKind::Other:
        scale(c.width, h, Extent::Size);
        scale(c.height, v, Extent::Size);
        scale(c.top, v);
        scale(c.left, h);
        break;
    }
}

} // namespace

ScreenInfo ScreenInfo::fromPixels(int widthPx, int heightPx, int dpi)
{
    ScreenInfo s;
    s.twipsPerPixelX = 1440.0 / dpi;
    s.twipsPerPixelY = 1440.0 / dpi;
    s.widthTwips = widthPx * s.twipsPerPixelX;
    s.heightTwips = heightPx * s.twipsPerPixelY;
    s.smallFont = dpi == 96;
    return s;
}

Factors factorsFor(const ScreenInfo &screen)
{
    Factors f;
    f.horizontal = screen.widthTwips / screen.twipsPerPixelX / kDesignWidth;
    f.vertical = screen.heightTwips / screen.twipsPerPixelY / kDesignHeight;
    f.font = kSmallFontDpi / (screen.smallFont ? kSmallFontDpi : kLargeFontDpi);
    return f;
}

void fitFormToScreen(FormModel &form, std::int16_t mode, const ScreenInfo &screen)
{
    const Factors f = factorsFor(screen);
    if (f.horizontal == 1 && f.vertical == 1 && f.font == 1) return;

    fitForm(form, mode, screen, f.horizontal, f.vertical);
    for (ControlModel &c : form.controls) {
        scaleFont(c.font, f.horizontal);
        fitGeometry(c, f.horizontal, f.vertical);
        applyTag(c, c.tag);
    }

    if (f.font != 1) {
        fitForm(form, mode, screen, f.font, f.font);
        for (ControlModel &c : form.controls) {
            scaleFont(c.font, f.font);
            fitGeometry(c, f.font, f.font);
        }
    }
}

} // namespace tv::screenfit
