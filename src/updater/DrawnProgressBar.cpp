#include "updater/DrawnProgressBar.h"

#include "updater/BottomUpBitmap.h"

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QApplication>
#include <QPaintEvent>
#include <QStyle>
#include <QStyleOptionProgressBar>
#include <algorithm>
#include <cmath>

namespace tv {

namespace {

// A rectangle whose right and bottom lie just outside it.
struct Rc
{
    int left, top, right, bottom;
    QRect q() const { return QRect(left, top, right - left, bottom - top); }
};

// System colour numbers in the order the colour values count them.
constexpr QPalette::ColorRole kSystemRoles[31] = {
    QPalette::Mid,             // scroll bar
    QPalette::Dark,            // desktop
    QPalette::Highlight,       // active caption
    QPalette::Mid,             // inactive caption
    QPalette::Window,          // menu
    QPalette::Base,            // window
    QPalette::Shadow,          // window frame
    QPalette::WindowText,      // menu text
    QPalette::WindowText,      // window text
    QPalette::HighlightedText, // caption text
    QPalette::Window,          // active border
    QPalette::Window,          // inactive border
    QPalette::Dark,            // application work space
    QPalette::Highlight,       // highlight
    QPalette::HighlightedText, // highlight text
    QPalette::Button,          // button face
    QPalette::Dark,            // button shadow
    QPalette::PlaceholderText, // grey text
    QPalette::ButtonText,      // button text
    QPalette::Text,            // inactive caption text
    QPalette::Light,           // button highlight
    QPalette::Shadow,          // 3D dark shadow
    QPalette::Midlight,        // 3D light
    QPalette::ToolTipText,     // info text
    QPalette::ToolTipBase,     // info background
    QPalette::Window,          // (unused number)
    QPalette::Link,            // hot light
    QPalette::Highlight,       // gradient active caption
    QPalette::Mid,             // gradient inactive caption
    QPalette::Highlight,       // menu highlight
    QPalette::Window,          // menu bar
};

// One line from (x0, y0) towards (x1, y1), the end point left out; only straight lines occur.
void lineTo(QPainter &p, const QColor &c, int x0, int y0, int x1, int y1)
{
    if (y0 == y1) {
        if (x1 > x0)
            p.fillRect(QRect(x0, y0, x1 - x0, 1), c);
        else if (x1 < x0)
            p.fillRect(QRect(x1 + 1, y0, x0 - x1, 1), c);
    } else if (x0 == x1) {
        if (y1 > y0)
            p.fillRect(QRect(x0, y0, 1, y1 - y0), c);
        else
            p.fillRect(QRect(x0, y1 + 1, 1, y0 - y1), c);
    }
}

// A two-pixel three-dimensional edge on all four sides.
void drawEdge(QPainter &p, const Rc &r, const QColor &outerTL, const QColor &outerBR, const QColor &innerTL,
              const QColor &innerBR)
{
    auto frame = [&](const Rc &f, const QColor &tl, const QColor &br) {
        lineTo(p, tl, f.left, f.bottom - 1, f.left, f.top);
        lineTo(p, tl, f.left, f.top, f.right - 1, f.top);
        lineTo(p, br, f.right - 1, f.top, f.right - 1, f.bottom - 1);
        lineTo(p, br, f.right - 1, f.bottom - 1, f.left - 1, f.bottom - 1);
    };
    frame(r, outerTL, outerBR);
    frame(Rc{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, innerTL, innerBR);
}

int alignment(qint32 x, qint32 y)
{
    int a = Qt::TextSingleLine;
    a |= x == 0 ? Qt::AlignLeft : x == 2 ? Qt::AlignRight : Qt::AlignHCenter;
    a |= y == 0 ? Qt::AlignTop : y == 2 ? Qt::AlignBottom : Qt::AlignVCenter;
    return a;
}

QImage drawnImage(const QImage &picture)
{
    return picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void recolour(QImage &drawn, double luminance, double saturation)
{
    if (drawn.isNull()) return;
    BottomUpBitmap bitmap;
    bitmap.createFromImage(drawn);
    bitmap.modifyHls(1, luminance, saturation);
    QPainter p(&drawn);
    bitmap.paintTo(p, 0, 0, -1, -1, 0, 0, QPainter::CompositionMode_Source);
}

// The picture repeated over (x, y, w, h), its own origin at (0, 0) of the control.
void tile(QPainter &p, const QImage &pic, int x, int y, int w, int h)
{
    const int sw = pic.width(), sh = pic.height();
    if (sw <= 0 || sh <= 0) return;
    const int sx = x % sw, sy = y % sh;
    int srcRow = sy < 0 ? sy + sh : sy;
    for (int row = y; row < y + h;) {
        const int rowH = std::min(sh - srcRow, y + h - row);
        int srcCol = sx < 0 ? sx + sw : sx;
        for (int col = x; col < x + w;) {
            const int colW = std::min(sw - srcCol, x + w - col);
            p.drawImage(QPoint(col, row), pic, QRect(srcCol, srcRow, colW, rowH));
            col += colW;
            srcCol = 0;
        }
        row += rowH;
        srcRow = 0;
    }
}

// A picture copied as it is: tiled over an area, or stretched over the whole control.
void drawPicture(QPainter &p, const QImage &pic, bool tiled, const Rc &tileArea, const QRect &whole)
{
    p.setCompositionMode(QPainter::CompositionMode_Source);
    if (tiled)
        tile(p, pic, tileArea.left, tileArea.top, tileArea.right - tileArea.left,
             tileArea.bottom - tileArea.top);
    else
        p.drawImage(whole, pic);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

// The bar is drawn by hand, so it tells a screen reader its value itself: the text the window
// set ("42%"), or else the percentage.
class AccessibleProgressBar : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit AccessibleProgressBar(QWidget *w) : QAccessibleWidget(w, QAccessible::ProgressBar) {}

    DrawnProgressBar *bar() const { return static_cast<DrawnProgressBar *>(object()); }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Value) return QAccessibleWidget::text(t);
        if (!bar()->text().isEmpty()) return bar()->text();
        return QString::number(std::lround(bar()->percent())) + QLatin1Char('%');
    }

    QVariant currentValue() const override { return bar()->value(); }
    void setCurrentValue(const QVariant &) override {} // the user cannot move it
    QVariant maximumValue() const override { return bar()->maximum(); }
    QVariant minimumValue() const override { return bar()->minimum(); }
    QVariant minimumStepSize() const override { return 0; }
};

QAccessibleInterface *progressBarFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String(DrawnProgressBar::staticMetaObject.className()) && object &&
        object->isWidgetType())
        return new AccessibleProgressBar(static_cast<QWidget *>(object));
    return nullptr;
}

} // namespace

// What one frame is drawn with, worked out as the drawing goes.
struct DrawnProgressBar::Frame
{
    QStyleOptionProgressBar option;
    QRect whole;
    bool horizontal = false;
    bool themed = false; // the style draws groove, chunks and text
    int chunk = 0;       // segment width and the gap after it
    int space = 0;
    Rc outer{}; // the control
    Rc inner{}; // inside the border
    Rc bar{};   // the filled part of inner
    bool textShown = false;
    QString blankedText; // the text with a space either side
    int align = 0;
};

DrawnProgressBar::DrawnProgressBar(QWidget *parent) : QWidget(parent)
{
    QAccessible::installFactory(progressBarFactory);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

DrawnProgressBar::~DrawnProgressBar() = default;

void DrawnProgressBar::changed(const char *name)
{
    redraw();
    if (QAccessible::isActive() && (qstrcmp(name, "Value") == 0 || qstrcmp(name, "Text") == 0)) {
        QAccessibleValueChangeEvent event(this, m_value);
        QAccessible::updateAccessibility(&event);
    }
    emit propertyChanged(QString::fromLatin1(name));
}

// Each setter stores, redraws and gives notice under the property's stored name.
#define TV_SETTER(setter, Type, member, name)                                                                \
    void DrawnProgressBar::setter(Type v)                                                                    \
    {                                                                                                        \
        member = v;                                                                                          \
        changed(name);                                                                                       \
    }
TV_SETTER(setSegments, bool, m_segments, "Segments")
TV_SETTER(setXpStyle, bool, m_xpStyle, "XpStyle")
TV_SETTER(setText, const QString &, m_text, "Text")
TV_SETTER(setTextAlignX, qint32, m_textAlignX, "TextAlignX")
TV_SETTER(setTextAlignY, qint32, m_textAlignY, "TextAlignY")
TV_SETTER(setShowText, bool, m_showText, "ShowText")
TV_SETTER(setMinimum, qint32, m_min, "Min")
TV_SETTER(setMaximum, qint32, m_max, "Max")
TV_SETTER(setValue, qint32, m_value, "Value")
TV_SETTER(setBorderStyle, qint32, m_borderStyle, "BorderStyle")
TV_SETTER(setAppearance, qint32, m_appearance, "Appearance")
TV_SETTER(setBackColor, ColorValue, m_backColor, "BackColor")
TV_SETTER(setForeColor, ColorValue, m_foreColor, "ForeColor")
TV_SETTER(setBarColor, ColorValue, m_barColor, "BarColor")
TV_SETTER(setBarForeColor, ColorValue, m_barForeColor, "BarForeColor")
TV_SETTER(setBarPictureMode, qint32, m_barPictureMode, "BarPictureMode")
TV_SETTER(setBackPictureMode, qint32, m_backPictureMode, "BackPictureMode")
#undef TV_SETTER

void DrawnProgressBar::setFontProperty(const QFont &font)
{
    QWidget::setFont(font);
    changed("Font");
}

void DrawnProgressBar::setBarPicture(const QImage &picture)
{
    m_barPicture = picture;
    m_barDrawn = drawnImage(picture);
    redraw();
    emit propertyChanged(QStringLiteral("Picture"));
    emit propertyChanged(QStringLiteral("BarPicture"));
}

void DrawnProgressBar::setPicture(const QImage &picture)
{
    m_picture = picture;
    m_backDrawn = drawnImage(picture);
    redraw();
    emit propertyChanged(QStringLiteral("Picture"));
    emit propertyChanged(QStringLiteral("BarPicture"));
}

void DrawnProgressBar::modifyBarPicture(double luminance, double saturation)
{
    recolour(m_barDrawn, luminance, saturation);
}

void DrawnProgressBar::modifyPicture(double luminance, double saturation)
{
    recolour(m_backDrawn, luminance, saturation);
}

QColor DrawnProgressBar::translateColor(ColorValue color) const
{
    if (color & 0x80000000u) {
        const quint32 index = color & 0x7FFFFFFFu;
        if (index > 30) return QColor(255, 255, 255); // a failed translation gives -1: all bits set
        return palette().color(QPalette::Active, kSystemRoles[index]);
    }
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

double DrawnProgressBar::fraction() const
{
    // Max equal to Min has no fraction to show: the bar stays empty.
    if (m_max == m_min) return 0.0;
    const double f = (double(m_value) - double(m_min)) / (double(m_max) - double(m_min));
    return std::clamp(f, 0.0, 1.0);
}

void DrawnProgressBar::readProperties(const PropertyBag &bag)
{
    const QFont ambient = parentWidget() ? parentWidget()->font() : QApplication::font();
    setPicture(bag.read(QStringLiteral("Picture"), QImage()).value<QImage>());
    setBackColor(bag.read(QStringLiteral("BackColor"), kButtonFace).toUInt());
    setForeColor(bag.read(QStringLiteral("ForeColor"), kWindowText).toUInt());
    setAppearance(bag.read(QStringLiteral("Appearance"), 1).toInt());
    setBorderStyle(bag.read(QStringLiteral("BorderStyle"), 1).toInt());
    setBarColor(bag.read(QStringLiteral("BarColor"), 0x800000u).toUInt());
    setBarForeColor(bag.read(QStringLiteral("BarForeColor"), 0xFFFFFFu).toUInt());
    setBarPicture(bag.read(QStringLiteral("BarPicture"), QImage()).value<QImage>());
    setBarPictureMode(bag.read(QStringLiteral("BarPictureMode"), 1).toInt());
    setBackPictureMode(bag.read(QStringLiteral("BackPictureMode"), 1).toInt());
    setMinimum(bag.read(QStringLiteral("Min"), 0).toInt());
    setMaximum(bag.read(QStringLiteral("Max"), 100).toInt());
    setValue(bag.read(QStringLiteral("Value"), 0).toInt());
    setShowText(bag.read(QStringLiteral("ShowText"), false).toBool());
    setTextAlignX(bag.read(QStringLiteral("TextAlignX"), 1).toInt());
    setTextAlignY(bag.read(QStringLiteral("TextAlignY"), 1).toInt());
    setText(bag.read(QStringLiteral("Text"), QString()).toString());
    setFontProperty(bag.read(QStringLiteral("Font"), ambient).value<QFont>());
    setSegments(bag.read(QStringLiteral("Segments"), false).toBool());
    setXpStyle(bag.read(QStringLiteral("XpStyle"), false).toBool());
    redraw();
}

void DrawnProgressBar::writeProperties(PropertyBag &bag) const
{
    bag.write(QStringLiteral("Segments"), m_segments, false);
    bag.write(QStringLiteral("XpStyle"), m_xpStyle, false);
    bag.write(QStringLiteral("Text"), m_text, QString());
    bag.write(QStringLiteral("TextAlignX"), m_textAlignX, 1);
    bag.write(QStringLiteral("TextAlignY"), m_textAlignY, 1);
    bag.write(QStringLiteral("ShowText"), m_showText, false);
    bag.write(QStringLiteral("Min"), m_min, 0);
    bag.write(QStringLiteral("Max"), m_max, 100);
    bag.write(QStringLiteral("Value"), m_value, 0);
    bag.write(QStringLiteral("BorderStyle"), m_borderStyle, 1);
    bag.write(QStringLiteral("Appearance"), m_appearance, 1);
    bag.write(QStringLiteral("BackColor"), m_backColor, kButtonFace);
    bag.write(QStringLiteral("ForeColor"), m_foreColor, kWindowText);
    bag.write(QStringLiteral("Font"), font()); // always written
    bag.write(QStringLiteral("BarColor"), m_barColor, 0x800000u);
    bag.write(QStringLiteral("BarForeColor"), m_barForeColor, 0xFFFFFFu);
    bag.write(QStringLiteral("BarPicture"), m_barPicture, QImage());
    bag.write(QStringLiteral("BarPictureMode"), m_barPictureMode, 1);
    bag.write(QStringLiteral("BackPictureMode"), m_backPictureMode, 1);
    bag.write(QStringLiteral("Picture"), m_picture, QImage());
}

void DrawnProgressBar::redraw()
{
    const int w = std::abs(width()), h = std::abs(height());
    if (QPainter *p = m_surface.painter(w, h)) render(*p, w, h);
    update(); // the paint copies the surface, or draws straight into the window without one
}

void DrawnProgressBar::paintEvent(QPaintEvent *)
{
    const int w = width(), h = height();
    QPainter window(this);
    if (QPainter *p = m_surface.painter(w, h)) {
        render(*p, w, h);
        m_surface.copyTo(window, 0, 0, w, h, 0, 0);
    } else {
        render(window, w, h);
    }
}

void DrawnProgressBar::resizeEvent(QResizeEvent *)
{
    redraw();
}

void DrawnProgressBar::render(QPainter &p, int width, int height)
{
    p.save();
    p.setClipping(false);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBackgroundMode(Qt::TransparentMode);
    emit aboutToDraw(&p, 0, 0, width, height, true);

    Frame frame = frameFor(width, height);
    drawBackground(p, frame);
    if (frame.textShown && !frame.themed) drawText(p, frame, m_foreColor);
    placeBar(frame);
    drawBar(p, frame);
    drawSegmentGaps(p, frame);
    if (frame.textShown) {
        if (frame.themed)
            drawThemedText(p, frame);
        else
            drawText(p, frame, m_barForeColor);
    }
    drawBorder(p, frame);
    p.restore();
}

DrawnProgressBar::Frame DrawnProgressBar::frameFor(int width, int height) const
{
    Frame f;
    f.outer = f.inner = Rc{0, 0, width, height};
    f.whole = f.outer.q();
    f.horizontal = width > height;
    QStyleOptionProgressBar &opt = f.option;
    opt.initFrom(this);
    opt.rect = f.whole;
    opt.minimum = m_min;
    opt.maximum = m_max;
    opt.progress = m_value;
    opt.text = m_text;
    opt.textVisible = m_showText;
    opt.textAlignment = Qt::Alignment(alignment(m_textAlignX, m_textAlignY) & ~Qt::TextSingleLine);
    if (f.horizontal)
        opt.state |= QStyle::State_Horizontal;
    else
        opt.state &= ~QStyle::State_Horizontal;
    f.textShown = !m_text.isEmpty() && m_showText;
    f.blankedText = QLatin1Char(' ') + m_text + QLatin1Char(' ');
    f.align = alignment(m_textAlignX, m_textAlignY);
    return f;
}

// Background picture, the style's groove or the background colour; then the segment sizes and
// the room the border takes.
void DrawnProgressBar::drawBackground(QPainter &p, Frame &f) const
{
    if (!m_backDrawn.isNull()) {
        drawPicture(p, m_backDrawn, m_backPictureMode == 1, f.outer, f.whole);
    } else if (m_xpStyle) {
        // The style's own chunk width; it knows no separate gap.
        const int chunkSize = style()->pixelMetric(QStyle::PM_ProgressBarChunkWidth, &f.option, this);
        if (chunkSize > 0) {
            f.chunk = chunkSize;
            f.space = 0;
            style()->drawControl(QStyle::CE_ProgressBarGroove, &f.option, &p, this);
            f.themed = true;
        }
    }
    if (!f.themed && m_backDrawn.isNull()) p.fillRect(f.whole, translateColor(m_backColor));

    if (m_segments && !f.themed) {
        f.chunk = 8;
        f.space = 2;
    }
    if (m_borderStyle > 0) {
        const int d = f.themed ? 1 : (m_appearance == 2 ? 2 : 1);
        f.inner = Rc{f.outer.left + d, f.outer.top + d, f.outer.right - d, f.outer.bottom - d};
    }
}

// The filled part: from the left, or up from the bottom, snapped back to whole segments.
void DrawnProgressBar::placeBar(Frame &f) const
{
    const Rc &r = f.inner;
    Rc b = r;
    const double filled = fraction();
    const int step = f.chunk + f.space;
    const bool snap = (m_segments || f.themed) && step > 0;
    if (f.horizontal) {
        int e = int(std::nearbyint((r.right - r.left) * filled + r.left));
        if (snap) e = std::max(e - ((e - b.left) % step), r.left);
        b.right = e;
    } else {
        int t = int(std::nearbyint((r.bottom - r.top) * (1.0 - filled) + r.top));
        if (snap)
            t = std::min(t - ((t - b.bottom) % step), r.bottom); // the remainder keeps the sign of t - bottom
        b.top = t;
    }
    f.bar = b;
}

// Outside the themed look, everything from here on is clipped to the bar until the border.
void DrawnProgressBar::drawBar(QPainter &p, const Frame &f) const
{
    const Rc &b = f.bar;
    if (!f.themed) p.setClipRect(b.q());

    if (!m_barDrawn.isNull()) {
        drawPicture(p, m_barDrawn, m_barPictureMode == 1, Rc{0, b.top, b.right - b.left, b.bottom}, f.whole);
    } else if (f.themed) {
        QStyleOptionProgressBar chunkOpt = f.option;
        chunkOpt.rect = QRect(b.left + 2, b.top + 2, b.right - b.left - 3, b.bottom - b.top - 3);
        style()->drawPrimitive(QStyle::PE_IndicatorProgressChunk, &chunkOpt, &p, this);
    } else {
        p.fillRect(b.q(), translateColor(m_barColor));
    }
}

void DrawnProgressBar::drawSegmentGaps(QPainter &p, const Frame &f) const
{
    if (!m_segments || f.themed) return;
    const Rc &r = f.inner;
    const Rc &b = f.bar;
    const int step = f.chunk + f.space;
    const QColor gap = translateColor(m_backColor);
    if (f.horizontal) {
        for (int x = b.left + f.chunk; x <= b.right; x += step)
            p.fillRect(QRect(x, r.top, f.space, r.bottom - r.top), gap);
    } else {
        for (int y = b.bottom; y >= b.top + f.chunk; y -= step)
            p.fillRect(QRect(r.left, y, r.right - r.left, f.space), gap);
    }
}

// The text in one colour: drawn once over the background and again, clipped, over the bar.
void DrawnProgressBar::drawText(QPainter &p, const Frame &f, ColorValue color) const
{
    p.setFont(font());
    p.setPen(translateColor(color));
    p.drawText(f.inner.q(), f.align, f.blankedText);
}

void DrawnProgressBar::drawThemedText(QPainter &p, const Frame &f) const
{
    p.setFont(font());
    const QRect content = style()->subElementRect(QStyle::SE_ProgressBarContents, &f.option, this);
    style()->drawItemText(&p, content, f.align, f.option.palette, isEnabled(), m_text,
                          QPalette::HighlightedText);
}

// Flat black, thin sunken or raised, or a two-pixel edge; the themed look has the style's own.
void DrawnProgressBar::drawBorder(QPainter &p, const Frame &f) const
{
    if (f.themed) return;
    p.setClipping(false);
    if (m_borderStyle != 1 && m_borderStyle != 2) return;
    const bool raised = m_borderStyle == 2;
    const QColor highlight = translateColor(0x80000014); // button highlight
    const QColor shadow = translateColor(0x80000010);    // button shadow
    const Rc &o = f.outer;
    const Rc &r = f.inner;
    if (m_appearance == 0) {
        const QColor black(0, 0, 0);
        lineTo(p, black, o.left, o.top, o.right - 1, o.top);
        lineTo(p, black, o.right - 1, o.top, o.right - 1, o.bottom - 1);
        lineTo(p, black, o.right - 1, o.bottom - 1, o.left, o.bottom - 1);
        lineTo(p, black, o.left, o.bottom - 1, o.left, o.top);
    } else if (m_appearance == 1 && raised) {
        // Raised and thin lies on the inner rectangle, the outer ring keeping the background.
        lineTo(p, highlight, r.left, r.bottom - 2, r.left, r.top);
        lineTo(p, highlight, r.left, r.top, r.right - 1, r.top);
        lineTo(p, shadow, r.right - 1, r.top, r.right - 1, r.bottom - 1);
        lineTo(p, shadow, r.right - 1, r.bottom - 1, r.left - 1, r.bottom - 1);
    } else if (m_appearance == 1) {
        lineTo(p, shadow, o.left, o.bottom - 1, o.left, o.top);
        lineTo(p, shadow, o.left, o.top, o.right, o.top);
        lineTo(p, highlight, o.right - 1, o.top + 1, o.right - 1, o.bottom - 1);
        lineTo(p, highlight, o.right - 1, o.bottom - 1, o.left, o.bottom - 1);
    } else if (m_appearance == 2) {
        const QColor dkShadow = translateColor(0x80000015);
        const QColor light = translateColor(0x80000016);
        if (raised)
            drawEdge(p, o, highlight, dkShadow, light, shadow);
        else
            drawEdge(p, o, shadow, highlight, dkShadow, light);
    }
}

} // namespace tv
