#include "commandreader.h"

#include "engine/protocol.h"

QByteArrayList CommandReader::feed(const QByteArray &bytes)
{
    QByteArrayList commands;
    for (const char c : bytes) {
        if (c == Wire::Cr) {
            if (!m_line.isEmpty())
                commands.append(m_line);
            m_line.clear();
        } else if (c != Wire::Lf && m_line.size() < MaxCommandBytes) {
            m_line.append(c);
        }
    }
    return commands;
}
