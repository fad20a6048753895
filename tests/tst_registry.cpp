#include "app/form1.h"
#include "app/portdialog.h"
#include "link/configdir.h"
#include "engine/engine.h"
#include "panel/look.h"
#include "settings/form2.h"
#include "support/clicks.h"
#include "support/fakeserialport.h"
#include "support/manualclock.h"

#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

const QString Key = QStringLiteral("HKCU\\Software\\VB and VBA Program Settings\\ORVA\\StartUP");

// reg.exe, as a technician or an older program leaves the values.
QString reg(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("reg"), arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

} // namespace

// The port and speed stored where the older tool kept them: after an upgrade the panel opens the
// same port, and OK stores the new choice there in the same form. It writes that key for real, so
// it runs only in the tests' own Wine prefix, whose registry is nobody's.
class TestRegistry : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void storedTextOpensAndOkWritesItBack();
    void cleanupTestCase();
};

void TestRegistry::initTestCase()
{
    if (qEnvironmentVariable("ORVA_DISPOSABLE_REGISTRY") != QLatin1String("1"))
        QSKIP("writes the user's own registry; only in the tests' Wine prefix");
    qunsetenv("ORVA_CONFIG_HOME");
    QVERIFY(!ConfigDir::isRedirected());
    Look::install();
}

void TestRegistry::storedTextOpensAndOkWritesItBack()
{
    for (const auto &[name, value] : {std::pair {"ComPort", "6"}, std::pair {"BaudRate", "96"}}) {
        QVERIFY(!reg({QStringLiteral("add"), Key, QStringLiteral("/v"), QLatin1String(name),
                      QStringLiteral("/t"), QStringLiteral("REG_SZ"), QStringLiteral("/d"),
                      QLatin1String(value), QStringLiteral("/f")})
                     .isNull());
    }
    FakeSerialPort port;
    ManualClock clock;
    Engine engine(&port, clock);
    Form1 form(&engine);
    QVERIFY(form.Form_Load());
    QCOMPARE(port.openedPort, 6);
    QCOMPARE(port.openedSettings, QStringLiteral("9600,N,8,1"));

    form.show();
    PortDialog::openFromComButton(&form);
    QPointer<Form2> dialog = form.findChild<Form2 *>();
    QVERIFY(dialog);
    clickControl(dialog, QStringLiteral("Option5")); // COM3
    clickControl(dialog, QStringLiteral("Option2")); // 19200
    clickControl(dialog, QStringLiteral("Command1"));
    QTRY_VERIFY(!dialog);
    QCOMPARE(port.openedPort, 3);

    const QString stored = reg({QStringLiteral("query"), Key});
    qInfo().noquote() << QString(stored).remove(QLatin1Char('\r')).trimmed();
    QVERIFY2(stored.contains(QRegularExpression(QStringLiteral("ComPort\\s+REG_SZ\\s+3\\s"))),
             qPrintable(stored));
    QVERIFY2(stored.contains(QRegularExpression(QStringLiteral("BaudRate\\s+REG_SZ\\s+192\\s"))),
             qPrintable(stored));
}

void TestRegistry::cleanupTestCase()
{
    reg({QStringLiteral("delete"),
         QStringLiteral("HKCU\\Software\\VB and VBA Program Settings\\ORVA"),
         QStringLiteral("/f")});
}

QTEST_MAIN(TestRegistry)
#include "tst_registry.moc"
