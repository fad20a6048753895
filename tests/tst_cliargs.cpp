#include "cli/arguments.h"
#include "cli/projectors.h"

#include <QTemporaryDir>
#include <QTest>

// What orva makes of its command line, before any port is touched.
class TestCliArgs : public QObject
{
    Q_OBJECT
private slots:
    void accepted_data();
    void accepted();
    void usageErrors_data();
    void usageErrors();
    void projectors_data();
    void projectors();
    void captureFiles_data();
    void captureFiles();
};

namespace {

// What was parsed, every field that differs from its default.
QString describe(const Arguments &parsed)
{
    const char *const commands[] = {"none", "ports", "map", "unmap", "send", "report", "wait"};
    const char *const formats[] = {"text", "json", "csv", "prometheus"};
    const Arguments defaults;
    QStringList fields {QLatin1String(commands[int(parsed.command)])};
    if (parsed.force)
        fields << QStringLiteral("force");
    if (parsed.whenReady)
        fields << QStringLiteral("when-ready");
    if (!parsed.ports.isEmpty())
        fields << QStringLiteral("ports=") + parsed.ports.join(QLatin1Char('|'));
    if (!parsed.fleet.isEmpty())
        fields << QStringLiteral("fleet=") + parsed.fleet;
    if (parsed.jobs != defaults.jobs)
        fields << QStringLiteral("jobs=%1").arg(parsed.jobs);
    if (parsed.baud)
        fields << QStringLiteral("baud=%1").arg(parsed.baud);
    if (parsed.waitMs != defaults.waitMs)
        fields << QStringLiteral("wait=%1").arg(parsed.waitMs);
    if (parsed.format != defaults.format)
        fields << QStringLiteral("format=") + QLatin1String(formats[int(parsed.format)]);
    if (parsed.json != (parsed.format == Arguments::Format::Json))
        fields << QStringLiteral("json disagrees");
    if (!parsed.output.isEmpty())
        fields << QStringLiteral("output=") + parsed.output;
    if (!parsed.until.isEmpty())
        fields << QStringLiteral("until=") + parsed.until;
    if (!parsed.record.isEmpty())
        fields << QStringLiteral("record=") + parsed.record;
    if (parsed.timeoutMs != defaults.timeoutMs)
        fields << QStringLiteral("timeout=%1").arg(parsed.timeoutMs);
    if (parsed.everyMs != defaults.everyMs)
        fields << QStringLiteral("every=%1").arg(parsed.everyMs);
    if (!parsed.operands.isEmpty())
        fields << QStringLiteral("operands=") + parsed.operands.join(QLatin1Char('|'));
    return fields.join(QLatin1Char(' '));
}

} // namespace

void TestCliArgs::accepted_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");
    QTest::newRow("send, stored port") << QStringList {"send", "CR0"} << "send operands=CR0";
    QTest::newRow("send, all options")
        << QStringList {"send", "-p", "3", "-b", "9600", "--wait", "250", "--json", "C00", "CR0"}
        << "send ports=3 baud=9600 wait=250 format=json operands=C00|CR0";
    QTest::newRow("COMn and --opt=value")
        << QStringList {"send", "--port=COM12", "--baud=19200", "CF LAMPMODE ECO1"}
        << "send ports=COM12 baud=19200 operands=CF LAMPMODE ECO1";
    QTest::newRow("options before the command")
        << QStringList {"-p", "com4", "report"} << "report ports=com4";
    QTest::newRow("a command that starts with a dash, after --")
        << QStringList {"send", "--", "-X"} << "send operands=-X";
    QTest::newRow("ports --json") << QStringList {"ports", "--json"} << "ports format=json";
    QTest::newRow("map") << QStringList {"map", "--force", "COM2", "tcp://h:23"}
                         << "map force operands=COM2|tcp://h:23";
    QTest::newRow("unmap") << QStringList {"unmap", "COM15"} << "unmap operands=COM15";
    QTest::newRow("a list with a range")
        << QStringList {"report", "-p", "1,3,5-8"} << "report ports=1|3|5-8";
    QTest::newRow("COMn ranges, -p twice")
        << QStringList {"report", "-p", "COM9-com10", "--port", " COM12"}
        << "report ports=COM9-com10|COM12";
    QTest::newRow("prometheus into a file")
        << QStringList {"report", "--format", "prometheus", "--output", "/tmp/orva.prom"}
        << "report format=prometheus output=/tmp/orva.prom";
    QTest::newRow("csv, twice the same")
        << QStringList {"send", "--csv", "--format=csv", "C00"} << "send format=csv operands=C00";
    QTest::newRow("wait") << QStringList {"wait",      "-p",  "1-3",     "--until", "on",
                                          "--timeout", "2.5", "--every", "0.2"}
                          << "wait ports=1-3 until=on timeout=2500 every=200";
    QTest::newRow("send when ready") << QStringList {"send", "--when-ready", "--timeout=60", "C05"}
                                     << "send when-ready timeout=60000 operands=C05";
    QTest::newRow("fleet, names and targets, jobs")
        << QStringList {"report", "--fleet", "f", "--jobs", "8", "-p", "a-101, tcp://h:1"}
        << "report ports=a-101|tcp://h:1 fleet=f jobs=8";
    QTest::newRow("report --record")
        << QStringList {"report", "--record", "cap"} << "report record=cap";
    QTest::newRow("wait --record=")
        << QStringList {"wait", "--until", "on", "--record=d/"} << "wait until=on record=d/";
}

void TestCliArgs::accepted()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    Arguments parsed;
    QString error;
    QVERIFY2(Arguments::parse(arguments, &parsed, &error), qPrintable(error));
    QCOMPARE(describe(parsed), expected);
}

void TestCliArgs::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("reason");
    QTest::newRow("nothing") << QStringList() << "no command";
    QTest::newRow("unknown command") << QStringList {"status"} << "unknown command";
    QTest::newRow("unknown option") << QStringList {"send", "--fast", "CR0"} << "unknown option";
    QTest::newRow("send without commands") << QStringList {"send"} << "wrong number";
    QTest::newRow("port missing") << QStringList {"send", "CR0", "-p"} << "needs a value";
    QTest::newRow("baud 4800") << QStringList {"send", "-b", "4800", "CR0"} << "--baud";
    QTest::newRow("wait 0") << QStringList {"send", "--wait", "0", "CR0"} << "--wait";
    QTest::newRow("wait text") << QStringList {"send", "--wait", "soon", "CR0"} << "--wait";
    QTest::newRow("--port with ports") << QStringList {"ports", "-p", "3"} << "does not go";
    QTest::newRow("--json with map")
        << QStringList {"map", "--json", "COM1", "/dev/x"} << "does not go";
    QTest::newRow("--force before unmap")
        << QStringList {"--force", "unmap", "COM1"} << "does not go";
    QTest::newRow("report with operands") << QStringList {"report", "CR0"} << "wrong number";
    QTest::newRow("map one operand") << QStringList {"map", "COM1"} << "wrong number";
    QTest::newRow("map a number") << QStringList {"map", "3", "/dev/x"} << "not COM1 to COM15";
    QTest::newRow("unmap COM16") << QStringList {"unmap", "COM16"} << "not COM1 to COM15";
    QTest::newRow("line end in a command") << QStringList {"send", "CR0\rC00"} << "line end";
    QTest::newRow("beyond Latin-1") << QStringList {"send", QStringLiteral("C\u20ac")} << "Latin-1";
    QTest::newRow("--jobs 0") << QStringList {"report", "--jobs", "0"} << "--jobs takes";
    QTest::newRow("--jobs -1") << QStringList {"report", "--jobs", "-1"} << "--jobs takes";
    QTest::newRow("--fleet with ports") << QStringList {"ports", "--fleet", "f"} << "does not go";
    QTest::newRow("prometheus with send")
        << QStringList {"send", "--format", "prometheus", "C00"} << "report only";
    QTest::newRow("unknown format") << QStringList {"report", "--format", "xml"} << "--format";
    QTest::newRow("--record with ports") << QStringList {"ports", "--record", "c"} << "does not go";
    QTest::newRow("--record with map")
        << QStringList {"map", "--record", "c", "COM1", "/dev/x"} << "does not go";
    QTest::newRow("--record empty") << QStringList {"report", "--record="} << "file or folder";
    QTest::newRow("--record last") << QStringList {"report", "--record"} << "needs a value";
    QTest::newRow("two formats") << QStringList {"report", "--json", "--csv"}
                                 << "one output format";
    QTest::newRow("--csv with ports") << QStringList {"ports", "--csv"} << "does not go";
    QTest::newRow("wait without --until") << QStringList {"wait", "-p", "1"} << "--until";
    QTest::newRow("--until off") << QStringList {"wait", "--until", "off"} << "on or standby";
    QTest::newRow("--timeout without --when-ready")
        << QStringList {"send", "--timeout", "5", "C00"} << "--when-ready";
    QTest::newRow("--timeout 0") << QStringList {"wait", "--until", "on", "--timeout", "0"}
                                 << "--timeout takes";
    QTest::newRow("--every text") << QStringList {"wait", "--until", "on", "--every", "often"}
                                  << "--every takes";
    QTest::newRow("--output with wait")
        << QStringList {"wait", "--until", "on", "--output", "x"} << "does not go";
    QTest::newRow("--when-ready with report")
        << QStringList {"report", "--when-ready"} << "does not go";
}

void TestCliArgs::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, reason);
    Arguments parsed;
    QString error;
    QVERIFY(!Arguments::parse(arguments, &parsed, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
}

void TestCliArgs::projectors_data()
{
    QTest::addColumn<QByteArray>("fleet"); // the fleet file; empty: none
    QTest::addColumn<QStringList>("items"); // -p
    QTest::addColumn<QString>("expected"); // name:port=target each, or "error: " and part of it
    const QByteArray fleet = "# building A\n"
                             "a-101   rfc2217://10.0.4.21:4001\n"
                             "a-102\ttcp://10.0.4.22:4001  # by the door\n"
                             "\n"
                             "lab     COM3\n";
    const auto row = [](const char *name, const QByteArray &file, const QStringList &items,
                        const char *expected) {
        QTest::newRow(name) << file << items << QString::fromUtf8(expected);
    };
    row("ports and ranges", {}, {"1", "com3", "COM5-7", "9-COM10"},
        "COM1 COM3 COM5 COM6 COM7 COM9 COM10");
#ifdef Q_OS_WIN
    row("targets, as written", {}, {"tcp://10.0.4.22:4001", "RFC2217://[::1]:2217", "COM23"},
        "tcp://10.0.4.22:4001 RFC2217://[::1]:2217=rfc2217://[::1]:2217 COM23");
#else
    row("targets, as written", {}, {"tcp://10.0.4.22:4001", "RFC2217://[::1]:2217", "/dev/ttyUSB7"},
        "tcp://10.0.4.22:4001 RFC2217://[::1]:2217=rfc2217://[::1]:2217 /dev/ttyUSB7");
#endif
    row("the whole fleet, in file order", fleet, {},
        "a-101:rfc2217://10.0.4.21:4001 a-102:tcp://10.0.4.22:4001 lab:COM3");
    row("names, ports and targets mixed", fleet, {"lab", "a-101", "7", "tcp://h:1"},
        "lab:COM3 a-101:rfc2217://10.0.4.21:4001 COM7 tcp://h:1");
    row("port 0", {}, {"0"}, "error: --port: \"0\" is not a port: write 1 to 15");
    row("port 16", {}, {"16"}, "error: \"16\" is not a port");
    row("reversed range", {}, {"8-5"}, "error: \"8-5\" is not a port");
    row("empty item", {}, {"1", "", "2"}, "error: \"\" is not a port");
    row("listed twice", {}, {"1-3", "COM2"}, "error: COM2 is listed twice");
    row("a name and its port", fleet, {"lab", "3"}, "error: COM3 is listed twice");
    row("a target twice", {}, {"tcp://h:1", "tcp://h:1"}, "error: tcp://h:1 is listed twice");
    row("bad TCP port", {}, {"tcp://h:99999"}, "error: \"99999\" is not a TCP port");
    row("unknown scheme", {}, {"ftp://h:21"}, "error: unknown scheme \"ftp\"");
    row("unknown name", fleet, {"a-103"},
        "error: \"a-103\" is not a port: write 1 to 15 or "
        "COMn, a range (5-8), tcp://HOST:PORT, "
        "rfc2217://HOST:PORT or a device, or a name of the fleet");
    row("fleet line without a target", "a-101\n", {}, "error: FLEET:1: write a name, blanks, then");
    row("fleet name with a digit first", "1st COM1\n", {}, "error: FLEET:1: \"1st\" is not a name");
    row("fleet name that is a port", "com4 COM1\n", {}, "error: FLEET:1: \"com4\" is not a name");
    row("fleet name twice", "a COM1\nb COM2\na COM3\n", {},
        "error: FLEET:3: \"a\" is named twice (first on line 1)");
    row("fleet target without a port", "a COM1\n\nb tcp://h\n", {},
        "error: FLEET:3: \"tcp://h\": the address has no port");
    row("fleet range", "a 1-3\n", {}, "error: FLEET:1: \"1-3\" is not a port");
    row("fleet file missing", "<missing>", {}, "error: cannot read FLEET");
    const QByteArray longest = "a COM1 #" + QByteArray(Projectors::MaxLineBytes - 8, 'x');
    row("fleet line as long as can be", longest + "\nb COM2\n", {}, "a:COM1 b:COM2");
    row("fleet line a byte too long", longest + "x\nb COM2\n", {},
        "error: FLEET:1: the line is longer than 4096 bytes");
    row("fleet target not in UTF-8", "a COM1\nb /dev/caf\xe9\n", {},
        "error: FLEET:2: write names and targets in UTF-8");
    row("fleet comment in Latin-1", "a COM1 # caf\xe9\n", {}, "a:COM1");
}

void TestCliArgs::projectors()
{
    QFETCH(QByteArray, fleet);
    QFETCH(QStringList, items);
    QFETCH(QString, expected);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("fleet"));
    QVector<Projector> known;
    QString error;
    bool ok = true;
    if (!fleet.isEmpty()) {
        QFile file(path);
        QVERIFY(fleet == "<missing>" || (file.open(QIODevice::WriteOnly) && file.write(fleet)));
        file.close();
        ok = Projectors::readFleet(path, &known, &error);
    }
    QVector<Projector> chosen = known;
    if (ok && !items.isEmpty()) {
        chosen.clear();
        ok = Projectors::select(items, known, &chosen, &error);
    }
    QStringList found;
    for (const Projector &projector : chosen) {
        QString text = projector.name.isEmpty() ? QString() : projector.name + QLatin1Char(':');
        text += projector.port;
        if (!projector.number && projector.target.text() != projector.port)
            text += QLatin1Char('=') + projector.target.text();
        QCOMPARE(projector.number == 0, projector.target.kind != PortTarget::Kind::Unusable);
        found << text;
    }
    const QString result = ok ? found.join(QLatin1Char(' '))
                              : QStringLiteral("error: ") + error.replace(path, "FLEET");
    QVERIFY2(ok ? result == expected
                : result.contains(expected.mid(7)) && expected.startsWith("error"),
             qPrintable(result));
}

// Names a person finds by the projector, unique even where case does not count, and safe to
// put in any folder.
void TestCliArgs::captureFiles_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("a port") << QStringList {"COM3"} << QStringList {"COM3.capture"};
    QTest::newRow("targets") << QStringList {"tcp://127.0.0.1:5000", "rfc2217://[::1]:4001",
                                             "/dev/ttyUSB0"}
                             << QStringList {"tcp___127.0.0.1_5000.capture",
                                             "rfc2217______1__4001.capture", "_dev_ttyUSB0.capture"};
    QTest::newRow("fleet names") << QStringList {"room-12", "lab.b"}
                                 << QStringList {"room-12.capture", "lab.b.capture"};
    QTest::newRow("the same once sanitized")
        << QStringList {"tcp://h:1", "tcp_//h:1", "tcp:__h:1"}
        << QStringList {"tcp___h_1.capture", "tcp___h_1-2.capture", "tcp___h_1-3.capture"};
    QTest::newRow("only case differs")
        << QStringList {"Room", "room", "ROOM-2"}
        << QStringList {"Room.capture", "room-2.capture", "ROOM-2-2.capture"};
}

void TestCliArgs::captureFiles()
{
    QFETCH(QStringList, items);
    QFETCH(QStringList, names);
    QVector<Projector> projectors;
    for (const QString &item : items) {
        Projector projector;
        // A fleet name is any word that is not a port; labels are what the files are named by.
        if (item.contains(QLatin1Char(':')) || item.startsWith(QLatin1Char('/'))
            || item.startsWith(QLatin1String("COM")))
            projector.port = item;
        else
            projector.name = item;
        projectors << projector;
    }
    QStringList expected;
    for (const QString &name : names)
        expected << QStringLiteral("/d/") + name;
    QCOMPARE(Projectors::captureFiles(projectors, QStringLiteral("/d")), expected);
}

QTEST_GUILESS_MAIN(TestCliArgs)
#include "tst_cliargs.moc"
