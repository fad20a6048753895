#pragma once

#include "link/portchoice.h"

#include <QString>

// The two values kept for the next start: application ORVA, section "StartUP".
namespace Store {

inline const QString ComPortKey = QStringLiteral("ComPort");
inline const QString BaudRateKey = QStringLiteral("BaudRate");
inline const QString ComPortDefault = QStringLiteral("DATAC");
inline const QString BaudRateDefault = QStringLiteral("DATAb");

QString getSetting(const QString &key, const QString &defaultText);
// False when the value could not be written (folder read-only, disk full).
bool saveSetting(const QString &key, const QString &text);
// Where the values are kept: the settings file, or the registry key on Windows.
QString location();

// The leading number of a text (blanks, sign, digits, fraction, exponent); 0 when there is none.
double leadingNumber(const QString &text);
// A stored port number; 0 (none) when it is negative or does not fit 16 bits.
qint16 comPortFromText(const QString &text);
// A stored baud code; 192 when it does not fit a byte.
quint8 baudCodeFromText(const QString &text);

// The stored port number (0 when it is negative or does not fit 16 bits) and speed.
PortChoice storedChoice();
// Writes the port number and the speed code; false when either could not be written.
bool saveChoice(const PortChoice &choice);

} // namespace Store
