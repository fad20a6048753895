#pragma once

#include "app/form1.h"
#include "app/program.h"
#include "configfolder.h"
#include "cpuclock.h"
#include "engine/engine.h"
#include "link/serialport.h"
#include "tools/pty/pty.h"

#include <QCoreApplication>
#include <QElapsedTimer>

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
    Program program;
    SerialPort &port = program.port();
    Engine &engine = program.engine();
    Form1 &form = program.form();
};

// What arrives on the line within the time, while the program's events keep being served (a hold
// sends from its timer).
inline QByteArray readRunning(Pty &pty, int wanted, int timeoutMs)
{
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    while (received.size() < wanted && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        received += pty.read(wanted - received.size(), 5);
    }
    return received;
}
