#include "engine/render.h"

#include <QTest>

class TestRender : public QObject
{
    Q_OBJECT
private slots:
    void everyByteValue();
    void examples_data();
    void examples();
};

// Each byte alone: what it renders to and which legend it asks for.
void TestRender::everyByteValue()
{
    for (int code = 0; code < 256; ++code) {
        const QByteArray byte(1, char(code));
        QString expected;
        unsigned legend = Render::NoLegend;
        if (code == 0x06) {
            expected = QStringLiteral("  [ACK] ");
            legend = Render::AckLegend;
        } else if (code == 0x0D) {
            expected = QStringLiteral("  [CR] ");
            legend = Render::CrLegend;
        } else if (code == 0x0A) {
            expected = QStringLiteral("  [LF]  ");
        } else if (code == 0x20) {
            expected = QStringLiteral(" _ ");
            legend = Render::SpaceLegend;
        } else if (code >= 0x21 && code <= 0x7A) {
            expected = QStringLiteral(" ") + QChar(code) + QStringLiteral(" ");
        } else {
            expected = QStringLiteral(" ? ");
        }
        const Render::Result result = Render::echo(byte);
        QVERIFY2(result.text == expected,
                 qPrintable(QStringLiteral("byte 0x%1 gave \"%2\"")
                                .arg(code, 2, 16, QLatin1Char('0'))
                                .arg(result.text)));
        QCOMPARE(result.legends, legend);
    }
}

void TestRender::examples_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("rendered");
    QTest::addColumn<unsigned>("legends");

    QTest::newRow("empty") << QByteArray() << " " << unsigned(Render::NoLegend);
    QTest::newRow("C34 CR") << QByteArray("C34\r") << " C 3 4  [CR] " << unsigned(Render::CrLegend);
    QTest::newRow("80 CR") << QByteArray("80\r") << " 8 0  [CR] " << unsigned(Render::CrLegend);
    QTest::newRow("ACK CR") << QByteArray("\x06\r") << "  [ACK]  [CR] "
                            << unsigned(Render::AckLegend | Render::CrLegend);
    QTest::newRow("CR LAMPSTS") << QByteArray("CR LAMPSTS\r") << " C R _ L A M P S T S  [CR] "
                                << unsigned(Render::SpaceLegend | Render::CrLegend);
    QTest::newRow("CR LF") << QByteArray("\r\n") << "  [CR]  [LF]  " << unsigned(Render::CrLegend);
    QTest::newRow("braces and tilde")
        << QByteArray("{|}~\x7f") << " ? ? ? ? ? " << unsigned(Render::NoLegend);
    QTest::newRow("lower case") << QByteArray("abz") << " a b z " << unsigned(Render::NoLegend);
    QTest::newRow("high bytes") << QByteArray("\x80\xff"
                                              "A")
                                << " ? ? A " << unsigned(Render::NoLegend);
    QTest::newRow("markup") << QByteArray("<b>") << " < b > " << unsigned(Render::NoLegend);
}

void TestRender::examples()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, rendered);
    QFETCH(unsigned, legends);
    const Render::Result result = Render::echo(text);
    QCOMPARE(result.text, rendered);
    QCOMPARE(result.legends, legends);
}

QTEST_GUILESS_MAIN(TestRender)
#include "tst_render.moc"
