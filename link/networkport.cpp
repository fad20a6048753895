#include "networkport.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

// A server may still be letting go of our last connection when we come back (ser2net turns the
// new one away as a second client): for this long after our own close, try again.
constexpr int ReopenGraceMs = 1000;
constexpr int RetryPauseMs = 50;

} // namespace

NetworkPort::NetworkPort(const QString &host, quint16 tcpPort, Mode mode, QObject *parent)
    : SerialPort(parent)
    , m_host(host)
    , m_tcpPort(tcpPort)
    , m_mode(mode)
    , m_socket(new QTcpSocket(this))
    , m_openDeadline(new QTimer(this))
{
    connect(m_socket, &QTcpSocket::connected, this, &NetworkPort::handleConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &NetworkPort::handleReadyRead);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &NetworkPort::handleError);
    connect(m_socket, &QTcpSocket::disconnected, this, &NetworkPort::handleDisconnected);
    m_openDeadline->setSingleShot(true);
    m_openDeadline->setTimerType(Qt::PreciseTimer); // a coarse one may end the wait 5 % early
    connect(m_openDeadline, &QTimer::timeout, this, [this] {
        finishOpening(
            false,
            tr("No answer from %1:%2 within %3 ms").arg(m_host).arg(m_tcpPort).arg(OpenTimeoutMs));
    });
}

void NetworkPort::startOpen()
{
    if (m_failed)
        closeAfterFailure(); // the queued close may not have run yet
    if (m_state == State::Opening)
        return;
    if (m_state == State::Open) {
        emit openFinished(false);
        return;
    }
    m_wantedBaudRate = lineSettings().baud;
    m_lastError.clear();
    m_failure = Failure::None;
    m_confirmedBaudRate = 0;
    m_state = State::Opening;
    m_retryPending = false;
    m_openDeadline->start(OpenTimeoutMs);
    connectOnce();
}

void NetworkPort::connectOnce()
{
    ++m_attempt;
    m_socket->abort();
    m_input.clear();
    m_codec.reset();
    m_socket->connectToHost(m_host, m_tcpPort);
}

void NetworkPort::closedWhileOpening(const QString &error)
{
    if (!m_sinceOwnClose.isValid() || m_sinceOwnClose.elapsed() >= ReopenGraceMs) {
        finishOpening(false, error, Failure::Busy);
        return;
    }
    m_retryPending = true;
    QTimer::singleShot(RetryPauseMs, this, [this, attempt = m_attempt] {
        if (attempt != m_attempt)
            return;
        m_retryPending = false;
        if (m_state == State::Opening)
            connectOnce();
    });
}

void NetworkPort::close()
{
    if (m_state == State::Opening) {
        finishOpening(false, tr("Closed while connecting"));
        return;
    }
    if (m_state == State::Open && !m_failed)
        m_sinceOwnClose.start();
    // Closed before the abort, whose disconnected() is this close and not a lost line.
    m_state = State::Closed;
    m_socket->abort();
    m_failed = false;
}

bool NetworkPort::isOpen() const
{
    return m_state == State::Open && !m_failed;
}

void NetworkPort::output(const QByteArray &text)
{
    if (!isOpen())
        return;
    m_socket->write(m_mode == Mode::Rfc2217 ? Rfc2217Codec::escape(text) : text);
    // The command goes out now, not at the next event-loop turn.
    m_socket->flush();
}

QByteArray NetworkPort::input()
{
    if (m_state == State::Open && !m_failed)
        takeIncoming();
    return std::exchange(m_input, {});
}

bool NetworkPort::takeIncoming()
{
    const QByteArray bytes = m_socket->readAll();
    if (bytes.isEmpty())
        return false;
    if (m_mode == Mode::RawTcp) {
        m_input += bytes;
        return true;
    }
    const Rfc2217Codec::Result result = m_codec.feed(bytes);
    // Kept first: a write to a server that has just closed reports the close at once, and the
    // data may say why it closed.
    m_input += result.data;
    if (!result.reply.isEmpty()) {
        m_socket->write(result.reply);
        m_socket->flush();
    }
    if (m_state == State::Opening) {
        if (result.comPortRefused) {
            finishOpening(
                false,
                tr("%1:%2 refuses serial line control (RFC 2217)").arg(m_host).arg(m_tcpPort),
                Failure::Refused);
        } else if (result.baudRate) {
            m_confirmedBaudRate = *result.baudRate;
            if (m_confirmedBaudRate == m_wantedBaudRate)
                finishOpening(true);
            else
                finishOpening(false,
                              tr("%1:%2 set the line to %3 baud instead of %4")
                                  .arg(m_host)
                                  .arg(m_tcpPort)
                                  .arg(m_confirmedBaudRate)
                                  .arg(m_wantedBaudRate),
                              Failure::Refused);
        }
    } else if (result.baudRate) {
        m_confirmedBaudRate = *result.baudRate;
    }
    // A refusal once open changes nothing for the data; the speed was agreed already.
    return !result.data.isEmpty();
}

void NetworkPort::handleReadyRead()
{
    if (m_failed || m_state == State::Closed || m_retryPending)
        return;
    if (takeIncoming() && m_state == State::Open)
        emit onComm();
}

void NetworkPort::handleConnected()
{
    if (m_state != State::Opening)
        return;
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    if (m_mode == Mode::Rfc2217) {
        m_socket->write(Rfc2217Codec::opening(m_wantedBaudRate));
        m_socket->flush();
        return;
    }
    QTimer::singleShot(RawSettleMs, this, [this, attempt = m_attempt] {
        if (attempt == m_attempt && m_state == State::Opening
            && m_socket->state() == QAbstractSocket::ConnectedState)
            finishOpening(true);
    });
}

void NetworkPort::handleError(QAbstractSocket::SocketError error)
{
    const QString text = error == QAbstractSocket::RemoteHostClosedError
        ? closedByServerText()
        : QStringLiteral("%1:%2: %3").arg(m_host).arg(m_tcpPort).arg(m_socket->errorString());
    if (m_state == State::Opening && !m_retryPending) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            closedWhileOpening(text);
        else
            finishOpening(false, text,
                          error == QAbstractSocket::ConnectionRefusedError ? Failure::Refused
                                                                           : Failure::Unreachable);
    } else if (m_state == State::Open) {
        fail(text);
    }
}

void NetworkPort::handleDisconnected()
{
    if (m_state == State::Opening && !m_retryPending)
        closedWhileOpening(closedByServerText());
    else if (m_state == State::Open)
        fail(closedByServerText());
}

QString NetworkPort::closedByServerText() const
{
    QString text = tr("%1:%2 closed the connection").arg(m_host).arg(m_tcpPort);
    // A server turning a second client away usually says why (ser2net: "Port already in use").
    const QString said = QString::fromLatin1(m_input.left(80)).simplified();
    if (m_state == State::Opening && !said.isEmpty())
        text += QStringLiteral(": ") + said;
    return text;
}

void NetworkPort::finishOpening(bool opened, const QString &error, Failure failure)
{
    if (m_state != State::Opening)
        return;
    m_openDeadline->stop();
    ++m_attempt; // a retry or a settle still pending belongs to this open
    m_retryPending = false;
    if (!opened) {
        if (m_lastError.isEmpty()) {
            m_lastError = error;
            m_failure = failure;
        }
        m_socket->abort();
        m_state = State::Closed;
        emit openFinished(false);
        return;
    }
    m_state = State::Open;
    if (!m_input.isEmpty()) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (isOpen() && !m_input.isEmpty())
                    emit onComm();
            },
            Qt::QueuedConnection);
    }
    emit openFinished(true);
}

void NetworkPort::fail(const QString &error)
{
    if (m_failed)
        return;
    m_failed = true;
    m_lastError = error;
    m_failure = Failure::Lost;
    // Not inside the socket's own signal: close from the event loop.
    QMetaObject::invokeMethod(this, &NetworkPort::closeAfterFailure, Qt::QueuedConnection);
    emit lost();
}

void NetworkPort::closeAfterFailure()
{
    if (m_failed)
        close();
}
