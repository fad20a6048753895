#pragma once

#include "link/portmap.h"

#include <QString>

#include <optional>

// The line settings a port is opened with; the program only uses 9600 or 19200 baud, 8N1.
struct LineSettings
{
    qint32 baud = 19200;
    int dataBits = 8;
    char parity = 'N';
    int stopBits = 1;

    // "9600,N,8,1", for the log.
    QString text() const;
};

// A port and a speed, from the dialog, the stored settings or orva's -p and -b to the wire. The
// port is a number (usable from 1 to 15) or a target named directly.
class PortChoice
{
public:
    // The stored speed codes; any other stored code means 19200 baud.
    static constexpr int Baud9600Code = 96;
    static constexpr int Baud19200Code = 192;
    static constexpr int LowestPortNumber = 1;
    static constexpr int HighestPortNumber = 15;
    static bool isUsablePort(int portNumber)
    {
        return portNumber >= LowestPortNumber && portNumber <= HighestPortNumber;
    }

    PortChoice() = default;
    explicit PortChoice(int portNumber, int speedCode = Baud19200Code);
    static PortChoice direct(const PortTarget &target, int baud);

    int portNumber() const { return m_portNumber; }
    void setPortNumber(int portNumber) { m_portNumber = portNumber; }
    const std::optional<PortTarget> &directTarget() const { return m_direct; }
    // A number from 1 to 15, or a direct target.
    bool isUsable() const;

    int speedCode() const { return m_baud == 9600 ? Baud9600Code : Baud19200Code; }
    void setSpeedCode(int code) { m_baud = code == Baud9600Code ? 9600 : 19200; }
    int baud() const { return m_baud; }
    // 9600 is 9600; anything else is 19200, as for a code.
    void setBaud(int baud) { m_baud = baud == 9600 ? 9600 : 19200; }
    LineSettings lineSettings() const;

    bool operator==(const PortChoice &other) const;
    bool operator!=(const PortChoice &other) const { return !(*this == other); }

private:
    int m_portNumber = 0;
    std::optional<PortTarget> m_direct;
    int m_baud = 19200;
};
