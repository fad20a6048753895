#include "engine/decoders.h"
#include "engine/render.h"
#include "panel/buttonmap.h"
#include "support/enginefixture.h"

#include <QTest>

// Replies to the status reads, received through the engine in the given pieces.
class TestDecoders : public QObject
{
    Q_OBJECT
private slots:
    void replies_data();
    void replies();
    void onlyTheCommandLastSentFromThePanelSelects();
    void lateReplyIsDecoded();
    void replyIsShownAndDecodedWithoutASend();
    void values_data();
    void values();
    void statusReadsAreThePanelsButtons();
};

using Pieces = QByteArrayList;
Q_DECLARE_METATYPE(Pieces)

namespace {
const QString Unchanged = QStringLiteral("<unchanged>");
}

void TestDecoders::replies_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<Pieces>("pieces");
    QTest::addColumn<QString>("statusBefore");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char *name, const char *command, Pieces pieces, QString expected,
                        QString before = QStringLiteral("<unchanged>")) {
        QTest::newRow(name) << QByteArray(command) << pieces << before << expected;
    };

    // Every code of every table.
    const struct
    {
        const char *code;
        const char *words;
    } status[] = {{"00", " Power ON"},
                  {"80", " Stand by"},
                  {"40", " Count down"},
                  {"20", " Cooling down"},
                  {"10", " Power abnormality"},
                  {"08", " Temperature abnormality"},
                  {"18", " Temperature abnormality"},
                  {"28", " Temperature abnormality"},
                  {"48", " Temperature abnormality"},
                  {"88", " Temperature abnormality"},
                  {"21", " Lamp Failure"},
                  {"81", " Lamp Failure"}};
    for (const auto &code : status) {
        row(qPrintable(QStringLiteral("CR0 %1").arg(code.code)), "CR0",
            {QByteArray(code.code) + '\r'}, code.words);
    }
    const struct
    {
        const char *code;
        const char *words;
    } input[] = {{"1", " Input 1"},
                 {"2", " Input 2"},
                 {"3", " Input 3"},
                 {"4", " Wired"},
                 {"5", " Wireless/Viewer"}};
    for (const auto &code : input)
        row(qPrintable(QStringLiteral("CR1 %1").arg(code.code)), "CR1",
            {QByteArray(code.code) + '\r'}, code.words);
    const struct
    {
        const char *code;
        const char *words;
    } setting[] = {{"11", " Normally"},
                   {"10", " Top/Bottom reversal"},
                   {"01", " Left/Right reversal"},
                   {"00", " Top/Bottom , Left/Right reversal"}};
    for (const auto &code : setting)
        row(qPrintable(QStringLiteral("CR4 %1").arg(code.code)), "CR4",
            {QByteArray(code.code) + '\r'}, code.words);
    row("LAMPSTS I", "CR LAMPSTS", {"000 1I\r"}, " Lamp is ON");
    row("LAMPSTS O", "CR LAMPSTS", {"000 1O\r"}, " Lamp is OFF");
    row("LAMPSTS X", "CR LAMPSTS", {"000 1X\r"}, " Lamp is failure");
    row("LAMPMODE HIGH", "CR LAMPMODE", {"000 HIGH\r"}, " Lamp Mode is High");
    row("LAMPMODE NORMAL", "CR LAMPMODE", {"000 NORMAL\r"}, " Lamp Mode is NORMAL");
    row("LAMPMODE ECO", "CR LAMPMODE", {"000 ECO\r"}, " Lamp Mode is Eco");

    // Codes outside the tables leave STATUS as it was.
    row("CR0 90", "CR0", {"90\r"}, Unchanged);
    row("CR0 01", "CR0", {"01\r"}, Unchanged);
    row("CR1 6", "CR1", {"6\r"}, Unchanged);
    row("CR4 12", "CR4", {"12\r"}, Unchanged);
    row("LAMPSTS other letter", "CR LAMPSTS", {"000 1Z\r"}, Unchanged);
    row("LAMPMODE AUTO1", "CR LAMPMODE", {"000 AUTO1\r"}, Unchanged);
    row("LAMPMODE lower case", "CR LAMPMODE", {"000 eco\r"}, Unchanged);

    // Replies in pieces: decoded as soon as the deciding characters are there.
    row("CR0 8 then 0", "CR0", {"8", "0\r"}, " Stand by");
    row("CR0 only 8", "CR0", {"8"}, Unchanged);
    row("CR0 80 without CR", "CR0", {"80"}, " Stand by");
    row("CR0 trailing junk", "CR0", {"80xyz\r\n"}, " Stand by");
    row("CR1 digit without CR", "CR1", {"3"}, " Input 3");
    row("CR4 1 then 0", "CR4", {"1", "0"}, " Top/Bottom reversal");
    row("LAMPSTS more after letter", "CR LAMPSTS", {"000 1Iabc\r"}, " Lamp is ON");
    row("LAMPSTS in three pieces", "CR LAMPSTS", {"00", "0 1", "O"}, " Lamp is OFF");
    row("LAMPSTS short", "CR LAMPSTS", {"000 1"}, Unchanged);
    row("LAMPMODE with LF", "CR LAMPMODE", {"000 HIGH\r\n"}, Unchanged);
    row("LAMPMODE without CR yet", "CR LAMPMODE", {"000 EC"}, Unchanged);
    row("LAMPMODE in pieces", "CR LAMPMODE", {"000 E", "CO\r"}, " Lamp Mode is Eco");
    row("LAMPMODE two characters", "CR LAMPMODE", {"0"}, Unchanged);
    row("LAMPMODE LF in a later piece keeps the decoded text", "CR LAMPMODE", {"000 ECO\r", "\n"},
        " Lamp Mode is Eco");

    // A reply that starts with anything else is not decoded.
    row("CR1 after ACK", "CR1",
        {"\x06"
         "1\r"},
        Unchanged);
    row("CR0 after ACK", "CR0",
        {"\x06"
         "80\r"},
        Unchanged);
    row("CR0 leading blank", "CR0", {" 80\r"}, Unchanged);

    // CR3: exactly six characters at one arrival; the hours go behind the STATUS text.
    row("CR3 00123", "CR3", {"00123\r"}, "     1 2 3   Hour Use", QString());
    row("CR3 00000", "CR3", {"00000\r"}, QString(12, QLatin1Char(' ')) + " Hour Use", QString());
    row("CR3 12345", "CR3", {"12345\r"}, " 1 2 3 4 5   Hour Use", QString());
    row("CR3 01020 inner zeros kept", "CR3", {"01020\r"}, "   1 0 2 0   Hour Use", QString());
    row("CR3 appended to earlier text", "CR3", {"00123\r"}, " Stand by     1 2 3   Hour Use",
        QStringLiteral(" Stand by"));
    row("CR3 five characters", "CR3", {"0123\r"}, QString(), QString());
    row("CR3 seven characters at once", "CR3", {"00123\r\n"}, QString(), QString());
    row("CR3 in pieces", "CR3", {"001", "23\r"}, "     1 2 3   Hour Use", QString());
    row("CR3 seventh in a later piece", "CR3", {"00123\r", "\n"}, "     1 2 3   Hour Use",
        QString());

    // CR6: exactly eighteen characters at one arrival.
    const QByteArray temperature("025.0 030.5 041.2\r");
    const QString degrees(" 0 2 5 . 0 deg C 0 3 0 . 5 deg C 0 4 1 . 2 deg C ");
    row("CR6 whole", "CR6", {temperature}, degrees);
    row("CR6 in pieces", "CR6", {temperature.left(7), temperature.mid(7, 6), temperature.mid(13)},
        degrees);
    row("CR6 seventeen", "CR6", {temperature.left(17)}, Unchanged);
    row("CR6 nineteen together", "CR6", {temperature + '\n'}, Unchanged);
    row("CR6 nineteenth later", "CR6", {temperature, "\n"}, degrees);
    row("CR6 other separators", "CR6", {"0001A|0002B|0003C\r"},
        " 0 0 0 1 A deg C 0 0 0 2 B deg C 0 0 0 3 C deg C ");

    // Commands that are not status reads decode nothing.
    row("C34 answered 80", "C34", {"80\r"}, Unchanged);
    row("CR7 answered 80", "CR7", {"80\r"}, Unchanged);
    row("CR0 with a blank", "CR 0", {"80\r"}, Unchanged);
}

void TestDecoders::replies()
{
    QFETCH(QByteArray, command);
    QFETCH(Pieces, pieces);
    QFETCH(QString, statusBefore);
    QFETCH(QString, expected);

    EngineFixture f;
    // Put a known text on the STATUS line first (through a decoded CR0 reply).
    if (statusBefore != Unchanged && !statusBefore.isEmpty()) {
        f.click("CR0");
        f.receive("80\r");
        QCOMPARE(f.status(), statusBefore);
    }
    if (statusBefore == Unchanged) {
        f.click("CR0");
        f.receive("10\r");
        QCOMPARE(f.status(), QStringLiteral(" Power abnormality"));
    }
    const QString before = f.status();
    f.click(command);
    for (const QByteArray &piece : pieces)
        f.receive(piece);
    QCOMPARE(f.status(), expected == Unchanged ? before : expected);
}

void TestDecoders::onlyTheCommandLastSentFromThePanelSelects()
{
    EngineFixture f;
    f.click("CR1");
    // A console send leaves the command the decoders read for as it was.
    f.engine.sendAsTyped("CR0\r");
    f.receive("3\r");
    QCOMPARE(f.status(), QStringLiteral(" Input 3"));
    f.click("C00");
    f.engine.sendAsTyped("CR0\r");
    f.receive("80\r");
    QCOMPARE(f.status(), QStringLiteral(" Input 3"));
}

void TestDecoders::lateReplyIsDecoded()
{
    EngineFixture f;
    f.click("CR0");
    f.clock.advance(1000);
    QCOMPARE(f.rxd(), QStringLiteral(" X X X X"));
    f.receive("80\r");
    QCOMPARE(f.rxd(), QStringLiteral(" 8 0  [CR] "));
    QCOMPARE(f.status(), QStringLiteral(" Stand by"));
}

void TestDecoders::replyIsShownAndDecodedWithoutASend()
{
    EngineFixture f;
    f.click("CR0");
    f.receive("40\r");
    QCOMPARE(f.rxd(), QStringLiteral(" 4 0  [CR] "));
    QCOMPARE(f.status(), QStringLiteral(" Count down"));
    QCOMPARE(f.port.writes.size(), 1); // only the CR0 itself went out
}

void TestDecoders::values_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *command, const QByteArray &reply, const char *expected) {
        QTest::addRow("%s %s", command, qPrintable(Render::echo(reply).text.simplified()))
            << QByteArray(command) << reply << QString::fromLatin1(expected);
    };
    const struct
    {
        const char *command;
        const char *code;
        const char *value;
    } codes[] = {
        {"CR0", "00", "power=on"},
        {"CR0", "80", "power=standby"},
        {"CR0", "40", "power=warming"},
        {"CR0", "20", "power=cooling"},
        {"CR0", "10", "power=power_fault"},
        {"CR0", "08", "power=temperature_fault"},
        {"CR0", "18", "power=temperature_fault"},
        {"CR0", "28", "power=temperature_fault"},
        {"CR0", "48", "power=temperature_fault"},
        {"CR0", "88", "power=temperature_fault"},
        {"CR0", "21", "power=lamp_fault"},
        {"CR0", "81", "power=lamp_fault"},
        {"CR1", "1", "input=input1"},
        {"CR1", "2", "input=input2"},
        {"CR1", "3", "input=input3"},
        {"CR1", "4", "input=wired"},
        {"CR1", "5", "input=wireless"},
        {"CR4", "00", ""}, // words only
        {"CR LAMPSTS", "000 1I", "lamp=on"},
        {"CR LAMPSTS", "000 1O", "lamp=off"},
        {"CR LAMPSTS", "000 1X", "lamp=failure"},
        {"CR LAMPMODE", "000 HIGH", "lamp_mode=high"},
        {"CR LAMPMODE", "000 NORMAL", "lamp_mode=normal"},
        {"CR LAMPMODE", "000 ECO", "lamp_mode=eco"},
        {"CR3", "00482", "lamp_hours=482"},
        {"CR3", "99999", "lamp_hours=99999"},
        {"CR6", "025.0 026.5 127.0", "temperatures=25,26.5,127"},
    };
    for (const auto &code : codes)
        row(code.command, QByteArray(code.code) + '\r', code.value);

    // Where the words say nothing, neither do the values; where they show no number, no number.
    row("CR0", "90\r", "");
    row("CR0",
        "\x06"
        "80\r",
        "");
    row("CR LAMPMODE", "000 HIGH\r\n", "");
    row("CR3", "0482\r", "");
    row("CR3", "0048a\r", "");
    row("CR6", "025.0 026.5 027.0\r\n", "");
    row("CR6", "0001A|0002B|0003C\r", "");
    row("C00", "80\r", "");
}

void TestDecoders::values()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    QFETCH(QString, expected);
    const Decoders::Values values = Decoders::values(command, reply);
    QStringList found;
    if (values.lampHours)
        found << QStringLiteral("lamp_hours=%1").arg(*values.lampHours);
    if (const auto t = values.temperaturesC)
        found << QStringLiteral("temperatures=%1,%2,%3").arg((*t)[0]).arg((*t)[1]).arg((*t)[2]);
    for (const auto &[name, value] :
         {std::pair {"power", values.power}, std::pair {"input", values.input},
          std::pair {"lamp", values.lamp}, std::pair {"lamp_mode", values.lampMode}}) {
        if (!value.isEmpty())
            found << QStringLiteral("%1=%2").arg(QLatin1String(name), value);
    }
    QCOMPARE(found.join(QLatin1Char(' ')), expected);
    if (!values.power.isEmpty())
        QVERIFY(Decoders::powerStates().contains(values.power));

    // A value only where the panel shows words for the same reply.
    EngineFixture f;
    f.click(command);
    f.receive(reply);
    if (!expected.isEmpty())
        QVERIFY2(!f.status().isEmpty(), qPrintable(f.status()));
}

// The reads orva makes are the panel's status buttons, in the panel's order.
void TestDecoders::statusReadsAreThePanelsButtons()
{
    QStringList panel;
    for (const ButtonMap::Button &button : ButtonMap::buttons()) {
        if (button.face == ButtonMap::Face::StatusRead)
            panel << QStringLiteral("%1=%2").arg(QLatin1String(button.caption),
                                                 QLatin1String(button.command));
    }
    QStringList reads;
    for (const Decoders::StatusRead &read : Decoders::statusReads())
        reads << QStringLiteral("%1=%2").arg(QLatin1String(read.caption),
                                             QString::fromLatin1(read.command));
    QCOMPARE(reads, panel);
}

QTEST_GUILESS_MAIN(TestDecoders)
#include "tst_decoders.moc"
