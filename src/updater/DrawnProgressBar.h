#pragma once

#include "updater/OffscreenSurface.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QString>
#include <QVariant>
#include <QWidget>

namespace tv {

// The stored design data of a control: named values, names matched without regard to case and
// kept in lower case.
class PropertyBag
{
public:
    QVariant read(const QString &name, const QVariant &defaultValue = QVariant()) const
    {
        return m_values.value(name.toLower(), defaultValue);
    }
    // A value equal to its default is not written (and an older one is dropped).
    void write(const QString &name, const QVariant &value, const QVariant &defaultValue = QVariant())
    {
        if (defaultValue.isValid() && value == defaultValue)
            m_values.remove(name.toLower());
        else
            m_values.insert(name.toLower(), value);
    }
    bool contains(const QString &name) const { return m_values.contains(name.toLower()); }
    QStringList names() const { return m_values.keys(); }

private:
    QHash<QString, QVariant> m_values;
};

// A progress bar drawn by hand into an off-screen surface: filled, segmented, picture or themed
// bar, an optional two-coloured text, a colour or picture background and a choice of borders.
//
// Colours are 32-bit values: top bit clear 0x00BBGGRR, top bit set a system colour number.
class DrawnProgressBar : public QWidget
{
    Q_OBJECT
public:
    using ColorValue = quint32;
    static constexpr ColorValue kButtonFace = 0x8000000F;
    static constexpr ColorValue kWindowText = 0x80000008;

    explicit DrawnProgressBar(QWidget *parent = nullptr);
    ~DrawnProgressBar() override;

    bool segments() const { return m_segments; }
    void setSegments(bool on);
    bool xpStyle() const { return m_xpStyle; }
    void setXpStyle(bool on);
    QString text() const { return m_text; }
    void setText(const QString &text);
    // 0 left or top, 2 right or bottom, anything else centred.
    qint32 textAlignX() const { return m_textAlignX; }
    void setTextAlignX(qint32 alignment);
    qint32 textAlignY() const { return m_textAlignY; }
    void setTextAlignY(qint32 alignment);
    bool showText() const { return m_showText; }
    void setShowText(bool on);
    double percent() const { return fraction() * 100.0; }
    qint32 minimum() const { return m_min; }
    void setMinimum(qint32 minimum);
    qint32 maximum() const { return m_max; }
    void setMaximum(qint32 maximum);
    qint32 value() const { return m_value; }
    void setValue(qint32 value);
    // 0 none, 1 sunken, 2 raised.
    qint32 borderStyle() const { return m_borderStyle; }
    void setBorderStyle(qint32 style);
    // 0 flat, 1 thin, 2 three-dimensional edge.
    qint32 appearance() const { return m_appearance; }
    void setAppearance(qint32 appearance);
    ColorValue backColor() const { return m_backColor; }
    void setBackColor(ColorValue color);
    ColorValue foreColor() const { return m_foreColor; }
    void setForeColor(ColorValue color);
    // The inherited font(), set with notice and redraw.
    void setFontProperty(const QFont &font);
    ColorValue barColor() const { return m_barColor; }
    void setBarColor(ColorValue color);
    ColorValue barForeColor() const { return m_barForeColor; }
    void setBarForeColor(ColorValue color);

    // Recolour the picture held for drawing; the picture property keeps the original and the
    // change shows at the next redraw.
    void modifyBarPicture(double luminance, double saturation);
    void modifyPicture(double luminance, double saturation);

    QImage barPicture() const { return m_barPicture; }
    void setBarPicture(const QImage &picture);
    // 1 tiled, anything else stretched over the control.
    qint32 barPictureMode() const { return m_barPictureMode; }
    void setBarPictureMode(qint32 mode);
    qint32 backPictureMode() const { return m_backPictureMode; }
    void setBackPictureMode(qint32 mode);
    QImage picture() const { return m_picture; }
    void setPicture(const QImage &picture);

    void readProperties(const PropertyBag &bag);
    void writeProperties(PropertyBag &bag) const;

    // Draws the frame into the off-screen surface (or asks for a paint when there is none).
    void redraw();
    // Plain colour of a colour value: a system colour through this control's palette.
    QColor translateColor(ColorValue color) const;

    QSize sizeHint() const override { return QSize(160, 17); }

signals:
    // Raised at the start of every redraw with the surface about to be drawn and the client
    // rectangle; the control always draws afterwards.
    void aboutToDraw(QPainter *painter, int left, int top, int width, int height, bool useDefault);
    // The name is the property's stored name ("Value", "Text", ...).
    void propertyChanged(const QString &name);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Frame;

    double fraction() const;
    void changed(const char *name);
    void render(QPainter &p, int width, int height);
    Frame frameFor(int width, int height) const;
    void drawBackground(QPainter &p, Frame &frame) const;
    void placeBar(Frame &frame) const;
    void drawBar(QPainter &p, const Frame &frame) const;
    void drawSegmentGaps(QPainter &p, const Frame &frame) const;
    void drawText(QPainter &p, const Frame &frame, ColorValue color) const;
    void drawThemedText(QPainter &p, const Frame &frame) const;
    void drawBorder(QPainter &p, const Frame &frame) const;

    OffscreenSurface m_surface;
    qint32 m_appearance = 1;
    qint32 m_borderStyle = 1;
    ColorValue m_foreColor = 0;
    ColorValue m_barColor = 0x800000;
    ColorValue m_barForeColor = 0xFFFFFF;
    qint32 m_barPictureMode = 1;
    qint32 m_backPictureMode = 1;
    qint32 m_min = 0;
    qint32 m_max = 100;
    qint32 m_value = 0;
    qint32 m_textAlignX = 1;
    qint32 m_textAlignY = 1;
    bool m_showText = false;
    QString m_text;
    bool m_segments = false;
    bool m_xpStyle = false;
    ColorValue m_backColor = kButtonFace;

    QImage m_picture, m_barPicture; // as set
    QImage m_backDrawn, m_barDrawn; // as drawn: the pictures recoloured by modify...()
};

} // namespace tv
