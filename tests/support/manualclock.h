#pragma once

#include "engine/timer.h"

#include <QList>
#include <QPointer>

class ManualClock;

// A timer that ticks only when the test advances its clock.
class ManualTimer : public Timer
{
    Q_OBJECT
public:
    ManualTimer(ManualClock &clock, QObject *parent);

    void setInterval(int ms) override;
    int interval() const override { return m_interval; }
    void start() override;
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }

private:
    friend class ManualClock;
    ManualClock &m_clock;
    int m_interval = 0;
    bool m_active = false;
    qint64 m_due = 0;
};

class ManualClock : public TimerFactory
{
public:
    Timer *create(QObject *parent) override;

    qint64 now() const { return m_now; }
    // Moves time forward, firing every tick that falls due on the way, in time order.
    void advance(qint64 ms);

private:
    friend class ManualTimer;
    qint64 m_now = 0;
    QList<QPointer<ManualTimer>> m_timers;
};
