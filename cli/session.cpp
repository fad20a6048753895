#include "session.h"

#include "engine/engine.h"
#include "link/linkport.h"
#include "link/portfactory.h"
#include "link/portmap.h"
#include "engine/protocol.h"
#include "engine/timer.h"

#include <QEventLoop>

Session::Session()
    : m_timers(std::make_unique<QtTimerFactory>())
    , m_ports(std::make_unique<SystemPortFactory>())
    , m_port(std::make_unique<LinkPort>(*m_ports))
    , m_engine(std::make_unique<Engine>(m_port.get(), *m_timers))
{
    QObject::connect(m_port.get(), &SerialPort::lost, m_port.get(), [this] {
        if (m_lost.isEmpty())
            m_lost = m_port->lastError();
    });
}

Session::~Session() = default;

bool Session::open(const Projector &projector, int baud, QString *error)
{
    PortChoice choice = projector.number ? PortChoice(projector.number)
                                         : PortChoice::direct(projector.target, baud);
    choice.setBaud(baud);
    const bool opened = m_engine->open(choice);
    m_target = m_port->target();
    if (m_target.isEmpty()) // an entry or a target that cannot be used
        m_target = projector.number ? PortMap::resolve(projector.number).entry : projector.port;
    if (!opened)
        *error = m_port->lastError();
    return opened;
}

Session::Answer Session::send(const QByteArray &command, int waitMs)
{
    Engine &engine = *m_engine;
    Answer answer;
    answer.command = command;
    // The display clear, as between two clicks on the panel: LAMP-TIME's hours are written
    // behind whatever the STATUS line holds.
    engine.clear();
    engine.setIntervals(waitMs, waitMs + Intervals::DisplayClearMs);

    QEventLoop loop;
    // A whole answer ends the wait before the reply window does.
    const auto whole = QObject::connect(&engine, &Engine::displayChanged, &loop, [&] {
        const QByteArray received = engine.received();
        if (!received.contains(Wire::Cr))
            return;
        answer.reply = received;
        answer.rendered = engine.display().rxd;
        answer.status = engine.display().status;
        answer.answered = true;
        loop.quit();
    });
    // Otherwise the window's end, with what it saw before it emptied the buffer.
    const auto ended
        = QObject::connect(&engine, &Engine::replyEnded, &loop, [&](const Engine::Reply &reply) {
              answer.reply = reply.received;
              answer.rendered = reply.rxd;
              loop.quit();
          });
    engine.send(command);
    if (!answer.answered)
        loop.exec();
    QObject::disconnect(whole);
    QObject::disconnect(ended);
    if (answer.status && answer.status->isEmpty())
        answer.status.reset();
    if (answer.status)
        answer.status = Decoders::words(*answer.status);
    if (!answer.answered)
        return answer;
    if (Decoders::isRead(command))
        answer.values = Decoders::values(command, answer.reply);
    else
        answer.acknowledged = Decoders::acknowledged(answer.reply);
    return answer;
}
