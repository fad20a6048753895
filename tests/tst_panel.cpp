#include "app/form1.h"
#include "panel/buttonmap.h"
#include "panel/layout.h"
#include "panel/look.h"
#include "support/configfolder.h"
#include "support/enginefixture.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QWindow>

// The main window's buttons on a fake port and a manual clock.
class TestPanel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Look::install(); }
    void clickButtonSendsItsCommand_data();
    void clickButtonSendsItsCommand();
    void exactlyTheNamedButtonsExist();
    void captionsFitTheirButtons();
    void faceColours_data();
    void faceColours();
    void keyboardActivation_data();
    void keyboardActivation();
    void arrowButtonsHaveAccessibleNames();
    void repeatTableFollowsTheHoldButtons();
    void holdSendsOncePerTick_data();
    void holdSendsOncePerTick();
    void holdIntervals();
    void secondPressWhileHolding();
    void releaseTidiesTheDisplay();
    void clickAfterHoldGetsAfterHoldWindows();
    void timerTickWithoutIndexSendsNothing();
    void deactivationEndsTheHold();
    void portLossEndsTheHold();
    void ctrlH_data();
    void ctrlH();
    void ctrlHHeightThreshold_data();
    void ctrlHHeightThreshold();
    void ctrlHWithAButtonFocused();
    void endClosesThePort();
    void longEchoShowsItsStart();

private:
    struct Panel
    {
        Panel()
            : form(&f.engine)
        { }
        ConfigFolder config;
        EngineFixture f;
        Form1 form;
        QPushButton *button(int number) const { return form.button(number); }
    };
};

// The command of every click button, written out independently of the panel's own table.
void TestPanel::clickButtonSendsItsCommand_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QByteArray>("command");
    const struct
    {
        int number;
        const char *command;
    } rows[] = {
        {17, "C00"},
        {18, "C01"},
        {36, "C05"},
        {27, "C50"},
        {28, "C51"},
        {29, "C4F"},
        {15, "C06"},
        {40, "C23"},
        {65, "C25"},
        {64, "C24"},
        {34, "C07"},
        {4, "C33"},
        {11, "C34"},
        {41, "C08"},
        {19, "C0B"},
        {20, "C0C"},
        {21, "C0D"},
        {22, "C0E"},
        {25, "C43"},
        {26, "C44"},
        {69, "C28"},
        {70, "C29"},
        {31, "C0F"},
        {32, "C10"},
        {23, "C1C"},
        {24, "C1D"},
        {6, "C3F"},
        {60, "CF KEYDIS NONE"},
        {61, "CF KEYDIS RCALL"},
        {62, "CF KEYDIS KEYALL"},
        {71, "C2A"},
        {72, "C2B"},
        {56, "C2E"},
        {68, "CF LAMPMODE NORMAL"},
        {75, "CF LAMPMODE HIGH"},
        {63, "CF LAMPMODE AUTO1"},
        {66, "CF LAMPMODE ECO1"},
        {3, "C1E"},
        {73, "C27"},
        {13, "C89"},
        {14, "C8A"},
        {44, "CR0"},
        {45, "CR1"},
        {54, "CR6"},
        {47, "CR4"},
        {46, "CR3"},
        {55, "CR LAMPSTS"},
        {76, "CR LAMPMODE"},
    };
    for (const auto &row : rows)
        QTest::newRow(qPrintable(QStringLiteral("Command%1").arg(row.number)))
            << row.number << QByteArray(row.command);
}

void TestPanel::clickButtonSendsItsCommand()
{
    QFETCH(int, number);
    QFETCH(QByteArray, command);
    Panel p;
    QPushButton *button = p.button(number);
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(p.f.port.writes, QByteArrayList {command + '\r'});
    QCOMPARE(p.f.engine.currentCommand(), command + '\r');
    QVERIFY(p.f.engine.timing().replyWindowOpen);
    // Twice is twice: nothing waits for the first answer.
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(p.f.port.writes.size(), 2);
}

void TestPanel::exactlyTheNamedButtonsExist()
{
    Panel p;
    QStringList expected;
    for (int n = 1; n <= 76; ++n) {
        if (n != 12 && n != 53 && n != 67)
            expected << QStringLiteral("Command%1").arg(n);
    }
    QStringList names;
    for (const QPushButton *button : p.form.findChildren<QPushButton *>())
        names << button->objectName();
    names.sort();
    expected.sort();
    QCOMPARE(names, expected);
    // Focus starts at POWER "ON".
    QCOMPARE(p.form.button(17)->nextInFocusChain()->objectName(), QStringLiteral("Command18"));
    QCOMPARE(p.form.focusProxy(), nullptr);
    QVERIFY(QApplication::focusWidget() == nullptr
            || QApplication::focusWidget()->window() != &p.form);
}

// In the face the panel was laid out for, or the copy of it that comes with the program; a
// caption that does not fit is cut off on screen.
void TestPanel::captionsFitTheirButtons()
{
    Panel p;
    for (const QPushButton *button : p.form.findChildren<QPushButton *>()) {
        const QRect needed = button->fontMetrics().boundingRect(
            button->contentsRect(), Qt::AlignCenter | Qt::TextShowMnemonic, button->text());
        QVERIFY2(button->contentsRect().contains(needed),
                 qPrintable(QStringLiteral("%1 \"%2\" needs %3x%4 px, has %5x%6")
                                .arg(button->objectName(), button->text())
                                .arg(needed.width())
                                .arg(needed.height())
                                .arg(button->width())
                                .arg(button->height())));
    }
}

void TestPanel::faceColours_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QColor>("face");
    QTest::newRow("POWER ON") << 17 << QColor(128, 255, 128);
    QTest::newRow("POWER OFF") << 18 << QColor(255, 128, 128);
    QTest::newRow("ON START Disable") << 70 << QColor(255, 128, 128);
    QTest::newRow("ENTER") << 6 << QColor(255, 192, 128);
    QTest::newRow("STATUS") << 44 << QColor(192, 255, 255);
    QTest::newRow("LAMP-MODE") << 76 << QColor(192, 255, 255);
    QTest::newRow("END") << 16 << QColor(255, 192, 192);
    QTest::newRow("HDMI") << 29 << QColor(0, 192, 192);
    QTest::newRow("POWER Management OFF") << 72 << QColor(0, 192, 192);
    QTest::newRow("VOLUME up") << 1 << QColor(255, 255, 128);
}

void TestPanel::faceColours()
{
    QFETCH(int, number);
    QFETCH(QColor, face);
    Panel p;
    QCOMPARE(p.button(number)->palette().color(QPalette::Button), face);
}

void TestPanel::keyboardActivation_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("sends");
    QTest::newRow("click, Space") << 44 << int(Qt::Key_Space) << 1;
    QTest::newRow("click, Enter") << 44 << int(Qt::Key_Return) << 1;
    QTest::newRow("click, keypad Enter") << 17 << int(Qt::Key_Enter) << 1;
    QTest::newRow("hold, Space") << 1 << int(Qt::Key_Space) << 0;
    QTest::newRow("hold, Enter") << 1 << int(Qt::Key_Return) << 0;
}

void TestPanel::keyboardActivation()
{
    QFETCH(int, number);
    QFETCH(int, key);
    QFETCH(int, sends);
    Panel p;
    p.form.show();
    QApplication::setActiveWindow(&p.form);
    QVERIFY(QTest::qWaitForWindowActive(&p.form));
    p.button(number)->setFocus();
    QTest::keyClick(p.button(number), Qt::Key(key));
    QCOMPARE(p.f.port.writes.size(), sends);
    QCOMPARE(p.f.engine.isHolding(), false);
    p.f.clock.advance(1000);
    QCOMPARE(p.f.port.writes.size(), sends);
}

void TestPanel::arrowButtonsHaveAccessibleNames()
{
    Panel p;
    const struct
    {
        int number;
        const char *name;
    } rows[] = {{1, "VOLUME up"},        {2, "VOLUME down"}, {37, "KEYSTONE left"},
                {38, "KEYSTONE right"},  {5, "menu up"},     {8, "menu right"},
                {59, "LENS SHIFT down"}, {43, "ZOOM down"},  {48, "D.ZOOM up"}};
    for (const auto &row : rows)
        QCOMPARE(p.button(row.number)->accessibleName(), QString::fromLatin1(row.name));
    int named = 0;
    for (const ButtonMap::Button &b : ButtonMap::buttons()) {
        if (b.kind == ButtonMap::Kind::Hold) {
            QVERIFY(!p.button(b.number)->accessibleName().isEmpty());
            QVERIFY(p.button(b.number)->text().isEmpty());
            ++named;
        }
    }
    QCOMPARE(named, 22);
}

void TestPanel::repeatTableFollowsTheHoldButtons()
{
    const QVector<QByteArray> expected
        = {"C09", "C0A", "C3C", "C3D", "C3B", "C3A", "C20", "C21", "C30", "C31", "C8E",
           "C8F", "C91", "C90", "C5D", "C5E", "C5F", "C60", "C47", "C46", "C4B", "C4A"};
    QCOMPARE(ButtonMap::repeatTable(), expected);
}

void TestPanel::holdSendsOncePerTick_data()
{
    QTest::addColumn<int>("heldMs");
    QTest::addColumn<int>("sends");
    QTest::newRow("50 ms") << 50 << 1;
    QTest::newRow("99 ms") << 99 << 1;
    QTest::newRow("100 ms") << 100 << 2;
    QTest::newRow("250 ms") << 250 << 3;
    QTest::newRow("1000 ms") << 1000 << 11;
    QTest::newRow("2345 ms") << 2345 << 24;
}

void TestPanel::holdSendsOncePerTick()
{
    QFETCH(int, heldMs);
    QFETCH(int, sends);
    Panel p;
    QPushButton *volumeUp = p.button(1);
    QTest::mousePress(volumeUp, Qt::LeftButton);
    QCOMPARE(p.f.engine.repeatIndex(), 1);
    p.f.clock.advance(heldMs);
    QTest::mouseRelease(volumeUp, Qt::LeftButton);
    QCOMPARE(p.f.port.writes.size(), sends);
    for (const QByteArray &write : std::as_const(p.f.port.writes))
        QCOMPARE(write, QByteArray("C09\r"));
    p.f.clock.advance(5000);
    QCOMPARE(p.f.port.writes.size(), sends);
    QCOMPARE(p.f.engine.isHolding(), false);
    QCOMPARE(p.f.engine.repeatIndex(), 0);
}

void TestPanel::holdIntervals()
{
    Panel p;
    QTest::mousePress(p.button(39), Qt::LeftButton); // ZOOM up
    QCOMPARE(p.f.engine.timing().repeatMs, 100);
    QCOMPARE(p.f.engine.timing().replyWindowMs, 150);
    QCOMPARE(p.f.engine.timing().displayClearMs, 200);
    QVERIFY(p.f.engine.timing().repeating);
    QCOMPARE(p.f.engine.currentCommand(), QByteArray("C47\r"));
    QTest::mouseRelease(p.button(39), Qt::LeftButton);
    QVERIFY(!p.f.engine.timing().repeating);
    QVERIFY(!p.f.engine.timing().replyWindowOpen);
    QVERIFY(p.f.engine.timing().displayClearPending);
    QCOMPARE(p.f.engine.timing().replyWindowMs, 500);
    QCOMPARE(p.f.engine.timing().displayClearMs, 1000);
}

void TestPanel::secondPressWhileHolding()
{
    Panel p;
    QTest::mousePress(p.button(52), Qt::LeftButton); // LENS SHIFT up, index 15
    QTest::mousePress(p.button(52), Qt::RightButton);
    QTest::mousePress(p.button(1), Qt::LeftButton);
    QCOMPARE(p.f.port.writes.size(), 1);
    QCOMPARE(p.f.engine.repeatIndex(), 15);
    p.f.clock.advance(100);
    QCOMPARE(p.f.port.writes.last(), QByteArray("C5D\r"));
    // Releasing either mouse button ends the hold.
    QTest::mouseRelease(p.button(52), Qt::RightButton);
    QCOMPARE(p.f.engine.isHolding(), false);
    p.f.clock.advance(1000);
    QCOMPARE(p.f.port.writes.size(), 2);
}

void TestPanel::releaseTidiesTheDisplay()
{
    Panel p;
    p.f.click("CR0");
    p.f.receive("80\r");
    QTest::mousePress(p.button(2), Qt::LeftButton);
    p.f.clock.advance(120);
    p.f.receive("\x06\r");
    QVERIFY(!p.form.Label12->text().isEmpty());
    QTest::mouseRelease(p.button(2), Qt::LeftButton);
    QCOMPARE(p.form.Label11->text(), QString());
    QCOMPARE(p.form.Label12->text(), QString());
    QCOMPARE(p.form.Label25->text(), QStringLiteral(" Stand by"));
    QVERIFY(p.f.engine.received().isEmpty());
    // The reply window was cancelled: no mark follows, and the legends stay.
    p.f.clock.advance(999);
    QCOMPARE(p.form.Label12->text(), QString());
    QCOMPARE(p.form.Label25->text(), QStringLiteral(" Stand by"));
    QVERIFY(p.form.label(QStringLiteral("Label29"))->isVisibleTo(&p.form));
    p.f.clock.advance(1);
    QCOMPARE(p.form.Label25->text(), QString());
    QVERIFY(p.form.label(QStringLiteral("Label29"))->isVisibleTo(&p.form));
}

void TestPanel::clickAfterHoldGetsAfterHoldWindows()
{
    Panel p;
    QTest::mousePress(p.button(50), Qt::LeftButton);
    QTest::mouseRelease(p.button(50), Qt::LeftButton);
    QTest::mouseClick(p.button(17), Qt::LeftButton);
    p.f.clock.advance(499);
    QCOMPARE(p.form.Label12->text(), QString());
    p.f.clock.advance(1);
    QCOMPARE(p.form.Label12->text(), QStringLiteral(" X X X X"));
    p.f.clock.advance(500);
    QCOMPARE(p.form.Label11->text(), QString());
    QCOMPARE(p.form.Label12->text(), QString());
}

void TestPanel::timerTickWithoutIndexSendsNothing()
{
    Panel p;
    QTest::mousePress(p.button(1), Qt::LeftButton);
    p.f.engine.reset(); // the repeat index goes, the repeat timer stays
    p.f.clock.advance(500);
    QCOMPARE(p.f.port.writes.size(), 1);
    QVERIFY(p.f.engine.timing().repeating);
}

void TestPanel::deactivationEndsTheHold()
{
    Panel p;
    p.form.show();
    QApplication::setActiveWindow(&p.form);
    QVERIFY(QTest::qWaitForWindowActive(&p.form));
    QTest::mousePress(p.button(9), Qt::LeftButton); // menu left
    p.f.clock.advance(300);
    QCOMPARE(p.f.port.writes.size(), 4);
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QTRY_VERIFY(!p.form.isActiveWindow());
    QCOMPARE(p.f.engine.isHolding(), false);
    p.f.clock.advance(1000);
    QCOMPARE(p.f.port.writes.size(), 4);
}

void TestPanel::portLossEndsTheHold()
{
    Panel p;
    QTest::mousePress(p.button(1), Qt::LeftButton);
    p.f.port.pull();
    QCOMPARE(p.f.engine.isHolding(), false);
    QVERIFY(!p.f.engine.timing().repeating);
    p.f.clock.advance(1000);
    QCOMPARE(p.f.port.writes.size(), 1);
}

void TestPanel::ctrlH_data()
{
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("height");
    QTest::newRow("Ctrl+H") << int(Qt::ControlModifier) << int(Qt::Key_H) << 8100;
    QTest::newRow("Ctrl+Shift+H") << int(Qt::ControlModifier | Qt::ShiftModifier) << int(Qt::Key_H)
                                  << 5780;
    QTest::newRow("Ctrl+Alt+H") << int(Qt::ControlModifier | Qt::AltModifier) << int(Qt::Key_H)
                                << 5780;
    QTest::newRow("H") << int(Qt::NoModifier) << int(Qt::Key_H) << 5780;
    QTest::newRow("Ctrl+G") << int(Qt::ControlModifier) << int(Qt::Key_G) << 5780;
    // Only Shift, Ctrl and Alt are looked at.
    QTest::newRow("Ctrl+Meta+H") << int(Qt::ControlModifier | Qt::MetaModifier) << int(Qt::Key_H)
                                 << 8100;
}

void TestPanel::ctrlH()
{
    QFETCH(int, modifiers);
    QFETCH(int, key);
    QFETCH(int, height);
    Panel p;
    p.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p.form));
    const QPoint position = p.form.pos();
    const int width = p.form.width();
    QTest::keyClick(p.form.windowHandle(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(p.form.Height(), height);
    QCOMPARE(p.form.pos(), position);
    QCOMPARE(p.form.width(), width);
    if (height == 8100) {
        QVERIFY(p.form.height() > Look::px(7452)); // the STATUS box is inside now
        QTest::keyClick(p.form.windowHandle(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(p.form.Height(), 5780);
        QVERIFY(p.form.height() < Look::px(5400)); // the lower band is cut off again
        QVERIFY(p.form.height() >= Look::px(5255));
    }
    QVERIFY(p.f.port.writes.isEmpty());
}

void TestPanel::ctrlHHeightThreshold_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::newRow("6999") << 6999 << 8100;
    QTest::newRow("7000") << 7000 << 5780;
    QTest::newRow("9000") << 9000 << 5780;
    QTest::newRow("4000") << 4000 << 8100;
}

void TestPanel::ctrlHHeightThreshold()
{
    QFETCH(int, before);
    QFETCH(int, after);
    Panel p;
    p.form.setHeight(before);
    p.form.Form_KeyDown(Qt::Key_H, 2);
    QCOMPARE(p.form.Height(), after);
}

void TestPanel::ctrlHWithAButtonFocused()
{
    Panel p;
    p.form.show();
    QApplication::setActiveWindow(&p.form);
    QVERIFY(QTest::qWaitForWindowActive(&p.form));
    p.button(44)->setFocus();
    QCOMPARE(QApplication::focusWidget(), p.button(44));
    // Auto-repeat: every key-down toggles.
    for (int i = 0; i < 3; ++i)
        QTest::keyPress(p.form.windowHandle(), Qt::Key_H, Qt::ControlModifier);
    QTest::keyRelease(p.form.windowHandle(), Qt::Key_H, Qt::ControlModifier);
    QCOMPARE(p.form.Height(), 8100);
    QVERIFY(p.f.port.writes.isEmpty());
}

void TestPanel::endClosesThePort()
{
    Panel p;
    p.form.show();
    QVERIFY(p.f.port.isOpen());
    QTest::mouseClick(p.button(16), Qt::LeftButton);
    QVERIFY(!p.f.port.isOpen());
    QVERIFY(!p.form.isVisible());
    QVERIFY(p.f.port.writes.isEmpty());
    // With the port already closed END still just ends.
    p.form.show();
    QTest::mouseClick(p.button(16), Qt::LeftButton);
    QVERIFY(!p.form.isVisible());
}

void TestPanel::longEchoShowsItsStart()
{
    Panel p;
    p.f.click("CR0");
    p.f.receive("80\r" + QByteArray(Engine::MaxReceivedChars, '\n'));
    QCOMPARE(p.f.rxd().size(), 1 + 2 * 2 + 6 + 7 * (Engine::MaxReceivedChars - 3));
    // The line shows how the echo begins; the decoders had all of it.
    QVERIFY(p.form.Label12->text().startsWith(QLatin1String(" 8 0  [CR] ")));
    QVERIFY(p.f.rxd().startsWith(p.form.Label12->text()));
    QCOMPARE(p.form.Label25->text(), QStringLiteral(" Stand by"));
    p.f.click("CR1");
    p.f.receive("3\r");
    QCOMPARE(p.form.Label12->text(), QStringLiteral(" 3  [CR] "));
}

QTEST_MAIN(TestPanel)
#include "tst_panel.moc"
