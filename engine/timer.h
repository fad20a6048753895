#pragma once

#include <QObject>

class QTimer;

// A message-loop timer: an interval and an enabled flag. It ticks every interval while enabled;
// a one-shot use disables it in its own tick.
class Timer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Changing the interval of a running timer restarts its count.
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    // Enabling restarts the count, also when the timer was already running.
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

signals:
    void timeout();
};

class QtTimer : public Timer
{
    Q_OBJECT
public:
    explicit QtTimer(QObject *parent = nullptr);

    void setInterval(int ms) override;
    int interval() const override;
    void start() override;
    void stop() override;
    bool isActive() const override;

private:
    QTimer *m_timer;
};

class TimerFactory
{
public:
    virtual ~TimerFactory() = default;
    virtual Timer *create(QObject *parent) = 0;
};

class QtTimerFactory : public TimerFactory
{
public:
    Timer *create(QObject *parent) override { return new QtTimer(parent); }
};
