#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

// A recorded projector: what it answered to each command of a capture, read once at start and
// then consulted command by command. No I/O after load(), no clock: the answers carry their
// delays, so tests check the schedule as data. The rules are in docs/capture.md, "Replay".
class Replay
{
public:
    // An answer piece is over when its CR came or this long after the command, whichever first.
    static constexpr qint64 ReplyWindowUs = 1000000;
    // Answers whose pieces differ by no more than this in their offsets are the same answer.
    static constexpr qint64 DelayToleranceUs = 20000;
    // A command keeps at most this many distinct answers; a newer one takes the last place, so
    // the last answer repeated is still the capture's last.
    static constexpr int MaxAnswersPerCommand = 256;
    // Bytes the projector sent on its own, kept over the whole capture; later ones are dropped.
    static constexpr qsizetype MaxUnsolicitedBytes = 64 * 1024;

    struct Piece
    {
        qint64 offsetUs = 0; // from the command (or the start, for those before any command)
        QByteArray bytes;
        bool unsolicited = false; // after the answer, talking on its own
    };
    using Answer = QList<Piece>;

    // Streams through the file once. False with *error "FILE:LINE: what is wrong".
    bool load(const QString &path, QString *error);

    // The next recorded answer to the command (its text without CR), in the capture's order and
    // then the last again; nullopt when the capture never saw it. An empty answer is a command
    // the projector let pass.
    std::optional<Answer> next(const QByteArray &command);
    // What the projector said before any command, from the start of the line.
    Answer opening() const;

    // For the memory bound: what the table holds.
    qsizetype distinctCommands() const;
    qsizetype storedAnswers() const;
    qsizetype storedBytes() const;

private:
    struct Table
    {
        QHash<QByteArray, QList<Answer>> answers;
        Answer opening;
    };
    std::shared_ptr<const Table> m_table; // shared by copies: a fleet replays one capture
    QHash<QByteArray, int> m_given; // answers given so far, per command
};
