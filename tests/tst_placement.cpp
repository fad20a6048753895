#include "app/form1.h"
#include "panel/look.h"
#include "support/configfolder.h"
#include "support/enginefixture.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

// Where start-up puts the main window, on the screen this run was given (tests/screens/*.json).
// The positions are worked out by hand: left = (screen width - outer width 700) / 2,
// top = (screen height - 385) / 2 - 90, never above the screen.
class TestPlacement : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void startUpPosition_data();
    void startUpPosition();
};

void TestPlacement::initTestCase()
{
    Look::install();
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QVERIFY2(screen == QSize(1024, 480) || screen == QSize(1280, 1200),
             "run with QT_QPA_PLATFORM=offscreen:configfile=tests/screens/low.json or tall.json");
}

void TestPlacement::startUpPosition_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QPoint>("topLeft");
    // (480 - 385) / 2 - 90 = -43: the formula would hide the title bar.
    QTest::newRow("low screen, top clamped") << QSize(1024, 480) << QPoint(162, 0);
    // (1200 - 385) / 2 - 90 = 317, the formula's own value.
    QTest::newRow("tall screen, formula") << QSize(1280, 1200) << QPoint(290, 317);
}

void TestPlacement::startUpPosition()
{
    QFETCH(QSize, screen);
    QFETCH(QPoint, topLeft);
    if (QGuiApplication::primaryScreen()->geometry().size() != screen)
        QSKIP("a row for another screen");
    ConfigFolder config;
    config.writeSettingsFile("[StartUP]\nComPort=1\n");
    EngineFixture f;
    f.engine.close();
    Form1 form(&f.engine);
    QVERIFY(form.Form_Load());
    QCOMPARE(form.pos(), topLeft);
}

QTEST_MAIN(TestPlacement)
#include "tst_placement.moc"
