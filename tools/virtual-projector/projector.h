#pragma once

#include "engine/protocol.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>

// The projector's side of the line without any I/O: one command in (its text, without CR), the
// whole answer out, and the state in between. Time is the caller's: every call says what the
// clock reads, so tests drive it by hand.
class Projector
{
public:
    enum class Power { Standby, CountDown, On, Cooling };

    struct Setup
    {
        qint64 countdownMs = 5000;
        qint64 coolingMs = 5000;
        // Lamp-on time per lamp hour: an hour a minute, so a demo sees the count move.
        qint64 msPerLampHour = 60000;
        int lampHours = 482;
        bool lampFailure = false;
        bool overTemperature = false;
    };

    static constexpr int MaxHours = 99999; // five digits on the wire
    // Anything it does not know, and everything it does that is not a read.
    inline static const QByteArray ErrorAnswer = QByteArray("?") + Wire::Cr;
    inline static const QByteArray AckAnswer = QByteArray() + Wire::Ack + Wire::Cr;

    Projector();
    explicit Projector(const Setup &setup);

    QByteArray answer(const QByteArray &command, qint64 nowMs);
    // True for the commands of the catalogues, with digits typed over their placeholders.
    bool knows(const QByteArray &command) const;

private:
    void advanceTo(qint64 nowMs);
    void runUntil(qint64 ms);
    void enter(Power power, qint64 atMs);
    bool lampLit() const;
    int hoursSince(qint64 ms, int baseHours) const;

    QByteArray statusCode() const;
    QByteArray settingCode() const;
    QByteArray temperatures() const;
    QByteArray lampModeDigit() const;
    QByteArray expandRead(const QByteArray &keyword) const;
    void basicCommand(const QByteArray &command);
    void expandCommand(const QByteArray &keyword, QByteArray argument);
    void selectInput(int input, const QByteArray &source);
    void selectSource(const QByteArray &source);
    void step(const QByteArray &keyword, int direction);

    Setup m_setup;
    qint64 m_nowMs = 0;
    Power m_power = Power::Standby;
    qint64 m_stateEndsMs = 0;
    qint64 m_litMs = 0; // lamp-on time so far
    qint64 m_runMs = 0; // time out of standby so far
    qint64 m_filterFromRunMs = 0;
    int m_filterBaseHours = 0;
    int m_input = 1;
    QByteArrayList m_sources; // the source chosen on each input
    // Settings kept as the text their read answers ("VOLUME" -> "015").
    QHash<QByteArray, QByteArray> m_values;
};
