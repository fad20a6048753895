#pragma once

#include <QByteArray>
#include <QString>

struct termios;

// A pseudo-terminal standing in for a projector's serial line (POSIX). The master end is ours;
// the slave end is what the panel opens, usually through a COMn link in the ports folder.
class Pty
{
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool isValid() const { return m_master >= 0; }
    int masterFd() const { return m_master; }
    QString slavePath() const { return m_slavePath; }

    // Links the slave as COMn in the ports folder, in place of whatever is there; removes an
    // earlier link of ours. Whoever must keep a user's entry checks first (the virtual projector).
    bool linkAs(int portNumber);
    void removeLink();
    QString linkPath() const { return m_linkPath; }

    // Writes everything; false when the line is gone.
    bool write(const QByteArray &bytes);
    // Writes what the line takes now, without waiting; -1 when the line is gone.
    qsizetype tryWrite(const QByteArray &bytes);
    // Whatever arrives within the time (returns as soon as `wanted` bytes are there).
    QByteArray read(int wanted, int timeoutMs);
    // Characters written and not yet taken by the panel.
    int pendingForSlave() const;
    // Drops the line, as a pulled cable would.
    void hangUp();
    // The line settings the panel left on the slave.
    bool slaveAttributes(termios *attributes) const;

private:
    int m_master = -1;
    int m_slaveKeeper = -1; // keeps the line up while the panel has the port closed
    QString m_slavePath;
    QString m_linkPath;
};
