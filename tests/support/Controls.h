#pragma once

#include <QByteArray>
#include <QObject>
#include <QtGlobal>

namespace tv {

// A window's control found by its object name, as a test reaches it; a missing control ends the
// test run with its name, so that a renamed control is never taken for an absent one.
template <typename T> T *control(const QObject &window, const char *objectName)
{
    T *found = window.findChild<T *>(QLatin1String(objectName));
    if (!found)
        qFatal("No control named %s in %s", objectName, window.objectName().toLocal8Bit().constData());
    return found;
}

} // namespace tv
