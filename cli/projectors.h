#pragma once

#include "link/portmap.h"

#include <QString>
#include <QStringList>
#include <QVector>

// One projector orva works on: a port number 1 to 15 as the panel knows it, or a target given
// directly and written as in a ports-folder entry; with a name when a fleet file gave one.
struct Projector
{
    QString name;
    int number = 0; // 1..15, or 0 for a direct target
    PortTarget target; // when number is 0
    QString port; // "COM3", or the target as written
    QString capture; // the file its line is recorded in (--record); empty: none

    // Two projectors with the same key would open the same line.
    QString key() const { return number ? port : target.text(); }
    // How results name it.
    QString label() const { return name.isEmpty() ? port : name; }
};

namespace Projectors {

// A fleet file holds at most this many projectors; its lines at most this many bytes.
constexpr int MaxFleet = 10000;
constexpr int MaxLineBytes = 4096;

// "NAME  PORT-OR-TARGET" a line, "#" starts a comment. False with "FILE:LINE: reason".
bool readFleet(const QString &path, QVector<Projector> *fleet, QString *error);

// The -p items in their order: port numbers and ranges (3, COM3, 5-8), targets
// (tcp://HOST:PORT, rfc2217://HOST:PORT, a device) and names of the fleet. False with the reason;
// a projector listed twice is one.
bool select(const QStringList &items, const QVector<Projector> &fleet, QVector<Projector> *chosen,
            QString *error);

// The capture file of each projector in `folder`: its label with every character but letters,
// digits, ".", "_" and "-" made "_", then ".capture"; "-2", "-3"... added to a name already
// taken, without regard to case, as some file systems see it.
QStringList captureFiles(const QVector<Projector> &projectors, const QString &folder);

} // namespace Projectors
