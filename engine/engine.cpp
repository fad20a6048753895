#include "engine.h"

#include "decoders.h"
#include "link/serialport.h"
#include "protocol.h"
#include "render.h"
#include "timer.h"

#include <QEventLoop>

#include <optional>

Engine::Engine(SerialPort *port, TimerFactory &timers, QObject *parent)
    : QObject(parent)
    , m_port(port)
    , m_repeatTimer(timers.create(this))
    , m_replyWindow(timers.create(this))
    , m_displayClear(timers.create(this))
{
    m_repeatTimer->setInterval(Intervals::InitialRepeatMs);
    m_replyWindow->setInterval(Intervals::InitialReplyWindowMs);
    m_displayClear->setInterval(Intervals::InitialDisplayClearMs);
    connect(m_repeatTimer, &Timer::timeout, this, &Engine::repeat);
    connect(m_replyWindow, &Timer::timeout, this, &Engine::endReplyWindow);
    connect(m_displayClear, &Timer::timeout, this, &Engine::clear);
    connect(m_port, &SerialPort::onComm, this, &Engine::receive);
    connect(m_port, &SerialPort::opening, this, &Engine::opening);
    connect(m_port, &SerialPort::openFinished, this, [this](bool opened) {
        if (opened)
            emit portOpenChanged(true);
        emit openFinished(opened);
    });
    connect(m_port, &SerialPort::lost, this, [this] {
        endHold();
        emit portOpenChanged(false);
    });
}

void Engine::send(const QByteArray &command)
{
    m_currentCommand = Wire::frame(command);
    transmit(m_currentCommand);
}

void Engine::sendAsTyped(const QByteArray &frame)
{
    // Both windows are stopped before the send and started again after it, so that they run
    // from the end of the console's send.
    m_replyWindow->stop();
    m_displayClear->stop();
    transmit(frame);
    m_replyWindow->start();
    m_displayClear->start();
}

void Engine::transmit(const QByteArray &frame)
{
    // Written first: the echo and the reply window follow the send, even one that wrote nothing.
    m_port->output(frame);
    setRxdOther(QString());
    m_received.clear();
    const Render::Result echo = Render::echo(frame);
    m_display.txd = echo.text;
    addLegends(echo.legends);
    m_replyWindow->start();
    m_awaitingReply = true;
    m_displayClear->start();
    emit displayChanged();
}

void Engine::showReceived()
{
    const Render::Result echo = Render::echo(m_received);
    m_display.rxd = echo.text;
    m_rxdShowsReceived = true;
    addLegends(echo.legends);
    if (const auto words
        = Decoders::decode(m_currentCommand, m_display.rxd, m_received.size(), m_display.status)) {
        m_display.status = *words;
    }
    emit displayChanged();
}

void Engine::setRxdOther(const QString &text)
{
    m_display.rxd = text;
    m_rxdShowsReceived = false;
}

void Engine::addLegends(unsigned legends)
{
    m_display.spaceLegend |= (legends & Render::SpaceLegend) != 0;
    m_display.crLegend |= (legends & Render::CrLegend) != 0;
    m_display.ackLegend |= (legends & Render::AckLegend) != 0;
}

void Engine::receive()
{
    if (m_port->commEvent() != SerialPort::CommEventReceive)
        return;
    const QByteArray received = m_port->input();
    if (received.isEmpty())
        return;
    const int room = MaxReceivedChars - m_received.size();
    m_awaitingReply = false;
    if (room <= 0) {
        // A flood until the next send: shown and decoded already, unless the display clear has
        // blanked the line since.
        if (!m_rxdShowsReceived)
            showReceived();
        return;
    }
    m_received.append(received.left(room));
    showReceived();
}

void Engine::endReplyWindow()
{
    if (m_awaitingReply)
        setRxdOther(QStringLiteral(" X X X X"));
    // Taken before the buffer is emptied below: what orva reports as the reply.
    const Reply reply {m_received, m_display.rxd, m_display.status};
    m_replyWindow->stop();
    m_display.spaceLegend = m_display.crLegend = m_display.ackLegend = false;
    m_received.clear();
    m_awaitingReply = false;
    emit displayChanged();
    // Last, so that whoever waits on it sees the window's end as the panel shows it.
    emit replyEnded(reply);
}

void Engine::clear()
{
    m_display.txd.clear();
    setRxdOther(QString());
    m_display.status.clear();
    m_displayClear->stop();
    emit displayChanged();
}

void Engine::reset()
{
    m_repeatIndex = 0;
    m_awaitingReply = false;
    m_received.clear();
    m_holding = false;
}

void Engine::setRepeatTable(QVector<QByteArray> commands)
{
    Q_ASSERT(commands.size() == RepeatTableSize);
    m_repeatTable = std::move(commands);
}

void Engine::press(int repeatIndex, const QByteArray &command)
{
    if (m_holding)
        return;
    m_holding = true;
    m_repeatIndex = repeatIndex;
    m_currentCommand = Wire::frame(command);
    startHold();
}

void Engine::release()
{
    stopHold();
}

void Engine::startHold()
{
    m_repeatTimer->setInterval(Intervals::RepeatMs);
    m_replyWindow->setInterval(Intervals::HoldReplyWindowMs);
    m_displayClear->setInterval(Intervals::HoldDisplayClearMs);
    transmit(m_currentCommand);
    // A write can fail inside transmit, and the port's loss has ended the hold by now.
    if (m_holding)
        m_repeatTimer->start();
}

void Engine::repeat()
{
    if (m_repeatIndex == 0 || m_repeatIndex > m_repeatTable.size())
        return;
    m_currentCommand = Wire::frame(m_repeatTable.at(m_repeatIndex - 1));
    transmit(m_currentCommand);
    if (m_repeatIndex != 0 && !m_repeatTimer->isActive())
        m_repeatTimer->start();
}

void Engine::stopHold()
{
    m_repeatIndex = 0;
    m_repeatTimer->stop();
    m_replyWindow->stop();
    m_displayClear->start();
    m_display.txd.clear();
    setRxdOther(QString());
    m_replyWindow->setInterval(Intervals::AfterHoldReplyWindowMs);
    m_displayClear->setInterval(Intervals::AfterHoldDisplayClearMs);
    m_received.clear();
    m_holding = false;
    emit displayChanged();
}

void Engine::endHold()
{
    if (m_holding)
        stopHold();
}

void Engine::setIntervals(int replyWindowMs, int displayClearMs)
{
    m_replyWindow->setInterval(replyWindowMs);
    m_displayClear->setInterval(displayClearMs);
}

void Engine::startOpen(const PortChoice &choice)
{
    m_choice = choice;
    m_port->setChoice(choice);
    m_port->startOpen();
}

bool Engine::open(const PortChoice &choice)
{
    std::optional<bool> opened;
    QEventLoop loop;
    const auto finished = connect(this, &Engine::openFinished, &loop, [&](bool result) {
        opened = result;
        loop.quit();
    });
    startOpen(choice);
    if (!opened)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    disconnect(finished);
    return opened.value_or(false);
}

void Engine::close()
{
    if (!m_port->isOpen())
        return;
    endHold();
    m_port->close();
    emit portOpenChanged(false);
}

bool Engine::isOpen() const
{
    return m_port->isOpen();
}

Engine::Timing Engine::timing() const
{
    Timing timing;
    timing.repeatMs = m_repeatTimer->interval();
    timing.repeating = m_repeatTimer->isActive();
    timing.replyWindowMs = m_replyWindow->interval();
    timing.replyWindowOpen = m_replyWindow->isActive();
    timing.displayClearMs = m_displayClear->interval();
    timing.displayClearPending = m_displayClear->isActive();
    return timing;
}
