#include "link/rfc2217.h"

#include "support/bytes.h"

#include <QTest>

namespace {

// Everything a stream gave, fed in the pieces given.
struct Fed
{
    QByteArray data;
    QByteArray reply;
    qint32 baudRate = -1;
    bool refused = false;
};

Fed feedPieces(Rfc2217Codec &codec, const QByteArrayList &pieces)
{
    Fed fed;
    for (const QByteArray &piece : pieces) {
        const Rfc2217Codec::Result result = codec.feed(piece);
        fed.data += result.data;
        fed.reply += result.reply;
        if (result.baudRate)
            fed.baudRate = *result.baudRate;
        fed.refused = fed.refused || result.comPortRefused;
    }
    return fed;
}

} // namespace

class TestRfc2217 : public QObject
{
    Q_OBJECT
private slots:
    void opening_data();
    void opening();
    void escape_data();
    void escape();
    void everyByteBothWays();
    void received_data();
    void received();
    void splitAtEveryByte_data();
    void splitAtEveryByte();
    void answers_data();
    void answers();
    void refusal_data();
    void refusal();
    void baudAnswer_data();
    void baudAnswer();
    void resetForgetsAHalfCommand();
};

void TestRfc2217::opening_data()
{
    QTest::addColumn<qint32>("baudRate");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray negotiation = hex("fffb00 fffd00 fffb03 fffd03 fffb2c");
    const QByteArray lineSettings = hex("fffa2c0208fff0 fffa2c0301fff0 fffa2c0401fff0");
    QTest::newRow("9600") << 9600 << negotiation + hex("fffa2c01 00002580 fff0") + lineSettings;
    QTest::newRow("19200") << 19200 << negotiation + hex("fffa2c01 00004b00 fff0") + lineSettings;
    // No real speed has an IAC in it, but the value must still survive one.
    QTest::newRow("IAC in the value")
        << 0x01ff00ff << negotiation + hex("fffa2c01 01ffff00ffff fff0") + lineSettings;
}

void TestRfc2217::opening()
{
    QFETCH(qint32, baudRate);
    QFETCH(QByteArray, expected);
    QCOMPARE(Rfc2217Codec::opening(baudRate).toHex(' '), expected.toHex(' '));
}

void TestRfc2217::escape_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    // Binary mode: a CR is not followed by NUL or LF.
    QTest::newRow("command") << QByteArray("CR0\r") << QByteArray("CR0\r");
    QTest::newRow("lone IAC") << hex("ff") << hex("ffff");
    QTest::newRow("IAC pair") << hex("ffff") << hex("ffffffff");
    QTest::newRow("IAC among data") << hex("41ff0dff00") << hex("41ffff0dffff00");
    QTest::newRow("CR NUL and CR LF kept") << hex("0d000d0a") << hex("0d000d0a");
}

void TestRfc2217::escape()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, expected);
    QCOMPARE(Rfc2217Codec::escape(data).toHex(' '), expected.toHex(' '));
}

void TestRfc2217::everyByteBothWays()
{
    const QByteArray bytes = allBytes();
    const QByteArray wire = Rfc2217Codec::escape(bytes);
    QCOMPARE(wire.size(), 257);
    QCOMPARE(wire.left(256), bytes);
    QCOMPARE(quint8(wire.at(256)), quint8(0xff));

    Rfc2217Codec whole;
    QCOMPARE(whole.feed(wire).data, bytes);
    Rfc2217Codec byteByByte;
    QByteArray received;
    for (const char byte : wire)
        received += byteByByte.feed(QByteArray(1, byte)).data;
    QCOMPARE(received, bytes);
}

void TestRfc2217::received_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("plain") << QByteArray("80\r") << QByteArray("80\r");
    QTest::newRow("doubled IAC") << hex("38ffff30") << hex("38ff30");
    QTest::newRow("two doubled IACs") << hex("ffffffff") << hex("ffff");
    QTest::newRow("NOP inside") << hex("38fff1300d") << QByteArray("80\r");
    QTest::newRow("GA inside") << hex("38fff9300d") << QByteArray("80\r");
    QTest::newRow("negotiation inside") << hex("38fffb03300d") << QByteArray("80\r");
    QTest::newRow("line state inside") << hex("38 fffa2c6a60fff0 300d") << QByteArray("80\r");
    QTest::newRow("modem state inside") << hex("38 fffa2c6b30fff0 300d") << QByteArray("80\r");
    QTest::newRow("other option's sub-negotiation")
        << hex("38 fffa1800414e5349fff0 300d") << QByteArray("80\r");
    QTest::newRow("IAC IAC inside a sub-negotiation")
        << hex("38 fffa2c6affffff30fff0 300d") << QByteArray("80\r");
    QTest::newRow("SE outside a sub-negotiation") << hex("38fff0300d") << QByteArray("80\r");
    QTest::newRow("sub-negotiation without SE")
        << hex("38 fffa2c6a60 fff1 300d") << QByteArray("80\r");
    QTest::newRow("long sub-negotiation")
        << hex("38 fffa2c6b") + QByteArray(300, 'x') + hex("fff0 300d") << QByteArray("80\r");
    QTest::newRow("CR NUL as sent") << hex("0d000d0a") << hex("0d000d0a");
    QTest::newRow("only telnet") << hex("fff1 fffb03 fffa2c6b00fff0") << QByteArray();
}

void TestRfc2217::received()
{
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, data);
    Rfc2217Codec codec;
    QCOMPARE(codec.feed(wire).data.toHex(' '), data.toHex(' '));
}

void TestRfc2217::splitAtEveryByte_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<qint32>("baudRate");
    QTest::newRow("baud answer between data")
        << hex("38 fffa2c65 00004b00 fff0 30 ffff 0d") << hex("3830ff0d") << QByteArray() << 19200;
    QTest::newRow("IAC in a baud answer")
        << hex("41 fffa2c65 00ffff0001 fff0 42") << QByteArray("AB") << QByteArray() << 0x00ff0001;
    QTest::newRow("notifications and a request")
        << hex("fffa2c6b30fff0 38 fffb01 fffa2c6a60fff0 30 fff1 0d") << QByteArray("80\r")
        << hex("fffe01") << -1;
}

void TestRfc2217::splitAtEveryByte()
{
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, reply);
    QFETCH(qint32, baudRate);
    for (int at = 0; at <= wire.size(); ++at) {
        Rfc2217Codec codec;
        const Fed fed = feedPieces(codec, {wire.left(at), wire.mid(at)});
        const QByteArray where = "split at " + QByteArray::number(at);
        QVERIFY2(fed.data == data, where + ": " + fed.data.toHex(' '));
        QVERIFY2(fed.reply == reply, where + ": " + fed.reply.toHex(' '));
        QVERIFY2(fed.baudRate == baudRate, where + ": " + QByteArray::number(fed.baudRate));
    }
    QByteArrayList singles;
    for (const char byte : wire)
        singles.append(QByteArray(1, byte));
    Rfc2217Codec codec;
    const Fed fed = feedPieces(codec, singles);
    QCOMPARE(fed.data, data);
    QCOMPARE(fed.reply, reply);
    QCOMPARE(fed.baudRate, baudRate);
}

void TestRfc2217::answers_data()
{
    QTest::addColumn<QByteArray>("fromServer");
    QTest::addColumn<QByteArray>("expected");
    // Answers to what the opening asked for need no answer.
    QTest::newRow("DO BINARY") << hex("fffd00") << QByteArray();
    QTest::newRow("WILL BINARY") << hex("fffb00") << QByteArray();
    QTest::newRow("DO SGA, twice") << hex("fffd03fffd03") << QByteArray();
    QTest::newRow("WILL SGA") << hex("fffb03") << QByteArray();
    QTest::newRow("DO COM-PORT") << hex("fffd2c") << QByteArray();
    QTest::newRow("WILL COM-PORT, unasked, twice") << hex("fffb2cfffb2c") << hex("fffd2c");
    QTest::newRow("WILL ECHO") << hex("fffb01") << hex("fffe01");
    QTest::newRow("WILL ECHO, twice") << hex("fffb01fffb01") << hex("fffe01");
    QTest::newRow("DO TERMINAL-TYPE, twice") << hex("fffd18fffd18") << hex("fffc18");
    QTest::newRow("DO and WILL of one option") << hex("fffd1ffffb1f") << hex("fffc1ffffe1f");
    QTest::newRow("DONT ECHO, never on") << hex("fffe01") << QByteArray();
    QTest::newRow("WONT of an option never on") << hex("fffc18") << QByteArray();
    QTest::newRow("DONT BINARY as the answer") << hex("fffe00") << QByteArray();
    QTest::newRow("BINARY on, then off, then on")
        << hex("fffd00 fffe00 fffd00") << hex("fffc00 fffb00");
    QTest::newRow("their BINARY on, then off") << hex("fffb00 fffc00") << hex("fffe00");
    QTest::newRow("ser2net's greeting")
        << hex("fffb03fffd03fffb01fffe01fffd00fffb00fffd2cfffd03 fffa2c6b00fff0") << hex("fffe01");
}

void TestRfc2217::answers()
{
    QFETCH(QByteArray, fromServer);
    QFETCH(QByteArray, expected);
    Rfc2217Codec codec;
    const Rfc2217Codec::Result result = codec.feed(fromServer);
    QCOMPARE(result.reply.toHex(' '), expected.toHex(' '));
    QVERIFY(result.data.isEmpty());
}

void TestRfc2217::refusal_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<bool>("refused");
    QTest::newRow("DONT COM-PORT") << QByteArrayList {hex("fffe2c")} << true;
    QTest::newRow("WONT COM-PORT") << QByteArrayList {hex("fffc2c")} << true;
    QTest::newRow("DONT COM-PORT, split") << QByteArrayList {hex("fffe"), hex("2c")} << true;
    QTest::newRow("DO COM-PORT") << QByteArrayList {hex("fffd2c")} << false;
    QTest::newRow("DONT BINARY") << QByteArrayList {hex("fffe00")} << false;
    QTest::newRow("data byte 44 after IAC IAC") << QByteArrayList {hex("fffffe2c")} << false;
}

void TestRfc2217::refusal()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(bool, refused);
    Rfc2217Codec codec;
    QCOMPARE(feedPieces(codec, pieces).refused, refused);
}

void TestRfc2217::baudAnswer_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<qint32>("baudRate");
    QTest::newRow("9600") << hex("fffa2c6500002580fff0") << 9600;
    QTest::newRow("19200") << hex("fffa2c6500004b00fff0") << 19200;
    QTest::newRow("two answers: the last")
        << hex("fffa2c6500002580fff0 fffa2c6500004b00fff0") << 19200;
    QTest::newRow("doubled IAC in the value")
        << hex("fffa2c65ffff000000fff0") << qint32(0xff000000);
    QTest::newRow("short value") << hex("fffa2c65004b00fff0") << -1;
    QTest::newRow("long value") << hex("fffa2c650000004b00fff0") << -1;
    QTest::newRow("client's command code") << hex("fffa2c0100002580fff0") << -1;
    QTest::newRow("other option") << hex("fffa2b6500002580fff0") << -1;
    QTest::newRow("data bits answer") << hex("fffa2c6608fff0") << -1;
    QTest::newRow("as data, IAC doubled") << hex("ffff fa2c6500002580fff0") << -1;
}

void TestRfc2217::baudAnswer()
{
    QFETCH(QByteArray, wire);
    QFETCH(qint32, baudRate);
    Rfc2217Codec codec;
    QCOMPARE(feedPieces(codec, {wire}).baudRate, baudRate);
}

void TestRfc2217::resetForgetsAHalfCommand()
{
    Rfc2217Codec codec;
    QCOMPARE(codec.feed(hex("fffb01")).reply, hex("fffe01"));
    codec.feed(hex("fffa2c6b"));
    codec.reset();
    // A new connection: the old half sub-negotiation no longer swallows data, and an option
    // refused before is answered again.
    const Rfc2217Codec::Result result = codec.feed(hex("41 fffb01"));
    QCOMPARE(result.data, QByteArray("A"));
    QCOMPARE(result.reply, hex("fffe01"));
}

QTEST_GUILESS_MAIN(TestRfc2217)
#include "tst_rfc2217.moc"
