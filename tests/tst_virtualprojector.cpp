#include "app/form1.h"
#include "app/program.h"
#include "engine/engine.h"
#include "engine/timer.h"
#include "link/capture.h"
#include "link/linkport.h"
#include "link/portmap.h"
#include "panel/buttonmap.h"
#include "panel/look.h"
#include "support/configfolder.h"
#include "support/ptyline.h"
#include "tools/pty/pty.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif
#else
constexpr bool Sanitized = false;
#endif

constexpr int Port = 4;
constexpr int StartTimeoutMs = 10000;

// CPU time of another process, from /proc; negative where there is no /proc.
double cpuSecondsOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which may hold blanks: utime and stime are the 12th and 13th.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return (fields.at(11).toLongLong() + fields.at(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

QString linkPath()
{
    return PortMap::entryPath(Port);
}

// The real panel parts on a stored port, and the virtual projector as a process of its own
// that links its pseudo-terminal as that port.
struct Rig
{
    ~Rig()
    {
        if (projector.state() != QProcess::NotRunning) {
            projector.terminate();
            if (!projector.waitForFinished(5000))
                projector.kill();
        }
    }

    // Starts the projector, waits for its line and the link, and opens the panel's port. The
    // projector runs at 9600 baud unless `arguments` give another --baud.
    bool start(const QStringList &arguments, const QByteArray &storedBaud = "96")
    {
        projector.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        projector.start(QStringLiteral(VIRTUAL_PROJECTOR),
                        QStringList {QStringLiteral("--port"), QString::number(Port),
                                     QStringLiteral("--baud"), QStringLiteral("9600")}
                            + arguments);
        if (!projector.waitForStarted(StartTimeoutMs))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (!greeting.contains('\n') && clock.elapsed() < StartTimeoutMs
               && projector.state() == QProcess::Running) {
            projector.waitForReadyRead(100);
            greeting += projector.readAllStandardOutput();
        }
        if (!QFileInfo(linkPath()).isSymLink())
            return false;
        config.writeSettingsFile("[StartUP]\nComPort=" + QByteArray::number(Port)
                                 + "\nBaudRate=" + storedBaud + "\n");
        return form.Form_Load();
    }

    QString rxd() const { return form.Label12->text(); }
    QString status() const { return form.Label25->text(); }

    ConfigFolder config;
    QProcess projector;
    QByteArray greeting;
    Program program;
    SerialPort &port = program.port();
    Engine &engine = program.engine();
    Form1 &form = program.form();
};

// Clicks the panel button that sends the command; a command no button sends goes out as a
// button would send it.
void click(Rig &rig, const QByteArray &command)
{
    for (const ButtonMap::Button &button : ButtonMap::buttons()) {
        if (button.kind == ButtonMap::Kind::Click && command == button.command) {
            QTest::mouseClick(rig.form.button(button.number), Qt::LeftButton);
            QCOMPARE(rig.engine.currentCommand(), command + "\r");
            return;
        }
    }
    rig.engine.send(command);
}

// Clicks and waits until the whole answer has come in (its closing CR is echoed); the STATUS line
// is what the panel made of it.
QString ask(Rig &rig, const QByteArray &command)
{
    click(rig, command);
    if (!QTest::qWaitFor([&] { return rig.rxd().endsWith(QStringLiteral(" [CR] ")); }, 3000))
        return QStringLiteral("(no whole answer; RxD \"%1\")").arg(rig.rxd());
    return rig.status();
}

} // namespace

class TestVirtualProjector : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Look::install(); }
    void statusLine_data();
    void statusLine();
    void powerCountsDownThenComesOn();
    void noUsableAnswer_data();
    void noUsableAnswer();
    void answersAtLineSpeed_data();
    void answersAtLineSpeed();
    void floodIsPaced_data();
    void floodIsPaced();
    void hangUpClosesThePanelsPort();
    void endingRemovesTheLink_data();
    void endingRemovesTheLink();
    void takenPortNameIsLeftAlone_data();
    void takenPortNameIsLeftAlone();
    void logSpellsTheTraffic();
    void badCaptureLinksNothing_data();
    void badCaptureLinksNothing();
    void panelRecordPlaysBackTheSameLines();
};

void TestVirtualProjector::statusLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("storedBaud");
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<QString>("status");

    const QStringList none;
    const QStringList split {QStringLiteral("--split")};
    const QByteArray baud = "96";
    QTest::newRow("stand by") << none << baud << QByteArrayList() << QByteArray("CR0")
                              << QStringLiteral(" Stand by");
    QTest::newRow("lamp failure") << QStringList {QStringLiteral("--lamp-failure")} << baud
                                  << QByteArrayList() << QByteArray("CR0")
                                  << QStringLiteral(" Lamp Failure");
    QTest::newRow("over temperature")
        << QStringList {QStringLiteral("--over-temperature")} << baud << QByteArrayList()
        << QByteArray("CR0") << QStringLiteral(" Temperature abnormality");
    QTest::newRow("input 3") << none << baud << QByteArrayList {"C07"} << QByteArray("CR1")
                             << QStringLiteral(" Input 3");
    QTest::newRow("wired") << none << baud << QByteArrayList {"C08"} << QByteArray("CR1")
                           << QStringLiteral(" Wired");
    QTest::newRow("ceiling") << none << baud << QByteArrayList {"CF CEIL ON"} << QByteArray("CR4")
                             << QStringLiteral(" Top/Bottom , Left/Right reversal");
    QTest::newRow("rear") << none << baud << QByteArrayList {"CF REAR ON"} << QByteArray("CR4")
                          << QStringLiteral(" Left/Right reversal");
    QTest::newRow("lamp hours") << QStringList {QStringLiteral("--lamp-hours"),
                                                QStringLiteral("123")}
                                << baud << QByteArrayList() << QByteArray("CR3")
                                << QStringLiteral("     1 2 3   Hour Use");
    QTest::newRow("new lamp") << QStringList {QStringLiteral("--lamp-hours"), QStringLiteral("0")}
                              << baud << QByteArrayList() << QByteArray("CR3")
                              << QString(12, QLatin1Char(' ')) + QStringLiteral(" Hour Use");
    QTest::newRow("temperatures") << none << baud << QByteArrayList() << QByteArray("CR6")
                                  << QStringLiteral(
                                         " 0 2 5 . 0 deg C 0 2 6 . 5 deg C 0 2 7 . 0 deg C ");
    QTest::newRow("lamp off") << none << baud << QByteArrayList() << QByteArray("CR LAMPSTS")
                              << QStringLiteral(" Lamp is OFF");
    QTest::newRow("lamp failed") << QStringList {QStringLiteral("--lamp-failure")} << baud
                                 << QByteArrayList() << QByteArray("CR LAMPSTS")
                                 << QStringLiteral(" Lamp is failure");
    QTest::newRow("lamp mode eco")
        << none << baud << QByteArrayList {"CF LAMPMODE ECO1"} << QByteArray("CR LAMPMODE")
        << QStringLiteral(" Lamp Mode is Eco");
    QTest::newRow("lamp mode high")
        << none << baud << QByteArrayList {"CF LAMPMODE HIGH"} << QByteArray("CR LAMPMODE")
        << QStringLiteral(" Lamp Mode is High");
    QTest::newRow("lamp mode auto")
        << none << baud << QByteArrayList {"CF LAMPMODE AUTO1"} << QByteArray("CR LAMPMODE")
        << QStringLiteral(" Lamp Mode is NORMAL");
    QTest::newRow("split stand by")
        << split << baud << QByteArrayList() << QByteArray("CR0") << QStringLiteral(" Stand by");
    QTest::newRow("split temperatures")
        << split << baud << QByteArrayList() << QByteArray("CR6")
        << QStringLiteral(" 0 2 5 . 0 deg C 0 2 6 . 5 deg C 0 2 7 . 0 deg C ");
    QTest::newRow("split lamp hours") << split << baud << QByteArrayList() << QByteArray("CR3")
                                      << QStringLiteral("     4 8 2   Hour Use");
    QTest::newRow("split lamp mode")
        << split << baud << QByteArrayList {"CF LAMPMODE ECO1"} << QByteArray("CR LAMPMODE")
        << QStringLiteral(" Lamp Mode is Eco");
    QTest::newRow("19200 baud") << QStringList {QStringLiteral("--baud"), QStringLiteral("19200")}
                                << QByteArray("192") << QByteArrayList() << QByteArray("CR0")
                                << QStringLiteral(" Stand by");
}

void TestVirtualProjector::statusLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, storedBaud);
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArray, read);
    QFETCH(QString, status);
    Rig rig;
    QVERIFY2(rig.start(arguments, storedBaud), rig.projector.readAllStandardError().constData());
    for (const QByteArray &command : commands) {
        click(rig, command);
        QTRY_COMPARE(rig.rxd(), QStringLiteral("  [ACK]  [CR] "));
    }
    QCOMPARE(ask(rig, read), status);
}

void TestVirtualProjector::powerCountsDownThenComesOn()
{
    constexpr int CountdownMs = 1500;
    Rig rig;
    QVERIFY(rig.start({QStringLiteral("--countdown-ms"), QString::number(CountdownMs),
                       QStringLiteral("--cooling-ms"), QString::number(CountdownMs)}));
    QCOMPARE(ask(rig, "CR0"), QStringLiteral(" Stand by"));

    QElapsedTimer clock;
    clock.start();
    click(rig, "C00");
    QTRY_COMPARE(rig.rxd(), QStringLiteral("  [ACK]  [CR] "));
    QCOMPARE(ask(rig, "CR0"), QStringLiteral(" Count down"));
    QTRY_COMPARE_WITH_TIMEOUT(ask(rig, "CR0"), QStringLiteral(" Power ON"), CountdownMs + 5000);
    const qint64 on = clock.elapsed();
    QCOMPARE(ask(rig, "CR LAMPSTS"), QStringLiteral(" Lamp is ON"));

    clock.restart();
    click(rig, "C01");
    QTRY_COMPARE(rig.rxd(), QStringLiteral("  [ACK]  [CR] "));
    QCOMPARE(ask(rig, "CR0"), QStringLiteral(" Cooling down"));
    QTRY_COMPARE_WITH_TIMEOUT(ask(rig, "CR0"), QStringLiteral(" Stand by"), CountdownMs + 5000);
    const qint64 standby = clock.elapsed();
    qInfo("Power ON after %lld ms, Stand by after %lld ms (both %d ms)", on, standby, CountdownMs);
    // The projector's clock starts when the command arrives, after the click; polling adds a
    // round trip and a wait to the end.
    QVERIFY2(on >= CountdownMs && on < CountdownMs + 3000, qPrintable(QString::number(on)));
    QVERIFY2(standby >= CountdownMs && standby < CountdownMs + 3000,
             qPrintable(QString::number(standby)));
}

void TestVirtualProjector::noUsableAnswer_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("storedBaud");
    QTest::addColumn<QString>("rxd");
    QTest::newRow("silent") << QStringList {QStringLiteral("--silent")} << QByteArray("96")
                            << QStringLiteral(" X X X X");
    // The answer "80" and CR at the wrong speed: three bytes of noise.
    QTest::newRow("garbage") << QStringList {QStringLiteral("--garbage")} << QByteArray("96")
                             << QStringLiteral(" ? ? ? ");
    QTest::newRow("panel at the other speed")
        << QStringList() << QByteArray("192") << QStringLiteral(" X X X X");
}

void TestVirtualProjector::noUsableAnswer()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, storedBaud);
    QFETCH(QString, rxd);
    Rig rig;
    QVERIFY(rig.start(arguments, storedBaud));
    click(rig, "CR0");
    QTRY_COMPARE_WITH_TIMEOUT(rig.rxd(), rxd, 3000);
    QCOMPARE(rig.status(), QString());
}

void TestVirtualProjector::answersAtLineSpeed_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<QByteArray>("storedBaud");
    QTest::newRow("9600") << 9600 << QByteArray("96");
    QTest::newRow("19200") << 19200 << QByteArray("192");
}

void TestVirtualProjector::answersAtLineSpeed()
{
    QFETCH(int, baud);
    QFETCH(QByteArray, storedBaud);
    QElapsedTimer clock;
    qint64 completeNs = -1;
    Rig rig;
    QVERIFY(rig.start({QStringLiteral("--baud"), QString::number(baud), QStringLiteral("--delay"),
                       QStringLiteral("0")},
                      storedBaud));
    connect(&rig.engine, &Engine::displayChanged, this, [&] {
        if (completeNs < 0 && rig.engine.display().rxd.endsWith(QStringLiteral(" [CR] ")))
            completeNs = clock.nsecsElapsed();
    });
    clock.start();
    // A long answer, so the line time stands out from the panel's own reaction time.
    click(rig, "CR SYSLIST");
    QTRY_VERIFY(completeNs >= 0);
    const qsizetype bytes = rig.engine.received().size();
    QVERIFY2(bytes > 20, rig.engine.received().constData());
    // Ten bits a byte: the answer cannot be complete any sooner.
    const double lineMs = bytes * 10 * 1000.0 / baud;
    const double tookMs = completeNs / 1e6;
    qInfo("%lld bytes answered in %.1f ms at %d baud (line time %.1f ms)", qint64(bytes), tookMs,
          baud, lineMs);
    // The lower bound is physics and proves the pacing; the upper one only that the answer came.
    QVERIFY2(tookMs >= lineMs && tookMs < lineMs + 2000, qPrintable(QString::number(tookMs)));
    rig.engine.disconnect(this);
}

void TestVirtualProjector::floodIsPaced_data()
{
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("lowest");
    QTest::addColumn<int>("highest");
    // Bounds that a stalled machine keeps: the rate is asked for, not unlimited; and 9600 baud
    // carries 960 characters a second (plus what a late measurement adds), whatever is asked.
    QTest::newRow("200 a second") << 200 << 80 << 400;
    QTest::newRow("more than the line carries") << 100000 << 300 << 1100;
}

void TestVirtualProjector::floodIsPaced()
{
    QFETCH(int, asked);
    QFETCH(int, lowest);
    QFETCH(int, highest);
    Rig rig;
    QVERIFY(rig.start({QStringLiteral("--flood"), QString::number(asked)}));
    // Nothing was sent, so no reply window empties the receive buffer.
    QTRY_VERIFY(!rig.engine.received().isEmpty());
    const qsizetype before = rig.engine.received().size();
    const double projectorCpuBefore = cpuSecondsOf(rig.projector.processId());
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(1000); // a rate is measured over a stretch of time
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double rate = (rig.engine.received().size() - before) / seconds;
    const double projectorCpu = cpuSecondsOf(rig.projector.processId()) - projectorCpuBefore;
    qInfo("asked %d/s, received %.0f/s, projector CPU %.3f s", asked, rate, projectorCpu);
    QVERIFY2(rate >= lowest && rate <= highest, qPrintable(QString::number(rate)));
    // A projector that spins takes a whole core; the sanitizers alone can triple its honest share.
    if (projectorCpuBefore >= 0 && !Sanitized)
        QVERIFY2(projectorCpu < 0.3 * seconds, qPrintable(QString::number(projectorCpu)));
}

void TestVirtualProjector::hangUpClosesThePanelsPort()
{
    Rig rig;
    QVERIFY(rig.start({QStringLiteral("--hang-up-after"), QStringLiteral("1.5")}));
    QCOMPARE(ask(rig, "CR0"), QStringLiteral(" Stand by"));
    QSignalSpy lost(&rig.port, &SerialPort::lost);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.port.isOpen(), 5000);
    QCOMPARE(lost.count(), 1);
    QTRY_VERIFY(!QFileInfo(linkPath()).isSymLink());

    const double before = cpuSeconds();
    QTest::qWait(1000);
    QVERIFY2(cpuSeconds() - before < 0.25, "the event loop keeps spinning after a hang-up");

    click(rig, "CR0");
    QTRY_COMPARE_WITH_TIMEOUT(rig.rxd(), QStringLiteral(" X X X X"), 3000);
    QCOMPARE(lost.count(), 1);
    // The projector itself waits to be ended.
    QCOMPARE(rig.projector.state(), QProcess::Running);
}

void TestVirtualProjector::endingRemovesTheLink_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT (Ctrl+C)") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestVirtualProjector::endingRemovesTheLink()
{
    QFETCH(int, signalNumber);
    Rig rig;
    QVERIFY(rig.start({}));
    QCOMPARE(ask(rig, "CR0"), QStringLiteral(" Stand by"));
    QVERIFY(QFileInfo(linkPath()).isSymLink());
    QSignalSpy finished(&rig.projector, &QProcess::finished);
    QCOMPARE(::kill(pid_t(rig.projector.processId()), signalNumber), 0);
    QVERIFY(finished.wait(5000));
    QCOMPARE(rig.projector.exitStatus(), QProcess::NormalExit);
    QCOMPARE(rig.projector.exitCode(), 0);
    QVERIFY(!QFileInfo(linkPath()).isSymLink());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.port.isOpen(), 3000);
}

void TestVirtualProjector::takenPortNameIsLeftAlone_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("user's adapter") << QStringLiteral("/dev/ttyUSB7") << false;
    QTest::newRow("another device") << QStringLiteral("/dev/null") << false;
    QTest::newRow("pseudo-terminal in use") << QString() << false; // another projector's
    QTest::newRow("pseudo-terminal left behind") << QStringLiteral("/dev/pts/999999") << true;
}

void TestVirtualProjector::takenPortNameIsLeftAlone()
{
    QFETCH(QString, target);
    QFETCH(bool, replaced);
    ConfigFolder config;
    Pty inUse;
    if (target.isEmpty())
        target = inUse.slavePath();
    QVERIFY(QDir().mkpath(PortMap::portsFolder()));
    QVERIFY(QFile::link(target, linkPath()));
    QProcess projector;
    projector.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    projector.start(QStringLiteral(VIRTUAL_PROJECTOR),
                    {QStringLiteral("--port"), QString::number(Port),
                     QStringLiteral("--hang-up-after"), QStringLiteral("0")});
    QVERIFY(projector.waitForStarted(StartTimeoutMs));
    if (replaced) {
        QByteArray out;
        QTRY_VERIFY((out += projector.readAllStandardOutput()).contains("Line dropped"));
        projector.terminate();
        QVERIFY(projector.waitForFinished(5000));
        QVERIFY(!QFileInfo(linkPath()).isSymLink());
        return;
    }
    QVERIFY(projector.waitForFinished(5000));
    QCOMPARE(projector.exitCode(), 1);
    QVERIFY(projector.readAllStandardError().contains("exists already"));
    QCOMPARE(QFileInfo(linkPath()).symLinkTarget(), target);
}

void TestVirtualProjector::logSpellsTheTraffic()
{
    Rig rig;
    QVERIFY(rig.start({QStringLiteral("--log")}));
    QCOMPARE(ask(rig, "CR0"), QStringLiteral(" Stand by"));
    click(rig, "C00");
    QTRY_COMPARE(rig.rxd(), QStringLiteral("  [ACK]  [CR] "));
    rig.projector.terminate();
    QVERIFY(rig.projector.waitForFinished(5000));
    const QStringList lines = QString::fromLatin1(rig.projector.readAllStandardError())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString time = QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d ");
    const QStringList expected {
        time + QStringLiteral("<- CR0\\[CR\\]$"), time + QStringLiteral("-> 80\\[CR\\]$"),
        time + QStringLiteral("<- C00\\[CR\\]$"), time + QStringLiteral("-> \\[ACK\\]\\[CR\\]$")};
    QCOMPARE(lines.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(QRegularExpression(expected.at(i)).match(lines.at(i)).hasMatch(),
                 qPrintable(lines.at(i)));
}

void TestVirtualProjector::badCaptureLinksNothing_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("message"); // after the file's name
    QTest::newRow("no header") << QByteArray("0.000000 > CR0[CR]\n") << QStringLiteral(":1: ");
    QTest::newRow("layout 2") << QByteArray("# orva capture 2\n") << QStringLiteral(":1: ");
}

void TestVirtualProjector::badCaptureLinksNothing()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, message);
    ConfigFolder config;
    QTemporaryDir dir;
    const QString capture = dir.filePath(QStringLiteral("capture.txt"));
    QFile file(capture);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
    file.close();
    QProcess projector;
    projector.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    projector.start(
        QStringLiteral(VIRTUAL_PROJECTOR),
        {QStringLiteral("--port"), QString::number(Port), QStringLiteral("--replay"), capture});
    QVERIFY(projector.waitForFinished(StartTimeoutMs));
    QCOMPARE(projector.exitCode(), 64);
    const QByteArray error = projector.readAllStandardError();
    QVERIFY2(error.startsWith(("virtual-projector: " + capture + message).toLocal8Bit()),
             error.constData());
    QVERIFY(!QFileInfo(linkPath()).exists() && !QFileInfo(linkPath()).isSymLink());
    QCOMPARE(projector.readAllStandardOutput(), QByteArray());
}

// The loop closed from the panel: clicks on a projector with unusual settings, recorded with the
// panel's own --record, then the same clicks on a virtual projector that plays the capture back
// show the same RxD and STATUS lines.
void TestVirtualProjector::panelRecordPlaysBackTheSameLines()
{
    QTemporaryDir folder;
    const QString capture = folder.filePath(QStringLiteral("panel.capture"));
    QStringList seen[2];
    for (int pass = 0; pass < 2; ++pass) {
        Rig rig;
        if (pass == 0) {
            auto writer = std::make_unique<Capture::Writer>();
            QVERIFY2(writer->openFile(capture), qPrintable(writer->error()));
            rig.program.record(std::move(writer));
        }
        QVERIFY(rig.start(pass == 0
                              ? QStringList {"--lamp-failure", "--lamp-hours", "1234", "--split"}
                              : QStringList {"--replay", capture}));
        for (const QByteArray command : {"CR0", "CR3", "CR LAMPSTS", "CR6"})
            seen[pass] << ask(rig, command) + QLatin1Char('|') + rig.rxd();
    }
    QVERIFY2(seen[0].first().startsWith(QStringLiteral(" Lamp Failure")),
             qPrintable(seen[0].first()));
    QCOMPARE(seen[1], seen[0]);
}

QTEST_MAIN(TestVirtualProjector)
#include "tst_virtualprojector.moc"
