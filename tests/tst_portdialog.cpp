#include "app/form1.h"
#include "app/portdialog.h"
#include "engine/engine.h"
#include "link/portmap.h"
#include "engine/protocol.h"
#include "panel/look.h"
#include "settings/form2.h"
#include "settings/store.h"
#include "support/clicks.h"
#include "support/configfolder.h"
#include "support/fakeserialport.h"
#include "support/manualclock.h"
#include "support/messageboxes.h"
#include "support/modal.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <QTimer>

namespace {

const QString Retry = QStringLiteral("Error|Retry Comport|!");

// A port that starts closed, a settings folder that already holds an earlier choice.
struct Rig
{
    Rig() { config.writeSettingsFile("[StartUP]\nComPort=4\nBaudRate=192\n"); }
    QString stored() const
    {
        return Store::getSetting(Store::ComPortKey, "-") + ','
            + Store::getSetting(Store::BaudRateKey, "-");
    }
    ConfigFolder config;
    FakeSerialPort port;
    ManualClock clock;
    Engine engine {&port, clock};
    MessageBoxes boxes;
};

template<class T = QWidget> T *child(const QWidget *dialog, const QString &name)
{
    return dialog->findChild<T *>(name);
}

QString checkedIn(const QWidget *dialog, const QString &box)
{
    for (auto *option : child(dialog, box)->findChildren<QRadioButton *>()) {
        if (option->isChecked())
            return option->objectName();
    }
    return {};
}

} // namespace

class TestPortDialog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Look::install(); }
    void layoutAndFocus();
    void captionsSitOnTheBoxEdges_data();
    void captionsSitOnTheBoxEdges();
    void loadShowsCurrentChoice_data();
    void loadShowsCurrentChoice();
    void otherBox_data();
    void otherBox();
    void ok_data();
    void ok();
    void cancel_data();
    void cancel();
    void comButtonKeepsOpenDialogAndRestoresPortInUse();
    void startUpFallbackIsModal();
    void closedDialogForgetsUnconfirmedChoice_data();
    void closedDialogForgetsUnconfirmedChoice();
    void choiceThatCannotBeStoredIsTold();
    void portOptionsSayWhatTheyStandFor();
};

void TestPortDialog::layoutAndFocus()
{
    Rig r;
    Form2 dialog(&r.engine, PortChoice());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("  COM PORT"));
    QCOMPARE(dialog.size(), QSize(207, 267));
    QVERIFY(
        !(dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(dialog.windowFlags() & Qt::WindowCloseButtonHint);

    for (const QWidget *widget : dialog.findChildren<QWidget *>()) {
        // Every control lies wholly inside its box or window, its caption not cut off.
        QVERIFY2(widget->parentWidget()->rect().contains(widget->geometry()),
                 qPrintable(widget->objectName()));
        if (auto *option = qobject_cast<const QRadioButton *>(widget))
            QVERIFY2(option->sizeHint().width() <= option->width(),
                     qPrintable(QStringLiteral("%1 needs %2 px, has %3")
                                    .arg(option->text())
                                    .arg(option->sizeHint().width())
                                    .arg(option->width())));
        if (auto *button = qobject_cast<const QPushButton *>(widget))
            QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) < button->width(),
                     qPrintable(button->text()));
    }
    QStringList chain;
    for (QWidget *widget = dialog.nextInFocusChain(); widget != &dialog;
         widget = widget->nextInFocusChain()) {
        if (widget->focusPolicy() & Qt::TabFocus)
            chain << widget->objectName();
    }
    QCOMPARE(chain.join(' '),
             QStringLiteral("Text1 Option1 Option2 Option3 Option4 Option5 Option6 Option7 "
                            "Command1 Command2"));

    QCOMPARE(QApplication::focusWidget(), child(&dialog, "Text1"));
    QTest::keyClicks(QApplication::focusWidget(), "7"); // replaces the selected "0"
    QCOMPARE(child<QLineEdit>(&dialog, "Text1")->text(), QStringLiteral("7"));
    QCOMPARE(dialog.choice().portNumber(), 7);
}

void TestPortDialog::captionsSitOnTheBoxEdges_data()
{
    QTest::addColumn<QString>("box");
    QTest::newRow("Baud Rate") << QStringLiteral("Frame1");
    QTest::newRow("Com Port") << QStringLiteral("Frame2");
}

// A box's caption sits on its top edge, the edge running through the middle of the caption's
// text; the options, placed from the box's top-left corner, lie below the edge. The edge is found
// where it is drawn, right of the caption: the rows from the top down that differ from the
// window's background.
void TestPortDialog::captionsSitOnTheBoxEdges()
{
    QFETCH(QString, box);
    Rig r;
    Form2 dialog(&r.engine, PortChoice());
    auto *frame = child<QGroupBox>(&dialog, box);
    QVERIFY(frame);
    QStyleOptionGroupBox option;
    option.initFrom(frame);
    option.text = frame->title();
    option.textAlignment = frame->alignment();
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    const QRect caption = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                         QStyle::SC_GroupBoxLabel, frame);
    QVERIFY(caption.height() > 0);

    QImage image(frame->size(), QImage::Format_RGB32);
    const QRgb background = frame->palette().color(QPalette::Window).rgb();
    image.fill(background);
    frame->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    const int x = frame->width() - 6;
    QVERIFY(x > caption.right() + 16); // clear of the caption, wherever along the edge it sits
    int edge = 0;
    while (edge < image.height() && image.pixel(x, edge) == background)
        ++edge;
    int below = edge;
    while (below < image.height() && image.pixel(x, below) != background)
        ++below;
    QVERIFY2(qAbs(edge - caption.center().y()) <= 1,
             qPrintable(QStringLiteral("edge at %1, caption's middle at %2")
                            .arg(edge)
                            .arg(caption.center().y())));
    for (const QWidget *widget : frame->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        QVERIFY2(widget->y() >= below,
                 qPrintable(QStringLiteral("%1 at %2, the edge down to %3")
                                .arg(widget->objectName())
                                .arg(widget->y())
                                .arg(below)));
}

void TestPortDialog::loadShowsCurrentChoice_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("portOption");
    QTest::addColumn<QString>("baudOption");
    QTest::addColumn<int>("baudAfter");
    QTest::newRow("COM1 at 9600") << 1 << 96 << "Option3"
                                  << "Option1" << 96;
    QTest::newRow("COM5 at 19200") << 5 << 192 << "Option7"
                                   << "Option2" << 192;
    QTest::newRow("port 9, code 7") << 9 << 7 << ""
                                    << "Option2" << 192;
}

void TestPortDialog::loadShowsCurrentChoice()
{
    QFETCH(int, port);
    QFETCH(int, baud);
    QFETCH(QString, portOption);
    QFETCH(QString, baudOption);
    QFETCH(int, baudAfter);
    Rig r;
    Form2 dialog(&r.engine, PortChoice(port, baud));
    QCOMPARE(checkedIn(&dialog, "Frame2"), portOption);
    QCOMPARE(checkedIn(&dialog, "Frame1"), baudOption);
    QCOMPARE(dialog.choice().speedCode(), baudAfter);
    QCOMPARE(dialog.choice().lineSettings().text(), baudAfter == 96 ? "9600,N,8,1" : "19200,N,8,1");
}

void TestPortDialog::otherBox_data()
{
    QTest::addColumn<bool>("paste");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("shown");
    QTest::newRow("9 after COM2: last wins") << false << "9" << 9 << "9";
    QTest::newRow("15") << false << "15" << 15 << "15";
    QTest::newRow("leading zero") << true << "07" << 7 << "07";
    QTest::newRow("typed 16: the 1 counted") << false << "16" << 1 << "0";
    QTest::newRow("pasted 16") << true << "16" << 2 << "0";
    QTest::newRow("0") << false << "0" << 2 << "0";
    QTest::newRow("emptied") << true << "" << 2 << "0";
    QTest::newRow("minus") << false << "-" << 2 << "0";
    QTest::newRow("blank and digit") << true << " 7" << 2 << "0";
    QTest::newRow("beyond int") << true << "99999999999" << 2 << "0";
    QTest::newRow("other script seven") << true << QString(QChar(0x0667)) << 2 << "0";
}

void TestPortDialog::otherBox()
{
    QFETCH(bool, paste);
    QFETCH(QString, entry);
    QFETCH(int, port);
    QFETCH(QString, shown);
    Rig r;
    Form2 dialog(&r.engine, PortChoice());
    dialog.show();
    clickControl(&dialog, "Option4");
    QCOMPARE(dialog.choice().portNumber(), 2);
    auto *text1 = child<QLineEdit>(&dialog, "Text1");
    if (paste)
        text1->insert(entry); // over the selected "0"
    else
        QTest::keyClicks(text1, entry);
    QCOMPARE(dialog.choice().portNumber(), port);
    QCOMPARE(text1->text(), shown);
    QCOMPARE(checkedIn(&dialog, "Frame2"), QStringLiteral("Option4"));
    if (shown == "0") { // the next digit replaces the "0" again
        QTest::keyClicks(text1, "3");
        QCOMPARE(text1->text(), QStringLiteral("3"));
        QCOMPARE(dialog.choice().portNumber(), 3);
    }
}

void TestPortDialog::ok_data()
{
    QTest::addColumn<int>("start"); // the port in use when the dialog loads
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("refuse");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("stored"); // "4,192" was there before
    QTest::addColumn<QString>("text1");
    const QStringList none;
    QTest::newRow("port 7 at 9600") << 0 << QStringList {"Option1"} << "7" << false << "9600,N,8,1"
                                    << "7,96"
                                    << "0";
    QTest::newRow("COM5, speed left")
        << 0 << QStringList {"Option7"} << "" << false << "19200,N,8,1"
        << "5,192"
        << "0";
    QTest::newRow("nothing chosen") << 0 << none << "" << false << "19200,N,8,1"
                                    << "4,192"
                                    << "0";
    QTest::newRow("port refused") << 0 << QStringList {"Option1"} << "3" << true << "9600,N,8,1"
                                  << "4,192"
                                  << "3";
    QTest::newRow("stored 16 left unchanged") << 16 << none << "" << false << "19200,N,8,1"
                                              << "4,192"
                                              << "0";
}

void TestPortDialog::ok()
{
    QFETCH(int, start);
    QFETCH(QStringList, clicks);
    QFETCH(QString, typed);
    QFETCH(bool, refuse);
    QFETCH(QString, settings);
    QFETCH(QString, stored);
    QFETCH(QString, text1);
    Rig r;
    r.port.refuseOpen = refuse;
    Form2 dialog(&r.engine, PortChoice(start));
    dialog.show();
    for (const QString &name : clicks)
        clickControl(&dialog, name);
    QTest::keyClicks(child(&dialog, "Text1"), typed);
    clickControl(&dialog, "Command1");

    const bool opens = stored != "4,192";
    QCOMPARE(dialog.choice().lineSettings().text(), settings);
    QCOMPARE(r.port.isOpen(), opens);
    if (opens)
        QCOMPARE(r.port.openedPort, dialog.choice().portNumber());
    QCOMPARE(r.port.openAttempts, opens || refuse ? 1 : 0); // no port 16 is ever tried
    QCOMPARE(r.stored(), stored);
    QCOMPARE(child<QLineEdit>(&dialog, "Text1")->text(), text1);
    QCOMPARE(dialog.isVisible(), !opens);
    QCOMPARE(r.boxes.seen, opens ? QStringList() : QStringList {Retry});
}

void TestPortDialog::cancel_data()
{
    QTest::addColumn<int>("savedPort");
    QTest::addColumn<int>("savedBaud");
    QTest::addColumn<bool>("refuse");
    QTest::addColumn<bool>("wasOpen");
    QTest::addColumn<QString>("opened"); // settings of the opening, or "" for none
    QTest::addColumn<QString>("baudOption");
    QTest::addColumn<bool>("stays");
    QTest::newRow("COM3 at 19200") << 3 << 192 << false << false << "19200,N,8,1"
                                   << "Option2" << false;
    QTest::newRow("COM2, code 0") << 2 << 0 << false << false << "19200,N,8,1"
                                  << "Option2" << false;
    QTest::newRow("COM3 at 9600 refused") << 3 << 96 << true << false << ""
                                          << "Option1" << true;
    QTest::newRow("nothing remembered") << 0 << 0 << false << false << ""
                                        << "Option1" << true;
    QTest::newRow("nothing remembered, port open") << 0 << 0 << false << true << ""
                                                   << "Option1" << false;
}

void TestPortDialog::cancel()
{
    QFETCH(int, savedPort);
    QFETCH(int, savedBaud);
    QFETCH(bool, refuse);
    QFETCH(bool, wasOpen);
    QFETCH(QString, opened);
    QFETCH(QString, baudOption);
    QFETCH(bool, stays);
    Rig r;
    Form2 dialog(&r.engine, PortChoice(savedPort, savedBaud));
    dialog.show();
    clickControl(&dialog, "Option1");
    clickControl(&dialog, "Option7");
    if (wasOpen)
        r.engine.open(PortChoice(1, PortChoice::Baud9600Code));
    r.port.refuseOpen = refuse;
    r.port.openAttempts = 0;
    clickControl(&dialog, "Command2");

    QCOMPARE(dialog.choice().portNumber(), savedPort);
    QCOMPARE(r.port.isOpen(), !opened.isEmpty());
    QCOMPARE(r.port.openAttempts, savedPort != 0 ? 1 : 0);
    if (!opened.isEmpty())
        QCOMPARE(r.port.openedSettings, opened);
    QCOMPARE(checkedIn(&dialog, "Frame1"), baudOption);
    QCOMPARE(dialog.isVisible(), stays);
    QCOMPARE(r.boxes.seen, opened.isEmpty() ? QStringList {Retry} : QStringList());
    QCOMPARE(r.stored(), QStringLiteral("4,192"));
}

void TestPortDialog::comButtonKeepsOpenDialogAndRestoresPortInUse()
{
    Rig r;
    Form1 form(&r.engine);
    QVERIFY(r.engine.open(PortChoice(3, PortChoice::Baud19200Code)));
    form.setHeight(Form1::ExpandedHeightTwips);
    form.show();

    QCOMPARE(form.button(33)->text(), QStringLiteral("COM"));
    QTest::mouseClick(form.button(33), Qt::LeftButton);
    QVERIFY(!r.port.isOpen());
    auto *dialog = form.findChild<Form2 *>();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(checkedIn(dialog, "Frame2"), QStringLiteral("Option5"));
    clickControl(dialog, "Option7");
    clickControl(dialog, "Option1");
    // Pressed again: the same dialog comes forward with the unconfirmed COM5 at 9600.
    PortDialog::openFromComButton(&form);
    QCOMPARE(form.findChildren<Form2 *>(), QList<Form2 *> {dialog});
    QCOMPARE(checkedIn(dialog, "Frame2"), QStringLiteral("Option7"));
    clickControl(dialog, "Command2");
    QCOMPARE(r.port.openedPort, 3);
    QCOMPARE(r.port.openedSettings, QStringLiteral("19200,N,8,1"));
    QTRY_VERIFY(form.findChildren<Form2 *>().isEmpty()); // discarded once closed

    // Closing from the title bar changes nothing; a fresh dialog shows "0" again.
    PortDialog::openFromComButton(&form);
    dialog = form.findChild<Form2 *>();
    QTest::keyClicks(child(dialog, "Text1"), "9");
    dialog->close();
    QVERIFY(!r.port.isOpen());
    QCOMPARE(form.portChoice().portNumber(), 3);
    QTRY_VERIFY(form.findChildren<Form2 *>().isEmpty());
    PortDialog::openFromComButton(&form);
    QPointer<Form2> last = form.findChild<Form2 *>();
    QCOMPARE(child<QLineEdit>(last, "Text1")->text(), QStringLiteral("0"));
    // The main window takes the dialog with it.
    form.close();
    QTRY_VERIFY(!last);
    QCOMPARE(r.stored(), QStringLiteral("4,192"));
    QVERIFY(r.boxes.seen.isEmpty());
}

void TestPortDialog::startUpFallbackIsModal()
{
    ConfigFolder empty;
    FakeSerialPort port;
    ManualClock clock;
    Engine engine(&port, clock);
    MessageBoxes boxes;
    Form1 form(&engine);
    QVERIFY(!form.Form_Load());

    const bool modal = whenModal<Form2>(
        [&] { PortDialog::runAtStartup(&form); },
        [&](Form2 *dialog) {
            clickControl(dialog, "Command2"); // nothing remembered: the dialog stays
            clickControl(dialog, "Command1"); // still nothing chosen
            QTest::keyClicks(child(dialog, "Text1"), "7");
            clickControl(dialog, "Option1");
            clickControl(dialog, "Command1");
            if (dialog->isVisible())
                dialog->close();
        });
    QVERIFY2(modal, "no modal port dialog at start-up");
    QCOMPARE(boxes.seen, QStringList({Retry, Retry}));
    QVERIFY(port.isOpen());
    QCOMPARE(port.openedPort, 7);
    QCOMPARE(port.openedSettings, QStringLiteral("9600,N,8,1"));
    QCOMPARE(Store::getSetting(Store::ComPortKey, "-"), QStringLiteral("7"));
    QCOMPARE(Store::getSetting(Store::BaudRateKey, "-"), QStringLiteral("96"));
    QVERIFY(form.isVisible());
    // The start-up that fell back never set the short reply window.
    QCOMPARE(engine.timing().replyWindowMs, Intervals::InitialReplyWindowMs);
    QCOMPARE(engine.timing().displayClearMs, Intervals::InitialDisplayClearMs);
}

// A new choice, then the dialog closed without OK: COM then Cancel reopens the port that was in
// use, not the choice.
void TestPortDialog::closedDialogForgetsUnconfirmedChoice_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("title bar") << false;
    QTest::newRow("Escape") << true;
}

void TestPortDialog::closedDialogForgetsUnconfirmedChoice()
{
    QFETCH(bool, escape);
    Rig r;
    Form1 form(&r.engine);
    QVERIFY(r.engine.open(PortChoice(3, PortChoice::Baud19200Code)));
    form.show();

    PortDialog::openFromComButton(&form);
    QPointer<Form2> dialog = form.findChild<Form2 *>();
    clickControl(dialog, "Option7");
    clickControl(dialog, "Option1");
    if (escape)
        QTest::keyClick(dialog, Qt::Key_Escape);
    else
        dialog->close();
    QTRY_VERIFY(!dialog);
    QCOMPARE(form.portChoice().portNumber(), 3);
    QCOMPARE(form.portChoice().speedCode(), int(PortChoice::Baud19200Code));

    PortDialog::openFromComButton(&form);
    dialog = form.findChild<Form2 *>();
    QCOMPARE(checkedIn(dialog, "Frame2"), QStringLiteral("Option5"));
    clickControl(dialog, "Command2");
    QCOMPARE(r.port.openedPort, 3);
    QCOMPARE(r.port.openedSettings, QStringLiteral("19200,N,8,1"));
    QVERIFY(r.boxes.seen.isEmpty());
    QCOMPARE(r.stored(), QStringLiteral("4,192"));
}

// A directory where the settings file belongs: root could write into a read-only folder, not this.
void TestPortDialog::choiceThatCannotBeStoredIsTold()
{
    ConfigFolder config;
    QVERIFY(QDir().mkpath(config.settingsFile()));
    FakeSerialPort port;
    ManualClock clock;
    Engine engine(&port, clock);
    MessageBoxes boxes;
    Form1 form(&engine);
    form.show();
    PortDialog::openFromComButton(&form);
    QPointer<Form2> dialog = form.findChild<Form2 *>();
    QTest::keyClicks(child(dialog, "Text1"), "6");
    clickControl(dialog, "Command1");
    QVERIFY(port.isOpen());
    QCOMPARE(port.openedPort, 6);
    QTRY_VERIFY(!dialog);
    QCOMPARE(boxes.seen.size(), 1);
    QVERIFY2(boxes.seen.first().startsWith(
                 QStringLiteral("Error|The port is open, but the choice could not be stored")),
             qPrintable(boxes.seen.first()));
    QVERIFY(boxes.seen.first().contains(QDir::toNativeSeparators(config.settingsFile())));
    QVERIFY(boxes.seen.first().endsWith(QLatin1String("|!")));
}

// Hovering COM3 tells a technician which adapter or address it is; nothing else changes.
void TestPortDialog::portOptionsSayWhatTheyStandFor()
{
    Rig r;
    const auto entry = [](int number, const QByteArray &target) {
        ConfigFolder::mapEntry(number, target + '\n');
    };
#ifdef Q_OS_WIN
    const QByteArray two = "COM42", five = "COM45", six = "COM46";
#else
    const QByteArray two = "/dev/ttyUSB-not-plugged", five = "/dev/ttyUSB-five",
                     six = "/dev/ttyUSB-six";
#endif
    entry(2, two);
    entry(3, "rfc2217://10.0.4.21:4001");
    entry(4, "ssh://h:22");
    entry(5, five);
    entry(6, six);
    entry(9, "tcp://[fd00::9]:23");
    Form1 form(&r.engine);
    Form2 dialog(&r.engine, PortChoice(), &form);
    QCOMPARE(child(&dialog, "Option4")->toolTip(), two + " (not present)");
    QCOMPARE(child(&dialog, "Option5")->toolTip(), QStringLiteral("rfc2217://10.0.4.21:4001"));
    QVERIFY(child(&dialog, "Option6")->toolTip().startsWith(QLatin1String("unusable entry: ")));
    QCOMPARE(child(&dialog, "Option7")->toolTip(), five + " (not present)");
    const QStringList other = child(&dialog, "Text1")->toolTip().split(QLatin1Char('\n'));
    QCOMPARE(other.size(), 10);
    QCOMPARE(other.first(), "COM6: " + six + " (not present)");
    QCOMPARE(other.at(3), QStringLiteral("COM9: tcp://[fd00::9]:23"));
    QVERIFY(other.last().startsWith(QLatin1String("COM15: ")));
    QCOMPARE(child(&dialog, "Label1")->toolTip(), child(&dialog, "Text1")->toolTip());
    QCOMPARE(child(&dialog, "Option5")->geometry(), Look::twips(180, 900, 1095, 255));
}

QTEST_MAIN(TestPortDialog)
#include "tst_portdialog.moc"
