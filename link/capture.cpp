#include "capture.h"

#include <QIODevice>

#include <algorithm>
#include <array>

namespace Capture {

namespace {

constexpr char Cr = 0x0D;
constexpr char Lf = 0x0A;
constexpr char Ack = 0x06;

struct Name
{
    char byte;
    QByteArrayView text;
};
// The names the panel and the virtual projector's log show.
constexpr std::array<Name, 3> Names = {{{Cr, "CR"}, {Lf, "LF"}, {Ack, "ACK"}}};

// The header's lines after Magic, in the order the writer puts them.
enum Field { Program, Version, Port, Target, Speed, Start, FieldCount };
constexpr std::array<QByteArrayView, FieldCount> FieldKeys
    = {"program", "version", "port", "target", "speed", "start"};

// Indexed by Event::Kind.
constexpr std::array<QByteArrayView, 6> Words = {">", "<", "open", "close", "lost", "open-failed"};

bool isPrintable(char c)
{
    return c >= 0x20 && c <= 0x7E;
}

// Upper or lower case: a hand-written capture reads too.
int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray hex(unsigned char byte)
{
    return QByteArray::number(byte, 16).toUpper().rightJustified(2, '0');
}

// For messages: hostile text stays ASCII and short.
QString quoted(QByteArrayView text)
{
    constexpr qsizetype Shown = 40;
    QString shown = QString::fromLatin1(spelled(text.first(qMin(text.size(), Shown))));
    if (text.size() > Shown)
        shown += QLatin1String("...");
    return QLatin1Char('\'') + shown + QLatin1Char('\'');
}

QByteArray timeText(qint64 micros)
{
    return QByteArray::number(micros / 1000000) + '.'
        + QByteArray::number(micros % 1000000).rightJustified(6, '0');
}

// "12.345678": digits, a point, six digits; nullopt for anything else.
std::optional<qint64> timeOf(QByteArrayView text)
{
    constexpr qsizetype MostSecondDigits = 12; // 30 000 years: no overflow in microseconds
    const qsizetype point = text.indexOf('.');
    if (point < 1 || point > MostSecondDigits || text.size() - point - 1 != 6)
        return std::nullopt;
    qint64 micros = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (i == point)
            continue;
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        micros = micros * 10 + (text[i] - '0');
    }
    return micros;
}

// A line of its key, then a space and the value when there is one.
QByteArray keyed(QByteArrayView key, const QByteArray &value)
{
    QByteArray line = key.toByteArray();
    if (!value.isEmpty())
        line += ' ' + value;
    return line + '\n';
}

} // namespace

bool Header::operator==(const Header &other) const
{
    return program == other.program && version == other.version && port == other.port
        && target == other.target && speed == other.speed && start == other.start;
}

bool Event::operator==(const Event &other) const
{
    return micros == other.micros && kind == other.kind && bytes == other.bytes
        && reason == other.reason;
}

QByteArray spelled(QByteArrayView bytes)
{
    QByteArray text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto name = std::find_if(Names.begin(), Names.end(),
                                       [c](const Name &name) { return name.byte == c; });
        if (name != Names.end())
            text += '[' + name->text.toByteArray() + ']';
        else if (isPrintable(c) && c != '[')
            text += c;
        else
            text += "[0x" + hex(static_cast<unsigned char>(c)) + ']';
    }
    return text;
}

std::optional<QByteArray> unspelled(QByteArrayView text, QString *problem)
{
    // "[0xHH]" is the longest name; a little beyond it still shows a typo whole.
    constexpr qsizetype LongestInside = 8;
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '[') {
            if (!isPrintable(c)) {
                *problem = QStringLiteral("byte 0x%1 is written raw; it belongs in brackets, "
                                          "[0x%1]")
                               .arg(QString::fromLatin1(hex(static_cast<unsigned char>(c))));
                return std::nullopt;
            }
            bytes += c;
            continue;
        }
        const qsizetype close
            = text.sliced(i).first(qMin(text.size() - i, LongestInside + 2)).indexOf(']');
        if (close < 0) {
            *problem = QStringLiteral("%1: a '[' without its ']'").arg(quoted(text.sliced(i)));
            return std::nullopt;
        }
        const QByteArrayView inside = text.sliced(i + 1, close - 1);
        const auto name = std::find_if(Names.begin(), Names.end(),
                                       [inside](const Name &name) { return name.text == inside; });
        if (name != Names.end()) {
            bytes += name->byte;
        } else if (inside.startsWith("0x")) {
            const int high = inside.size() == 4 ? hexDigit(inside[2]) : -1;
            const int low = inside.size() == 4 ? hexDigit(inside[3]) : -1;
            if (high < 0 || low < 0) {
                *problem = QStringLiteral("%1 is not a byte in hex, as [0x1B]")
                               .arg(quoted(text.sliced(i, close + 1)));
                return std::nullopt;
            }
            bytes += static_cast<char>(high * 16 + low);
        } else {
            *problem = QStringLiteral("%1 is not [CR], [LF], [ACK] or [0xHH]")
                           .arg(quoted(text.sliced(i, close + 1)));
            return std::nullopt;
        }
        i += close;
    }
    return bytes;
}

QByteArray headerText(const Header &header)
{
    const std::array<QByteArray, FieldCount> values
        = {spelled(header.program.toUtf8()), spelled(header.version.toUtf8()),
           spelled(header.port.toUtf8()),    spelled(header.target.toUtf8()),
           QByteArray::number(header.speed), header.start.toString(Qt::ISODateWithMs).toLatin1()};
    QByteArray text = QByteArray(Magic) + '\n';
    for (int field = 0; field < FieldCount; ++field)
        text += keyed("# " + FieldKeys[field].toByteArray(), values[field]);
    return text;
}

QByteArray eventLine(const Event &event)
{
    const QByteArray payload = event.kind == Event::Sent || event.kind == Event::Received
        ? spelled(event.bytes)
        : spelled(event.reason.toUtf8());
    return keyed(timeText(event.micros) + ' ' + Words[event.kind].toByteArray(), payload);
}

// ---- Writer

bool Writer::open(const QString &path, Header header)
{
    if (!openFile(path))
        return false;
    if (!begin(std::move(header))) {
        m_file.close();
        return false;
    }
    return true;
}

bool Writer::openFile(const QString &path)
{
    m_file.close();
    m_file.setFileName(path);
    // Unbuffered: every line goes to the system as it is written.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        m_error
            = QStringLiteral("%1: cannot open for appending: %2").arg(path, m_file.errorString());
        return false;
    }
    return true;
}

bool Writer::begin(Header header)
{
    if (!m_file.isOpen()) {
        m_error = QStringLiteral("no capture file is open");
        return false;
    }
    // Nothing is written that the reader would refuse.
    if (header.speed <= 0) {
        m_error = QStringLiteral("%1: the speed %2 is not a number of baud")
                      .arg(m_file.fileName())
                      .arg(header.speed);
        return false;
    }
    const QDateTime now = QDateTime::currentDateTime();
    header.start = now.toOffsetFromUtc(now.offsetFromUtc());
    m_header = header;
    m_clock.start();
    return writeLine(headerText(m_header));
}

bool Writer::sent(QByteArrayView chunk)
{
    return chunk.isEmpty() || write(Event::Sent, chunk);
}

bool Writer::received(QByteArrayView chunk)
{
    return chunk.isEmpty() || write(Event::Received, chunk);
}

bool Writer::opened()
{
    return write(Event::Opened);
}

bool Writer::closed()
{
    return write(Event::Closed);
}

bool Writer::lost(const QString &reason)
{
    return write(Event::Lost, {}, reason);
}

bool Writer::openFailed(const QString &reason)
{
    return write(Event::OpenFailed, {}, reason);
}

bool Writer::write(Event::Kind kind, QByteArrayView bytes, const QString &reason)
{
    if (!m_file.isOpen() || !m_clock.isValid()) {
        m_error = QStringLiteral("no capture has begun");
        return false;
    }
    Event event;
    event.micros = m_clock.nsecsElapsed() / 1000;
    event.kind = kind;
    event.reason = reason.left(MaxChunkBytes / 4); // at most four UTF-8 bytes a character
    QByteArray lines;
    do {
        event.bytes = bytes.first(qMin(bytes.size(), MaxChunkBytes)).toByteArray();
        bytes = bytes.sliced(event.bytes.size());
        lines += eventLine(event);
    } while (!bytes.isEmpty());
    return writeLine(lines);
}

bool Writer::writeLine(const QByteArray &line)
{
    // One write a line, so that a crash leaves whole lines behind.
    if (m_file.write(line) == line.size())
        return true;
    m_error = QStringLiteral("%1: cannot write: %2").arg(m_file.fileName(), m_file.errorString());
    return false;
}

// ---- Reader

Reader::Reader(const QString &path)
    : m_file(std::make_unique<QFile>(path))
    , m_name(path)
{ }

Reader::Reader(QIODevice *device, const QString &name)
    : m_device(device)
    , m_name(name)
{ }

Reader::~Reader() = default;

Reader::Step Reader::fail(qint64 lineNumber, const QString &problem)
{
    m_failed = true;
    m_error = QStringLiteral("%1:%2: %3").arg(m_name).arg(lineNumber).arg(problem);
    return Failed;
}

bool Reader::readLine()
{
    m_line.resize(0);
    char chunk[4096];
    while (!m_line.endsWith('\n')) {
        const qint64 count = m_device->readLine(chunk, sizeof chunk);
        if (count <= 0)
            break;
        m_line.append(chunk, count);
        if (m_line.size() > MaxLineBytes + 2) // a line, "\r\n" aside
            break;
    }
    if (m_file && m_file->error() != QFileDevice::NoError) {
        fail(m_lineNumber + 1, QStringLiteral("cannot be read: %1").arg(m_file->errorString()));
        return false;
    }
    if (m_line.isEmpty())
        return false;
    ++m_lineNumber;
    if (m_line.endsWith('\n'))
        m_line.chop(1);
    // A file that went through an editor that ends lines in CR LF still reads: a raw CR is
    // never part of the notation.
    if (m_line.endsWith('\r'))
        m_line.chop(1);
    if (m_line.size() > MaxLineBytes) {
        fail(m_lineNumber, QStringLiteral("the line is longer than %1 bytes").arg(MaxLineBytes));
        return false;
    }
    return true;
}

Reader::Step Reader::next()
{
    if (m_failed)
        return Failed;
    if (!m_device) {
        if (!m_file->open(QIODevice::ReadOnly)) {
            m_failed = true;
            m_error = QStringLiteral("%1: cannot be read: %2").arg(m_name, m_file->errorString());
            return Failed;
        }
        m_device = m_file.get();
    }
    static const QByteArrayView magic(Magic);
    for (;;) {
        if (!m_lineWaiting && !readLine()) {
            if (m_failed)
                return Failed;
            return m_inHeader ? finishHeader() : End;
        }
        m_lineWaiting = false;
        if (m_line.isEmpty())
            continue;
        if (m_line == magic) {
            if (m_inHeader) {
                // A capture with no events.
                m_lineWaiting = true;
                return finishHeader();
            }
            m_inHeader = true;
            m_headerLineNumber = m_lineNumber;
            m_fieldsSeen = 0;
            m_header = Header();
            continue;
        }
        if (m_line.startsWith("# orva capture "))
            return fail(m_lineNumber,
                        QStringLiteral("%1: a capture layout this reader does not "
                                       "know; it reads '%2'")
                            .arg(quoted(m_line), QLatin1String(Magic)));
        if (m_line.startsWith('#')) {
            if (!m_inHeader)
                return fail(m_lineNumber,
                            QStringLiteral("a header line outside a header; a capture begins "
                                           "with '%1'")
                                .arg(QLatin1String(Magic)));
            if (!headerLine())
                return Failed;
            continue;
        }
        if (m_inHeader) {
            m_lineWaiting = true;
            return finishHeader();
        }
        if (!m_haveCapture)
            return fail(m_lineNumber,
                        QStringLiteral("an event before any header; a capture "
                                       "begins with '%1'")
                            .arg(QLatin1String(Magic)));
        return eventOf(m_line);
    }
}

bool Reader::headerLine()
{
    const QByteArrayView line(m_line);
    if (!line.startsWith("# "))
        return !fail(m_lineNumber,
                     QStringLiteral("%1: a header line is '# key value'").arg(quoted(line)));
    const QByteArrayView rest = line.sliced(2);
    const qsizetype space = rest.indexOf(' ');
    const QByteArrayView key = space < 0 ? rest : rest.first(space);
    const QByteArrayView text = space < 0 ? QByteArrayView() : rest.sliced(space + 1);
    const auto found = std::find(FieldKeys.begin(), FieldKeys.end(), key);
    if (found == FieldKeys.end())
        return !fail(m_lineNumber, QStringLiteral("%1 is not a header key").arg(quoted(key)));
    const auto field = Field(found - FieldKeys.begin());
    if (m_fieldsSeen & (1u << field))
        return !fail(
            m_lineNumber,
            QStringLiteral("a second '%1' line in the header").arg(QString::fromLatin1(key)));
    m_fieldsSeen |= 1u << field;

    if (field == Speed) {
        bool ok = text.size() <= 9 && !text.isEmpty()
            && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
        m_header.speed = ok ? text.toInt() : 0;
        if (m_header.speed <= 0)
            return !fail(m_lineNumber,
                         QStringLiteral("speed %1 is not a number of baud").arg(quoted(text)));
        return true;
    }
    if (field == Start) {
        m_header.start = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
        if (!m_header.start.isValid() || m_header.start.timeSpec() == Qt::LocalTime)
            return !fail(m_lineNumber,
                         QStringLiteral("start %1 is not an ISO 8601 time with its offset, as "
                                        "2026-05-04T10:15:02.123+02:00")
                             .arg(quoted(text)));
        return true;
    }
    QString problem;
    const std::optional<QByteArray> value = unspelled(text, &problem);
    if (!value)
        return !fail(m_lineNumber, problem);
    QString *const strings[]
        = {&m_header.program, &m_header.version, &m_header.port, &m_header.target};
    *strings[field] = QString::fromUtf8(*value);
    return true;
}

Reader::Step Reader::finishHeader()
{
    m_inHeader = false;
    for (int field = 0; field < FieldCount; ++field) {
        if (!(m_fieldsSeen & (1u << field)))
            return fail(m_headerLineNumber,
                        QStringLiteral("the header has no '%1' line")
                            .arg(QString::fromLatin1(FieldKeys[field])));
    }
    m_haveCapture = true;
    m_lastMicros = 0;
    return HeaderRead;
}

Reader::Step Reader::eventOf(QByteArrayView line)
{
    const qsizetype timeEnd = line.indexOf(' ');
    const std::optional<qint64> micros = timeOf(timeEnd < 0 ? line : line.first(timeEnd));
    if (!micros)
        return fail(m_lineNumber,
                    QStringLiteral("%1 does not begin with a time in seconds with "
                                   "six decimals, as 12.345678")
                        .arg(quoted(line)));
    if (*micros < m_lastMicros)
        return fail(m_lineNumber,
                    QStringLiteral("the time goes back from %1")
                        .arg(QString::fromLatin1(timeText(m_lastMicros))));
    if (timeEnd < 0)
        return fail(m_lineNumber, QStringLiteral("a time and no event"));
    const QByteArrayView rest = line.sliced(timeEnd + 1);
    const qsizetype wordEnd = rest.indexOf(' ');
    const QByteArrayView word = wordEnd < 0 ? rest : rest.first(wordEnd);
    const QByteArrayView payload = wordEnd < 0 ? QByteArrayView() : rest.sliced(wordEnd + 1);

    Event event;
    event.micros = *micros;
    const auto found = std::find(Words.begin(), Words.end(), word);
    if (found == Words.end())
        return fail(m_lineNumber,
                    QStringLiteral("%1 is not an event (>, <, open, close, lost, "
                                   "open-failed)")
                        .arg(quoted(word)));
    event.kind = Event::Kind(found - Words.begin());
    const bool isChunk = event.kind == Event::Sent || event.kind == Event::Received;
    if ((event.kind == Event::Opened || event.kind == Event::Closed) && wordEnd >= 0)
        return fail(m_lineNumber,
                    QStringLiteral("'%1' takes nothing after it").arg(QString::fromLatin1(word)));
    QString problem;
    const std::optional<QByteArray> bytes = unspelled(payload, &problem);
    if (!bytes)
        return fail(m_lineNumber, problem);
    if (isChunk) {
        if (bytes->isEmpty())
            return fail(m_lineNumber, QStringLiteral("a chunk with no bytes"));
        event.bytes = *bytes;
    } else {
        event.reason = QString::fromUtf8(*bytes);
    }
    m_event = event;
    m_lastMicros = event.micros;
    return EventRead;
}

std::optional<QList<Session>> readAll(Reader &reader)
{
    QList<Session> sessions;
    for (;;) {
        switch (reader.next()) {
        case Reader::HeaderRead:
            sessions.append({reader.header(), {}});
            break;
        case Reader::EventRead:
            sessions.last().events.append(reader.event());
            break;
        case Reader::End:
            return sessions;
        case Reader::Failed:
            return std::nullopt;
        }
    }
}

} // namespace Capture
