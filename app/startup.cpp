#include "startup.h"

#include "link/engine.h"
#include "link/protocol.h"
#include "settings/store.h"

namespace Startup {

bool openStoredPort(Engine &engine)
{
    const Store::StoredPort stored = Store::storedPort();
    engine.ComPortNumber = stored.comPortNumber;
    if (!Wire::isUsablePort(engine.ComPortNumber))
        return false;
    engine.BaudCode = stored.baudCode;
    if (!engine.openPort(engine.ComPortNumber, engine.BaudCode))
        return false;
    engine.setIntervals(Intervals::ReplyWindowMs, Intervals::DisplayClearMs);
    return true;
}

void resetState(Engine &engine)
{
    engine.RepeatIndex = 0;
    engine.AwaitingReply = 0;
    engine.RxBuffer.clear();
    engine.HoldActive = 0;
}

} // namespace Startup
