#include "measures.h"
#include "app/program.h"

#include "engine/protocol.h"
#include "engine/render.h"
#include "engine/timer.h"
#include "panel/buttonmap.h"
#include "panel/look.h"
#include "rig.h"
#include "support/fakeserialport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <new>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace Bench {

namespace {

constexpr int StatusButton = 44; // STATUS, sends CR0
constexpr int VolumeUpButton = 1; // the first hold button, repeat index 1
constexpr int SettleMs = 2; // between samples, so each starts from an idle loop
constexpr int WaitLimitMs = 2000;
// Several times what the RxD line can show (136 echoed characters at the narrowest).

double us(qint64 ns)
{
    return double(ns) / 1e3;
}
double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

// Starts the panel as the program does, shown, and says whether the stored port opened. The
// echo and STATUS lines are only drawn at the expanded height (Ctrl+H), as a technician
// reading replies has it.
bool start(Form1 &form, SerialPort &port, const Options &options)
{
    const bool loaded = form.Form_Load();
    if (!options.compact)
        form.setHeight(Form1::ExpandedHeightTwips);
    form.show();
    return QTest::qWaitForWindowExposed(&form) && loaded && port.isOpen();
}

void drain(const Pty &pty)
{
    char buffer[4096];
    while (::read(pty.masterFd(), buffer, sizeof buffer) > 0) { }
}

// Runs the event loop, blocking in it as the program does, until `done` holds.
template<typename Done> bool waitUntil(Done done, int timeoutMs = WaitLimitMs)
{
    const qint64 deadline = nowNs() + qint64(timeoutMs) * 1000000;
    while (!done()) {
        if (nowNs() >= deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Keeps a blocked wait from outliving its deadline.
struct Wake
{
    Wake()
    {
        timer.setInterval(20);
        timer.start();
    }
    QTimer timer;
};

class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget *widget) { widget->installEventFilter(this); }
    bool painted = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

// Times the calling thread was made to give up the processor to another.
long preemptions()
{
    rusage usage {};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nivcsw;
}

// Unsolicited characters: printable text with the odd blank and CR, as a chatty device sends.
QByteArray fillerText(int size)
{
    static const QByteArray pattern
        = "ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789abcdefghijklmnopqrstuvwxyz\r";
    QByteArray text;
    text.reserve(size);
    while (text.size() < size)
        text += pattern;
    text.truncate(size);
    return text;
}

// How a rig's figures are named, and whether they are held to the targets.
struct Way
{
    QString over; // added to the names; empty for the pseudo-terminal alone
    bool judged = true;

    QString target(const char *text) const
    {
        return judged ? QString::fromLatin1(text) : QString();
    }
    QString result(bool met) const { return judged ? verdict(met) : QString(); }
};

// Every click button in turn, from the click to its command readable at the projector's end.
void timeClicks(const Rig &rig, const Way &way, const Options &options, Table &table)
{
    struct Target
    {
        QPushButton *button;
        QByteArray wire;
    };
    QVector<Target> targets;
    for (const ButtonMap::Button &row : ButtonMap::buttons()) {
        if (row.kind == ButtonMap::Kind::Click)
            targets.append({rig.form.button(row.number), Wire::frame(row.command)});
    }
    // The same bytes written to the line without the panel, between the clicks so that both see
    // the same load: the pseudo-terminal's own share.
    const int line = ::open(rig.pty.slavePath().toLocal8Bit().constData(),
                            O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    drain(rig.pty);
    std::vector<double> wire;
    std::vector<double> handled;
    std::vector<double> bare;
    int wrong = 0;
    int slow = 0;
    int slowInPanel = 0;
    int slowPreempted = 0;
    for (int i = 0; i < options.clicks; ++i) {
        runEventLoopFor(SettleMs);
        const Target &target = targets.at(i % targets.size());
        const long switches = preemptions();
        const qint64 t0 = nowNs();
        QTest::mouseClick(target.button, Qt::LeftButton);
        const qint64 t1 = nowNs();
        const QByteArray received = rig.pty.read(int(target.wire.size()), WaitLimitMs);
        const qint64 t2 = nowNs();
        if (received != target.wire) {
            ++wrong;
            drain(rig.pty);
            continue;
        }
        handled.push_back(us(t1 - t0));
        wire.push_back(us(t2 - t0));
        if (t2 - t0 > 1000000) {
            ++slow;
            if (t1 - t0 > t2 - t1) {
                ++slowInPanel;
                if (preemptions() != switches)
                    ++slowPreempted;
            }
        }

        runEventLoopFor(SettleMs);
        const qint64 t3 = nowNs();
        if (line >= 0
            && ::write(line, target.wire.constData(), std::size_t(target.wire.size()))
                == target.wire.size()
            && rig.pty.read(int(target.wire.size()), WaitLimitMs) == target.wire)
            bare.push_back(us(nowNs() - t3));
    }
    if (line >= 0)
        ::close(line);
    const Summary onWire = summarize(wire);
    table.addSeries(QStringLiteral("1 click to wire%1 (us)").arg(way.over), onWire, 1,
                    way.target("p99 < 1000"),
                    way.result(onWire.count == options.clicks && onWire.p99 < 1000));
    table.addSeries(QStringLiteral("  of which click handled, written (us)"), summarize(handled),
                    1);
    table.addSeries(QStringLiteral("  pty alone, write to readable (us)"), summarize(bare), 1);
    if (slow > 0)
        table.addNote(QStringLiteral("click to wire%1: %2 clicks over 1 ms; in %3 most of the "
                                     "time went between the write and the bytes reaching the "
                                     "other end, in %4 to the click itself (%5 of these "
                                     "preempted by another thread)")
                          .arg(way.over)
                          .arg(slow)
                          .arg(slow - slowInPanel)
                          .arg(slowInPanel)
                          .arg(slowPreempted));
    if (wrong > 0)
        table.addNote(QStringLiteral("click to wire%1: %2 clicks did not put their command on the "
                                     "line within %3 ms")
                          .arg(way.over)
                          .arg(wrong)
                          .arg(WaitLimitMs));
}

// From the projector's end writing its answer to STATUS to the words on the STATUS line, whole
// and in two pieces.
void timeStatusReplies(const Rig &rig, const Way &way, const Options &options, Table &table)
{
    struct Reply
    {
        QByteArray first;
        QByteArray second;
        QString words;
    };
    // Two answers in turn, so the STATUS line changes at every sample.
    const Reply replies[]
        = {{"8", "0\r", QStringLiteral(" Stand by")}, {"0", "0\r", QStringLiteral(" Power ON")}};
    QPushButton *status = rig.form.button(StatusButton);
    PaintWatch statusPaint(rig.form.Label25);
    const Wake wake;
    drain(rig.pty);
    for (const bool inPieces : {false, true}) {
        std::vector<double> latencies;
        std::vector<double> painted;
        int failed = 0;
        for (int i = 0; i < options.replies; ++i) {
            const Reply &reply = replies[i % 2];
            runEventLoopFor(SettleMs);
            QTest::mouseClick(status, Qt::LeftButton);
            if (rig.pty.read(4, WaitLimitMs) != Wire::frame(Wire::ReadStatus)
                || rig.form.Label25->text() == reply.words) {
                ++failed;
                drain(rig.pty);
                continue;
            }
            if (inPieces) {
                // The first piece taken and shown before the second is on its way.
                const QString firstEcho = Render::echo(reply.first).text;
                rig.pty.write(reply.first);
                if (!waitUntil([&] { return rig.form.Label12->text() == firstEcho; })) {
                    ++failed;
                    continue;
                }
            }
            statusPaint.painted = false;
            const qint64 t0 = nowNs();
            rig.pty.write(inPieces ? reply.second : reply.first + reply.second);
            if (!waitUntil([&] { return rig.form.Label25->text() == reply.words; })) {
                ++failed;
                continue;
            }
            const qint64 t1 = nowNs();
            if (!options.compact && !waitUntil([&] { return statusPaint.painted; })) {
                ++failed;
                continue;
            }
            latencies.push_back(us(t1 - t0));
            painted.push_back(us(nowNs() - t0));
        }
        const Summary summary = summarize(latencies);
        table.addSeries(
            QStringLiteral("2 reply to STATUS%1, %2 (us)")
                .arg(way.over,
                     inPieces ? QStringLiteral("in two pieces") : QStringLiteral("whole")),
            summary, 1, way.target("p99 < 5000"), way.result(failed == 0 && summary.p99 < 5000));
        if (!options.compact)
            table.addSeries(QStringLiteral("  same, until STATUS line repainted (us)"),
                            summarize(painted), 1);
        if (failed > 0)
            table.addNote(QStringLiteral("reply to STATUS%1%2: %3 samples failed (no echo or no "
                                         "words within %4 ms)")
                              .arg(way.over, inPieces ? QStringLiteral(" in pieces") : QString())
                              .arg(failed)
                              .arg(WaitLimitMs));
    }
}

using Measure = void (*)(const Rig &, const Way &, const Options &, Table &);

// The figure on the pseudo-terminal alone; `figure` names it where there is nothing to show.
// `way` names a recorded run, whose targets are the same: a capture must cost nothing a user feels.
void onLine(Measure measure, const QString &figure, const Options &options, Table &table,
            const Way &way = {}, bool recorded = false)
{
    LineRig rig;
    if (recorded && !rig.record()) {
        table.addValue(figure + way.over, QStringLiteral("capture file not writable"));
        return;
    }
    if (!start(rig.form, rig.port, options)) {
        table.addValue(figure + way.over, QStringLiteral("port did not open"));
        return;
    }
    measure(rig.parts(), way, options, table);
}

const Way Recorded {QStringLiteral(" with --record")};

} // namespace

void clickToWire(const Options &options, Table &table)
{
    onLine(timeClicks, QStringLiteral("click to wire"), options, table);
    onLine(timeClicks, QStringLiteral("click to wire"), options, table, Recorded, true);
}

void replyToStatus(const Options &options, Table &table)
{
    onLine(timeStatusReplies, QStringLiteral("reply to STATUS"), options, table);
}

// The targets stay those of the pseudo-terminal, with ser2net sending each read from the line at
// once: loopback and ser2net's pass add about 0.1 ms at the median, 0.4 ms at the 99th percentile,
// and a technician gets no more time because a device server stands in for the cable. With its
// default batching ser2net holds the device's characters back by design (at least 1 ms, and a reply
// in two pieces meets Nagle against our delayed ACK), so those replies are shown without a target.
// The click goes the other way, which that batching does not touch.
void overRfc2217(const Options &options, Table &table)
{
    struct Figure
    {
        Measure measure;
        QString name;
        Ser2net::Batching batching;
        Way way;
    };
    const Figure figures[] = {
        {timeClicks,
         QStringLiteral("click to wire"),
         Ser2net::Batching::Off,
         {QStringLiteral(" over RFC 2217 (ser2net)")}},
        {timeStatusReplies,
         QStringLiteral("reply to STATUS"),
         Ser2net::Batching::Off,
         {QStringLiteral(" over RFC 2217 (ser2net)")}},
        {timeStatusReplies,
         QStringLiteral("reply to STATUS"),
         Ser2net::Batching::Default,
         {QStringLiteral(" over RFC 2217 (ser2net, default batching)"), false}},
    };
    for (const Figure &figure : figures) {
        // Each figure on a rig of its own, as on the pseudo-terminal.
        NetworkRig rig(figure.batching);
        QString problem;
        if (!rig.started)
            problem = Ser2net::program().isEmpty() ? QStringLiteral("ser2net not installed")
                                                   : QStringLiteral("ser2net did not start");
        else if (!start(rig.form, rig.port, options))
            problem = QStringLiteral("port did not open");
        if (!problem.isEmpty()) {
            table.addValue(figure.name + figure.way.over, problem);
            continue;
        }
        figure.measure(rig.parts(), figure.way, options, table);
    }
}

void receiveCost(const Options &options, Table &table)
{
    ConfigFolder config;
    config.writeSettingsFile("[StartUP]\nComPort=3\nBaudRate=192\n");
    FakeSerialPort port;
    QtTimerFactory timers;
    Program program(port, timers);
    Engine &engine = program.engine();
    Form1 &form = program.form();
    if (!start(form, port, options)) {
        table.addValue(QStringLiteral("receive cost"), QStringLiteral("fake port did not open"));
        return;
    }
    PaintWatch rxdPaint(form.Label12);
    const bool drawn = !options.compact; // below the compact window's edge nothing is drawn
    QPushButton *status = form.button(StatusButton);
    const QByteArray filler = fillerText(Engine::MaxReceivedChars + 1);
    const auto send = [&] {
        port.writes.clear();
        QTest::mouseClick(status, Qt::LeftButton);
    };

    for (const int size : {10, 100, 1000, 10000, Engine::MaxReceivedChars}) {
        std::vector<double> event;
        std::vector<double> shown;
        int wrong = 0;
        for (int i = 0; i < options.receiveSamples; ++i) {
            send();
            port.feed(filler.left(size - 1));
            runEventLoopFor(SettleMs);
            rxdPaint.painted = false;
            const QString shownBefore = form.Label12->text();
            const qint64 t0 = nowNs();
            port.feed(filler.mid(size - 1, 1));
            const qint64 t1 = nowNs();
            // The label's repaint is posted; the window draws it at the next loop turn. A label
            // whose shown start did not change has nothing to draw.
            const bool repaints = drawn && form.Label12->text() != shownBefore;
            while (repaints && !rxdPaint.painted && nowNs() - t1 < qint64(WaitLimitMs) * 1000000)
                QCoreApplication::processEvents();
            const qint64 t2 = nowNs();
            if (engine.received().size() != size || (repaints && !rxdPaint.painted)) {
                ++wrong;
                continue;
            }
            event.push_back(us(t1 - t0));
            if (drawn)
                shown.push_back(us(t2 - t0));
        }
        // The target covers what the window does with the event: the repaint where it is seen.
        const bool largest = size == Engine::MaxReceivedChars;
        const auto judged = [&](const Summary &summary, bool applies) {
            return std::make_pair(
                applies ? QStringLiteral("p99 < 2000") : QString(),
                applies ? verdict(wrong == 0 && summary.count > 0 && summary.p99 < 2000)
                        : QString());
        };
        const Summary alone = summarize(event);
        const auto [aloneTarget, aloneResult] = judged(alone, largest && !drawn);
        table.addSeries(QStringLiteral("3 receive event, RxBuffer %1 chars (us)").arg(size), alone,
                        1, aloneTarget, aloneResult);
        if (drawn) {
            const Summary withPaint = summarize(shown);
            const auto [target, result] = judged(withPaint, largest);
            table.addSeries(QStringLiteral("  same, until RxD line repainted (us)"), withPaint, 1,
                            target, result);
        }
        if (wrong > 0)
            table.addNote(QStringLiteral("receive cost at %1 chars: %2 samples went wrong")
                              .arg(size)
                              .arg(wrong));
    }

    // The longest echo there is: line feeds, seven characters each.
    std::vector<double> feeds;
    const QByteArray lineFeeds(Engine::MaxReceivedChars, Wire::Lf);
    for (int i = 0; i < qMax(1, options.receiveSamples / 10); ++i) {
        send();
        port.feed(lineFeeds.left(Engine::MaxReceivedChars - 1));
        runEventLoopFor(SettleMs);
        rxdPaint.painted = false;
        const QString shownBefore = form.Label12->text();
        const qint64 t0 = nowNs();
        port.feed(lineFeeds.left(1));
        const bool repaints = drawn && form.Label12->text() != shownBefore;
        while (repaints && !rxdPaint.painted && nowNs() - t0 < qint64(WaitLimitMs) * 1000000)
            QCoreApplication::processEvents();
        if ((!repaints || rxdPaint.painted) && engine.received().size() == Engine::MaxReceivedChars)
            feeds.push_back(us(nowNs() - t0));
    }
    if (drawn)
        table.addSeries(QStringLiteral("  32767 line feeds (%1 chars echoed), until repainted (us)")
                            .arg(engine.display().rxd.size()),
                        summarize(feeds), 1);

    // Where the time of the largest event goes.
    std::vector<double> echo;
    std::vector<double> labelPaint;
    std::vector<double> dropped;
    const QByteArray full = filler.left(Engine::MaxReceivedChars);
    send();
    port.feed(full);
    runEventLoopFor(SettleMs);
    QPixmap canvas(form.Label12->size());
    for (int i = 0; i < options.receiveSamples; ++i) {
        qint64 t0 = nowNs();
        const Render::Result rendered = Render::echo(full);
        echo.push_back(us(nowNs() - t0));
        t0 = nowNs();
        form.Label12->render(&canvas);
        labelPaint.push_back(us(nowNs() - t0));
        t0 = nowNs();
        port.feed("x"); // beyond the limit: dropped
        dropped.push_back(us(nowNs() - t0));
    }
    table.addSeries(QStringLiteral("  echo of 32767 chars alone (us)"), summarize(echo), 1);
    table.addSeries(
        QStringLiteral("  RxD label paint, %1 chars shown (us)").arg(form.Label12->text().size()),
        summarize(labelPaint), 1);
    // What the window would pay if the label were given the whole echo: why it is not.
    const QString shown = form.Label12->text();
    form.Label12->setText(engine.display().rxd);
    std::vector<double> wholePaint;
    for (int i = 0; i < options.receiveSamples; ++i) {
        const qint64 t0 = nowNs();
        form.Label12->render(&canvas);
        wholePaint.push_back(us(nowNs() - t0));
    }
    form.Label12->setText(shown);
    table.addSeries(QStringLiteral("  same label given the whole echo, %1 chars (us)")
                        .arg(engine.display().rxd.size()),
                    summarize(wholePaint), 1);
    table.addSeries(QStringLiteral("  receive event, RxBuffer full, dropped (us)"),
                    summarize(dropped), 1);

    // How much of the line can be seen at all: the narrowest echoed character, repeated.
    const QFontMetricsF metrics(form.Label12->font());
    qreal narrowest = metrics.horizontalAdvance(QStringLiteral("! "));
    for (char c = 0x21; c <= 0x7A; ++c) {
        narrowest = qMin(narrowest,
                         metrics.horizontalAdvance(Render::echo(QByteArray(1, c)).text.mid(1)));
    }
    table.addNote(QStringLiteral("RxD line: %1 px wide, font %2; it can show at most %3 echoed "
                                 "characters")
                      .arg(form.Label12->contentsRect().width())
                      .arg(QFontInfo(form.Label12->font()).family())
                      .arg(int(2 * form.Label12->contentsRect().width() / narrowest)));
}

namespace {

// Records, on its own thread, when bytes arrive at the projector's end of the line.
class LineRecorder
{
public:
    struct Arrival
    {
        qint64 ns;
        QByteArray bytes;
    };

    explicit LineRecorder(int fd)
        : m_fd(fd)
        , m_thread([this] { run(); })
    { }
    ~LineRecorder() { stop(); }

    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    // Only after stop().
    const std::vector<Arrival> &arrivals() const { return m_arrivals; }

private:
    void run()
    {
        while (!m_stop) {
            pollfd in {m_fd, POLLIN, 0};
            if (::poll(&in, 1, 20) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0)
                m_arrivals.push_back({nowNs(), QByteArray(buffer, int(n))});
        }
    }

    int m_fd;
    std::atomic<bool> m_stop {false};
    std::vector<Arrival> m_arrivals;
    std::thread m_thread;
};

} // namespace

void holdRhythm(const Options &options, Table &table)
{
    LineRig rig;
    if (!start(rig.form, rig.port, options)) {
        table.addValue(QStringLiteral("hold rhythm"), QStringLiteral("port did not open"));
        return;
    }
    const ButtonMap::Button *volumeUp = ButtonMap::find(VolumeUpButton);
    const QByteArray command = Wire::frame(volumeUp->command);
    QPushButton *button = rig.form.button(VolumeUpButton);
    drain(rig.pty);
    runEventLoopFor(50);

    LineRecorder recorder(rig.pty.masterFd());
    // Released halfway between two repeats, so the count is not decided by a race at the edge.
    const int holdMs = options.holdMs + Intervals::RepeatMs / 2;
    const qint64 pressed = nowNs();
    QTest::mousePress(button, Qt::LeftButton);
    runEventLoopFor(int(holdMs - ms(nowNs() - pressed)));
    const bool stillHeld = rig.engine.isHolding();
    const qint64 released = nowNs();
    QTest::mouseRelease(button, Qt::LeftButton);
    runEventLoopFor(500); // anything sent after the release shows up here
    recorder.stop();

    QByteArray wire;
    std::vector<qint64> arrivals; // when each command's last byte came
    for (const LineRecorder::Arrival &arrival : recorder.arrivals()) {
        wire += arrival.bytes;
        while (qsizetype(arrivals.size()) < wire.size() / command.size())
            arrivals.push_back(arrival.ns);
    }
    const int commands = int(wire.count(command));
    const bool clean = wire.size() == commands * command.size();
    int afterRelease = 0;
    for (const qint64 at : arrivals) {
        if (at > released + 20 * 1000000)
            ++afterRelease;
    }
    std::vector<double> intervals;
    for (std::size_t i = 1; i < arrivals.size(); ++i)
        intervals.push_back(ms(arrivals[i] - arrivals[i - 1]));
    const Summary summary = summarize(intervals);
    double largestDeviation = 0;
    for (const double interval : intervals)
        largestDeviation = std::max(largestDeviation, std::abs(interval - Intervals::RepeatMs));
    const double heldMs = ms(released - pressed);
    const int expected = 1 + int(std::floor(heldMs / Intervals::RepeatMs));

    table.addSeries(QStringLiteral("4 hold: interval between commands (ms)"), summary, 3);
    table.addValue(QStringLiteral("  hold: mean interval (ms)"), fixed(summary.mean, 3),
                   QStringLiteral("100 +- 1"),
                   verdict(summary.count > 0 && std::abs(summary.mean - 100) <= 1));
    table.addValue(QStringLiteral("  hold: standard deviation (ms)"), fixed(summary.sd, 3),
                   QStringLiteral("< 3"), verdict(summary.count > 1 && summary.sd < 3));
    table.addValue(QStringLiteral("  hold: largest deviation from 100 ms (ms)"),
                   fixed(largestDeviation, 3));
    table.addValue(
        QStringLiteral("  hold: commands on line / 1+floor(T/100)"),
        QStringLiteral("%1 / %2 (T %3 ms)").arg(commands).arg(expected).arg(heldMs, 0, 'f', 1),
        QStringLiteral("equal"),
        verdict(commands == expected && clean && afterRelease == 0 && stillHeld));
    if (!clean)
        table.addNote(QStringLiteral("hold: the line carried bytes other than whole commands"));
    if (afterRelease > 0)
        table.addNote(
            QStringLiteral("hold: %1 commands arrived after the release").arg(afterRelease));
    if (!stillHeld)
        table.addNote(QStringLiteral("hold: the panel ended the hold before the release"));
}

namespace {

// The writer's side of a flood, in a child process of its own so that the panel's process
// accounts only for the panel. Only async-signal-safe calls after the fork.
[[noreturn]] void writeFlood(int fd, bool paced, qint64 untilNs, std::atomic<qint64> *written)
{
    // At 19200 baud 8N1 a byte takes 10 bits: 1920 bytes a second, here 16 at a time.
    constexpr int PacedChunk = 16;
    constexpr qint64 PacedPeriodNs = qint64(PacedChunk) * 1000000000 / 1920;
    static char bytes[4096];
    static const char pattern[]
        = "ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789abcdefghijklmnopqrstuvwxyz\r";
    for (std::size_t i = 0; i < sizeof bytes; ++i)
        bytes[i] = pattern[i % (sizeof pattern - 1)];
    const int chunk = paced ? PacedChunk : int(sizeof bytes);
    qint64 next = nowNs();
    while (nowNs() < untilNs) {
        int done = 0;
        while (done < chunk && nowNs() < untilNs) {
            const ssize_t n = ::write(fd, bytes + done, std::size_t(chunk - done));
            if (n > 0) {
                done += int(n);
                written->fetch_add(n);
            } else if (n < 0 && errno == EAGAIN) {
                pollfd out {fd, POLLOUT, 0};
                ::poll(&out, 1, 50);
            } else if (!(n < 0 && errno == EINTR)) {
                ::_exit(1);
            }
        }
        if (paced) {
            next += PacedPeriodNs;
            const timespec at {time_t(next / 1000000000), long(next % 1000000000)};
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
        }
    }
    ::_exit(0);
}

struct LoopProbe
{
    // A 1 ms timer: a late tick is a loop that could not take an event.
    LoopProbe()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = nowNs();
            if (last > 0)
                gaps.push_back(ms(now - last));
            last = now;
            if (onTick)
                onTick(now);
        });
    }
    void start()
    {
        gaps.reserve(200000);
        last = 0;
        timer.start();
    }
    QTimer timer;
    qint64 last = 0;
    std::vector<double> gaps;
    std::function<void(qint64)> onTick;
};

struct FloodResult
{
    bool ok = false;
    double seconds = 0;
    double cpu = 0;
    double peakGrowthMb = 0;
    double rssGrowthMb = 0;
    qint64 bytes = 0;
    Summary gaps;
    double capAtSeconds = -1; // when RxBuffer reached its limit
    double cpuFilling = 0;
    double cpuAtCap = 0;
    QString load;
};

// kind: 0 idle (no writer), 1 paced at 19200 baud, 2 as fast as the line takes it.
FloodResult runFlood(const Options &options, int kind, int seconds, bool recorded = false)
{
    FloodResult result;
    LineRig rig;
    if ((recorded && !rig.record()) || !start(rig.form, rig.port, options))
        return result;
    // One send, then the panel is left alone.
    QTest::mouseClick(rig.form.button(StatusButton), Qt::LeftButton);
    rig.pty.read(4, WaitLimitMs);
    runEventLoopFor(50);

    auto *written = static_cast<std::atomic<qint64> *>(mmap(nullptr, sizeof(std::atomic<qint64>),
                                                            PROT_READ | PROT_WRITE,
                                                            MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    if (written == MAP_FAILED)
        return result;
    new (written) std::atomic<qint64>(0);

    LoopProbe probe;
    qint64 capNs = -1;
    double capCpu = 0;
    probe.onTick = [&](qint64 now) {
        if (capNs < 0 && rig.engine.received().size() >= Engine::MaxReceivedChars) {
            capNs = now;
            capCpu = cpuSeconds();
        }
    };
    resetPeakRss();
    const qint64 rss0 = statusKb("VmRSS");
    const double cpu0 = cpuSeconds();
    const qint64 t0 = nowNs();
    const qint64 until = t0 + qint64(seconds) * 1000000000;
    probe.start();
    pid_t writer = -1;
    if (kind != 0) {
        std::fflush(nullptr);
        writer = fork();
        if (writer == 0)
            writeFlood(rig.pty.masterFd(), kind == 1, until, written);
    }
    runEventLoopFor(seconds * 1000);
    probe.timer.stop();
    const double cpu1 = cpuSeconds();
    const qint64 t1 = nowNs();
    const qint64 hwm = statusKb("VmHWM");
    const qint64 rss1 = statusKb("VmRSS");
    result.load = loadAverage();
    if (writer > 0) {
        int status = 0;
        for (int i = 0; i < 200 && waitpid(writer, &status, WNOHANG) == 0; ++i)
            ::usleep(10000);
        if (waitpid(writer, &status, WNOHANG) == 0) {
            ::kill(writer, SIGKILL);
            waitpid(writer, &status, 0);
        }
    }
    result.bytes = written->load();
    munmap(written, sizeof(std::atomic<qint64>));

    result.ok = true;
    result.seconds = double(t1 - t0) / 1e9;
    result.cpu = cpu1 - cpu0;
    result.peakGrowthMb = double(hwm - rss0) / 1024.0;
    result.rssGrowthMb = double(rss1 - rss0) / 1024.0;
    result.gaps = summarize(probe.gaps);
    if (capNs > 0) {
        result.capAtSeconds = double(capNs - t0) / 1e9;
        result.cpuFilling = (capCpu - cpu0) / std::max(1e-9, double(capNs - t0) / 1e9);
        result.cpuAtCap = (cpu1 - capCpu) / std::max(1e-9, double(t1 - capNs) / 1e9);
    }
    return result;
}

QString percent(double fraction)
{
    return QStringLiteral("%1 %").arg(fraction * 100, 0, 'f', 2);
}

} // namespace

void flood(const Options &options, Table &table)
{
    const FloodResult idle = options.runs(QStringLiteral("flood"))
        ? runFlood(options, 0, options.idleSeconds)
        : FloodResult {};
    if (idle.ok) {
        table.addValue(QStringLiteral("5 idle, loop probe only: CPU (% of one core)"),
                       percent(idle.cpu / idle.seconds));
        table.addSeries(QStringLiteral("  idle: event-loop gap (ms)"), idle.gaps, 2);
    }
    struct Kind
    {
        int kind;
        const char *name;
        bool recorded = false;
    };
    for (const Kind &kind :
         {Kind {1, "flood at 19200 baud"}, Kind {1, "flood at 19200 baud with --record", true},
          Kind {2, "flood, full speed"}}) {
        if (!options.runs(QString::fromLatin1(kind.kind == 1 ? "flood" : "fastflood")))
            continue;
        std::fprintf(stderr, "  %s, %d s...\n", kind.name, options.floodSeconds);
        const FloodResult r = runFlood(options, kind.kind, options.floodSeconds, kind.recorded);
        const QString name = QString::fromLatin1(kind.name);
        if (!r.ok) {
            table.addValue(name, QStringLiteral("port did not open"));
            continue;
        }
        const bool paced = kind.kind == 1;
        const double share = r.cpu / r.seconds;
        table.addValue(
            QStringLiteral("5 %1: CPU (% of one core)").arg(name),
            percent(share)
                + QStringLiteral(" (%1 s in %2 s)").arg(r.cpu, 0, 'f', 2).arg(r.seconds, 0, 'f', 1),
            paced ? QStringLiteral("< 10 %") : QString(),
            paced ? verdict(share < 0.10) : QString());
        if (r.capAtSeconds >= 0)
            table.addValue(QStringLiteral("  CPU while RxBuffer fills / once full"),
                           QStringLiteral("%1 / %2 (full at %3 s)")
                               .arg(percent(r.cpuFilling), percent(r.cpuAtCap))
                               .arg(r.capAtSeconds, 0, 'f', 1));
        table.addValue(QStringLiteral("  peak RSS growth (MB)"),
                       fixed(r.peakGrowthMb, 2)
                           + QStringLiteral(" (RSS end %1)").arg(r.rssGrowthMb, 0, 'f', 2),
                       paced ? QStringLiteral("< 10") : QString(),
                       paced ? verdict(r.peakGrowthMb < 10) : QString());
        table.addSeries(QStringLiteral("  event-loop gap (ms)"), r.gaps, 2,
                        paced ? QStringLiteral("max <= 50") : QString(),
                        paced ? verdict(r.gaps.count > 0 && r.gaps.max <= 50) : QString());
        table.addValue(QStringLiteral("  characters written (per s)"),
                       QString::number(qint64(double(r.bytes) / r.seconds)));
        table.addNote(QStringLiteral("%1: load average at its end %2").arg(name, r.load));
    }
}

namespace {

// Marks every descriptor close-on-exec, so a spawned program does not inherit the line.
void keepDescriptorsFromChildren()
{
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return;
    while (const dirent *entry = readdir(dir)) {
        const int fd = std::atoi(entry->d_name);
        if (fd > 2 && fd != dirfd(dir))
            fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
    }
    closedir(dir);
}

bool holdsFile(qint64 pid, const QByteArray &path)
{
    const QByteArray folder = "/proc/" + QByteArray::number(pid) + "/fd";
    DIR *dir = opendir(folder.constData());
    if (!dir)
        return false;
    bool found = false;
    while (const dirent *entry = readdir(dir)) {
        char target[256];
        const QByteArray link = folder + '/' + entry->d_name;
        const ssize_t n = readlink(link.constData(), target, sizeof target - 1);
        if (n > 0 && QByteArray(target, int(n)) == path) {
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

// Seconds since this process was created, from /proc (10 ms resolution).
double secondsSinceProcessStart()
{
    QFile file(QStringLiteral("/proc/self/stat"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = file.readAll();
    // The fields after the command name, which may itself hold blanks.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    const double startTicks = fields.value(19).toDouble(); // field 22 of the whole line
    timespec boot {};
    clock_gettime(CLOCK_BOOTTIME, &boot);
    return double(boot.tv_sec) + double(boot.tv_nsec) / 1e9
        - startTicks / double(sysconf(_SC_CLK_TCK));
}

} // namespace

int startupChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    Look::install();
    Program program;
    Form1 &form = program.form();
    SerialPort &port = program.port();
    const bool opened = form.Form_Load();
    PaintWatch firstFrame(&form);
    form.show();
    const Wake wake;
    // The whole window is drawn and flushed within the loop turn that painted it.
    const bool painted = waitUntil([&] { return firstFrame.painted; }, 10000);
    const qint64 shown = nowNs();
    std::printf("shown-ns %lld open %d painted %d rss-kb %lld since-start-s %.3f\n",
                static_cast<long long>(shown), opened && port.isOpen() ? 1 : 0, painted ? 1 : 0,
                static_cast<long long>(statusKb("VmRSS")), secondsSinceProcessStart());
    std::fflush(stdout);
    return 0;
}

void startUp(const Options &options, Table &table)
{
    ConfigFolder config;
    Pty pty;
    pty.linkAs(LineRig::PortNumber);
    config.writeSettingsFile("[StartUP]\nComPort=3\nBaudRate=192\n");
    keepDescriptorsFromChildren();

    std::vector<double> elapsed;
    std::vector<double> sinceCreation;
    std::vector<double> rss;
    int failed = 0;
    for (int i = 0; i < options.startups; ++i) {
        QProcess child;
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments({QStringLiteral("--startup-child")});
        child.setStandardErrorFile(QProcess::nullDevice());
        const qint64 t0 = nowNs();
        child.start();
        if (!child.waitForFinished(20000)) {
            child.kill();
            child.waitForFinished();
            ++failed;
            continue;
        }
        const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
        if (fields.size() < 10 || fields.value(3) != "1" || fields.value(5) != "1") {
            ++failed;
            continue;
        }
        elapsed.push_back(ms(fields.value(1).toLongLong() - t0));
        rss.push_back(fields.value(7).toDouble() / 1024.0);
        sinceCreation.push_back(fields.value(9).toDouble() * 1000.0);
    }
    const Summary shown = summarize(elapsed);
    table.addSeries(QStringLiteral("6 start-up: spawn to first frame, port open (ms)"), shown, 1,
                    QStringLiteral("p99 < 500"),
                    verdict(failed == 0 && shown.count > 0 && shown.p99 < 500));
    table.addSeries(QStringLiteral("  same, from /proc starttime, 10 ms ticks (ms)"),
                    summarize(sinceCreation), 0);
    table.addSeries(QStringLiteral("  resident memory then (MB)"), summarize(rss), 1);
    if (failed > 0)
        table.addNote(QStringLiteral("start-up: %1 runs failed").arg(failed));

    // The shipped program seen from outside: the moment it holds the line open.
    const QString program
        = QCoreApplication::applicationDirPath() + QStringLiteral("/orva-control");
    if (!QFile::exists(program)) {
        table.addNote(QStringLiteral("start-up: %1 not built, not timed").arg(program));
        return;
    }
    const QByteArray slave = pty.slavePath().toLocal8Bit();
    std::vector<double> toOpen;
    std::vector<double> productRss;
    int productFailed = 0;
    for (int i = 0; i < options.productStartups; ++i) {
        QProcess child;
        child.setProgram(program);
        child.setStandardOutputFile(QProcess::nullDevice());
        child.setStandardErrorFile(QProcess::nullDevice());
        const qint64 t0 = nowNs();
        child.start();
        if (!child.waitForStarted(5000)) {
            ++productFailed;
            continue;
        }
        const qint64 pid = child.processId();
        qint64 opened = -1;
        while (nowNs() - t0 < qint64(5) * 1000000000 && child.state() == QProcess::Running) {
            if (holdsFile(pid, slave)) {
                opened = nowNs();
                break;
            }
            ::usleep(200);
        }
        if (opened < 0) {
            ++productFailed;
        } else {
            toOpen.push_back(ms(opened - t0));
            // Settled: window shown and drawn.
            ::usleep(1000000);
            productRss.push_back(double(statusKb("VmRSS", pid)) / 1024.0);
        }
        child.terminate();
        if (!child.waitForFinished(3000)) {
            child.kill();
            child.waitForFinished();
        }
    }
    table.addSeries(QStringLiteral("  orva-control: spawn to port open (ms)"), summarize(toOpen),
                    1);
    table.addSeries(QStringLiteral("  orva-control: resident memory at 1 s (MB)"),
                    summarize(productRss), 1);
    if (productFailed > 0)
        table.addNote(QStringLiteral("start-up: orva-control did not open the line in %1 runs")
                          .arg(productFailed));
}

} // namespace Bench
