#include "manualclock.h"

ManualTimer::ManualTimer(ManualClock &clock, QObject *parent)
    : Timer(parent)
    , m_clock(clock)
{ }

void ManualTimer::setInterval(int ms)
{
    m_interval = ms;
    if (m_active)
        start();
}

void ManualTimer::start()
{
    m_active = true;
    m_due = m_clock.now() + m_interval;
}

Timer *ManualClock::create(QObject *parent)
{
    auto *timer = new ManualTimer(*this, parent);
    m_timers.append(timer);
    return timer;
}

void ManualClock::advance(qint64 ms)
{
    const qint64 target = m_now + ms;
    for (;;) {
        ManualTimer *next = nullptr;
        for (const QPointer<ManualTimer> &timer : std::as_const(m_timers)) {
            if (timer && timer->m_active && timer->m_due <= target
                && (!next || timer->m_due < next->m_due))
                next = timer;
        }
        if (!next)
            break;
        m_now = next->m_due;
        next->m_due += qMax(1, next->m_interval); // periodic, like a message-loop timer
        emit next->timeout();
    }
    m_now = target;
}
