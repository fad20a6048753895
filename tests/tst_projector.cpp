#include "console/catalogue.h"
#include "console/consolecommand.h"
#include "link/capture.h"
#include "support/manualclock.h"
#include "tools/virtual-projector/commandreader.h"
#include "tools/virtual-projector/projector.h"
#include "tools/virtual-projector/replay.h"
#include "tools/virtual-projector/wirelog.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// One command at a moment of the manual clock, and the whole answer expected.
struct Probe
{
    qint64 atMs;
    QByteArray command;
    QByteArray expected;
};
using Timeline = QList<Probe>;

const QByteArray Ack = Projector::AckAnswer;
const QByteArray Error = Projector::ErrorAnswer;

Projector::Setup setup(bool lampFailure = false, bool overTemperature = false)
{
    Projector::Setup result;
    result.countdownMs = 5000;
    result.coolingMs = 4000;
    result.lampFailure = lampFailure;
    result.overTemperature = overTemperature;
    return result;
}

Projector::Setup lampSetup(int lampHours, bool lampFailure = false)
{
    Projector::Setup result = setup(lampFailure);
    result.lampHours = lampHours;
    result.msPerLampHour = 1000;
    return result;
}

QByteArray sendAll(Projector &projector, const QByteArrayList &commands)
{
    QByteArray answers;
    for (const QByteArray &command : commands)
        answers += projector.answer(command, 0);
    return answers;
}

Capture::Header captureHeader()
{
    return {QStringLiteral("orva"),
            QStringLiteral("1.0"),
            QStringLiteral("COM3"),
            QStringLiteral("/dev/ttyUSB0"),
            19200,
            QDateTime(QDate(2026, 5, 4), QTime(10, 15), Qt::UTC)};
}

// A replay of a capture whose event lines are given in the file's notation.
bool loadReplay(const QTemporaryDir &dir, const QByteArray &events, Replay *replay, QString *error)
{
    const QString path = dir.filePath(QStringLiteral("capture.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(Capture::headerText(captureHeader()) + events) < 0)
        return false;
    file.close();
    return replay->load(path, error);
}

// "OFFSET:BYTES" a piece, offsets in microseconds, a "u" after those sent unsolicited; "-" for a
// command left to the simulator.
QString described(const std::optional<Replay::Answer> &answer)
{
    if (!answer)
        return QStringLiteral("-");
    QStringList pieces;
    for (const Replay::Piece &piece : *answer)
        pieces.append(QStringLiteral("%1:%2%3")
                          .arg(piece.offsetUs)
                          .arg(WireLog::spelled(piece.bytes), piece.unsolicited ? "u" : ""));
    return pieces.join(QLatin1Char(' '));
}

} // namespace

Q_DECLARE_METATYPE(Projector::Setup)
Q_DECLARE_METATYPE(Timeline)

class TestProjector : public QObject
{
    Q_OBJECT
private slots:
    void statusReads_data();
    void statusReads();
    void temperatureLayoutInEveryState_data();
    void temperatureLayoutInEveryState();
    void timeline_data();
    void timeline();
    void lampMode_data();
    void lampMode();
    void everyCatalogueCommandIsAnswered_data();
    void everyCatalogueCommandIsAnswered();
    void expandedReads_data();
    void expandedReads();
    void unknownCommands_data();
    void unknownCommands();
    void reader_data();
    void reader();
    void readerIsBounded();
    void logSpelling_data();
    void logSpelling();
    void replay_data();
    void replay();
    void replayTableStaysSmall_data();
    void replayTableStaysSmall();
};

void TestProjector::statusReads_data()
{
    QTest::addColumn<Projector::Setup>("setup");
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<QByteArray>("expected");

    const Projector::Setup plain = setup();
    QTest::newRow("CR0 standby") << plain << QByteArrayList() << QByteArray("CR0")
                                 << QByteArray("80\r");
    QTest::newRow("CR0 lamp failure")
        << setup(true) << QByteArrayList() << QByteArray("CR0") << QByteArray("81\r");
    QTest::newRow("CR0 over temperature")
        << setup(false, true) << QByteArrayList() << QByteArray("CR0") << QByteArray("88\r");
    QTest::newRow("CR0 both faults: temperature")
        << setup(true, true) << QByteArrayList() << QByteArray("CR0") << QByteArray("88\r");

    const QByteArray cr1 = "CR1";
    QTest::newRow("CR1 at start") << plain << QByteArrayList() << cr1 << QByteArray("1\r");
    QTest::newRow("CR1 C06") << plain << QByteArrayList {"C06"} << cr1 << QByteArray("2\r");
    QTest::newRow("CR1 C07") << plain << QByteArrayList {"C07"} << cr1 << QByteArray("3\r");
    QTest::newRow("CR1 C08 wired") << plain << QByteArrayList {"C08"} << cr1 << QByteArray("4\r");
    QTest::newRow("CR1 C05 back") << plain << QByteArrayList {"C08", "C05"} << cr1
                                  << QByteArray("1\r");
    QTest::newRow("CR1 C34 source") << plain << QByteArrayList {"C34"} << cr1 << QByteArray("3\r");
    QTest::newRow("CR1 C25 source") << plain << QByteArrayList {"C25"} << cr1 << QByteArray("2\r");
    QTest::newRow("CR1 CF INPUT 3")
        << plain << QByteArrayList {"CF INPUT 3"} << cr1 << QByteArray("3\r");
    QTest::newRow("CR1 CF INPUT4 NETWORK")
        << plain << QByteArrayList {"CF INPUT4 NETWORK"} << cr1 << QByteArray("4\r");
    QTest::newRow("CR1 stepping up reaches wireless")
        << plain << QByteArrayList {"CF INPUT UP", "CF INPUT UP", "CF INPUT UP", "CF INPUT UP"}
        << cr1 << QByteArray("5\r");
    QTest::newRow("CR1 stepping down wraps")
        << plain << QByteArrayList {"CF INPUT DN"} << cr1 << QByteArray("5\r");
    QTest::newRow("CR1 source moves to its input")
        << plain << QByteArrayList {"CF SOURCE S-VIDEO"} << cr1 << QByteArray("3\r");
    QTest::newRow("CR1 source kept on the present input")
        << plain << QByteArrayList {"C06", "CF SOURCE ANALOG"} << cr1 << QByteArray("2\r");
    QTest::newRow("CR1 network source")
        << plain << QByteArrayList {"CF SOURCE NETWORK"} << cr1 << QByteArray("4\r");

    const QByteArray cr4 = "CR4";
    QTest::newRow("CR4 normal") << plain << QByteArrayList() << cr4 << QByteArray("11\r");
    QTest::newRow("CR4 ceiling") << plain << QByteArrayList {"CF CEIL ON"} << cr4
                                 << QByteArray("00\r");
    QTest::newRow("CR4 rear") << plain << QByteArrayList {"CF REAR ON"} << cr4
                              << QByteArray("01\r");
    QTest::newRow("CR4 ceiling and rear")
        << plain << QByteArrayList {"CF CEIL ON", "CF REAR ON"} << cr4 << QByteArray("10\r");
    QTest::newRow("CR4 ceiling off again")
        << plain << QByteArrayList {"CF CEIL ON", "CF REAR ON", "CF CEIL OFF"} << cr4
        << QByteArray("01\r");

    QTest::newRow("CR3 leading zeros")
        << plain << QByteArrayList() << QByteArray("CR3") << QByteArray("00482\r");
    QTest::newRow("CR3 new lamp") << lampSetup(0) << QByteArrayList() << QByteArray("CR3")
                                  << QByteArray("00000\r");
    QTest::newRow("CR3 five digits")
        << lampSetup(99999) << QByteArrayList() << QByteArray("CR3") << QByteArray("99999\r");

    QTest::newRow("CR6 standby") << plain << QByteArrayList() << QByteArray("CR6")
                                 << QByteArray("025.0 026.5 027.0\r");
    QTest::newRow("CR6 over temperature") << setup(false, true) << QByteArrayList()
                                          << QByteArray("CR6") << QByteArray("046.5 061.0 072.5\r");

    const QByteArray lampStatus = "CR LAMPSTS";
    QTest::newRow("LAMPSTS off") << plain << QByteArrayList() << lampStatus
                                 << QByteArray("000 1O\r");
    QTest::newRow("LAMPSTS on") << plain << QByteArrayList {"C00"} << lampStatus
                                << QByteArray("000 1I\r");
    QTest::newRow("LAMPSTS failure")
        << setup(true) << QByteArrayList() << lampStatus << QByteArray("000 1X\r");
    QTest::newRow("LAMPSTS failure after power on")
        << setup(true) << QByteArrayList {"C00"} << lampStatus << QByteArray("000 1X\r");
    QTest::newRow("LAMPMODE at start")
        << plain << QByteArrayList() << QByteArray("CR LAMPMODE") << QByteArray("000 NORMAL\r");
}

void TestProjector::statusReads()
{
    QFETCH(Projector::Setup, setup);
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArray, read);
    QFETCH(QByteArray, expected);
    Projector projector(setup);
    QCOMPARE(sendAll(projector, commands), Ack.repeated(commands.size()));
    QCOMPARE(projector.answer(read, 0), expected);
}

void TestProjector::temperatureLayoutInEveryState_data()
{
    QTest::addColumn<bool>("overTemperature");
    QTest::addColumn<qint64>("atMs");
    QTest::addColumn<bool>("powerOff");
    // Power on at 0, off at 6000 when asked: countdown until 5000, cooling until 10000.
    for (const bool hot : {false, true}) {
        const char *suffix = hot ? " hot" : "";
        QTest::addRow("standby%s", suffix) << hot << qint64(-1) << false;
        QTest::addRow("countdown%s", suffix) << hot << qint64(100) << false;
        QTest::addRow("on%s", suffix) << hot << qint64(5500) << false;
        QTest::addRow("cooling%s", suffix) << hot << qint64(6000) << true;
    }
}

void TestProjector::temperatureLayoutInEveryState()
{
    QFETCH(bool, overTemperature);
    QFETCH(qint64, atMs);
    QFETCH(bool, powerOff);
    Projector projector(setup(false, overTemperature));
    if (atMs >= 0)
        projector.answer("C00", 0);
    if (powerOff)
        projector.answer("C01", atMs);
    const QByteArray reply = projector.answer("CR6", qMax<qint64>(0, atMs));
    // Exactly what the panel decodes: three five-character fields, blanks at 6 and 12, CR at 18.
    QVERIFY2(
        QRegularExpression(QStringLiteral("^\\d\\d\\d\\.\\d \\d\\d\\d\\.\\d \\d\\d\\d\\.\\d\r$"))
            .match(QString::fromLatin1(reply))
            .hasMatch(),
        reply.constData());
    QCOMPARE(reply.size(), 18);
    const QByteArray cold = Projector(setup()).answer("CR6", 0);
    if (overTemperature)
        QVERIFY2(reply.left(5).toDouble() > cold.left(5).toDouble() + 10, reply.constData());
}

void TestProjector::timeline_data()
{
    QTest::addColumn<Projector::Setup>("setup");
    QTest::addColumn<Timeline>("probes");

    QTest::newRow("power on, then off")
        << setup()
        << Timeline {{0, "CR0", "80\r"},    {0, "C00", Ack},       {0, "CR0", "40\r"},
                     {4999, "CR0", "40\r"}, {5000, "CR0", "00\r"}, {6000, "C01", Ack},
                     {6000, "CR0", "20\r"}, {9999, "CR0", "20\r"}, {10000, "CR0", "80\r"}};
    QTest::newRow("C02 powers off as well")
        << setup() << Timeline {{0, "C00", Ack}, {5000, "C02", Ack}, {5001, "CR0", "20\r"}};
    QTest::newRow("expanded power commands")
        << setup()
        << Timeline {{0, "CF POWER ON", Ack},     {1, "CR0", "40\r"},    {5000, "CR0", "00\r"},
                     {5000, "CF POWER OFF", Ack}, {5000, "CR0", "20\r"}, {9000, "CR0", "80\r"}};
    QTest::newRow("off during the countdown cools down") << setup()
                                                         << Timeline {{0, "C00", Ack},
                                                                      {1000, "C01", Ack},
                                                                      {1000, "CR0", "20\r"},
                                                                      {4999, "CR0", "20\r"},
                                                                      {5000, "CR0", "80\r"}};
    QTest::newRow("on while cooling is ignored")
        << setup()
        << Timeline {{0, "C00", Ack},       {5000, "C01", Ack},    {6000, "C00", Ack},
                     {6000, "CR0", "20\r"}, {9000, "CR0", "80\r"}, {20000, "CR0", "80\r"}};
    QTest::newRow("on while on stays on")
        << setup() << Timeline {{0, "C00", Ack}, {6000, "C00", Ack}, {6000, "CR0", "00\r"}};
    QTest::newRow("off in standby stays in standby")
        << setup() << Timeline {{0, "C01", Ack}, {0, "CR0", "80\r"}};
    QTest::newRow("failed lamp does not strike") << setup(true)
                                                 << Timeline {{0, "C00", Ack},
                                                              {0, "CR0", "40\r"},
                                                              {5000, "CR0", "21\r"},
                                                              {8999, "CR0", "21\r"},
                                                              {9000, "CR0", "81\r"}};
    QTest::newRow("failed lamp, one long wait")
        << setup(true) << Timeline {{0, "C00", Ack}, {60000, "CR0", "81\r"}};
    QTest::newRow("over-heated projector shuts down")
        << setup(false, true)
        << Timeline {
               {0, "C00", Ack}, {0, "CR0", "48\r"}, {5000, "CR0", "28\r"}, {9000, "CR0", "88\r"}};
    QTest::newRow("lamp status follows the power") << setup()
                                                   << Timeline {{0, "C00", Ack},
                                                                {4000, "CR LAMPSTS", "000 1I\r"},
                                                                {5000, "C01", Ack},
                                                                {5000, "CR LAMPSTS", "000 1O\r"}};
    QTest::newRow("lamp hours grow while lit") << lampSetup(10)
                                               << Timeline {{0, "C00", Ack},
                                                            {999, "CR3", "00010\r"},
                                                            {1000, "CR3", "00011\r"},
                                                            {7000, "CR3", "00017\r"},
                                                            {7000, "C01", Ack},
                                                            {30000, "CR3", "00017\r"},
                                                            {30000, "CR LAMPH", "000 00017\r"}};
    QTest::newRow("lamp hours still in standby")
        << lampSetup(10) << Timeline {{0, "CR3", "00010\r"}, {60000, "CR3", "00010\r"}};
    QTest::newRow("failed lamp adds no hours")
        << lampSetup(10, true) << Timeline {{0, "C00", Ack}, {4000, "CR3", "00010\r"}};
    QTest::newRow("lamp hours stop at five digits")
        << lampSetup(99998) << Timeline {{0, "C00", Ack}, {10000, "CR3", "99999\r"}};
    QTest::newRow("filter hours run out of standby and reset")
        << lampSetup(10)
        << Timeline {{0, "C00", Ack}, {3000, "CF FILH RST", Ack}, {5000, "CR FILH", "000 00002\r"}};
}

void TestProjector::timeline()
{
    QFETCH(Projector::Setup, setup);
    QFETCH(Timeline, probes);
    Projector projector(setup);
    ManualClock clock;
    for (const Probe &probe : probes) {
        clock.advance(probe.atMs - clock.now());
        QCOMPARE(clock.now(), probe.atMs);
        const QByteArray answer = projector.answer(probe.command, clock.now());
        QVERIFY2(answer == probe.expected,
                 qPrintable(QStringLiteral("%1 at %2 ms answered %3")
                                .arg(QString::fromLatin1(probe.command))
                                .arg(probe.atMs)
                                .arg(WireLog::spelled(answer))));
    }
}

void TestProjector::lampMode_data()
{
    QTest::addColumn<QByteArrayList>("settings");
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<QByteArray>("digit");
    QTest::newRow("NORMAL") << QByteArrayList {"HIGH", "NORMAL"} << QByteArray("NORMAL")
                            << QByteArray("0");
    QTest::newRow("ECO1") << QByteArrayList {"ECO1"} << QByteArray("ECO") << QByteArray("1");
    QTest::newRow("ECO2") << QByteArrayList {"ECO2"} << QByteArray("ECO") << QByteArray("2");
    QTest::newRow("AUTO1") << QByteArrayList {"AUTO1"} << QByteArray("NORMAL") << QByteArray("3");
    QTest::newRow("AUTO2") << QByteArrayList {"AUTO2"} << QByteArray("NORMAL") << QByteArray("4");
    QTest::newRow("HIGH") << QByteArrayList {"HIGH"} << QByteArray("HIGH") << QByteArray("5");
    QTest::newRow("UP from NORMAL")
        << QByteArrayList {"UP"} << QByteArray("ECO") << QByteArray("1");
    QTest::newRow("DN from NORMAL wraps")
        << QByteArrayList {"DN"} << QByteArray("HIGH") << QByteArray("5");
    QTest::newRow("UP from HIGH wraps")
        << QByteArrayList {"HIGH", "UP"} << QByteArray("NORMAL") << QByteArray("0");
}

void TestProjector::lampMode()
{
    QFETCH(QByteArrayList, settings);
    QFETCH(QByteArray, mode);
    QFETCH(QByteArray, digit);
    Projector projector;
    for (const QByteArray &setting : settings)
        QCOMPARE(projector.answer("CF LAMPMODE " + setting, 0), Ack);
    QCOMPARE(projector.answer("CR LAMPMODE", 0), "000 " + mode + '\r');
    QCOMPARE(projector.answer("CR7", 0), digit + '\r');
}

void TestProjector::everyCatalogueCommandIsAnswered_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("read");
    const struct
    {
        const char *name;
        const QStringList &rows;
    } catalogues[] = {
        {"basic", Catalogue::basic()},
        {"expand", Catalogue::expand()},
        {"expand read", Catalogue::expandRead()},
    };
    for (const auto &catalogue : catalogues) {
        for (qsizetype i = 0; i < catalogue.rows.size(); ++i) {
            QByteArray command = commandPart(catalogue.rows.at(i)).toLatin1();
            command.replace('%', '7'); // a digit typed over every placeholder
            QTest::addRow("%s %d %s", catalogue.name, int(i), command.constData())
                << command << command.startsWith("CR");
        }
    }
    QTest::newRow("panel CR LAMPSTS") << QByteArray("CR LAMPSTS") << true;
}

void TestProjector::everyCatalogueCommandIsAnswered()
{
    QFETCH(QByteArray, command);
    QFETCH(bool, read);
    Projector projector;
    const QByteArray answer = projector.answer(command, 0);
    if (!read) {
        QCOMPARE(answer, Ack);
        return;
    }
    // A value and one CR at its end; expanded reads put "000 " in front.
    QVERIFY2(answer != Error, command.constData());
    QVERIFY2(answer.size() >= 2 && answer.indexOf('\r') == answer.size() - 1,
             qPrintable(WireLog::spelled(answer)));
    QVERIFY(!answer.contains(Ack));
    if (command.startsWith("CR "))
        QVERIFY2(answer.startsWith("000 ") && answer.size() > 5,
                 qPrintable(WireLog::spelled(answer)));
}

void TestProjector::expandedReads_data()
{
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("volume typed") << QByteArrayList {"CF VOLUME 012"} << QByteArray("CR VOLUME")
                                  << QByteArray("000 012\r");
    QTest::newRow("volume up by button")
        << QByteArrayList {"C09"} << QByteArray("CR VOLUME") << QByteArray("000 016\r");
    QTest::newRow("volume stops at its highest")
        << QByteArrayList {"CF VOLUME 099", "CF VOLUME UP"} << QByteArray("CR VOLUME")
        << QByteArray("000 099\r");
    QTest::newRow("volume stops at zero") << QByteArrayList {"CF VOLUME 000", "C0A"}
                                          << QByteArray("CR VOLUME") << QByteArray("000 000\r");
    QTest::newRow("brightness down") << QByteArrayList {"C21", "CF BRIGHT DN"}
                                     << QByteArray("CR BRIGHT") << QByteArray("000 030\r");
    QTest::newRow("four digits") << QByteArrayList {"CF TDOTS 1400"} << QByteArray("CR TDOTS")
                                 << QByteArray("000 1400\r");
    QTest::newRow("two fixed zeros")
        << QByteArrayList {"CF FSYNC 0031"} << QByteArray("CR FSYNC") << QByteArray("000 0031\r");
    QTest::newRow("logo after its PIN") << QByteArrayList {"CF LOGO 1234 USER"}
                                        << QByteArray("CR LOGO") << QByteArray("000 USER\r");
    QTest::newRow("logo stepped") << QByteArrayList {"CF LOGO 0000 UP"} << QByteArray("CR LOGO")
                                  << QByteArray("000 USER\r");
    QTest::newRow("mute by button")
        << QByteArrayList {"C0B"} << QByteArray("CR MUTE") << QByteArray("000 ON\r");
    QTest::newRow("mute expanded") << QByteArrayList {"C0B", "CF MUTE OFF"} << QByteArray("CR MUTE")
                                   << QByteArray("000 OFF\r");
    QTest::newRow("video mute") << QByteArrayList {"C0D"} << QByteArray("CR VMUTE")
                                << QByteArray("000 ON\r");
    QTest::newRow("freeze") << QByteArrayList {"C43"} << QByteArray("CR FREEZE")
                            << QByteArray("000 ON\r");
    QTest::newRow("freeze stepped")
        << QByteArrayList {"CF FREEZE UP"} << QByteArray("CR FREEZE") << QByteArray("000 ON\r");
    QTest::newRow("input") << QByteArrayList {"C07"} << QByteArray("CR INPUT")
                           << QByteArray("000 3\r");
    QTest::newRow("source by button")
        << QByteArrayList {"C34"} << QByteArray("CR SOURCE") << QByteArray("000 S-VIDEO\r");
    QTest::newRow("source stepped")
        << QByteArrayList {"CF SOURCE UP"} << QByteArray("CR SOURCE") << QByteArray("000 SCART\r");
    QTest::newRow("source of another input")
        << QByteArrayList {"CF INPUT1 HDMI", "C06"} << QByteArray("CR SRCINP1")
        << QByteArray("000 HDMI\r");
    QTest::newRow("terminals of input 2") << QByteArrayList() << QByteArray("CR NMSLOT2")
                                          << QByteArray("000 ANALOG YPBPR YCBCR VIDEO\r");
    QTest::newRow("status") << QByteArrayList() << QByteArray("CR STATUS")
                            << QByteArray("000 80\r");
    QTest::newRow("temperatures") << QByteArrayList() << QByteArray("CR TEMP")
                                  << QByteArray("000 025.0 026.5 027.0\r");
    QTest::newRow("lamp hours") << QByteArrayList() << QByteArray("CR LAMPH")
                                << QByteArray("000 00482\r");
    QTest::newRow("ceiling") << QByteArrayList {"CF CEIL ON"} << QByteArray("CR CEIL")
                             << QByteArray("000 ON\r");
    QTest::newRow("key lock") << QByteArrayList {"CF KEYDIS RCALL"} << QByteArray("CR KEYDIS")
                              << QByteArray("000 RCALL\r");
    QTest::newRow("two-word choice")
        << QByteArrayList {"CF POINTER SPOTLIGHT MID"} << QByteArray("CR POINTER")
        << QByteArray("000 SPOTLIGHT MID\r");
    QTest::newRow("screen by button")
        << QByteArrayList {"C10"} << QByteArray("CR SCREEN") << QByteArray("000 WIDE\r");
    QTest::newRow("digital zoom is no screen size")
        << QByteArrayList {"CF SCREEN DZOOM UP"} << QByteArray("CR SCREEN")
        << QByteArray("000 NORMAL\r");
    QTest::newRow("power management")
        << QByteArrayList {"C2E"} << QByteArray("CR P-MANE") << QByteArray("000 SHUTDOWN\r");
    QTest::newRow("no signal in standby")
        << QByteArrayList() << QByteArray("CR SIGNAL") << QByteArray("000 OFF\r");
}

void TestProjector::expandedReads()
{
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArray, read);
    QFETCH(QByteArray, expected);
    Projector projector;
    QCOMPARE(sendAll(projector, commands), Ack.repeated(commands.size()));
    QCOMPARE(projector.answer(read, 0), expected);
}

void TestProjector::unknownCommands_data()
{
    QTest::addColumn<QByteArray>("command");
    for (const char *command : {"C99",
                                "C0",
                                "C000",
                                "CR2",
                                "CR9",
                                "cr0",
                                "CR0 ",
                                " CR0",
                                "CR",
                                "CF",
                                "CF FOO ON",
                                "CF LAMPMODE",
                                "CF LAMPMODE ECO3",
                                "CR LAMPMODES",
                                "CR  LAMPSTS",
                                "CF VOLUME 112",
                                "CF VOLUME 0A2",
                                "CF VOLUME 0123",
                                "CF VOLUME 0%%",
                                "CF TDOTS 123",
                                "\x80\x81",
                                "CF MUTE ON\t"})
        QTest::addRow("%s", qPrintable(WireLog::spelled(command))) << QByteArray(command);
}

void TestProjector::unknownCommands()
{
    QFETCH(QByteArray, command);
    Projector projector;
    QCOMPARE(projector.answer(command, 0), Error);
    QVERIFY(!projector.knows(command));
    // Nothing it did not understand has changed its state.
    QCOMPARE(projector.answer("CR LAMPMODE", 0), QByteArray("000 NORMAL\r"));
    QCOMPARE(projector.answer("CR VOLUME", 0), QByteArray("000 015\r"));
}

void TestProjector::reader_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QByteArrayList>("commands");
    QTest::newRow("one") << QByteArrayList {"CR0\r"} << QByteArrayList {"CR0"};
    QTest::newRow("byte by byte") << QByteArrayList {"C", "R", " LAMP", "STS", "\r"}
                                  << QByteArrayList {"CR LAMPSTS"};
    QTest::newRow("two in one piece")
        << QByteArrayList {"C00\rCR0\r"} << QByteArrayList {"C00", "CR0"};
    QTest::newRow("CR LF") << QByteArrayList {"CR0\r\n", "C01\r", "\n"}
                           << QByteArrayList {"CR0", "C01"};
    QTest::newRow("empty lines") << QByteArrayList {"\r", "\r\n\r", "\n"} << QByteArrayList();
    QTest::newRow("no CR yet") << QByteArrayList {"CR0"} << QByteArrayList();
    QTest::newRow("LF alone ends nothing") << QByteArrayList {"CR0\n"} << QByteArrayList();
}

void TestProjector::reader()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(QByteArrayList, commands);
    CommandReader reader;
    QByteArrayList got;
    for (const QByteArray &chunk : chunks)
        got += reader.feed(chunk);
    QCOMPARE(got, commands);
}

void TestProjector::readerIsBounded()
{
    CommandReader reader;
    const QByteArray endless(64 * 1024, 'A');
    for (int i = 0; i < 16; ++i)
        QVERIFY(reader.feed(endless).isEmpty());
    QCOMPARE(reader.pendingBytes(), CommandReader::MaxCommandBytes);
    const QByteArrayList cut = reader.feed("\rCR0\r");
    QCOMPARE(cut.size(), 2);
    QCOMPARE(cut.first(), QByteArray(CommandReader::MaxCommandBytes, 'A'));
    QCOMPARE(cut.last(), QByteArray("CR0"));
    QCOMPARE(Projector().answer(cut.first(), 0), Error);
}

void TestProjector::logSpelling_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("spelled");
    QTest::newRow("status reply") << QByteArray("80\r") << QStringLiteral("80[CR]");
    QTest::newRow("acknowledge") << QByteArray("\x06\r") << QStringLiteral("[ACK][CR]");
    QTest::newRow("line feed") << QByteArray("\r\n") << QStringLiteral("[CR][LF]");
    QTest::newRow("blank kept") << QByteArray("CR LAMPSTS") << QStringLiteral("CR LAMPSTS");
    QTest::newRow("escape") << QByteArray("\x1b") << QStringLiteral("[0x1B]");
    QTest::newRow("nul") << QByteArray(1, '\0') << QStringLiteral("[0x00]");
    QTest::newRow("delete") << QByteArray("\x7f") << QStringLiteral("[0x7F]");
    QTest::newRow("high bytes") << QByteArray("\x80\xff") << QStringLiteral("[0x80][0xFF]");
}

void TestProjector::logSpelling()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, spelled);
    QCOMPARE(WireLog::spelled(bytes), spelled);
}

void TestProjector::replay_data()
{
    QTest::addColumn<QByteArray>("events");
    QTest::addColumn<QByteArrayList>("asked"); // "" asks for what comes before any command
    QTest::addColumn<QStringList>("expected");

    const QByteArray twoPieces = "0.100000 > CR0[CR]\n0.141000 < 80\n0.143500 < [CR]\n";
    QTest::newRow("recorded pieces and delays")
        << twoPieces << QByteArrayList {"CR0"} << QStringList {"41000:80 43500:[CR]"};
    QTest::newRow("never seen: the simulator's")
        << twoPieces << QByteArrayList {"CR1", "CR0 "} << QStringList {"-", "-"};
    QTest::newRow("answers in order, then the last again")
        << QByteArray("0.100000 > CR0[CR]\n0.130000 < 80[CR]\n1.000000 > CR0[CR]\n"
                      "1.030000 < 40[CR]\n2.000000 > CR0[CR]\n2.030000 < 00[CR]\n")
        << QByteArrayList {"CR0", "CR0", "CR0", "CR0"}
        << QStringList {"30000:80[CR]", "30000:40[CR]", "30000:00[CR]", "30000:00[CR]"};
    // The second 80 is the first again, 10 ms later; the third is another at 80 ms.
    QTest::newRow("the same answer twice in a row is one")
        << QByteArray(
               "0.000000 > CR0[CR]\n0.030000 < 80[CR]\n1.000000 > CR0[CR]\n1.040000 < 80[CR]\n"
               "2.000000 > CR0[CR]\n2.080000 < 80[CR]\n")
        << QByteArrayList {"CR0", "CR0", "CR0"}
        << QStringList {"30000:80[CR]", "80000:80[CR]", "80000:80[CR]"};
    QTest::newRow("a command in pieces, LF ignored, timed from its CR")
        << QByteArray("0.000000 > [LF]C\n0.010000 > R\n0.020000 > 3[CR]\n0.020000 > [LF]\n"
                      "0.050000 < 00482[CR]\n")
        << QByteArrayList {"CR3", "C"} << QStringList {"30000:00482[CR]", "-"};
    QTest::newRow("two commands in one write")
        << QByteArray("0.000000 > CR0[CR]CR1[CR]\n0.040000 < 80[CR]1\n0.041000 < [CR]\n")
        << QByteArrayList {"CR1", "CR0"} << QStringList {"40000:1 41000:[CR]", "40000:80[CR]"};
    QTest::newRow("a command given up on is unanswered")
        << QByteArray("0.000000 > CR0[CR]\n0.500000 > CR1[CR]\n0.530000 < 1[CR]\n")
        << QByteArrayList {"CR0", "CR1"} << QStringList {"", "30000:1[CR]"};
    QTest::newRow("talking after the answer")
        << QByteArray("0.000000 > C00[CR]\n0.020000 < [ACK][CR]\n2.500000 < 40[CR]\n"
                      "3.000000 > CR0[CR]\n3.030000 < 40[CR]\n")
        << QByteArrayList {"C00", "CR0"}
        << QStringList {"20000:[ACK][CR] 2500000:40[CR]u", "30000:40[CR]"};
    QTest::newRow("no CR: the answer ends with the reply window")
        << QByteArray("0.000000 > CR0[CR]\n0.100000 < [0xFF]\n0.900000 < [0xFE]\n"
                      "1.500000 < [0xFD]\n")
        << QByteArrayList {"CR0"} << QStringList {"100000:[0xFF] 900000:[0xFE] 1500000:[0xFD]u"};
    QTest::newRow("before any command, from the opening")
        << QByteArray("0.050000 open\n0.250000 < HELLO\n0.300000 > CR0[CR]\n0.330000 < 80[CR]\n")
        << QByteArrayList {"", "CR0"} << QStringList {"200000:HELLOu", "30000:80[CR]"};
    QTest::newRow("a close ends what is open")
        << QByteArray("0.000000 open\n0.100000 > CR0[CR]\n0.200000 close\n0.300000 open\n"
                      "0.400000 < 80[CR]\n0.500000 > CR1[CR]\n0.520000 < 1[CR]\n")
        << QByteArrayList {"CR0", "CR1", ""} << QStringList {"", "20000:1[CR]", ""};
    const QByteArray header = Capture::headerText(captureHeader());
    QTest::newRow("captures one after another")
        << "0.000000 > CR0[CR]\n0.030000 < 80[CR]\n" + header
            + "0.000000 > CR0[CR]\n0.040000 < 40[CR]\n"
        << QByteArrayList {"CR0", "CR0"} << QStringList {"30000:80[CR]", "40000:40[CR]"};
}

void TestProjector::replay()
{
    QFETCH(QByteArray, events);
    QFETCH(QByteArrayList, asked);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    Replay replay;
    QString error;
    QVERIFY2(loadReplay(dir, events, &replay, &error), qPrintable(error));
    QStringList answers;
    for (const QByteArray &command : asked)
        answers.append(command.isEmpty() ? described(replay.opening())
                                         : described(replay.next(command)));
    QCOMPARE(answers, expected);

    // Each projector of a fleet has its own place in the answers.
    Replay loaded;
    QVERIFY(loadReplay(dir, events, &loaded, &error));
    Replay first = loaded, second = loaded;
    for (const QByteArray &command : asked)
        (void)first.next(command);
    const QByteArray command = asked.first();
    QCOMPARE(command.isEmpty() ? described(second.opening()) : described(second.next(command)),
             expected.first());
}

void TestProjector::replayTableStaysSmall_data()
{
    QTest::addColumn<QByteArray>("cycle"); // event lines, each time %1 is the cycle's start
    QTest::addColumn<int>("cycles");
    QTest::addColumn<int>("commands");
    QTest::addColumn<int>("maxAnswers");
    QTest::addColumn<int>("maxBytes");
    QTest::newRow("20 MB of the same reads")
        << QByteArray("%1.000000 > CR0[CR]\n%1.041000 < 80\n%1.043000 < [CR]\n"
                      "%1.500000 > CR3[CR]\n%1.530000 < 00482[CR]\n")
        << 230000 << 2 << 2 << 32;
    // The lamp hours read differently each time: the last place takes the newest.
    QTest::newRow("a read that always changes")
        << QByteArray("%1.000000 > CR3[CR]\n%1.030000 < %1[CR]\n") << 100000 << 1
        << Replay::MaxAnswersPerCommand << Replay::MaxAnswersPerCommand * 16;
    QTest::newRow("a projector that talks on its own") << "%1.000000 < " + QByteArray(100, 'x')
            + "\n" << 50000 << 0 << 0 << int(Replay::MaxUnsolicitedBytes);
}

void TestProjector::replayTableStaysSmall()
{
    QFETCH(QByteArray, cycle);
    QFETCH(int, cycles);
    QFETCH(int, commands);
    QFETCH(int, maxAnswers);
    QFETCH(int, maxBytes);
    QByteArray events;
    events.reserve(cycle.size() * 2 * cycles);
    for (int i = 0; i < cycles; ++i)
        events += QByteArray(cycle).replace("%1", QByteArray::number(i));
    QTemporaryDir dir;
    Replay replay;
    QString error;
    QVERIFY2(loadReplay(dir, events, &replay, &error), qPrintable(error));
    qInfo("%lld MB: %lld commands, %lld answers, %lld bytes", qint64(events.size() >> 20),
          qint64(replay.distinctCommands()), qint64(replay.storedAnswers()),
          qint64(replay.storedBytes()));
    QCOMPARE(replay.distinctCommands(), commands);
    QVERIFY(replay.storedAnswers() <= maxAnswers);
    QVERIFY(replay.storedBytes() <= maxBytes);
}

QTEST_GUILESS_MAIN(TestProjector)
#include "tst_projector.moc"
