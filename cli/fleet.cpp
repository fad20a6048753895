#include "fleet.h"

#include "link/openfiles.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>

namespace {

// A session holds its port's descriptor, and a network one briefly a second while it
// reconnects; the program itself, its output and Qt's own need a few more.
constexpr int FilesPerSession = 2;
constexpr int FilesOfTheProgram = 64;

} // namespace

namespace Fleet {

int mostAtOnce(int wanted, bool recorded)
{
    const qint64 each = FilesPerSession + (recorded ? 1 : 0);
    const qint64 allowed = allowOpenFiles(qint64(wanted) * each + FilesOfTheProgram);
    return int(std::clamp<qint64>((allowed - FilesOfTheProgram) / each, 1, wanted));
}

QVector<PortRun> run(const QVector<Projector> &projectors, int baud, int jobs,
                     const Session::Plan &plan)
{
    QVector<PortRun> runs(projectors.size());
    if (projectors.isEmpty())
        return runs;
    const int atOnce = jobs > 0 ? std::min<int>(jobs, projectors.size()) : projectors.size();
    // The program's one event loop: commands run nothing else while the fleet works, and every
    // session waits on it by signals and states, never in a loop of its own.
    QEventLoop loop;
    int next = 0;
    int running = 0;
    std::function<void()> startMore = [&] {
        while (running < atOnce && next < projectors.size()) {
            const int index = next++;
            auto *session = new Session(projectors.at(index), baud, plan);
            ++running;
            QObject::connect(session, &Session::finished, &loop, [&, session, index] {
                runs[index] = session->result();
                session->deleteLater();
                --running;
                startMore();
                if (running == 0)
                    loop.quit();
            });
            session->start();
        }
    };
    startMore();
    loop.exec();
    // The last sessions' deleteLater() would otherwise wait for a loop that never comes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return runs;
}

} // namespace Fleet
