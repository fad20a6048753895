// Any bytes as a capture file: the reader never crashes, keeps its memory bounded, says where it
// stopped, and whatever it reads, written again and read back, is what it read.
#include "fuzzing.h"
#include "link/capture.h"

#include <QBuffer>

namespace {

std::optional<QList<Capture::Session>> read(QByteArray *bytes, QString *error)
{
    QBuffer buffer(bytes);
    buffer.open(QIODevice::ReadOnly);
    Capture::Reader reader(&buffer, QStringLiteral("input"));
    std::optional<QList<Capture::Session>> sessions = Capture::readAll(reader);
    *error = reader.error();
    return sessions;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const std::optional<QList<Capture::Session>> sessions = read(&input, &error);
    if (!sessions) {
        require(error.startsWith(QLatin1String("input:")), "FILE:LINE: in the error");
        const qsizetype lineEnd = error.indexOf(QLatin1Char(':'), 6);
        bool ok = false;
        const qsizetype line = error.mid(6, lineEnd - 6).toLongLong(&ok);
        require(ok && line >= 1 && line <= input.count('\n') + 1, "a line of the input");
        return 0;
    }

    QByteArray written;
    qsizetype events = 0;
    for (const Capture::Session &session : *sessions) {
        written += Capture::headerText(session.header);
        for (const Capture::Event &event : session.events)
            written += Capture::eventLine(event);
        events += session.events.size();
    }
    // Every event and header takes a line of its own.
    require(events + sessions->size() <= input.count('\n') + 1, "one event a line");
    const std::optional<QList<Capture::Session>> again = read(&written, &error);
    require(again.has_value(), "what was read, written again, reads");
    require(*again == *sessions, "what was read, written again, reads the same");
    return 0;
}
