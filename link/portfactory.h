#pragma once

#include "link/portmap.h"

#include <memory>

class SerialPort;

// Makes the port a target stands for. Asked at every open, so a changed map entry counts.
class PortFactory
{
public:
    virtual ~PortFactory() = default;
    // A port for a Device, Tcp or Rfc2217 target; null when this factory has none for its kind.
    virtual std::unique_ptr<SerialPort> create(const PortTarget &target) = 0;
};

// Serial devices through QSerialPort, serial device servers through QTcpSocket.
class SystemPortFactory : public PortFactory
{
public:
    std::unique_ptr<SerialPort> create(const PortTarget &target) override;
};
