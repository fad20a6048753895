#pragma once

#include "serialport.h"

#include <QSerialPort>

class QTimer;

// The real port, over QSerialPort. A port that fails while open is closed once and reported
// once; the errors that follow are ignored.
class QtSerialPort : public SerialPort
{
    Q_OBJECT
public:
    explicit QtSerialPort(QObject *parent = nullptr);

    bool open() override;
    void close() override;
    bool isOpen() const override;
    void output(const QByteArray &text) override;
    QByteArray input() override;
    int commEvent() const override { return CommEventReceive; }

private:
    void handleError(QSerialPort::SerialPortError error);
    void fail();
    void closeAfterFailure();

    QSerialPort *m_port;
    QTimer *m_hangUpWatch;
    bool m_failed = false;
};
