#include "app/ScreenScaling.h"

#include "common/ErrorTrap.h"

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QCalendarWidget>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabBar>
#include <QToolBar>
#include <QWidget>
#include <cmath>

namespace tv {

using namespace screenfit;

bool IsScreenFontSmall()
{
    return IsScreenFontSmall(QGuiApplication::primaryScreen());
}

bool IsScreenFontSmall(const QScreen *screen)
{
    bool small = false;
    ErrorTrap trap(QStringLiteral("IsScreenFontSmall"), QStringLiteral("modScreenRes"),
                   ErrorTrap::Owner::Module);
    trap.run([&] {
        if (!screen) throw AppError(Err::ObjectNotSet);
        // Where Qt itself enlarges windows by a device pixel ratio, it reports the density and the
        // screen size in device-independent terms, so such a screen counts as small fonts at its
        // scaled size and the window is not shrunk a second time.
        small = qRound(screen->logicalDotsPerInchX()) == 96;
    });
    return small;
}

namespace {

// Widgets whose children are their own parts, laid out by the widget itself.
bool isComposite(const QWidget *w)
{
    return qobject_cast<const QAbstractScrollArea *>(w) || qobject_cast<const QComboBox *>(w) ||
           qobject_cast<const QAbstractSpinBox *>(w) || qobject_cast<const QToolBar *>(w) ||
           qobject_cast<const QTabBar *>(w) || qobject_cast<const QMenu *>(w) ||
           qobject_cast<const QMenuBar *>(w) || qobject_cast<const QCalendarWidget *>(w);
}

void collect(QWidget *parent, QList<QWidget *> &out)
{
    for (QObject *child : parent->children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (!w || w->isWindow() || w->objectName().startsWith(QLatin1String("qt_"))) continue;
        out.append(w);
        if (!isComposite(w)) collect(w, out);
    }
}

bool layoutHolds(const QLayout *layout, const QWidget *w)
{
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (!item) continue;
        if (item->widget() == w) return true;
        if (item->layout() && layoutHolds(item->layout(), w)) return true;
    }
    return false;
}

// A widget whose place is kept by a layout or by its container gets its geometry back from them
// on the next resize, so scaling it by hand would be undone.
bool geometryManaged(const QWidget *w)
{
    const QWidget *parent = w->parentWidget();
    if (!parent) return true;
    if (qobject_cast<const QMainWindow *>(parent) || qobject_cast<const QSplitter *>(parent) ||
        qobject_cast<const QStackedWidget *>(parent))
        return true;
    return parent->layout() && layoutHolds(parent->layout(), w);
}

ControlKind kindOf(const QWidget *w)
{
    if (qobject_cast<const QToolBar *>(w)) return ControlKind::Toolbar;
    if (const auto *frame = qobject_cast<const QFrame *>(w)) {
        if (frame->frameShape() == QFrame::HLine || frame->frameShape() == QFrame::VLine)
            return ControlKind::Line;
    }
    if (const auto *label = qobject_cast<const QLabel *>(w)) {
        if (!label->pixmap().isNull()) return ControlKind::PictureBox;
    }
    return ControlKind::Other;
}

struct Units
{
    double tppX;
    double tppY;
    double toTwipsX(int px) const { return px * tppX; }
    double toTwipsY(int px) const { return px * tppY; }
    int toPixelsX(double twips) const { return int(std::lround(twips / tppX)); }
    int toPixelsY(double twips) const { return int(std::lround(twips / tppY)); }
};

ControlModel readControl(const QWidget *w, const Units &u)
{
    ControlModel c;
    c.kind = kindOf(w);
    const QFont font = w->font();
    double points = font.pointSizeF();
    if (points <= 0 && font.pixelSize() > 0) points = font.pixelSize() * 72.0 * u.tppY / 1440.0;
    if (points > 0) c.font = FontSpec{points, font.family()};
    c.tag = w->property("tag").toString();
    if (geometryManaged(w)) return c;
    const QRect g = w->geometry();
    if (c.kind == ControlKind::Line) {
        c.x1 = u.toTwipsX(g.left());
        c.y1 = u.toTwipsY(g.top());
        c.x2 = u.toTwipsX(g.left() + g.width());
        c.y2 = u.toTwipsY(g.top() + g.height());
        return c;
    }
    c.left = u.toTwipsX(g.left());
    c.top = u.toTwipsY(g.top());
    c.width = u.toTwipsX(g.width());
    c.height = u.toTwipsY(g.height());
    if (c.kind == ControlKind::Toolbar) {
        const QSize icon = static_cast<const QToolBar *>(w)->iconSize();
        c.buttonWidth = u.toTwipsX(icon.width());
        c.buttonHeight = u.toTwipsY(icon.height());
    }
    return c;
}

void writeControl(QWidget *w, const ControlModel &before, const ControlModel &after, const Units &u)
{
    if (after.font && before.font &&
        (after.font->size != before.font->size || after.font->face != before.font->face)) {
        QFont font = w->font();
        if (after.font->face != before.font->face)
            font.setFamilies({after.font->face, before.font->face}); // falls back where the face is missing
        font.setPointSizeF(after.font->size);
        w->setFont(font);
    }
    if (after.kind == ControlKind::Line && after.x1 && after.y1 && after.x2 && after.y2) {
        const QRect r = QRect(QPoint(u.toPixelsX(*after.x1), u.toPixelsY(*after.y1)),
                              QPoint(u.toPixelsX(*after.x2) - 1, u.toPixelsY(*after.y2) - 1))
                            .normalized();
        w->setGeometry(r);
    } else if (after.left && after.top && after.width && after.height) {
        w->setGeometry(u.toPixelsX(*after.left), u.toPixelsY(*after.top), u.toPixelsX(*after.width),
                       u.toPixelsY(*after.height));
    }
    if (auto *bar = qobject_cast<QToolBar *>(w); bar && after.buttonWidth && after.buttonHeight)
        bar->setIconSize(QSize(u.toPixelsX(*after.buttonWidth), u.toPixelsY(*after.buttonHeight)));
}

} // namespace

QList<QWidget *> formControls(QWidget *form)
{
    QList<QWidget *> out;
    if (form) collect(form, out);
    return out;
}

void FitFormToScreen(QWidget *form, int mode)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!form || !screen) return;
    ScreenInfo info = ScreenInfo::fromPixels(screen->size().width(), screen->size().height(),
                                             qRound(screen->logicalDotsPerInchX()));
    info.smallFont = IsScreenFontSmall(screen);
    FitFormToScreen(form, mode, info);
    // The model puts a covering window at 0, 0; the primary screen may start elsewhere.
    const Factors f = factorsFor(info);
    const bool changed = f.horizontal != 1 || f.vertical != 1 || f.font != 1;
    if (std::int16_t(mode) != 2 || !changed) return;
    if (!screen->geometry().topLeft().isNull()) form->move(form->pos() + screen->geometry().topLeft());
    // The window manager adds a frame and keeps its panels; asking it to maximize the window is
    // how a window covers the screen with its title bar still on it.
    if (form->isWindow()) form->setWindowState(form->windowState() | Qt::WindowMaximized);
}

// All properties are read first and written back afterwards, so a child that inherits its
// parent's font is scaled once, not once for itself and once more through the parent.
//
// Controls in a layout keep the geometry their layout gives them: for those, the scaled fonts
// (which change the layout's size hints) and the window's own size are what take effect.
void FitFormToScreen(QWidget *form, int mode, const ScreenInfo &screen)
{
    if (!form) return;
    const Units u{screen.twipsPerPixelX, screen.twipsPerPixelY};
    const QList<QWidget *> widgets = formControls(form);

    FormModel model;
    const QPoint pos = form->pos();
    model.left = u.toTwipsX(pos.x());
    model.top = u.toTwipsY(pos.y());
    model.width = u.toTwipsX(form->width());
    model.height = u.toTwipsY(form->height());
    model.tag = form->property("tag").toString();
    model.controls.reserve(widgets.size());
    for (const QWidget *w : widgets)
        model.controls.push_back(readControl(w, u));

    const FormModel before = model;
    fitFormToScreen(model, std::int16_t(mode), screen);

    for (qsizetype i = 0; i < widgets.size(); ++i)
        writeControl(widgets[i], before.controls[size_t(i)], model.controls[size_t(i)], u);

    if (model.left != before.left || model.top != before.top)
        form->move(u.toPixelsX(*model.left), u.toPixelsY(*model.top));
    if (model.width != before.width || model.height != before.height) {
        // A window's frame lies outside its size; a covering window keeps the frame on screen.
        QSize size(u.toPixelsX(*model.width), u.toPixelsY(*model.height));
        if (std::int16_t(mode) == 2 && form->isWindow()) size -= form->frameGeometry().size() - form->size();
        form->resize(size.expandedTo(QSize(0, 0)));
    }
}

} // namespace tv
