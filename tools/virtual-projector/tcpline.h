#pragma once

#include "line.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>

class QTcpSocket;

// A network control port: raw TCP, one client at a time. A client that comes while another is
// served is closed at once; when the served one leaves, the next is served.
class TcpLine : public Line
{
    Q_OBJECT
public:
    explicit TcpLine(QObject *parent = nullptr);

    // `host` is a name or an address; a name is tried at each of its addresses in turn.
    bool listen(const QString &host, quint16 port, QString *error);
    // "tcp://127.0.0.1:40123", "tcp://[::1]:5000": where it really listens.
    QString address() const;
    QHostAddress hostAddress() const { return m_server.serverAddress(); }

    bool isOpen() const override;
    void write(const QByteArray &bytes) override;
    qint64 bytesToWrite() const override;
    // No line speed: what is written goes out at once, and nothing is to be paced.
    bool pacesItself() const override { return true; }
    // The client's connection is cut and the port closed, as a pulled network cable.
    void hangUp() override;

private:
    void admitPending();
    void hearGoodbye();
    void serve(QTcpSocket *client);

    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
};
