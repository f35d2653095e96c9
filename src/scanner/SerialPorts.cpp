#include "SerialPorts.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <algorithm>
#include <tuple>

namespace tv {

namespace {

// Sort key: kind, then the name without its number, then the number.
std::tuple<int, QString, qlonglong, QString> orderKey(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    static const QRegularExpression split(QStringLiteral("^(.*?)(\\d*)$"));
    const QRegularExpressionMatch m = split.match(name);
    const QString stem = m.captured(1);
    const qlonglong number = m.captured(2).isEmpty() ? -1 : m.captured(2).toLongLong();
    int kind = 3;
    if (stem == QLatin1String("ttyACM"))
        kind = 0;
    else if (stem == QLatin1String("ttyUSB"))
        kind = 1;
    else if (stem == QLatin1String("ttyS"))
        kind = 2;
    return {kind, stem, number, path};
}

} // namespace

QStringList scannerPortOrder(const QStringList &devicePaths,
                             const std::function<bool(const QString &devicePath)> &hasHardware)
{
    QStringList kept;
    for (const QString &path : devicePaths) {
        if (std::get<0>(orderKey(path)) == 2 && !(hasHardware && hasHardware(path))) continue;
        if (!kept.contains(path)) kept.append(path);
    }
    std::sort(kept.begin(), kept.end(),
              [](const QString &a, const QString &b) { return orderKey(a) < orderKey(b); });
    return kept;
}

bool uartPresent(const QString &devicePath, const QString &ttyClassDir)
{
    QFile type(ttyClassDir + QLatin1Char('/') + QFileInfo(devicePath).fileName() + QStringLiteral("/type"));
    if (!type.open(QIODevice::ReadOnly)) return false;
    bool ok = false;
    const int value = QString::fromLatin1(type.readAll()).trimmed().toInt(&ok);
    return ok && value != 0;
}

QStringList scannerPortPaths()
{
    QStringList paths;
    if (qEnvironmentVariableIsSet("TALLYVANE_SERIAL_PORTS")) {
        const QStringList listed = qEnvironmentVariable("TALLYVANE_SERIAL_PORTS").split(QLatin1Char(','));
        for (const QString &entry : listed)
            if (const QString path = entry.trimmed(); !path.isEmpty()) paths.append(path);
    } else {
        QStringList found;
        const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
        for (const QSerialPortInfo &info : ports)
            found.append(info.systemLocation());
        paths = scannerPortOrder(found, [](const QString &path) { return uartPresent(path); });
    }
    return paths.mid(0, kScannerPortCount);
}

} // namespace tv
