#pragma once

#include "line.h"

#include <QSerialPort>

// A real serial port, 8N1 at the chosen speed.
class DeviceLine : public Line
{
    Q_OBJECT
public:
    DeviceLine(const QString &path, int baud, QObject *parent = nullptr);

    bool open(QString *error);
    bool isOpen() const override { return m_port.isOpen(); }
    void write(const QByteArray &bytes) override;
    qint64 bytesToWrite() const override { return m_port.bytesToWrite(); }
    bool pacesItself() const override { return true; }
    void hangUp() override { m_port.close(); }

private:
    void handleError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    bool m_failing = false;
};
