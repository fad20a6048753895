#include "simulator.h"

#include "line.h"
#include "engine/protocol.h"
#include "wirelog.h"

#include <cstdio>

namespace {

constexpr int BitsPerByte = 10; // start, eight data bits, stop
constexpr qint64 NsPerSecond = 1000000000;
constexpr qint64 NsPerMs = 1000000;

} // namespace

Simulator::Simulator(Line *line, const Options &options, QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_options(options)
    , m_projector(options.projector)
    , m_random(QRandomGenerator::securelySeeded())
    , m_byteNs(NsPerSecond * BitsPerByte / options.baud)
{
    m_clock.start();
    connect(m_line, &Line::received, this, &Simulator::receive);
    connect(m_line, &Line::peerChanged, this, &Simulator::newPeer);

    m_paceTimer.setSingleShot(true);
    m_paceTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_paceTimer, &QTimer::timeout, this, &Simulator::drain);

    if (options.floodPerSecond > 0) {
        m_floodTimer.setInterval(FloodTickMs);
        m_floodTimer.setTimerType(Qt::PreciseTimer);
        connect(&m_floodTimer, &QTimer::timeout, this, &Simulator::flood);
        m_floodTimer.start();
    }
    if (options.hangUpAfterMs >= 0)
        QTimer::singleShot(options.hangUpAfterMs, Qt::PreciseTimer, this, &Simulator::dropLine);
}

void Simulator::receive(const QByteArray &bytes)
{
    if (speedMismatch()) {
        log(QStringLiteral("<- %1 (lost: the other end is at %2 baud, this line at %3)")
                .arg(WireLog::spelled(bytes))
                .arg(m_mismatchedPeerBaud)
                .arg(m_options.baud));
        return;
    }
    const QByteArrayList commands = m_reader.feed(bytes);
    for (const QByteArray &command : commands)
        answer(command);
}

void Simulator::setReplay(const Replay &replay)
{
    m_replay = replay;
    play(m_replay->opening(), false);
}

void Simulator::answer(const QByteArray &command)
{
    const QString received = WireLog::spelled(command + Wire::Cr);
    // The options that shape answers shape the simulator's only: the capture's are as recorded.
    const std::optional<Replay::Answer> recorded
        = m_replay ? m_replay->next(command) : std::nullopt;
    if (m_options.silent && !recorded) {
        log(QStringLiteral("<- %1 (no answer: --silent)").arg(received));
        return;
    }
    if (m_waitingAnswers >= MaxWaitingAnswers) {
        log(QStringLiteral("<- %1 (lost: too many commands waiting)").arg(received));
        return;
    }
    // The built-in projector takes every command, so that its state follows the capture's.
    const QByteArray reply = m_projector.answer(command, m_clock.elapsed());
    if (recorded) {
        log(QStringLiteral("<- %1%2").arg(
            received, recorded->isEmpty() ? QStringLiteral(" (replay: no answer)") : QString()));
        play(*recorded, true);
        return;
    }
    log(QStringLiteral("<- %1").arg(received));
    ++m_waitingAnswers;
    if (!m_options.split || reply.size() < 2) {
        QTimer::singleShot(m_options.delayMs, Qt::PreciseTimer, this, [this, reply, peer = m_peer] {
            --m_waitingAnswers;
            if (peer == m_peer)
                deliver(reply, QString());
        });
        return;
    }
    const QByteArray first = reply.left(reply.size() / 2);
    const QByteArray second = reply.mid(first.size());
    // The gap runs from the end of the first piece on the wire.
    const int firstOnWireMs = int((first.size() * m_byteNs + NsPerMs - 1) / NsPerMs);
    QTimer::singleShot(m_options.delayMs, Qt::PreciseTimer, this, [this, first, peer = m_peer] {
        if (peer == m_peer)
            deliver(first, QStringLiteral(" (first piece)"));
    });
    QTimer::singleShot(m_options.delayMs + firstOnWireMs + SplitGapMs, Qt::PreciseTimer, this,
                       [this, second, peer = m_peer] {
                           --m_waitingAnswers;
                           if (peer == m_peer)
                               deliver(second, QStringLiteral(" (second piece)"));
                       });
}

void Simulator::play(const Replay::Answer &answer, bool awaited)
{
    if (answer.isEmpty())
        return;
    if (awaited)
        ++m_waitingAnswers;
    for (qsizetype i = 0; i < answer.size(); ++i) {
        const Replay::Piece &piece = answer.at(i);
        const bool last = i == answer.size() - 1;
        const int dueMs = int((piece.offsetUs + 500) / 1000);
        QTimer::singleShot(
            dueMs, Qt::PreciseTimer, this, [this, piece, awaited, last, peer = m_peer] {
                if (awaited && last)
                    --m_waitingAnswers;
                if (peer == m_peer)
                    deliver(piece.bytes,
                            piece.unsolicited ? QStringLiteral(" (replay, unsolicited)")
                                              : QStringLiteral(" (replay)"));
            });
    }
}

void Simulator::deliver(const QByteArray &bytes, const QString &note)
{
    if (!m_line->isOpen())
        return;
    const QByteArray wire = onTheWire(bytes);
    log(QStringLiteral("-> %1%2").arg(WireLog::spelled(wire), note));
    send(wire);
}

QByteArray Simulator::onTheWire(const QByteArray &bytes)
{
    if (!m_options.garbage && !speedMismatch())
        return bytes;
    QByteArray noise(bytes.size(), Qt::Uninitialized);
    for (char &c : noise)
        c = char(0x80 + m_random.bounded(0x80));
    return noise;
}

bool Simulator::speedMismatch()
{
    const int peer = m_line->peerBaud();
    const int mismatched = peer != 0 && peer != m_options.baud ? peer : 0;
    if (mismatched != m_mismatchedPeerBaud) {
        m_mismatchedPeerBaud = mismatched;
        if (mismatched == 0)
            log(QStringLiteral("the line speeds agree again"));
    }
    return mismatched != 0;
}

void Simulator::send(const QByteArray &bytes)
{
    if (!m_line->isOpen() || bytes.isEmpty())
        return;
    if (m_line->pacesItself()) {
        if (m_line->bytesToWrite() + bytes.size() <= MaxQueuedBytes)
            m_line->write(bytes);
        return;
    }
    if (m_queue.size() + bytes.size() > MaxQueuedBytes)
        return;
    if (m_queue.isEmpty()) {
        m_burstStartNs = qMax(nowNs(), m_lineFreeAtNs);
        m_burstSent = 0;
    }
    m_queue += bytes;
    drain();
}

void Simulator::drain()
{
    const qint64 now = nowNs();
    const qint64 due = now < m_burstStartNs ? 0 : (now - m_burstStartNs) / m_byteNs - m_burstSent;
    if (due > 0) {
        const qsizetype count = qMin<qsizetype>(due, m_queue.size());
        m_line->write(m_queue.left(count));
        m_queue.remove(0, count);
        m_burstSent += count;
        m_lineFreeAtNs = m_burstStartNs + m_burstSent * m_byteNs;
    }
    if (m_queue.isEmpty() || !m_line->isOpen()) {
        m_queue.clear();
        return;
    }
    const qint64 next = m_burstStartNs + (m_burstSent + 1) * m_byteNs;
    m_paceTimer.start(int(qMax<qint64>(1, (next - now + NsPerMs - 1) / NsPerMs)));
}

void Simulator::flood()
{
    // Characters fall due at the asked rate; those the line has no room for are lost.
    const qint64 due = qint64(m_options.floodPerSecond) * m_clock.elapsed() / 1000 - m_floodDue;
    if (due <= 0)
        return;
    m_floodDue += due;
    const qint64 backlog = m_queue.size() + m_line->bytesToWrite();
    const qint64 count = qMin(due, MaxFloodBacklogBytes - backlog);
    if (count <= 0)
        return;
    QByteArray characters(count, Qt::Uninitialized);
    for (char &c : characters)
        c = char('!' + m_random.bounded('z' - '!' + 1)); // printable, shown as themselves
    send(onTheWire(characters));
}

void Simulator::newPeer()
{
    ++m_peer;
    m_reader = CommandReader();
    m_paceTimer.stop();
    m_queue.clear();
    log(QStringLiteral("a new client"));
    if (m_replay)
        play(m_replay->opening(), false);
}

void Simulator::dropLine()
{
    m_floodTimer.stop();
    m_paceTimer.stop();
    m_queue.clear();
    m_line->hangUp();
    log(QStringLiteral("line dropped"));
    emit lineDropped();
}

void Simulator::log(const QString &text) const
{
    if (m_options.log)
        std::fprintf(stderr, "%s\n",
                     qPrintable(WireLog::line(
                         m_logName.isEmpty() ? text : m_logName + QLatin1Char(' ') + text)));
}
