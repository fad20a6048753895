#pragma once

#include "link/serialport.h"

#include <QSignalSpy>

// A port's open as a test waits for it: the end of startOpen, awaited on the event loop.
inline bool openPort(SerialPort &port, int timeoutMs = 10000)
{
    QSignalSpy finished(&port, &SerialPort::openFinished);
    port.startOpen();
    if (finished.isEmpty() && !finished.wait(timeoutMs))
        return false;
    return finished.first().first().toBool();
}
