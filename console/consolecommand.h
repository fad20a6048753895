#pragma once

#include <QString>

// The text the console sends for a catalogue row or a typed command line:
// everything before the first "[". Placeholders and blanks stay as typed;
// the caller appends the carriage return.
QString commandPart(const QString &source);
