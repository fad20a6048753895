#include "timer.h"

#include <QTimer>

QtTimer::QtTimer(QObject *parent)
    : Timer(parent)
    , m_timer(new QTimer(this))
{
    // Ten sends a second while a button is held, and reply windows measured in ms.
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &Timer::timeout);
}

void QtTimer::setInterval(int ms)
{
    m_timer->setInterval(ms); // QTimer restarts a running timer itself
}

int QtTimer::interval() const
{
    return m_timer->interval();
}

void QtTimer::start()
{
    m_timer->start();
}

void QtTimer::stop()
{
    m_timer->stop();
}

bool QtTimer::isActive() const
{
    return m_timer->isActive();
}
