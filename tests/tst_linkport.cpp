#include "link/deviceport.h"
#include "link/linkport.h"
#include "link/portfactory.h"
#include "support/configfolder.h"
#include "support/fakeserialport.h"
#include "support/openport.h"
#include "tools/pty/pty.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>

namespace {

// Hands out fake ports and remembers what it was asked for.
class RecordingFactory : public PortFactory
{
public:
    std::unique_ptr<SerialPort> create(const PortTarget &target) override
    {
        asked << target.text();
        auto port = std::make_unique<FakeSerialPort>();
        port->refuseOpen = refuse;
        last = port.get();
        return port;
    }
    QStringList asked;
    FakeSerialPort *last = nullptr;
    bool refuse = false;
};

} // namespace

// The program's port: what the factory is asked for at each open, and what passes through.
class TestLinkPort : public QObject
{
    Q_OBJECT
private slots:
    void factoryIsAskedForTheResolvedTarget_data();
    void factoryIsAskedForTheResolvedTarget();
    void linkAsksForTheDeviceItself();
    void unusableEntryNeverReachesTheFactory_data();
    void unusableEntryNeverReachesTheFactory();
    void changedEntryCountsAtTheNextOpen();
    void refusedOpenIsExplained();
    void passesTrafficAndLossThrough();
    void failedOpenIsLoggedOnlyWhenAsked_data();
    void failedOpenIsLoggedOnlyWhenAsked();
    void directTargetPassesThePortMapBy();
};

void TestLinkPort::factoryIsAskedForTheResolvedTarget_data()
{
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("settings");
    QTest::newRow("no entry: the fallback") << QByteArray() << "/dev/ttyS6"
                                            << "9600,N,8,1";
    QTest::newRow("device file") << QByteArray("/dev/ttyUSB3\n") << "/dev/ttyUSB3"
                                 << "19200,N,8,1";
    QTest::newRow("raw TCP") << QByteArray("tcp://10.1.2.3:4001") << "tcp://10.1.2.3:4001"
                             << "9600,N,8,1";
    QTest::newRow("RFC 2217") << QByteArray(" rfc2217://[::1]:2217 \n") << "rfc2217://[::1]:2217"
                              << "19200,N,8,1";
}

void TestLinkPort::factoryIsAskedForTheResolvedTarget()
{
    QFETCH(QByteArray, entry);
    QFETCH(QString, asked);
    QFETCH(QString, settings);
    ConfigFolder config;
    if (!entry.isEmpty())
        ConfigFolder::mapEntry(7, entry);
    RecordingFactory factory;
    LinkPort port(factory);
    PortChoice choice(7);
    choice.setBaud(settings.section(QLatin1Char(','), 0, 0).toInt());
    port.setChoice(choice);
    QVERIFY(openPort(port));
    QCOMPARE(factory.asked, QStringList {asked});
    QCOMPARE(port.target(), asked);
    QCOMPARE(factory.last->openedSettings, settings);
    QVERIFY(port.isOpen());
    QVERIFY(port.lastError().isEmpty());
}

void TestLinkPort::linkAsksForTheDeviceItself()
{
    ConfigFolder config;
    QTemporaryFile device;
    QVERIFY(device.open());
    QDir().mkpath(PortMap::portsFolder());
    QVERIFY(QFile::link(device.fileName(), PortMap::entryPath(2)));
    RecordingFactory factory;
    LinkPort port(factory);
    port.setChoice(PortChoice(2, PortChoice::Baud9600Code));
    QVERIFY(openPort(port));
    QCOMPARE(factory.asked, QStringList {QFileInfo(device.fileName()).canonicalFilePath()});
}

void TestLinkPort::unusableEntryNeverReachesTheFactory_data()
{
    QTest::addColumn<bool>("dangling");
    QTest::addColumn<QByteArray>("entry");
    QTest::newRow("dangling link") << true << QByteArray();
    QTest::newRow("unknown scheme") << false << QByteArray("ssh://h:22\n");
    QTest::newRow("bad port") << false << QByteArray("tcp://h:0\n");
    QTest::newRow("empty file") << false << QByteArray();
}

void TestLinkPort::unusableEntryNeverReachesTheFactory()
{
    QFETCH(bool, dangling);
    QFETCH(QByteArray, entry);
    ConfigFolder config;
    if (dangling) {
        QDir().mkpath(PortMap::portsFolder());
        QVERIFY(QFile::link(QStringLiteral("/dev/ttyUSB-gone"), PortMap::entryPath(1)));
    } else {
        ConfigFolder::mapEntry(1, entry);
    }
    RecordingFactory factory;
    LinkPort port(factory);
    port.setChoice(PortChoice(1, PortChoice::Baud9600Code));
    QVERIFY(!openPort(port));
    QVERIFY(factory.asked.isEmpty());
    QVERIFY(!port.isOpen());
    QVERIFY2(port.lastError().startsWith(QStringLiteral("COM1 (%1): ").arg(PortMap::entryPath(1))),
             qPrintable(port.lastError()));
}

void TestLinkPort::changedEntryCountsAtTheNextOpen()
{
    ConfigFolder config;
    ConfigFolder::mapEntry(4, "tcp://a:1\n");
    RecordingFactory factory;
    LinkPort port(factory);
    port.setChoice(PortChoice(4, PortChoice::Baud9600Code));
    QVERIFY(openPort(port));
    port.close();
    QVERIFY(openPort(port)); // the same entry: the same port again
    port.close();
    ConfigFolder::mapEntry(4, "rfc2217://b:2\n");
    QVERIFY(openPort(port));
    QCOMPARE(factory.asked, QStringList({"tcp://a:1", "rfc2217://b:2"}));
}

void TestLinkPort::refusedOpenIsExplained()
{
    ConfigFolder config;
    ConfigFolder::mapEntry(9, "tcp://projector:23\n");
    RecordingFactory factory;
    factory.refuse = true;
    LinkPort port(factory);
    port.setChoice(PortChoice(9, PortChoice::Baud9600Code));
    QVERIFY(!openPort(port));
    QVERIFY2(port.lastError().startsWith(QLatin1String("COM9 (tcp://projector:23)")),
             qPrintable(port.lastError()));
}

void TestLinkPort::passesTrafficAndLossThrough()
{
    ConfigFolder config;
    RecordingFactory factory;
    LinkPort port(factory);
    port.setChoice(PortChoice(3, PortChoice::Baud9600Code));
    QSignalSpy comm(&port, &SerialPort::onComm);
    QSignalSpy lost(&port, &SerialPort::lost);
    port.output("C00\r"); // not open yet: nothing, and no port made
    QVERIFY(factory.asked.isEmpty());
    QVERIFY(openPort(port));
    port.output("CR0\r");
    QCOMPARE(factory.last->writes, QByteArrayList {"CR0\r"});
    factory.last->feed("80\r");
    QCOMPARE(comm.count(), 1);
    QCOMPARE(port.input(), QByteArray("80\r"));
    factory.last->pull();
    QCOMPARE(lost.count(), 1);
    QVERIFY(!port.isOpen());
    port.output("CR0\r");
    QCOMPARE(factory.last->writes.size(), 1);
}

namespace {
QStringList logged;
void keepMessage(QtMsgType, const QMessageLogContext &context, const QString &text)
{
    logged << QStringLiteral("%1: %2").arg(QLatin1String(context.category), text);
}
} // namespace

void TestLinkPort::failedOpenIsLoggedOnlyWhenAsked_data()
{
    QTest::addColumn<bool>("held");
    QTest::addColumn<QString>("reason");
    QTest::newRow("absent") << false << QStringLiteral("No such file or directory");
    // The words orva ports uses, not Qt's "Permission error while locking the device".
    QTest::newRow("held by another program") << true << QStringLiteral("held by another program");
}

void TestLinkPort::failedOpenIsLoggedOnlyWhenAsked()
{
    QFETCH(bool, held);
    QFETCH(QString, reason);
    ConfigFolder config;
    Pty pty;
    DevicePort holder(pty.slavePath());
    const QString device = held ? pty.slavePath() : QStringLiteral("/dev/ttyUSB-none");
    if (held)
        QVERIFY(holder.open());
    ConfigFolder::mapEntry(5, device.toLocal8Bit() + '\n');
    SystemPortFactory factory;
    LinkPort port(factory);
    port.setChoice(PortChoice(5, PortChoice::Baud9600Code));
    logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepMessage);
    QVERIFY(!openPort(port));
    QLoggingCategory::setFilterRules(QStringLiteral("orva.*=true"));
    QVERIFY(!openPort(port));
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous);
    QCOMPARE(logged.size(), 1);
    QCOMPARE(logged.first(),
             QStringLiteral("orva.link: open failed: COM5 (%1): %2").arg(device, reason));
}

// orva's targets given on its command line: the same factory, no entry read, named alone.
void TestLinkPort::directTargetPassesThePortMapBy()
{
    ConfigFolder config;
    ConfigFolder::mapEntry(1, "tcp://mapped:1\n");
    RecordingFactory factory;
    LinkPort port(factory);
    port.setChoice(PortChoice::direct(PortMap::parse(QStringLiteral("tcp://direct:2")), 9600));
    QVERIFY(openPort(port));
    QCOMPARE(factory.asked, QStringList {"tcp://direct:2"});
    factory.last->pull();
    QCOMPARE(port.lastError(), QStringLiteral("tcp://direct:2 lost: ")); // the fake gives no reason
    port.close();
    factory.refuse = true;
    port.setChoice(PortChoice::direct(PortMap::parse(QStringLiteral("rfc2217://direct:3")), 9600));
    QVERIFY(!openPort(port));
    QVERIFY2(port.lastError().startsWith(QLatin1String("rfc2217://direct:3: ")),
             qPrintable(port.lastError()));
}

QTEST_GUILESS_MAIN(TestLinkPort)
#include "tst_linkport.moc"
