#include "session.h"

#include "link/engine.h"
#include "link/linkport.h"
#include "link/portfactory.h"
#include "link/portmap.h"
#include "link/protocol.h"
#include "link/timer.h"

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
    const quint8 code = baud == 9600 ? Wire::Baud9600Code : Wire::Baud19200Code;
    if (!projector.number)
        m_port->setDirectTarget(projector.target);
    const bool opened = m_engine->openPort(qint16(projector.number), code);
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
    engine.Timer4_Timer();
    engine.setIntervals(waitMs, waitMs + Intervals::DisplayClearMs);

    QEventLoop loop;
    // The reply window empties RxBuffer at its end: keep what it held.
    const auto keep = QObject::connect(&engine, &Engine::displayChanged, &loop, [&] {
        if (engine.RxBuffer.isEmpty())
            return;
        answer.reply = engine.RxBuffer;
        answer.rendered = engine.display().rxd;
        const QString status = engine.display().status;
        answer.status = status.isEmpty() ? std::nullopt : std::optional<QString>(status);
        if (engine.RxBuffer.contains(Wire::Cr)) {
            answer.answered = true;
            loop.quit();
        }
    });
    QObject::connect(engine.Timer2, &Timer::timeout, &loop, &QEventLoop::quit);
    engine.CurrentCommand = Wire::frame(command);
    engine.Hyouji(engine.CurrentCommand, Engine::SendMode);
    if (!answer.answered)
        loop.exec();
    QObject::disconnect(keep);
    if (!answer.answered) {
        answer.status.reset();
        if (answer.reply.isEmpty())
            answer.rendered = engine.display().rxd; // " X X X X"
    }
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
