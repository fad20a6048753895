#pragma once

#include "link/rfc2217.h"
#include "link/serialport.h"

#include <QAbstractSocket>
#include <QElapsedTimer>

class QTimer;
class QTcpSocket;

// The projector's line through a serial device server, as raw TCP or as RFC 2217. The open ends
// in openFinished within OpenTimeoutMs; a connection that fails while open is closed once and
// reported once, like a pulled cable.
class NetworkPort : public SerialPort
{
    Q_OBJECT
public:
    enum class Mode { RawTcp, Rfc2217 };

    // Connecting and, for RFC 2217, the server's answer to the speed, together.
    static constexpr int OpenTimeoutMs = 3000;
    // A raw server that turns a client away (port in use) closes at once; give it that long.
    static constexpr int RawSettleMs = 150;

    NetworkPort(const QString &host, quint16 tcpPort, Mode mode, QObject *parent = nullptr);

    void startOpen() override;
    void close() override;
    bool isOpen() const override;
    void output(const QByteArray &text) override;
    QByteArray input() override;
    int commEvent() const override { return CommEventReceive; }

    // Why the last open failed or the connection was lost; empty after a good open.
    QString lastError() const override { return m_lastError; }
    Failure failure() const override { return m_failure; }
    // The speed the RFC 2217 server reported for the line; 0 in raw mode.
    qint32 confirmedBaudRate() const { return m_confirmedBaudRate; }

private:
    enum class State { Closed, Opening, Open };

    void connectOnce();
    void closedWhileOpening(const QString &error);
    bool takeIncoming();
    void handleReadyRead();
    void handleConnected();
    void handleError(QAbstractSocket::SocketError error);
    void handleDisconnected();
    void finishOpening(bool opened, const QString &error = {},
                       Failure failure = Failure::Unreachable);
    void fail(const QString &error);
    void closeAfterFailure();
    QString closedByServerText() const;

    QString m_host;
    quint16 m_tcpPort;
    Mode m_mode;
    QTcpSocket *m_socket;
    Rfc2217Codec m_codec;
    QByteArray m_input;
    State m_state = State::Closed;
    QTimer *m_openDeadline;
    bool m_retryPending = false;
    int m_attempt = 0;
    QElapsedTimer m_sinceOwnClose;
    bool m_failed = false;
    qint32 m_wantedBaudRate = 0;
    qint32 m_confirmedBaudRate = 0;
    QString m_lastError;
    Failure m_failure = Failure::None;
};
