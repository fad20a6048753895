#pragma once

#include "link/serialport.h"

#include <QByteArrayList>

// A port that records what is written and receives what the test feeds it, in any chunking.
class FakeSerialPort : public SerialPort
{
    Q_OBJECT
public:
    using SerialPort::SerialPort;

    void startOpen() override { emit openFinished(open()); }
    bool open()
    {
        ++openAttempts;
        if (refuseOpen || m_open)
            return false;
        m_open = true;
        openedPort = choice().portNumber();
        openedSettings = lineSettings().text();
        return true;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    void output(const QByteArray &text) override
    {
        if (!m_open)
            return;
        // Qt can report a write error from inside write(): the loss arrives during the send.
        if (failOnWrite == writes.size() + 1) {
            pull();
            return;
        }
        writes.append(text);
    }
    QByteArray input() override { return std::exchange(m_waiting, {}); }
    int commEvent() const override { return m_commEvent; }

    // Characters arriving from the projector: one receive event.
    void feed(const QByteArray &bytes)
    {
        m_waiting += bytes;
        m_commEvent = CommEventReceive;
        emit onComm();
    }
    // Any other event of the port (a line error, a modem-line change).
    void raiseOtherEvent(int code)
    {
        m_commEvent = code;
        emit onComm();
    }
    // The device went away.
    void pull()
    {
        m_open = false;
        emit lost();
    }

    QByteArrayList writes;
    bool refuseOpen = false;
    // The write with this number (1 for the first) fails and the port is lost; 0 never.
    int failOnWrite = 0;
    int openAttempts = 0;
    int openedPort = 0;
    QString openedSettings;

private:
    bool m_open = false;
    QByteArray m_waiting;
    int m_commEvent = CommEventReceive;
};
