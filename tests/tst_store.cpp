#include "app/startup.h"
#include "settings/store.h"
#include "support/configfolder.h"
#include "support/enginefixture.h"

#include <QTest>

class TestStore : public QObject
{
    Q_OBJECT
private slots:
    void leadingNumber_data();
    void leadingNumber();
    void storedPort_data();
    void storedPort();
    void storedBaud_data();
    void storedBaud();
    void writesDecimalText();
    void missingKeysReadAsDefaults();
};

void TestStore::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("integer") << "7" << 7.0;
    QTest::newRow("leading blanks") << "  7" << 7.0;
    QTest::newRow("trailing letters") << "7abc" << 7.0;
    QTest::newRow("fraction") << "3.5" << 3.5;
    QTest::newRow("exponent") << "1e3" << 1000.0;
    QTest::newRow("exponent without digits") << "2e" << 2.0;
    QTest::newRow("negative") << "-1" << -1.0;
    QTest::newRow("plus") << "+12" << 12.0;
    QTest::newRow("point only fraction") << ".5" << 0.5;
    QTest::newRow("letters") << "DATAC" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("sign only") << "-" << 0.0;
}

void TestStore::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(Store::leadingNumber(text), value);
}

// What a stored "ComPort" does at start-up: which port opens, or none (the dialog).
void TestStore::storedPort_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("opened"); // 0: not opened
    QTest::addColumn<int>("comPortNumber");
    QTest::newRow("7") << QByteArray("7") << 7 << 7;
    QTest::newRow("15") << QByteArray("15") << 15 << 15;
    QTest::newRow("1") << QByteArray("1") << 1 << 1;
    QTest::newRow("3.5 rounds to even 4") << QByteArray("3.5") << 4 << 4;
    QTest::newRow("2.5 rounds to even 2") << QByteArray("2.5") << 2 << 2;
    QTest::newRow("leading blank") << QByteArray("\" 7\"") << 7 << 7;
    QTest::newRow("7abc") << QByteArray("7abc") << 7 << 7;
    QTest::newRow("DATAC") << QByteArray("DATAC") << 0 << 0;
    QTest::newRow("empty") << QByteArray("") << 0 << 0;
    QTest::newRow("0") << QByteArray("0") << 0 << 0;
    QTest::newRow("16") << QByteArray("16") << 0 << 16;
    QTest::newRow("1e3") << QByteArray("1e3") << 0 << 1000;
    QTest::newRow("-1") << QByteArray("-1") << 0 << 0;
    QTest::newRow("99999 beyond 16 bits") << QByteArray("99999") << 0 << 0;
    QTest::newRow("huge exponent") << QByteArray("1e400") << 0 << 0;
}

void TestStore::storedPort()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, opened);
    QFETCH(int, comPortNumber);
    ConfigFolder config;
    config.writeSettingsFile("[StartUP]\nComPort=" + stored + "\nBaudRate=96\n");
    EngineFixture f;
    f.engine.close();
    f.port.openAttempts = 0;
    const QByteArray before = config.settingsFileContents();

    const PortChoice choice = Startup::storedChoice();
    const bool ok = Startup::openStoredPort(f.engine, choice);
    QCOMPARE(ok, opened != 0);
    QCOMPARE(choice.portNumber(), comPortNumber);
    QCOMPARE(f.port.openAttempts, opened ? 1 : 0);
    if (opened) {
        QCOMPARE(f.port.openedPort, opened);
        QCOMPARE(f.port.openedSettings, QStringLiteral("9600,N,8,1"));
    } else {
        // "BaudRate" (96) is not read when the port is unusable.
        QCOMPARE(choice.speedCode(), int(PortChoice::Baud19200Code));
    }
    QCOMPARE(config.settingsFileContents(), before); // nothing is written at start-up
}

void TestStore::storedBaud_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("baudCode");
    QTest::newRow("96") << QByteArray("BaudRate=96\n") << "9600,N,8,1" << 96;
    QTest::newRow("192") << QByteArray("BaudRate=192\n") << "19200,N,8,1" << 192;
    QTest::newRow("0") << QByteArray("BaudRate=0\n") << "19200,N,8,1" << 192;
    QTest::newRow("abc") << QByteArray("BaudRate=abc\n") << "19200,N,8,1" << 192;
    QTest::newRow("300 beyond a byte") << QByteArray("BaudRate=300\n") << "19200,N,8,1" << 192;
    QTest::newRow("-5") << QByteArray("BaudRate=-5\n") << "19200,N,8,1" << 192;
    QTest::newRow("96.4 rounds to 96") << QByteArray("BaudRate=96.4\n") << "9600,N,8,1" << 96;
    QTest::newRow("missing") << QByteArray() << "19200,N,8,1" << 192;
}

void TestStore::storedBaud()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, settings);
    QFETCH(int, baudCode);
    ConfigFolder config;
    config.writeSettingsFile("[StartUP]\nComPort=3\n" + stored);
    EngineFixture f;
    f.engine.close();
    QVERIFY(Startup::openStoredPort(f.engine, Startup::storedChoice()));
    QCOMPARE(f.port.openedSettings, settings);
    QCOMPARE(f.engine.choice().speedCode(), baudCode);
    QCOMPARE(f.engine.timing().replyWindowMs, 1000);
    QCOMPARE(f.engine.timing().displayClearMs, 1200);
}

void TestStore::writesDecimalText()
{
    ConfigFolder config;
    Store::saveSetting(Store::ComPortKey, QStringLiteral("7"));
    Store::saveSetting(Store::BaudRateKey, QStringLiteral("96"));
    QCOMPARE(config.settingsFileContents(), QByteArray("[StartUP]\nBaudRate=96\nComPort=7\n"));
    QCOMPARE(Store::getSetting(Store::ComPortKey, Store::ComPortDefault), QStringLiteral("7"));
}

void TestStore::missingKeysReadAsDefaults()
{
    ConfigFolder config;
    QCOMPARE(Store::getSetting(Store::ComPortKey, Store::ComPortDefault), QStringLiteral("DATAC"));
    QCOMPARE(Store::getSetting(Store::BaudRateKey, Store::BaudRateDefault),
             QStringLiteral("DATAb"));
    QVERIFY(!QFile::exists(config.settingsFile()));
}

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
