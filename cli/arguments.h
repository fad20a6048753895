#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The command line of `orva`, read completely before any port is touched.
struct Arguments
{
    enum class Command { None, Ports, Map, Unmap, Send, Report, Wait };
    enum class Format { Text, Json, Csv, Prometheus };

    static constexpr int DefaultTimeoutMs = 180000; // longer than any cool-down
    static constexpr int DefaultEveryMs = 1000;
    // A job holds a thread, a socket or device and an event descriptor: 256 stay well inside the
    // usual limit of 1024 open files. 64 read 100 projectors in two turns.
    static constexpr int AllJobs = 0;

    Command command = Command::None;
    bool help = false;
    bool version = false;
    Format format = Format::Text;
    bool json = false; // format is Json
    bool force = false;
    QStringList ports; // the -p items in order: ports, ranges, targets, names; none: the fleet,
                       // else the stored ComPort
    QString fleet; // the fleet file
    int jobs = AllJobs; // ports worked at once; AllJobs: all, as far as open files allow
    int baud = 0; // 9600 or 19200; 0: the stored BaudRate
    int waitMs = 1000;
    QString output; // written in one piece instead of standard output
    QString record; // the capture file, or the folder of one a projector
    QString until; // wait: "on" or "standby"
    bool whenReady = false; // send: wait until the projector is neither warming nor cooling
    int timeoutMs = DefaultTimeoutMs; // wait, send --when-ready
    int everyMs = DefaultEveryMs; // between two status reads while waiting
    QStringList operands; // map: COMn TARGET; unmap: COMn; send: the commands

    // Reads the arguments after the program name. False with the reason for a usage error.
    static bool parse(const QStringList &arguments, Arguments *parsed, QString *error);
    // "3", "COM3", "com3": 1..15; 0 for anything else.
    static int portNumber(const QString &text);
};

// Help texts: the program's, and each command's.
QString helpText(Arguments::Command command);
