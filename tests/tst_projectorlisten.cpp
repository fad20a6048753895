#include "link/capture.h"
#include "support/freeports.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

constexpr int StartTimeoutMs = 10000;
constexpr int AnswerTimeoutMs = 5000;
const QByteArray Ack("\x06\r");

// Open files the process started next may have; none of its own when `hard` is 0.
void limitOpenFiles(QProcess *process, int soft, int hard)
{
#ifdef Q_OS_UNIX
    process->setChildProcessModifier([soft, hard] {
        const rlimit limit {rlim_t(soft), rlim_t(hard)};
        if (hard > 0)
            setrlimit(RLIMIT_NOFILE, &limit);
    });
#else
    Q_UNUSED(process) // Windows counts no sockets against such a limit
    Q_UNUSED(soft)
    Q_UNUSED(hard)
#endif
}

// The virtual projector as a process of its own, on a port it reports in its first line.
struct Server
{
    ~Server()
    {
        if (process.state() != QProcess::NotRunning) {
#ifdef Q_OS_WIN
            process.kill(); // terminate() closes windows, and a console program has none
#else
            process.terminate();
#endif
            if (!process.waitForFinished(5000))
                process.kill();
        }
    }

    bool start(const QStringList &arguments = {},
               const QString &listen = QStringLiteral("127.0.0.1:0"))
    {
        process.start(QStringLiteral(VIRTUAL_PROJECTOR),
                      QStringList {QStringLiteral("--listen"), listen} + arguments);
        if (!process.waitForStarted(StartTimeoutMs))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (!greeting.contains('\n') && clock.elapsed() < StartTimeoutMs
               && process.state() == QProcess::Running) {
            process.waitForReadyRead(100);
            greeting += process.readAllStandardOutput();
        }
        static const QRegularExpression line(
            QStringLiteral("^Virtual projector on tcp://(.+):(\\d+)\\. Ctrl\\+C ends it\\.\r?\n$"));
        static const QRegularExpression fleetLine(QStringLiteral(
            "^Virtual projectors on tcp://(.+):(\\d+) to tcp://\\1:(\\d+) \\(\\d+\\)\\. "
            "Ctrl\\+C ends them\\.\r?\n$"));
        QRegularExpressionMatch match = line.match(QString::fromLatin1(greeting));
        if (!match.hasMatch()) {
            match = fleetLine.match(QString::fromLatin1(greeting));
            if (!match.hasMatch())
                return false;
            lastPort = match.captured(3).toUShort();
        }
        host = match.captured(1);
        port = match.captured(2).toUShort();
        return port != 0;
    }

    // `count` projectors on free ports. Those found free may be taken before the projectors
    // come up: then other ones are tried.
    bool startFleet(int count, const QStringList &arguments = {})
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            const quint16 first = freePorts(count);
            greeting.clear();
            if (first == 0
                || start(QStringList {QStringLiteral("--count"), QString::number(count)}
                             + arguments,
                         QStringLiteral("127.0.0.1:%1").arg(first)))
                return first != 0;
            if (process.state() != QProcess::NotRunning
                || !process.readAllStandardError().contains("cannot listen"))
                return false;
        }
        return false;
    }

    QHostAddress address() const
    {
        return QHostAddress(host.startsWith(QLatin1Char('[')) ? host.mid(1, host.size() - 2)
                                                              : host);
    }

    QProcess process;
    QByteArray greeting;
    QString host;
    quint16 port = 0;
    quint16 lastPort = 0; // of a fleet
};

struct Client
{
    explicit Client(const Server &server)
        : Client(server.address(), server.port)
    { }
    Client(const QHostAddress &address, quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [this] {
            pieces.append(socket.readAll());
            received += pieces.last();
        });
        socket.connectToHost(address, port);
    }

    bool connected() { return socket.waitForConnected(AnswerTimeoutMs); }
    bool closed()
    {
        // Asks the socket itself: under Wine a reset does not always reach Qt's event loop.
        if (socket.state() == QAbstractSocket::ConnectedState)
            socket.waitForReadyRead(0);
        return socket.state() == QAbstractSocket::UnconnectedState;
    }

    // Sends the command and returns what came back up to and with the CR that ends an answer.
    QByteArray ask(const QByteArray &command)
    {
        const qsizetype from = received.size();
        socket.write(command + '\r');
        // On a timeout, what came so far shows what is missing.
        (void)QTest::qWaitFor([&] { return received.indexOf('\r', from) >= 0 || closed(); },
                              AnswerTimeoutMs);
        return received.mid(from);
    }

    QTcpSocket socket;
    QByteArray received;
    QByteArrayList pieces;
};

// A capture file of the given event lines, in the file's notation.
QString writeCapture(const QTemporaryDir &dir, const QByteArray &events)
{
    const QString path = dir.filePath(QStringLiteral("capture.txt"));
    QFile file(path);
    const Capture::Header header {QStringLiteral("orva"),
                                  QStringLiteral("1.0"),
                                  QStringLiteral("COM3"),
                                  QStringLiteral("/dev/ttyUSB0"),
                                  19200,
                                  QDateTime(QDate(2026, 5, 4), QTime(10, 15), Qt::UTC)};
    if (!file.open(QIODevice::WriteOnly) || file.write(Capture::headerText(header) + events) < 0)
        return QString();
    return path;
}

} // namespace

class TestProjectorListen : public QObject
{
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
    void secondClientIsClosed_data();
    void secondClientIsClosed();
    void nextClientAfterTheFirstLeaves_data();
    void nextClientAfterTheFirstLeaves();
    void hangUpCutsOffAndStopsListening_data();
    void hangUpCutsOffAndStopsListening();
    void splitAnswersComeInTwoPieces_data();
    void splitAnswersComeInTwoPieces();
    void faults_data();
    void faults();
    void answersWholeAfterTheDelay_data();
    void answersWholeAfterTheDelay();
    void listensWhereAsked_data();
    void listensWhereAsked();
    void badListenValuesAreRefused_data();
    void badListenValuesAreRefused();
    void takenPortIsReported_data();
    void takenPortIsReported();
    void fleetProjectorsAreIndependent();
    void replaysACapture_data();
    void replaysACapture();
    void badCaptureIsRefused_data();
    void badCaptureIsRefused();
};

void TestProjectorListen::answers_data()
{
    QTest::addColumn<QByteArrayList>("before");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");

    const QByteArrayList nothing;
    QTest::newRow("CR0 stand by") << nothing << QByteArray("CR0") << QByteArray("80\r");
    QTest::newRow("CR1 input") << nothing << QByteArray("CR1") << QByteArray("1\r");
    QTest::newRow("CR3 lamp hours") << nothing << QByteArray("CR3") << QByteArray("00482\r");
    QTest::newRow("CR4 setting") << nothing << QByteArray("CR4") << QByteArray("11\r");
    QTest::newRow("CR6 temperatures")
        << nothing << QByteArray("CR6") << QByteArray("025.0 026.5 027.0\r");
    QTest::newRow("CR LAMPSTS") << nothing << QByteArray("CR LAMPSTS") << QByteArray("000 1O\r");
    QTest::newRow("CR LAMPMODE") << nothing << QByteArray("CR LAMPMODE")
                                 << QByteArray("000 NORMAL\r");
    QTest::newRow("CR1 after C07")
        << QByteArrayList {"C07"} << QByteArray("CR1") << QByteArray("3\r");
    QTest::newRow("basic command") << nothing << QByteArray("C0B") << Ack;
    QTest::newRow("expanded command") << nothing << QByteArray("CF VOLUME 012") << Ack;
    QTest::newRow("unknown command") << nothing << QByteArray("XYZ") << QByteArray("?\r");
}

void TestProjectorListen::answers()
{
    QFETCH(QByteArrayList, before);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    Server server;
    QVERIFY2(server.start(), server.process.readAllStandardError().constData());
    Client client(server);
    QVERIFY(client.connected());
    for (const QByteArray &setting : before)
        QCOMPARE(client.ask(setting), Ack);
    QCOMPARE(client.ask(command), answer);
}

void TestProjectorListen::secondClientIsClosed_data()
{
    QTest::addColumn<int>("others");
    QTest::newRow("one more") << 1;
    QTest::newRow("three at once") << 3;
}

void TestProjectorListen::secondClientIsClosed()
{
    QFETCH(int, others);
    Server server;
    QVERIFY(server.start());
    Client first(server);
    QVERIFY(first.connected());
    QCOMPARE(first.ask("CR0"), QByteArray("80\r"));

    std::vector<std::unique_ptr<Client>> latecomers;
    for (int i = 0; i < others; ++i)
        latecomers.push_back(std::make_unique<Client>(server));
    for (const auto &latecomer : latecomers) {
        // The system completes the connection before the projector looks at it.
        QVERIFY(latecomer->connected());
        latecomer->socket.write("C00\r");
    }
    for (const auto &latecomer : latecomers) {
        QTRY_VERIFY_WITH_TIMEOUT(latecomer->closed(), AnswerTimeoutMs);
        QCOMPARE(latecomer->received, QByteArray());
    }
    // Still served, and the latecomers' power on was never taken.
    QCOMPARE(first.ask("CR0"), QByteArray("80\r"));
    QVERIFY(!first.closed());
}

void TestProjectorListen::nextClientAfterTheFirstLeaves_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("lastWords");
    QTest::addColumn<bool>("abort");
    QTest::newRow("says goodbye") << QStringList() << QByteArray() << false;
    QTest::newRow("aborts") << QStringList() << QByteArray() << true;
    // Left half typed, it would spoil the next client's first command.
    QTest::newRow("leaves mid-command") << QStringList() << QByteArray("CR") << false;
    // Its answer, due later, is not the next client's.
    QTest::newRow("leaves before its answer")
        << QStringList {QStringLiteral("--delay"), QStringLiteral("1000")} << QByteArray("CR1\r")
        << false;
}

void TestProjectorListen::nextClientAfterTheFirstLeaves()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, lastWords);
    QFETCH(bool, abort);
    Server server;
    QVERIFY(server.start(arguments));
    {
        Client first(server);
        QVERIFY(first.connected());
        QCOMPARE(first.ask("CR4"), QByteArray("11\r"));
        first.socket.write(lastWords);
        if (abort)
            first.socket.abort();
        else
            first.socket.disconnectFromHost();
        QTRY_VERIFY(first.closed());
    }
    Client next(server);
    QVERIFY(next.connected());
    QCOMPARE(next.ask("CR0"), QByteArray("80\r"));
    QVERIFY(!next.closed());

    Client third(server);
    QVERIFY(third.connected());
    QTRY_VERIFY_WITH_TIMEOUT(third.closed(), AnswerTimeoutMs);
    QCOMPARE(next.ask("CR0"), QByteArray("80\r"));
}

void TestProjectorListen::hangUpCutsOffAndStopsListening_data()
{
    QTest::addColumn<bool>("connectFirst");
    QTest::newRow("while a client is served") << true;
    QTest::newRow("with nobody connected") << false;
}

void TestProjectorListen::hangUpCutsOffAndStopsListening()
{
    QFETCH(bool, connectFirst);
    constexpr int HangUpMs = 2000;
    Server server;
    QVERIFY(server.start({QStringLiteral("--hang-up-after"), QString::number(HangUpMs / 1000.0)}));
    QElapsedTimer clock;
    clock.start();
    if (connectFirst) {
        Client client(server);
        QVERIFY(client.connected());
        QCOMPARE(client.ask("CR0"), QByteArray("80\r"));
        QTRY_VERIFY_WITH_TIMEOUT(client.closed(), HangUpMs + 5000);
        const qint64 after = clock.elapsed();
        qInfo("cut off %lld ms after the start (asked %d ms)", after, HangUpMs);
        // The greeting may be read a while after the projector's clock started.
        QVERIFY2(after >= HangUpMs - 1000, qPrintable(QString::number(after)));
    }
    QByteArray out = server.greeting;
    QTRY_VERIFY_WITH_TIMEOUT(
        (out += server.process.readAllStandardOutput()).contains("Line dropped"), HangUpMs + 5000);

    Client late(server);
    QTRY_COMPARE_WITH_TIMEOUT(late.socket.error(), QAbstractSocket::ConnectionRefusedError,
                              AnswerTimeoutMs);
    QCOMPARE(server.process.state(), QProcess::Running);
}

void TestProjectorListen::splitAnswersComeInTwoPieces_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::newRow("CR0") << QByteArray("CR0") << QByteArray("8") << QByteArray("0\r");
    QTest::newRow("CR6") << QByteArray("CR6") << QByteArray("025.0 026")
                         << QByteArray(".5 027.0\r");
    QTest::newRow("ACK") << QByteArray("C0B") << QByteArray("\x06") << QByteArray("\r");
}

void TestProjectorListen::splitAnswersComeInTwoPieces()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    Server server;
    QVERIFY(
        server.start({QStringLiteral("--split"), QStringLiteral("--delay"), QStringLiteral("0")}));
    Client client(server);
    QVERIFY(client.connected());
    // Pieces 30 ms apart run together when this process is held up that long; a few tries make
    // that as good as impossible, while an answer sent whole never shows as two.
    bool seenInTwo = false;
    for (int attempt = 0; attempt < 5 && !seenInTwo; ++attempt) {
        client.pieces.clear();
        QCOMPARE(client.ask(command), first + second);
        if (client.pieces.size() > 1) {
            QCOMPARE(client.pieces.first(), first);
            seenInTwo = true;
        }
    }
    QVERIFY2(seenInTwo, "every answer came in one piece");
}

void TestProjectorListen::faults_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("pattern"); // the bytes received, as Latin-1
    // The answer "80" and CR as noise.
    QTest::newRow("garbage") << QStringList {QStringLiteral("--garbage")} << QByteArray("CR0\r")
                             << QStringLiteral("^[\\x80-\\xff]{3}$");
    QTest::newRow("flood") << QStringList {QStringLiteral("--flood"), QStringLiteral("200")}
                           << QByteArray() << QStringLiteral("^[!-z]{20,}$");
    // Nothing comes until the hang-up ends the wait.
    QTest::newRow("silent") << QStringList {QStringLiteral("--silent"),
                                            QStringLiteral("--hang-up-after"),
                                            QStringLiteral("1.5")}
                            << QByteArray("CR0\rC00\rCR6\r") << QStringLiteral("^$");
}

void TestProjectorListen::faults()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, command);
    QFETCH(QString, pattern);
    const QRegularExpression expected(pattern);
    Server server;
    QVERIFY(server.start(arguments));
    Client client(server);
    QVERIFY(client.connected());
    client.socket.write(command);
    const auto matches = [&] {
        return expected.match(QString::fromLatin1(client.received)).hasMatch();
    };
    QTRY_VERIFY_WITH_TIMEOUT(client.closed() || (!client.received.isEmpty() && matches()), 10000);
    QVERIFY2(matches(), client.received.toHex(' ').constData());
}

void TestProjectorListen::answersWholeAfterTheDelay_data()
{
    QTest::addColumn<int>("delayMs");
    QTest::newRow("none") << 0;
    QTest::newRow("600 ms") << 600;
}

void TestProjectorListen::answersWholeAfterTheDelay()
{
    QFETCH(int, delayMs);
    const QByteArray list("000 VGA1 XGA1 D-XGA D-WXGA3 AUTO\r");
    Server server;
    QVERIFY(server.start({QStringLiteral("--delay"), QString::number(delayMs)}));
    Client client(server);
    QVERIFY(client.connected());
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(client.ask("CR SYSLIST"), list);
    const qint64 took = clock.elapsed();
    qInfo("answered in %lld ms (delay %d ms)", took, delayMs);
    // No line speed to pace it: one write, which the loopback hands over in one piece.
    QCOMPARE(client.pieces.size(), 1);
    QVERIFY2(took >= delayMs && took < delayMs + 1000, qPrintable(QString::number(took)));
}

void TestProjectorListen::listensWhereAsked_data()
{
    QTest::addColumn<QString>("listen");
    QTest::addColumn<QStringList>("hosts");
    QTest::addColumn<bool>("ipv6");
    QTest::newRow("IPv4") << QStringLiteral("127.0.0.1:0") << QStringList {"127.0.0.1"} << false;
    QTest::newRow("IPv6") << QStringLiteral("[::1]:0") << QStringList {"[::1]"} << true;
    QTest::newRow("name") << QStringLiteral("localhost:0") << QStringList {"127.0.0.1", "[::1]"}
                          << false;
}

void TestProjectorListen::listensWhereAsked()
{
    QFETCH(QString, listen);
    QFETCH(QStringList, hosts);
    QFETCH(bool, ipv6);
    if (ipv6) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHostIPv6))
            QSKIP("no IPv6 loopback here");
    }
    Server server;
    QVERIFY2(server.start({}, listen), server.greeting.constData());
    QVERIFY2(hosts.contains(server.host), server.greeting.constData());
    Client client(server);
    QVERIFY(client.connected());
    QCOMPARE(client.ask("CR0"), QByteArray("80\r"));
}

void TestProjectorListen::badListenValuesAreRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("message");
    const auto listen = [](const char *value) {
        return QStringList {QStringLiteral("--listen"), QString::fromLatin1(value)};
    };
    QTest::newRow("no value") << QStringList {QStringLiteral("--listen")} << QByteArray("listen");
    QTest::newRow("no port") << listen("127.0.0.1") << QByteArray("HOST:PORT");
    QTest::newRow("no host") << listen(":5000") << QByteArray("HOST:PORT");
    QTest::newRow("empty port") << listen("127.0.0.1:") << QByteArray("0 (any free one) to 65535");
    QTest::newRow("port a word") << listen("localhost:http")
                                 << QByteArray("0 (any free one) to 65535");
    QTest::newRow("port 70000") << listen("127.0.0.1:70000")
                                << QByteArray("0 (any free one) to 65535");
    QTest::newRow("port -1") << listen("127.0.0.1:-1") << QByteArray("0 (any free one) to 65535");
    QTest::newRow("IPv6 without brackets") << listen("::1:5000") << QByteArray("brackets");
    QTest::newRow("bracket left open") << listen("[::1:5000") << QByteArray("[IPv6 address]");
    QTest::newRow("IPv4 in brackets") << listen("[127.0.0.1]:5000") << QByteArray("[IPv6 address]");
    QTest::newRow("with --port") << listen("127.0.0.1:0") + QStringList {"--port", "2"}
                                 << QByteArray("--listen excludes --port and --device");
    QTest::newRow("with --device") << listen("127.0.0.1:0") + QStringList {"--device", "/dev/null"}
                                   << QByteArray("--listen excludes --port and --device");
    QTest::newRow("with --baud") << listen("127.0.0.1:0") + QStringList {"--baud", "9600"}
                                 << QByteArray("no line speed");
    const QByteArray wholeCount("--count takes a whole number from 1 to 65535");
    QTest::newRow("count 0") << listen("127.0.0.1:5000") + QStringList {"--count", "0"}
                             << wholeCount;
    QTest::newRow("count -3") << listen("127.0.0.1:5000") + QStringList {"--count", "-3"}
                              << wholeCount;
    QTest::newRow("count a word") << listen("127.0.0.1:5000") + QStringList {"--count", "ten"}
                                  << wholeCount;
    QTest::newRow("count past 65535")
        << listen("127.0.0.1:65000") + QStringList {"--count", "537"}
        << QByteArray("--count 537 from port 65000 runs past port 65535; 536 fit");
    QTest::newRow("count from port 0") << listen("127.0.0.1:0") + QStringList {"--count", "2"}
                                       << QByteArray("--count 2 needs a first port other than 0");
    QTest::newRow("count without --listen")
        << QStringList {"--count", "2"} << QByteArray("--count needs --listen");
    QTest::newRow("count past 99999 lamp hours")
        << listen("127.0.0.1:5000") + QStringList {"--count", "3", "--lamp-hours", "99998"}
        << QByteArray("runs past 99999 lamp hours");
    // One capture is one line's.
    QTest::newRow("record a fleet")
        << listen("127.0.0.1:5000") + QStringList {"--count", "2", "--record", "c"}
        << QByteArray("--record records one projector");
    QTest::newRow("record nowhere") << listen("127.0.0.1:0") + QStringList {"--record="}
                                    << QByteArray("--record needs a file name");
}

void TestProjectorListen::badListenValuesAreRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, message);
    QProcess process;
    process.start(QStringLiteral(VIRTUAL_PROJECTOR), arguments);
    QVERIFY(process.waitForFinished(StartTimeoutMs));
    const QByteArray error = process.readAllStandardError();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 64);
    QVERIFY2(error.contains(message), error.constData());
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
}

void TestProjectorListen::takenPortIsReported_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("taken"); // the one of them held by another program, -1 none
    QTest::addColumn<int>("hardLimit"); // of open files, 0 as it is
    QTest::addColumn<QString>("message"); // %1: the taken port
    const QString taken = QStringLiteral("cannot listen on 127.0.0.1 port %1");
    QTest::newRow("one projector") << 1 << 0 << 0 << taken;
    QTest::newRow("last of a fleet") << 3 << 2 << 0 << taken;
    QTest::newRow("too many for the open files")
        << 50 << -1 << 100
        << QStringLiteral("cannot serve 50 projectors: each holds 2 open files (its port and its "
                          "client), and no more than 100 may be open here, enough for 18");
}

void TestProjectorListen::takenPortIsReported()
{
    QFETCH(int, count);
    QFETCH(int, taken);
    QFETCH(int, hardLimit);
    QFETCH(QString, message);
#ifndef Q_OS_UNIX
    if (hardLimit > 0)
        QSKIP("Windows counts no sockets against an open-file limit");
#endif
    const quint16 first = freePorts(count);
    QVERIFY(first != 0);
    QTcpServer holder;
    if (taken >= 0)
        QVERIFY(holder.listen(QHostAddress::LocalHost, quint16(first + taken)));
    QProcess process;
    limitOpenFiles(&process, 64, hardLimit);
    process.start(QStringLiteral(VIRTUAL_PROJECTOR),
                  {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(first),
                   QStringLiteral("--count"), QString::number(count)});
    QVERIFY(process.waitForFinished(StartTimeoutMs));
    const QByteArray error = process.readAllStandardError();
    QCOMPARE(process.exitCode(), 1);
    if (taken >= 0)
        message = message.arg(holder.serverPort());
    QVERIFY2(error.contains(message.toLatin1()), error.constData());
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
}

void TestProjectorListen::fleetProjectorsAreIndependent()
{
    constexpr int Count = 3;
    Server server;
    // More than the soft limit allows: it is raised.
    limitOpenFiles(&server.process, 64, 200);
    QVERIFY2(server.startFleet(Count,
                               {QStringLiteral("--lamp-hours"), QStringLiteral("100"),
                                QStringLiteral("--countdown-ms"), QStringLiteral("60000")}),
             server.greeting.constData());
    QCOMPARE(server.lastPort, server.port + Count - 1);

    // Each serves a client of its own, all at once.
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < Count; ++i) {
        clients.push_back(std::make_unique<Client>(server.address(), quint16(server.port + i)));
        QVERIFY(clients.back()->connected());
        QCOMPARE(clients.back()->ask("CR3"), "0010" + QByteArray::number(i) + '\r');
    }
    QCOMPARE(clients[1]->ask("C00"), Ack);
    QCOMPARE(clients[1]->ask("CR0"), QByteArray("40\r"));
    QCOMPARE(clients[0]->ask("CR0"), QByteArray("80\r"));
    QCOMPARE(clients[2]->ask("CR0"), QByteArray("80\r"));

    Client latecomer(server.address(), server.lastPort);
    QVERIFY(latecomer.connected());
    QTRY_VERIFY_WITH_TIMEOUT(latecomer.closed(), AnswerTimeoutMs);
    QCOMPARE(clients[2]->ask("CR1"), QByteArray("1\r"));
}

void TestProjectorListen::replaysACapture_data()
{
    QTest::addColumn<QByteArray>("events");
    QTest::addColumn<QByteArray>("greeting"); // what comes unasked on connecting
    QTest::addColumn<QByteArrayList>("exchanges"); // a command, then its answer, and so on
    QTest::addColumn<int>("slowestMs"); // the longest recorded wait for a whole answer
    QTest::addColumn<QStringList>("logged"); // answer lines of --log, after the time
    const QByteArray warmingUp("0.100000 > CR0[CR]\n0.130000 < 80[CR]\n1.000000 > CR0[CR]\n"
                               "1.030000 < 40[CR]\n");
    QTest::newRow("in order, then the last; the rest simulated")
        << warmingUp << QByteArray()
        << QByteArrayList {"CR0", "80\r", "CR0", "40\r", "CR0", "40\r", "CR1", "1\r"} << 30
        << QStringList {"-> 80[CR] (replay)", "-> 40[CR] (replay)", "-> 40[CR] (replay)",
                        "-> 1[CR]"};
    QTest::newRow("a status no decoder knows, in two pieces")
        << QByteArray("0.000000 > CR0[CR]\n0.040000 < 9\n0.400000 < 9[CR]\n") << QByteArray()
        << QByteArrayList {"CR0", "99\r"} << 400
        << QStringList {"-> 9 (replay)", "-> 9[CR] (replay)"};
    QTest::newRow("talks first") << QByteArray(
        "0.000000 open\n0.200000 < HELLO[CR]\n0.300000 > C00[CR]\n"
        "0.320000 < [ACK][CR]\n") << QByteArray("HELLO\r")
                                 << QByteArrayList {"C00", "\x06\r", "CR0", "40\r"} << 20
                                 << QStringList {"-> HELLO[CR] (replay, unsolicited)",
                                                 "-> [ACK][CR] (replay)", "-> 40[CR]"};
}

void TestProjectorListen::replaysACapture()
{
    QFETCH(QByteArray, events);
    QFETCH(QByteArray, greeting);
    QFETCH(QByteArrayList, exchanges);
    QFETCH(int, slowestMs);
    QFETCH(QStringList, logged);
    QTemporaryDir dir;
    const QString capture = writeCapture(dir, events);
    QVERIFY(!capture.isEmpty());
    Server server;
    QVERIFY2(server.start({QStringLiteral("--replay"), capture, QStringLiteral("--log"),
                           QStringLiteral("--countdown-ms"), QStringLiteral("60000")}),
             server.process.readAllStandardError().constData());
    Client client(server);
    QVERIFY(client.connected());
    if (!greeting.isEmpty())
        QTRY_COMPARE_WITH_TIMEOUT(client.received, greeting, AnswerTimeoutMs);
    client.received.clear();
    qint64 slowest = 0;
    for (qsizetype i = 0; i + 1 < exchanges.size(); i += 2) {
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(client.ask(exchanges.at(i)), exchanges.at(i + 1));
        slowest = qMax(slowest, clock.elapsed());
    }
    // Never sooner than recorded, whatever the load.
    QVERIFY2(slowest >= slowestMs, qPrintable(QString::number(slowest)));

    // Read while it runs: a console program on Windows cannot be asked to end.
    QByteArray log;
    QStringList answers;
    const auto allLogged = [&] {
        log += server.process.readAllStandardError();
        answers.clear();
        for (const QString &line :
             QString::fromLatin1(log).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (line.mid(13).startsWith(QLatin1String("->")))
                answers.append(line.mid(13).trimmed()); // CR LF on Windows
        }
        return answers.size() >= logged.size();
    };
    QTRY_VERIFY_WITH_TIMEOUT(allLogged(), AnswerTimeoutMs);
    QCOMPARE(answers, logged);
}

void TestProjectorListen::badCaptureIsRefused_data()
{
    QTest::addColumn<QByteArray>("events"); // after a header; the file is missing when null
    QTest::addColumn<QString>("message"); // after the file's name
    QTest::newRow("a time without six decimals")
        << QByteArray("0.000000 > CR0[CR]\n1.5 < 80[CR]\n") << QStringLiteral(":9: ");
    QTest::newRow("a bracket left open")
        << QByteArray("0.000000 > CR0[CR]\n0.100000 < 80[C\n") << QStringLiteral(":9: ");
    QTest::newRow("an unknown event")
        << QByteArray("0.000000 sent CR0[CR]\n") << QStringLiteral(":8: ");
    QTest::newRow("no file") << QByteArray() << QStringLiteral(": ");
}

void TestProjectorListen::badCaptureIsRefused()
{
    QFETCH(QByteArray, events);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QString capture = dir.filePath(QStringLiteral("missing.txt"));
    if (!events.isNull())
        capture = writeCapture(dir, events);
    QProcess process;
    process.start(QStringLiteral(VIRTUAL_PROJECTOR),
                  {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                   QStringLiteral("--replay"), capture});
    QVERIFY(process.waitForFinished(StartTimeoutMs));
    const QByteArray error = process.readAllStandardError();
    QCOMPARE(process.exitCode(), 64);
    QVERIFY2(error.startsWith(("virtual-projector: " + capture + message).toLocal8Bit()),
             error.constData());
    // Nothing listened: no greeting.
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
}

QTEST_MAIN(TestProjectorListen)
#include "tst_projectorlisten.moc"
