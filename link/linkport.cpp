#include "linkport.h"

#include "link/log.h"
#include "link/portfactory.h"
#include "link/portmap.h"

LinkPort::LinkPort(PortFactory &factory, QObject *parent)
    : SerialPort(parent)
    , m_factory(factory)
{ }

LinkPort::~LinkPort() = default;

QString LinkPort::where(const QString &target) const
{
    return choice().directTarget()
        ? target
        : QStringLiteral("COM%1 (%2)").arg(choice().portNumber()).arg(target);
}

bool LinkPort::refuse(const QString &target, const QString &reason)
{
    m_lastError = where(target) + QStringLiteral(": ") + reason;
    qCInfo(lcLink, "open failed: %s", qUtf8Printable(m_lastError));
    return false;
}

bool LinkPort::open()
{
    if (isOpen())
        return false;
    const std::optional<PortTarget> &direct = choice().directTarget();
    const PortTarget target = direct ? *direct : PortMap::resolve(choice().portNumber());
    if (target.kind == PortTarget::Kind::Unusable)
        return refuse(direct ? direct->text() : target.entry, target.problem);
    if (!m_port || target.text() != m_target) {
        if (m_port) {
            m_port->disconnect(this);
            m_port->close();
            m_port.release()->deleteLater(); // possibly inside one of its own signals
        }
        m_port = m_factory.create(target);
        m_target = target.text();
        if (!m_port)
            return refuse(m_target, QStringLiteral("no such kind of port here"));
        m_port->setParent(this);
        connect(m_port.get(), &SerialPort::onComm, this, &SerialPort::onComm);
        connect(m_port.get(), &SerialPort::lost, this, [this] {
            m_lastError = where(m_target) + QStringLiteral(" lost: ") + m_port->lastError();
            qCInfo(lcLink, "%s", qUtf8Printable(m_lastError));
            emit lost();
        });
    }
    m_port->setChoice(choice());
    const bool waits = target.isNetwork();
    if (waits)
        emit opening(true);
    const bool opened = m_port->open();
    if (waits)
        emit opening(false);
    if (!opened)
        return refuse(m_target, m_port->lastError());
    m_lastError.clear();
    qCInfo(lcLink, "%s open at %s", qUtf8Printable(where(m_target)),
           qUtf8Printable(lineSettings().text()));
    return true;
}

void LinkPort::close()
{
    if (m_port)
        m_port->close();
}

bool LinkPort::isOpen() const
{
    return m_port && m_port->isOpen();
}

void LinkPort::output(const QByteArray &text)
{
    if (isOpen())
        m_port->output(text);
}

QByteArray LinkPort::input()
{
    return m_port ? m_port->input() : QByteArray();
}
