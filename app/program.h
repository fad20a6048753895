#pragma once

#include "link/portfactory.h"

#include <memory>

class Engine;
class Form1;
namespace Capture {
class Writer;
}
class SerialPort;
class TimerFactory;

// The panel's parts, put together in one place: the timers, the port (opened through the port
// map), the engine and the main window. The program, the screenshot tool, the bench and the
// line tests all start from here.
class Program
{
public:
    // Real timers, and ports made by `ports` (the system's serial devices and network servers
    // when none is given).
    explicit Program(std::unique_ptr<PortFactory> ports = nullptr);
    // A port and a clock of the caller's own, which outlive the program.
    Program(SerialPort &port, TimerFactory &timers);
    ~Program();

    SerialPort &port() { return *m_port; }
    Engine &engine() { return *m_engine; }
    Form1 &form() { return *m_form; }

    // Records the line in the capture file, open already, from the first open on (--record).
    // Only the program's own port records: a caller's port is its own business.
    void record(std::unique_ptr<Capture::Writer> capture);

    // Start-up: the stored port, or the port dialog, modally, when there is none or it does not
    // open; then the window is shown.
    void start();

private:
    std::unique_ptr<TimerFactory> m_ownTimers;
    std::unique_ptr<PortFactory> m_ports;
    std::unique_ptr<SerialPort> m_ownPort;
    SerialPort *m_port;
    std::unique_ptr<Engine> m_engine;
    std::unique_ptr<Form1> m_form;
};
