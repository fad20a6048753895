#pragma once

class Engine;

namespace Startup {

// Reads the stored port and speed and opens the port. False when no usable port is stored or it
// did not open: the port settings dialog takes over then.
bool openStoredPort(Engine &engine);
// The transaction state a fresh start begins with.
void resetState(Engine &engine);

} // namespace Startup
