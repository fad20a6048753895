#pragma once

#include "fakeserialport.h"
#include "engine/engine.h"
#include "engine/protocol.h"
#include "manualclock.h"

// An engine on a fake port and a manual clock, with the port open at 1000/1200 ms.
struct EngineFixture
{
    EngineFixture()
        : engine(&port, clock)
    {
        engine.open(PortChoice(1, PortChoice::Baud9600Code));
        engine.setIntervals(Intervals::ReplyWindowMs, Intervals::DisplayClearMs);
    }

    // What a click button does.
    void click(const QByteArray &command) { engine.send(command); }
    void receive(const QByteArray &bytes) { port.feed(bytes); }

    const QString &txd() const { return engine.display().txd; }
    const QString &rxd() const { return engine.display().rxd; }
    const QString &status() const { return engine.display().status; }

    FakeSerialPort port;
    ManualClock clock;
    Engine engine;
};
