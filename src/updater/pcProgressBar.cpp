#include "pcProgressBar.h"

#include "pcDibSection.h"

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

// A Windows-style rectangle: right and bottom lie just outside.
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

QImage holderImage(const QImage &picture)
{
    return picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// The bar is drawn by hand, so it tells a screen reader its value itself: the text the window
// set ("42%"), or else the percentage.
class AccessibleProgressBar : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit AccessibleProgressBar(QWidget *w) : QAccessibleWidget(w, QAccessible::ProgressBar) {}

    pcProgressBar *bar() const { return static_cast<pcProgressBar *>(object()); }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Value) return QAccessibleWidget::text(t);
        if (!bar()->Text().isEmpty()) return bar()->Text();
        return QString::number(std::lround(bar()->Percent())) + QLatin1Char('%');
    }

    QVariant currentValue() const override { return bar()->Value(); }
    void setCurrentValue(const QVariant &) override {} // the user cannot move it
    QVariant maximumValue() const override { return bar()->Max(); }
    QVariant minimumValue() const override { return bar()->Min(); }
    QVariant minimumStepSize() const override { return 0; }
};

QAccessibleInterface *progressBarFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String(pcProgressBar::staticMetaObject.className()) && object &&
        object->isWidgetType())
        return new AccessibleProgressBar(static_cast<QWidget *>(object));
    return nullptr;
}

} // namespace

pcProgressBar::pcProgressBar(QWidget *parent) : QWidget(parent)
{
    QAccessible::installFactory(progressBarFactory);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

pcProgressBar::~pcProgressBar() = default;

void pcProgressBar::changed(const char *name)
{
    Redraw();
    if (QAccessible::isActive() && (qstrcmp(name, "Value") == 0 || qstrcmp(name, "Text") == 0)) {
        QAccessibleValueChangeEvent event(this, m_value);
        QAccessible::updateAccessibility(&event);
    }
    emit PropertyChanged(QString::fromLatin1(name));
}

#define TV_SETTER(Name, Type, member)                                                                        \
    void pcProgressBar::set##Name(Type v)                                                                    \
    {                                                                                                        \
        member = v;                                                                                          \
        changed(#Name);                                                                                      \
    }
TV_SETTER(Segments, bool, m_segments)
TV_SETTER(XpStyle, bool, m_xpStyle)
TV_SETTER(Text, const QString &, m_text)
TV_SETTER(TextAlignX, qint32, m_textAlignX)
TV_SETTER(TextAlignY, qint32, m_textAlignY)
TV_SETTER(ShowText, bool, m_showText)
TV_SETTER(Min, qint32, m_min)
TV_SETTER(Max, qint32, m_max)
TV_SETTER(Value, qint32, m_value)
TV_SETTER(BorderStyle, qint32, m_borderStyle)
TV_SETTER(Appearance, qint32, m_appearance)
TV_SETTER(BackColor, OLE_COLOR, m_backColor)
TV_SETTER(ForeColor, OLE_COLOR, m_foreColor)
TV_SETTER(BarColor, OLE_COLOR, m_barColor)
TV_SETTER(BarForeColor, OLE_COLOR, m_barForeColor)
TV_SETTER(BarPictureMode, qint32, m_barPictureMode)
TV_SETTER(BackPictureMode, qint32, m_backPictureMode)
#undef TV_SETTER

void pcProgressBar::setFontProperty(const QFont &v)
{
    QWidget::setFont(v);
    changed("Font");
}

void pcProgressBar::setBarPicture(const QImage &v)
{
    m_barPicture = v;
    m_picBar = holderImage(v);
    Redraw();
    emit PropertyChanged(QStringLiteral("Picture"));
    emit PropertyChanged(QStringLiteral("BarPicture"));
}

void pcProgressBar::setPicture(const QImage &v)
{
    m_picture = v;
    m_picBack = holderImage(v);
    Redraw();
    emit PropertyChanged(QStringLiteral("Picture"));
    emit PropertyChanged(QStringLiteral("BarPicture"));
}

static void modifyHolder(QImage &holder, double fLuminance, double fSaturation)
{
    if (holder.isNull()) return;
    pcDibSection dib;
    dib.CreateFromPicture(holder);
    dib.ModifyHLS(1, fLuminance, fSaturation);
    QPainter p(&holder);
    dib.PaintPicture(p, 0, 0, -1, -1, 0, 0, QPainter::CompositionMode_Source);
}

void pcProgressBar::ModifyBarPicture(double fLuminance, double fSaturation)
{
    modifyHolder(m_picBar, fLuminance, fSaturation);
}

void pcProgressBar::ModifyPicture(double fLuminance, double fSaturation)
{
    modifyHolder(m_picBack, fLuminance, fSaturation);
}

QColor pcProgressBar::translateColor(OLE_COLOR c) const
{
    if (c & 0x80000000u) {
        const quint32 index = c & 0x7FFFFFFFu;
        if (index > 30) return QColor(255, 255, 255); // a failed translation gives -1: all bits set
        return palette().color(QPalette::Active, kSystemRoles[index]);
    }
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

double pcProgressBar::fraction() const
{
    // Max equal to Min has no fraction to show: the bar stays empty.
    if (m_max == m_min) return 0.0;
    const double f = (double(m_value) - double(m_min)) / (double(m_max) - double(m_min));
    return std::clamp(f, 0.0, 1.0);
}

void pcProgressBar::ReadProperties(const PropertyBag &bag)
{
    const QFont ambient = parentWidget() ? parentWidget()->font() : QApplication::font();
    setPicture(bag.ReadProperty(QStringLiteral("Picture"), QImage()).value<QImage>());
    setBackColor(bag.ReadProperty(QStringLiteral("BackColor"), kButtonFace).toUInt());
    setForeColor(bag.ReadProperty(QStringLiteral("ForeColor"), kWindowText).toUInt());
    setAppearance(bag.ReadProperty(QStringLiteral("Appearance"), 1).toInt());
    setBorderStyle(bag.ReadProperty(QStringLiteral("BorderStyle"), 1).toInt());
    setBarColor(bag.ReadProperty(QStringLiteral("BarColor"), 0x800000u).toUInt());
    setBarForeColor(bag.ReadProperty(QStringLiteral("BarForeColor"), 0xFFFFFFu).toUInt());
    setBarPicture(bag.ReadProperty(QStringLiteral("BarPicture"), QImage()).value<QImage>());
    setBarPictureMode(bag.ReadProperty(QStringLiteral("BarPictureMode"), 1).toInt());
    setBackPictureMode(bag.ReadProperty(QStringLiteral("BackPictureMode"), 1).toInt());
    setMin(bag.ReadProperty(QStringLiteral("Min"), 0).toInt());
    setMax(bag.ReadProperty(QStringLiteral("Max"), 100).toInt());
    setValue(bag.ReadProperty(QStringLiteral("Value"), 0).toInt());
    setShowText(bag.ReadProperty(QStringLiteral("ShowText"), false).toBool());
    setTextAlignX(bag.ReadProperty(QStringLiteral("TextAlignX"), 1).toInt());
    setTextAlignY(bag.ReadProperty(QStringLiteral("TextAlignY"), 1).toInt());
    setText(bag.ReadProperty(QStringLiteral("Text"), QString()).toString());
    setFontProperty(bag.ReadProperty(QStringLiteral("Font"), ambient).value<QFont>());
    setSegments(bag.ReadProperty(QStringLiteral("Segments"), false).toBool());
    setXpStyle(bag.ReadProperty(QStringLiteral("XpStyle"), false).toBool());
    Redraw();
}

void pcProgressBar::WriteProperties(PropertyBag &bag) const
{
    bag.WriteProperty(QStringLiteral("Segments"), m_segments, false);
    bag.WriteProperty(QStringLiteral("XpStyle"), m_xpStyle, false);
    bag.WriteProperty(QStringLiteral("Text"), m_text, QString());
    bag.WriteProperty(QStringLiteral("TextAlignX"), m_textAlignX, 1);
    bag.WriteProperty(QStringLiteral("TextAlignY"), m_textAlignY, 1);
    bag.WriteProperty(QStringLiteral("ShowText"), m_showText, false);
    bag.WriteProperty(QStringLiteral("Min"), m_min, 0);
    bag.WriteProperty(QStringLiteral("Max"), m_max, 100);
    bag.WriteProperty(QStringLiteral("Value"), m_value, 0);
    bag.WriteProperty(QStringLiteral("BorderStyle"), m_borderStyle, 1);
    bag.WriteProperty(QStringLiteral("Appearance"), m_appearance, 1);
    bag.WriteProperty(QStringLiteral("BackColor"), m_backColor, kButtonFace);
    bag.WriteProperty(QStringLiteral("ForeColor"), m_foreColor, kWindowText);
    bag.WriteProperty(QStringLiteral("Font"), font()); // always written
    bag.WriteProperty(QStringLiteral("BarColor"), m_barColor, 0x800000u);
    bag.WriteProperty(QStringLiteral("BarForeColor"), m_barForeColor, 0xFFFFFFu);
    bag.WriteProperty(QStringLiteral("BarPicture"), m_barPicture, QImage());
    bag.WriteProperty(QStringLiteral("BarPictureMode"), m_barPictureMode, 1);
    bag.WriteProperty(QStringLiteral("BackPictureMode"), m_backPictureMode, 1);
    bag.WriteProperty(QStringLiteral("Picture"), m_picture, QImage());
}

void pcProgressBar::Redraw()
{
    const int W = std::abs(width()), H = std::abs(height());
    if (QPainter *dc = m_memDC.hdc(W, H)) render(*dc, W, H);
    update(); // the paint copies the surface, or draws straight into the window without one
}

void pcProgressBar::paintEvent(QPaintEvent *)
{
    const int W = width(), H = height();
    QPainter window(this);
    if (QPainter *dc = m_memDC.hdc(W, H)) {
        render(*dc, W, H);
        m_memDC.Draw(window, 0, 0, W, H, 0, 0);
    } else {
        render(window, W, H);
    }
}

void pcProgressBar::resizeEvent(QResizeEvent *)
{
    Redraw();
}

void pcProgressBar::tile(QPainter &p, const QImage &pic, int x, int y, int w, int h)
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

void pcProgressBar::render(QPainter &p, int W, int H)
{
    p.save();
    p.setClipping(false);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBackgroundMode(Qt::TransparentMode);
    Rc R{0, 0, W, H};
    emit Draw(&p, R.left, R.top, W, H, true);

    const bool horizontal = W > H;
    bool themed = false;
    int chunk = 0, space = 0;
    QStyleOptionProgressBar opt;
    opt.initFrom(this);
    opt.rect = R.q();
    opt.minimum = m_min;
    opt.maximum = m_max;
    opt.progress = m_value;
    opt.text = m_text;
    opt.textVisible = m_showText;
    opt.textAlignment = Qt::Alignment(alignment(m_textAlignX, m_textAlignY) & ~Qt::TextSingleLine);
    if (horizontal)
        opt.state |= QStyle::State_Horizontal;
    else
        opt.state &= ~QStyle::State_Horizontal;

    // Background.
    if (!m_picBack.isNull()) {
        p.setCompositionMode(QPainter::CompositionMode_Source);
        if (m_backPictureMode == 1)
            tile(p, m_picBack, 0, 0, W, H);
        else
            p.drawImage(QRect(0, 0, W, H), m_picBack);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    } else if (m_xpStyle) {
        // The style's own chunk width; it knows no separate gap.
        const int chunkSize = style()->pixelMetric(QStyle::PM_ProgressBarChunkWidth, &opt, this);
        if (chunkSize > 0) {
            chunk = chunkSize;
            space = 0;
            style()->drawControl(QStyle::CE_ProgressBarGroove, &opt, &p, this);
            themed = true;
        }
    }
    if (!themed && m_picBack.isNull()) p.fillRect(R.q(), translateColor(m_backColor));

    if (m_segments && !themed) {
        chunk = 8;
        space = 2;
    }

    const Rc R0 = R;
    if (m_borderStyle > 0) {
        const int d = themed ? 1 : (m_appearance == 2 ? 2 : 1);
        R = Rc{R.left + d, R.top + d, R.right - d, R.bottom - d};
    }

    const bool showText = !m_text.isEmpty() && m_showText;
    const QString blanked = QLatin1Char(' ') + m_text + QLatin1Char(' ');
    const int align = alignment(m_textAlignX, m_textAlignY);
    if (showText && !themed) {
        p.setFont(font());
        p.setPen(translateColor(m_foreColor));
        p.drawText(R.q(), align, blanked);
    }

    Rc B = R;
    const double f = fraction();
    const int step = chunk + space;
    const bool snap = (m_segments || themed) && step > 0;
    if (horizontal) {
        int e = int(std::nearbyint((R.right - R.left) * f + R.left));
        if (snap) e = std::max(e - ((e - B.left) % step), R.left);
        B.right = e;
    } else {
        int t = int(std::nearbyint((R.bottom - R.top) * (1.0 - f) + R.top));
        if (snap)
            t = std::min(t - ((t - B.bottom) % step), R.bottom); // the remainder keeps the sign of t - bottom
        B.top = t;
    }

    if (!themed) p.setClipRect(B.q());

    if (!m_picBar.isNull()) {
        p.setCompositionMode(QPainter::CompositionMode_Source);
        if (m_barPictureMode == 1)
            tile(p, m_picBar, 0, B.top, B.right - B.left, B.bottom - B.top);
        else
            p.drawImage(QRect(0, 0, W, H), m_picBar);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    } else if (themed) {
        QStyleOptionProgressBar chunkOpt = opt;
        chunkOpt.rect = QRect(B.left + 2, B.top + 2, B.right - B.left - 3, B.bottom - B.top - 3);
        style()->drawPrimitive(QStyle::PE_IndicatorProgressChunk, &chunkOpt, &p, this);
    } else {
        p.fillRect(B.q(), translateColor(m_barColor));
    }

    if (m_segments && !themed) {
        const QColor gap = translateColor(m_backColor);
        if (horizontal) {
            for (int x = B.left + chunk; x <= B.right; x += step)
                p.fillRect(QRect(x, R.top, space, R.bottom - R.top), gap);
        } else {
            for (int y = B.bottom; y >= B.top + chunk; y -= step)
                p.fillRect(QRect(R.left, y, R.right - R.left, space), gap);
        }
    }

    if (showText) {
        p.setFont(font());
        if (themed) {
            const QRect content = style()->subElementRect(QStyle::SE_ProgressBarContents, &opt, this);
            style()->drawItemText(&p, content, align, opt.palette, isEnabled(), m_text,
                                  QPalette::HighlightedText);
        } else {
            p.setPen(translateColor(m_barForeColor));
            p.drawText(R.q(), align, blanked);
        }
    }

    if (!themed) {
        p.setClipping(false);
        const QColor black(0, 0, 0);
        const QColor highlight = translateColor(0x80000014); // button highlight
        const QColor shadow = translateColor(0x80000010);    // button shadow
        const QColor dkShadow = translateColor(0x80000015);
        const QColor light = translateColor(0x80000016);
        auto flat = [&](const Rc &r) {
            lineTo(p, black, r.left, r.top, r.right - 1, r.top);
            lineTo(p, black, r.right - 1, r.top, r.right - 1, r.bottom - 1);
            lineTo(p, black, r.right - 1, r.bottom - 1, r.left, r.bottom - 1);
            lineTo(p, black, r.left, r.bottom - 1, r.left, r.top);
        };
        if (m_borderStyle == 1 || m_borderStyle == 2) {
            const bool raised = m_borderStyle == 2;
            if (m_appearance == 0) {
                flat(R0);
            } else if (m_appearance == 1 && raised) {
                lineTo(p, highlight, R.left, R.bottom - 2, R.left, R.top);
                lineTo(p, highlight, R.left, R.top, R.right - 1, R.top);
                lineTo(p, shadow, R.right - 1, R.top, R.right - 1, R.bottom - 1);
                lineTo(p, shadow, R.right - 1, R.bottom - 1, R.left - 1, R.bottom - 1);
            } else if (m_appearance == 1) {
                lineTo(p, shadow, R0.left, R0.bottom - 1, R0.left, R0.top);
                lineTo(p, shadow, R0.left, R0.top, R0.right, R0.top);
                lineTo(p, highlight, R0.right - 1, R0.top + 1, R0.right - 1, R0.bottom - 1);
                lineTo(p, highlight, R0.right - 1, R0.bottom - 1, R0.left, R0.bottom - 1);
            } else if (m_appearance == 2) {
                if (raised)
                    drawEdge(p, R0, highlight, dkShadow, light, shadow);
                else
                    drawEdge(p, R0, shadow, highlight, dkShadow, light);
            }
        }
    }
    p.restore();
}

} // namespace tv
