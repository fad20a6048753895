#include "link/deviceport.h"
#include "link/portmap.h"
#include "support/configfolder.h"
#include "tools/pty/pty.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <unistd.h>

// The orva program as a script runs it, against the virtual projector on a pseudo-terminal.
class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void sendPrintsTheDecodedWords();
    void severalCommandsComeBackInOrder();
    void silentProjectorExitsOne();
    void absentPortExitsTwoAndNamesIt();
    void reportFollowsTheProjector();
    void lampHoursStandAlone();
    void usageErrorsTouchNoPort_data();
    void usageErrorsTouchNoPort();
    void storedPortIsUsedAndNeverWritten();
    void mapAndUnmap();
    void portsShowsPresentAndHeld();
    void portsMarksPermissionDenied();

private:
    struct Run
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    Run orva(const QStringList &arguments, int timeoutMs = 20000);
    bool startProjector(const QStringList &arguments = {});
    void stopProjector();

    static constexpr int Port = 6;
    ConfigFolder *m_config = nullptr;
    QProcess m_projector;
};

TestCli::Run TestCli::orva(const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    process.start(QStringLiteral(ORVA_PROGRAM), arguments);
    Run run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

bool TestCli::startProjector(const QStringList &arguments)
{
    m_projector.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    m_projector.start(QStringLiteral(VIRTUAL_PROJECTOR),
                      QStringList {QStringLiteral("--port"), QString::number(Port),
                                   QStringLiteral("--countdown-ms"), QStringLiteral("300000")}
                          + arguments);
    return m_projector.waitForReadyRead(5000) && QFileInfo(PortMap::entryPath(Port)).isSymLink();
}

void TestCli::stopProjector()
{
    if (m_projector.state() == QProcess::NotRunning)
        return;
    m_projector.terminate();
    if (!m_projector.waitForFinished(5000))
        m_projector.kill();
    m_projector.waitForFinished();
}

void TestCli::init()
{
    m_config = new ConfigFolder;
}

void TestCli::cleanup()
{
    stopProjector();
    delete m_config;
    m_config = nullptr;
}

// As the README's first example: neither side given a speed, nothing stored.
void TestCli::sendPrintsTheDecodedWords()
{
    QVERIFY(startProjector());
    const Run run = orva({"send", "-p", QString::number(Port), "CR0"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("CR0\t 8 0  [CR] \tStand by\n"));
    QCOMPARE(run.err, QByteArray());
}

void TestCli::severalCommandsComeBackInOrder()
{
    QVERIFY(startProjector());
    const Run run = orva({"send", "--json", "-p", QString::number(Port), "CR0", "C00", "CR0",
                          "CF LAMPMODE ECO1", "CR LAMPMODE", "NOSUCH"});
    QCOMPARE(run.exitCode, 0);
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 6);
    const struct
    {
        const char *command;
        const char *reply;
        QVariant status;
    } expected[] = {{"CR0", "80\r", "Stand by"},
                    {"C00", "\x06\r", QVariant()},
                    {"CR0", "40\r", "Count down"},
                    {"CF LAMPMODE ECO1", "\x06\r", QVariant()},
                    {"CR LAMPMODE", "000 ECO\r", "Lamp Mode is Eco"},
                    {"NOSUCH", "?\r", QVariant()}};
    for (int i = 0; i < lines.size(); ++i) {
        const QJsonObject object = QJsonDocument::fromJson(lines.at(i)).object();
        QCOMPARE(object.value("command").toString(), QString::fromLatin1(expected[i].command));
        QCOMPARE(object.value("reply").toString(), QString::fromLatin1(expected[i].reply));
        QCOMPARE(object.value("answered").toBool(), true);
        if (expected[i].status.isValid())
            QCOMPARE(object.value("status").toString(), expected[i].status.toString());
        else
            QVERIFY(object.value("status").isNull());
    }
    QVERIFY(lines.at(0).startsWith(
        R"({"command": "CR0", "reply": "80\r", "rendered": " 8 0  [CR] ",)"));
}

void TestCli::silentProjectorExitsOne()
{
    QVERIFY(startProjector({"--silent"}));
    const Run run = orva({"send", "-p", QString::number(Port), "--wait", "300", "CR0", "C00"});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QByteArray("CR0\t X X X X\tno answer\nC00\t X X X X\tno answer\n"));
    // Where it listened, so that a wrong port or speed shows.
    QCOMPARE(run.err,
             "orva: no answer on COM6 ("
                 + QFileInfo(PortMap::entryPath(Port)).symLinkTarget().toLatin1()
                 + ") at 19200 baud\n");
}

void TestCli::absentPortExitsTwoAndNamesIt()
{
    QDir().mkpath(PortMap::portsFolder());
    QVERIFY(QFile::link(QStringLiteral("/dev/ttyUSB-unplugged"), PortMap::entryPath(9)));
    const Run run = orva({"send", "-p", "9", "CR0"});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QByteArray());
    QVERIFY2(run.err.startsWith("orva: cannot open COM9 ("), run.err.constData());
    QVERIFY2(run.err.contains("/dev/ttyUSB-unplugged"), run.err.constData());
}

void TestCli::reportFollowsTheProjector()
{
    QVERIFY(startProjector());
    const QStringList report {"report", "--json", "-p", QString::number(Port)};
    Run run = orva(report);
    QCOMPARE(run.exitCode, 0);
    QJsonObject reads = QJsonDocument::fromJson(run.out).object();
    QCOMPARE(reads.keys().size(), 7);
    QCOMPARE(reads.value("STATUS").toObject().value("status").toString(),
             QStringLiteral("Stand by"));
    QCOMPARE(reads.value("LAMP-MODE").toObject().value("status").toString(),
             QStringLiteral("Lamp Mode is NORMAL"));
    QCOMPARE(reads.value("LAMP-STATUS").toObject().value("status").toString(),
             QStringLiteral("Lamp is OFF"));
    for (const char *caption : {"MODE", "TEMP", "SETTING", "LAMP-TIME"})
        QVERIFY2(!reads.value(caption).toObject().value("status").toString().isEmpty(), caption);

    QCOMPARE(orva({"send", "-p", QString::number(Port), "C00", "CF LAMPMODE ECO1"}).exitCode, 0);
    run = orva(report);
    QCOMPARE(run.exitCode, 0);
    reads = QJsonDocument::fromJson(run.out).object();
    QCOMPARE(reads.value("STATUS").toObject().value("status").toString(),
             QStringLiteral("Count down"));
    QCOMPARE(reads.value("LAMP-MODE").toObject().value("status").toString(),
             QStringLiteral("Lamp Mode is Eco"));
    QCOMPARE(reads.value("LAMP-STATUS").toObject().value("status").toString(),
             QStringLiteral("Lamp is ON"));
}

// On the panel LAMP-TIME writes its hours behind whatever STATUS shows; a report's reads do not.
void TestCli::lampHoursStandAlone()
{
    QVERIFY(startProjector());
    const Run run = orva({"report", "-p", QString::number(Port)});
    QCOMPARE(run.exitCode, 0);
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines.at(0), QByteArray("STATUS: Stand by"));
    QCOMPARE(lines.at(4), QByteArray("LAMP-TIME: 4 8 2   Hour Use"));
}

void TestCli::usageErrorsTouchNoPort_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no command") << QStringList();
    QTest::newRow("unknown option") << QStringList {"send", "-p", "6", "--loud", "CR0"};
    QTest::newRow("bad speed") << QStringList {"send", "-p", "6", "-b", "300", "CR0"};
    QTest::newRow("bad port") << QStringList {"report", "-p", "99"};
    QTest::newRow("no commands") << QStringList {"send", "-p", "6"};
    QTest::newRow("report with an operand") << QStringList {"report", "-p", "6", "CR0"};
    QTest::newRow("bad map target") << QStringList {"map", "COM6", "ftp://h:21"};
}

void TestCli::usageErrorsTouchNoPort()
{
    QFETCH(QStringList, arguments);
    Pty pty;
    QVERIFY(pty.linkAs(Port));
    const Run run = orva(arguments);
    QCOMPARE(run.exitCode, 64);
    QCOMPARE(run.out, QByteArray());
    QVERIFY(run.err.startsWith("orva: "));
    QCOMPARE(pty.read(1, 200), QByteArray());
    QVERIFY(QFileInfo(PortMap::entryPath(Port)).isSymLink());
}

void TestCli::storedPortIsUsedAndNeverWritten()
{
    QVERIFY(startProjector({"--baud", "9600"}));
    m_config->writeSettingsFile("[StartUP]\nComPort=6\nBaudRate=96\n");
    const QByteArray stored = m_config->settingsFileContents();
    Run run = orva({"send", "CR0"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("CR0\t 8 0  [CR] \tStand by\n"));
    // Another port and speed given: used for this run only.
    run = orva({"send", "-p", "7", "-b", "19200", "CR0"});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(m_config->settingsFileContents(), stored);
}

void TestCli::mapAndUnmap()
{
    // An adapter unplugged now is mapped all the same, with a word.
    Run run = orva({"map", "COM2", "/dev/ttyUSB-unplugged"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("COM2 -> /dev/ttyUSB-unplugged\n"));
    QCOMPARE(run.err,
             QByteArray("orva: /dev/ttyUSB-unplugged does not exist now; COM2 will use it "
                        "once it does\n"));
    QCOMPARE(QFileInfo(PortMap::entryPath(2)).symLinkTarget(),
             QStringLiteral("/dev/ttyUSB-unplugged"));
    Pty pty;
    run = orva({"map", "COM5", pty.slavePath()});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray());
    run = orva({"map", "COM3", " rfc2217://[::1]:2217 "});
    QCOMPARE(run.exitCode, 0);
    QFile entry(PortMap::entryPath(3));
    QVERIFY(entry.open(QIODevice::ReadOnly));
    QCOMPARE(entry.readAll(), QByteArray("rfc2217://[::1]:2217\n"));
    entry.close();

    run = orva({"map", "COM3", "tcp://h:23"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("--force"), run.err.constData());
    QCOMPARE(PortMap::resolve(3).text(), QStringLiteral("rfc2217://[::1]:2217"));
    run = orva({"map", "--force", "COM3", "tcp://h:23"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(PortMap::resolve(3).text(), QStringLiteral("tcp://h:23"));

    run = orva({"map", "COM4", "tcp://h:99999"});
    QCOMPARE(run.exitCode, 64);
    QVERIFY2(run.err.contains("TCP port"), run.err.constData());
    QVERIFY(!QFileInfo::exists(PortMap::entryPath(4)));
    run = orva({"map", "--force", "COM3", "bogus"});
    QCOMPARE(run.exitCode, 64);
    QCOMPARE(PortMap::resolve(3).text(), QStringLiteral("tcp://h:23"));

    QCOMPARE(orva({"unmap", "COM2"}).exitCode, 0);
    QVERIFY(!QFileInfo(PortMap::entryPath(2)).isSymLink());
    QCOMPARE(orva({"unmap", "COM2"}).exitCode, 1);
}

void TestCli::portsShowsPresentAndHeld()
{
    Pty pty;
    QVERIFY(pty.linkAs(Port));
    const QByteArray line = "COM6  " + pty.slavePath().toLatin1();
    Run run = orva({"ports"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains(line), run.out.constData());
    const int at = run.out.indexOf(line);
    QVERIFY(run.out.mid(at, run.out.indexOf('\n', at) - at).endsWith("present, free"));

    DevicePort holder(pty.slavePath());
    QVERIFY(holder.open());
    run = orva({"ports", "--json"});
    QCOMPARE(run.exitCode, 0);
    const QJsonArray entries = QJsonDocument::fromJson(run.out).array();
    QVERIFY(entries.size() >= 15);
    const QJsonObject com6 = entries.at(5).toObject();
    QCOMPARE(com6.value("port").toString(), QStringLiteral("COM6"));
    QCOMPARE(com6.value("target").toString(), pty.slavePath());
    QCOMPARE(com6.value("state").toString(), QStringLiteral("present, held by another program"));
    QCOMPARE(com6.value("mapped").toBool(), true);
    // send says it with the same words.
    run = orva({"send", "-p", QString::number(Port), "CR0"});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.err,
             "orva: cannot open COM6 (" + pty.slavePath().toLatin1()
                 + "): held by another program\n");
}

// On Debian a user outside dialout may not open the serial devices. Root may open anything, so as
// root the check runs orva as nobody, against a pseudo-terminal that only root may read.
void TestCli::portsMarksPermissionDenied()
{
    Pty pty;
    QVERIFY(pty.linkAs(Port));
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (geteuid() == 0) {
        const QString runuser = QStandardPaths::findExecutable(
            QStringLiteral("runuser"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
        if (runuser.isEmpty())
            QSKIP("no runuser to become another user");
        // nobody must read the ports folder, not the device.
        for (QString folder = PortMap::portsFolder();
             folder.size() > 1 && folder != QDir::tempPath(); folder = QFileInfo(folder).path()) {
            QFile::setPermissions(folder,
                                  QFile::permissions(folder) | QFileDevice::ReadOther
                                      | QFileDevice::ExeOther);
        }
        QVERIFY(!(QFile::permissions(pty.slavePath()) & QFileDevice::ReadOther));
        // The checkout may lie in a folder nobody may not enter (/root, mktemp -d): nobody runs
        // copies of what the program reads, in the settings folder opened above.
        const QString shared = qEnvironmentVariable("XDG_CONFIG_HOME");
        const QString program = shared + QStringLiteral("/orva");
        QVERIFY(QFile::copy(QStringLiteral(ORVA_PROGRAM), program));
        const auto everyone = QFileDevice::ReadOwner | QFileDevice::ExeOwner
            | QFileDevice::ReadOther | QFileDevice::ExeOther;
        QVERIFY(QFile::setPermissions(program, everyone));
        // A sanitizer build's leak checker stops the program when it cannot read its list.
        QString leakOptions = environment.value(QStringLiteral("LSAN_OPTIONS"));
        const QRegularExpressionMatch list
            = QRegularExpression(QStringLiteral("suppressions=([^:]+)")).match(leakOptions);
        if (list.hasMatch()) {
            const QString copy = shared + QStringLiteral("/lsan.supp");
            QVERIFY(QFile::copy(list.captured(1), copy));
            QVERIFY(QFile::setPermissions(copy, everyone));
            environment.insert(
                QStringLiteral("LSAN_OPTIONS"),
                leakOptions.replace(list.capturedStart(1), list.capturedLength(1), copy));
        }
        process.setWorkingDirectory(shared);
        process.setProcessEnvironment(environment);
        process.start(runuser,
                      {QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"),
                       program, QStringLiteral("ports")});
    } else {
        QVERIFY(QFile::setPermissions(pty.slavePath(), QFileDevice::Permissions()));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(ORVA_PROGRAM), {QStringLiteral("ports")});
    }
    QVERIFY(process.waitForFinished(20000));
    const QByteArray out = process.readAllStandardOutput();
    QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
    const QByteArray line = "COM6  " + pty.slavePath().toLatin1();
    const int at = out.indexOf(line);
    QVERIFY2(at >= 0, out.constData());
    QVERIFY2(out.mid(at, out.indexOf('\n', at) - at).endsWith("present, permission denied"),
             out.constData());
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
