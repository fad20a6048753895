#include "portfactory.h"

#include "link/deviceport.h"
#include "link/networkport.h"

std::unique_ptr<SerialPort> SystemPortFactory::create(const PortTarget &target)
{
    switch (target.kind) {
    case PortTarget::Kind::Device:
        return std::make_unique<DevicePort>(target.device);
    case PortTarget::Kind::Tcp:
        return std::make_unique<NetworkPort>(target.host, target.port, NetworkPort::Mode::RawTcp);
    case PortTarget::Kind::Rfc2217:
        return std::make_unique<NetworkPort>(target.host, target.port, NetworkPort::Mode::Rfc2217);
    case PortTarget::Kind::Unusable:
        break;
    }
    return nullptr;
}
