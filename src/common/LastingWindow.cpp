#include "LastingWindow.h"

#include <QWidget>

namespace tv {

void bringForward(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace tv
