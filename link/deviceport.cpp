#include "deviceport.h"

#include "link/hangup.h"
#include "link/portinfo.h"

#include <QTimer>

namespace {

constexpr int HangUpCheckMs = 200;

QSerialPort::Parity parityOf(char letter)
{
    switch (letter) {
    case 'E':
        return QSerialPort::EvenParity;
    case 'O':
        return QSerialPort::OddParity;
    default:
        return QSerialPort::NoParity;
    }
}

} // namespace

DevicePort::DevicePort(const QString &device, QObject *parent)
    : SerialPort(parent)
    , m_device(device)
    , m_port(new QSerialPort(device, this))
    , m_hangUpWatch(new QTimer(this))
{
    m_hangUpWatch->setInterval(HangUpCheckMs);
    connect(m_hangUpWatch, &QTimer::timeout, this, [this] {
        if (HangUp::detected(m_port->handle()))
            fail(QStringLiteral("the device hung up"));
    });
    connect(m_port, &QSerialPort::readyRead, this, &SerialPort::onComm);
    connect(m_port, &QSerialPort::errorOccurred, this, &DevicePort::handleError);
}

bool DevicePort::open()
{
    if (m_failed)
        closeAfterFailure(); // the queued close may not have run yet
    if (m_port->isOpen())
        return false;
    const LineSettings line = lineSettings();
    m_port->setBaudRate(line.baud);
    m_port->setDataBits(QSerialPort::DataBits(line.dataBits));
    m_port->setParity(parityOf(line.parity));
    m_port->setStopBits(line.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    if (!m_port->open(QIODevice::ReadWrite)) {
        // Qt's "Permission error while locking the device" reads as if this user lacked a right.
        const bool held = PortInfo::heldElsewhere(m_port->error(), m_device);
        m_lastError = held ? PortInfo::heldText() : m_port->errorString();
        m_failure = held                                          ? Failure::Busy
            : m_port->error() == QSerialPort::PermissionError     ? Failure::Permission
            : m_port->error() == QSerialPort::DeviceNotFoundError ? Failure::Absent
            : m_port->error() == QSerialPort::OpenError           ? Failure::Busy
                                                                  : Failure::Absent;
        return false;
    }
    m_failed = false;
    m_lastError.clear();
    m_failure = Failure::None;
    m_hangUpWatch->start();
    return true;
}

void DevicePort::close()
{
    m_hangUpWatch->stop();
    m_port->close();
    m_failed = false;
}

bool DevicePort::isOpen() const
{
    return m_port->isOpen() && !m_failed;
}

void DevicePort::output(const QByteArray &text)
{
    if (!isOpen())
        return; // QSerialPort would only print a warning
    m_port->write(text);
    // Put the command on the line now, in one write, rather than at the next event-loop turn.
    m_port->flush();
}

QByteArray DevicePort::input()
{
    return m_port->readAll();
}

void DevicePort::handleError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
        return;
    // An unplug reports a burst of errors (Qt 6.4 reads a hang-up as endless ReadErrors; on
    // Windows it can arrive as PermissionError); only the first one while open counts.
    if (m_port->isOpen())
        fail(m_port->errorString());
}

void DevicePort::fail(const QString &cause)
{
    if (m_failed)
        return;
    m_failed = true;
    m_lastError = cause;
    m_failure = Failure::Lost;
    m_hangUpWatch->stop();
    // Not inside QSerialPort's own signal: close from the event loop.
    QMetaObject::invokeMethod(this, &DevicePort::closeAfterFailure, Qt::QueuedConnection);
    emit lost();
}

void DevicePort::closeAfterFailure()
{
    if (m_failed)
        close();
}
