#pragma once

#include <QPointer>

class QWidget;

namespace tv {

// Brings a window that lasts between uses to the front: shown without a modal, raised and
// active.
void bringForward(QWidget *window);

// The lasting window kept in `slot`, made by `make` on first use and again once the earlier one
// was closed and deleted, then brought forward.
template <class Window, class Make> Window *showLasting(QPointer<Window> &slot, Make &&make)
{
    if (!slot) slot = make();
    bringForward(slot);
    return slot;
}

} // namespace tv
