#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Turns the echo of a status-read reply into the words of the STATUS line.
namespace Decoders {

// currentCommand: the panel's last command with its CR; rendered: the echo of the whole reply
// so far; receivedCount: the number of characters received; status: the STATUS text now.
// Returns the new STATUS text, or nothing when the STATUS line keeps its text.
std::optional<QString> decode(const QByteArray &currentCommand, const QString &rendered,
                              int receivedCount, const QString &status);

} // namespace Decoders
