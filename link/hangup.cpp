#include "hangup.h"

#ifdef _WIN32

bool HangUp::detected(Handle)
{
    return false; // an unplug arrives as an error of the port there
}

#else

#include <poll.h>

bool HangUp::detected(Handle handle)
{
    if (handle < 0)
        return false;
    pollfd watched {};
    watched.fd = handle;
    watched.events = 0;
    if (::poll(&watched, 1, 0) <= 0)
        return false;
    return (watched.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

#endif
