#include "cli/arguments.h"

#include <QTest>

using Command = Arguments::Command;
Q_DECLARE_METATYPE(Command)

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

void TestCliArgs::accepted_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Command>("command");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("waitMs");
    QTest::addColumn<bool>("json");
    QTest::addColumn<QStringList>("operands");
    const QStringList none;
    QTest::newRow("send, stored port") << QStringList {"send", "CR0"} << Command::Send << 0 << 0
                                       << 1000 << false << QStringList {"CR0"};
    QTest::newRow("send, all options")
        << QStringList {"send", "-p", "3", "-b", "9600", "--wait", "250", "--json", "C00", "CR0"}
        << Command::Send << 3 << 9600 << 250 << true << QStringList {"C00", "CR0"};
    QTest::newRow("COMn and --opt=value")
        << QStringList {"send", "--port=COM12", "--baud=19200", "CF LAMPMODE ECO1"} << Command::Send
        << 12 << 19200 << 1000 << false << QStringList {"CF LAMPMODE ECO1"};
    QTest::newRow("options before the command")
        << QStringList {"-p", "com4", "report"} << Command::Report << 4 << 0 << 1000 << false
        << none;
    QTest::newRow("a command that starts with a dash, after --")
        << QStringList {"send", "--", "-X"} << Command::Send << 0 << 0 << 1000 << false
        << QStringList {"-X"};
    QTest::newRow("ports --json") << QStringList {"ports", "--json"} << Command::Ports << 0 << 0
                                  << 1000 << true << none;
    QTest::newRow("map") << QStringList {"map", "--force", "COM2", "tcp://h:23"} << Command::Map
                         << 0 << 0 << 1000 << false << QStringList {"COM2", "tcp://h:23"};
    QTest::newRow("unmap") << QStringList {"unmap", "COM15"} << Command::Unmap << 0 << 0 << 1000
                           << false << QStringList {"COM15"};
}

void TestCliArgs::accepted()
{
    QFETCH(QStringList, arguments);
    QFETCH(Command, command);
    QFETCH(int, port);
    QFETCH(int, baud);
    QFETCH(int, waitMs);
    QFETCH(bool, json);
    QFETCH(QStringList, operands);
    Arguments parsed;
    QString error;
    QVERIFY2(Arguments::parse(arguments, &parsed, &error), qPrintable(error));
    QCOMPARE(parsed.command, command);
    QCOMPARE(parsed.port, port);
    QCOMPARE(parsed.baud, baud);
    QCOMPARE(parsed.waitMs, waitMs);
    QCOMPARE(parsed.json, json);
    QCOMPARE(parsed.operands, operands);
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
