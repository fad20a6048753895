#include "link/linkport.h"
#include "link/portchoice.h"
#include "link/portfactory.h"
#include "link/portmap.h"
#include "support/configfolder.h"
#include "support/openport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <QTest>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

// What COM1..COM15 stand for: the ports-folder entry, or the usual device when there is none.
class TestPortMap : public QObject
{
    Q_OBJECT
private slots:
    void storedSpeedCodes_data();
    void storedSpeedCodes();
    void parse_data();
    void parse();
    void fileEntry_data();
    void fileEntry();
    void entryInAFolderWithoutDrive();
    void noEntryFallsBack();
    void linkResolvesToTheDevice();
    void danglingLinkIsUnusable();
    void entryThatIsNoFileIsUnusable();
    void unreadableEntryIsUnusable();
    void unusableEntryFailsTheOpen();
    void mapAndUnmap_data();
    void mapAndUnmap();
};

namespace {

using Kind = PortTarget::Kind;
using Outcome = PortMap::Change::Outcome;

// "-> target" for a link, else the file's bytes; empty when there is no entry.
QByteArray entryNow(int portNumber)
{
    const QFileInfo entry(PortMap::entryPath(portNumber));
    if (entry.isSymLink())
        return "-> " + entry.symLinkTarget().toUtf8();
    QFile file(entry.filePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void TestPortMap::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("written");
    const int device = int(Kind::Device), tcp = int(Kind::Tcp), rfc = int(Kind::Rfc2217),
              bad = int(Kind::Unusable);
#ifdef Q_OS_WIN
    QTest::newRow("port") << "COM23" << device << "COM23"
                          << "" << 0 << "COM23";
    QTest::newRow("port, device namespace") << "\\\\.\\COM23" << device << "\\\\.\\COM23"
                                            << "" << 0 << "\\\\.\\COM23";
    QTest::newRow("POSIX path") << "/dev/ttyUSB0" << bad << ""
                                << "" << 0 << "";
#else
    QTest::newRow("device") << "/dev/ttyUSB0" << device << "/dev/ttyUSB0"
                            << "" << 0 << "/dev/ttyUSB0";
#endif
    QTest::newRow("tcp, name") << "tcp://projector-7.example:4001" << tcp << ""
                               << "projector-7.example" << 4001 << "tcp://projector-7.example:4001";
    QTest::newRow("rfc2217, IPv4") << "rfc2217://10.0.4.21:4001" << rfc << ""
                                   << "10.0.4.21" << 4001 << "rfc2217://10.0.4.21:4001";
    QTest::newRow("rfc2217, IPv6") << "rfc2217://[::1]:2217" << rfc << ""
                                   << "::1" << 2217 << "rfc2217://[::1]:2217";
    QTest::newRow("scheme in capitals") << "TCP://h:1" << tcp << ""
                                        << "h" << 1 << "tcp://h:1";
    QTest::newRow("blanks around") << " \t tcp://h:65535 \r\n"
                                   << tcp << ""
                                   << "h" << 65535 << "tcp://h:65535";
    QTest::newRow("unknown scheme") << "ssh://h:22" << bad << ""
                                    << "" << 0 << "";
    QTest::newRow("no port") << "tcp://h" << bad << ""
                             << "" << 0 << "";
    QTest::newRow("empty port") << "tcp://h:" << bad << ""
                                << "" << 0 << "";
    QTest::newRow("port 0") << "tcp://h:0" << bad << ""
                            << "" << 0 << "";
    QTest::newRow("port too large") << "tcp://h:65536" << bad << ""
                                    << "" << 0 << "";
    QTest::newRow("port with a sign") << "tcp://h:+23" << bad << ""
                                      << "" << 0 << "";
    QTest::newRow("IPv6 without brackets") << "tcp://::1:23" << bad << ""
                                           << "" << 0 << "";
    QTest::newRow("bracketed non-address") << "tcp://[nope]:23" << bad << ""
                                           << "" << 0 << "";
    QTest::newRow("blank in host") << "tcp://my host:23" << bad << ""
                                   << "" << 0 << "";
    QTest::newRow("no host") << "rfc2217://:23" << bad << ""
                             << "" << 0 << "";
    QTest::newRow("relative path") << "ttyUSB0" << bad << ""
                                   << "" << 0 << "";
    QTest::newRow("empty") << "  \n"
                           << bad << ""
                           << "" << 0 << "";
}

void TestPortMap::parse()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(QString, device);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, written);
    const PortTarget target = PortMap::parse(text);
    QCOMPARE(int(target.kind), kind);
    QCOMPARE(target.device, device);
    QCOMPARE(target.host, host);
    QCOMPARE(int(target.port), port);
    QCOMPARE(target.text(), written);
    QCOMPARE(target.problem.isEmpty(), kind != int(Kind::Unusable));
}

void TestPortMap::fileEntry_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("written");
    QTest::newRow("one line") << QByteArray("rfc2217://127.0.0.1:7000")
                              << "rfc2217://127.0.0.1:7000";
    QTest::newRow("trailing newline") << QByteArray("tcp://h:23\n") << "tcp://h:23";
    QTest::newRow("CR LF, blanks") << QByteArray("  tcp://h:23  \r\n") << "tcp://h:23";
    QTest::newRow("only the first line counts")
        << QByteArray("tcp://h:23\n/dev/ttyS0\n") << "tcp://h:23";
#ifdef Q_OS_WIN
    QTest::newRow("device") << QByteArray("COM23\r\n") << "COM23";
#else
    QTest::newRow("device") << QByteArray("/dev/ttyUSB7\n") << "/dev/ttyUSB7";
#endif
    QTest::newRow("unknown scheme") << QByteArray("telnet://h:23\n") << "";
    QTest::newRow("empty file") << QByteArray() << "";
}

void TestPortMap::fileEntry()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, written);
    ConfigFolder config;
    ConfigFolder::mapEntry(5, contents);
    const PortTarget target = PortMap::resolve(5);
    QCOMPARE(target.text(), written);
    QCOMPARE(target.entry, PortMap::entryPath(5));
    QCOMPARE(target.kind == Kind::Unusable, written.isEmpty());
}

// ORVA_CONFIG_HOME=/srv/orva on Windows means that folder on the current drive.
void TestPortMap::entryInAFolderWithoutDrive()
{
#ifndef Q_OS_WIN
    QSKIP("every path has its drive here");
#else
    ConfigFolder config;
    const QTemporaryDir folder(QDir::currentPath() + QStringLiteral("/portmap-XXXXXX"));
    const QString withoutDrive = folder.path().mid(2);
    QVERIFY(withoutDrive.startsWith(QLatin1Char('/')));
    qputenv("ORVA_CONFIG_HOME", withoutDrive.toLocal8Bit());
    ConfigFolder::mapEntry(6, "tcp://h:23\n");
    const QString text = PortMap::resolve(6).text();
    EntryFile::remove(PortMap::entryPath(6)); // before its folder goes
    QCOMPARE(text, QStringLiteral("tcp://h:23"));
#endif
}

void TestPortMap::noEntryFallsBack()
{
    ConfigFolder config;
    ConfigFolder::mapEntry(2, "tcp://h:23\n"); // another port's entry changes nothing
    for (int number : {1, 3, 15}) {
        const PortTarget target = PortMap::resolve(number);
        QCOMPARE(int(target.kind), int(Kind::Device));
#ifdef Q_OS_WIN
        QCOMPARE(target.device, QStringLiteral("COM%1").arg(number));
#else
        QCOMPARE(target.device, QStringLiteral("/dev/ttyS%1").arg(number - 1));
#endif
        QVERIFY(target.entry.isEmpty());
    }
}

void TestPortMap::linkResolvesToTheDevice()
{
#ifdef Q_OS_WIN
    QSKIP("the ports folder holds no links on Windows");
#endif
    ConfigFolder config;
    QTemporaryFile device;
    QVERIFY(device.open());
    const QString byId = device.fileName() + QStringLiteral("-by-id");
    QVERIFY(QFile::link(device.fileName(), byId));
    QDir().mkpath(PortMap::portsFolder());
    QVERIFY(QFile::link(byId, PortMap::entryPath(3)));
    const PortTarget target = PortMap::resolve(3);
    QFile::remove(byId);
    QCOMPARE(int(target.kind), int(Kind::Device));
    // The device itself, so that its lock file is the one taken.
    QCOMPARE(target.device, QFileInfo(device.fileName()).canonicalFilePath());
}

void TestPortMap::danglingLinkIsUnusable()
{
#ifdef Q_OS_WIN
    QSKIP("the ports folder holds no links on Windows");
#endif
    ConfigFolder config;
    QDir().mkpath(PortMap::portsFolder());
    QVERIFY(QFile::link(QStringLiteral("/dev/ttyUSB-unplugged"), PortMap::entryPath(1)));
    const PortTarget target = PortMap::resolve(1);
    QCOMPARE(int(target.kind), int(Kind::Unusable));
    QVERIFY2(target.problem.contains(QLatin1String("/dev/ttyUSB-unplugged")),
             qPrintable(target.problem));
}

void TestPortMap::entryThatIsNoFileIsUnusable()
{
    ConfigFolder config;
    // COM12: Windows refuses a folder named COM1 to COM9 through Qt.
    QVERIFY(QDir().mkpath(PortMap::entryPath(12)));
    QCOMPARE(int(PortMap::resolve(12).kind), int(Kind::Unusable));
}

void TestPortMap::unreadableEntryIsUnusable()
{
#ifdef Q_OS_WIN
    QSKIP("a file's mode does not keep its owner from reading it on Windows");
#else
    if (geteuid() == 0)
        QSKIP("root reads a file whatever its mode");
    ConfigFolder config;
    ConfigFolder::mapEntry(6, "tcp://h:23\n");
    QVERIFY(QFile::setPermissions(PortMap::entryPath(6), QFileDevice::WriteOwner));
    const PortTarget target = PortMap::resolve(6);
    QCOMPARE(int(target.kind), int(Kind::Unusable));
    QVERIFY(target.problem.startsWith(QLatin1String("cannot be read")));
#endif
}

// No fallback: with COM1 unusable, /dev/ttyS0 (COM1 on Windows) is not opened even where it
// exists.
void TestPortMap::unusableEntryFailsTheOpen()
{
    ConfigFolder config;
    ConfigFolder::mapEntry(1, "ssh://h:22\n");
    SystemPortFactory factory;
    LinkPort port(factory);
    port.setChoice(PortChoice(1, PortChoice::Baud9600Code));
    QVERIFY(!openPort(port));
    QVERIFY(!port.isOpen());
}

// COM12: Qt reads it as a file on Windows too.
void TestPortMap::mapAndUnmap_data()
{
    QTest::addColumn<QByteArray>("existing");
    QTest::addColumn<QString>("target"); // empty: unmap
    QTest::addColumn<bool>("replace");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<bool>("warned");
    const int done = int(Outcome::Done), bad = int(Outcome::BadTarget),
              refused = int(Outcome::Refused);
    const QByteArray old("tcp://old:1\n");
#ifdef Q_OS_WIN
    QTest::newRow("device: a file")
        << QByteArray() << " COM23 " << false << done << QByteArray("COM23\n") << false;
#else
    QTest::newRow("device: a link")
        << QByteArray() << " /dev/null " << false << done << QByteArray("-> /dev/null") << false;
    QTest::newRow("device unplugged") << QByteArray() << "/dev/ttyUSB-unplugged" << false << done
                                      << QByteArray("-> /dev/ttyUSB-unplugged") << true;
#endif
    QTest::newRow("tcp: a file, as parsed")
        << QByteArray() << " TCP://h:23 " << false << done << QByteArray("tcp://h:23\n") << false;
    QTest::newRow("rfc2217: a file") << QByteArray() << "rfc2217://[::1]:2217" << false << done
                                     << QByteArray("rfc2217://[::1]:2217\n") << false;
    QTest::newRow("mapped already") << old << "tcp://h:23" << false << refused << old << false;
    QTest::newRow("replaced") << old << "tcp://h:23" << true << done << QByteArray("tcp://h:23\n")
                              << false;
    QTest::newRow("unusable target, nothing written")
        << QByteArray() << "tcp://h:99999" << false << bad << QByteArray() << false;
    QTest::newRow("unusable target, entry kept") << old << "bogus" << true << bad << old << false;
    QTest::newRow("unmap") << old << "" << false << done << QByteArray() << false;
    QTest::newRow("unmap, not mapped")
        << QByteArray() << "" << false << refused << QByteArray() << false;
}

void TestPortMap::mapAndUnmap()
{
    QFETCH(QByteArray, existing);
    QFETCH(QString, target);
    QFETCH(bool, replace);
    QFETCH(int, outcome);
    QFETCH(QByteArray, after);
    QFETCH(bool, warned);
    ConfigFolder config;
    if (!existing.isEmpty())
        ConfigFolder::mapEntry(12, existing);
    const PortMap::Change change
        = target.isEmpty() ? PortMap::unmap(12) : PortMap::map(12, target, replace);
    QCOMPARE(int(change.outcome), outcome);
    QVERIFY(!change.message.isEmpty());
    QCOMPARE(!change.warning.isEmpty(), warned);
    QCOMPARE(entryNow(12), after);
}

// Every code a stored "BaudRate" can give: 96 alone is 9600 baud.
void TestPortMap::storedSpeedCodes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("baud");
    for (int code = 0; code <= 255; ++code)
        QTest::addRow("%d", code) << code << (code == 96 ? 9600 : 19200);
}

void TestPortMap::storedSpeedCodes()
{
    QFETCH(int, code);
    QFETCH(int, baud);
    const PortChoice choice(3, code);
    QCOMPARE(choice.baud(), baud);
    QCOMPARE(choice.speedCode(), baud == 9600 ? 96 : 192);
    QCOMPARE(choice.lineSettings().text(), QStringLiteral("%1,N,8,1").arg(baud));
    PortChoice fromBaud(3);
    fromBaud.setBaud(baud);
    QVERIFY(fromBaud == choice);
}

QTEST_GUILESS_MAIN(TestPortMap)
#include "tst_portmap.moc"
