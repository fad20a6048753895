#include "session.h"

#include "exitstatus.h"

#include "engine/engine.h"
#include "engine/protocol.h"
#include "engine/timer.h"
#include "link/capture.h"
#include "link/linkport.h"
#include "link/portfactory.h"
#include "link/portmap.h"

#include <QTimer>

#include <algorithm>

Session::Session(const Projector &projector, int baud, const Plan &plan, QObject *parent)
    : QObject(parent)
    , m_plan(plan)
    , m_projector(projector)
    , m_timers(std::make_unique<QtTimerFactory>())
    , m_ports(std::make_unique<SystemPortFactory>())
    , m_port(std::make_unique<LinkPort>(*m_ports))
    , m_engine(std::make_unique<Engine>(m_port.get(), *m_timers))
    , m_pause(new QTimer(this))
{
    m_run.port = projector.port;
    m_run.name = projector.name;
    m_run.baud = baud;
    m_pause->setSingleShot(true);
    connect(m_pause, &QTimer::timeout, this, &Session::readStatus);
    connect(m_port.get(), &SerialPort::lost, this, [this] {
        if (m_lost.isEmpty())
            m_lost = m_port->lastError();
    });
    connect(m_engine.get(), &Engine::openFinished, this, &Session::opened);
    // A whole answer ends the wait before the reply window does.
    connect(m_engine.get(), &Engine::displayChanged, this, [this] {
        const QByteArray received = m_engine->received();
        if (!m_awaiting || !received.contains(Wire::Cr))
            return;
        m_answer.reply = received;
        m_answer.rendered = m_engine->display().rxd;
        m_answer.status = m_engine->display().status;
        m_answer.answered = true;
        complete();
    });
    // Otherwise the window's end, with what it saw before it emptied the buffer.
    connect(m_engine.get(), &Engine::replyEnded, this, [this](const Engine::Reply &reply) {
        if (!m_awaiting)
            return;
        m_answer.reply = reply.received;
        m_answer.rendered = reply.rxd;
        complete();
    });
}

Session::~Session() = default;

void Session::start()
{
    m_run.time = QDateTime::currentDateTimeUtc();
    m_clock.start();
    if (!m_projector.capture.isEmpty()) {
        // Opened at start already: only a file that went away since fails here.
        auto capture = std::make_unique<Capture::Writer>();
        if (!capture->openFile(m_projector.capture)) {
            m_run.recordError = capture->error();
            finish();
            return;
        }
        m_port->record(std::move(capture), QStringLiteral("orva"), QStringLiteral(ORVA_VERSION));
        m_port->setRecordedName(m_projector.label());
    }
    PortChoice choice = m_projector.number ? PortChoice(m_projector.number)
                                           : PortChoice::direct(m_projector.target, m_run.baud);
    choice.setBaud(m_run.baud);
    m_engine->startOpen(choice);
}

void Session::opened(bool opened)
{
    m_run.target = m_port->target();
    if (m_run.target.isEmpty()) // an entry or a target that cannot be used
        m_run.target
            = m_projector.number ? PortMap::resolve(m_projector.number).entry : m_projector.port;
    if (!opened) {
        m_run.exitCode = ExitStatus::PortFailed;
        m_run.error = QStringLiteral("cannot open %1").arg(m_port->lastError());
        m_run.failure = SerialPort::failureText(m_port->failure());
        finish();
        return;
    }
    if (m_plan.until)
        readStatus();
    else
        sendNext();
}

void Session::readStatus()
{
    m_sinceRead.start();
    send(Wire::ReadStatus, DefaultWaitMs, &Session::statusRead);
}

void Session::statusRead()
{
    if (!m_lost.isEmpty()) {
        m_run.exitCode = ExitStatus::NoAnswer;
        finish();
        return;
    }
    const QString now = powerState(m_answer);
    if (now != m_run.state) {
        m_run.state = now;
        if (m_plan.changed)
            m_plan.changed(m_run);
    }
    if (m_plan.until(now)) {
        sendNext();
        return;
    }
    if (m_plan.deadline.hasExpired()) {
        m_run.exitCode = ExitStatus::NoAnswer;
        if (m_plan.notReached)
            m_run.error = m_plan.notReached(m_run);
        finish();
        return;
    }
    // The next read everyMs from the start of the last, never after the deadline.
    m_pause->start(int(std::min<qint64>(std::max<qint64>(0, m_plan.everyMs - m_sinceRead.elapsed()),
                                        m_plan.deadline.remainingTime())));
}

void Session::sendNext()
{
    if (!m_lost.isEmpty() || m_next == m_plan.commands.size()) {
        finish();
        return;
    }
    const QByteArray command = m_plan.commands.at(m_next++);
    if (!m_silent) {
        send(command, m_plan.waitMs, &Session::commandAnswered);
        return;
    }
    // Silent at the last read: this one is counted unanswered, not sent to wait out its window.
    Answer unsent;
    unsent.command = command;
    unsent.sent = false;
    m_run.answers.append(unsent);
    sendNext();
}

void Session::commandAnswered()
{
    if (!m_answer.answered) {
        m_run.exitCode = std::max(m_run.exitCode, int(ExitStatus::NoAnswer));
        m_silent = m_plan.stopAtSilence;
    }
    m_run.values.merge(m_answer.values);
    m_run.answers.append(m_answer);
    sendNext();
}

void Session::send(const QByteArray &command, int waitMs, Step then)
{
    m_answer = Answer();
    m_answer.command = command;
    m_then = then;
    // The display clear, as between two clicks on the panel: LAMP-TIME's hours are written
    // behind whatever the STATUS line holds. It shows the last reply once more: not this one's.
    m_engine->clear();
    m_engine->setIntervals(waitMs, waitMs + Intervals::DisplayClearMs);
    m_awaiting = true;
    m_engine->send(command);
}

void Session::complete()
{
    m_awaiting = false;
    if (m_answer.status && m_answer.status->isEmpty())
        m_answer.status.reset();
    if (m_answer.status)
        m_answer.status = Decoders::words(*m_answer.status);
    if (m_answer.answered) {
        if (Decoders::isRead(m_answer.command))
            m_answer.values = Decoders::values(m_answer.command, m_answer.reply);
        else
            m_answer.acknowledged = Decoders::acknowledged(m_answer.reply);
    }
    // The next step from the event loop, not inside the engine's own signal.
    QMetaObject::invokeMethod(
        this, [this, then = m_then] { (this->*then)(); }, Qt::QueuedConnection);
}

void Session::finish()
{
    if (!m_lost.isEmpty()) {
        m_run.exitCode = ExitStatus::PortFailed;
        m_run.error = m_lost;
        m_run.failure = SerialPort::failureText(SerialPort::Failure::Lost);
    } else if (m_run.failure.isEmpty()
               && std::any_of(m_run.answers.begin(), m_run.answers.end(),
                              [](const Answer &answer) { return !answer.answered; })) {
        m_run.failure = QStringLiteral("silent");
    }
    m_engine->close();
    if (m_run.recordError.isEmpty())
        m_run.recordError = m_port->recordError();
    if (!m_run.recordError.isEmpty())
        m_run.exitCode = std::max(m_run.exitCode, int(ExitStatus::CannotWrite));
    m_run.seconds = double(m_clock.nsecsElapsed()) / 1e9;
    QMetaObject::invokeMethod(
        this, [this] { emit finished(); }, Qt::QueuedConnection);
}

QString Session::powerState(const Answer &answer)
{
    if (!answer.answered)
        return QStringLiteral("no answer");
    return answer.values.power.isEmpty() ? QStringLiteral("unknown") : answer.values.power;
}

bool Session::isReady(const QString &state)
{
    return state != QLatin1String("no answer") && state != QLatin1String("warming")
        && state != QLatin1String("cooling");
}
