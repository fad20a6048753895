#include "app/console.h"
#include "app/form1.h"
#include "console/form3.h"
#include "panel/look.h"
#include "support/configfolder.h"
#include "support/enginefixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QWindow>

namespace {

// The main window on a fake port and a manual clock, with the console one click away.
struct Bench
{
    ~Bench()
    {
        if (Form3 *console = Form3::openInstance())
            console->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    Form3 *open()
    {
        Console::openFromCommandTable(&form);
        return Form3::openInstance();
    }
    // Focus checks need the console to be the active window.
    static bool activate(Form3 *console)
    {
        QApplication::setActiveWindow(console);
        return QTest::qWaitForWindowActive(console);
    }
    QByteArray lastWrite() const
    {
        return f.port.writes.isEmpty() ? QByteArray() : f.port.writes.last();
    }

    ConfigFolder config;
    EngineFixture f;
    Form1 form {&f.engine};
};

void click(QPushButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

QStringList tabOrder(QWidget *from, int steps)
{
    QStringList names {QApplication::focusWidget()->objectName()};
    for (int i = 0; i < steps; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *focus = QApplication::focusWidget();
        // An editable list takes the focus in its edit field.
        if (focus && focus->parentWidget() != from)
            focus = focus->parentWidget();
        names << (focus ? focus->objectName() : QString());
    }
    return names;
}

} // namespace

class TestConsole : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Look::install(); }

    void loadsAtFirstBasicRow();
    void tabOrderAndLook();

    void expandPick_data();
    void expandPick();
    void expandPickByKeyboardAndMouse();
    void basicAndReadPicksKeepFocus_data();
    void basicAndReadPicksKeepFocus();
    void hintsFollowPicksSendsAndSwitches();
    void typingInListEditFieldChangesNothing_data();
    void typingInListEditFieldChangesNothing();
    void typedRowTextNeverPicksTheRow_data();
    void typedRowTextNeverPicksTheRow();

    void commandLine_data();
    void commandLine();
    void enterAndEscapeNeitherSendNorClose();

    void consoleSendKeepsCurrentCommand();
    void sendRestartsReplyWindow();

    void closeThenReopenStartsAfresh_data();
    void closeThenReopenStartsAfresh();
    void commandTableWhileOpenKeepsState();
    void closingMainWindowClosesConsole();
    void destroyedMainWindowTakesConsole();
};

void TestConsole::loadsAtFirstBasicRow()
{
    Bench b;
    b.f.engine.setIntervals(Intervals::ReplyWindowMs, Intervals::DisplayClearMs);
    Form3 *console = b.open();
    QVERIFY(console);
    QVERIFY(console->isVisible());
    QCOMPARE(console->windowTitle(), QStringLiteral("Command List"));
    QVERIFY(!console->parentWidget());

    QVERIFY(console->Combo1->isVisible());
    QVERIFY(console->Combo2->isHidden());
    QVERIFY(console->Combo3->isHidden());
    QCOMPARE(console->Combo1->currentIndex(), 0);
    QCOMPARE(console->Text1->text(), QStringLiteral("C00[CR]"));
    QCOMPARE(console->ConsoleCommand, QByteArray("C00\r"));
    QVERIFY(console->Label2->isVisible());
    QVERIFY(console->Label1->isHidden());

    QCOMPARE(console->Combo1->count(), 63);
    QCOMPARE(console->Combo2->count(), 357);
    QCOMPARE(console->Combo3->count(), 105);
    QVERIFY(!console->Combo1->isEditable());
    QVERIFY(console->Combo2->isEditable());
    QVERIFY(console->Combo3->isEditable());

    // Outer height 2500 twips; the lists, all in one place, lie inside the client area.
    QCOMPARE(console->Height(), 2500);
    QCOMPARE(console->width(), Look::px(10005));
    QCOMPARE(console->minimumSize(), console->maximumSize());
    for (QComboBox *list : {console->Combo1, console->Combo2, console->Combo3}) {
        QCOMPARE(list->y(), Look::px(1560));
        QVERIFY2(list->geometry().bottom() < console->height(), qPrintable(list->objectName()));
    }

    QVERIFY(b.form.Frame15->isHidden());
    QCOMPARE(b.f.engine.timing().replyWindowMs, 5000);
    QCOMPARE(b.f.engine.timing().displayClearMs, 5500);
    QVERIFY(b.f.port.writes.isEmpty()); // opening sends nothing
}

void TestConsole::tabOrderAndLook()
{
    Bench b;
    Form3 *console = b.open();
    QVERIFY(Bench::activate(console));

    const Qt::WindowFlags flags = console->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));

    console->Combo1->setFocus();
    QCOMPARE(tabOrder(console, 7),
             QStringList({"Combo1", "Command1", "Command2", "Command3", "Text1", "Command4",
                          "Command5", "Combo1"}));
    click(console->Command4);
    console->Combo2->setFocus();
    QCOMPARE(tabOrder(console, 2), QStringList({"Combo2", "Command1", "Command2"}));

    for (QWidget *captioned : std::initializer_list<QWidget *> {
             console->Command1, console->Command2, console->Command3, console->Command4,
             console->Command5, console->Label1, console->Label2}) {
        QVERIFY(captioned->font().bold());
        QCOMPARE(captioned->font().pointSizeF(), 9.75);
    }
    QCOMPARE(console->Text1->font(), console->font());
    QCOMPARE(console->Combo2->font(), console->font());
    for (QLabel *hint : {console->Label1, console->Label2}) {
        QCOMPARE(hint->textFormat(), Qt::PlainText);
        QCOMPARE(hint->palette().color(QPalette::WindowText), QColor(Qt::red));
    }
}

void TestConsole::expandPick_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("hint");
    QTest::addColumn<QString>("line");

    QTest::newRow("placeholder") << 18 << true << "CF VOLUME 0%%[CR]";
    QTest::newRow("placeholder before a word") << 242 << true << "CF LOGO %%%% OFF[CR]";
    QTest::newRow("%1 in description, row 37") << 37 << true << "CF INPUT1 ANALOG[CR]";
    QTest::newRow("%1 in description, row 40") << 40 << true << "CF INPUT2 ANALOG[CR]";
    QTest::newRow("%1 in description, row 44") << 44 << true << "CF INPUT3 VIDEO[CR]";
    QTest::newRow("%1 in description, row 46") << 46 << true << "CF INPUT4 NETWORK[CR]";
    QTest::newRow("no %, row 0") << 0 << false << "CF KEYEMU RIGHT[CR]";
    QTest::newRow("no %, described") << 19 << false << "CF MUTE ON[CR]";
    QTest::newRow("no %, bare") << 1 << false << "CF KEYEMU LEFT[CR]";
}

void TestConsole::expandPick()
{
    QFETCH(int, row);
    QFETCH(bool, hint);
    QFETCH(QString, line);
    Bench b;
    Form3 *console = b.open();
    QVERIFY(Bench::activate(console));
    click(console->Command4);
    // Start with the hint shown, so that a pick without "%" has something to hide.
    console->Combo2->setCurrentIndex(97);
    QVERIFY(console->Label1->isVisible());
    console->Combo2->setFocus();
    QVERIFY(console->Combo2->hasFocus());

    console->Combo2->setCurrentIndex(row);
    QCOMPARE(console->Text1->text(), line);
    QCOMPARE(console->ConsoleCommand, line.chopped(4).toLatin1() + '\r');
    QCOMPARE(console->Label1->isVisible(), hint);
    QVERIFY(console->Label2->isVisible());
    QCOMPARE(console->Text1->hasFocus(), hint);
    QCOMPARE(console->Combo2->hasFocus(), !hint);
}

void TestConsole::expandPickByKeyboardAndMouse()
{
    Bench b;
    Form3 *console = b.open();
    QVERIFY(Bench::activate(console));
    click(console->Command4);

    console->Combo2->setCurrentIndex(17);
    console->Combo2->setFocus();
    QTest::keyClick(console->Combo2->lineEdit(), Qt::Key_Down);
    QCOMPARE(console->Combo2->currentIndex(), 18);
    QCOMPARE(console->Text1->text(), QStringLiteral("CF VOLUME 0%%[CR]"));
    QVERIFY(console->Text1->hasFocus());

    console->Combo2->showPopup();
    QAbstractItemView *view = console->Combo2->view();
    QTRY_VERIFY(view->isVisible());
    const QModelIndex row37 = view->model()->index(37, 0);
    view->scrollTo(row37);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(row37).center());
    QTRY_VERIFY(!view->isVisible());
    QCOMPARE(console->Combo2->currentIndex(), 37);
    QCOMPARE(console->Text1->text(), QStringLiteral("CF INPUT1 ANALOG[CR]"));
    QVERIFY(console->Label1->isVisible());
    QTRY_VERIFY(console->Text1->hasFocus());
}

void TestConsole::basicAndReadPicksKeepFocus_data()
{
    QTest::addColumn<bool>("basic");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("hintBefore");
    QTest::addColumn<QString>("line");

    QTest::newRow("basic, hint shown") << true << 57 << true << "CR0[CR]";
    QTest::newRow("basic, hint hidden") << true << 1 << false << "C01[CR]";
    QTest::newRow("read, hint shown") << false << 40 << true << "CR LAMPMODE[CR]";
    QTest::newRow("read, hint hidden") << false << 3 << false << "CR FREEZE[CR]";
}

void TestConsole::basicAndReadPicksKeepFocus()
{
    QFETCH(bool, basic);
    QFETCH(int, row);
    QFETCH(bool, hintBefore);
    QFETCH(QString, line);
    Bench b;
    Form3 *console = b.open();
    QVERIFY(Bench::activate(console));
    if (hintBefore) {
        click(console->Command4);
        console->Combo2->setCurrentIndex(18);
    }
    click(basic ? console->Command3 : console->Command5);
    QComboBox *list = basic ? console->Combo1 : console->Combo3;
    QVERIFY(list->isVisible());
    QCOMPARE(list->currentIndex(), 0);
    list->setFocus();

    // By keyboard, from the row above.
    list->setCurrentIndex(row - 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(list->currentIndex(), row);
    QCOMPARE(console->Text1->text(), line);
    QCOMPARE(console->ConsoleCommand, line.chopped(4).toLatin1() + '\r');
    QVERIFY(list->hasFocus());
    QCOMPARE(console->Label1->isVisible(), hintBefore);
    QVERIFY(console->Label2->isVisible());
}

void TestConsole::hintsFollowPicksSendsAndSwitches()
{
    Bench b;
    Form3 *console = b.open();
    QLabel *parameterHint = console->Label1;
    QLabel *crHint = console->Label2;

    click(console->Command4);
    console->Combo2->setCurrentIndex(18);
    QVERIFY(parameterHint->isVisible() && crHint->isVisible());
    click(console->Command3);
    QVERIFY(parameterHint->isVisible());
    console->Combo1->setCurrentIndex(5);
    QVERIFY(parameterHint->isVisible());
    click(console->Command5);
    QVERIFY(parameterHint->isVisible());
    QCOMPARE(console->Text1->text(), QStringLiteral("CR STATUS[CR]"));

    click(console->Command1);
    QVERIFY(parameterHint->isHidden() && crHint->isHidden());
    // SEND leaves the line as it is, so a second SEND repeats the command.
    QCOMPARE(console->Text1->text(), QStringLiteral("CR STATUS[CR]"));
    click(console->Command1);
    QCOMPARE(b.f.port.writes, QByteArrayList({"CR STATUS\r", "CR STATUS\r"}));

    console->Combo3->setCurrentIndex(2);
    QVERIFY(crHint->isVisible());
    QVERIFY(parameterHint->isHidden());

    // A list switch counts as a pick even when its list already stands at row 0.
    click(console->Command5);
    click(console->Command1);
    QVERIFY(crHint->isHidden());
    click(console->Command5);
    QCOMPARE(console->Combo3->currentIndex(), 0);
    QVERIFY(crHint->isVisible());

    click(console->Command4);
    console->Combo2->setCurrentIndex(18);
    QVERIFY(parameterHint->isVisible());
    click(console->Command4); // row 0 has no "%"
    QVERIFY(parameterHint->isHidden());
    QCOMPARE(console->Text1->text(), QStringLiteral("CF KEYEMU RIGHT[CR]"));
}

void TestConsole::typingInListEditFieldChangesNothing_data()
{
    QTest::addColumn<bool>("expand");
    QTest::newRow("expand") << true;
    QTest::newRow("expand read") << false;
}

void TestConsole::typingInListEditFieldChangesNothing()
{
    QFETCH(bool, expand);
    Bench b;
    Form3 *console = b.open();
    click(expand ? console->Command4 : console->Command5);
    QComboBox *list = expand ? console->Combo2 : console->Combo3;
    list->setCurrentIndex(18);
    const QString line = console->Text1->text();
    const QByteArray command = console->ConsoleCommand;
    const int rows = list->count();

    list->setFocus();
    list->lineEdit()->selectAll();
    QTest::keyClicks(list->lineEdit(), QStringLiteral("CF VOLUME 050"));
    QTest::keyClick(list->lineEdit(), Qt::Key_Return);
    QCOMPARE(list->currentIndex(), 18);
    QCOMPARE(list->count(), rows);
    QCOMPARE(console->Text1->text(), line);
    QCOMPARE(console->ConsoleCommand, command);
}

// A typed prefix, or a row's whole text, must not complete into a row, nor be picked by Enter or
// by the focus moving to SEND: SEND transmits the line that is shown.
void TestConsole::typedRowTextNeverPicksTheRow_data()
{
    QTest::addColumn<bool>("expand");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("enter");
    const QString wholeRow = QStringLiteral("CF MENU OFF[CR]");
    QTest::newRow("expand prefix, then SEND") << true << QStringLiteral("CF MENU O") << false;
    QTest::newRow("expand prefix, Enter, SEND") << true << QStringLiteral("CF MENU O") << true;
    QTest::newRow("expand whole row, then SEND") << true << wholeRow << false;
    QTest::newRow("expand whole row, Enter, SEND") << true << wholeRow << true;
    QTest::newRow("read prefix, then SEND") << false << QStringLiteral("CR SIG") << false;
    QTest::newRow("read prefix, Enter, SEND") << false << QStringLiteral("CR SIG") << true;
}

void TestConsole::typedRowTextNeverPicksTheRow()
{
    QFETCH(bool, expand);
    QFETCH(QString, typed);
    QFETCH(bool, enter);
    Bench b;
    Form3 *console = b.open();
    QVERIFY(Bench::activate(console));
    click(expand ? console->Command4 : console->Command5);
    QComboBox *list = expand ? console->Combo2 : console->Combo3;
    list->setCurrentIndex(18);
    const QByteArray command = console->ConsoleCommand;

    list->setFocus();
    list->lineEdit()->selectAll();
    QTest::keyClicks(list->lineEdit(), typed);
    QCOMPARE(list->lineEdit()->text(), typed);
    if (enter)
        QTest::keyClick(list->lineEdit(), Qt::Key_Return);
    console->Command1->setFocus(Qt::TabFocusReason);
    click(console->Command1);
    QCOMPARE(list->currentIndex(), 18);
    QCOMPARE(console->ConsoleCommand, command);
    QCOMPARE(b.lastWrite(), command);
}

void TestConsole::commandLine_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("backspaces");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("sent");

    QTest::newRow("text after [CR] is ignored") << "C00[CR]" << 7 << 0 << "junk"
                                                << "C00[CR]junk" << QByteArray("C00\r");
    QTest::newRow("deleting [CR] makes the whole line the command")
        << "C00[CR]" << 7 << 4 << " 1"
        << "C00 1" << QByteArray("C00 1\r");
    QTest::newRow("[ inside the command cuts it")
        << "CF VOLUME 0%%[CR]" << 9 << 0 << "["
        << "CF VOLUME[ 0%%[CR]" << QByteArray("CF VOLUME\r");
    QTest::newRow("leading [ leaves a lone CR") << "C00[CR]" << 0 << 0 << "["
                                                << "[C00[CR]" << QByteArray("\r");
    QTest::newRow("empty line sends a lone CR") << "C00[CR]" << 7 << 7 << ""
                                                << "" << QByteArray("\r");
    QTest::newRow("digits over placeholders")
        << "CF VOLUME 0%%[CR]" << 13 << 2 << "50"
        << "CF VOLUME 050[CR]" << QByteArray("CF VOLUME 050\r");
    QTest::newRow("placeholders sent as they stand")
        << "CF VOLUME 0%%[CR]" << 0 << 0 << ""
        << "CF VOLUME 0%%[CR]" << QByteArray("CF VOLUME 0%%\r");
    QTest::newRow("blanks are not trimmed") << "CR0[CR]" << 0 << 0 << " "
                                            << " CR0[CR]" << QByteArray(" CR0\r");
}

void TestConsole::commandLine()
{
    QFETCH(QString, start);
    QFETCH(int, cursor);
    QFETCH(int, backspaces);
    QFETCH(QString, typed);
    QFETCH(QString, line);
    QFETCH(QByteArray, sent);
    Bench b;
    Form3 *console = b.open();
    QLineEdit *text1 = console->Text1;
    text1->setText(start);
    text1->setFocus();
    text1->setCursorPosition(cursor);
    for (int i = 0; i < backspaces; ++i)
        QTest::keyClick(text1, Qt::Key_Backspace);
    QTest::keyClicks(text1, typed);

    // The line is never rewritten under the operator's hands.
    QCOMPARE(text1->text(), line);
    QCOMPARE(text1->cursorPosition(), cursor - backspaces + typed.size());
    QCOMPARE(console->ConsoleCommand, sent);
    click(console->Command1);
    QCOMPARE(b.f.port.writes, QByteArrayList({sent}));
    QCOMPARE(text1->text(), line);

    // Still usable afterwards.
    click(console->Command3);
    click(console->Command1);
    QCOMPARE(b.lastWrite(), QByteArray("C00\r"));
}

void TestConsole::enterAndEscapeNeitherSendNorClose()
{
    Bench b;
    Form3 *console = b.open();
    QVERIFY(Bench::activate(console));
    for (QWidget *focus :
         std::initializer_list<QWidget *> {console->Text1, console->Command1, console->Command2}) {
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Return);
        QTest::keyClick(focus, Qt::Key_Enter);
        QTest::keyClick(focus, Qt::Key_Escape);
    }
    QVERIFY(b.f.port.writes.isEmpty());
    QCOMPARE(Form3::openInstance(), console);
    QVERIFY(console->isVisible());
}

void TestConsole::consoleSendKeepsCurrentCommand()
{
    Bench b;
    b.f.click("CR0");
    Form3 *console = b.open();
    click(console->Command1);
    QCOMPARE(b.lastWrite(), QByteArray("C00\r"));
    QCOMPARE(b.f.engine.currentCommand(), QByteArray("CR0\r"));
    QCOMPARE(b.form.Label11->text(), QStringLiteral(" C 0 0  [CR] "));

    // The answer is decoded against the panel's last command, behind the hidden STATUS frame.
    b.f.receive("80\r");
    QCOMPARE(b.form.Label12->text(), QStringLiteral(" 8 0  [CR] "));
    QCOMPARE(b.form.Label25->text(), QStringLiteral(" Stand by"));
    QVERIFY(b.form.Frame15->isHidden());
}

void TestConsole::sendRestartsReplyWindow()
{
    Bench b;
    Form3 *console = b.open();
    b.f.click("C00");
    b.f.clock.advance(3000);
    click(console->Command1);
    QVERIFY(b.f.engine.timing().replyWindowOpen && b.f.engine.timing().displayClearPending);

    b.f.clock.advance(4999);
    QCOMPARE(b.form.Label12->text(), QString());
    QCOMPARE(b.form.Label11->text(), QStringLiteral(" C 0 0  [CR] "));
    b.f.clock.advance(1);
    QCOMPARE(b.form.Label12->text(), QStringLiteral(" X X X X"));
    b.f.clock.advance(499);
    QCOMPARE(b.form.Label12->text(), QStringLiteral(" X X X X"));
    b.f.clock.advance(1);
    QCOMPARE(b.form.Label12->text(), QString());
    QCOMPARE(b.form.Label11->text(), QString());
}

void TestConsole::closeThenReopenStartsAfresh_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("CLOSE") << false;
    QTest::newRow("title-bar close box") << true;
}

void TestConsole::closeThenReopenStartsAfresh()
{
    QFETCH(bool, closeBox);
    Bench b;
    QPointer<Form3> console = b.open();
    click(console->Command4);
    console->Combo2->setCurrentIndex(18);
    QTest::keyClicks(console->Text1, QStringLiteral("7"));

    if (closeBox)
        console->windowHandle()->close();
    else
        click(console->Command2);
    QCOMPARE(Form3::openInstance(), nullptr);
    QTRY_VERIFY(!console);
    QVERIFY(b.form.isVisible());
    QTRY_VERIFY(b.form.isActiveWindow());
    QVERIFY(b.form.Frame15->isVisible());
    QCOMPARE(b.f.engine.timing().replyWindowMs, 1000);
    QCOMPARE(b.f.engine.timing().displayClearMs, 1200);

    Form3 *again = b.open();
    QVERIFY(again);
    QVERIFY(again->Combo1->isVisible() && again->Combo2->isHidden());
    QCOMPARE(again->Combo1->currentIndex(), 0);
    QCOMPARE(again->Text1->text(), QStringLiteral("C00[CR]"));
    QCOMPARE(again->ConsoleCommand, QByteArray("C00\r"));
    QVERIFY(again->Label1->isHidden());
    QVERIFY(again->Label2->isVisible());
    QVERIFY(b.form.Frame15->isHidden());
    QCOMPARE(b.f.engine.timing().replyWindowMs, 5000);
    QCOMPARE(b.f.engine.timing().displayClearMs, 5500);
}

void TestConsole::commandTableWhileOpenKeepsState()
{
    Bench b;
    Form3 *console = b.open();
    click(console->Command4);
    console->Combo2->setCurrentIndex(18);
    console->Text1->setCursorPosition(13);
    QTest::keyClicks(console->Text1, QStringLiteral("5"));
    // A hold released meanwhile leaves its own intervals behind.
    b.f.engine.setIntervals(Intervals::AfterHoldReplyWindowMs, Intervals::AfterHoldDisplayClearMs);
    b.form.Frame15->show();

    QCOMPARE(b.open(), console);
    QVERIFY(console->Combo2->isVisible());
    QCOMPARE(console->Combo2->currentIndex(), 18);
    QCOMPARE(console->Text1->text(), QStringLiteral("CF VOLUME 0%%5[CR]"));
    QCOMPARE(console->ConsoleCommand, QByteArray("CF VOLUME 0%%5\r"));
    QVERIFY(console->Label1->isVisible());
    QVERIFY(b.form.Frame15->isHidden());
    QCOMPARE(b.f.engine.timing().replyWindowMs, 5000);
    QCOMPARE(b.f.engine.timing().displayClearMs, 5500);
}

void TestConsole::closingMainWindowClosesConsole()
{
    Bench b;
    b.form.show();
    QPointer<Form3> console = b.open();
    b.form.windowHandle()->close();
    QCOMPARE(Form3::openInstance(), nullptr);
    QTRY_VERIFY(!console);
    QVERIFY(!b.form.isVisible()); // not shown again on the way out
    QVERIFY(!b.f.port.isOpen());
}

void TestConsole::destroyedMainWindowTakesConsole()
{
    ConfigFolder config;
    EngineFixture f;
    auto *form = new Form1(&f.engine);
    Console::openFromCommandTable(form);
    QPointer<Form3> console = Form3::openInstance();
    QVERIFY(console);
    delete form;
    QVERIFY(!console);
    QCOMPARE(Form3::openInstance(), nullptr);
}

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
