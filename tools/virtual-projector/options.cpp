#include "options.h"

#include "engine/protocol.h"
#include "link/portchoice.h"

#include <QCommandLineParser>
#include <QHostAddress>

#include <algorithm>

namespace {

bool readNumber(const QCommandLineParser &parser, const QString &name, qint64 lowest,
                qint64 highest, qint64 *value, QString *message)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const qint64 number = parser.value(name).toLongLong(&ok);
    if (!ok || number < lowest || number > highest) {
        *message = QStringLiteral("--%1 takes a whole number from %2 to %3")
                       .arg(name)
                       .arg(lowest)
                       .arg(highest);
        return false;
    }
    *value = number;
    return true;
}

// "host:5000", "192.168.0.10:5000", "[::1]:5000".
bool readHostAndPort(const QString &text, QString *host, int *port, QString *message)
{
    QString portText;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        *host = text.mid(1, close - 1);
        if (close < 0 || text.mid(close + 1, 1) != QLatin1String(":")
            || QHostAddress(*host).protocol() != QAbstractSocket::IPv6Protocol) {
            *message = QStringLiteral("--listen takes [IPv6 address]:PORT, as in [::1]:5000");
            return false;
        }
        portText = text.mid(close + 2);
    } else {
        const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
        *host = text.left(colon);
        portText = text.mid(colon + 1);
        if (colon < 0 || host->isEmpty()) {
            *message = QStringLiteral("--listen takes HOST:PORT, as in 127.0.0.1:5000");
            return false;
        }
        if (host->contains(QLatin1Char(':'))) {
            *message
                = QStringLiteral("--listen: put an IPv6 address in brackets, as in [::1]:5000");
            return false;
        }
    }
    const bool digits = !portText.isEmpty() && portText.size() <= 5
        && std::all_of(portText.begin(), portText.end(),
                       [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
    const int number = digits ? portText.toInt() : -1;
    if (number < 0 || number > 65535) {
        *message = QStringLiteral("--listen: the port is a number from 0 (any free one) to 65535, "
                                  "not \"%1\"")
                       .arg(portText);
        return false;
    }
    *port = number;
    return true;
}

// The projectors' ports and lamp hours must all be within range.
bool checkCount(int firstPort, qint64 count, qint64 lampHours, QString *message)
{
    if (firstPort < 0) {
        *message = QStringLiteral("--count needs --listen: a fleet serves network ports");
        return false;
    }
    if (count == 1)
        return true;
    if (firstPort == 0) {
        // Free ports come one at a time; a block of consecutive ones is the user's to choose.
        *message = QStringLiteral("--count %1 needs a first port other than 0: the projectors "
                                  "take the ports from it upwards")
                       .arg(count);
        return false;
    }
    if (firstPort + count - 1 > 65535) {
        *message = QStringLiteral("--count %1 from port %2 runs past port 65535; %3 fit from there")
                       .arg(count)
                       .arg(firstPort)
                       .arg(65536 - firstPort);
        return false;
    }
    if (lampHours + count - 1 > Projector::MaxHours) {
        *message = QStringLiteral("--count %1 from --lamp-hours %2 runs past %3 lamp hours")
                       .arg(count)
                       .arg(lampHours)
                       .arg(Projector::MaxHours);
        return false;
    }
    return true;
}

} // namespace

Options::Parsed Options::parse(const QStringList &arguments, Options *options, QString *message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays the projector's side of the RS-232C line, so the panel can be used, "
                       "a cable or a USB "
                       "adapter checked and a fault reproduced without a projector."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows these options."));
    parser.addOption(help);
    parser.addOptions({
        {QStringLiteral("port"),
         QStringLiteral("Links a pseudo-terminal as COM<n> (1 to 15) in the panel's ports "
                        "folder (POSIX only). Default 1."),
         QStringLiteral("n")},
        {QStringLiteral("device"),
         QStringLiteral("Uses the serial port <path> (/dev/ttyUSB0, COM3) instead of a "
                        "pseudo-terminal."),
         QStringLiteral("path")},
        {QStringLiteral("listen"),
         QStringLiteral("Serves a network control port instead: raw TCP on <host:port> (a name, "
                        "an IPv4 address or [IPv6]; port 0 takes any free one), one client at a "
                        "time. Answers are not paced."),
         QStringLiteral("host:port")},
        {QStringLiteral("count"),
         QStringLiteral("With --listen, serves <n> independent projectors on <n> consecutive ports "
                        "from the one given (not 0). Projector i (from 0) starts with --lamp-hours "
                        "+ i lamp hours; the other options apply to each. Default 1."),
         QStringLiteral("n")},
        {QStringLiteral("baud"),
         QStringLiteral("Line speed, 9600 or 19200. Default 19200, as the panel and orva with no "
                        "speed stored."),
         QStringLiteral("rate")},
        {QStringLiteral("delay"), QStringLiteral("Waits <ms> before answering. Default 30."),
         QStringLiteral("ms")},
        {QStringLiteral("split"),
         QStringLiteral("Sends every answer in two pieces, about 30 ms apart.")},
        {QStringLiteral("silent"), QStringLiteral("Never answers.")},
        {QStringLiteral("garbage"),
         QStringLiteral("Answers as at the wrong speed: random bytes of 0x80 and above.")},
        {QStringLiteral("flood"),
         QStringLiteral("Sends unsolicited characters, <n> a second (no more than the line "
                        "carries)."),
         QStringLiteral("n")},
        {QStringLiteral("hang-up-after"),
         QStringLiteral("Drops the line after <s> seconds, as a pulled cable would. With --listen "
                        "the client is cut off and the port stops listening."),
         QStringLiteral("s")},
        {QStringLiteral("lamp-failure"),
         QStringLiteral("The lamp has failed: CR0 answers 81 or 21, CR LAMPSTS 000 1X.")},
        {QStringLiteral("over-temperature"),
         QStringLiteral("The projector is too hot: CR0 answers 88, 48 or 28, CR6 reads high.")},
        {QStringLiteral("countdown-ms"),
         QStringLiteral("Length of the countdown after power on. Default 5000."),
         QStringLiteral("ms")},
        {QStringLiteral("cooling-ms"),
         QStringLiteral("Length of the cooling down after power off. Default 5000."),
         QStringLiteral("ms")},
        {QStringLiteral("lamp-hours"),
         QStringLiteral("Lamp hours at start, 0 to 99999. Default 482."), QStringLiteral("hours")},
        {QStringLiteral("ms-per-lamp-hour"),
         QStringLiteral("Lamp-on time that adds one lamp hour. Default 60000 (an hour a "
                        "minute)."),
         QStringLiteral("ms")},
        {QStringLiteral("replay"),
         QStringLiteral("Plays the projector of the capture <file>: each command it saw gets the "
                        "recorded answers, in their pieces and delays, in the recorded order and "
                        "then the last again; the others get the simulator's. --delay, --split "
                        "and --silent shape only the simulator's answers. A fleet replays it in "
                        "each projector."),
         QStringLiteral("file")},
        {QStringLiteral("record"),
         QStringLiteral("Appends to <file> every chunk as it is read from the line or written to "
                        "it, and the line's opens, closes and losses, in the capture format "
                        "(docs/capture.md), with the directions of the other end's captures: > to "
                        "the projector, < from it. One projector only: not with --count. A file "
                        "that cannot be opened for appending ends the program with exit status "
                        "73 before the line is opened."),
         QStringLiteral("file")},
        {QStringLiteral("log"),
         QStringLiteral("Writes every command received and every answer sent to standard "
                        "error, with the time and control characters spelled out.")},
    });

    if (!parser.parse(arguments)) {
        *message = parser.errorText();
        return Parsed::Error;
    }
    if (parser.isSet(help)) {
        *message = parser.helpText();
        return Parsed::Help;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *message
            = QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first());
        return Parsed::Error;
    }

    Options result;
    qint64 port = result.port, delay = result.delayMs, flood = 0,
           hours = result.projector.lampHours;
    qint64 countdown = result.projector.countdownMs, cooling = result.projector.coolingMs;
    qint64 perHour = result.projector.msPerLampHour;
    qint64 count = result.count;
    if (!readNumber(parser, QStringLiteral("port"), PortChoice::LowestPortNumber,
                    PortChoice::HighestPortNumber, &port, message)
        || !readNumber(parser, QStringLiteral("delay"), 0, 60000, &delay, message)
        || !readNumber(parser, QStringLiteral("flood"), 1, 1000000, &flood, message)
        || !readNumber(parser, QStringLiteral("lamp-hours"), 0, Projector::MaxHours, &hours,
                       message)
        || !readNumber(parser, QStringLiteral("countdown-ms"), 0, 3600000, &countdown, message)
        || !readNumber(parser, QStringLiteral("cooling-ms"), 0, 3600000, &cooling, message)
        || !readNumber(parser, QStringLiteral("ms-per-lamp-hour"), 1, 3600000, &perHour, message)
        || !readNumber(parser, QStringLiteral("count"), 1, 65535, &count, message))
        return Parsed::Error;

    if (parser.isSet(QStringLiteral("baud"))) {
        const QString baud = parser.value(QStringLiteral("baud"));
        if (baud != QLatin1String("9600") && baud != QLatin1String("19200")) {
            *message = QStringLiteral("--baud is 9600 or 19200");
            return Parsed::Error;
        }
        result.baud = baud.toInt();
    }
    if (parser.isSet(QStringLiteral("hang-up-after"))) {
        bool ok = false;
        const double seconds = parser.value(QStringLiteral("hang-up-after")).toDouble(&ok);
        if (!ok || seconds < 0 || seconds > 86400) {
            *message = QStringLiteral("--hang-up-after takes seconds from 0 to 86400");
            return Parsed::Error;
        }
        result.hangUpAfterMs = qint64(seconds * 1000);
    }
    if (parser.isSet(QStringLiteral("device")) && parser.isSet(QStringLiteral("port"))) {
        *message = QStringLiteral("--device and --port exclude each other");
        return Parsed::Error;
    }
    if (parser.isSet(QStringLiteral("listen"))) {
        if (parser.isSet(QStringLiteral("device")) || parser.isSet(QStringLiteral("port"))) {
            *message = QStringLiteral("--listen excludes --port and --device");
            return Parsed::Error;
        }
        if (parser.isSet(QStringLiteral("baud"))) {
            *message = QStringLiteral("--listen has no line speed; leave --baud out");
            return Parsed::Error;
        }
        if (!readHostAndPort(parser.value(QStringLiteral("listen")), &result.listenHost,
                             &result.listenPort, message))
            return Parsed::Error;
    }
    if (parser.isSet(QStringLiteral("count"))
        && !checkCount(result.listenPort, count, hours, message))
        return Parsed::Error;
    // One file is one line's capture, and its header names one port.
    if (parser.isSet(QStringLiteral("record")) && count > 1) {
        *message = QStringLiteral("--record records one projector: leave --count out, or run one "
                                  "virtual projector a line to record");
        return Parsed::Error;
    }
    if (parser.isSet(QStringLiteral("record"))
        && parser.value(QStringLiteral("record")).isEmpty()) {
        *message = QStringLiteral("--record needs a file name");
        return Parsed::Error;
    }
#ifndef Q_OS_UNIX
    if (!parser.isSet(QStringLiteral("device")) && !parser.isSet(QStringLiteral("listen"))) {
        *message = QStringLiteral("give the serial port with --device (COM3, say), or a network "
                                  "port with --listen");
        return Parsed::Error;
    }
#endif

    result.port = int(port);
    result.count = int(count);
    result.device = parser.value(QStringLiteral("device"));
    result.delayMs = int(delay);
    result.floodPerSecond = int(flood);
    result.silent = parser.isSet(QStringLiteral("silent"));
    result.split = parser.isSet(QStringLiteral("split"));
    result.garbage = parser.isSet(QStringLiteral("garbage"));
    result.log = parser.isSet(QStringLiteral("log"));
    result.replayPath = parser.value(QStringLiteral("replay"));
    result.record = parser.value(QStringLiteral("record"));
    result.projector.lampHours = int(hours);
    result.projector.countdownMs = countdown;
    result.projector.coolingMs = cooling;
    result.projector.msPerLampHour = perHour;
    result.projector.lampFailure = parser.isSet(QStringLiteral("lamp-failure"));
    result.projector.overTemperature = parser.isSet(QStringLiteral("over-temperature"));
    *options = result;
    return Parsed::Run;
}
