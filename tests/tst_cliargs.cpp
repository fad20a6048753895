#include "cli/arguments.h"

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
    if (!parsed.ports.isEmpty()) {
        QStringList ports;
        for (const int port : parsed.ports)
            ports << QString::number(port);
        fields << QStringLiteral("ports=") + ports.join(QLatin1Char(','));
    }
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
        << "send ports=12 baud=19200 operands=CF LAMPMODE ECO1";
    QTest::newRow("options before the command")
        << QStringList {"-p", "com4", "report"} << "report ports=4";
    QTest::newRow("a command that starts with a dash, after --")
        << QStringList {"send", "--", "-X"} << "send operands=-X";
    QTest::newRow("ports --json") << QStringList {"ports", "--json"} << "ports format=json";
    QTest::newRow("map") << QStringList {"map", "--force", "COM2", "tcp://h:23"}
                         << "map force operands=COM2|tcp://h:23";
    QTest::newRow("unmap") << QStringList {"unmap", "COM15"} << "unmap operands=COM15";
    QTest::newRow("a list with a range")
        << QStringList {"report", "-p", "1,3,5-8"} << "report ports=1,3,5,6,7,8";
    QTest::newRow("COMn ranges, -p twice")
        << QStringList {"report", "-p", "COM9-com10", "--port", " COM12"} << "report ports=9,10,12";
    QTest::newRow("prometheus into a file")
        << QStringList {"report", "--format", "prometheus", "--output", "/tmp/orva.prom"}
        << "report format=prometheus output=/tmp/orva.prom";
    QTest::newRow("csv, twice the same")
        << QStringList {"send", "--csv", "--format=csv", "C00"} << "send format=csv operands=C00";
    QTest::newRow("wait") << QStringList {"wait",      "-p",  "1-3",     "--until", "on",
                                          "--timeout", "2.5", "--every", "0.2"}
                          << "wait ports=1,2,3 until=on timeout=2500 every=200";
    QTest::newRow("send when ready") << QStringList {"send", "--when-ready", "--timeout=60", "C05"}
                                     << "send when-ready timeout=60000 operands=C05";
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
    QTest::newRow("port 0") << QStringList {"send", "-p", "0", "CR0"} << "--port";
    QTest::newRow("port 16") << QStringList {"send", "-p", "16", "CR0"} << "--port";
    QTest::newRow("port COM") << QStringList {"send", "-p", "COM", "CR0"} << "--port";
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
    QTest::newRow("reversed range") << QStringList {"report", "-p", "8-5"} << "--port";
    QTest::newRow("open range") << QStringList {"report", "-p", "5-"} << "--port";
    QTest::newRow("range beyond 15") << QStringList {"report", "-p", "14-16"} << "--port";
    QTest::newRow("empty item") << QStringList {"report", "-p", "1,,2"} << "--port";
    QTest::newRow("listed twice") << QStringList {"report", "-p", "1-3,COM2"}
                                  << "COM2 is listed twice";
    QTest::newRow("prometheus with send")
        << QStringList {"send", "--format", "prometheus", "C00"} << "report only";
    QTest::newRow("unknown format") << QStringList {"report", "--format", "xml"} << "--format";
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

QTEST_GUILESS_MAIN(TestCliArgs)
#include "tst_cliargs.moc"
