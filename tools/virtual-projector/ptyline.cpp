#include "ptyline.h"

#include "link/portmap.h"

#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <termios.h>
#include <unistd.h>

namespace {

struct SpeedRow
{
    speed_t code;
    int baud;
};
constexpr SpeedRow Speeds[] = {
    {B1200, 1200},   {B2400, 2400},   {B4800, 4800},   {B9600, 9600},
    {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200},
};

} // namespace

PtyLine::PtyLine(QObject *parent)
    : Line(parent)
{
    if (!m_pty.isValid())
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_pty.masterFd(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &PtyLine::readMaster);
}

PtyLine::~PtyLine()
{
    m_notifier.reset();
}

bool PtyLine::linkAs(int portNumber, QString *error)
{
    const QString path = PortMap::entryPath(portNumber);
    if (PortMap::hasEntry(portNumber)) {
        const QFileInfo existing(path);
        const QString target = existing.symLinkTarget();
        const bool leftBehind = existing.isSymLink() && !existing.exists()
            && target.startsWith(QStringLiteral("/dev/pts/"));
        if (!leftBehind) {
            *error
                = QStringLiteral("%1 exists already%2; remove it or choose another --port")
                      .arg(path,
                           target.isEmpty() ? QString() : QStringLiteral(" (-> %1)").arg(target));
            return false;
        }
    }
    if (!m_pty.linkAs(portNumber)) {
        *error = QStringLiteral("cannot create the link %1").arg(path);
        return false;
    }
    return true;
}

void PtyLine::write(const QByteArray &bytes)
{
    if (!m_pty.isValid())
        return;
    // Never wait: when nobody reads the other end and its buffer is full, the bytes are lost.
    const ssize_t written = ::write(m_pty.masterFd(), bytes.constData(), size_t(bytes.size()));
    if (written > 0)
        wrote(QByteArrayView(bytes).first(written));
}

int PtyLine::peerBaud() const
{
    termios attributes {};
    if (!m_pty.slaveAttributes(&attributes))
        return 0;
    const speed_t speed = cfgetospeed(&attributes);
    for (const SpeedRow &row : Speeds) {
        if (row.code == speed)
            return row.baud;
    }
    return 0;
}

void PtyLine::hangUp()
{
    m_notifier.reset();
    m_pty.removeLink();
    m_pty.hangUp();
    recordClosed();
}

void PtyLine::readMaster()
{
    char buffer[1024];
    const ssize_t n = ::read(m_pty.masterFd(), buffer, sizeof buffer);
    if (n > 0) {
        take(QByteArray(buffer, int(n)));
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        // Cannot happen while our own end of the terminal stays open; never spin on it.
        m_notifier->setEnabled(false);
        emit failed(QStringLiteral("the pseudo-terminal failed"));
    }
}
