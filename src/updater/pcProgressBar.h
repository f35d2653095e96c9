#pragma once

#include "pcMemDC.h"

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
    QVariant ReadProperty(const QString &name, const QVariant &defaultValue = QVariant()) const
    {
        return m_values.value(name.toLower(), defaultValue);
    }
    // A value equal to its default is not written (and an older one is dropped).
    void WriteProperty(const QString &name, const QVariant &value, const QVariant &defaultValue = QVariant())
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
class pcProgressBar : public QWidget
{
    Q_OBJECT
public:
    using OLE_COLOR = quint32;
    static constexpr OLE_COLOR kButtonFace = 0x8000000F;
    static constexpr OLE_COLOR kWindowText = 0x80000008;

    explicit pcProgressBar(QWidget *parent = nullptr);
    ~pcProgressBar() override;

    bool Segments() const { return m_segments; }
    void setSegments(bool v);
    bool XpStyle() const { return m_xpStyle; }
    void setXpStyle(bool v);
    QString Text() const { return m_text; }
    void setText(const QString &v);
    qint32 TextAlignX() const { return m_textAlignX; }
    void setTextAlignX(qint32 v);
    qint32 TextAlignY() const { return m_textAlignY; }
    void setTextAlignY(qint32 v);
    bool ShowText() const { return m_showText; }
    void setShowText(bool v);
    double Percent() const { return fraction() * 100.0; }
    qint32 Min() const { return m_min; }
    void setMin(qint32 v);
    qint32 Max() const { return m_max; }
    void setMax(qint32 v);
    qint32 Value() const { return m_value; }
    void setValue(qint32 v);
    qint32 BorderStyle() const { return m_borderStyle; }
    void setBorderStyle(qint32 v);
    qint32 Appearance() const { return m_appearance; }
    void setAppearance(qint32 v);
    OLE_COLOR BackColor() const { return m_backColor; }
    void setBackColor(OLE_COLOR v);
    OLE_COLOR ForeColor() const { return m_foreColor; }
    void setForeColor(OLE_COLOR v);
    QFont Font() const { return font(); }
    void setFontProperty(const QFont &v);
    OLE_COLOR BarColor() const { return m_barColor; }
    void setBarColor(OLE_COLOR v);
    OLE_COLOR BarForeColor() const { return m_barForeColor; }
    void setBarForeColor(OLE_COLOR v);

    // Recolour the picture held for drawing; the picture property keeps the original and the
    // change shows at the next redraw.
    void ModifyBarPicture(double fLuminance, double fSaturation);
    void ModifyPicture(double fLuminance, double fSaturation);

    QImage BarPicture() const { return m_barPicture; }
    void setBarPicture(const QImage &v);
    qint32 BarPictureMode() const { return m_barPictureMode; }
    void setBarPictureMode(qint32 v);
    qint32 BackPictureMode() const { return m_backPictureMode; }
    void setBackPictureMode(qint32 v);
    QImage Picture() const { return m_picture; }
    void setPicture(const QImage &v);

    void ReadProperties(const PropertyBag &PropBag);
    void WriteProperties(PropertyBag &PropBag) const;

    // Draws the frame into the off-screen surface (or asks for a paint when there is none).
    void Redraw();
    // Plain colour of a colour value: a system colour through this control's palette.
    QColor translateColor(OLE_COLOR c) const;

    QSize sizeHint() const override { return QSize(160, 17); }

signals:
    // Raised at the start of every redraw with the surface about to be drawn and the client
    // rectangle; the control always draws afterwards.
    void Draw(QPainter *lHDC, int lLeft, int lTop, int lWidth, int lHeight, bool bDoDefault);
    void PropertyChanged(const QString &PropertyName);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    double fraction() const;
    void render(QPainter &p, int W, int H);
    void changed(const char *name);
    static void tile(QPainter &p, const QImage &pic, int x, int y, int w, int h);

    pcMemDC m_memDC;
    qint32 m_appearance = 1;
    qint32 m_borderStyle = 1;
    OLE_COLOR m_foreColor = 0;
    OLE_COLOR m_barColor = 0x800000;
    OLE_COLOR m_barForeColor = 0xFFFFFF;
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
    OLE_COLOR m_backColor = kButtonFace;

    QImage m_picture, m_barPicture; // as set
    QImage m_picBack, m_picBar;     // the holders' drawing surfaces
};

} // namespace tv
