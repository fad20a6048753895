#include "engine/render.h"
#include "support/enginefixture.h"

#include <QSignalSpy>
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
    void clearDoesWhatTheDisplayClearDoes();
    void replyEndedCarriesTheReply_data();
    void replyEndedCarriesTheReply();
};

void TestEngine::sendWritesOneFrameAndEchoes()
{
    EngineFixture f;
    f.click("C34");
    QCOMPARE(f.port.writes, QByteArrayList {QByteArray("C34\r")});
    QCOMPARE(f.txd(), QStringLiteral(" C 3 4  [CR] "));
    QCOMPARE(f.rxd(), QString());
    QVERIFY(f.engine.received().isEmpty());
    QCOMPARE(f.engine.isAwaitingReply(), true);
    QVERIFY(f.engine.display().crLegend);
    QVERIFY(!f.engine.display().spaceLegend);
    QVERIFY(f.engine.timing().replyWindowOpen);
    QVERIFY(f.engine.timing().displayClearPending);

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
    QCOMPARE(f.engine.isAwaitingReply(), false);
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
    QCOMPARE(f.engine.received(), QByteArray("80\r"));
    f.clock.advance(1); // 1000 ms: end of the reply window, no mark
    QCOMPARE(f.rxd(), QStringLiteral(" 8 0  [CR] "));
    QVERIFY(!f.engine.display().crLegend);
    QVERIFY(f.engine.received().isEmpty());
    QVERIFY(!f.engine.timing().replyWindowOpen);
    QCOMPARE(f.txd(), QStringLiteral(" C R 0  [CR] "));
    f.clock.advance(199);
    QCOMPARE(f.status(), QStringLiteral(" Stand by"));
    f.clock.advance(1); // 1200 ms: display clear
    QCOMPARE(f.txd(), QString());
    QCOMPARE(f.rxd(), QString());
    QCOMPARE(f.status(), QString());
    QVERIFY(!f.engine.timing().displayClearPending);
}

void TestEngine::unansweredTimeline()
{
    EngineFixture f;
    f.click("C00");
    f.clock.advance(999);
    QCOMPARE(f.rxd(), QString());
    f.clock.advance(1);
    QCOMPARE(f.rxd(), QStringLiteral(" X X X X"));
    QCOMPARE(f.engine.isAwaitingReply(), false);
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
    QCOMPARE(engine.timing().repeatMs, 200);
    QCOMPARE(engine.timing().replyWindowMs, 5500);
    QCOMPARE(engine.timing().displayClearMs, 6000);
    QVERIFY(!engine.timing().repeating && !engine.timing().replyWindowOpen
            && !engine.timing().displayClearPending);
    engine.open(PortChoice(2, PortChoice::Baud19200Code));
    engine.sendAsTyped("C00\r");
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
    QCOMPARE(f.engine.isAwaitingReply(), true);
    QCOMPARE(f.rxd(), QString());
}

void TestEngine::sendWithPortClosedWritesNothing()
{
    EngineFixture f;
    f.engine.close();
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
    QCOMPARE(f.engine.received().size(), Engine::MaxReceivedChars);
    QCOMPARE(f.rxd().size(), 1 + 2 * Engine::MaxReceivedChars);
    f.click("CR0");
    QVERIFY(f.engine.received().isEmpty());
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
    f.receive(QByteArray(Engine::MaxReceivedChars + 10, 'o'));
    QCOMPARE(f.engine.received().size(), Engine::MaxReceivedChars);
    f.clock.advance(Intervals::DisplayClearMs - Intervals::ReplyWindowMs);
    QCOMPARE(f.rxd(), QString());
    f.receive("o");
    QCOMPARE(f.rxd(), Render::echo(f.engine.received()).text);
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
    f.engine.press(1, "C8E");
    f.clock.advance(Intervals::RepeatMs * failingWrite);
    QVERIFY(!f.port.isOpen());
    QVERIFY(!f.engine.timing().repeating);
    QCOMPARE(f.engine.isHolding(), false);
    QCOMPARE(f.engine.repeatIndex(), 0);
    f.clock.advance(2000);
    QCOMPARE(f.port.writes.size(), failingWrite - 1);
    QVERIFY(!f.engine.timing().repeating);
}

void TestEngine::clearDoesWhatTheDisplayClearDoes()
{
    EngineFixture timed, asked;
    for (EngineFixture *f : {&timed, &asked}) {
        f->click("CR0");
        f->receive("80\r");
        f->clock.advance(Intervals::ReplyWindowMs);
    }
    QSignalSpy changed(&asked.engine, &Engine::displayChanged);
    timed.clock.advance(Intervals::DisplayClearMs - Intervals::ReplyWindowMs);
    asked.engine.clear();
    QCOMPARE(changed.size(), 1);
    QCOMPARE(asked.txd(), timed.txd());
    QCOMPARE(asked.rxd(), timed.rxd());
    QCOMPARE(asked.status(), timed.status());
    QCOMPARE(asked.txd(), QString());
    QCOMPARE(asked.status(), QString());
    QVERIFY(!asked.engine.timing().displayClearPending);
    QCOMPARE(asked.engine.timing().displayClearPending, timed.engine.timing().displayClearPending);
}

void TestEngine::replyEndedCarriesTheReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("rxd");
    QTest::addColumn<QString>("status");
    QTest::newRow("answered") << QByteArray("80\r") << " 8 0  [CR] "
                              << " Stand by";
    QTest::newRow("in part") << QByteArray("8") << " 8 "
                             << "";
    QTest::newRow("unanswered") << QByteArray() << " X X X X"
                                << "";
}

// orva reads the reply from the signal: the window has emptied the buffer by the time it comes.
void TestEngine::replyEndedCarriesTheReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, rxd);
    QFETCH(QString, status);
    EngineFixture f;
    QList<Engine::Reply> ended;
    bool legendAtEnd = true;
    connect(&f.engine, &Engine::replyEnded, this, [&](const Engine::Reply &r) {
        ended << r;
        legendAtEnd = f.engine.display().crLegend;
    });
    f.click("CR0");
    f.receive(reply);
    f.clock.advance(Intervals::ReplyWindowMs - 1);
    QVERIFY(ended.isEmpty());
    f.clock.advance(1);
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.first().received, reply);
    QCOMPARE(ended.first().rxd, rxd);
    QCOMPARE(ended.first().status, status);
    QVERIFY(f.engine.received().isEmpty());
    QVERIFY(!legendAtEnd); // sent once the window's end is shown
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
