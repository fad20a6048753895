#include "fleet.h"

#include "engine/protocol.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>

namespace Fleet {

QVector<PortRun> run(const QVector<Projector> &projectors, int baud, int jobs, const Work &work)
{
    QVector<PortRun> runs(projectors.size());
    PortRun *const results = runs.data(); // no detaching from several threads
    QThreadPool pool;
    pool.setMaxThreadCount(std::max(1, std::min(jobs, int(projectors.size()))));
    for (int i = 0; i < projectors.size(); ++i) {
        // Each task writes its own element only; waitForDone() publishes them.
        pool.start([&, i] {
            PortRun &result = results[i];
            const Projector &projector = projectors.at(i);
            result.port = projector.port;
            result.name = projector.name;
            result.baud = baud;
            result.time = QDateTime::currentDateTimeUtc();
            QElapsedTimer clock;
            clock.start();
            {
                Session session;
                QString error;
                const bool opened = session.open(projector, baud, &error);
                result.target = session.target();
                if (!opened) {
                    result.exitCode = ExitStatus::PortFailed;
                    result.error = QStringLiteral("cannot open %1").arg(error);
                } else {
                    work(session, result);
                    if (!session.lost().isEmpty()) {
                        result.exitCode = ExitStatus::PortFailed;
                        result.error = session.lost();
                    }
                }
            }
            result.seconds = double(clock.nsecsElapsed()) / 1e9;
        });
    }
    pool.waitForDone();
    return runs;
}

void sendAll(Session &session, PortRun &run, const QList<QByteArray> &commands, int waitMs)
{
    for (const QByteArray &command : commands) {
        if (!session.lost().isEmpty())
            return;
        const Session::Answer answer = session.send(command, waitMs);
        if (!answer.answered)
            run.exitCode = std::max(run.exitCode, int(ExitStatus::NoAnswer));
        run.values.merge(answer.values);
        run.answers.append(answer);
    }
}

QString powerState(const Session::Answer &answer)
{
    if (!answer.answered)
        return QStringLiteral("no answer");
    return answer.values.power.isEmpty() ? QStringLiteral("unknown") : answer.values.power;
}

bool isReady(const QString &state)
{
    return state != QLatin1String("no answer") && state != QLatin1String("warming")
        && state != QLatin1String("cooling");
}

bool pollPower(Session &session, const QDeadlineTimer &deadline, int everyMs,
               const std::function<bool(const QString &)> &reached,
               const std::function<void(const QString &)> &changed, QString *state)
{
    for (;;) {
        QElapsedTimer sinceRead;
        sinceRead.start();
        const QString now = powerState(session.send(Wire::ReadStatus, Session::DefaultWaitMs));
        if (!session.lost().isEmpty())
            return false;
        if (now != *state) {
            *state = now;
            changed(now);
        }
        if (reached(now))
            return true;
        if (deadline.hasExpired())
            return false;
        // The next read every everyMs from the start of the last, never after the deadline.
        const qint64 pause = std::min<qint64>(std::max<qint64>(0, everyMs - sinceRead.elapsed()),
                                              deadline.remainingTime());
        QEventLoop loop;
        QTimer::singleShot(int(pause), &loop, &QEventLoop::quit);
        loop.exec();
    }
}

} // namespace Fleet
