#pragma once

#include "app/form1.h"
#include "app/program.h"
#include "configfolder.h"
#include "engine/engine.h"
#include "link/portmap.h"
#include "link/serialport.h"
#include "ser2net.h"
#include "tools/pty/pty.h"

// The real program's parts on COM4, mapped to ser2net's RFC 2217 accepter in front of a
// pseudo-terminal whose master end plays the projector.
struct Ser2netLine
{
    static constexpr int PortNumber = 4;

    explicit Ser2netLine(const QByteArray &baudRate = "192",
                         Ser2net::Batching batching = Ser2net::Batching::Default)
        : batching(batching)
    {
        ConfigFolder::mapEntry(
            PortNumber, "rfc2217://127.0.0.1:" + QByteArray::number(server.telnetPort) + '\n');
        config.writeSettingsFile("[StartUP]\nComPort=" + QByteArray::number(PortNumber)
                                 + "\nBaudRate=" + baudRate + "\n");
    }
    ConfigFolder config;
    Pty pty;
    Ser2net::Batching batching;
    Ser2net server {pty.slavePath(), "38400n81", batching};
    bool started = server.start();
    Program program;
    SerialPort &port = program.port();
    Engine &engine = program.engine();
    Form1 &form = program.form();
};
