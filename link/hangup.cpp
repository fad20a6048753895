#include "hangup.h"

#ifdef Q_OS_WIN

bool HangUp::detected(qintptr)
{
    return false; // an unplug arrives as an error of the port there
}

#else

#include <poll.h>

bool HangUp::detected(qintptr handle)
{
    if (handle < 0)
        return false;
    pollfd watched {};
    watched.fd = static_cast<int>(handle);
    watched.events = 0;
    if (::poll(&watched, 1, 0) <= 0)
        return false;
    return (watched.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

#endif
