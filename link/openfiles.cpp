#include "openfiles.h"

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

qint64 allowOpenFiles(qint64 needed)
{
#ifdef Q_OS_UNIX
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return needed; // nothing to go by: the listens will tell
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < rlim_t(needed)) {
        // An unlimited hard limit still ends at the kernel's ceiling, which setrlimit refuses to
        // pass: ask for what is needed then.
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? rlim_t(needed) : limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= rlim_t(needed)
        ? needed
        : qint64(limit.rlim_cur);
#else
    // Windows counts no sockets against a per-process file limit.
    return needed;
#endif
}
