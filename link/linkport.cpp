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

void LinkPort::record(std::unique_ptr<Capture::Writer> capture, const QString &program,
                      const QString &version)
{
    m_capture = std::move(capture);
    m_recording = Capture::Header();
    m_recording.program = program;
    m_recording.version = version;
    m_recordError.clear();
}

void LinkPort::beginCapture(const QString &target)
{
    if (!m_capture)
        return;
    Capture::Header header = m_recording;
    header.port = !m_recordedName.isEmpty() ? m_recordedName
        : choice().directTarget()           ? choice().directTarget()->text()
                                            : QStringLiteral("COM%1").arg(choice().portNumber());
    header.target = target;
    header.speed = lineSettings().baud;
    header.start = m_capture->header().start;
    if (m_capture->header() != header || !m_capture->header().start.isValid())
        recorded(m_capture->begin(header));
}

void LinkPort::recorded(bool written)
{
    if (written || !m_capture)
        return;
    m_recordError = m_capture->error();
    qCWarning(lcLink, "recording stopped: %s", qUtf8Printable(m_recordError));
    m_capture.reset();
}

void LinkPort::refuse(const QString &target, const QString &reason, Failure failure)
{
    m_lastError = where(target) + QStringLiteral(": ") + reason;
    m_failure = failure;
    if (m_capture) {
        beginCapture(target);
        if (m_capture)
            recorded(m_capture->openFailed(reason));
    }
    qCInfo(lcLink, "open failed: %s", qUtf8Printable(m_lastError));
    emit openFinished(false);
}

void LinkPort::startOpen()
{
    if (m_opening)
        return;
    if (isOpen()) {
        emit openFinished(false);
        return;
    }
    const std::optional<PortTarget> &direct = choice().directTarget();
    const PortTarget target = direct ? *direct : PortMap::resolve(choice().portNumber());
    if (target.kind == PortTarget::Kind::Unusable) {
        refuse(direct ? direct->text() : target.entry, target.problem, Failure::Unusable);
        return;
    }
    if (!m_port || target.text() != m_target) {
        if (m_port) {
            m_port->disconnect(this);
            m_port->close();
            m_port.release()->deleteLater(); // possibly inside one of its own signals
        }
        m_port = m_factory.create(target);
        m_target = target.text();
        if (!m_port) {
            refuse(m_target, QStringLiteral("no such kind of port here"), Failure::Unusable);
            return;
        }
        m_port->setParent(this);
        connect(m_port.get(), &SerialPort::onComm, this, &SerialPort::onComm);
        connect(m_port.get(), &SerialPort::lost, this, [this] {
            m_lastError = where(m_target) + QStringLiteral(" lost: ") + m_port->lastError();
            m_failure = Failure::Lost;
            qCInfo(lcLink, "%s", qUtf8Printable(m_lastError));
            if (m_capture)
                recorded(m_capture->lost(m_port->lastError()));
            emit lost();
        });
        connect(m_port.get(), &SerialPort::openFinished, this, &LinkPort::finishOpening);
    }
    m_port->setChoice(choice());
    m_opening = true;
    m_waits = target.isNetwork();
    if (m_waits)
        emit opening(true);
    m_port->startOpen();
}

void LinkPort::finishOpening(bool opened)
{
    if (!m_opening)
        return;
    m_opening = false;
    if (m_waits)
        emit opening(false);
    if (!opened) {
        refuse(m_target, m_port->lastError(), m_port->failure());
        return;
    }
    m_lastError.clear();
    m_failure = Failure::None;
    if (m_capture) {
        beginCapture(m_target);
        if (m_capture)
            recorded(m_capture->opened());
    }
    qCInfo(lcLink, "%s open at %s", qUtf8Printable(where(m_target)),
           qUtf8Printable(lineSettings().text()));
    emit openFinished(true);
}

void LinkPort::close()
{
    if (!m_port)
        return;
    const bool wasOpen = m_port->isOpen();
    m_port->close();
    if (wasOpen && m_capture)
        recorded(m_capture->closed());
}

bool LinkPort::isOpen() const
{
    return m_port && m_port->isOpen();
}

void LinkPort::output(const QByteArray &text)
{
    if (!isOpen())
        return;
    // Before the write: a reply that the write sets off is recorded after it.
    if (m_capture)
        recorded(m_capture->sent(text));
    m_port->output(text);
}

QByteArray LinkPort::input()
{
    if (!m_port)
        return {};
    QByteArray bytes = m_port->input();
    if (m_capture)
        recorded(m_capture->received(bytes));
    return bytes;
}
