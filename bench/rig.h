#pragma once

#include "app/form1.h"
#include "link/engine.h"
#include "link/qtserialport.h"
#include "link/timer.h"
#include "tests/support/configfolder.h"
#include "tools/pty/pty.h"

#include <QByteArray>

// The real panel started on its stored port: a pseudo-terminal linked as COM3, whose master end
// plays the projector.
struct LineRig
{
    explicit LineRig(const QByteArray &baudRate = "192")
    {
        pty.linkAs(PortNumber);
        config.writeSettingsFile("[StartUP]\nComPort=" + QByteArray::number(PortNumber)
                                 + "\nBaudRate=" + baudRate + "\n");
    }

    static constexpr int PortNumber = 3;

    ConfigFolder config;
    Pty pty;
    QtTimerFactory timers;
    QtSerialPort port;
    Engine engine {&port, timers};
    Form1 form {&engine};
};
