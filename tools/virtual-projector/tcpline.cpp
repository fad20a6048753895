#include "tcpline.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QTcpSocket>

#include <utility>

TcpLine::TcpLine(QObject *parent)
    : Line(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TcpLine::admitPending);
}

bool TcpLine::listen(const QString &host, quint16 port, QString *error)
{
    QList<QHostAddress> addresses;
    const QHostAddress literal(host);
    if (!literal.isNull()) {
        addresses.append(literal);
    } else {
        const QHostInfo info = QHostInfo::fromName(host);
        addresses = info.addresses();
        if (addresses.isEmpty()) {
            *error = QStringLiteral("cannot find the host %1: %2").arg(host, info.errorString());
            return false;
        }
    }
    for (const QHostAddress &address : std::as_const(addresses)) {
        if (m_server.listen(address, port))
            return true;
    }
    *error = QStringLiteral("cannot listen on %1 port %2: %3")
                 .arg(host)
                 .arg(port)
                 .arg(m_server.errorString());
    return false;
}

QString TcpLine::address() const
{
    const QHostAddress address = m_server.serverAddress();
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
        ? QStringLiteral("[%1]").arg(address.toString())
        : address.toString();
    return QStringLiteral("tcp://%1:%2").arg(host).arg(m_server.serverPort());
}

bool TcpLine::isOpen() const
{
    return m_client && m_client->state() == QAbstractSocket::ConnectedState;
}

void TcpLine::write(const QByteArray &bytes)
{
    if (!isOpen())
        return;
    const qint64 written = m_client->write(bytes);
    // Out to the system now: what is recorded as sent is on its way even if the line drops next.
    m_client->flush();
    if (written > 0)
        wrote(QByteArrayView(bytes).first(written));
}

qint64 TcpLine::bytesToWrite() const
{
    return m_client ? m_client->bytesToWrite() : 0;
}

void TcpLine::hangUp()
{
    m_server.close();
    if (QTcpSocket *client = m_client) {
        m_client = nullptr; // its disconnected() is this close, recorded here
        client->abort(); // what was on its way is lost with the cable
        recordClosed();
    }
}

void TcpLine::admitPending()
{
    if (m_client)
        hearGoodbye();
    while (QTcpSocket *client = m_server.nextPendingConnection()) {
        if (m_client || client->state() != QAbstractSocket::ConnectedState) {
            client->close();
            client->deleteLater();
        } else {
            serve(client);
        }
    }
}

void TcpLine::hearGoodbye()
{
    // A client that said something and left just before the next one came: its close waits
    // behind those words until a later turn of the event loop. Read up to it now, or a quick
    // reconnect is taken for a second client.
    for (int i = 0; i < 4 && isOpen(); ++i) {
        if (!m_client->waitForReadyRead(0))
            break;
    }
}

void TcpLine::serve(QTcpSocket *client)
{
    m_client = client;
    client->setSocketOption(QAbstractSocket::LowDelayOption, 1); // answers are tiny
    connect(client, &QTcpSocket::readyRead, this, [this, client] {
        if (client == m_client)
            take(client->readAll());
    });
    connect(client, &QTcpSocket::disconnected, this, [this, client] {
        if (client == m_client) {
            m_client = nullptr;
            recordClosed();
        }
        client->deleteLater();
    });
    recordOpened();
    emit peerChanged();
    // It may have spoken before it was let in.
    if (client->bytesAvailable() > 0)
        take(client->readAll());
}
