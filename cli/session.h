#pragma once

#include "engine/decoders.h"
#include "projectors.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class Engine;
class LinkPort;
class PortFactory;
class QtTimerFactory;

// One port opened the panel's way, and commands sent through the panel's engine: the same
// framing, echo, reply window and decoders. It lives on one thread, the one that made it.
class Session
{
public:
    struct Answer
    {
        QByteArray command; // without its CR
        QByteArray reply; // as received, up to and with its CR
        QString rendered; // as the RxD line shows it
        std::optional<QString> status; // the decoded words
        bool answered = false; // a whole answer (ended by CR) came within the wait
        Decoders::Values values; // of a status read
        std::optional<bool> acknowledged; // for a command that is not a read
    };

    // The panel's reply window.
    static constexpr int DefaultWaitMs = 1000;

    Session();
    ~Session();

    // False with the reason (naming the port and what it resolved to) when it did not open.
    bool open(const Projector &projector, int baud, QString *error);
    // What the projector's port stood for at the open, as written in a map entry.
    QString target() const { return m_target; }
    // Each send stands alone: what an earlier answer left on the STATUS line is cleared first.
    Answer send(const QByteArray &command, int waitMs);
    // Why the port went away while open (unplugged, hung up, connection lost); empty while not.
    QString lost() const { return m_lost; }

private:
    std::unique_ptr<QtTimerFactory> m_timers;
    std::unique_ptr<PortFactory> m_ports;
    std::unique_ptr<LinkPort> m_port;
    std::unique_ptr<Engine> m_engine;
    QString m_target;
    QString m_lost;
};
