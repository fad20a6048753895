#pragma once

#include <QByteArray>

// "ff 06 0d" as bytes.
inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// Every byte value, 0 to 255, in order.
inline QByteArray allBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}
