#pragma once

#include "link/serialport.h"

#include <QSerialPort>

class QTimer;

// A local serial device, over QSerialPort. A device that fails while open is closed once and
// reported once; the errors that follow are ignored.
class DevicePort : public SerialPort
{
    Q_OBJECT
public:
    explicit DevicePort(const QString &device, QObject *parent = nullptr);

    bool open() override;
    void close() override;
    bool isOpen() const override;
    void output(const QByteArray &text) override;
    QByteArray input() override;
    int commEvent() const override { return CommEventReceive; }
    QString lastError() const override { return m_lastError; }

private:
    void handleError(QSerialPort::SerialPortError error);
    void fail(const QString &cause);
    void closeAfterFailure();

    const QString m_device;
    QSerialPort *m_port;
    QTimer *m_hangUpWatch;
    bool m_failed = false;
    QString m_lastError;
};
