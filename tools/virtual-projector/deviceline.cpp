#include "deviceline.h"

DeviceLine::DeviceLine(const QString &path, int baud, QObject *parent)
    : Line(parent)
{
    m_port.setPortName(path);
    m_port.setBaudRate(baud);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    connect(&m_port, &QSerialPort::readyRead, this, [this] { take(m_port.readAll()); });
    connect(&m_port, &QSerialPort::errorOccurred, this, &DeviceLine::handleError);
}

bool DeviceLine::open(QString *error)
{
    m_failing = false;
    if (m_port.open(QIODevice::ReadWrite))
        return true;
    *error = m_port.errorString();
    return false;
}

void DeviceLine::write(const QByteArray &bytes)
{
    if (!m_port.isOpen())
        return;
    const qint64 written = m_port.write(bytes);
    if (written > 0)
        wrote(QByteArrayView(bytes).first(written));
}

void DeviceLine::handleError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || !m_port.isOpen()
        || m_failing)
        return;
    m_failing = true;
    // An unplugged adapter reports a stream of errors; the first one closes the port, and the
    // close happens outside QSerialPort's own signal.
    const QString reason = m_port.errorString();
    QMetaObject::invokeMethod(
        this,
        [this, reason] {
            m_failing = false;
            if (!m_port.isOpen())
                return;
            m_port.close();
            emit failed(reason);
        },
        Qt::QueuedConnection);
}
