#include "engine/decoders.h"
#include "link/capture.h"
#include "link/deviceport.h"
#include "link/portmap.h"
#include "support/configfolder.h"
#include "support/freeports.h"
#include "tools/pty/pty.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <sys/resource.h>
#include <sys/stat.h>
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
    void reportsThreePortsInEveryFormat();
    void prometheusIsCleanAndWrittenWhole();
    void outputThatIsNoFileIsRefused_data();
    void outputThatIsNoFileIsRefused();
    void fullDiskKeepsTheOldOutput();
    void faultsAndFreshnessSurviveWarmUpAndSilence();
    void exitStatusIsTheWorstPorts_data();
    void exitStatusIsTheWorstPorts();
    void waitFollowsWarmUpAndTimesOut();
    void sendWhenReadyWaitsOutTheCooling();
    void fleetOfFortyOverTcp();
    void twoHundredFromOneProcessInOrder();
    void silentAndAbsentCostOnlyTheirOwnTime();
    void waitFollowsTwentyAtOnce();
    void fleetBeyondTheOpenFileLimitTakesTurns();
    void replayOfARecordGivesTheSameReport();
    void recordIsWhatThePeerSaw_data();
    void recordIsWhatThePeerSaw();
    void recordThatCannotBeWrittenTouchesNoPort_data();
    void recordThatCannotBeWrittenTouchesNoPort();
    void recordFolderHasAFileAProjector();

private:
    struct Run
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    Run orva(const QStringList &arguments, int timeoutMs = 20000);
    bool startProjector(const QStringList &arguments = {}, int port = Port);
    QProcess *startVirtualProjector(const QStringList &arguments);
    // `count` projectors of one virtual projector on consecutive free ports; the first port, or 0.
    quint16 startFleet(int count, const QStringList &arguments = {});
    // A fleet file naming tcp://127.0.0.1:PORT for each port, room-1 upwards; its path.
    QString writeFleet(const QList<quint16> &ports);
    // startFleet, and a fleet file naming its projectors in order; its path, or empty.
    QString startFleetFile(int count, const QStringList &arguments = {});
    // promtool's complaints about the metrics; empty when clean.
    static QByteArray promtoolSays(const QString &promtool, const QByteArray &metrics);
    void stopProjectors();
    // A virtual projector on a free loopback port recording into `capture`; its address.
    QString startRecordedProjector(const QString &capture, const QStringList &arguments = {});
    // Each direction's chunks of every capture in the file, joined; Sent is to the projector.
    struct Traffic
    {
        QByteArray sent, received;
        QList<Capture::Event::Kind> events; // the rest, in order
        QList<Capture::Header> headers;
    };
    static Traffic traffic(const QString &path);

    static constexpr int Port = 6;
    ConfigFolder *m_config = nullptr;
    QList<QProcess *> m_projectors;
    QTemporaryDir m_folder;
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

QProcess *TestCli::startVirtualProjector(const QStringList &arguments)
{
    auto *projector = new QProcess(this);
    m_projectors << projector;
    projector->setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    projector->start(QStringLiteral(VIRTUAL_PROJECTOR), arguments);
    return projector;
}

quint16 TestCli::startFleet(int count, const QStringList &arguments)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const quint16 first = freePorts(count);
        if (first == 0)
            return 0;
        QProcess *fleet = startVirtualProjector(
            QStringList {"--listen", QStringLiteral("127.0.0.1:%1").arg(first), "--count",
                         QString::number(count)}
            + arguments);
        if (fleet->waitForReadyRead(10000))
            return first;
        // Taken between the probe and the listen: other ports.
        fleet->waitForFinished(10000);
    }
    return 0;
}

QString TestCli::writeFleet(const QList<quint16> &ports)
{
    QByteArray lines;
    for (int i = 0; i < ports.size(); ++i)
        lines += QStringLiteral("room-%1 tcp://127.0.0.1:%2\n")
                     .arg(i + 1)
                     .arg(ports.at(i))
                     .toLatin1();
    const QString path = m_folder.filePath(QStringLiteral("fleet"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(lines) != lines.size())
        return {};
    return path;
}

QString TestCli::startFleetFile(int count, const QStringList &arguments)
{
    const quint16 first = startFleet(count, arguments);
    QList<quint16> ports;
    for (int i = 0; first && i < count; ++i)
        ports << quint16(first + i);
    return first ? writeFleet(ports) : QString();
}

bool TestCli::startProjector(const QStringList &arguments, int port)
{
    QProcess *projector = startVirtualProjector(
        QStringList {QStringLiteral("--port"), QString::number(port),
                     QStringLiteral("--countdown-ms"), QStringLiteral("300000")}
        + arguments);
    return projector->waitForReadyRead(5000) && QFileInfo(PortMap::entryPath(port)).isSymLink();
}

QByteArray TestCli::promtoolSays(const QString &promtool, const QByteArray &metrics)
{
    QProcess check;
    check.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
    check.write(metrics);
    check.closeWriteChannel();
    if (!check.waitForFinished(20000))
        return "promtool did not finish";
    const QByteArray said = check.readAllStandardOutput() + check.readAllStandardError();
    return check.exitCode() == 0 ? said
                                 : said + " (exit " + QByteArray::number(check.exitCode()) + ')';
}

void TestCli::stopProjectors()
{
    for (QProcess *projector : std::as_const(m_projectors)) {
        projector->terminate();
        if (!projector->waitForFinished(5000))
            projector->kill();
        projector->waitForFinished();
        delete projector;
    }
    m_projectors.clear();
}

QString TestCli::startRecordedProjector(const QString &capture, const QStringList &arguments)
{
    QProcess *projector = startVirtualProjector(
        QStringList {"--listen", "127.0.0.1:0", "--record", capture} + arguments);
    if (!projector->waitForReadyRead(10000))
        return {};
    static const QRegularExpression address(QStringLiteral("tcp://127\\.0\\.0\\.1:[0-9]+"));
    return address.match(QString::fromLatin1(projector->readAllStandardOutput())).captured();
}

TestCli::Traffic TestCli::traffic(const QString &path)
{
    Traffic traffic;
    Capture::Reader reader(path);
    for (;;) {
        switch (reader.next()) {
        case Capture::Reader::HeaderRead:
            traffic.headers << reader.header();
            continue;
        case Capture::Reader::EventRead:
            if (reader.event().kind == Capture::Event::Sent)
                traffic.sent += reader.event().bytes;
            else if (reader.event().kind == Capture::Event::Received)
                traffic.received += reader.event().bytes;
            else
                traffic.events << reader.event().kind;
            continue;
        case Capture::Reader::Failed:
            qWarning("%s", qPrintable(reader.error()));
            traffic.events << Capture::Event::Kind(-1);
            return traffic;
        case Capture::Reader::End:
            return traffic;
        }
    }
}

void TestCli::init()
{
    m_config = new ConfigFolder;
}

void TestCli::cleanup()
{
    stopProjectors();
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
    const QJsonObject port = QJsonDocument::fromJson(run.out).object();
    QCOMPARE(port.value("port").toString(), QStringLiteral("COM6"));
    const QJsonArray answers = port.value("commands").toArray();
    QCOMPARE(answers.size(), 6);
    const struct
    {
        const char *command;
        const char *reply;
        QVariant status;
        const char *value; // of a read, or acknowledged
    } expected[] = {{"CR0", "80\r", "Stand by", "power=standby"},
                    {"C00", "\x06\r", QVariant(), "acknowledged=true"},
                    {"CR0", "40\r", "Count down", "power=warming"},
                    {"CF LAMPMODE ECO1", "\x06\r", QVariant(), "acknowledged=true"},
                    {"CR LAMPMODE", "000 ECO\r", "Lamp Mode is Eco", "lamp_mode=eco"},
                    {"NOSUCH", "?\r", QVariant(), "acknowledged=false"}};
    for (int i = 0; i < answers.size(); ++i) {
        const QJsonObject object = answers.at(i).toObject();
        QCOMPARE(object.value("command").toString(), QString::fromLatin1(expected[i].command));
        QCOMPARE(object.value("reply").toString(), QString::fromLatin1(expected[i].reply));
        QCOMPARE(object.value("answered").toBool(), true);
        if (expected[i].status.isValid())
            QCOMPARE(object.value("status").toString(), expected[i].status.toString());
        else
            QVERIFY(object.value("status").isNull());
        const QStringList value = QString::fromLatin1(expected[i].value).split(QLatin1Char('='));
        QCOMPARE(object.value(value.at(0)).toVariant().toString(), value.at(1));
    }
    QVERIFY(run.out.contains(
        R"("commands": [{"command": "CR0", "reply": "80\r", "rendered": " 8 0  [CR] ",)"));
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
    QJsonObject port = QJsonDocument::fromJson(run.out).object();
    QJsonObject reads = port.value("reads").toObject();
    QCOMPARE(reads.keys().size(), 7);
    QCOMPARE(reads.value("STATUS").toObject().value("status").toString(),
             QStringLiteral("Stand by"));
    QCOMPARE(reads.value("LAMP-MODE").toObject().value("status").toString(),
             QStringLiteral("Lamp Mode is NORMAL"));
    QCOMPARE(reads.value("LAMP-STATUS").toObject().value("status").toString(),
             QStringLiteral("Lamp is OFF"));
    for (const char *caption : {"MODE", "TEMP", "SETTING", "LAMP-TIME"})
        QVERIFY2(!reads.value(caption).toObject().value("status").toString().isEmpty(), caption);
    QCOMPARE(port.value("lamp").toString(), QStringLiteral("off"));

    QCOMPARE(orva({"send", "-p", QString::number(Port), "C00", "CF LAMPMODE ECO1"}).exitCode, 0);
    run = orva(report);
    QCOMPARE(run.exitCode, 0);
    port = QJsonDocument::fromJson(run.out).object();
    reads = port.value("reads").toObject();
    QCOMPARE(reads.value("STATUS").toObject().value("status").toString(),
             QStringLiteral("Count down"));
    QCOMPARE(reads.value("LAMP-MODE").toObject().value("status").toString(),
             QStringLiteral("Lamp Mode is Eco"));
    QCOMPARE(reads.value("LAMP-STATUS").toObject().value("status").toString(),
             QStringLiteral("Lamp is ON"));
    QCOMPARE(port.value("power").toString(), QStringLiteral("warming"));
    QCOMPARE(port.value("lamp_mode").toString(), QStringLiteral("eco"));
    QCOMPARE(port.value("lamp").toString(), QStringLiteral("on"));
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
    QTest::newRow("bad fleet line") << QStringList {"report", "--fleet", "FLEET"};
    QTest::newRow("no port given, none stored") << QStringList {"send", "CR0"};
}

void TestCli::usageErrorsTouchNoPort()
{
    QFETCH(QStringList, arguments);
    Pty pty;
    QVERIFY(pty.linkAs(Port));
    // Its first line names the port; the second is not a line a fleet file may have.
    QTemporaryDir folder;
    const QString fleet = folder.filePath(QStringLiteral("fleet"));
    QFile file(fleet);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("lab COM6\nthe bad line\n") > 0);
    file.close();
    arguments.replaceInStrings(QStringLiteral("FLEET"), fleet);
    const Run run = orva(arguments);
    QCOMPARE(run.exitCode, 64);
    QCOMPARE(run.out, QByteArray());
    QVERIFY(run.err.startsWith("orva: "));
    if (arguments.contains(fleet))
        QVERIFY2(run.err.contains(fleet.toUtf8() + ":2: "), run.err.constData());
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
    // An unusable entry shows its path, longer than the target column: the states stay aligned.
    const QString gone = PortMap::portsFolder() + QStringLiteral("/gone-") + QString(40, 'x');
    QVERIFY(QFile::link(gone, PortMap::entryPath(2)));
    Run run = orva({"ports"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains(line), run.out.constData());
    const int at = run.out.indexOf(line);
    QVERIFY(run.out.mid(at, run.out.indexOf('\n', at) - at).endsWith("present, free"));
    QSet<qsizetype> stateColumns;
    for (const QByteArray &portLine : run.out.split('\n')) {
        for (const char *state : {" not present", " unusable", " present"}) {
            if (portLine.startsWith("COM") && portLine.contains(state)) {
                stateColumns << portLine.indexOf(state);
                break;
            }
        }
    }
    QCOMPARE(stateColumns.size(), 1);

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

namespace {

// What orva names as the port's target: the pseudo-terminal its entry links to.
QString device(int port)
{
    return PortMap::resolve(port).device;
}

QByteArrayList lines(const QByteArray &text)
{
    return text.trimmed().split('\n');
}

// The lines of one port, in the order they came.
QByteArrayList linesOf(const QByteArray &text, int port)
{
    QByteArrayList found;
    for (const QByteArray &line : lines(text)) {
        if (line.startsWith("COM" + QByteArray::number(port) + ' '))
            found << line;
    }
    return found;
}

} // namespace

void TestCli::reportsThreePortsInEveryFormat()
{
    // Each read answered after 100 ms: a port takes 700 ms at least.
    for (int i = 0; i < 3; ++i)
        QVERIFY(startProjector({"--lamp-hours", QString::number(600 + 100 * i), "--delay", "100"},
                               Port + i));
    const QStringList report {"report", "-p", "6-8", "-b", "19200"};

    Run run = orva(report);
    QCOMPARE(run.exitCode, 0);
    const QStringList blocks = QString::fromLatin1(run.out).split(QStringLiteral("\n\n"));
    QCOMPARE(blocks.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QStringList block = blocks.at(i).trimmed().split(QLatin1Char('\n'));
        QCOMPARE(block.size(), 8);
        QCOMPARE(block.at(0),
                 QStringLiteral("COM%1 (%2, 19200 baud)").arg(Port + i).arg(device(Port + i)));
        QCOMPARE(block.at(5), QStringLiteral("LAMP-TIME: %1 0 0   Hour Use").arg(6 + i));
    }

    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-60);
    run = orva(report + QStringList {"--json"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(lines(run.out).size(), 3);
    QDateTime first;
    for (int i = 0; i < 3; ++i) {
        const QJsonObject port = QJsonDocument::fromJson(lines(run.out).at(i)).object();
        QCOMPARE(port.value("port").toString(), QStringLiteral("COM%1").arg(Port + i));
        QCOMPARE(port.value("target").toString(), device(Port + i));
        QCOMPARE(port.value("speed").toInt(), 19200);
        const QDateTime time
            = QDateTime::fromString(port.value("time").toString(), Qt::ISODateWithMs);
        QVERIFY(time.isValid() && time.timeSpec() == Qt::UTC && time > before);
        // All at once: each began before the first could have finished.
        first = i == 0 ? time : first;
        QVERIFY2(qAbs(first.msecsTo(time)) < 350, qPrintable(time.toString(Qt::ISODateWithMs)));
        QVERIFY(port.value("error").isNull());
        QCOMPARE(port.value("lamp_hours").toInt(), 600 + 100 * i);
        QCOMPARE(port.value("temperatures_c").toArray(), (QJsonArray {25, 26.5, 27}));
        QCOMPARE(port.value("power").toString(), QStringLiteral("standby"));
        QCOMPARE(port.value("input").toString(), QStringLiteral("input1"));
        QCOMPARE(port.value("lamp_mode").toString(), QStringLiteral("normal"));
        QCOMPARE(port.value("reads").toObject().size(), 7);
    }

    run = orva(report + QStringList {"--csv"});
    QCOMPARE(run.exitCode, 0);
    const QByteArrayList rows = lines(run.out);
    QCOMPARE(rows.size(), 1 + 3 * 7);
    QCOMPARE(rows.at(0),
             QByteArray("port,name,target,speed,time,command,rendered,status,answered,"
                        "acknowledged,lamp_hours,temperature_1_c,temperature_2_c,"
                        "temperature_3_c,power,input,lamp,lamp_mode,error"));
    for (int row = 1; row < rows.size(); ++row) {
        const QByteArrayList fields = rows.at(row).split(',');
        const int port = Port + (row - 1) / 7;
        const QByteArray command = Decoders::statusReads().at((row - 1) % 7).command;
        QCOMPARE(fields.size(), 19);
        QCOMPARE(fields.at(0), "COM" + QByteArray::number(port));
        QCOMPARE(fields.at(2), device(port).toLatin1());
        QCOMPARE(fields.at(5), command);
        QCOMPARE(fields.at(8), QByteArray("true"));
        if (command == "CR3")
            QCOMPARE(fields.at(10), QByteArray::number(600 + 100 * (port - Port)));
        if (command == "CR0")
            QCOMPARE(fields.at(14), QByteArray("standby"));
    }
}

// For node_exporter's textfile collector: promtool finds nothing to say, and the file is
// replaced in one piece, with nothing of the earlier run left.
void TestCli::prometheusIsCleanAndWrittenWhole()
{
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty())
        QSKIP("promtool is not installed (Debian package prometheus)");
    QVERIFY(startProjector({}, Port));
    QVERIFY(startProjector({"--silent"}, Port + 1));
    ConfigFolder::mapEntry(Port + 2, "/dev/ttyUSB-unplugged\n");
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("orva.prom"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("orva_up{port=\"COM9\"} 1\n");
    file.close();

    const Run run = orva({"report", "-p", "6-8", "-b", "19200", "--wait", "300", "--format",
                          "prometheus", "--output", path});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList {"orva.prom"});
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray metrics = file.readAll();
    QCOMPARE(promtoolSays(promtool, metrics), QByteArray());

    const QByteArray com6 = "{port=\"COM6\",target=\"" + device(Port).toLatin1() + '"';
    for (const QByteArray &sample :
         {"orva_up" + com6 + "} 1", "orva_lamp_use_seconds" + com6 + "} 1735200",
          "orva_temperature_celsius" + com6 + ",sensor=\"2\"} 26.5",
          "orva_power_state" + com6 + ",state=\"standby\"} 1",
          "orva_power_state" + com6 + ",state=\"on\"} 0", "orva_lamp_on" + com6 + "} 0",
          QByteArray("orva_up{port=\"COM7\""), QByteArray("orva_up{port=\"COM8\"")})
        QVERIFY2(metrics.contains(sample), sample.constData());
    // The silent and the missing projector: up 0, why, how long it took, and nothing else.
    for (const QByteArray &line : lines(metrics)) {
        if (line.contains("port=\"COM7\"") || line.contains("port=\"COM8\""))
            QVERIFY2(line.startsWith("orva_up{") ? line.endsWith("} 0")
                         : line.startsWith("orva_down_reason{")
                         ? line.endsWith(line.contains("COM7") ? ",reason=\"silent\"} 1"
                                                               : ",reason=\"absent\"} 1")
                         : line.startsWith("orva_scrape_duration_seconds{"),
                     line.constData());
    }
    QCOMPARE(metrics.count("orva_down_reason{"), 2);
    QVERIFY(!metrics.contains("COM9"));
}

void TestCli::outputThatIsNoFileIsRefused_data()
{
    QTest::addColumn<QByteArray>("kind");
    QTest::newRow("FIFO") << QByteArray("a FIFO");
    QTest::newRow("folder") << QByteArray("a folder");
}

// Replacing it would destroy what stands there (a FIFO became a regular file): refused, before
// any port is opened, with the status of an output that cannot be written.
void TestCli::outputThatIsNoFileIsRefused()
{
    QFETCH(QByteArray, kind);
    Pty pty;
    QVERIFY(pty.linkAs(Port));
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("orva.prom"));
    if (kind == "a FIFO")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else
        QVERIFY(QDir().mkdir(path));
    const Run run = orva({"report", "-p", "6", "--format", "prometheus", "--output", path});
    QCOMPARE(run.exitCode, 73);
    QCOMPARE(run.err,
             "orva: cannot write " + path.toUtf8() + ": it is " + kind
                 + "; --output takes a regular file or a new one\n");
    QCOMPARE(pty.read(1, 200), QByteArray());
    struct stat status;
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
    QVERIFY(kind == "a FIFO" ? S_ISFIFO(status.st_mode) : S_ISDIR(status.st_mode));
}

// On a full disk the new file cannot be written whole: the old one stays byte for byte, no
// temporary file is left, and the status says so. A tmpfs of 16 KiB, filled up, in a mount
// namespace of the test's own.
void TestCli::fullDiskKeepsTheOldOutput()
{
    if (::geteuid() != 0)
        QSKIP("mounting a small file system takes root");
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    if (unshare.isEmpty())
        QSKIP("no unshare (util-linux) to make a mount namespace");
    QVERIFY(startProjector());
    QTemporaryDir folder;
    const QByteArray old = "orva_up{port=\"COM6\"} 1\n";
    QProcess run;
    run.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    run.start(unshare,
              {"--mount", "--propagation", "private", "sh", "-c",
               "mount -t tmpfs -o size=16k orva-test \"$1\" || { echo no-mount; exit 0; }\n"
               "printf '%s' \"$3\" > \"$1/orva.prom\"\n"
               "head -c 100000 /dev/zero > \"$1/fill\" 2>/dev/null\n"
               "\"$2\" report -p 6 -b 19200 --format prometheus --output \"$1/orva.prom\"\n"
               "echo \"status $?\"; ls -A \"$1\"; echo; cat \"$1/orva.prom\"",
               "sh", folder.path(), QStringLiteral(ORVA_PROGRAM), QString::fromLatin1(old)});
    QVERIFY(run.waitForFinished(20000));
    const QByteArray out = run.readAllStandardOutput();
    const QByteArray err = run.readAllStandardError();
    if (out.startsWith("no-mount"))
        QSKIP("this machine does not let the test mount a tmpfs");
    QCOMPARE(out, "status 73\nfill\norva.prom\n\n" + old);
    QVERIFY2(err.startsWith("orva: cannot write " + folder.path().toUtf8() + "/orva.prom: "),
             err.constData());
    QVERIFY2(err.endsWith("; the file is left as it was\n"), err.constData());
}

// A lamp that failed shows while the projector warms up (its power state alone cannot say so),
// and a projector that falls silent keeps the time it last answered, from the file it replaces.
void TestCli::faultsAndFreshnessSurviveWarmUpAndSilence()
{
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty())
        QSKIP("promtool is not installed (Debian package prometheus)");
    QProcess *projector = startVirtualProjector(
        {"--listen", "127.0.0.1:0", "--lamp-failure", "--countdown-ms", "300000"});
    QVERIFY(projector->waitForReadyRead(10000));
    static const QRegularExpression address(QStringLiteral("tcp://[0-9.]+:([0-9]+)"));
    const QRegularExpressionMatch listening
        = address.match(QString::fromLatin1(projector->readLine()));
    QVERIFY(listening.hasMatch());
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("orva.prom"));
    const QStringList report {"report",   "-p",         listening.captured(), "--wait", "300",
                              "--format", "prometheus", "--output",           path};
    const auto metrics = [&] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray labels = "{port=\"" + listening.captured().toLatin1() + "\",target=\""
        + listening.captured().toLatin1() + '"';
    const auto value = [&](const QByteArray &metric) {
        for (const QByteArray &line : lines(metrics())) {
            if (line.startsWith(metric + labels + "} "))
                return line.mid(line.lastIndexOf(' ') + 1);
        }
        return QByteArray();
    };

    QCOMPARE(orva({"send", "-p", listening.captured(), "C00"}).exitCode, 0);
    QCOMPARE(orva(report).exitCode, 0);
    QCOMPARE(promtoolSays(promtool, metrics()), QByteArray());
    QVERIFY(metrics().contains("orva_power_state" + labels + ",state=\"warming\"} 1\n"));
    QVERIFY(metrics().contains("orva_fault" + labels + ",fault=\"lamp\"} 1\n"));
    QVERIFY(metrics().contains("orva_fault" + labels + ",fault=\"temperature\"} 0\n"));
    const QByteArray answered = value("orva_last_answer_timestamp_seconds");
    QVERIFY(!answered.isEmpty());

    stopProjectors();
    QVERIFY(startVirtualProjector({"--listen", "127.0.0.1:" + listening.captured(1), "--silent"})
                ->waitForReadyRead(10000));
    QCOMPARE(orva(report).exitCode, 1);
    QCOMPARE(promtoolSays(promtool, metrics()), QByteArray());
    QCOMPARE(value("orva_up"), QByteArray("0"));
    QCOMPARE(value("orva_last_answer_timestamp_seconds"), answered);
    QVERIFY(!metrics().contains("orva_fault{"));
    const QByteArray reported = metrics().mid(metrics().lastIndexOf(' ') + 1).trimmed();
    QVERIFY2(reported.toDouble() > answered.toDouble(), reported.constData());
}

void TestCli::exitStatusIsTheWorstPorts_data()
{
    QTest::addColumn<QByteArray>("roles"); // COM6 to COM8: a answers, s silent, m missing
    QTest::addColumn<int>("exitCode");
    QTest::newRow("all answer") << QByteArray("aaa") << 0;
    QTest::newRow("one silent") << QByteArray("asa") << 1;
    QTest::newRow("one missing") << QByteArray("maa") << 2;
    QTest::newRow("silent and missing") << QByteArray("sam") << 2;
}

// A port that fails stops no other; the worst port decides.
void TestCli::exitStatusIsTheWorstPorts()
{
    QFETCH(QByteArray, roles);
    QFETCH(int, exitCode);
    for (int i = 0; i < roles.size(); ++i) {
        if (roles.at(i) == 'm')
            ConfigFolder::mapEntry(Port + i, "/dev/ttyUSB-unplugged\n");
        else
            QVERIFY(startProjector(roles.at(i) == 's' ? QStringList {"--silent"} : QStringList(),
                                   Port + i));
    }
    const Run run = orva({"report", "--json", "--wait", "300", "-p", "6-8", "-b", "19200"});
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(lines(run.out).size(), 3);
    for (int i = 0; i < roles.size(); ++i) {
        const QJsonObject port = QJsonDocument::fromJson(lines(run.out).at(i)).object();
        const QString name = QStringLiteral("COM%1").arg(Port + i);
        QCOMPARE(port.value("port").toString(), name);
        QCOMPARE(port.value("answered").toBool(), roles.at(i) == 'a');
        QCOMPARE(port.value("power").toString(),
                 roles.at(i) == 'a' ? QStringLiteral("standby") : QString());
        QCOMPARE(port.value("reads").toObject().size(), roles.at(i) == 'm' ? 0 : 7);
        const QString error = QStringLiteral("cannot open %1 (").arg(name);
        QCOMPARE(port.value("error").toString().startsWith(error), roles.at(i) == 'm');
        QCOMPARE(run.err.contains(error.toLatin1()), roles.at(i) == 'm');
    }
    if (!roles.contains('m'))
        return;
    // In text the reason is on standard error alone; the port's block says only that it failed.
    const Run text = orva({"report", "--wait", "300", "-p", "6-8", "-b", "19200"});
    QCOMPARE(text.exitCode, exitCode);
    QCOMPARE(text.err.count("cannot open"), roles.count('m'));
    QCOMPARE(text.out.count("cannot open"), 0);
    QCOMPARE(text.out.count("no result (see standard error)"), roles.count('m'));
}

void TestCli::waitFollowsWarmUpAndTimesOut()
{
    for (const int port : {Port, Port + 1})
        QVERIFY(startProjector({"--countdown-ms", "2000", "--cooling-ms", "2000"}, port));
    QCOMPARE(orva({"send", "-p", "6,7", "-b", "19200", "C00"}).exitCode, 0);
    Run run = orva({"wait", "-p", "6,7", "-b", "19200", "--until", "on", "--every", "0.2"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(linesOf(run.out, 6), (QByteArrayList {"COM6 warming", "COM6 on"}));
    QCOMPARE(linesOf(run.out, 7), (QByteArrayList {"COM7 warming", "COM7 on"}));
    QCOMPARE(run.err, QByteArray());

    QCOMPARE(orva({"send", "-p", "6", "-b", "19200", "C01"}).exitCode, 0);
    run = orva({"wait", "-p", "6,7", "-b", "19200", "--until", "standby", "--timeout", "0.5",
                "--every", "0.2"});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(linesOf(run.out, 6), QByteArrayList {"COM6 cooling"});
    QCOMPARE(linesOf(run.out, 7), QByteArrayList {"COM7 on"});
    QCOMPARE(run.err, QByteArray("orva: not standby within 0.5 s: COM6 (cooling), COM7 (on)\n"));
}

// A power on sent while the lamp cools down is lost; --when-ready sends it once it is over.
void TestCli::sendWhenReadyWaitsOutTheCooling()
{
    QVERIFY(startProjector({"--countdown-ms", "0", "--cooling-ms", "1500"}));
    const QStringList send {"send", "-p", "6", "-b", "19200"};
    QCOMPARE(orva(send + QStringList {"C00", "C01"}).exitCode, 0);

    Run run
        = orva(send + QStringList {"--when-ready", "--timeout", "0.3", "--every", "0.1", "C00"});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.err, QByteArray("orva: COM6 not ready within 0.3 s (cooling); nothing sent\n"));

    run = orva(send + QStringList {"--when-ready", "--every", "0.1", "C00", "CR0"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("C00\t  [ACK]  [CR] \nCR0\t 0 0  [CR] \tPower ON\n"));
}

// Forty projectors behind serial device servers (raw TCP, each answering after 30 ms), named in
// a fleet file: every one decoded, in the file's order, in text, JSON and Prometheus.
void TestCli::fleetOfFortyOverTcp()
{
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    constexpr int Count = 40;
    QList<QProcess *> projectors;
    for (int i = 0; i < Count; ++i)
        projectors << startVirtualProjector(
            {"--listen", "127.0.0.1:0", "--lamp-hours", QString::number(100 + i)});
    static const QRegularExpression address(QStringLiteral("tcp://[0-9.]+:[0-9]+"));
    QByteArray fleet = "# forty rooms\n";
    QStringList addresses;
    for (int i = 0; i < Count; ++i) {
        QVERIFY(projectors.at(i)->waitForReadyRead(10000));
        addresses << address.match(QString::fromLatin1(projectors.at(i)->readLine())).captured();
        QVERIFY(!addresses.last().isEmpty());
        fleet += QStringLiteral("room-%1  %2\n")
                     .arg(i + 1, 2, 10, QLatin1Char('0'))
                     .arg(addresses.last())
                     .toLatin1();
    }
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("fleet"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(fleet) > 0);
    file.close();
    const auto name = [](int i) {
        return QStringLiteral("room-%1").arg(i + 1, 2, 10, QLatin1Char('0'));
    };

    Run run = orva({"report", "--fleet", path});
    QCOMPARE(run.exitCode, 0);
    const QStringList blocks = QString::fromLatin1(run.out).split(QStringLiteral("\n\n"));
    QCOMPARE(blocks.size(), Count);
    for (int i = 0; i < Count; ++i) {
        QCOMPARE(blocks.at(i).section(QLatin1Char('\n'), 0, 0),
                 QStringLiteral("%1 %2 (19200 baud)").arg(name(i), addresses.at(i)));
        QCOMPARE(blocks.at(i).section(QLatin1Char('\n'), 1, 1), QStringLiteral("STATUS: Stand by"));
    }

    run = orva({"report", "--fleet", path, "--json"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(lines(run.out).size(), Count);
    for (int i = 0; i < Count; ++i) {
        const QJsonObject port = QJsonDocument::fromJson(lines(run.out).at(i)).object();
        QCOMPARE(port.value("name").toString(), name(i));
        QCOMPARE(port.value("port").toString(), addresses.at(i));
        QCOMPARE(port.value("target").toString(), addresses.at(i));
        QCOMPARE(port.value("lamp_hours").toInt(), 100 + i);
        QCOMPARE(port.value("power").toString(), QStringLiteral("standby"));
        QCOMPARE(port.value("lamp_mode").toString(), QStringLiteral("normal"));
    }

    run = orva({"report", "--fleet", path, "--format", "prometheus"});
    QCOMPARE(run.exitCode, 0);
    for (int i = 0; i < Count; ++i) {
        const QByteArray labels = QStringLiteral("{projector=\"%1\",port=\"%2\",target=\"%2\"")
                                      .arg(name(i), addresses.at(i))
                                      .toLatin1();
        QVERIFY(run.out.contains("orva_up" + labels + "} 1\n"));
        QVERIFY(run.out.contains("orva_lamp_use_seconds" + labels + "} "
                                 + QByteArray::number((100 + i) * 3600) + '\n'));
    }
    if (promtool.isEmpty())
        QSKIP("promtool is not installed (Debian package prometheus)");
    QCOMPARE(promtoolSays(promtool, run.out), QByteArray());
}

// Projector i of one process starts with lamp hours 482 + i: every object is there, in order,
// with its own hours.
void TestCli::twoHundredFromOneProcessInOrder()
{
    constexpr int Count = 200;
    const QString fleet = startFleetFile(Count);
    QVERIFY(!fleet.isEmpty());
    const Run run = orva({"report", "--fleet", fleet, "--json"});
    QCOMPARE(run.exitCode, 0);
    const QByteArrayList objects = lines(run.out);
    QCOMPARE(objects.size(), Count);
    for (int i = 0; i < Count; ++i) {
        const QJsonObject object = QJsonDocument::fromJson(objects.at(i)).object();
        QCOMPARE(object.value("name").toString(), QStringLiteral("room-%1").arg(i + 1));
        QCOMPARE(object.value("lamp_hours").toInt(), 482 + i);
    }
}

// Among 50: five that never answer and five addresses where nothing listens. The others are
// complete, each of the ten fails with its reason, and the run lasts about as long as one silent
// projector alone (its open, then one reply window: the reads after an unanswered one are not
// sent), not their sum. Bound: 1 s window + 0.15 s raw settle + start-up; five silent
// projectors one after another would take over 5 s, and seven windows each over 7 s.
void TestCli::silentAndAbsentCostOnlyTheirOwnTime()
{
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    const quint16 answering = startFleet(40);
    const quint16 silent = startFleet(5, {"--silent"});
    const quint16 nobody = freePorts(5);
    QVERIFY(answering && silent && nobody);
    QList<quint16> ports;
    for (int i = 0; i < 50; ++i)
        ports << quint16(i < 40 ? answering + i : i < 45 ? silent + i - 40 : nobody + i - 45);
    const QString fleet = writeFleet(ports);
    QElapsedTimer clock;
    clock.start();
    const Run run = orva({"report", "--fleet", fleet, "--json"});
    const qint64 tookMs = clock.elapsed();
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(tookMs < 3000, qPrintable(QString::number(tookMs)));
    const QByteArrayList objects = lines(run.out);
    QCOMPARE(objects.size(), 50);
    for (int i = 0; i < 50; ++i) {
        const QJsonObject object = QJsonDocument::fromJson(objects.at(i)).object();
        QCOMPARE(object.value("answered").toBool(), i < 40);
        QCOMPARE(object.value("reads").toObject().size(), i < 45 ? 7 : 0);
        QCOMPARE(object.value("error").isNull(), i < 45);
    }
    // Each message names the room, then the address.
    for (int i = 40; i < 50; ++i)
        QVERIFY2(run.err.contains(QStringLiteral("orva: room-%1: ").arg(i + 1).toLatin1()),
                 run.err.constData());

    const Run metrics = orva({"report", "--fleet", fleet, "--format", "prometheus"});
    QCOMPARE(metrics.exitCode, 2);
    if (!promtool.isEmpty())
        QCOMPARE(promtoolSays(promtool, metrics.out), QByteArray());
    QCOMPARE(metrics.out.count(",reason=\"silent\"} 1"), 5);
    QCOMPARE(metrics.out.count(",reason=\"refused\"} 1"), 5);
    QCOMPARE(metrics.out.count("orva_down_reason{"), 10);
}

void TestCli::waitFollowsTwentyAtOnce()
{
    constexpr int Count = 20;
    const QString fleet = startFleetFile(Count, {"--countdown-ms", "600"});
    QVERIFY(!fleet.isEmpty());
    QCOMPARE(orva({"send", "--fleet", fleet, "C00"}).exitCode, 0);
    const Run run = orva({"wait", "--fleet", fleet, "--until", "on", "--every", "0.2"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray());
    for (int i = 0; i < Count; ++i) {
        QByteArrayList seen;
        for (const QByteArray &line : lines(run.out)) {
            if (line.startsWith(QStringLiteral("room-%1 ").arg(i + 1).toLatin1()))
                seen << line.mid(line.indexOf(' ') + 1);
        }
        QCOMPARE(seen, (QByteArrayList {"warming", "on"}));
    }
}

// With room for 100 open files, 18 sessions fit at once beside what the program holds: the 40
// take turns, which is said once, and every result is complete and in order.
void TestCli::fleetBeyondTheOpenFileLimitTakesTurns()
{
    constexpr int Count = 40;
    const QString fleet = startFleetFile(Count);
    QVERIFY(!fleet.isEmpty());
    QProcess process;
    process.setChildProcessModifier([] {
        const rlimit limit {100, 100};
        setrlimit(RLIMIT_NOFILE, &limit);
    });
    process.start(QStringLiteral(ORVA_PROGRAM), {"report", "--fleet", fleet, "--json"});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardError(),
             QByteArray("orva: 40 projectors, but at most 18 ports may be open at once here (the "
                        "open-file limit): they take turns\n"));
    const QByteArrayList objects = lines(process.readAllStandardOutput());
    QCOMPARE(objects.size(), Count);
    for (int i = 0; i < Count; ++i)
        QCOMPARE(QJsonDocument::fromJson(objects.at(i)).object().value("lamp_hours").toInt(),
                 482 + i);
}

void TestCli::recordIsWhatThePeerSaw_data()
{
    QTest::addColumn<QStringList>("projector");
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QList<int>>("exitCodes");
    QTest::addColumn<bool>("cut"); // the projector drops the line
    // Unsolicited characters beside the answers, in pieces that fall anywhere.
    QTest::newRow("flood") << QStringList {"--flood", "2000", "--split"}
                           << QStringList {"report", "--wait", "200"} << QList<int> {0, 1} << false;
    // Every byte 0x80 and above: nothing printable, no CR, only hex.
    QTest::newRow("garbage") << QStringList {"--garbage"}
                             << QStringList {"send", "--wait", "200", "CR0"} << QList<int> {1}
                             << false;
    // Status reads every 50 ms, each answer in two pieces, until the line drops under them.
    QTest::newRow("hung up") << QStringList {"--split", "--hang-up-after", "1.5"}
                             << QStringList {"wait", "--until", "on", "--every", "0.05"}
                             << QList<int> {2} << true;
}

// What orva recorded and what the projector at the other end recorded are the same bytes in
// each direction, whatever the bytes. Only what one side wrote after the other had closed (the
// flood until the projector hears orva's close; a command into a line already cut) is in the
// writer's capture alone: it never reached the other end.
void TestCli::recordIsWhatThePeerSaw()
{
    QFETCH(QStringList, projector);
    QFETCH(QStringList, command);
    QFETCH(QList<int>, exitCodes);
    QFETCH(bool, cut);
    const QString peerFile = m_folder.filePath(QStringLiteral("peer.capture"));
    const QString orvaFile = m_folder.filePath(QStringLiteral("orva.capture"));
    QFile::remove(peerFile);
    QFile::remove(orvaFile);
    const QString address = startRecordedProjector(peerFile, projector);
    QVERIFY(!address.isEmpty());
    const Run run = orva(command + QStringList {"-p", address, "--record", orvaFile});
    QVERIFY2(exitCodes.contains(run.exitCode), run.err.constData());
    stopProjectors();
    const Traffic ours = traffic(orvaFile);
    const Traffic peers = traffic(peerFile);
    QCOMPARE(ours.headers.size(), 1);
    QCOMPARE(ours.headers[0].program, QStringLiteral("orva"));
    QCOMPARE(ours.headers[0].port, address);
    QCOMPARE(ours.headers[0].target, address);
    QCOMPARE(ours.headers[0].speed, 19200);
    QCOMPARE(peers.headers.size(), 1);
    QCOMPARE(peers.headers[0].program, QStringLiteral("virtual-projector"));
    using K = Capture::Event::Kind;
    QCOMPARE(ours.events, (QList<K> {K::Opened, cut ? K::Lost : K::Closed}));
    QCOMPARE(peers.events, (QList<K> {K::Opened, K::Closed}));
    QVERIFY(ours.sent.startsWith("CR0\r"));
    QVERIFY(!ours.received.isEmpty());
    if (cut) {
        QVERIFY(ours.sent.startsWith(peers.sent));
        QCOMPARE(ours.received, peers.received);
        QVERIFY(ours.received.count('\r') >= 10); // answers went by until the cut
    } else {
        QCOMPARE(ours.sent, peers.sent);
        QVERIFY(peers.received.startsWith(ours.received));
        if (!projector.contains("--flood"))
            QCOMPARE(ours.received, peers.received);
        else
            QVERIFY(ours.received.size() > 100); // the flood, not just answers
    }
    if (projector.contains("--garbage"))
        QVERIFY(std::all_of(ours.received.begin(), ours.received.end(),
                            [](char c) { return quint8(c) >= 0x80; }));
}

void TestCli::recordThatCannotBeWrittenTouchesNoPort_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<int>("projectors");
    QTest::addColumn<QString>("says");
    QTest::newRow("no such folder") << "none/orva.capture" << 1 << ": cannot open for appending";
    QTest::newRow("below a file") << "file/orva.capture" << 1 << ": cannot open for appending";
    QTest::newRow("a file for a folder") << "file" << 2 << "is not a folder";
}

// Stopped before any port: the projector's own capture shows no client until a later run.
void TestCli::recordThatCannotBeWrittenTouchesNoPort()
{
    QFETCH(QString, record);
    QFETCH(int, projectors);
    QFETCH(QString, says);
    const QString peerFile = m_folder.filePath(QStringLiteral("peer-%1.capture").arg(projectors));
    QFile::remove(peerFile);
    const QString address = startRecordedProjector(peerFile);
    QVERIFY(!address.isEmpty());
    QTemporaryDir folder;
    const QString path = folder.filePath(record);
    if (record.startsWith("file")) {
        QFile file(folder.filePath(QStringLiteral("file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QStringList ports {address};
    if (projectors == 2)
        ports << QStringLiteral("COM9");
    const Run run = orva({"report", "-p", ports.join(','), "--record", path});
    QCOMPARE(run.exitCode, 73);
    QVERIFY2(run.err.startsWith("orva: ") && run.err.contains(says.toUtf8()), run.err.constData());
    QCOMPARE(run.out, QByteArray());
    // A run that does reach it comes after anything the failed one might have done.
    QCOMPARE(orva({"send", "-p", address, "CR0"}).exitCode, 0);
    stopProjectors();
    const Traffic peers = traffic(peerFile);
    using K = Capture::Event::Kind;
    QCOMPARE(peers.events, (QList<K> {K::Opened, K::Closed}));
    QCOMPARE(peers.sent, QByteArray("CR0\r"));
}

// One file a projector, named by its fleet name, each a capture of its own line.
void TestCli::recordFolderHasAFileAProjector()
{
    const QString fleet = startFleetFile(2);
    QVERIFY(!fleet.isEmpty());
    const QString folder = m_folder.filePath(QStringLiteral("captures/today"));
    const Run run = orva({"send", "--fleet", fleet, "--record", folder, "CR0"});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(QDir(folder).entryList(QDir::Files),
             (QStringList {"room-1.capture", "room-2.capture"}));
    for (const QString name : {"room-1", "room-2"}) {
        const Traffic ours = traffic(folder + '/' + name + ".capture");
        QCOMPARE(ours.headers.size(), 1);
        QCOMPARE(ours.headers[0].port, name);
        QVERIFY(ours.headers[0].target.startsWith("tcp://127.0.0.1:"));
        QCOMPARE(ours.sent, QByteArray("CR0\r"));
        QCOMPARE(ours.received, QByteArray("80\r"));
    }
}

// The loop closed: a projector with unusual settings recorded by orva, then played back from the
// capture alone, gives the same report, field for field, but for the time and the address.
void TestCli::replayOfARecordGivesTheSameReport()
{
    const QString capture = m_folder.filePath(QStringLiteral("hall.capture"));
    QJsonObject reports[2];
    for (int pass = 0; pass < 2; ++pass) {
        const QStringList projector = pass == 0
            ? QStringList {"--lamp-failure", "--lamp-hours", "1234", "--split"}
            : QStringList {"--replay", capture};
        const QString fleet = startFleetFile(1, projector);
        QVERIFY(!fleet.isEmpty());
        QStringList report {"report", "--fleet", fleet, "--json"};
        if (pass == 0)
            report << "--record" << capture;
        const Run run = orva(report);
        QCOMPARE(run.exitCode, 0);
        reports[pass] = QJsonDocument::fromJson(run.out).object();
        for (const char *key : {"time", "target", "port"}) // the address as given
            reports[pass].remove(QLatin1String(key));
        stopProjectors();
    }
    QCOMPARE(reports[0].value("lamp_hours").toInt(), 1234);
    QCOMPARE(reports[0].value("lamp").toString(), QStringLiteral("failure"));
    QCOMPARE(reports[1], reports[0]);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
