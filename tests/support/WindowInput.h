#pragma once

#include <QPoint>
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace tv::test {

// A click as the window system delivers it: at a point of the control (its centre unless given),
// through the top-level window, so that the window's own event handling runs.
inline void clickInWindow(QWidget *control, QPoint at = {})
{
    QWidget *top = control->window();
    const QPoint local = at.isNull() ? control->rect().center() : at;
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, control->mapTo(top, local));
}

} // namespace tv::test
