#include "link/capture.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

using namespace Capture;

namespace {

const QByteArray GoodHeader = "# orva capture 1\n"
                              "# program orva-control\n"
                              "# version 2.1.0\n"
                              "# port COM3\n"
                              "# target /dev/ttyUSB0\n"
                              "# speed 19200\n"
                              "# start 2026-05-04T10:15:02.123+02:00\n";

// The example of docs/capture.md.
const QByteArray Example = GoodHeader
    + "0.000112 open\n"
      "0.000310 > CR0[CR]\n"
      "0.041877 < 80\n"
      "0.043102 < [CR]\n"
      "0.512000 close\n";

Event eventAt(qint64 micros, Event::Kind kind, const QByteArray &bytes = {})
{
    Event event;
    event.micros = micros;
    event.kind = kind;
    event.bytes = bytes;
    return event;
}

const Header AnyHeader {QStringLiteral("orva"),
                        QStringLiteral("2.1.0"),
                        QStringLiteral("COM1"),
                        QStringLiteral("/dev/ttyS0"),
                        19200,
                        {}};

QList<Session> readFile(const QString &path)
{
    Reader reader(path);
    const std::optional<QList<Session>> sessions = readAll(reader);
    if (!sessions)
        qWarning() << reader.error();
    return sessions.value_or(QList<Session>());
}

} // namespace

class TestCapture : public QObject
{
    Q_OBJECT

private slots:
    void layout();
    void roundTrip_data();
    void roundTrip();
    void appended();
    void badInput_data();
    void badInput();
    void unwritable_data();
    void unwritable();

private:
    QTemporaryDir m_dir;
};

// The documented example, written and read.
void TestCapture::layout()
{
    Header header {
        QStringLiteral("orva-control"),
        QStringLiteral("2.1.0"),
        QStringLiteral("COM3"),
        QStringLiteral("/dev/ttyUSB0"),
        19200,
        QDateTime::fromString(QStringLiteral("2026-05-04T10:15:02.123+02:00"), Qt::ISODateWithMs)};
    const QList<Event> events
        = {eventAt(112, Event::Opened), eventAt(310, Event::Sent, "CR0\r"),
           eventAt(41877, Event::Received, "80"), eventAt(43102, Event::Received, "\r"),
           eventAt(512000, Event::Closed)};
    QByteArray text = headerText(header);
    for (const Event &each : events)
        text += eventLine(each);
    QCOMPARE(text, Example);

    QBuffer buffer(&text);
    buffer.open(QIODevice::ReadOnly);
    Reader reader(&buffer, QStringLiteral("example"));
    const std::optional<QList<Session>> sessions = readAll(reader);
    QVERIFY2(sessions, qPrintable(reader.error()));
    QCOMPARE(sessions->size(), 1);
    QCOMPARE(sessions->first().header, header);
    QCOMPARE(sessions->first().events, events);
}

void TestCapture::roundTrip_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<QByteArray>("spelledAs"); // empty: not compared

    QByteArray everyByte;
    for (int byte = 0; byte < 256; ++byte)
        everyByte += char(byte);
    QTest::newRow("every byte in one chunk") << everyByte << QByteArray();
    QTest::newRow("a reply") << QByteArray("80\r") << QByteArray("80[CR]");
    QTest::newRow("named and hex")
        << QByteArray("\x06\n\x1b\x7f\xff", 5) << QByteArray("[ACK][LF][0x1B][0x7F][0xFF]");
    QTest::newRow("NUL") << QByteArray(1, '\0') << QByteArray("[0x00]");
    QTest::newRow("'[' before a name") << QByteArray("[CR]") << QByteArray("[0x5B]CR]");
    QTest::newRow("'[' before hex") << QByteArray("[0x41]") << QByteArray("[0x5B]0x41]");
    QTest::newRow("'[' twice, ']' alone") << QByteArray("[[]") << QByteArray("[0x5B][0x5B]]");
    QTest::newRow("spaces at both ends") << QByteArray(" CR0 ") << QByteArray(" CR0 ");
    QTest::newRow("a chunk longer than a line")
        << QByteArray(2 * MaxChunkBytes + 1, '\xff') << QByteArray();
}

void TestCapture::roundTrip()
{
    QFETCH(QByteArray, chunk);
    QFETCH(QByteArray, spelledAs);
    // Not the row's name: "NUL" names a device on Windows.
    static int row = 0;
    const QString path = m_dir.filePath(QStringLiteral("round-trip-%1").arg(++row));
    Writer writer;
    QVERIFY2(writer.open(path, AnyHeader), qPrintable(writer.error()));
    QVERIFY(writer.sent(chunk));
    QVERIFY(writer.received(chunk));

    const QList<Session> sessions = readFile(path);
    QCOMPARE(sessions.size(), 1);
    QByteArray sent, received;
    for (const Event &event : sessions[0].events)
        (event.kind == Event::Sent ? sent : received) += event.bytes;
    QCOMPARE(sent, chunk);
    QCOMPARE(received, chunk);
    const QByteArray spelledChunk = spelled(chunk);
    if (!spelledAs.isEmpty())
        QCOMPARE(spelledChunk, spelledAs);
    QVERIFY(std::all_of(spelledChunk.begin(), spelledChunk.end(),
                        [](char c) { return c >= 0x20 && c <= 0x7E; }));
}

// Two runs into one file; each line is on disk as soon as it is written.
void TestCapture::appended()
{
    const QString path = m_dir.filePath(QStringLiteral("appended"));
    Header first {QStringLiteral("orva"),
                  QStringLiteral("2.1.0"),
                  QStringLiteral("hall [B]"),
                  QStringLiteral("rfc2217://ds.example:4001"),
                  9600,
                  {}};
    Header second {QStringLiteral("virtual-projector"),
                   QStringLiteral("2.1.0"),
                   QStringLiteral("/dev/pts/7"),
                   QStringLiteral("/dev/pts/7"),
                   19200,
                   {}};
    const QString busy = QStringLiteral("Gerät belegt\n[busy]");
    {
        Writer writer;
        QVERIFY(writer.open(path, first));
        QVERIFY(writer.openFailed(busy));
        first = writer.header();
    }
    Writer writer;
    QVERIFY(writer.open(path, second));
    second = writer.header();
    QVERIFY(writer.opened());
    QVERIFY(writer.sent("CR0\r"));
    QVERIFY(writer.received("80"));
    QVERIFY(writer.received(""));
    QVERIFY(writer.received("\r"));
    QVERIFY(writer.lost(QStringLiteral("hung up")));

    const QList<Session> sessions = readFile(path);
    QCOMPARE(sessions.size(), 2);
    QCOMPARE(sessions[0].header, first);
    QCOMPARE(sessions[1].header, second);
    QVERIFY(qAbs(second.start.secsTo(QDateTime::currentDateTime())) < 60);
    QCOMPARE(sessions[0].events.size(), 1);
    QCOMPARE(sessions[0].events[0].kind, Event::OpenFailed);
    QCOMPARE(sessions[0].events[0].reason, busy);
    const QList<Event> &events = sessions[1].events;
    QCOMPARE(events.size(), 5);
    const Event::Kind kinds[]
        = {Event::Opened, Event::Sent, Event::Received, Event::Received, Event::Lost};
    const QByteArray bytes[] = {"", "CR0\r", "80", "\r", ""};
    for (int i = 0; i < events.size(); ++i) {
        QCOMPARE(events[i].kind, kinds[i]);
        QCOMPARE(events[i].bytes, bytes[i]);
        if (i > 0)
            QVERIFY(events[i].micros >= events[i - 1].micros);
    }
    QCOMPARE(events[4].reason, QStringLiteral("hung up"));
}

void TestCapture::badInput_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("problem");

    const QByteArray h = GoodHeader; // 7 lines
    QTest::newRow("bad time") << h + "1.5 > CR0\n" << 8 << "six decimals";
    QTest::newRow("time going back") << h + "2.000000 open\n1.000000 close\n" << 9 << "goes back";
    QTest::newRow("unknown event") << h + "0.000000 send CR0\n" << 8 << "is not an event";
    QTest::newRow("unterminated [") << h + "0.000000 > CR0[CR\n" << 8 << "without its ']'";
    QTest::newRow("unknown name") << h + "0.000000 > [ESC]\n" << 8 << "is not [CR], [LF]";
    QTest::newRow("bad hex") << h + "0.000000 < [0xG1]\n" << 8 << "not a byte in hex";
    QTest::newRow("short hex") << h + "0.000000 < [0x1]\n" << 8 << "not a byte in hex";
    QTest::newRow("raw control byte") << h + "0.000000 < 80\t\n" << 8 << "written raw";
    QTest::newRow("empty chunk") << h + "0.000000 >\n" << 8 << "no bytes";
    QTest::newRow("open with text") << h + "0.000000 open now\n" << 8 << "takes nothing";
    QTest::newRow("missing header") << QByteArray("0.000000 open\n") << 1 << "before any header";
    QTest::newRow("header without speed") << QByteArray(h).replace("# speed 19200\n", "")
            + "0.000000 open\n" << 1 << "no 'speed'";
    QTest::newRow("bad speed") << QByteArray(h).replace("19200", "fast") << 6 << "speed";
    QTest::newRow("start without offset")
        << QByteArray(h).replace(".123+02:00", "") << 7 << "with its offset";
    QTest::newRow("unknown key") << h + "# colour red\n" << 8 << "not a header key";
    QTest::newRow("header line among events") << h + "0.000000 open\n# port COM2\n"
                                              << 9 << "outside a header";
    QTest::newRow("newer layout") << QByteArray("# orva capture 2\n") << 1 << "does not know";
    QTest::newRow("in the second capture") << h + "5.000000 open\n" + h + "0.000000 > [0x\n"
                                           << 16 << "without its ']'";
    QTest::newRow("over-long line") << h + "0.000000 > " + QByteArray(MaxLineBytes, 'A') + "\n"
                                    << 8 << "longer than";
}

void TestCapture::badInput()
{
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    QFETCH(QString, problem);
    const QString path = m_dir.filePath(QStringLiteral("bad"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();

    Reader reader(path);
    QVERIFY(!readAll(reader));
    QVERIFY2(reader.error().startsWith(QStringLiteral("%1:%2: ").arg(path).arg(line)),
             qPrintable(reader.error()));
    QVERIFY2(reader.error().contains(problem), qPrintable(reader.error()));
    QCOMPARE(reader.next(), Reader::Failed);
}

void TestCapture::unwritable_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("speed");
    QTest::newRow("a folder") << m_dir.path() << 19200;
    QTest::newRow("in a missing folder") << m_dir.filePath(QStringLiteral("none/capture")) << 19200;
    QTest::newRow("a header it could not read") << m_dir.filePath(QStringLiteral("no-speed")) << 0;
#ifdef Q_OS_LINUX
    QTest::newRow("a full disk") << QStringLiteral("/dev/full") << 19200;
#endif
}

void TestCapture::unwritable()
{
    QFETCH(QString, path);
    QFETCH(int, speed);
    Header header = AnyHeader;
    header.speed = speed;
    Writer writer;
    QVERIFY(!writer.open(path, header));
    QVERIFY2(writer.error().startsWith(path + QStringLiteral(": ")), qPrintable(writer.error()));
    QVERIFY(!writer.isOpen());
    QVERIFY(!writer.opened());
}

QTEST_GUILESS_MAIN(TestCapture)
#include "tst_capture.moc"
