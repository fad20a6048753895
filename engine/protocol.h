#pragma once

#include <QByteArray>
#include <QString>

// The line to the projector: 8N1, commands are ASCII text ended by CR.
namespace Wire {

constexpr char Ack = 0x06;
constexpr char Lf = 0x0A;
constexpr char Cr = 0x0D;
constexpr char Space = 0x20;

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

} // namespace Wire
