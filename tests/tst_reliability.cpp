#include "app/console.h"
#include "app/form1.h"
#include "app/portdialog.h"
#include "console/form3.h"
#include "link/linkport.h"
#include "engine/render.h"
#include "engine/timer.h"
#include "panel/look.h"
#include "settings/form2.h"
#include "settings/store.h"
#include "support/clicks.h"
#include "support/enginefixture.h"
#include "support/messageboxes.h"
#include "support/modal.h"
#include "support/ptyline.h"
#include "tools/pty/pty.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

namespace {

const QByteArray Commands[] = {"CR0",        "CR1",         "CR3", "CR4", "CR6",
                               "CR LAMPSTS", "CR LAMPMODE", "C34", "CR7", "CF LAMPMODE ECO1"};

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

// Another process with the device open.
struct Holder
{
    explicit Holder(const QString &device)
    {
        process.start(QStringLiteral(PORT_HOLDER), {device});
        process.waitForReadyRead(5000);
        held = process.readAll().startsWith("held");
    }
    ~Holder()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(5000))
            process.kill();
    }
    QProcess process;
    bool held = false;
};

// The line on COM4, with any stored settings.
struct Line : PtyLine
{
    explicit Line(const QByteArray &stored = "[StartUP]\nComPort=4\nBaudRate=192\n")
        : PtyLine(4)
    {
        config.writeSettingsFile(stored);
    }
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
    void deviceComesBack();
    void portHeldAtStartUp();
    void portHeldAtOk();
    void badStoredSettings_data();
    void badStoredSettings();
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

    // Typed into the console's command line, it is sent and echoed as it stands.
    Console::openFromCommandTable(&form);
    Form3 *console = Form3::openInstance();
    QVERIFY(console);
    console->Text1->setText(QString::fromLatin1(reply) + QStringLiteral("[CR]"));
    QTest::mouseClick(console->Command1, Qt::LeftButton);
    QCOMPARE(f.port.writes.last(), reply + '\r');
    QCOMPARE(form.Label11->text(), Render::echo(reply + '\r').text);
    for (QLabel *label : console->findChildren<QLabel *>())
        QCOMPARE(label->textFormat(), Qt::PlainText);
    console->close();
}

void TestReliability::floodKeepsTheBufferBounded()
{
    Line line;
    QVERIFY(line.form.Form_Load());
    // The flood lands inside one reply window, however long the machine takes.
    line.engine.setIntervals(60000, 60000);
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
    // The line is quiet once nothing has arrived for a while and nothing is left to read.
    QSignalSpy arrivals(line.port.findChild<QSerialPort *>(), &QSerialPort::readyRead);
    QElapsedTimer waited;
    waited.start();
    do {
        arrivals.clear();
        QTest::qWait(300);
    } while ((arrivals.count() > 0 || line.pty.pendingForSlave() != 0) && waited.elapsed() < 20000);
    QCOMPARE(arrivals.count(), 0);
    QCOMPARE(line.engine.received().size(), Engine::MaxReceivedChars);
    QVERIFY2(residentKiB() - before < 10 * 1024,
             qPrintable(QStringLiteral("%1 KiB more").arg(residentKiB() - before)));

    // The next send starts clean.
    QTest::mouseClick(line.form.button(44), Qt::LeftButton);
    QVERIFY(line.engine.received().isEmpty());
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
        expected += line.engine.currentCommand();
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
        QTRY_VERIFY(!line.engine.received().isEmpty());
    }
    line.pty.hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(!qtPort->isOpen(), 3000);
    QCOMPARE(lost.count(), 1);
    QCOMPARE(line.engine.isHolding(), false);
    QVERIFY(!line.engine.timing().repeating);

    const double before = cpuSeconds();
    QTest::qWait(1000); // how busy is the program with the line gone
    QVERIFY2(cpuSeconds() - before < 0.25, "busy after the hang-up");
    if (when == QLatin1String("hold"))
        QTest::mouseRelease(line.form.button(1), Qt::LeftButton);
    QCOMPARE(lost.count(), 1);
    QVERIFY(!line.port.isOpen());
}

// A new device behind the same COM link (the adapter plugged in again): COM and OK open it.
void TestReliability::deviceComesBack()
{
    Line line;
    MessageBoxes boxes;
    QVERIFY(line.form.Form_Load());
    line.form.show();
    line.pty.hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(!line.port.isOpen(), 3000);

    Pty again;
    QVERIFY(again.linkAs(4));
    line.form.setHeight(Form1::ExpandedHeightTwips);
    QTest::mouseClick(line.form.button(33), Qt::LeftButton);
    auto *dialog = line.form.findChild<Form2 *>();
    QVERIFY(dialog && dialog->isVisible());
    clickControl(dialog, "Command1");
    QVERIFY(line.port.isOpen());
    QVERIFY(boxes.seen.isEmpty());
    QTest::mouseClick(line.form.button(44), Qt::LeftButton);
    QCOMPARE(again.read(4, 1000), QByteArray("CR0\r"));
    again.write("00\r");
    QTRY_COMPARE(line.form.Label25->text(), QStringLiteral(" Power ON"));
}

// Start-up with the stored port held elsewhere: no message, the dialog; its OK then reports
// the port busy and stores nothing.
void TestReliability::portHeldAtStartUp()
{
    Line line;
    MessageBoxes boxes;
    Holder holder(line.pty.slavePath());
    QVERIFY(holder.held);
    const QByteArray stored = line.config.settingsFileContents();
    QVERIFY(!line.form.Form_Load());
    QVERIFY(boxes.seen.isEmpty());

    const bool dialogShown = whenModal<Form2>(
        [&] { PortDialog::runAtStartup(&line.form); },
        [&](Form2 *dialog) {
            QTest::keyClicks(dialog->findChild<QLineEdit *>(QStringLiteral("Text1")), "4");
            clickControl(dialog, "Command1");
            dialog->close();
        });
    QVERIFY2(dialogShown, "no modal port dialog at start-up");
    QCOMPARE(boxes.seen, QStringList {QStringLiteral("Error|Retry Comport|!")});
    QVERIFY(!line.port.isOpen());
    QCOMPARE(line.config.settingsFileContents(), stored);
}

// The port taken by another program while the dialog is open: "Retry Comport", nothing stored;
// once it is free, OK opens it and stores the choice.
void TestReliability::portHeldAtOk()
{
    Line line;
    MessageBoxes boxes;
    QVERIFY(line.form.Form_Load());
    line.form.show();
    PortDialog::openFromComButton(&line.form);
    auto *dialog = line.form.findChild<Form2 *>();
    QVERIFY(dialog);
    clickControl(dialog, "Option1"); // 9600: a store would show
    const QByteArray stored = line.config.settingsFileContents();
    {
        Holder holder(line.pty.slavePath());
        QVERIFY(holder.held);
        clickControl(dialog, "Command1");
        QCOMPARE(boxes.seen, QStringList {QStringLiteral("Error|Retry Comport|!")});
        QVERIFY(!line.port.isOpen());
        QVERIFY(dialog->isVisible());
        QCOMPARE(line.config.settingsFileContents(), stored);
    }
    clickControl(dialog, "Command1");
    QVERIFY(line.port.isOpen());
    QCOMPARE(Store::getSetting(Store::BaudRateKey, QString()), QStringLiteral("96"));
    QCOMPARE(boxes.seen.size(), 1);
}

// Whatever an edited settings file holds, start-up opens the right port or offers the dialog,
// and writes nothing.
void TestReliability::badStoredSettings_data()
{
    QTest::addColumn<QByteArray>("comPort");
    QTest::addColumn<QByteArray>("baudRate");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<int>("speed");
    const struct
    {
        const char *comPort;
        const char *baudRate;
        bool opens;
        int speed;
    } rows[]
        = {{"-1", "96", false, 0},       {"0", "96", false, 0},      {"16", "96", false, 0},
           {"99999", "96", false, 0},    {"3.5", "96", true, 9600},  {"2.5", "96", false, 0},
           {"\" 4\"", "96", true, 9600}, {"4abc", "96", true, 9600}, {"abc", "96", false, 0},
           {"1e3", "96", false, 0},      {"", "96", false, 0},       {"4", "-5", true, 19200},
           {"4", "300", true, 19200},    {"4", "96.4", true, 9600},  {"4", "abc", true, 19200}};
    for (const auto &row : rows) {
        QTest::newRow(qPrintable(QStringLiteral("ComPort=%1 BaudRate=%2")
                                     .arg(QLatin1String(row.comPort), QLatin1String(row.baudRate))))
            << QByteArray(row.comPort) << QByteArray(row.baudRate) << row.opens << row.speed;
    }
}

void TestReliability::badStoredSettings()
{
    QFETCH(QByteArray, comPort);
    QFETCH(QByteArray, baudRate);
    QFETCH(bool, opens);
    QFETCH(int, speed);
    // Port 4 is the pseudo-terminal; "3.5" rounds to it, "2.5" to port 2, which does not exist.
    Line line("[StartUP]\nComPort=" + comPort + "\nBaudRate=" + baudRate + "\n");
    MessageBoxes boxes;
    const QByteArray stored = line.config.settingsFileContents();
    bool dialogShown = false;
    if (!line.form.Form_Load()) {
        dialogShown = whenModal<Form2>([&] { PortDialog::runAtStartup(&line.form); },
                                       [](Form2 *dialog) { dialog->close(); });
    }
    QCOMPARE(line.port.isOpen(), opens);
    QCOMPARE(dialogShown, !opens);
    if (opens)
        QCOMPARE(line.port.lineSettings().text(), QStringLiteral("%1,N,8,1").arg(speed));
    QVERIFY(boxes.seen.isEmpty());
    QCOMPARE(line.config.settingsFileContents(), stored);
}

QTEST_MAIN(TestReliability)
#include "tst_reliability.moc"
