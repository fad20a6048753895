#include "program.h"

#include "app/form1.h"
#include "app/portdialog.h"
#include "engine/engine.h"
#include "engine/timer.h"
#include "link/capture.h"
#include "link/linkport.h"
#include "link/portfactory.h"

Program::Program(std::unique_ptr<PortFactory> ports)
    : m_ownTimers(std::make_unique<QtTimerFactory>())
    , m_ports(ports ? std::move(ports) : std::make_unique<SystemPortFactory>())
    , m_ownPort(std::make_unique<LinkPort>(*m_ports))
    , m_port(m_ownPort.get())
    , m_engine(std::make_unique<Engine>(m_port, *m_ownTimers))
    , m_form(std::make_unique<Form1>(m_engine.get()))
{ }

Program::Program(SerialPort &port, TimerFactory &timers)
    : m_port(&port)
    , m_engine(std::make_unique<Engine>(m_port, timers))
    , m_form(std::make_unique<Form1>(m_engine.get()))
{ }

// The window goes first: its close handler still uses the engine and the port.
Program::~Program()
{
    m_form.reset();
    m_engine.reset();
}

void Program::record(std::unique_ptr<Capture::Writer> capture)
{
    if (auto *own = static_cast<LinkPort *>(m_ownPort.get()))
        own->record(std::move(capture), QStringLiteral("orva-control"),
                    QStringLiteral(ORVA_VERSION));
}

void Program::start()
{
    if (!m_form->Form_Load())
        PortDialog::runAtStartup(m_form.get());
    m_form->show();
}
