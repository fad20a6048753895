#include "app/form1.h"
#include "engine/engine.h"
#include "link/linkport.h"
#include "engine/timer.h"
#include "panel/look.h"
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
    void twoSecondHoldOnTheLine();
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
    line.engine.send("CR LAMPSTS");
    // Written at once, without waiting for the event loop.
    QCOMPARE(line.pty.read(11, 1000), QByteArray("CR LAMPSTS\r"));
    QCOMPARE(line.pty.read(1, 50), QByteArray());
}

void TestSerialLine::replyInTwoPiecesIsDecoded()
{
    Line line;
    QVERIFY(line.form.Form_Load());
    line.engine.send("CR0");
    QCOMPARE(line.pty.read(4, 1000), QByteArray("CR0\r"));
    line.pty.write("8");
    QTRY_COMPARE(line.form.Label12->text(), QStringLiteral(" 8 "));
    QCOMPARE(line.form.Label25->text(), QString());
    line.pty.write("0\r");
    QTRY_COMPARE(line.form.Label12->text(), QStringLiteral(" 8 0  [CR] "));
    QCOMPARE(line.form.Label25->text(), QStringLiteral(" Stand by"));
}

// Real timers are wired to the right intervals. The bounds only tell 1000/1200 ms apart from the
// other intervals these timers take (150, 200, 500, 5500, 6000 ms) on a loaded machine; the
// manual-clock tests pin the exact times.
void TestSerialLine::unansweredCommandOnRealTimers()
{
    Line line;
    QVERIFY(line.form.Form_Load());
    QElapsedTimer clock;
    qint64 markedMs = -1, clearedMs = -1;
    connect(&line.engine, &Engine::displayChanged, this, [&] {
        const Engine::Display &display = line.engine.display();
        if (markedMs < 0 && display.rxd == QLatin1String(" X X X X"))
            markedMs = clock.elapsed();
        if (markedMs >= 0 && clearedMs < 0 && display.txd.isEmpty())
            clearedMs = clock.elapsed();
    });
    clock.start();
    line.engine.sendAsTyped("C00\r");
    QTRY_VERIFY_WITH_TIMEOUT(clearedMs >= 0, 5000);
    line.engine.disconnect(this);
    QVERIFY2(markedMs >= 995 && markedMs < 3000, qPrintable(QString::number(markedMs)));
    QVERIFY2(clearedMs >= 1195 && clearedMs < 3200, qPrintable(QString::number(clearedMs)));
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
    // The hang-up check runs every 200 ms; 3 s leaves room for a stalled machine.
    QTRY_VERIFY_WITH_TIMEOUT(!qtPort->isOpen(), 3000);
    QCOMPARE(lost.count(), 1);
    QVERIFY2(errors.count() < 100, qPrintable(QString::number(errors.count())));
    QVERIFY(!line.port.isOpen());

    // No busy loop after the line has gone: spinning takes a third of a core or more even on a
    // loaded two-core machine; an idle program takes a few milliseconds.
    const double before = cpuSeconds();
    QTest::qWait(1000);
    QVERIFY2(cpuSeconds() - before < 0.25, "the event loop keeps spinning after a hang-up");

    line.engine.send("CR0");
    QTRY_COMPARE_WITH_TIMEOUT(line.form.Label12->text(), QStringLiteral(" X X X X"), 3000);
    QCOMPARE(lost.count(), 1);
}

// A hold repeats on real timers at 100 ms. Qt drops ticks that come late rather than catching up,
// so a stalled machine sends fewer; the lower bound still tells 100 ms from the 200 ms of a first
// repeat interval left in place (11 in two seconds), and no hold sends more than its time allows.
void TestSerialLine::twoSecondHoldOnTheLine()
{
    Line line;
    QVERIFY(line.form.Form_Load());
    QPushButton *volumeUp = line.form.button(1);
    QElapsedTimer clock;
    clock.start();
    QTest::mousePress(volumeUp, Qt::LeftButton);
    // Holding is the action under test: two seconds of real time.
    while (clock.elapsed() < 2000)
        QTest::qWait(int(2000 - clock.elapsed()));
    QTest::mouseRelease(volumeUp, Qt::LeftButton);
    const qint64 heldMs = clock.elapsed();
    const QByteArray wire = line.pty.read(64 * 4, 300);
    const int commands = wire.count("C09\r");
    QCOMPARE(wire.size(), commands * 4);
    const qint64 most = 1 + heldMs / 100;
    QVERIFY2(commands >= 14 && commands <= most,
             qPrintable(QStringLiteral("%1 in %2 ms").arg(commands).arg(heldMs)));
    // Nothing after the release.
    QCOMPARE(line.pty.read(1, 300), QByteArray());
}

QTEST_MAIN(TestSerialLine)
#include "tst_serialline.moc"
