#pragma once

#include "engine/decoders.h"
#include "projectors.h"

#include <QByteArray>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>

class Engine;
class LinkPort;
class PortFactory;
class QTimer;
class QtTimerFactory;

// What one port gave.
struct PortRun
{
    struct Answer
    {
        QByteArray command; // without its CR
        QByteArray reply; // as received, up to and with its CR
        QString rendered; // as the RxD line shows it
        std::optional<QString> status; // the decoded words
        bool answered = false; // a whole answer (ended by CR) came within the wait
        bool sent = true; // false: not sent, the projector having fallen silent before it
        Decoders::Values values; // of a status read
        std::optional<bool> acknowledged; // for a command that is not a read
    };

    QString port; // "COM3", or the target as given
    QString name; // from the fleet file
    QString target; // as resolved at the open
    int baud = 0;
    QDateTime time; // when its work began, UTC
    double seconds = 0; // how long it took, open included
    int exitCode = 0; // 0; 1 something unanswered or not there in time; 2 the port failed
    QString error; // why the port failed, or why nothing was sent
    QString recordError; // why its capture file could not be written; empty: it was, or none
    QString failure; // the kind of failure: SerialPort::failureText, or "silent"
    QVector<Answer> answers;
    Decoders::Values values; // of all answers together
    QString state; // the power state last seen while waiting

    QString label() const { return name.isEmpty() ? port : name; }
};

// One projector's work on the event loop, as a state machine: the port opens; when asked, the
// status is read every `everyMs` until it is what is waited for; then the commands go one after
// another, each ending with a whole answer (ended by CR) or with the reply window; the port
// closes and finished() follows. It opens, sends and decodes as the panel does: the same port
// map, framing, echo, reply window and decoders. Nothing in it blocks.
class Session : public QObject
{
    Q_OBJECT
public:
    using Answer = PortRun::Answer;

    // The panel's reply window.
    static constexpr int DefaultWaitMs = 1000;

    struct Plan
    {
        QList<QByteArray> commands;
        int waitMs = DefaultWaitMs;
        // A report's reads: once one went unanswered, the rest are not sent into the silence.
        bool stopAtSilence = false;
        // Before the commands: the power state to wait for (empty: none), its deadline and the
        // time between reads; `changed` hears each state that differs from the one before.
        std::function<bool(const QString &state)> until;
        std::function<void(const PortRun &run)> changed;
        QDeadlineTimer deadline;
        int everyMs = 1000;
        // Why nothing was sent when the state was not reached; empty when that needs no word.
        std::function<QString(const PortRun &run)> notReached;
    };

    Session(const Projector &projector, int baud, const Plan &plan, QObject *parent = nullptr);
    ~Session() override;

    void start();
    const PortRun &result() const { return m_run; }

    // The power state as the status read gives it: a Decoders::powerStates() value, "no answer",
    // or "unknown" for an answer that does not decode.
    static QString powerState(const Answer &answer);
    // Takes commands: answering, and neither warming nor cooling.
    static bool isReady(const QString &state);

signals:
    void finished();

private:
    using Step = void (Session::*)();

    void opened(bool opened);
    void readStatus();
    void statusRead();
    void sendNext();
    void commandAnswered();
    // Sends one command; `then` runs from the event loop once its answer is complete.
    void send(const QByteArray &command, int waitMs, Step then);
    void complete();
    void finish();

    Plan m_plan;
    Projector m_projector;
    std::unique_ptr<QtTimerFactory> m_timers;
    std::unique_ptr<PortFactory> m_ports;
    std::unique_ptr<LinkPort> m_port;
    std::unique_ptr<Engine> m_engine;
    QTimer *m_pause;
    QElapsedTimer m_clock;
    QElapsedTimer m_sinceRead;
    PortRun m_run;
    Answer m_answer;
    bool m_awaiting = false;
    Step m_then = nullptr;
    int m_next = 0;
    bool m_silent = false;
    QString m_lost;
};
