#pragma once

#include "app/form1.h"
#include "configfolder.h"
#include "link/engine.h"
#include "link/qtserialport.h"
#include "link/timer.h"
#include "tools/pty/pty.h"

#include <sys/resource.h>

// The real program's parts, started on a stored port that a pseudo-terminal stands in for.
struct PtyLine
{
    explicit PtyLine(int portNumber, const QByteArray &baudRate = "96")
    {
        pty.linkAs(portNumber);
        config.writeSettingsFile("[StartUP]\nComPort=" + QByteArray::number(portNumber)
                                 + "\nBaudRate=" + baudRate + "\n");
    }
    ConfigFolder config;
    Pty pty;
    QtTimerFactory timers;
    QtSerialPort port;
    Engine engine {&port, timers};
    Form1 form {&engine};
};

// Processor time this process has used, to show that nothing spins.
inline double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
