#include "ScannerPort.h"

#include "SerialPorts.h"

#include <QFile>
#include <QFileInfo>
#include <unistd.h>

namespace tv {

ScannerPort::ScannerPort(QStringList devicePaths, QObject *parent)
    : QObject(parent), m_devicePaths(std::move(devicePaths)), m_port(this)
{
    m_port.setObjectName(QStringLiteral("ComPort"));
    m_port.setReadBufferSize(kReadBufferSize);
    // The line settings are stored once and applied by every open.
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    connect(&m_port, &QSerialPort::readyRead, this, &ScannerPort::readWaiting);
    connect(&m_port, &QSerialPort::errorOccurred, this, &ScannerPort::portError);
}

ScannerPort::~ScannerPort()
{
    close();
}

void ScannerPort::setPortNumber(int number)
{
    if (number >= 1 && number <= kScannerPortCount) m_portNumber = number;
}

QString ScannerPort::devicePath(int number) const
{
    return number >= 1 && number <= m_devicePaths.size() ? m_devicePaths.at(number - 1) : QString();
}

bool ScannerPort::isOpen() const
{
    return m_port.isOpen();
}

PortFailure ScannerPort::failure(QSerialPort::SerialPortError error, const QString &path) const
{
    const QString port = portName(m_portNumber);
    const QString where = QStringLiteral("%1 (%2)").arg(port, path);
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return {PortFailure::Kind::Missing,
                QStringLiteral("The serial port %1 was not found. Check that the scanner is plugged in.")
                    .arg(where)};
    case QSerialPort::PermissionError:
        // Qt reports a port locked by another program the same way as a refused open.
        if (::access(QFile::encodeName(path).constData(), R_OK) != 0)
            return {PortFailure::Kind::NotPermitted,
                    QStringLiteral(
                        "You are not permitted to open the serial port %1. Your user must be in the "
                        "dialout group: run \"sudo adduser $USER dialout\", then log out and in again.")
                        .arg(where)};
        return {PortFailure::Kind::Busy,
                QStringLiteral(
                    "The serial port %1 is in use by another program. Close that program and try again.")
                    .arg(where)};
    default:
        return {
            PortFailure::Kind::Other,
            QStringLiteral("The serial port %1 could not be opened: %2.").arg(where, m_port.errorString())};
    }
}

std::optional<PortFailure> ScannerPort::open()
{
    const QString path = devicePath(m_portNumber);
    if (path.isEmpty())
        return PortFailure{
            PortFailure::Kind::NoDevice,
            QStringLiteral("There is no serial port for %1 on this computer. Plug in the scanner, "
                           "then close this window and open it again.")
                .arg(portName(m_portNumber))};
    if (m_port.isOpen()) m_port.close();
    m_port.setPortName(path);
    m_port.clearError();
    if (!m_port.open(QIODevice::ReadOnly)) return failure(m_port.error(), path);
    m_openPath = path;
    return std::nullopt;
}

void ScannerPort::close()
{
    if (m_port.isOpen()) m_port.close();
}

std::optional<PortFailure> ScannerPort::probe(int number)
{
    setPortNumber(number);
    close();
    std::optional<PortFailure> f = open();
    close();
    return f;
}

void ScannerPort::readWaiting()
{
    while (m_port.isOpen() && m_port.bytesAvailable() > 0) {
        const QByteArray bytes = m_port.read(kReadBufferSize);
        if (bytes.isEmpty()) break;
        const QStringList codes = m_line.feed(bytes);
        for (const QString &code : codes)
            emit codeScanned(code);
    }
}

void ScannerPort::portError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || !m_port.isOpen()) return;
    // A vanished device keeps signalling read errors; closing at the first one stops the flood.
    m_port.close();
    const QString message =
        QStringLiteral("The scanner on %1 (%2) stopped answering and the port was closed. "
                       "Check that the scanner is plugged in, then press Connect ComPort.")
            .arg(portName(m_portNumber), m_openPath);
    QMetaObject::invokeMethod(
        this, [this, message] { emit connectionLost(message); }, Qt::QueuedConnection);
}

} // namespace tv
