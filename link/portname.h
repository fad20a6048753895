#pragma once

#include <QString>

namespace PortName {

// The folder where the user links COM1..COM15 to real devices (POSIX only).
QString portsFolder();
// What the operating system opens for port number n.
QString deviceFor(int portNumber);

} // namespace PortName
