#include "link/networkport.h"
#include "support/bytes.h"
#include "support/cpuclock.h"
#include "support/openport.h"
#include "support/ser2net.h"
#include "tools/pty/pty.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

using Mode = NetworkPort::Mode;
Q_DECLARE_METATYPE(NetworkPort::Mode)

namespace {

// What a client sends first, written out byte by byte.
QByteArray openingFor(const QByteArray &speed)
{
    return hex("fffb00 fffd00 fffb03 fffd03 fffb2c fffa2c01") + hex(speed)
        + hex("fff0 fffa2c0208fff0 fffa2c0301fff0 fffa2c0401fff0");
}

QByteArray baudAnswer(qint32 baud)
{
    return hex("fffa2c65")
        + QByteArray::fromHex(QByteArray::number(baud, 16).rightJustified(8, '0')) + hex("fff0");
}

// A device server on 127.0.0.1 that the test scripts: raw, or a small RFC 2217 one.
class Peer : public QObject
{
public:
    explicit Peer(Mode mode)
        : m_mode(mode)
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection())
                take(socket);
        });
    }

    quint16 port() const { return server.serverPort(); }

    void send(const QByteArray &bytes)
    {
        client->write(bytes);
        client->flush();
    }
    // Closes with a reset rather than a FIN.
    void reset()
    {
        const linger now {1, 0};
        ::setsockopt(int(client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
        client->abort();
    }

    QTcpServer server;
    QPointer<QTcpSocket> client;
    QByteArray received; // by the latest connection
    int connections = 0;
    int disconnections = 0;

    QByteArray greeting;
    bool answerBaud = true;
    QByteArray answer; // instead of the same speed back
    bool closeAtOnce = false;
    int turnAwayNext = 0; // connections to close at once, before it takes one again
    qint32 requestedBaud = -1;

private:
    void take(QTcpSocket *socket)
    {
        ++connections;
        client = socket;
        received.clear();
        requestedBaud = -1;
        connect(socket, &QTcpSocket::disconnected, this, [this] { ++disconnections; });
        socket->write(greeting);
        if (closeAtOnce || turnAwayNext > 0) {
            --turnAwayNext;
            socket->disconnectFromHost();
            return;
        }
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            received += socket->readAll();
            if (socket == client)
                answer_();
        });
    }

    void answer_()
    {
        const int at = received.indexOf(hex("fffa2c01"));
        if (m_mode != Mode::Rfc2217 || requestedBaud >= 0 || at < 0 || received.size() < at + 10)
            return;
        requestedBaud = received.mid(at + 4, 4).toHex().toInt(nullptr, 16);
        if (answerBaud)
            send(answer.isNull() ? baudAnswer(requestedBaud) : answer);
    }

    Mode m_mode;
};

// Collects what the port hands over on each onComm.
struct Received
{
    explicit Received(NetworkPort &port)
    {
        QObject::connect(&port, &SerialPort::onComm, &port, [this, &port] {
            ++events;
            bytes += port.input();
        });
    }
    QByteArray bytes;
    int events = 0;
};

// Qt ignores SIGPIPE for its sockets once per process, and QtTest then takes it as a crash in
// every test class after the first. Writing to a peer that has just gone must stay an error.
void ignoreBrokenPipes()
{
    std::signal(SIGPIPE, SIG_IGN);
}

QTcpSocket *socketOf(NetworkPort &port)
{
    return port.findChild<QTcpSocket *>();
}

// A port that nothing answers: the kernel's queue of the listening socket is full, so the
// connection attempt is never completed.
class FullBacklog
{
public:
    FullBacklog()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&address), size) != 0
            || ::listen(m_fd, 0) != 0
            || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &size) != 0)
            return;
        port = ntohs(address.sin_port);
        // Fill the queue; the first connection that does not complete shows it is full.
        for (int i = 0; i < 8; ++i) {
            auto *filler = new QTcpSocket;
            m_fillers.emplace_back(filler);
            filler->connectToHost(QHostAddress::LocalHost, port);
            if (!filler->waitForConnected(1000)) {
                full = true;
                break;
            }
        }
    }
    ~FullBacklog()
    {
        m_fillers.clear();
        if (m_fd >= 0)
            ::close(m_fd);
    }

    quint16 port = 0;
    bool full = false;

private:
    int m_fd = -1;
    std::vector<std::unique_ptr<QTcpSocket>> m_fillers;
};

} // namespace

// What goes on the wire and comes off it, against scripted peers.
class TestNetworkPortWire : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ignoreBrokenPipes(); }
    void bytesOnTheWire_data();
    void bytesOnTheWire();
    void replyInPieces_data();
    void replyInPieces();
    void negotiationAloneIsNoReceiveEvent();
    void turnedAway_data();
    void turnedAway();
    void reopenRightAfterCloseIsRetried_data();
    void reopenRightAfterCloseIsRetried();
    void peerLost_data();
    void peerLost();
    void reopenStartsAFreshStream();
    void nothingWrittenWhenClosed();
};

void TestNetworkPortWire::bytesOnTheWire_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("speed");
    QTest::newRow("raw command") << Mode::RawTcp << "9600,N,8,1" << QByteArray("CR0\r")
                                 << QByteArray("CR0\r") << -1;
    QTest::newRow("raw every byte")
        << Mode::RawTcp << "9600,N,8,1" << allBytes() << allBytes() << -1;
    QTest::newRow("RFC 2217 at 9600") << Mode::Rfc2217 << "9600,N,8,1" << QByteArray("CR0\r")
                                      << openingFor("00002580") + "CR0\r" << 9600;
    QTest::newRow("RFC 2217 at 19200")
        << Mode::Rfc2217 << "19200,N,8,1" << QByteArray("CR LAMPSTS\r")
        << openingFor("00004b00") + "CR LAMPSTS\r" << 19200;
    QTest::newRow("RFC 2217 every byte") << Mode::Rfc2217 << "9600,N,8,1" << allBytes()
                                         << openingFor("00002580") + allBytes() + '\xff' << 9600;
}

void TestNetworkPortWire::bytesOnTheWire()
{
    QFETCH(Mode, mode);
    QFETCH(QString, settings);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, expected);
    QFETCH(int, speed);
    Peer peer(mode);
    NetworkPort port(QStringLiteral("127.0.0.1"), peer.port(), mode);
    PortChoice choice;
    choice.setBaud(settings.section(QLatin1Char(','), 0, 0).toInt());
    port.setChoice(choice);
    QVERIFY2(openPort(port), qPrintable(port.lastError()));
    QVERIFY(port.isOpen());
    QVERIFY(port.lastError().isEmpty());
    port.output(data);
    QTRY_COMPARE(peer.received.toHex(' '), expected.toHex(' '));
    QCOMPARE(peer.requestedBaud, speed);
    QCOMPARE(port.confirmedBaudRate(), qMax(speed, 0));
}

void TestNetworkPortWire::replyInPieces_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QByteArrayList>("after"); // what has come through after each piece
    QTest::newRow("raw") << Mode::RawTcp << QByteArrayList {"8", "0\r"}
                         << QByteArrayList {"8", "80\r"};
    QTest::newRow("raw IAC") << Mode::RawTcp << QByteArrayList {hex("ff"), hex("06")}
                             << QByteArrayList {hex("ff"), hex("ff06")};
    QTest::newRow("RFC 2217") << Mode::Rfc2217 << QByteArrayList {"8", "0\r"}
                              << QByteArrayList {"8", "80\r"};
    // Commands and a notification cut in the middle, and an IAC pair cut in two.
    QTest::newRow("RFC 2217 with telnet in the pieces")
        << Mode::Rfc2217
        << QByteArrayList {hex("38fff1"), hex("fffa2c6a"), hex("60fff030ff"), hex("ff0d")}
        << QByteArrayList {"8", "8", "80", hex("3830ff0d")};
}

void TestNetworkPortWire::replyInPieces()
{
    QFETCH(Mode, mode);
    QFETCH(QByteArrayList, pieces);
    QFETCH(QByteArrayList, after);
    Peer peer(mode);
    NetworkPort port(QStringLiteral("127.0.0.1"), peer.port(), mode);
    QVERIFY2(openPort(port), qPrintable(port.lastError()));
    Received received(port);
    QTRY_VERIFY(peer.client);
    for (int i = 0; i < pieces.size(); ++i) {
        peer.send(pieces.at(i));
        QTRY_COMPARE(received.bytes.toHex(' '), after.at(i).toHex(' '));
    }
    QVERIFY(port.input().isEmpty());
}

void TestNetworkPortWire::negotiationAloneIsNoReceiveEvent()
{
    Peer peer(Mode::Rfc2217);
    NetworkPort port(QStringLiteral("127.0.0.1"), peer.port(), Mode::Rfc2217);
    QVERIFY(openPort(port));
    Received received(port);
    peer.received.clear();
    peer.send(hex("fffa2c6b30fff0 fffb01 fff1"));
    // Its answer shows that the client has taken the lot in.
    QTRY_COMPARE(peer.received.toHex(' '), hex("fffe01").toHex(' '));
    QCOMPARE(received.events, 0);
    QVERIFY(port.input().isEmpty());
    peer.send("8");
    QTRY_COMPARE(received.events, 1);
    QCOMPARE(received.bytes, QByteArray("8"));
}

void TestNetworkPortWire::turnedAway_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QString>("reason");
    // ser2net's words to a second client.
    QTest::newRow("raw, with a reason")
        << Mode::RawTcp << QByteArray("Port already in use\r\n") << "Port already in use";
    QTest::newRow("raw, silent") << Mode::RawTcp << QByteArray() << QString();
    QTest::newRow("RFC 2217, with a reason")
        << Mode::Rfc2217 << hex("fffb03fffd03fffd2c") + "Port already in use\r\n"
        << "Port already in use";
    QTest::newRow("RFC 2217, silent") << Mode::Rfc2217 << QByteArray() << QString();
}

void TestNetworkPortWire::turnedAway()
{
    QFETCH(Mode, mode);
    QFETCH(QByteArray, greeting);
    QFETCH(QString, reason);
    Peer peer(mode);
    peer.greeting = greeting;
    peer.closeAtOnce = true;
    NetworkPort port(QStringLiteral("127.0.0.1"), peer.port(), mode);
    QSignalSpy lost(&port, &SerialPort::lost);
    QVERIFY(!openPort(port));
    QVERIFY(!port.isOpen());
    QCOMPARE(socketOf(port)->state(), QAbstractSocket::UnconnectedState);
    QVERIFY2(port.lastError().contains(QLatin1String("closed the connection")),
             qPrintable(port.lastError()));
    QVERIFY2(port.lastError().contains(reason), qPrintable(port.lastError()));
    QCOMPARE(lost.count(), 0);
    QCOMPARE(peer.connections, 1); // not tried again: this port had no connection of its own
}

void TestNetworkPortWire::reopenRightAfterCloseIsRetried_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::newRow("raw") << Mode::RawTcp;
    QTest::newRow("RFC 2217") << Mode::Rfc2217;
}

void TestNetworkPortWire::reopenRightAfterCloseIsRetried()
{
    QFETCH(Mode, mode);
    Peer peer(mode);
    peer.greeting = "Port already in use\r\n";
    NetworkPort port(QStringLiteral("127.0.0.1"), peer.port(), mode);
    QVERIFY(openPort(port));
    port.close();
    // The server has not let go of the old connection yet, twice.
    peer.turnAwayNext = 2;
    QVERIFY2(openPort(port), qPrintable(port.lastError()));
    QCOMPARE(peer.connections, 4);
    port.output("CR0\r");
    QTRY_VERIFY(peer.received.endsWith("CR0\r"));
}

void TestNetworkPortWire::peerLost_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<bool>("reset");
    QTest::newRow("raw, closed") << Mode::RawTcp << false;
    QTest::newRow("raw, reset") << Mode::RawTcp << true;
    QTest::newRow("RFC 2217, closed") << Mode::Rfc2217 << false;
    QTest::newRow("RFC 2217, reset") << Mode::Rfc2217 << true;
}

void TestNetworkPortWire::peerLost()
{
    QFETCH(Mode, mode);
    QFETCH(bool, reset);
    Peer peer(mode);
    NetworkPort port(QStringLiteral("127.0.0.1"), peer.port(), mode);
    QVERIFY(openPort(port));
    QTRY_VERIFY(peer.client);
    QSignalSpy lost(&port, &SerialPort::lost);
    QSignalSpy errors(socketOf(port), &QAbstractSocket::errorOccurred);
    if (reset)
        peer.reset();
    else
        peer.client->disconnectFromHost();

    QVERIFY(lost.wait(2000));
    QVERIFY(!port.isOpen());
    QTRY_COMPARE(socketOf(port)->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(!port.lastError().isEmpty());
    QVERIFY(errors.count() < 10);
    const double before = cpuSeconds();
    QTest::qWait(500);
    QVERIFY2(cpuSeconds() - before < 0.2, "busy after the connection went");
    port.output("CR0\r"); // nothing to write to, and no second report
    QCOMPARE(lost.count(), 1);

    QVERIFY2(openPort(port), qPrintable(port.lastError()));
    QTRY_COMPARE(peer.connections, 2);
    QVERIFY(port.lastError().isEmpty());
    port.output("CR1\r");
    QTRY_VERIFY(peer.received.endsWith("CR1\r"));
    QCOMPARE(lost.count(), 1);
}

void TestNetworkPortWire::reopenStartsAFreshStream()
{
    Peer peer(Mode::Rfc2217);
    NetworkPort port(QStringLiteral("127.0.0.1"), peer.port(), Mode::Rfc2217);
    QVERIFY(openPort(port));
    QTRY_VERIFY(peer.client);
    Received received(port);
    peer.received.clear();
    peer.send(hex("fffb01"));
    QTRY_COMPARE(peer.received.toHex(' '), hex("fffe01").toHex(' '));
    // The connection ends in the middle of a notification...
    peer.send(hex("41 fffa2c6b"));
    QTRY_COMPARE(received.bytes, QByteArray("A"));
    port.close();
    QTRY_COMPARE(peer.disconnections, 1);
    QVERIFY(!port.isOpen());

    // ...which must not swallow the data of the next one, and what was refused on the old
    // connection is answered again on the new one.
    QVERIFY(openPort(port));
    QTRY_COMPARE(peer.connections, 2);
    received.bytes.clear();
    peer.received.clear();
    peer.send(hex("fffb01") + "80\r");
    QTRY_COMPARE(received.bytes, QByteArray("80\r"));
    QTRY_COMPARE(peer.received.toHex(' '), hex("fffe01").toHex(' '));
}

void TestNetworkPortWire::nothingWrittenWhenClosed()
{
    Peer peer(Mode::RawTcp);
    NetworkPort port(QStringLiteral("127.0.0.1"), peer.port(), Mode::RawTcp);
    port.output("before");
    QVERIFY(port.input().isEmpty());
    QVERIFY(openPort(port));
    QVERIFY(!openPort(port)); // already open: as the serial port answers
    QVERIFY(port.isOpen());
    port.output("open");
    QTRY_COMPARE(peer.received, QByteArray("open"));
    port.close();
    port.output("after");
    QTRY_COMPARE(peer.disconnections, 1);
    QCOMPARE(peer.received, QByteArray("open"));
}

// Real-time bounds of open(), against local peers that refuse, say nothing, or vanish.
class TestNetworkPortTiming : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ignoreBrokenPipes(); }
    void fails_data();
    void fails();
    void silentPeerTimesOut_data();
    void silentPeerTimesOut();
    void retriesEndSoonAfterTheClose();
    void eventsServedWhileOpening();
    void closeWhileOpening();
    void openTimes_data();
    void openTimes();
};

void TestNetworkPortTiming::fails_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QByteArray>("answer"); // of an RFC 2217 peer to the speed; none: no peer
    QTest::addColumn<QString>("reason"); // empty: any
    QTest::addColumn<int>("withinMs");
    const int timeout = NetworkPort::OpenTimeoutMs;
    for (const Mode mode : {Mode::RawTcp, Mode::Rfc2217}) {
        const char *name = mode == Mode::RawTcp ? "raw" : "RFC 2217";
        QTest::addRow("%s, refused", name)
            << mode << "127.0.0.1" << QByteArray() << "refused" << timeout;
        // Not a host name at all: refused before any name server is asked.
        QTest::addRow("%s, malformed host name", name)
            << mode << "no such projector" << QByteArray() << "Host not found" << timeout;
        // Asks the name server, which may not be reachable: then the wait ends the attempt.
        QTest::addRow("%s, unknown host", name)
            << mode << "no-such-projector.invalid" << QByteArray() << QString() << timeout + 1500;
    }
    QTest::newRow("COM-PORT-OPTION refused") << Mode::Rfc2217 << "127.0.0.1" << hex("fffe2c")
                                             << "refuses serial line control" << timeout;
    QTest::newRow("COM-PORT-OPTION declined") << Mode::Rfc2217 << "127.0.0.1" << hex("fffb03fffc2c")
                                              << "refuses serial line control" << timeout;
    QTest::newRow("another speed") << Mode::Rfc2217 << "127.0.0.1" << baudAnswer(115200)
                                   << "115200 baud instead of 9600" << timeout;
}

void TestNetworkPortTiming::fails()
{
    QFETCH(Mode, mode);
    QFETCH(QString, host);
    QFETCH(QByteArray, answer);
    QFETCH(QString, reason);
    QFETCH(int, withinMs);
    Peer peer(mode);
    peer.answer = answer;
    quint16 port = peer.port();
    if (answer.isNull())
        peer.server.close(); // nobody listens there any more
    NetworkPort network(host, port, mode);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!openPort(network));
    const qint64 took = clock.elapsed();
    QVERIFY2(took < withinMs, qPrintable(QString::number(took)));
    QVERIFY(!network.isOpen());
    QCOMPARE(socketOf(network)->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(!network.lastError().isEmpty());
    QVERIFY2(network.lastError().contains(reason, Qt::CaseInsensitive),
             qPrintable(network.lastError()));
}

void TestNetworkPortTiming::silentPeerTimesOut_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<bool>("accepts");
    QTest::newRow("raw, never accepted") << Mode::RawTcp << false;
    QTest::newRow("RFC 2217, never accepted") << Mode::Rfc2217 << false;
    QTest::newRow("RFC 2217, speed never answered") << Mode::Rfc2217 << true;
}

void TestNetworkPortTiming::silentPeerTimesOut()
{
    QFETCH(Mode, mode);
    QFETCH(bool, accepts);
    FullBacklog backlog;
    Peer peer(mode);
    peer.answerBaud = false;
    if (!accepts)
        QVERIFY(backlog.full);
    NetworkPort port(QStringLiteral("127.0.0.1"), accepts ? peer.port() : backlog.port, mode);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!openPort(port));
    const qint64 took = clock.elapsed();
    qInfo("gave up after %lld ms", took);
    QVERIFY2(took >= NetworkPort::OpenTimeoutMs - 50 && took < NetworkPort::OpenTimeoutMs + 1500,
             qPrintable(QString::number(took)));
    QVERIFY2(port.lastError().contains(QLatin1String("No answer")), qPrintable(port.lastError()));
    QCOMPARE(socketOf(port)->state(), QAbstractSocket::UnconnectedState);
    if (accepts) {
        QCOMPARE(peer.requestedBaud, 9600);
        QTRY_COMPARE(peer.disconnections, 1);
    }
}

void TestNetworkPortTiming::retriesEndSoonAfterTheClose()
{
    Peer peer(Mode::Rfc2217);
    NetworkPort port(QStringLiteral("127.0.0.1"), peer.port(), Mode::Rfc2217);
    QVERIFY(openPort(port));
    port.close();
    // Another client has really taken the port: after a second of trying, give up.
    peer.closeAtOnce = true;
    peer.greeting = "Port already in use\r\n";
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!openPort(port));
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= 900 && took < NetworkPort::OpenTimeoutMs, qPrintable(QString::number(took)));
    QVERIFY2(port.lastError().contains(QLatin1String("Port already in use")),
             qPrintable(port.lastError()));
    QVERIFY2(peer.connections >= 3 && peer.connections < 40,
             qPrintable(QString::number(peer.connections)));
    // Later on, a refusal is final at once.
    clock.restart();
    QVERIFY(!openPort(port));
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
}

void TestNetworkPortTiming::eventsServedWhileOpening()
{
    Peer peer(Mode::Rfc2217);
    peer.answerBaud = false;
    NetworkPort port(QStringLiteral("127.0.0.1"), peer.port(), Mode::Rfc2217);
    QTimer ticker;
    int ticks = 0;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start(50);
    QVERIFY(!openPort(port));
    // About 60 in 3 s; timers of the rest of the program keep running meanwhile.
    QVERIFY2(ticks >= 20, qPrintable(QString::number(ticks)));
}

void TestNetworkPortTiming::closeWhileOpening()
{
    Peer peer(Mode::Rfc2217);
    peer.answerBaud = false;
    NetworkPort port(QStringLiteral("127.0.0.1"), peer.port(), Mode::Rfc2217);
    QTimer::singleShot(100, &port, [&port] { port.close(); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!openPort(port));
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!port.isOpen());
    QTRY_COMPARE(peer.disconnections, 1);
    peer.answerBaud = true;
    QVERIFY(openPort(port));
}

void TestNetworkPortTiming::openTimes_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::newRow("raw") << Mode::RawTcp;
    QTest::newRow("RFC 2217") << Mode::Rfc2217;
}

void TestNetworkPortTiming::openTimes()
{
    QFETCH(Mode, mode);
    Peer peer(mode);
    NetworkPort port(QStringLiteral("127.0.0.1"), peer.port(), mode);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(openPort(port));
    const qint64 opened = clock.elapsed();
    clock.restart();
    port.close();
    const qint64 closed = clock.elapsed();
    qInfo("open %lld ms, close %lld ms", opened, closed);
    if (mode == Mode::RawTcp)
        QVERIFY2(opened >= NetworkPort::RawSettleMs - 5, qPrintable(QString::number(opened)));
    QVERIFY2(opened < 1000, qPrintable(QString::number(opened)));
    QVERIFY2(closed < 100, qPrintable(QString::number(closed)));
}

// Against ser2net in front of a pseudo-terminal.
class TestNetworkPortSer2net : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void speedOnTheLine();
    void commandArrivesExactly_data();
    void commandArrivesExactly();
    void replyArrivesExactly_data();
    void replyArrivesExactly();
    void secondClientTurnedAway();
    void serverKilledWhileOpen_data();
    void serverKilledWhileOpen();

private:
    quint16 portFor(Mode mode) const
    {
        return mode == Mode::RawTcp ? m_server->rawPort : m_server->telnetPort;
    }

    std::unique_ptr<Pty> m_pty;
    std::unique_ptr<Ser2net> m_server;
};

void TestNetworkPortSer2net::initTestCase()
{
    ignoreBrokenPipes();
    // tools/install-deps installs it; a missing one is a broken set-up, not a case to skip.
    QVERIFY2(!Ser2net::program().isEmpty(), "ser2net is not installed");
}

void TestNetworkPortSer2net::init()
{
    m_pty = std::make_unique<Pty>();
    QVERIFY(m_pty->isValid());
    m_server = std::make_unique<Ser2net>(m_pty->slavePath());
    QVERIFY2(m_server->start(), m_server->log().constData());
}

void TestNetworkPortSer2net::cleanup()
{
    if (QTest::currentTestFailed() && m_server)
        qInfo("ser2net said:\n%s", m_server->log().constData());
    m_server.reset();
    m_pty.reset();
}

void TestNetworkPortSer2net::speedOnTheLine()
{
    NetworkPort port(QStringLiteral("127.0.0.1"), m_server->telnetPort, Mode::Rfc2217);
    const auto speedOnPty = [this] {
        termios attributes {};
        if (!m_pty->slaveAttributes(&attributes))
            return -1;
        if (cfgetispeed(&attributes) != cfgetospeed(&attributes))
            return -2;
        return int(cfgetispeed(&attributes));
    };
    // ser2net's own setting for the line is 38400, so each speed seen comes from the client.
    port.setChoice(PortChoice(1, PortChoice::Baud19200Code));
    QElapsedTimer clock;
    clock.start();
    QVERIFY2(openPort(port), qPrintable(port.lastError()));
    qInfo("open through ser2net: %lld ms", clock.elapsed());
    QCOMPARE(port.confirmedBaudRate(), 19200);
    QTRY_COMPARE(speedOnPty(), int(B19200));
    termios attributes {};
    QVERIFY(m_pty->slaveAttributes(&attributes));
    QCOMPARE(int(attributes.c_cflag & CSIZE), int(CS8));
    QVERIFY(!(attributes.c_cflag & PARENB));
    QVERIFY(!(attributes.c_cflag & CSTOPB));
    clock.restart();
    port.close();
    qInfo("close: %lld ms", clock.elapsed());

    port.setChoice(PortChoice(1, PortChoice::Baud9600Code));
    clock.restart();
    QVERIFY2(openPort(port), qPrintable(port.lastError()));
    qInfo("reopen through ser2net: %lld ms", clock.elapsed());
    QCOMPARE(port.confirmedBaudRate(), 9600);
    QTRY_COMPARE(speedOnPty(), int(B9600));
}

void TestNetworkPortSer2net::commandArrivesExactly_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::newRow("RFC 2217") << Mode::Rfc2217;
    QTest::newRow("raw") << Mode::RawTcp;
}

void TestNetworkPortSer2net::commandArrivesExactly()
{
    QFETCH(Mode, mode);
    NetworkPort port(QStringLiteral("127.0.0.1"), portFor(mode), mode);
    QVERIFY2(openPort(port), qPrintable(port.lastError()));
    port.output("CR0\r");
    QCOMPARE(m_pty->read(4, 3000), QByteArray("CR0\r"));
    // The very next byte on the line is the next command's: no NUL or LF after the CR.
    port.output("C");
    QCOMPARE(m_pty->read(1, 3000), QByteArray("C"));
    port.output(allBytes());
    QCOMPARE(m_pty->read(256, 3000).toHex(' '), allBytes().toHex(' '));
}

void TestNetworkPortSer2net::replyArrivesExactly_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::newRow("RFC 2217") << Mode::Rfc2217;
    QTest::newRow("raw") << Mode::RawTcp;
}

void TestNetworkPortSer2net::replyArrivesExactly()
{
    QFETCH(Mode, mode);
    NetworkPort port(QStringLiteral("127.0.0.1"), portFor(mode), mode);
    QVERIFY2(openPort(port), qPrintable(port.lastError()));
    Received received(port);
    QVERIFY(m_pty->write("8"));
    QTRY_COMPARE(received.bytes, QByteArray("8"));
    QVERIFY(m_pty->write("0\r"));
    QTRY_COMPARE(received.bytes, QByteArray("80\r"));
    received.bytes.clear();
    QVERIFY(m_pty->write(hex("ff06")));
    QTRY_COMPARE(received.bytes.toHex(' '), hex("ff06").toHex(' '));
    received.bytes.clear();
    QVERIFY(m_pty->write(allBytes()));
    QTRY_COMPARE(received.bytes.toHex(' '), allBytes().toHex(' '));
}

void TestNetworkPortSer2net::secondClientTurnedAway()
{
    NetworkPort first(QStringLiteral("127.0.0.1"), m_server->telnetPort, Mode::Rfc2217);
    NetworkPort second(QStringLiteral("127.0.0.1"), m_server->telnetPort, Mode::Rfc2217);
    QVERIFY(openPort(first));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!openPort(second));
    qInfo("turned away after %lld ms: %s", clock.elapsed(), qPrintable(second.lastError()));
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    // ser2net says "Port already in use" before it closes, but a close that meets our unread
    // negotiation is a reset, and the kernel may drop the words with it: only the close is sure.
    QVERIFY2(second.lastError().contains(QLatin1String("closed the connection")),
             qPrintable(second.lastError()));
    QVERIFY(first.isOpen());
    first.close();
    // Free once ser2net has let go of the first one.
    QTRY_VERIFY_WITH_TIMEOUT(second.isOpen() || openPort(second), 3000);
}

void TestNetworkPortSer2net::serverKilledWhileOpen_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("stopped") << int(SIGTERM);
    QTest::newRow("killed") << int(SIGKILL);
}

void TestNetworkPortSer2net::serverKilledWhileOpen()
{
    QFETCH(int, signal);
    NetworkPort port(QStringLiteral("127.0.0.1"), m_server->telnetPort, Mode::Rfc2217);
    QVERIFY(openPort(port));
    QSignalSpy lost(&port, &SerialPort::lost);
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(m_server->process.processId()), signal);
    QVERIFY(lost.wait(5000));
    qInfo("lost %lld ms after the signal: %s", clock.elapsed(), qPrintable(port.lastError()));
    QVERIFY(!port.isOpen());
    QTRY_COMPARE_WITH_TIMEOUT(m_server->process.state(), QProcess::NotRunning, 5000);
    QTRY_COMPARE(socketOf(port)->state(), QAbstractSocket::UnconnectedState);
    const double before = cpuSeconds();
    QTest::qWait(500);
    QVERIFY2(cpuSeconds() - before < 0.2, "busy after the server went");
    QCOMPARE(lost.count(), 1);
    QVERIFY(!openPort(port)); // nobody there yet

    QVERIFY2(m_server->start(), m_server->log().constData());
    QVERIFY2(openPort(port), qPrintable(port.lastError()));
    port.output("CR0\r");
    QCOMPARE(m_pty->read(4, 3000), QByteArray("CR0\r"));
    QCOMPARE(lost.count(), 1);
}

// Cases by group: "wire", "timing" (real time) or "ser2net"; all when none is named first.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments();
    QString group;
    const QStringList groups {QStringLiteral("wire"), QStringLiteral("timing"),
                              QStringLiteral("ser2net")};
    if (arguments.size() > 1 && groups.contains(arguments.at(1)))
        group = arguments.takeAt(1);
    int status = 0;
    if (group.isEmpty() || group == QLatin1String("wire")) {
        TestNetworkPortWire test;
        status |= QTest::qExec(&test, arguments);
    }
    if (group.isEmpty() || group == QLatin1String("timing")) {
        TestNetworkPortTiming test;
        status |= QTest::qExec(&test, arguments);
    }
    if (group.isEmpty() || group == QLatin1String("ser2net")) {
        TestNetworkPortSer2net test;
        status |= QTest::qExec(&test, arguments);
    }
    return status;
}

#include "tst_networkport.moc"
