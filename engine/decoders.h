#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>
#include <optional>

// Turns the echo of a status-read reply into the words of the STATUS line, and a reply into the
// values a script compares.
namespace Decoders {

// currentCommand: the panel's last command with its CR; rendered: the echo of the whole reply
// so far; receivedCount: the number of characters received; status: the STATUS text now.
// Returns the new STATUS text, or nothing when the STATUS line keeps its text.
std::optional<QString> decode(const QByteArray &currentCommand, const QString &rendered,
                              int receivedCount, const QString &status);

// The seven status reads, in the panel's order.
struct StatusRead
{
    const char *caption;
    QByteArray command; // without its CR
};
const QVector<StatusRead> &statusReads();

// What one reply says, beside its words; a field is empty when the reply does not give it.
struct Values
{
    std::optional<int> lampHours;
    std::optional<std::array<double, 3>> temperaturesC;
    QString power; // one of powerStates()
    QString input; // "input1", "input2", "input3", "wired", "wireless"
    QString lamp; // "on", "off", "failure"
    QString lampMode; // "high", "normal", "eco"

    // Fills the fields this one lacks from another read's values.
    void merge(const Values &other);
};

// command without its CR; reply as received, up to and with its CR. A value is given exactly
// when the panel's decoder turns the same reply into words, and the words hold a number where
// one is read.
Values values(const QByteArray &command, const QByteArray &reply);

// The values of power, in the order of the CR0 table.
QStringList powerStates();

// Reads answer with data; every other command with ACK.
bool isRead(const QByteArray &command);
bool acknowledged(const QByteArray &reply);

// The STATUS text without the blanks the panel puts in front of the words.
QString words(const QString &status);

} // namespace Decoders
