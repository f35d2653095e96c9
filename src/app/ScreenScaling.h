#pragma once

#include "app/ScreenFit.h"

class QScreen;
class QWidget;

namespace tv {

// True when the primary screen's horizontal text density is exactly 96 dots per inch. A failure
// is reported by the standard error trap of this module and gives false.
bool IsScreenFontSmall();
bool IsScreenFontSmall(const QScreen *screen);

// Makes a window laid out for 1280 x 1024 at 96 dpi fit the primary screen. Mode 0 scales the
// window's own size, 2 makes it cover the screen, anything else leaves it where it is; the
// controls are scaled in every mode. Failures are passed over silently.
void FitFormToScreen(QWidget *form, int mode);
// The same against a given screen (used by tests and by the call above).
void FitFormToScreen(QWidget *form, int mode, const screenfit::ScreenInfo &screen);

// The widgets of a window that count as its controls, in creation order: every descendant
// except the inner parts of composite widgets (viewports, scroll bars, the buttons of a toolbar).
QList<QWidget *> formControls(QWidget *form);

} // namespace tv
