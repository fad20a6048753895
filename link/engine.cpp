#include "engine.h"

#include "decoders.h"
#include "protocol.h"
#include "render.h"
#include "serialport.h"
#include "timer.h"

Engine::Engine(SerialPort *port, TimerFactory &timers, QObject *parent)
    : QObject(parent)
    , MSComm1(port)
    , Timer1(timers.create(this))
    , Timer2(timers.create(this))
    , Timer4(timers.create(this))
{
    Timer1->setInterval(Intervals::InitialRepeatMs);
    Timer2->setInterval(Intervals::InitialReplyWindowMs);
    Timer4->setInterval(Intervals::InitialDisplayClearMs);
    connect(Timer1, &Timer::timeout, this, &Engine::Timer1_Timer);
    connect(Timer2, &Timer::timeout, this, &Engine::Timer2_Timer);
    connect(Timer4, &Timer::timeout, this, &Engine::Timer4_Timer);
    connect(MSComm1, &SerialPort::onComm, this, &Engine::MSComm1_OnComm);
    connect(MSComm1, &SerialPort::lost, this, [this] {
        endHoldIfActive();
        emit portOpenChanged(false);
    });
}

void Engine::Hyouji(const QByteArray &text, quint8 mode)
{
    if (mode != SendMode) {
        showReceived(text);
        emit displayChanged();
        return;
    }
    MSComm1->output(text);
    setRxdOther(QString());
    RxBuffer.clear();
    const Render::Result echo = Render::echo(text);
    m_display.txd = echo.text;
    addLegends(echo.legends);
    Timer2->start();
    AwaitingReply = 1;
    Timer4->start();
    emit displayChanged();
}

void Engine::showReceived(const QByteArray &text)
{
    const Render::Result echo = Render::echo(text);
    m_display.rxd = echo.text;
    m_rxdShowsBuffer = true;
    addLegends(echo.legends);
    if (const auto words
        = Decoders::decode(CurrentCommand, m_display.rxd, text.size(), m_display.status)) {
        m_display.status = *words;
    }
}

void Engine::setRxdOther(const QString &text)
{
    m_display.rxd = text;
    m_rxdShowsBuffer = false;
}

void Engine::addLegends(unsigned legends)
{
    m_display.spaceLegend |= (legends & Render::SpaceLegend) != 0;
    m_display.crLegend |= (legends & Render::CrLegend) != 0;
    m_display.ackLegend |= (legends & Render::AckLegend) != 0;
}

void Engine::MSComm1_OnComm()
{
    if (MSComm1->commEvent() != SerialPort::CommEventReceive)
        return;
    const QByteArray received = MSComm1->input();
    if (received.isEmpty())
        return;
    const int room = MaxRxBufferChars - RxBuffer.size();
    AwaitingReply = 0;
    if (room <= 0) {
        // A flood until the next send: shown and decoded already, unless the display clear has
        // blanked the line since.
        if (!m_rxdShowsBuffer)
            Hyouji(RxBuffer, ReceiveMode);
        return;
    }
    RxBuffer.append(received.left(room));
    Hyouji(RxBuffer, ReceiveMode);
}

void Engine::Timer2_Timer()
{
    if (AwaitingReply == 1)
        setRxdOther(QStringLiteral(" X X X X"));
    Timer2->stop();
    m_display.spaceLegend = m_display.crLegend = m_display.ackLegend = false;
    RxBuffer.clear();
    AwaitingReply = 0;
    emit displayChanged();
}

void Engine::Timer4_Timer()
{
    m_display.txd.clear();
    setRxdOther(QString());
    m_display.status.clear();
    Timer4->stop();
    emit displayChanged();
}

void Engine::setRepeatTable(const QVector<QByteArray> &commands)
{
    Q_ASSERT(commands.size() == RepeatTableSize);
    m_repeatTable = commands;
}

void Engine::holdPressed(quint8 index, const QByteArray &command)
{
    if (HoldActive != 0)
        return;
    HoldActive = 1;
    RepeatIndex = index;
    CurrentCommand = Wire::frame(command);
    Cont_M_down();
}

void Engine::holdReleased()
{
    Cont_M_up();
}

void Engine::Cont_M_down()
{
    Timer1->setInterval(Intervals::RepeatMs);
    Timer2->setInterval(Intervals::HoldReplyWindowMs);
    Timer4->setInterval(Intervals::HoldDisplayClearMs);
    Hyouji(CurrentCommand, SendMode);
    // A write can fail inside Hyouji, and the port's loss has ended the hold by now.
    if (HoldActive != 0)
        Timer1->start();
}

void Engine::Timer1_Timer()
{
    if (RepeatIndex == 0 || RepeatIndex > m_repeatTable.size())
        return;
    CurrentCommand = Wire::frame(m_repeatTable.at(RepeatIndex - 1));
    Hyouji(CurrentCommand, SendMode);
    if (RepeatIndex != 0 && !Timer1->isActive())
        Timer1->start();
}

void Engine::Cont_M_up()
{
    RepeatIndex = 0;
    Timer1->stop();
    Timer2->stop();
    Timer4->start();
    m_display.txd.clear();
    setRxdOther(QString());
    Timer2->setInterval(Intervals::AfterHoldReplyWindowMs);
    Timer4->setInterval(Intervals::AfterHoldDisplayClearMs);
    RxBuffer.clear();
    HoldActive = 0;
    emit displayChanged();
}

void Engine::endHoldIfActive()
{
    if (HoldActive != 0)
        Cont_M_up();
}

void Engine::setIntervals(int replyWindowMs, int displayClearMs)
{
    Timer2->setInterval(replyWindowMs);
    Timer4->setInterval(displayClearMs);
}

bool Engine::openPort(qint16 portNumber, quint8 baudCode)
{
    MSComm1->setSettings(QString::fromLatin1(Wire::settingsFor(baudCode)));
    MSComm1->setCommPort(portNumber);
    const bool opened = MSComm1->open();
    if (opened)
        emit portOpenChanged(true);
    return opened;
}

void Engine::closePortIfOpen()
{
    if (!MSComm1->isOpen())
        return;
    endHoldIfActive();
    MSComm1->close();
    emit portOpenChanged(false);
}
