#include "startup.h"

#include "engine/engine.h"
#include "settings/store.h"

namespace Startup {

PortChoice storedChoice()
{
    const PortChoice stored = Store::storedChoice();
    return stored.isUsable() ? stored : PortChoice(stored.portNumber());
}

bool openStoredPort(Engine &engine, const PortChoice &stored)
{
    if (!stored.isUsable() || !engine.open(stored))
        return false;
    engine.setIntervals(Intervals::ReplyWindowMs, Intervals::DisplayClearMs);
    return true;
}

} // namespace Startup
