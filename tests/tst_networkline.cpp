#include "app/form1.h"
#include "app/portdialog.h"
#include "app/program.h"
#include "engine/engine.h"
#include "engine/render.h"
#include "panel/look.h"
#include "settings/form2.h"
#include "support/clicks.h"
#include "support/configfolder.h"
#include "support/enginefixture.h"
#include "support/messageboxes.h"
#include "support/ptyline.h"
#include "support/ser2netline.h"
#include "tools/pty/pty.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <termios.h>

// The whole panel on network ports: through Debian's ser2net (RFC 2217) in front of a
// pseudo-terminal the test holds, and on the virtual projector's raw TCP listener.
class TestNetworkLine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Look::install(); }
    void startUpAndDialogSetTheLineSpeed();
    void statusGoesOutAndComesBackDecoded();
    void everyByteComesBackAsSent();
    void ser2netKilledDuringAHold();
    void sevenStatusReadsOverRawTcp();
    void refusedAddressFailsTheOpen();
    void silentServerFailsTheOpenWhileTheWindowPaints();
};

namespace {

constexpr int StatusButton = 44;
constexpr int VolumeUpButton = 1;

speed_t slaveSpeed(const Pty &pty)
{
    termios attributes {};
    return pty.slaveAttributes(&attributes) ? cfgetispeed(&attributes) : speed_t(0);
}

// COM and OK in the port dialog, with the speed option given (Option1 is 9600, Option2 19200).
void reopenFromDialog(Form1 &form, const char *speedOption)
{
    PortDialog::openFromComButton(&form);
    auto *dialog = form.findChild<Form2 *>();
    QVERIFY(dialog);
    clickControl(dialog, speedOption);
    clickControl(dialog, "Command1");
}

} // namespace

void TestNetworkLine::startUpAndDialogSetTheLineSpeed()
{
    Ser2netLine line("192");
    QVERIFY2(line.started, line.server.log().constData());
    QVERIFY(line.form.Form_Load());
    QTRY_COMPARE(slaveSpeed(line.pty), speed_t(B19200));
    MessageBoxes boxes;
    line.form.show();
    reopenFromDialog(line.form, "Option1");
    QVERIFY(line.program.port().isOpen());
    QTRY_COMPARE(slaveSpeed(line.pty), speed_t(B9600));
    QVERIFY(boxes.seen.isEmpty());
}

void TestNetworkLine::statusGoesOutAndComesBackDecoded()
{
    Ser2netLine line;
    QVERIFY2(line.started, line.server.log().constData());
    QVERIFY(line.form.Form_Load());
    QTest::mouseClick(line.form.button(StatusButton), Qt::LeftButton);
    QCOMPARE(line.pty.read(4, 2000), QByteArray("CR0\r"));
    // A lone CR: no NUL or LF after it.
    QCOMPARE(line.pty.read(1, 300), QByteArray());
    QVERIFY(line.pty.write("8"));
    QTRY_COMPARE(line.form.Label12->text(), QStringLiteral(" 8 "));
    QVERIFY(line.pty.write("0\r"));
    QTRY_COMPARE(line.form.Label25->text(), QStringLiteral(" Stand by"));
}

// 0xFF is telnet's own escape: it must come through as the device sent it.
void TestNetworkLine::everyByteComesBackAsSent()
{
    Ser2netLine line;
    QVERIFY2(line.started, line.server.log().constData());
    QVERIFY(line.form.Form_Load());
    QTest::mouseClick(line.form.button(StatusButton), Qt::LeftButton);
    QCOMPARE(line.pty.read(4, 2000), QByteArray("CR0\r"));
    QVERIFY(line.pty.write(QByteArray("\xff\x06\xff\xff", 4)));
    QTRY_COMPARE(line.engine.received(), QByteArray("\xff\x06\xff\xff", 4));
    const QString shown = line.form.Label12->text();
    QCOMPARE(shown, Render::echo(QByteArray("\xff\x06\xff\xff", 4)).text);
    QVERIFY2(shown.contains(QLatin1String("? ")) && shown.contains(QLatin1String(" [ACK] ")),
             qPrintable(shown));
}

void TestNetworkLine::ser2netKilledDuringAHold()
{
    Ser2netLine line;
    QVERIFY2(line.started, line.server.log().constData());
    QVERIFY(line.form.Form_Load());
    MessageBoxes boxes;
    line.form.show();
    QSignalSpy lost(&line.program.port(), &SerialPort::lost);
    QTest::mousePress(line.form.button(VolumeUpButton), Qt::LeftButton);
    QCOMPARE(readRunning(line.pty, 8, 3000), QByteArray("C09\rC09\r"));
    line.server.process.kill();
    QTRY_VERIFY_WITH_TIMEOUT(!line.program.port().isOpen(), 3000);
    QCOMPARE(lost.count(), 1);
    QCOMPARE(line.engine.isHolding(), false);
    QVERIFY(!line.engine.timing().repeating);
    // Spinning takes a third of a core or more even on a loaded machine.
    const double before = cpuSeconds();
    QTest::qWait(1000);
    QVERIFY2(cpuSeconds() - before < 0.25, "busy after the server went away");
    QTest::mouseRelease(line.form.button(VolumeUpButton), Qt::LeftButton);
    QCOMPARE(lost.count(), 1);

    QVERIFY(line.server.start());
    line.pty.read(4096, 100); // what was on its way when the server died
    reopenFromDialog(line.form, "Option2");
    QVERIFY(line.program.port().isOpen());
    QVERIFY(boxes.seen.isEmpty());
    QTest::mouseClick(line.form.button(StatusButton), Qt::LeftButton);
    QCOMPARE(line.pty.read(4, 2000), QByteArray("CR0\r"));
}

// The virtual projector on raw TCP, behind COM6: each read decodes as over a serial line.
void TestNetworkLine::sevenStatusReadsOverRawTcp()
{
    ConfigFolder config;
    QProcess projector;
    projector.start(QStringLiteral(VIRTUAL_PROJECTOR),
                    {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
    QVERIFY(projector.waitForReadyRead(5000));
    const QByteArray greeting = projector.readLine();
    const int at = greeting.indexOf("tcp://");
    QVERIFY2(at >= 0, greeting.constData());
    const QByteArray address = greeting.mid(at).split(' ').first().chopped(1); // "...:port."
    ConfigFolder::mapEntry(6, address + '\n');
    config.writeSettingsFile("[StartUP]\nComPort=6\nBaudRate=96\n");
    Program program;
    QVERIFY(program.form().Form_Load());

    // What the virtual projector answers at start, and what the panel makes of it directly.
    const struct
    {
        int button;
        QByteArray answer;
    } reads[] = {{44, "80\r"},    {45, "1\r"},      {54, "025.0 026.5 027.0\r"}, {47, "11\r"},
                 {46, "00482\r"}, {55, "000 1O\r"}, {76, "000 NORMAL\r"}};
    EngineFixture direct; // the same reads in the same order, on a fake line
    for (const auto &read : reads) {
        QSignalSpy ended(&program.engine(), &Engine::replyEnded);
        QTest::mouseClick(program.form().button(read.button), Qt::LeftButton);
        const QByteArray command = program.engine().currentCommand();
        QTRY_COMPARE(program.engine().received(), read.answer);
        direct.click(command.chopped(1));
        direct.receive(read.answer);
        direct.clock.advance(Intervals::ReplyWindowMs);
        QVERIFY2(!direct.status().isEmpty(), command.constData());
        QCOMPARE(program.form().Label25->text(), direct.status());
        // The next read starts clean: this one's reply window ends first.
        QVERIFY(!ended.isEmpty() || ended.wait());
    }
    projector.terminate();
    projector.waitForFinished(5000);
}

void TestNetworkLine::refusedAddressFailsTheOpen()
{
    ConfigFolder config;
    quint16 closedPort = 0;
    {
        QTcpServer gone;
        QVERIFY(gone.listen(QHostAddress::LocalHost, 0));
        closedPort = gone.serverPort();
    }
    ConfigFolder::mapEntry(6, "tcp://127.0.0.1:" + QByteArray::number(closedPort) + '\n');
    config.writeSettingsFile("[StartUP]\nComPort=6\nBaudRate=96\n");
    Program program;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!program.form().Form_Load());
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!program.port().isOpen());
}

// A server that takes the connection and never answers the speed: the open gives up after 3 s,
// and meanwhile the window keeps painting under the wait cursor.
void TestNetworkLine::silentServerFailsTheOpenWhileTheWindowPaints()
{
    ConfigFolder config;
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    ConfigFolder::mapEntry(6,
                           "rfc2217://127.0.0.1:" + QByteArray::number(silent.serverPort()) + '\n');
    config.writeSettingsFile("[StartUP]\nComPort=6\nBaudRate=96\n");
    Program program;
    program.form().setHeight(Form1::ExpandedHeightTwips); // the TxD line in sight
    program.form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&program.form()));

    struct PaintCount : QObject
    {
        int paints = 0;
        bool waitCursor = false;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint) {
                ++paints;
                waitCursor |= QApplication::overrideCursor()
                    && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
            }
            return false;
        }
    } count;
    program.form().Label11->installEventFilter(&count);
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, program.form().Label11,
                     [&] { program.form().Label11->setText(QString::number(count.paints)); });
    repaint.start(50);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(!program.engine().open(PortChoice(6, PortChoice::Baud9600Code)));
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= 2900 && took < 5000, qPrintable(QString::number(took)));
    QVERIFY2(count.paints >= 5, qPrintable(QString::number(count.paints)));
    QVERIFY(count.waitCursor);
    QVERIFY(!QApplication::overrideCursor());
}

QTEST_MAIN(TestNetworkLine)
#include "tst_networkline.moc"
