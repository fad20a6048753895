#include "app/form1.h"
#include "app/look.h"
#include "link/engine.h"
#include "link/qtserialport.h"
#include "link/timer.h"
#include "support/ptyline.h"
#include "tools/pty/pty.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

#include <termios.h>

namespace {

// The line on COM3.
struct Line : PtyLine
{
    explicit Line(const QByteArray &baudRate = "96")
        : PtyLine(3, baudRate)
    { }
};

} // namespace

class TestSerialLine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Look::install(); }
    void opensStoredPortAtStoredSpeed_data();
    void opensStoredPortAtStoredSpeed();
    void commandReachesTheLine();
    void replyInTwoPiecesIsDecoded();
    void unansweredCommandOnRealTimers();
    void hangUpClosesThePortOnce();
    void oneSecondHoldOnTheLine();
};

void TestSerialLine::opensStoredPortAtStoredSpeed_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("speed");
    QTest::newRow("9600") << QByteArray("96") << int(B9600);
    QTest::newRow("19200") << QByteArray("192") << int(B19200);
    QTest::newRow("anything else") << QByteArray("7") << int(B19200);
}

void TestSerialLine::opensStoredPortAtStoredSpeed()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, speed);
    Line line(stored);
    QVERIFY(line.pty.isValid());
    QVERIFY(line.form.Form_Load());
    QVERIFY(line.port.isOpen());
    termios attributes {};
    QVERIFY(line.pty.slaveAttributes(&attributes));
    QCOMPARE(int(cfgetospeed(&attributes)), speed);
    QCOMPARE(int(cfgetispeed(&attributes)), speed);
    QCOMPARE(int(attributes.c_cflag & CSIZE), int(CS8));
    QVERIFY(!(attributes.c_cflag & PARENB));
    QVERIFY(!(attributes.c_cflag & CSTOPB));
}

void TestSerialLine::commandReachesTheLine()
{
    Line line;
    QVERIFY(line.form.Form_Load());
    line.engine.CurrentCommand = "CR LAMPSTS\r";
    line.engine.Hyouji(line.engine.CurrentCommand, Engine::SendMode);
    // Written at once, without waiting for the event loop.
    QCOMPARE(line.pty.read(11, 1000), QByteArray("CR LAMPSTS\r"));
    QCOMPARE(line.pty.read(1, 50), QByteArray());
}

void TestSerialLine::replyInTwoPiecesIsDecoded()
{
    Line line;
    QVERIFY(line.form.Form_Load());
    line.engine.CurrentCommand = "CR0\r";
    line.engine.Hyouji(line.engine.CurrentCommand, Engine::SendMode);
    QCOMPARE(line.pty.read(4, 1000), QByteArray("CR0\r"));
    line.pty.write("8");
    QTRY_COMPARE(line.form.Label12->text(), QStringLiteral(" 8 "));
    QCOMPARE(line.form.Label25->text(), QString());
    line.pty.write("0\r");
    QTRY_COMPARE(line.form.Label12->text(), QStringLiteral(" 8 0  [CR] "));
    QCOMPARE(line.form.Label25->text(), QStringLiteral(" Stand by"));
}

void TestSerialLine::unansweredCommandOnRealTimers()
{
    Line line;
    QVERIFY(line.form.Form_Load());
    QSignalSpy changes(&line.engine, &Engine::displayChanged);
    QElapsedTimer clock;
    clock.start();
    line.engine.Hyouji("C00\r", Engine::SendMode);
    QTRY_COMPARE_WITH_TIMEOUT(line.form.Label12->text(), QStringLiteral(" X X X X"), 3000);
    const qint64 marked = clock.elapsed();
    QTRY_COMPARE_WITH_TIMEOUT(line.form.Label11->text(), QString(), 3000);
    const qint64 cleared = clock.elapsed();
    // Generous bounds for a loaded two-core machine; the manual-clock tests pin the exact times.
    QVERIFY2(marked >= 990 && marked < 1400, qPrintable(QString::number(marked)));
    QVERIFY2(cleared >= 1190 && cleared < 1700, qPrintable(QString::number(cleared)));
    QCOMPARE(line.form.Label12->text(), QString());
}

void TestSerialLine::hangUpClosesThePortOnce()
{
    Line line;
    QVERIFY(line.form.Form_Load());
    auto *qtPort = line.port.findChild<QSerialPort *>();
    QVERIFY(qtPort);
    QSignalSpy errors(qtPort, &QSerialPort::errorOccurred);
    QSignalSpy lost(&line.port, &SerialPort::lost);

    QElapsedTimer clock;
    clock.start();
    line.pty.hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(!qtPort->isOpen(), 1000);
    QVERIFY(clock.elapsed() < 1000);
    QCOMPARE(lost.count(), 1);
    QVERIFY2(errors.count() < 100, qPrintable(QString::number(errors.count())));
    QVERIFY(!line.port.isOpen());

    // No busy loop after the line has gone.
    const double before = cpuSeconds();
    QTest::qWait(500);
    QVERIFY2(cpuSeconds() - before < 0.2, "the event loop keeps spinning after a hang-up");

    line.engine.CurrentCommand = "CR0\r";
    line.engine.Hyouji(line.engine.CurrentCommand, Engine::SendMode);
    QTRY_COMPARE_WITH_TIMEOUT(line.form.Label12->text(), QStringLiteral(" X X X X"), 3000);
    QCOMPARE(lost.count(), 1);
}

void TestSerialLine::oneSecondHoldOnTheLine()
{
    Line line;
    QVERIFY(line.form.Form_Load());
    QPushButton *volumeUp = line.form.button(1);
    QElapsedTimer clock;
    clock.start();
    QTest::mousePress(volumeUp, Qt::LeftButton);
    // Holding is the action under test: a second of real time.
    while (clock.elapsed() < 1000)
        QTest::qWait(int(1000 - clock.elapsed()));
    QTest::mouseRelease(volumeUp, Qt::LeftButton);
    const QByteArray wire = line.pty.read(64 * 4, 300);
    const int commands = wire.count("C09\r");
    QCOMPARE(wire.size(), commands * 4);
    QVERIFY2(commands >= 10 && commands <= 12, qPrintable(QString::number(commands)));
    // Nothing after the release.
    QCOMPARE(line.pty.read(1, 300), QByteArray());
}

QTEST_MAIN(TestSerialLine)
#include "tst_serialline.moc"
