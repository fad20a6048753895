#pragma once

#include "exitstatus.h"
#include "session.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QString>
#include <QVector>

#include <functional>

// What one port gave.
struct PortRun
{
    QString port; // "COM3", or the target as given
    QString name; // from the fleet file
    QString target; // as resolved at the open
    int baud = 0;
    QDateTime time; // when its work began, UTC
    double seconds = 0; // how long it took, open included
    int exitCode = 0; // 0; 1 something unanswered or not there in time; 2 the port failed
    QString error; // why the port failed, or why nothing was sent
    QVector<Session::Answer> answers;
    Decoders::Values values; // of all answers together
    QString state; // the power state last seen while waiting

    QString label() const { return name.isEmpty() ? port : name; }
};

namespace Fleet {

// Opens every projector's port at once, each on a thread of its own with its own event loop (the
// session waits in nested event loops, which would take turns on one thread), at most `jobs` at
// a time, and runs `work` on each port that opened. Results in the order of the projectors.
using Work = std::function<void(Session &, PortRun &)>;
QVector<PortRun> run(const QVector<Projector> &projectors, int baud, int jobs, const Work &work);

// Sends each command in turn and keeps the answers; stops when the port is lost.
void sendAll(Session &session, PortRun &run, const QList<QByteArray> &commands, int waitMs);

// The power state as the status read gives it: a Decoders::powerStates() value, "no answer",
// or "unknown" for an answer that does not decode.
QString powerState(const Session::Answer &answer);
// Takes commands: answering, and neither warming nor cooling.
bool isReady(const QString &state);

// Reads the status every everyMs until `reached` says yes or the deadline passes (the read
// under way is finished), telling each state that differs from the one before. True when
// reached; *state holds the last state seen.
bool pollPower(Session &session, const QDeadlineTimer &deadline, int everyMs,
               const std::function<bool(const QString &)> &reached,
               const std::function<void(const QString &)> &changed, QString *state);

} // namespace Fleet
