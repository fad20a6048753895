#include "app/console.h"
#include "app/form1.h"
#include "app/program.h"
#include "console/form3.h"
#include "engine/engine.h"
#include "link/linkport.h"
#include "engine/timer.h"
#include "panel/look.h"
#include "support/configfolder.h"
#include "tools/pty/pty.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

// The console on the real program's parts and a pseudo-terminal linked as COM3.
class TestConsoleLine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Look::install(); }
    void sendWritesTheLineAndShowsTheAnswer();
};

void TestConsoleLine::sendWritesTheLineAndShowsTheAnswer()
{
    ConfigFolder config;
    Pty pty;
    QVERIFY(pty.isValid());
    QVERIFY(pty.linkAs(3));
    config.writeSettingsFile("[StartUP]\nComPort=3\nBaudRate=96\n");
    Program program;
    Form1 &form = program.form();
    QVERIFY(form.Form_Load());

    Console::openFromCommandTable(&form);
    Form3 *console = Form3::openInstance();
    QVERIFY(console);
    QTest::mouseClick(console->Command4, Qt::LeftButton);
    console->Combo2->setCurrentIndex(18);
    QCOMPARE(console->Text1->text(), QStringLiteral("CF VOLUME 0%%[CR]"));
    console->Text1->setCursorPosition(13);
    QTest::keyClick(console->Text1, Qt::Key_Backspace);
    QTest::keyClick(console->Text1, Qt::Key_Backspace);
    QTest::keyClicks(console->Text1, QStringLiteral("50"));
    QTest::mouseClick(console->Command1, Qt::LeftButton);

    QCOMPARE(pty.read(14, 1000), QByteArray("CF VOLUME 050\r"));
    QCOMPARE(pty.read(1, 100), QByteArray());
    QCOMPARE(form.Label11->text(), QStringLiteral(" C F _ V O L U M E _ 0 5 0  [CR] "));

    QVERIFY(pty.write(QByteArray(1, '\x06')));
    QTRY_COMPARE(form.Label12->text(), QStringLiteral("  [ACK] "));
    // The console's display clear is 5.5 s: the answer outlives the panel's 1.2 s.
    QTest::qWait(1500);
    QCOMPARE(form.Label12->text(), QStringLiteral("  [ACK] "));
    QCOMPARE(form.Label11->text(), QStringLiteral(" C F _ V O L U M E _ 0 5 0  [CR] "));
    console->close();
}

QTEST_MAIN(TestConsoleLine)
#include "tst_consoleline.moc"
