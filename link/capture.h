#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

class QIODevice;

// A capture: what went over a line, as a text file that a person reads at a glance and a program
// reads back byte for byte. The layout is in docs/capture.md.
namespace Capture {

// The first line of every capture; a newer layout gets a new number.
inline constexpr char Magic[] = "# orva capture 1";
// A longer line is an error, so that hostile input costs bounded memory.
inline constexpr qsizetype MaxLineBytes = 1024 * 1024;
// The writer splits a longer chunk into lines of this many bytes at the same time, so that even
// bytes all in hex ("[0xFF]", six characters each) stay within a line.
inline constexpr qsizetype MaxChunkBytes = MaxLineBytes / 8;

struct Header
{
    QString program;
    QString version;
    QString port; // as the user named it
    QString target; // what it stands for: a device path, tcp://..., rfc2217://...
    qint32 speed = 0;
    QDateTime start; // wall clock, with its offset from UTC

    bool operator==(const Header &other) const;
    bool operator!=(const Header &other) const { return !(*this == other); }
};

struct Event
{
    enum Kind { Sent, Received, Opened, Closed, Lost, OpenFailed };

    qint64 micros = 0; // since the start of the capture
    Kind kind = Opened;
    QByteArray bytes; // Sent and Received: the chunk
    QString reason; // Lost and OpenFailed

    bool operator==(const Event &other) const;
    bool operator!=(const Event &other) const { return !(*this == other); }
};

// Bytes in the file's notation: printable ASCII as itself except "[", which is [0x5B]; [CR],
// [LF] and [ACK]; every other byte as [0xHH]. Pure ASCII.
QByteArray spelled(QByteArrayView bytes);
// The bytes back; nullopt with *problem set on anything that is not the notation.
std::optional<QByteArray> unspelled(QByteArrayView text, QString *problem);

// The header's lines and an event's line, each ending in a newline.
QByteArray headerText(const Header &header);
QByteArray eventLine(const Event &event);

// Appends captures to a file, one line an event, each written through to the system as it comes
// (a crash of the program loses nothing already written). Times come from a monotonic clock.
class Writer
{
public:
    // Opens the file for appending and writes the header, whose start is now. False with
    // error() naming the file and the reason; a program stops there, before opening any port.
    bool open(const QString &path, Header header);
    // The two halves of open(): the file alone, so that a program can find out at start whether
    // it can record, before it knows what the header says; then a header, which begins a new
    // capture in the file (its times start again at 0).
    bool openFile(const QString &path);
    bool begin(Header header);
    bool isOpen() const { return m_file.isOpen(); }
    const Header &header() const { return m_header; }

    // Each writes one line (a chunk over MaxChunkBytes several; a reason is cut to fit); false
    // with error() when it could not. An empty chunk writes nothing.
    bool sent(QByteArrayView chunk);
    bool received(QByteArrayView chunk);
    bool opened();
    bool closed();
    bool lost(const QString &reason);
    bool openFailed(const QString &reason);

    // The last failure: "FILE: cannot ...: reason".
    QString error() const { return m_error; }

private:
    bool write(Event::Kind kind, QByteArrayView bytes = {}, const QString &reason = {});
    bool writeLine(const QByteArray &line);

    QFile m_file;
    Header m_header;
    QElapsedTimer m_clock;
    QString m_error;
};

// Reads a file of captures one line at a time.
class Reader
{
public:
    // From a file that it opens itself at the first next().
    explicit Reader(const QString &path);
    // From a device already open for reading; name is what messages call it.
    Reader(QIODevice *device, const QString &name);
    ~Reader();

    enum Step {
        HeaderRead, // a capture begins: header() is its header; its events follow
        EventRead, // event() is the next event of the current capture
        End, // the file ended; every capture in it was read
        Failed // error() says "FILE:LINE: what is wrong"; nothing more is read
    };
    Step next();

    const Header &header() const { return m_header; }
    const Event &event() const { return m_event; }
    QString error() const { return m_error; }

private:
    bool readLine();
    Step fail(qint64 lineNumber, const QString &problem);
    bool headerLine();
    Step finishHeader();
    Step eventOf(QByteArrayView line);

    std::unique_ptr<QFile> m_file;
    QIODevice *m_device = nullptr;
    QString m_name;
    QString m_error;
    QByteArray m_line;
    qint64 m_lineNumber = 0;
    bool m_failed = false;
    bool m_inHeader = false; // between a Magic line and the capture's first event
    bool m_lineWaiting = false; // m_line is the first line after a header, not yet taken
    qint64 m_headerLineNumber = 0;
    unsigned m_fieldsSeen = 0;
    bool m_haveCapture = false;
    qint64 m_lastMicros = 0;
    Header m_header;
    Event m_event;
};

// One capture, whole.
struct Session
{
    Header header;
    QList<Event> events;

    bool operator==(const Session &other) const
    {
        return header == other.header && events == other.events;
    }
};
// Every capture the reader gives, in order; nullopt when it fails (its error() says why). For
// small files and tests; a replay streams with next().
std::optional<QList<Session>> readAll(Reader &reader);

} // namespace Capture
