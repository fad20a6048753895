#pragma once

#include <QString>
#include <QStringList>

// The command line of `orva`, read completely before any port is touched.
struct Arguments
{
    enum class Command { None, Ports, Map, Unmap, Send, Report };

    Command command = Command::None;
    bool help = false;
    bool version = false;
    bool json = false;
    bool force = false;
    int port = 0; // 1..15; 0: the stored ComPort
    int baud = 0; // 9600 or 19200; 0: the stored BaudRate
    int waitMs = 1000;
    QStringList operands; // map: COMn TARGET; unmap: COMn; send: the commands

    // Reads the arguments after the program name. False with the reason for a usage error.
    static bool parse(const QStringList &arguments, Arguments *parsed, QString *error);
    // "3", "COM3", "com3": 1..15; 0 for anything else.
    static int portNumber(const QString &text);
};

// Help texts: the program's, and each command's.
QString helpText(Arguments::Command command);
