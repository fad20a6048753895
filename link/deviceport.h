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

    // A device opens or fails at once: startOpen() reports it before it returns.
    bool open();
    void startOpen() override { emit openFinished(open()); }
    void close() override;
    bool isOpen() const override;
    void output(const QByteArray &text) override;
    QByteArray input() override;
    int commEvent() const override { return CommEventReceive; }
    QString lastError() const override { return m_lastError; }
    Failure failure() const override { return m_failure; }

private:
    void handleError(QSerialPort::SerialPortError error);
    void fail(const QString &cause);
    void closeAfterFailure();

    const QString m_device;
    QSerialPort *m_port;
    QTimer *m_hangUpWatch;
    bool m_failed = false;
    QString m_lastError;
    Failure m_failure = Failure::None;
};
