#pragma once

#include "link/capture.h"
#include "support/ptyline.h"
#include "support/ser2netline.h"

#include <QTemporaryDir>

// What a measurement drives: the panel shown on its port, and the master end of the
// pseudo-terminal that plays the projector, however the port reaches it.
struct Rig
{
    Form1 &form;
    SerialPort &port;
    Pty &pty;
};

// The real panel started on its stored port: a pseudo-terminal linked as COM3, whose master end
// plays the projector.
struct LineRig : PtyLine
{
    static constexpr int PortNumber = 3;

    explicit LineRig(const QByteArray &baudRate = "192")
        : PtyLine(PortNumber, baudRate)
    { }
    Rig parts() { return {form, port, pty}; }

    // As orva-control --record: the panel's port records into a file of its own from the open
    // on. False when the file cannot be written.
    bool record()
    {
        auto capture = std::make_unique<Capture::Writer>();
        if (!captures.isValid() || !capture->openFile(captures.filePath("bench.capture")))
            return false;
        program.record(std::move(capture));
        return true;
    }
    QTemporaryDir captures;
};

// The same over the network: COM4 names ser2net's RFC 2217 accepter on loopback, and ser2net
// holds the pseudo-terminal's slave end.
struct NetworkRig : Ser2netLine
{
    explicit NetworkRig(Ser2net::Batching batching, const QByteArray &baudRate = "192")
        : Ser2netLine(baudRate, batching)
    { }
    Rig parts() { return {form, port, pty}; }
};
