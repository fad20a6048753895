#include "serialport.h"

#include <QStringList>

LineSettings LineSettings::parse(const QString &settings)
{
    LineSettings line;
    const QStringList fields = settings.split(QLatin1Char(','));
    bool ok = false;
    if (const int baud = fields.value(0).trimmed().toInt(&ok); ok && baud > 0)
        line.baud = baud;
    if (const QString parity = fields.value(1).trimmed().toUpper(); parity.size() == 1)
        line.parity = parity.at(0).toLatin1();
    if (const int bits = fields.value(2).trimmed().toInt(&ok); ok && bits >= 5 && bits <= 8)
        line.dataBits = bits;
    if (const int stop = fields.value(3).trimmed().toInt(&ok); ok && (stop == 1 || stop == 2))
        line.stopBits = stop;
    return line;
}
