#include "wirelog.h"

#include "engine/protocol.h"

#include <QTime>

namespace WireLog {

QString spelled(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == Wire::Cr)
            text += QStringLiteral("[CR]");
        else if (c == Wire::Ack)
            text += QStringLiteral("[ACK]");
        else if (c == Wire::Lf)
            text += QStringLiteral("[LF]");
        else if (byte < 0x20 || byte >= 0x7F)
            text += QStringLiteral("[0x%1]").arg(QString::number(byte, 16).toUpper(), 2,
                                                 QLatin1Char('0'));
        else
            text += QLatin1Char(c);
    }
    return text;
}

QString line(const QString &text)
{
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz ")) + text;
}

} // namespace WireLog
