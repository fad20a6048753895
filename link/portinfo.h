#pragma once

#include "link/portmap.h"

#include <QSerialPort>
#include <QString>
#include <QVector>

// What a technician wants to know about a port number before opening it.
namespace PortInfo {

enum class State {
    Free, // a device that is there and that nobody holds
    Present, // a device that is there, not opened to see whether it is held (Windows)
    Held, // a device that another program has open
    PermissionDenied, // a device this user may not open (on Debian: not in dialout)
    Absent, // no such device
    Network, // a network address; not probed, a connect would take the server's one client
    Unusable, // an entry that cannot be used
};

struct Report
{
    int number = 0;
    PortTarget target;
    State state = State::Absent;
    QString detail; // the device's maker and serial number, or why it is unusable or held
};

// One line for a tooltip: "/dev/ttyUSB0 (FTDI FT232R, serial A50285BI)",
// "rfc2217://10.0.4.21:4001", "/dev/ttyS4 (not present)". Opens nothing.
QString describe(int portNumber);

// Also tries to open a device that is there, and closes it at once, to learn whether another
// program holds it; not on Windows, where an open can take many seconds.
Report probe(int portNumber);
QString stateText(State state);

// Whether a refused open of the device at `path` means that another program holds it (its lock
// file, or its exclusive open): Qt reports that as a PermissionError, as it does for a device
// this user may not open.
bool heldElsewhere(QSerialPort::SerialPortError error, const QString &path);
// "held by another program": the same words in the port list, a refused open and the log.
QString heldText();

// The serial devices this machine has.
struct Device
{
    QString path; // /dev/ttyUSB0, COM7
    QString byId; // its /dev/serial/by-id/ name, where there is one
    QString description;
    QString manufacturer;
    QString serialNumber;
};
QVector<Device> devices();
// What tells one adapter from another: "FTDI FT232R USB UART, serial A50285BI"; may be empty.
QString maker(const Device &device);

} // namespace PortInfo
