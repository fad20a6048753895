#include "pty.h"

#include "link/portmap.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

Pty::Pty()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0)
        return;
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        ::close(m_master);
        m_master = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
    m_slaveKeeper = ::open(m_slavePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slaveKeeper >= 0) {
        // A serial line echoes nothing and changes no byte.
        termios raw {};
        if (::tcgetattr(m_slaveKeeper, &raw) == 0) {
            ::cfmakeraw(&raw);
            ::tcsetattr(m_slaveKeeper, TCSANOW, &raw);
        }
    }
}

Pty::~Pty()
{
    removeLink();
    hangUp();
}

bool Pty::linkAs(int portNumber)
{
    removeLink();
    if (!PortMap::map(portNumber, m_slavePath, true).done())
        return false;
    m_linkPath = PortMap::entryPath(portNumber);
    return true;
}

void Pty::removeLink()
{
    if (!m_linkPath.isEmpty())
        QFile::remove(m_linkPath);
    m_linkPath.clear();
}

bool Pty::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        if (m_master < 0)
            return false;
        const ssize_t n = ::write(m_master, bytes.constData() + done, bytes.size() - done);
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd out {m_master, POLLOUT, 0};
            ::poll(&out, 1, 100);
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

qsizetype Pty::tryWrite(const QByteArray &bytes)
{
    if (m_master < 0)
        return -1;
    const ssize_t n = ::write(m_master, bytes.constData(), bytes.size());
    if (n >= 0)
        return n;
    return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
}

QByteArray Pty::read(int wanted, int timeoutMs)
{
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    while (m_master >= 0 && received.size() < wanted) {
        const int left = timeoutMs - int(clock.elapsed());
        if (left <= 0)
            break;
        pollfd in {m_master, POLLIN, 0};
        if (::poll(&in, 1, left) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0)
            received.append(buffer, n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
    }
    return received;
}

int Pty::pendingForSlave() const
{
    int pending = 0;
    if (m_slaveKeeper < 0 || ::ioctl(m_slaveKeeper, FIONREAD, &pending) != 0)
        return -1;
    return pending;
}

void Pty::hangUp()
{
    if (m_slaveKeeper >= 0)
        ::close(m_slaveKeeper);
    m_slaveKeeper = -1;
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

bool Pty::slaveAttributes(termios *attributes) const
{
    // Line settings belong to the terminal, so any open end of the slave tells them.
    return m_slaveKeeper >= 0 && ::tcgetattr(m_slaveKeeper, attributes) == 0;
}
