#pragma once

#include "link/portchoice.h"

class Engine;

namespace Startup {

// The stored port and speed; the speed is read only when the port is usable.
PortChoice storedChoice();
// Opens the stored choice. False when its port is not usable or did not open: the port settings
// dialog takes over then.
bool openStoredPort(Engine &engine, const PortChoice &stored);

} // namespace Startup
