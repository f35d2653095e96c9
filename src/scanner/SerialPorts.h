#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace tv {

// How many ports the scanner window offers (COM1 to COM4).
inline constexpr int kScannerPortCount = 4;

// The device paths behind COM1, COM2, ...: the comma-separated paths in TALLYVANE_SERIAL_PORTS
// when it is set (set but empty: no ports), else the machine's own serial ports in the order of
// scannerPortOrder(). At most kScannerPortCount.
QStringList scannerPortPaths();

// Orders serial device paths as the scanner window offers them: USB CDC-ACM devices
// (/dev/ttyACM*), then USB-serial bridges (/dev/ttyUSB*), then built-in ports (/dev/ttyS*) for
// which `hasHardware` says a UART is present, then any other serial device; within each kind by
// number, so ttyUSB2 comes before ttyUSB10.
QStringList scannerPortOrder(const QStringList &devicePaths,
                             const std::function<bool(const QString &devicePath)> &hasHardware);

// Whether a built-in port has a UART behind it, read from the kernel's tty class without opening
// the device (a port of type 0 is an empty slot).
bool uartPresent(const QString &devicePath, const QString &ttyClassDir = QStringLiteral("/sys/class/tty"));

} // namespace tv
