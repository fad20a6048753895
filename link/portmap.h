#pragma once

#include <QString>

// What a port number stands for: a serial device, or a serial device server on the network.
struct PortTarget
{
    enum class Kind { Device, Tcp, Rfc2217, Unusable };

    Kind kind = Kind::Unusable;
    QString device; // Device: what the operating system opens
    QString host; // Tcp, Rfc2217: a name or an address, without brackets
    quint16 port = 0;
    QString entry; // the ports-folder entry it came from; empty for the fallback device
    QString problem; // Unusable: why

    bool isNetwork() const { return kind == Kind::Tcp || kind == Kind::Rfc2217; }
    // As written in an entry: "/dev/ttyUSB0", "tcp://host:4001", "rfc2217://[::1]:4001".
    QString text() const;
};

namespace PortMap {

// Where COM1..COM15 are mapped: <config folder>/ports.
QString portsFolder();
QString entryPath(int portNumber);
// Something is at the entry's path, usable or not (a dangling link counts).
bool hasEntry(int portNumber);

// Reads the entry for the number at every call. No entry: the usual device for the number
// (/dev/ttyS{n-1}, COMn on Windows). An entry that cannot be used is Unusable, never another
// device.
PortTarget resolve(int portNumber);

// A target as written on the first line of an entry, blanks around it ignored.
PortTarget parse(const QString &text);

// What map() or unmap() did, worded for the user.
struct Change
{
    enum class Outcome {
        Done,
        BadTarget, // the text names no usable target; nothing was touched
        Refused, // mapped already and not to be replaced, or not mapped at all
        Failed, // the file system said no
    };

    Outcome outcome = Outcome::Failed;
    QString message; // Done: "COM2 -> /dev/ttyUSB0", "COM2 unmapped"; otherwise why not
    QString warning; // Done: a device that is not there now

    bool done() const { return outcome == Outcome::Done; }
};

// Writes the entry: on POSIX a device becomes a link to the path as given, so that a
// /dev/serial/by-id/ name keeps following its adapter; anything else (and everything on Windows)
// a one-line file with the target's text.
Change map(int portNumber, const QString &targetText, bool replace);
Change unmap(int portNumber);

} // namespace PortMap
