#pragma once

#include <QByteArray>
#include <QString>

// The line to the projector: 8N1, commands are ASCII text ended by CR.
namespace Wire {

constexpr char Ack = 0x06;
constexpr char Lf = 0x0A;
constexpr char Cr = 0x0D;
constexpr char Space = 0x20;

constexpr quint8 Baud9600Code = 96;
constexpr quint8 Baud19200Code = 192;

inline const char *settingsFor(quint8 baudCode)
{
    // Only 96 selects 9600 baud; every other code falls back to 19200.
    return baudCode == Baud9600Code ? "9600,N,8,1" : "19200,N,8,1";
}

inline quint8 normalisedBaudCode(quint8 baudCode)
{
    return baudCode == Baud9600Code ? Baud9600Code : Baud19200Code;
}

inline QByteArray frame(const QByteArray &commandText)
{
    return commandText + Cr;
}

// Status reads whose replies are decoded.
inline const QByteArray ReadStatus = "CR0";
inline const QByteArray ReadInputMode = "CR1";
inline const QByteArray ReadLampTime = "CR3";
inline const QByteArray ReadSetting = "CR4";
inline const QByteArray ReadTemperature = "CR6";
inline const QByteArray ReadLampStatus = "CR LAMPSTS";
inline const QByteArray ReadLampMode = "CR LAMPMODE";

constexpr int LowestPortNumber = 1;
constexpr int HighestPortNumber = 15;

inline bool isUsablePort(int portNumber)
{
    return portNumber >= LowestPortNumber && portNumber <= HighestPortNumber;
}

} // namespace Wire
