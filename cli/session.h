#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class Engine;
class LinkPort;
class PortFactory;
class QtTimerFactory;

// One port opened the panel's way, and commands sent through the panel's engine: the same
// framing, echo, reply window and decoders.
class Session
{
public:
    struct Answer
    {
        QByteArray command; // without its CR
        QByteArray reply; // as received, up to and with its CR
        QString rendered; // as the RxD line shows it
        std::optional<QString> status; // the decoded words, without their leading blanks
        bool answered = false; // a whole answer (ended by CR) came within the wait
    };

    // The panel's reply window.
    static constexpr int DefaultWaitMs = 1000;

    Session();
    ~Session();

    // False with the reason (naming the port and what it resolved to) when it did not open.
    bool open(int portNumber, int baud, QString *error);
    // Each send stands alone: what an earlier answer left on the STATUS line is cleared first.
    Answer send(const QByteArray &command, int waitMs);
    // What was opened, for a message: "COM3 (/dev/ttyUSB0) at 19200 baud".
    QString where() const;

private:
    std::unique_ptr<QtTimerFactory> m_timers;
    std::unique_ptr<PortFactory> m_ports;
    std::unique_ptr<LinkPort> m_port;
    std::unique_ptr<Engine> m_engine;
};
