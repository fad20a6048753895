#include "serialport.h"

QString SerialPort::failureText(Failure failure)
{
    switch (failure) {
    case Failure::None:
        return {};
    case Failure::Unusable:
        return QStringLiteral("unusable");
    case Failure::Absent:
        return QStringLiteral("absent");
    case Failure::Permission:
        return QStringLiteral("permission");
    case Failure::Busy:
        return QStringLiteral("busy");
    case Failure::Refused:
        return QStringLiteral("refused");
    case Failure::Unreachable:
        return QStringLiteral("unreachable");
    case Failure::Lost:
        return QStringLiteral("lost");
    }
    return {};
}
