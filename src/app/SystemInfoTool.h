#pragma once

#include <QString>
#include <QStringList>

namespace tv {

// The system-information programs tried, in order: those that describe the machine first, then
// the desktops' system monitors.
QStringList systemInfoPrograms();

// Full path of the first of them found on PATH as an executable file; empty when none is.
QString findSystemInfoTool();

// Finds the tool and starts it as a separate process, without waiting for it. False when none is
// found or it could not be started.
bool launchSystemInfoTool(QString *started = nullptr);

} // namespace tv
