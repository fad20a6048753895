#include "replay.h"

#include "commandreader.h"
#include "engine/protocol.h"
#include "link/capture.h"

#include <deque>
#include <utility>

namespace {

using Answer = Replay::Answer;
using Piece = Replay::Piece;

bool sameAnswer(const Answer &a, const Answer &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].bytes != b[i].bytes || a[i].unsolicited != b[i].unsolicited
            || qAbs(a[i].offsetUs - b[i].offsetUs) > Replay::DelayToleranceUs)
            return false;
    }
    return true;
}

// A command seen going out, and what came back for it so far.
struct Exchange
{
    QByteArray command;
    qint64 sentUs = 0;
    Answer answer;
};

// Walks the capture's events and files every exchange into the table as soon as it is over,
// so that what it holds is the table plus the few exchanges still open.
class Builder
{
public:
    explicit Builder(QHash<QByteArray, QList<Answer>> *answers, Answer *opening)
        : m_answers(answers)
        , m_opening(opening)
    { }

    void capture()
    {
        endConnection();
        m_startUs = 0;
        m_anyCommand = false;
        m_firstCapture = !m_seenCapture;
        m_seenCapture = true;
    }

    void opened(qint64 us)
    {
        endConnection();
        if (!m_anyCommand)
            m_startUs = us;
    }

    void sent(qint64 us, const QByteArray &bytes)
    {
        const QByteArrayList commands = m_reader.feed(bytes);
        if (commands.isEmpty())
            return;
        // A new command means the client stopped waiting for those before it; whatever followed
        // the last answer ends here too.
        while (!m_waiting.empty() && m_waiting.front().sentUs < us)
            answered();
        file(std::exchange(m_last, std::nullopt));
        for (const QByteArray &command : commands)
            m_waiting.push_back({command, us, {}});
        m_anyCommand = true;
    }

    void received(qint64 us, QByteArray bytes)
    {
        while (!m_waiting.empty() && us - m_waiting.front().sentUs > Replay::ReplyWindowUs)
            answered();
        while (!bytes.isEmpty() && !m_waiting.empty()) {
            Exchange &head = m_waiting.front();
            const qsizetype cr = bytes.indexOf(Wire::Cr);
            const qsizetype take = cr < 0 ? bytes.size() : cr + 1;
            head.answer.append({us - head.sentUs, bytes.left(take), false});
            bytes.remove(0, take);
            if (cr >= 0)
                answered();
        }
        if (bytes.isEmpty() || m_unsolicitedBytes + bytes.size() > Replay::MaxUnsolicitedBytes)
            return;
        if (m_last) {
            m_last->answer.append({us - m_last->sentUs, bytes, true});
        } else if (!m_anyCommand && m_firstCapture) {
            m_opening->append({us - m_startUs, bytes, true});
        } else {
            return;
        }
        m_unsolicitedBytes += bytes.size();
    }

    // A close, a lost line, the end of a capture: what is open is over.
    void endConnection()
    {
        while (!m_waiting.empty())
            answered();
        file(std::exchange(m_last, std::nullopt));
        m_reader = CommandReader();
    }

private:
    void answered()
    {
        file(std::exchange(m_last, std::move(m_waiting.front())));
        m_waiting.pop_front();
    }

    void file(const std::optional<Exchange> &exchange)
    {
        if (!exchange)
            return;
        QList<Answer> &list = (*m_answers)[exchange->command];
        if (!list.isEmpty() && sameAnswer(list.last(), exchange->answer))
            return;
        if (list.size() < Replay::MaxAnswersPerCommand)
            list.append(exchange->answer);
        else
            list.last() = exchange->answer;
    }

    QHash<QByteArray, QList<Answer>> *m_answers;
    Answer *m_opening;
    CommandReader m_reader;
    std::deque<Exchange> m_waiting; // sent, their answer not over yet
    std::optional<Exchange> m_last; // answered; bytes after it are its unsolicited tail
    qint64 m_startUs = 0;
    qsizetype m_unsolicitedBytes = 0;
    bool m_anyCommand = false;
    bool m_seenCapture = false;
    bool m_firstCapture = false;
};

} // namespace

bool Replay::load(const QString &path, QString *error)
{
    auto table = std::make_shared<Table>();
    Builder builder(&table->answers, &table->opening);
    Capture::Reader reader(path);
    for (;;) {
        switch (reader.next()) {
        case Capture::Reader::HeaderRead:
            builder.capture();
            continue;
        case Capture::Reader::EventRead:
            break;
        case Capture::Reader::End:
            builder.endConnection();
            m_table = std::move(table);
            m_given.clear();
            return true;
        case Capture::Reader::Failed:
            *error = reader.error();
            return false;
        }
        const Capture::Event &event = reader.event();
        switch (event.kind) {
        case Capture::Event::Sent:
            builder.sent(event.micros, event.bytes);
            break;
        case Capture::Event::Received:
            builder.received(event.micros, event.bytes);
            break;
        case Capture::Event::Opened:
            builder.opened(event.micros);
            break;
        case Capture::Event::Closed:
        case Capture::Event::Lost:
        case Capture::Event::OpenFailed:
            builder.endConnection();
            break;
        }
    }
}

std::optional<Replay::Answer> Replay::next(const QByteArray &command)
{
    if (!m_table)
        return std::nullopt;
    const auto found = m_table->answers.constFind(command);
    if (found == m_table->answers.cend())
        return std::nullopt;
    int &given = m_given[command];
    const Answer &answer = found->at(qMin(given, int(found->size()) - 1));
    given = qMin(given + 1, int(found->size()));
    return answer;
}

Replay::Answer Replay::opening() const
{
    return m_table ? m_table->opening : Answer();
}

qsizetype Replay::distinctCommands() const
{
    return m_table ? m_table->answers.size() : 0;
}

qsizetype Replay::storedAnswers() const
{
    qsizetype count = 0;
    if (m_table) {
        for (const QList<Answer> &answers : m_table->answers)
            count += answers.size();
    }
    return count;
}

qsizetype Replay::storedBytes() const
{
    if (!m_table)
        return 0;
    qsizetype bytes = 0;
    const auto add = [&bytes](const Answer &answer) {
        for (const Piece &piece : answer)
            bytes += piece.bytes.size();
    };
    for (auto it = m_table->answers.cbegin(); it != m_table->answers.cend(); ++it) {
        bytes += it.key().size();
        for (const Answer &answer : it.value())
            add(answer);
    }
    add(m_table->opening);
    return bytes;
}
