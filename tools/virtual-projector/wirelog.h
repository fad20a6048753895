#pragma once

#include <QByteArray>
#include <QString>

namespace WireLog {

// Line bytes as readable text: "[CR]", "[ACK]", "[LF]", other control and non-ASCII bytes as
// "[0x1B]"; printable ASCII as itself.
QString spelled(const QByteArray &bytes);
// One log line: time of day with milliseconds, then the text.
QString line(const QString &text);

} // namespace WireLog
