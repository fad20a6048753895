#pragma once

#include "exitstatus.h"
#include "session.h"

#include <QVector>

namespace Fleet {

// Works every projector with the same plan, each in a session of its own, all on this thread's
// event loop: at most `jobs` sessions at once (0: all), a new one starting as one ends.
// Results in the order of the projectors.
QVector<PortRun> run(const QVector<Projector> &projectors, int baud, int jobs,
                     const Session::Plan &plan);

// How many sessions can be open at once here: the open-file limit, raised to its hard limit
// first where the system has one, less what the program itself holds. A recorded session holds
// its capture file too.
int mostAtOnce(int wanted, bool recorded = false);

} // namespace Fleet
