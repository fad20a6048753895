#include "qtserialport.h"

#include "hangup.h"
#include "portmap.h"

#include <QTimer>

namespace {

constexpr int HangUpCheckMs = 200;

qint32 baudRateOf(const QString &settings)
{
    return settings.section(QLatin1Char(','), 0, 0).toInt();
}

} // namespace

QtSerialPort::QtSerialPort(QObject *parent)
    : SerialPort(parent)
    , m_port(new QSerialPort(this))
    , m_hangUpWatch(new QTimer(this))
{
    m_hangUpWatch->setInterval(HangUpCheckMs);
    connect(m_hangUpWatch, &QTimer::timeout, this, [this] {
        if (HangUp::detected(m_port->handle()))
            fail();
    });
    connect(m_port, &QSerialPort::readyRead, this, &SerialPort::onComm);
    connect(m_port, &QSerialPort::errorOccurred, this, &QtSerialPort::handleError);
}

bool QtSerialPort::open()
{
    if (m_failed)
        closeAfterFailure(); // the queued close may not have run yet
    if (m_port->isOpen())
        return false;
    const PortTarget target = PortMap::resolve(commPort());
    if (target.kind != PortTarget::Kind::Device)
        return false;
    m_port->setPortName(target.device);
    m_port->setBaudRate(baudRateOf(settings()));
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    if (!m_port->open(QIODevice::ReadWrite))
        return false;
    m_failed = false;
    m_hangUpWatch->start();
    return true;
}

void QtSerialPort::close()
{
    m_hangUpWatch->stop();
    m_port->close();
    m_failed = false;
}

bool QtSerialPort::isOpen() const
{
    return m_port->isOpen() && !m_failed;
}

void QtSerialPort::output(const QByteArray &text)
{
    if (!isOpen())
        return; // QSerialPort would only print a warning
    m_port->write(text);
    // Put the command on the line now, in one write, rather than at the next event-loop turn.
    m_port->flush();
}

QByteArray QtSerialPort::input()
{
    return m_port->readAll();
}

void QtSerialPort::handleError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
        return;
    // An unplug reports a burst of errors (Qt 6.4 reads a hang-up as endless ReadErrors);
    // only the first one while the port is open counts.
    if (m_port->isOpen())
        fail();
}

void QtSerialPort::fail()
{
    if (m_failed)
        return;
    m_failed = true;
    m_hangUpWatch->stop();
    // Not inside QSerialPort's own signal: close from the event loop.
    QMetaObject::invokeMethod(this, &QtSerialPort::closeAfterFailure, Qt::QueuedConnection);
    emit lost();
}

void QtSerialPort::closeAfterFailure()
{
    if (m_failed)
        close();
}
