#include "portchoice.h"

QString LineSettings::text() const
{
    return QStringLiteral("%1,%2,%3,%4")
        .arg(baud)
        .arg(QLatin1Char(parity))
        .arg(dataBits)
        .arg(stopBits);
}

PortChoice::PortChoice(int portNumber, int speedCode)
    : m_portNumber(portNumber)
{
    setSpeedCode(speedCode);
}

PortChoice PortChoice::direct(const PortTarget &target, int baud)
{
    PortChoice choice;
    choice.m_direct = target;
    choice.setBaud(baud);
    return choice;
}

bool PortChoice::isUsable() const
{
    return m_direct || isUsablePort(m_portNumber);
}

LineSettings PortChoice::lineSettings() const
{
    LineSettings line;
    line.baud = m_baud;
    return line;
}

bool PortChoice::operator==(const PortChoice &other) const
{
    const auto targetText = [](const PortChoice &c) {
        return c.m_direct ? c.m_direct->text() : QString();
    };
    return m_portNumber == other.m_portNumber && m_baud == other.m_baud
        && m_direct.has_value() == other.m_direct.has_value()
        && targetText(*this) == targetText(other);
}
