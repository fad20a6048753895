#include "app/console.h"
#include "app/form1.h"
#include "console/form3.h"
#include "panel/look.h"
#include "support/configfolder.h"
#include "support/enginefixture.h"

#include <QFrame>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

// Where start-up puts the main window, on the screen this run was given (tests/screens/*.json).
// The positions are worked out by hand: left = (screen width - outer width 700) / 2,
// top = (screen height - 385) / 2 - 90, never above the screen.
// The main window on a stored port, in a settings folder of its own, before its start-up.
struct Loaded
{
    Loaded()
    {
        config.writeSettingsFile("[StartUP]\nComPort=1\n");
        f.engine.close();
    }
    ConfigFolder config;
    EngineFixture f;
    Form1 form {&f.engine};
};

class TestPlacement : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void startUpPosition_data();
    void startUpPosition();
    void consoleLeavesTheLinesInSight();
};

void TestPlacement::initTestCase()
{
    Look::install();
    const QString screen = QGuiApplication::primaryScreen()->name();
    QVERIFY2(QStringList({"low", "tall", "laptop", "hd"}).contains(screen),
             "run with QT_QPA_PLATFORM=offscreen:configfile=tests/screens/NAME.json");
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
    Loaded loaded;
    Form1 &form = loaded.form;
    QVERIFY(loaded.form.Form_Load());
    QCOMPARE(form.pos(), topLeft);
}

// The console opens from the expanded main window; wherever the screen leaves room, it must not
// cover the TxD and RxD lines, and it stays on the screen.
void TestPlacement::consoleLeavesTheLinesInSight()
{
    Loaded loaded;
    Form1 &form = loaded.form;
    QVERIFY(loaded.form.Form_Load());
    form.setHeight(Form1::ExpandedHeightTwips);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    Console::openFromCommandTable(&form);
    Form3 *console = Form3::openInstance();
    QVERIFY(console);
    QVERIFY(QTest::qWaitForWindowExposed(console));
    const QFrame *lines = form.box(QStringLiteral("Frame9"));
    const QRect linesOnScreen(lines->mapToGlobal(QPoint(0, 0)), lines->size());
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(!console->frameGeometry().intersects(linesOnScreen),
             qPrintable(QStringLiteral("console %1,%2 %3x%4 over the lines at %5,%6 %7x%8")
                            .arg(console->x())
                            .arg(console->y())
                            .arg(console->width())
                            .arg(console->height())
                            .arg(linesOnScreen.x())
                            .arg(linesOnScreen.y())
                            .arg(linesOnScreen.width())
                            .arg(linesOnScreen.height())));
    QVERIFY(area.contains(console->frameGeometry()));
    console->close();
}

QTEST_MAIN(TestPlacement)
#include "tst_placement.moc"
