#include "app/form1.h"
#include "panel/look.h"
#include "support/configfolder.h"
#include "support/enginefixture.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QTest>

// The main window's start-up and shut-down on a fake port.
class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Look::install(); }
    void startsCompactWithTitle();
    void storedPortOpensAndSetsIntervals();
    void noStoredPortLeavesPortClosed();
    void busyPortLeavesPortClosed();
    void closingClosesThePort();
    void labelsShowEngineStatePlainly();
};

void TestStartup::startsCompactWithTitle()
{
    ConfigFolder config;
    EngineFixture f;
    Form1 form(&f.engine);
    form.Form_Load();
    QCOMPARE(form.Height(), Form1::CompactHeightTwips);
    QCOMPARE(form.windowTitle(), QStringLiteral("ORVA   RV-TOP710 TOP710RL  CONTROL  Ver.2.0"));
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    for (const char *legend : {"Label27", "Label28", "Label29"})
        QVERIFY(form.label(QLatin1String(legend))->isHidden());
}

void TestStartup::storedPortOpensAndSetsIntervals()
{
    ConfigFolder config;
    config.writeSettingsFile("[StartUP]\nComPort=15\nBaudRate=96\n");
    FakeSerialPort port;
    ManualClock clock;
    Engine engine(&port, clock);
    port.feed("stale");
    Form1 form(&engine);
    QVERIFY(form.Form_Load());
    QVERIFY(port.isOpen());
    QCOMPARE(port.openedPort, 15);
    QCOMPARE(port.openedSettings, QStringLiteral("9600,N,8,1"));
    QCOMPARE(engine.timing().replyWindowMs, 1000);
    QCOMPARE(engine.timing().displayClearMs, 1200);
    QVERIFY(!engine.timing().replyWindowOpen && !engine.timing().displayClearPending);
    QVERIFY(engine.received().isEmpty());
    QCOMPARE(engine.isAwaitingReply(), false);
    QVERIFY(port.writes.isEmpty()); // nothing is sent at start
}

void TestStartup::noStoredPortLeavesPortClosed()
{
    ConfigFolder config;
    FakeSerialPort port;
    ManualClock clock;
    Engine engine(&port, clock);
    Form1 form(&engine);
    QVERIFY(!form.Form_Load());
    QVERIFY(!port.isOpen());
    QCOMPARE(port.openAttempts, 0);
    QCOMPARE(engine.timing().replyWindowMs, 5500);
    QCOMPARE(engine.timing().displayClearMs, 6000);
    QCOMPARE(form.Height(), Form1::CompactHeightTwips);
}

void TestStartup::busyPortLeavesPortClosed()
{
    ConfigFolder config;
    config.writeSettingsFile("[StartUP]\nComPort=2\nBaudRate=192\n");
    FakeSerialPort port;
    port.refuseOpen = true;
    ManualClock clock;
    Engine engine(&port, clock);
    Form1 form(&engine);
    QVERIFY(!form.Form_Load());
    QCOMPARE(port.openAttempts, 1);
    QCOMPARE(port.lineSettings().text(), QStringLiteral("19200,N,8,1"));
    QCOMPARE(port.choice().portNumber(), 2);
    QCOMPARE(engine.timing().replyWindowMs, 5500);
}

void TestStartup::closingClosesThePort()
{
    ConfigFolder config;
    EngineFixture f;
    Form1 form(&f.engine);
    form.show();
    QVERIFY(f.port.isOpen());
    form.close();
    QVERIFY(!f.port.isOpen());
    // Closing again with the port closed does nothing.
    form.show();
    form.close();
    QVERIFY(!f.port.isOpen());
}

void TestStartup::labelsShowEngineStatePlainly()
{
    ConfigFolder config;
    EngineFixture f;
    Form1 form(&f.engine);
    f.click("CR0");
    QCOMPARE(form.Label11->text(), QStringLiteral(" C R 0  [CR] "));
    QVERIFY(form.label(QStringLiteral("Label28"))->isVisibleTo(&form));
    f.receive("<img src=x>");
    QCOMPARE(form.Label12->text(), QStringLiteral(" < i m g _ s r c = x > "));
    QCOMPARE(form.Label12->textFormat(), Qt::PlainText);
    QVERIFY(form.label(QStringLiteral("Label27"))->isVisibleTo(&form));
    f.receive("80\r");
    f.click("CR0");
    f.receive("80\r");
    QCOMPARE(form.Label25->text(), QStringLiteral(" Stand by"));
    f.clock.advance(1000);
    QVERIFY(!form.label(QStringLiteral("Label28"))->isVisibleTo(&form));
    f.clock.advance(200);
    QCOMPARE(form.Label25->text(), QString());
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
