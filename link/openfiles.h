#pragma once

#include <QtGlobal>

// The open-file limit, for programs that hold many ports or clients at once (a fleet).
// Makes room for `needed` open files where the system counts them per process (POSIX): the soft
// limit goes up as far as the hard one allows. Returns how many may be open now.
qint64 allowOpenFiles(qint64 needed);
