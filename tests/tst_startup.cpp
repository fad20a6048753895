#include "app/form1.h"
#include "panel/look.h"
#include "support/configfolder.h"
#include "support/enginefixture.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProcess>
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
    void commandLineNeedsNoDisplay_data();
    void commandLineNeedsNoDisplay();
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

void TestStartup::commandLineNeedsNoDisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("--help") << QStringList {"--help"} << 0 << QByteArray("Usage: orva-control")
                            << QByteArray();
    QTest::newRow("-v after a Qt option")
        << QStringList {"-platform", "xcb", "-v"} << 0
        << QByteArray("orva-control " ORVA_VERSION "\n") << QByteArray();
    QTest::newRow("unknown option")
        << QStringList {"-style", "fusion", "--loud"} << 64 << QByteArray()
        << QByteArray("orva-control: unknown option --loud");
    QTest::newRow("operand") << QStringList {"COM3"} << 64 << QByteArray()
                             << QByteArray("orva-control: unexpected argument COM3");
    // A capture that cannot be written ends the program before any port or window.
    const QString nowhere = QStringLiteral("%1/orva-no-such-folder-%2/capture")
                                .arg(QDir::tempPath())
                                .arg(QCoreApplication::applicationPid());
    QTest::newRow("--record into no folder")
        << QStringList {"--record", nowhere} << 73 << QByteArray()
        << QStringLiteral("orva-control: %1: cannot open for appending").arg(nowhere).toUtf8();
    QTest::newRow("--record= a folder")
        << QStringList {"-style", "fusion", "--record=" + QDir::tempPath()} << 73 << QByteArray()
        << QStringLiteral("orva-control: %1: cannot open").arg(QDir::tempPath()).toUtf8();
    QTest::newRow("--record without a file")
        << QStringList {"--record"} << 64 << QByteArray()
        << QByteArray("orva-control: --record needs a file name");
    QTest::newRow("--help before --record's file")
        << QStringList {"--record", nowhere, "--help"} << 0 << QByteArray("Usage: orva-control")
        << QByteArray();
}

// With no display at all, where opening the window would abort.
void TestStartup::commandLineNeedsNoDisplay()
{
#ifndef ORVA_CONTROL
    QSKIP("the program is run as a process on POSIX only");
#else
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(variable));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(ORVA_CONTROL), arguments);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    const QByteArray stdOut = program.readAllStandardOutput();
    const QByteArray stdErr = program.readAllStandardError();
    QVERIFY2(out.isEmpty() ? stdOut.isEmpty() : stdOut.startsWith(out), stdOut.constData());
    QVERIFY2(err.isEmpty() ? stdErr.isEmpty() : stdErr.startsWith(err), stdErr.constData());
#endif
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
