#pragma once

#include "projector.h"

#include <QString>
#include <QStringList>

struct Options
{
    int port = 1;
    QString device;
    // As the panel and orva with no speed stored, so that a first try needs no option.
    int baud = 19200;
    // --listen: a network control port instead of a serial line.
    QString listenHost;
    int listenPort = -1;
    // --count: projectors on consecutive ports from listenPort, lamp hours counting up from
    // projector.lampHours so that their reports tell them apart.
    int count = 1;
    int delayMs = 30;
    bool silent = false;
    bool split = false;
    bool garbage = false;
    int floodPerSecond = 0;
    qint64 hangUpAfterMs = -1; // never
    bool log = false;
    QString replayPath; // --replay: a capture to answer from
    QString record; // the capture file; empty: none
    Projector::Setup projector;

    bool listens() const { return listenPort >= 0; }

    enum class Parsed { Run, Help, Error };
    // Reads the command line (program name first). Help puts the help text in `message`,
    // Error the reason.
    static Parsed parse(const QStringList &arguments, Options *options, QString *message);
};
