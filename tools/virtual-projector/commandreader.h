#pragma once

#include <QByteArray>
#include <QByteArrayList>

// Cuts what arrives on the line into commands: each ends with CR; an LF is ignored wherever it
// comes (terminals send CR LF), and empty lines are dropped. A line longer than any command is
// cut short, so an endless stream without CR holds a bounded amount.
class CommandReader
{
public:
    static constexpr int MaxCommandBytes = 256;

    QByteArrayList feed(const QByteArray &bytes);
    int pendingBytes() const { return int(m_line.size()); }

private:
    QByteArray m_line;
};
