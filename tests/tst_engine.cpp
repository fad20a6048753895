#include "link/render.h"
#include "support/enginefixture.h"

#include <QTest>

// Sends, echoes, the reply window and the display clear, on a manual clock.
class TestEngine : public QObject
{
    Q_OBJECT
private slots:
    void sendWritesOneFrameAndEchoes();
    void sendKeepsStatus();
    void receivedAckShowsLegends();
    void answeredTimeline();
    void unansweredTimeline();
    void legendsStayUntilReplyWindowEnds();
    void everySendRestartsBothWindows();
    void initialIntervalsWithoutStartup();
    void nonReceiveEventsAreIgnored();
    void sendWithPortClosedWritesNothing();
    void sendAfterPortLost();
    void receiveBufferIsBounded();
    void emptyReceiveEventChangesNothing();
    void fullBufferShownAgainAfterDisplayClear();
    void writeFailureDuringHoldStopsRepeat_data();
    void writeFailureDuringHoldStopsRepeat();
};

void TestEngine::sendWritesOneFrameAndEchoes()
{
    EngineFixture f;
    f.click("C34");
    QCOMPARE(f.port.writes, QByteArrayList {QByteArray("C34\r")});
    QCOMPARE(f.txd(), QStringLiteral(" C 3 4  [CR] "));
    QCOMPARE(f.rxd(), QString());
    QVERIFY(f.engine.RxBuffer.isEmpty());
    QCOMPARE(f.engine.AwaitingReply, quint8(1));
    QVERIFY(f.engine.display().crLegend);
    QVERIFY(!f.engine.display().spaceLegend);
    QVERIFY(f.engine.Timer2->isActive());
    QVERIFY(f.engine.Timer4->isActive());

    f.click("CR LAMPSTS");
    QCOMPARE(f.port.writes.last(), QByteArray("CR LAMPSTS\r"));
    QCOMPARE(f.txd(), QStringLiteral(" C R _ L A M P S T S  [CR] "));
    QVERIFY(f.engine.display().spaceLegend);
}

void TestEngine::sendKeepsStatus()
{
    EngineFixture f;
    f.click("CR0");
    f.receive("80\r");
    f.click("C34");
    QCOMPARE(f.status(), QStringLiteral(" Stand by"));
    QVERIFY(f.rxd().isEmpty());
}

void TestEngine::receivedAckShowsLegends()
{
    EngineFixture f;
    f.click("C34");
    f.receive("\x06\r");
    QCOMPARE(f.rxd(), QStringLiteral("  [ACK]  [CR] "));
    QVERIFY(f.engine.display().ackLegend);
    QCOMPARE(f.engine.AwaitingReply, quint8(0));
    QCOMPARE(f.status(), QString());
}

void TestEngine::answeredTimeline()
{
    EngineFixture f;
    f.click("CR0");
    f.clock.advance(40);
    f.receive("80\r");
    QCOMPARE(f.rxd(), QStringLiteral(" 8 0  [CR] "));
    QCOMPARE(f.status(), QStringLiteral(" Stand by"));
    f.clock.advance(959);
    QVERIFY(f.engine.display().crLegend);
    QCOMPARE(f.engine.RxBuffer, QByteArray("80\r"));
    f.clock.advance(1); // 1000 ms: end of the reply window, no mark
    QCOMPARE(f.rxd(), QStringLiteral(" 8 0  [CR] "));
    QVERIFY(!f.engine.display().crLegend);
    QVERIFY(f.engine.RxBuffer.isEmpty());
    QVERIFY(!f.engine.Timer2->isActive());
    QCOMPARE(f.txd(), QStringLiteral(" C R 0  [CR] "));
    f.clock.advance(199);
    QCOMPARE(f.status(), QStringLiteral(" Stand by"));
    f.clock.advance(1); // 1200 ms: display clear
    QCOMPARE(f.txd(), QString());
    QCOMPARE(f.rxd(), QString());
    QCOMPARE(f.status(), QString());
    QVERIFY(!f.engine.Timer4->isActive());
}

void TestEngine::unansweredTimeline()
{
    EngineFixture f;
    f.click("C00");
    f.clock.advance(999);
    QCOMPARE(f.rxd(), QString());
    f.clock.advance(1);
    QCOMPARE(f.rxd(), QStringLiteral(" X X X X"));
    QCOMPARE(f.engine.AwaitingReply, quint8(0));
    QCOMPARE(f.txd(), QStringLiteral(" C 0 0  [CR] "));
    f.clock.advance(199);
    QCOMPARE(f.rxd(), QStringLiteral(" X X X X"));
    f.clock.advance(1);
    QCOMPARE(f.rxd(), QString());
    QCOMPARE(f.txd(), QString());
    // Nothing ticks any more.
    f.clock.advance(10000);
    QCOMPARE(f.port.writes.size(), 1);
    QCOMPARE(f.rxd(), QString());
}

void TestEngine::legendsStayUntilReplyWindowEnds()
{
    EngineFixture f;
    f.click("C34");
    f.receive("\x06 \r");
    f.click("C0B"); // a later send shows only CR, the legends already shown stay
    QVERIFY(f.engine.display().ackLegend);
    QVERIFY(f.engine.display().spaceLegend);
    f.clock.advance(1000);
    QVERIFY(!f.engine.display().ackLegend);
    QVERIFY(!f.engine.display().spaceLegend);
    QVERIFY(!f.engine.display().crLegend);
}

void TestEngine::everySendRestartsBothWindows()
{
    EngineFixture f;
    f.click("C00");
    f.clock.advance(900);
    f.click("C01");
    f.clock.advance(900); // 1800 ms after the first send, 900 after the second
    QCOMPARE(f.rxd(), QString());
    QCOMPARE(f.txd(), QStringLiteral(" C 0 1  [CR] "));
    f.clock.advance(100);
    QCOMPARE(f.rxd(), QStringLiteral(" X X X X"));
    f.clock.advance(200);
    QCOMPARE(f.txd(), QString());
}

void TestEngine::initialIntervalsWithoutStartup()
{
    FakeSerialPort port;
    ManualClock clock;
    Engine engine(&port, clock);
    QCOMPARE(engine.Timer1->interval(), 200);
    QCOMPARE(engine.Timer2->interval(), 5500);
    QCOMPARE(engine.Timer4->interval(), 6000);
    QVERIFY(!engine.Timer1->isActive() && !engine.Timer2->isActive() && !engine.Timer4->isActive());
    engine.openPort(2, Wire::Baud19200Code);
    engine.Hyouji("C00\r", Engine::SendMode);
    clock.advance(5499);
    QCOMPARE(engine.display().rxd, QString());
    clock.advance(1);
    QCOMPARE(engine.display().rxd, QStringLiteral(" X X X X"));
    clock.advance(499);
    QVERIFY(!engine.display().txd.isEmpty());
    clock.advance(1);
    QVERIFY(engine.display().txd.isEmpty());
}

void TestEngine::nonReceiveEventsAreIgnored()
{
    EngineFixture f;
    f.click("CR0");
    f.port.raiseOtherEvent(1);
    QCOMPARE(f.engine.AwaitingReply, quint8(1));
    QCOMPARE(f.rxd(), QString());
}

void TestEngine::sendWithPortClosedWritesNothing()
{
    EngineFixture f;
    f.engine.closePortIfOpen();
    f.click("C00");
    QVERIFY(f.port.writes.isEmpty());
    QCOMPARE(f.txd(), QStringLiteral(" C 0 0  [CR] "));
    f.clock.advance(1000);
    QCOMPARE(f.rxd(), QStringLiteral(" X X X X"));
}

void TestEngine::sendAfterPortLost()
{
    EngineFixture f;
    f.port.pull();
    QVERIFY(!f.port.isOpen());
    f.click("CR0");
    QVERIFY(f.port.writes.isEmpty());
    f.clock.advance(1000);
    QCOMPARE(f.rxd(), QStringLiteral(" X X X X"));
}

void TestEngine::receiveBufferIsBounded()
{
    EngineFixture f;
    f.click("C00");
    const QByteArray chunk(10000, 'A');
    for (int i = 0; i < 10; ++i)
        f.receive(chunk);
    QCOMPARE(f.engine.RxBuffer.size(), Engine::MaxRxBufferChars);
    QCOMPARE(f.rxd().size(), 1 + 2 * Engine::MaxRxBufferChars);
    f.click("CR0");
    QVERIFY(f.engine.RxBuffer.isEmpty());
    f.receive("80\r");
    QCOMPARE(f.status(), QStringLiteral(" Stand by"));
}

void TestEngine::emptyReceiveEventChangesNothing()
{
    EngineFixture f;
    f.click("CR3");
    f.receive("00123\r");
    const QString hours = f.status();
    QVERIFY(hours.endsWith(QLatin1String("Hour Use")));
    f.receive(QByteArray());
    QCOMPARE(f.status(), hours);
}

// A flood that filled the buffer after the reply window, then the display clear: what keeps
// arriving must show the buffer again, not leave the line blank.
void TestEngine::fullBufferShownAgainAfterDisplayClear()
{
    EngineFixture f;
    f.click("C00");
    f.clock.advance(Intervals::ReplyWindowMs);
    f.receive(QByteArray(Engine::MaxRxBufferChars + 10, 'o'));
    QCOMPARE(f.engine.RxBuffer.size(), Engine::MaxRxBufferChars);
    f.clock.advance(Intervals::DisplayClearMs - Intervals::ReplyWindowMs);
    QCOMPARE(f.rxd(), QString());
    f.receive("o");
    QCOMPARE(f.rxd(), Render::echo(f.engine.RxBuffer).text);
    QVERIFY(f.engine.display().spaceLegend == false);
}

void TestEngine::writeFailureDuringHoldStopsRepeat_data()
{
    QTest::addColumn<int>("failingWrite");
    QTest::newRow("first send of the hold") << 1;
    QTest::newRow("second send, the first repeat") << 2;
    QTest::newRow("a later repeat") << 4;
}

void TestEngine::writeFailureDuringHoldStopsRepeat()
{
    QFETCH(int, failingWrite);
    EngineFixture f;
    f.engine.setRepeatTable(QVector<QByteArray>(Engine::RepeatTableSize, "C8E"));
    f.port.failOnWrite = failingWrite;
    f.engine.holdPressed(1, "C8E");
    f.clock.advance(Intervals::RepeatMs * failingWrite);
    QVERIFY(!f.port.isOpen());
    QVERIFY(!f.engine.Timer1->isActive());
    QCOMPARE(f.engine.HoldActive, qint16(0));
    QCOMPARE(f.engine.RepeatIndex, quint8(0));
    f.clock.advance(2000);
    QCOMPARE(f.port.writes.size(), failingWrite - 1);
    QVERIFY(!f.engine.Timer1->isActive());
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
