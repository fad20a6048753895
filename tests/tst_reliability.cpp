#include "app/form1.h"
#include "app/look.h"
#include "link/qtserialport.h"
#include "link/render.h"
#include "link/timer.h"
#include "support/configfolder.h"
#include "support/enginefixture.h"
#include "tools/pty/pty.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

#include <sys/resource.h>

namespace {

const QByteArray Commands[] = {"CR0",        "CR1",         "CR3", "CR4", "CR6",
                               "CR LAMPSTS", "CR LAMPMODE", "C34", "CR7", "CF LAMPMODE ECO1"};

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

// What reaches the line while the program keeps running.
QByteArray readRunning(Pty &pty, int wanted, int timeoutMs)
{
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    while (received.size() < wanted && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        received += pty.read(wanted - received.size(), 5);
    }
    return received;
}

// The real program's parts on a pseudo-terminal linked as COM4.
struct Line
{
    Line()
    {
        pty.linkAs(4);
        config.writeSettingsFile("[StartUP]\nComPort=4\nBaudRate=192\n");
    }
    ConfigFolder config;
    Pty pty;
    QtTimerFactory timers;
    QtSerialPort port;
    Engine engine {&port, timers};
    Form1 form {&engine};
};

} // namespace

class TestReliability : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Look::install(); }
    void everyByteAfterEveryCommand();
    void randomChunkingShowsTheSame();
    void markupShowsAsCharacters_data();
    void markupShowsAsCharacters();
    void floodKeepsTheBufferBounded();
    void rapidClicksAllReachTheLine();
    void hangUp_data();
    void hangUp();
};

// A single byte of any value after any command: echoed as rendered, decoded only where a
// one-character reply means something.
void TestReliability::everyByteAfterEveryCommand()
{
    for (const QByteArray &command : Commands) {
        for (int code = 0; code < 256; ++code) {
            EngineFixture f;
            f.click(command);
            const QByteArray byte(1, char(code));
            f.receive(byte);
            QCOMPARE(f.rxd(), Render::echo(byte).text);
            const bool decodes = command == "CR1" && code >= '1' && code <= '5';
            QVERIFY2(f.status().isEmpty() != decodes,
                     qPrintable(QStringLiteral("%1 after %2").arg(code).arg(command)));
        }
    }
}

// Random replies in random pieces: the echo is that of the whole, and the decoders that look at
// the start of a reply give what the whole reply gives.
void TestReliability::randomChunkingShowsTheSame()
{
    QRandomGenerator random(20261207);
    const QByteArray prefixDecoded[] = {"CR0", "CR1", "CR4", "CR LAMPSTS"};
    const QByteArray replies[] = {"80\r", "3\r", "01\r", "000 1X\r", "00\r", "5", "000 1O"};
    for (int round = 0; round < 2000; ++round) {
        const QByteArray &command = prefixDecoded[random.bounded(4)];
        QByteArray reply = replies[random.bounded(7)];
        const int noise = random.bounded(6);
        for (int i = 0; i < noise; ++i)
            reply.append(char(random.bounded(256)));
        if (random.bounded(4) == 0)
            reply.prepend(char(random.bounded(256)));

        EngineFixture whole;
        whole.click(command);
        whole.receive(reply);

        EngineFixture pieces;
        pieces.click(command);
        for (int at = 0; at < reply.size();) {
            const int length = 1 + random.bounded(reply.size() - at);
            pieces.receive(reply.mid(at, length));
            at += length;
        }
        QCOMPARE(pieces.rxd(), whole.rxd());
        QCOMPARE(pieces.status(), whole.status());
    }
}

void TestReliability::markupShowsAsCharacters_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("bold") << QByteArray("<b>x</b>");
    QTest::newRow("image") << QByteArray("<img src=x>");
    QTest::newRow("entity") << QByteArray("&amp;");
}

void TestReliability::markupShowsAsCharacters()
{
    QFETCH(QByteArray, reply);
    ConfigFolder config;
    EngineFixture f;
    Form1 form(&f.engine);
    f.click("C34");
    f.receive(reply);
    QCOMPARE(form.Label12->text(), Render::echo(reply).text);
    for (QLabel *label : form.findChildren<QLabel *>())
        QCOMPARE(label->textFormat(), Qt::PlainText);
}

void TestReliability::floodKeepsTheBufferBounded()
{
    Line line;
    QVERIFY(line.form.Form_Load());
    QTest::mouseClick(line.form.button(17), Qt::LeftButton);
    QCOMPARE(line.pty.read(4, 1000), QByteArray("C00\r"));
    const qint64 before = residentKiB();
    QByteArray flood(100000, 'F');
    for (int i = 0; i < flood.size(); i += 7)
        flood[i] = char(0x80 + i % 100);
    // The panel reads on this thread: feed the line as it takes it.
    for (qsizetype sent = 0; sent < flood.size();) {
        const qsizetype n = line.pty.tryWrite(flood.mid(sent));
        QVERIFY(n >= 0);
        sent += n;
        QCoreApplication::processEvents();
    }
    QTRY_COMPARE_WITH_TIMEOUT(line.pty.pendingForSlave(), 0, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(line.port.findChild<QSerialPort *>()->bytesAvailable(), qint64(0),
                              5000);
    QCOMPARE(line.engine.RxBuffer.size(), Engine::MaxRxBufferChars);
    QVERIFY2(residentKiB() - before < 10 * 1024,
             qPrintable(QStringLiteral("%1 KiB more").arg(residentKiB() - before)));

    // The next send starts clean. Long windows: a loaded machine must not blank the answer first.
    line.engine.setIntervals(5000, 6000);
    QTest::mouseClick(line.form.button(44), Qt::LeftButton);
    QVERIFY(line.engine.RxBuffer.isEmpty());
    QCOMPARE(line.pty.read(4, 1000), QByteArray("CR0\r"));
    line.pty.write("80\r");
    QTRY_COMPARE(line.form.Label25->text(), QStringLiteral(" Stand by"));
    QCOMPARE(line.form.Label12->text(), QStringLiteral(" 8 0  [CR] "));
}

void TestReliability::rapidClicksAllReachTheLine()
{
    Line line;
    QVERIFY(line.form.Form_Load());
    const int buttons[] = {17, 18, 44, 55, 60};
    QByteArray expected;
    for (int i = 0; i < 100; ++i) {
        QPushButton *button = line.form.button(buttons[i % 5]);
        QTest::mouseClick(button, Qt::LeftButton);
        expected += line.engine.CurrentCommand;
    }
    QCOMPARE(line.pty.read(expected.size(), 5000), expected);
}

void TestReliability::hangUp_data()
{
    QTest::addColumn<QString>("when");
    QTest::newRow("idle") << "idle";
    QTest::newRow("during a hold") << "hold";
    QTest::newRow("during a reply") << "reply";
}

// The cable pulled: the port closes once, a hold stops, and nothing spins.
void TestReliability::hangUp()
{
    QFETCH(QString, when);
    Line line;
    QVERIFY(line.form.Form_Load());
    QSignalSpy lost(&line.port, &SerialPort::lost);
    auto *qtPort = line.port.findChild<QSerialPort *>();
    if (when == QLatin1String("hold")) {
        QTest::mousePress(line.form.button(1), Qt::LeftButton);
        QCOMPARE(readRunning(line.pty, 8, 2000), QByteArray("C09\rC09\r"));
    } else if (when == QLatin1String("reply")) {
        QTest::mouseClick(line.form.button(54), Qt::LeftButton);
        QCOMPARE(line.pty.read(4, 1000), QByteArray("CR6\r"));
        line.pty.write("025.0 03");
        QTRY_VERIFY(!line.engine.RxBuffer.isEmpty());
    }
    line.pty.hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(!qtPort->isOpen(), 1000);
    QCOMPARE(lost.count(), 1);
    QCOMPARE(line.engine.HoldActive, qint16(0));
    QVERIFY(!line.engine.Timer1->isActive());

    const double before = cpuSeconds();
    QTest::qWait(500); // how busy is the program with the line gone
    QVERIFY2(cpuSeconds() - before < 0.2, "busy after the hang-up");
    if (when == QLatin1String("hold"))
        QTest::mouseRelease(line.form.button(1), Qt::LeftButton);
    QCOMPARE(lost.count(), 1);
    QVERIFY(!line.port.isOpen());
}

QTEST_MAIN(TestReliability)
#include "tst_reliability.moc"
