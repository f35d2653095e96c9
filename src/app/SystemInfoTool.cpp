#include "app/SystemInfoTool.h"

#include <QProcess>
#include <QStandardPaths>

namespace tv {

QStringList systemInfoPrograms()
{
    return {QStringLiteral("hardinfo2"),
            QStringLiteral("hardinfo"),
            QStringLiteral("kinfocenter"),
            QStringLiteral("gnome-system-monitor"),
            QStringLiteral("plasma-systemmonitor"),
            QStringLiteral("ksysguard"),
            QStringLiteral("mate-system-monitor"),
            QStringLiteral("xfce4-taskmanager"),
            QStringLiteral("lxtask")};
}

QString findSystemInfoTool()
{
    for (const QString &name : systemInfoPrograms()) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty()) return path;
    }
    return QString();
}

bool launchSystemInfoTool(QString *started)
{
    const QString path = findSystemInfoTool();
    if (path.isEmpty()) return false;
    // Detached: the tool lives on by itself and the about box never waits for it. Its chatter
    // goes nowhere rather than into whatever started Tallyvane.
    QProcess process;
    process.setProgram(path);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached()) return false;
    if (started) *started = path;
    return true;
}

} // namespace tv
