#pragma once

#include "commandreader.h"
#include "options.h"
#include "projector.h"
#include "replay.h"

#include <QElapsedTimer>
#include <QObject>
#include <QRandomGenerator>
#include <QTimer>

#include <optional>

class Line;

// The projector on a line: commands in, answers out after the delay, at the line's speed, with
// the faults the options ask for.
class Simulator : public QObject
{
    Q_OBJECT
public:
    static constexpr int SplitGapMs = 30;
    static constexpr int FloodTickMs = 20;
    // Unsent bytes beyond these are dropped: a line carries no more than its speed allows.
    static constexpr int MaxQueuedBytes = 4096;
    static constexpr int MaxFloodBacklogBytes = 64;
    // Commands beyond this many awaiting their answer are lost, as in an overrun projector.
    static constexpr int MaxWaitingAnswers = 64;

    Simulator(Line *line, const Options &options, QObject *parent = nullptr);

    // Put before each line of the log, so that projectors sharing it can be told apart.
    void setLogName(const QString &name) { m_logName = name; }
    // Answers the commands the capture saw as it shows; the simulator answers the others.
    void setReplay(const Replay &replay);

signals:
    void lineDropped();

private:
    void receive(const QByteArray &bytes);
    void answer(const QByteArray &command);
    void play(const Replay::Answer &answer, bool awaited);
    void deliver(const QByteArray &bytes, const QString &note);
    // What actually goes out: at a speed other than the peer's, only noise.
    QByteArray onTheWire(const QByteArray &bytes);
    bool speedMismatch();
    void send(const QByteArray &bytes);
    void drain();
    void flood();
    void newPeer();
    void dropLine();
    void log(const QString &text) const;
    qint64 nowNs() const { return m_clock.nsecsElapsed(); }

    Line *m_line;
    Options m_options;
    QString m_logName;
    Projector m_projector;
    std::optional<Replay> m_replay;
    CommandReader m_reader;
    QElapsedTimer m_clock;
    QRandomGenerator m_random;
    int m_mismatchedPeerBaud = 0;
    int m_waitingAnswers = 0;
    int m_peer = 0; // answers are for the peer that asked

    // Pacing on a pseudo-terminal: byte k of a burst leaves at start + (k + 1) byte times.
    qint64 m_byteNs;
    QByteArray m_queue;
    qint64 m_burstStartNs = 0;
    qint64 m_burstSent = 0;
    qint64 m_lineFreeAtNs = 0;
    QTimer m_paceTimer;

    QTimer m_floodTimer;
    qint64 m_floodDue = 0;
};
