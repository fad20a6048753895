#pragma once

#include "fleet.h"

#include <QString>

#include <optional>

namespace Output {

// A line to standard output, or to standard error after "orva: ".
void out(const QString &text);
void complain(const QString &text);

// A JSON string, kept in the order the fields are written (QJsonObject would sort them).
QString json(const QString &text);
QString json(const std::optional<QString> &text);
QString json(bool value);

enum class Kind { Send, Report };

// Blocks in port order; with one port no header (the output of a single run stays as it was).
QString text(const QVector<PortRun> &runs, Kind kind);
// One object a port, one line each.
QString json(const QVector<PortRun> &runs, Kind kind);
// A header line, then a row a port and command; a failed port's row says why.
QString csv(const QVector<PortRun> &runs);
// The text exposition format, for node_exporter's textfile collector, as of `now`. A projector
// that answers nothing now keeps its last-answer time from `previous`, the file this one replaces.
QString prometheus(const QVector<PortRun> &runs, const QDateTime &now, const QString &previous);

} // namespace Output
