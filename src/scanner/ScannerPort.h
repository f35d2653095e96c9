#pragma once

#include "ScannerLine.h"

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <optional>

namespace tv {

// Why a port could not be opened, and what to tell the user about it.
struct PortFailure
{
    enum class Kind {
        NoDevice,     // no serial port stands behind this port number
        Missing,      // the device file is gone (scanner unplugged)
        Busy,         // another program has the port open
        NotPermitted, // the user may not open the device
        Other,
    };
    Kind kind;
    QString message;
};

// The scanner's serial port: COM1 to COM4 over the device paths it was given, 9600 baud, 8 data
// bits, no parity, 1 stop bit, opened for reading only (nothing is ever sent to the scanner).
// Every complete code comes out as codeScanned(). A port that fails while open (the scanner was
// unplugged) is closed at once and reported once through connectionLost().
class ScannerPort : public QObject
{
    Q_OBJECT
public:
    // Bytes held by the port between reads; with the line's own bound this caps memory.
    static constexpr qint64 kReadBufferSize = 4096;

    explicit ScannerPort(QStringList devicePaths, QObject *parent = nullptr);
    ~ScannerPort() override;

    // Port numbers 1 to kScannerPortCount.
    void setPortNumber(int number);
    int portNumber() const { return m_portNumber; }
    // The device behind a port number; empty when there is none.
    QString devicePath(int number) const;
    static QString portName(int number) { return QStringLiteral("COM%1").arg(number); }

    bool isOpen() const;
    // Opens the port of the current number; on failure the port stays closed.
    std::optional<PortFailure> open();
    void close();

    // The load-time check of one port: selects it, closes it if open, opens and closes it.
    // Returns the failure, if any.
    std::optional<PortFailure> probe(int number);

    const ScannerLine &line() const { return m_line; }
    QSerialPort &serialPort() { return m_port; }

signals:
    void codeScanned(const QString &code);
    // The open port failed; it is already closed when this arrives (queued, so the receiver may
    // show a message box without running inside the port's own notification).
    void connectionLost(const QString &message);

private:
    void readWaiting();
    void portError(QSerialPort::SerialPortError error);
    PortFailure failure(QSerialPort::SerialPortError error, const QString &path) const;

    QStringList m_devicePaths;
    int m_portNumber = 1;
    QString m_openPath;
    QSerialPort m_port;
    ScannerLine m_line;
};

} // namespace tv
