#include "app/form1.h"
#include "engine/engine.h"
#include "engine/render.h"
#include "panel/look.h"
#include "support/configfolder.h"
#include "support/enginefixture.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTest>

#include <algorithm>

namespace {

// Median time to paint the label, so one stall does not decide.
double paintMs(QLabel *label)
{
    QVector<double> times;
    for (int i = 0; i < 9; ++i) {
        QElapsedTimer clock;
        clock.start();
        label->grab();
        times << clock.nsecsElapsed() / 1e6;
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

} // namespace

// A full receive buffer echoes to some 200,000 characters. Laying all of that out at every repaint
// stalled a flooded window (9 ms a paint here); the line must paint about as fast as a short one.
class TestEchoPaint : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Look::install(); }
    void fullBufferPaintsLikeAShortEcho();
};

void TestEchoPaint::fullBufferPaintsLikeAShortEcho()
{
    ConfigFolder config;
    EngineFixture f;
    Form1 form(&f.engine);
    form.setHeight(Form1::ExpandedHeightTwips);
    form.show();
    f.click("CR0");
    f.receive("80\r");
    const double shortMs = paintMs(form.Label12);
    f.receive(QByteArray(Engine::MaxReceivedChars, '\x1b'));
    QCOMPARE(f.engine.received().size(), Engine::MaxReceivedChars);
    QCOMPARE(f.rxd(), Render::echo(f.engine.received()).text);
    QCOMPARE(form.Label25->text(), QStringLiteral(" Stand by"));
    const double fullMs = paintMs(form.Label12);
    qInfo("paint: short echo %.3f ms, full buffer %.3f ms", shortMs, fullMs);
    QVERIFY2(fullMs < 5 * shortMs + 2, qPrintable(QString::number(fullMs)));
}

QTEST_MAIN(TestEchoPaint)
#include "tst_echopaint.moc"
